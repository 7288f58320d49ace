#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/model/document_filters.h"
#include "monitor/model/document_table.h"
#include "monitor/model/document_views.h"
#include "monitor/model/record_writer.h"

namespace wardlet {

enum class EditOutcome { Saved, NotSaved };

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
    // The folder of the document's earlier versions (see version_history.h).
    std::filesystem::path HistoryOf(std::string_view name) const;
    // The document's filters (see document_filters.h); no file when it has none.
    std::filesystem::path FiltersOf(std::string_view name) const;

    struct LoadReport {
        size_t loaded = 0;
        std::vector<std::string> refused;  // files not loaded: wrong size or unsafe name
    };
    // Fills the empty table from the ".data" files of the data folder, then adds one row per
    // record in slot order. Starts no check.
    LoadReport LoadAllDocuments();

    // Writes one record to its ".data" file (account fields scrambled on disk only, Retrieving
    // as Waiting) and makes it durable before returning. False when it could not be written.
    bool SaveDocument(size_t index);
    // The same for several records, with one flush for all of them.
    void SaveDocuments(const std::vector<size_t>& indexes);
    // Exit: commits queued writes, removes temporary files, then writes every named record,
    // Retrieving as Waiting.
    void SaveAllDocuments();
    // The same as a program's very last save: rewrites that went in need not reach the disk
    // before it returns (see RecordWriter::FlushAtExit), so a run ends sooner.
    void SaveAllDocumentsAtExit();

    // A check's results for the record it claimed: its record (when `record`) and its new files
    // are written in the next batch, within a fraction of a second, and only while the slot still
    // holds that claim. Returns at once.
    void QueueCheckResults(size_t index, uint64_t generation, bool record,
                           std::vector<FileMove> moves);
    // Commits every queued write now (before reading a document's files, at exit).
    void FlushPendingWrites();
    // The same, only when writes of that record are still queued.
    void FlushPendingWritesOf(size_t index);
    // Removes every ".tmp" file of the data folder.
    void DeleteTempFiles();
    // Start of a program that writes, with the data-folder lock held: finishes the record
    // rewrites a killed run left under way (or, when an earlier run left them all in on this
    // boot, makes them durable in the background), then removes what it left behind (copies being
    // fetched, records and options being replaced, histories being removed), not the mailer's
    // test-mail settings, which a mailer still running may be reading.
    void DeleteStrayFiles();

    // Add and Copy: a free slot takes the staged record, gets its row, is saved and checked.
    // With `filters`, they are written for the new name first (a stale file of that name goes
    // otherwise). Returns the slot, or DocumentTable::kNoSlot when the table is full or the
    // filters could not be written.
    size_t AddDocument(const DocumentRecord& staged, const DocumentFilters* filters = nullptr);
    // Edit: the staged record takes the slot and is saved; only once it is on disk do the files of
    // the old name go or move. When the edit keeps everything a check compares (type, location,
    // method flags, count and middle strings), the stored copy, extract and earlier versions stay
    // (under the new name) with the slot's count and last check, and a Changed record stays Changed
    // (the user has not seen the change yet); any other edit makes the next check a first check.
    // Every record not kept Changed is Waiting: the edit may have mended what made it Unavailable
    // (an account, a password), so it is checked at once. Saved: the row is refreshed and checks
    // start. NotSaved: the record could not be written; the slot holds the old record again and
    // every old file is as it was. With `filters` they replace the document's filters (another
    // filter set is another comparison, like another method); without, they go with the name.
    [[nodiscard]] EditOutcome EditDocument(size_t index, const DocumentRecord& staged,
                                           const DocumentFilters* filters = nullptr);
    // Delete: for the given row names from the last to the first, the record of that name loses
    // its row, its files (earlier versions included) and its slot.
    void DeleteDocuments(const std::vector<std::string>& rowNames);

    // First slot whose name equals `name` exactly; kNoSlot when none.
    size_t FindRecordByName(std::string_view name) const;

private:
    // The ".data" file of a named record as it is to be written.
    std::optional<RecordFile> RecordFileOf(const DocumentRecord& record) const;
    void StartChecks();
    // Commits what is queued, removes temporary files and sets Retrieving records Waiting: the
    // named slots, for the save of them all.
    std::vector<size_t> PrepareSaveAll();
    // A failed edit puts the filters of the document back as they were.
    void RestoreFilters(const std::string& oldName, const std::string& newName,
                        const FiltersLoad& old);
    // A record loaded from a file of another name: once its own file is written, that one goes
    // (unless another record carries the same name), so the document cannot show twice.
    void RecordWritten(size_t index, const std::filesystem::path& file);
    // Removes the file a record was loaded from, if it had another name (edit, delete).
    void RemoveLoadedFile(size_t index);
    // The file the record of `index` was loaded from, forgotten as it is handed out.
    std::optional<std::filesystem::path> TakeLoadedFile(size_t index);

    std::filesystem::path dataFolder_;
    DocumentTable& table_;
    DocumentListSink* list_ = nullptr;
    CheckStarter* checks_ = nullptr;
    std::mutex loadedLock_;  // taken after a slot lock
    std::unordered_map<size_t, std::filesystem::path> loadedFrom_;
    // DeleteStrayFiles found the journal applied on this boot: the files hold its images.
    bool journalInFiles_ = false;
    RecordWriter writer_;  // last: it commits what is queued when the store goes
};

// A name read from a ".data" file builds file paths, so it must be one the editor could have
// accepted: not empty, terminated inside its field, none of \ / : * ? " < > | nor a control
// character, and short enough for its longest file name.
bool IsSafeStoredName(const DocumentRecord& record);

}  // namespace wardlet
