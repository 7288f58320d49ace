#include "monitor/app/document_row_list.h"

#include <algorithm>

namespace wardlet {

using Guard = std::lock_guard<std::recursive_mutex>;

void DocumentRowList::SetListener(RowListListener* listener) {
    Guard guard(lock_);
    listener_ = listener;
}

void DocumentRowList::AddRow(size_t index) {
    DocumentRecord record = table_.Get(index);
    Guard guard(lock_);
    size_t row = std::min(index, rows_.size());
    if (listener_) listener_->RowAboutToBeInserted(row);
    rows_.insert(rows_.begin() + static_cast<ptrdiff_t>(row), Row{MakeRowTexts(record), index});
    ReindexFrom(row);
    if (listener_) listener_->RowInserted();
}

void DocumentRowList::RefreshRow(size_t index) {
    DocumentRecord record = table_.Get(index);
    Guard guard(lock_);
    auto row = FindRowLocked(index);
    if (!row) return;
    rows_[*row].texts = MakeRowTexts(record);
    ++refreshes_;
    if (listener_) listener_->RowChanged(*row);
}

void DocumentRowList::RefreshEditedRow(size_t index, std::string_view oldName) {
    DocumentRecord record = table_.Get(index);
    Guard guard(lock_);
    std::optional<size_t> row;
    if (auto it = rowOfSlot_.find(index);
        it != rowOfSlot_.end() && rows_[it->second].texts.columns[0] == oldName)
        row = it->second;
    else
        row = RowOfNameLocked(std::string(oldName));
    if (!row) return;
    rows_[*row].texts = MakeRowTexts(record);
    Retie(*row, index);
    ReindexFrom(0);
    ++refreshes_;
    if (listener_) listener_->RowChanged(*row);
}

void DocumentRowList::RemoveRow(size_t index) {
    Guard guard(lock_);
    auto row = FindRowLocked(index);
    if (!row) return;
    if (listener_) listener_->RowAboutToBeRemoved(*row);
    rowOfName_.erase(rows_[*row].texts.columns[0]);
    rowOfSlot_.erase(rows_[*row].slot);
    rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(*row));
    ReindexFrom(*row);
    if (listener_) listener_->RowRemoved();
}

std::optional<size_t> DocumentRowList::FindRowOfRecord(size_t index) {
    Guard guard(lock_);
    return FindRowLocked(index);
}

std::optional<size_t> DocumentRowList::FindRowLocked(size_t index) const {
    if (index >= table_.size()) return std::nullopt;
    std::string name = table_.Name(index);
    if (auto it = rowOfSlot_.find(index);
        it != rowOfSlot_.end() && !name.empty() && rows_[it->second].texts.columns[0] == name)
        return it->second;
    return RowOfNameLocked(name);
}

std::optional<size_t> DocumentRowList::RowOfName(const std::string& name) const {
    Guard guard(lock_);
    return RowOfNameLocked(name);
}

std::optional<size_t> DocumentRowList::RowOfNameLocked(const std::string& name) const {
    if (name.empty()) return std::nullopt;
    auto it = rowOfName_.find(name);
    if (it == rowOfName_.end()) return std::nullopt;
    return it->second;
}

std::optional<size_t> DocumentRowList::FindRecordOfRow(size_t row) {
    Guard guard(lock_);
    if (row >= rows_.size()) return std::nullopt;
    const std::string& name = rows_[row].texts.columns[0];
    size_t slot = rows_[row].slot;
    if (slot < table_.size() && table_.Name(slot) == name) return slot;
    // The record moved under this name (an edit elsewhere): look it up by name.
    slot = table_.FindByName(name);
    if (slot == DocumentTable::kNoSlot) return std::nullopt;
    Retie(row, slot);
    return slot;
}

size_t DocumentRowList::size() const {
    Guard guard(lock_);
    return rows_.size();
}

std::vector<std::string> DocumentRowList::Names() const {
    Guard guard(lock_);
    std::vector<std::string> names;
    names.reserve(rows_.size());
    for (const Row& row : rows_)
        names.push_back(row.texts.columns[0]);
    return names;
}

size_t DocumentRowList::refreshCount() const {
    Guard guard(lock_);
    return refreshes_;
}

void DocumentRowList::Retie(size_t row, size_t slot) {
    if (auto it = rowOfSlot_.find(rows_[row].slot); it != rowOfSlot_.end() && it->second == row)
        rowOfSlot_.erase(it);
    rows_[row].slot = slot;
    rowOfSlot_[slot] = row;
}

void DocumentRowList::ReindexFrom(size_t first) {
    // Only names shown from `first` on can point at a moved row.
    for (size_t row = first; row < rows_.size(); ++row) {
        auto it = rowOfName_.find(rows_[row].texts.columns[0]);
        if (it != rowOfName_.end() && it->second >= first) rowOfName_.erase(it);
    }
    for (size_t row = first; row < rows_.size(); ++row) {
        rowOfName_.emplace(rows_[row].texts.columns[0], row);
        rowOfSlot_[rows_[row].slot] = row;
    }
}

void DocumentRowList::SortByColumn(int column, bool ascending) {
    Guard guard(lock_);
    if (column < 0 || column >= static_cast<int>(kColumnHeadings.size()) || rows_.empty()) return;
    std::vector<std::string> texts;
    texts.reserve(rows_.size());
    for (const auto& row : rows_)
        texts.push_back(row.texts.columns[column]);
    std::vector<size_t> order = SortedRowOrder(std::move(texts), ascending);

    if (listener_) listener_->RowsAboutToBeReordered();
    std::vector<size_t> newRowOf(order.size());
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[order[i]] = i;
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    ReindexFrom(0);
    if (listener_) listener_->RowsReordered(newRowOf);
}

}  // namespace wardlet
