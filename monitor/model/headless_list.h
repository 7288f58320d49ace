#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/model/document_table.h"
#include "monitor/model/document_views.h"

namespace wardlet {

// The document list without a window: rows are the names of the records they show, in the order
// they were added, so the operations behave as the list window's do.
class HeadlessDocumentList : public DocumentListSink {
public:
    explicit HeadlessDocumentList(const DocumentTable& table) : table_(table) {}

    void AddRow(size_t index) override;
    void RefreshRow(size_t index) override;
    void RefreshEditedRow(size_t index, std::string_view oldName) override;
    void RemoveRow(size_t index) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;

    std::vector<std::string> Rows() const;
    size_t refreshCount() const;

private:
    std::optional<size_t> FindRowLocked(const std::string& name) const;
    void IndexRowsLocked();

    const DocumentTable& table_;
    mutable std::mutex lock_;  // check threads refresh rows while the caller adds or removes
    std::vector<std::string> rows_;
    // Name to its first row, so finding the row of every record stays linear.
    std::unordered_map<std::string, size_t> firstRow_;
    size_t refreshes_ = 0;
};

}  // namespace wardlet
