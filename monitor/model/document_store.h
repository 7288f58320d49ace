#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "monitor/model/document_table.h"
#include "monitor/model/document_views.h"

namespace wardlet {

// The document table's mirror in the data folder: one "<name>.data" file per record, plus the
// ".content" and ".middle" files the check engine writes. Owns the order of steps of the document
// operations (add, copy, edit, delete) and the exit-time save.
class DocumentStore {
public:
    DocumentStore(std::filesystem::path dataFolder, DocumentTable& table);

    void SetList(DocumentListSink* list) { list_ = list; }
    void SetCheckStarter(CheckStarter* starter) { checks_ = starter; }

    const std::filesystem::path& dataFolder() const { return dataFolder_; }
    DocumentTable& table() { return table_; }

    std::filesystem::path DataFile(std::string_view name) const;
    std::filesystem::path ContentFile(std::string_view name) const;
    std::filesystem::path MiddleFile(std::string_view name) const;

    struct LoadReport {
        size_t loaded = 0;
        std::vector<std::string> refused;  // files not loaded: wrong size or unsafe name
    };
    // Fills the empty table from the ".data" files of the data folder, then adds one row per
    // record in slot order. Starts no check.
    LoadReport LoadAllDocuments();

    // Writes one record to its ".data" file (account fields scrambled on disk only).
    bool SaveDocument(size_t index);
    // Exit: removes temporary files, then writes every named record, Retrieving as Waiting.
    void SaveAllDocuments();
    // Removes every ".tmp" file of the data folder.
    void DeleteTempFiles();

    // Add and Copy: a free slot takes the staged record, gets its row, is saved and checked.
    // Returns the slot, or DocumentTable::kNoSlot when the table is full.
    size_t AddDocument(const DocumentRecord& staged);
    // Edit: the files of the old name go (so the next check is a first check), the staged
    // record takes the slot, its row is refreshed, it is saved and checked.
    void EditDocument(size_t index, const DocumentRecord& staged);
    // Delete: for the given row names from the last to the first, the record of that name loses
    // its row, its files and its slot.
    void DeleteDocuments(const std::vector<std::string>& rowNames);

    // First slot whose name equals `name` exactly; kNoSlot when none.
    size_t FindRecordByName(std::string_view name) const;

private:
    struct RecordFile {
        std::filesystem::path path;
        std::string bytes;
        mode_t mode;
    };
    // The ".data" file of a named slot as it is to be written.
    std::optional<RecordFile> RecordFileOf(size_t index) const;
    void StartChecks();

    std::filesystem::path dataFolder_;
    DocumentTable& table_;
    DocumentListSink* list_ = nullptr;
    CheckStarter* checks_ = nullptr;
};

// A name read from a ".data" file builds file paths, so it must be one the editor could have
// accepted: not empty, terminated inside its field, none of \ / : * ? " < > | nor a control
// character, and short enough for its longest file name.
bool IsSafeStoredName(const DocumentRecord& record);

}  // namespace wardlet
