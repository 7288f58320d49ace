#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/app/list_rows.h"
#include "monitor/model/document_table.h"
#include "monitor/model/document_views.h"

namespace wardlet {

// Told of every change of the rows, bracketed the way a list model announces them. Called on the
// thread that changes the rows, with the list's lock held (the list may be asked again).
class RowListListener {
public:
    virtual ~RowListListener() = default;
    virtual void RowAboutToBeInserted(size_t row) = 0;
    virtual void RowInserted() = 0;
    virtual void RowChanged(size_t row) = 0;
    virtual void RowAboutToBeRemoved(size_t row) = 0;
    virtual void RowRemoved() = 0;
    virtual void RowsAboutToBeReordered() = 0;
    // Entry i of `newRowOf` is where the old row i went.
    virtual void RowsReordered(const std::vector<size_t>& newRowOf) = 0;
};

// The document list without a display: the window's model shows it, wardctl and the tests use it
// as it is. Each row keeps the texts it shows and is tied to the record it was made for by its
// slot (two hand-made files may hold one name), checked against the name before use; the name
// finds a row only when its slot does not. Indexes keep lookups cheap with thousands of rows.
// Check threads refresh rows while the owner adds or removes them, so every call locks.
class DocumentRowList : public DocumentListSink {
public:
    explicit DocumentRowList(const DocumentTable& table) : table_(table) {}

    void SetListener(RowListListener* listener);

    // A new row at the record's slot: all lower slots are listed, so never beyond the end.
    void AddRow(size_t index) override;
    void RefreshRow(size_t index) override;
    void RefreshEditedRow(size_t index, std::string_view oldName) override;
    void RemoveRow(size_t index) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;

    // The record the row shows; nullopt when the row does not exist or no record has its name.
    std::optional<size_t> FindRecordOfRow(size_t row);
    std::optional<size_t> RowOfName(const std::string& name) const;
    size_t size() const;
    // A row's texts; a reference, for the thread that changes the rows (the window's).
    const RowTexts& Texts(size_t row) const { return rows_[row].texts; }
    // The names of the rows, top to bottom.
    std::vector<std::string> Names() const;
    // How often a row was redrawn, for the tests.
    size_t refreshCount() const;

    // Reorders the rows by the texts of `column` (0 to 3).
    void SortByColumn(int column, bool ascending);

private:
    struct Row {
        RowTexts texts;
        size_t slot;
    };
    std::optional<size_t> FindRowLocked(size_t index) const;
    std::optional<size_t> RowOfNameLocked(const std::string& name) const;
    // Ties the row to the record in `slot`.
    void Retie(size_t row, size_t slot);
    // Rows from `first` on moved: their index entries are made again.
    void ReindexFrom(size_t first);

    const DocumentTable& table_;
    mutable std::recursive_mutex lock_;
    RowListListener* listener_ = nullptr;
    std::vector<Row> rows_;
    std::unordered_map<std::string, size_t> rowOfName_;  // the first row showing each name
    std::unordered_map<size_t, size_t> rowOfSlot_;
    size_t refreshes_ = 0;
};

}  // namespace wardlet
