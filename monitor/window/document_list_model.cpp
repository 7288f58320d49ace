#include "monitor/window/document_list_model.h"

#include "common/desktop/qt_desktop_services.h"
#include "common/little_endian.h"

namespace wardlet {

DocumentListModel::DocumentListModel(DocumentStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {}

QIcon DocumentListModel::StatusIcon(StatusImage image) {
    static const std::array<QIcon, 4> icons = {
        QIcon(":/wardlet/status_checked.png"), QIcon(":/wardlet/status_retrieving.png"),
        QIcon(":/wardlet/status_unavailable.png"), QIcon(":/wardlet/status_changed.png")};
    return icons[static_cast<size_t>(image)];
}

int DocumentListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DocumentListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kColumnHeadings.size());
}

QVariant DocumentListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size()) return {};
    const RowTexts& texts = rows_[index.row()].texts;
    if (role == Qt::DisplayRole) return FromLocal8Bit(texts.columns[index.column()]);
    if (role == Qt::DecorationRole && index.column() == 0) return StatusIcon(texts.image);
    return {};
}

QVariant DocumentListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnHeadings[section].data());
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

std::string DocumentListModel::NameOf(size_t index) const {
    return std::string(FieldText(store_.table().Get(index).name));
}

void DocumentListModel::AddRow(size_t index) {
    DocumentRecord record = store_.table().Get(index);
    // At the record's slot: all lower slots are listed, so this is never beyond the end.
    size_t row = std::min(index, rows_.size());
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
    rows_.insert(rows_.begin() + static_cast<ptrdiff_t>(row), Row{MakeRowTexts(record), index});
    ReindexFrom(row);
    endInsertRows();
}

void DocumentListModel::RefreshRow(size_t index) {
    DocumentRecord record = store_.table().Get(index);
    auto row = FindRowOfRecord(index);
    if (!row) return;
    rows_[*row].texts = MakeRowTexts(record);
    emit dataChanged(this->index(static_cast<int>(*row), 0),
                     this->index(static_cast<int>(*row), columnCount() - 1));
}

void DocumentListModel::RefreshEditedRow(size_t index, std::string_view oldName) {
    std::optional<size_t> row;
    if (auto it = rowOfSlot_.find(index);
        it != rowOfSlot_.end() && rows_[it->second].texts.columns[0] == oldName)
        row = it->second;
    else
        row = RowOfName(std::string(oldName));
    if (!row) return;
    rows_[*row].texts = MakeRowTexts(store_.table().Get(index));
    Retie(*row, index);
    ReindexFrom(0);
    emit dataChanged(this->index(static_cast<int>(*row), 0),
                     this->index(static_cast<int>(*row), columnCount() - 1));
}

void DocumentListModel::RemoveRow(size_t index) {
    auto row = FindRowOfRecord(index);
    if (!row) return;
    beginRemoveRows({}, static_cast<int>(*row), static_cast<int>(*row));
    rowOfName_.erase(rows_[*row].texts.columns[0]);
    rowOfSlot_.erase(rows_[*row].slot);
    rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(*row));
    ReindexFrom(*row);
    endRemoveRows();
}

std::optional<size_t> DocumentListModel::FindRowOfRecord(size_t index) {
    if (index >= store_.table().size()) return std::nullopt;
    std::string name = NameOf(index);
    if (auto it = rowOfSlot_.find(index);
        it != rowOfSlot_.end() && !name.empty() && rows_[it->second].texts.columns[0] == name)
        return it->second;
    return RowOfName(name);
}

std::optional<size_t> DocumentListModel::RowOfName(const std::string& name) const {
    if (name.empty()) return std::nullopt;
    auto it = rowOfName_.find(name);
    if (it == rowOfName_.end()) return std::nullopt;
    return it->second;
}

std::optional<size_t> DocumentListModel::FindRecordOfRow(size_t row) {
    if (row >= rows_.size()) return std::nullopt;
    const std::string& name = rows_[row].texts.columns[0];
    size_t slot = rows_[row].slot;
    if (slot < store_.table().size() && NameOf(slot) == name) return slot;
    // The record moved under this name (an edit elsewhere): look it up by name.
    slot = store_.FindRecordByName(name);
    if (slot == DocumentTable::kNoSlot) return std::nullopt;
    Retie(row, slot);
    return slot;
}

void DocumentListModel::Retie(size_t row, size_t slot) {
    if (auto it = rowOfSlot_.find(rows_[row].slot); it != rowOfSlot_.end() && it->second == row)
        rowOfSlot_.erase(it);
    rows_[row].slot = slot;
    rowOfSlot_[slot] = row;
}

void DocumentListModel::ReindexFrom(size_t first) {
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

void DocumentListModel::SortByColumn(int column, bool ascending) {
    if (column < 0 || column >= columnCount() || rows_.empty()) return;
    std::vector<std::string> texts;
    texts.reserve(rows_.size());
    for (const auto& row : rows_)
        texts.push_back(row.texts.columns[column]);
    std::vector<size_t> order = SortedRowOrder(std::move(texts), ascending);

    emit layoutAboutToBeChanged();
    std::vector<size_t> newRowOf(order.size());
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[order[i]] = i;
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    for (const QModelIndex& old : from)
        to << index(static_cast<int>(newRowOf[old.row()]), old.column());
    changePersistentIndexList(from, to);
    ReindexFrom(0);
    emit layoutChanged();
}

}  // namespace wardlet
