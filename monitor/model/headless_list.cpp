#include "monitor/model/headless_list.h"

namespace wardlet {

void HeadlessDocumentList::AddRow(size_t index) {
    std::string name = table_.Name(index);
    std::lock_guard guard(lock_);
    firstRow_.emplace(name, rows_.size());
    rows_.push_back(std::move(name));
}

void HeadlessDocumentList::IndexRowsLocked() {
    firstRow_.clear();
    for (size_t row = 0; row < rows_.size(); ++row)
        firstRow_.emplace(rows_[row], row);
}

void HeadlessDocumentList::RefreshRow(size_t index) {
    std::string name = table_.Name(index);
    std::lock_guard guard(lock_);
    if (FindRowLocked(name)) ++refreshes_;
}

// Edits and removals are single user actions; they re-index the rows, lookups stay constant.
void HeadlessDocumentList::RefreshEditedRow(size_t index, std::string_view oldName) {
    std::string name = table_.Name(index);
    std::lock_guard guard(lock_);
    if (auto row = FindRowLocked(std::string(oldName))) {
        rows_[*row] = std::move(name);
        IndexRowsLocked();
        ++refreshes_;
    }
}

void HeadlessDocumentList::RemoveRow(size_t index) {
    std::string name = table_.Name(index);
    std::lock_guard guard(lock_);
    if (auto row = FindRowLocked(name)) {
        rows_.erase(rows_.begin() + static_cast<long>(*row));
        IndexRowsLocked();
    }
}

std::optional<size_t> HeadlessDocumentList::FindRowOfRecord(size_t index) {
    std::string name = table_.Name(index);
    std::lock_guard guard(lock_);
    return FindRowLocked(name);
}

std::optional<size_t> HeadlessDocumentList::FindRowLocked(const std::string& name) const {
    if (name.empty()) return std::nullopt;
    auto found = firstRow_.find(name);
    if (found == firstRow_.end()) return std::nullopt;
    return found->second;
}

std::vector<std::string> HeadlessDocumentList::Rows() const {
    std::lock_guard guard(lock_);
    return rows_;
}

size_t HeadlessDocumentList::refreshCount() const {
    std::lock_guard guard(lock_);
    return refreshes_;
}

}  // namespace wardlet
