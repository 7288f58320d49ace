#include "monitor/model/headless_list.h"

#include "common/little_endian.h"

namespace wardlet {
namespace {

std::string NameOf(const DocumentTable& table, size_t index) {
    return std::string(FieldText(table.Get(index).name));
}

}  // namespace

void HeadlessDocumentList::AddRow(size_t index) {
    std::string name = NameOf(table_, index);
    std::lock_guard guard(lock_);
    rows_.push_back(std::move(name));
}

void HeadlessDocumentList::RefreshRow(size_t index) {
    std::string name = NameOf(table_, index);
    std::lock_guard guard(lock_);
    if (FindRowLocked(name)) ++refreshes_;
}

void HeadlessDocumentList::RefreshEditedRow(size_t index, std::string_view oldName) {
    std::string name = NameOf(table_, index);
    std::lock_guard guard(lock_);
    if (auto row = FindRowLocked(std::string(oldName))) {
        rows_[*row] = std::move(name);
        ++refreshes_;
    }
}

void HeadlessDocumentList::RemoveRow(size_t index) {
    std::string name = NameOf(table_, index);
    std::lock_guard guard(lock_);
    if (auto row = FindRowLocked(name)) rows_.erase(rows_.begin() + static_cast<long>(*row));
}

std::optional<size_t> HeadlessDocumentList::FindRowOfRecord(size_t index) {
    std::string name = NameOf(table_, index);
    std::lock_guard guard(lock_);
    return FindRowLocked(name);
}

std::optional<size_t> HeadlessDocumentList::FindRowLocked(const std::string& name) const {
    if (name.empty()) return std::nullopt;
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row] == name) return row;
    return std::nullopt;
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
