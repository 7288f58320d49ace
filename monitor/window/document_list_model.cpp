#include "monitor/window/document_list_model.h"

#include "common/desktop/qt_desktop_services.h"

namespace wardlet {

DocumentListModel::DocumentListModel(DocumentRowList& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {
    rows_.SetListener(this);
}

DocumentListModel::~DocumentListModel() {
    rows_.SetListener(nullptr);
}

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
    const RowTexts& texts = rows_.Texts(static_cast<size_t>(index.row()));
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

void DocumentListModel::RowAboutToBeInserted(size_t row) {
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
}

void DocumentListModel::RowInserted() {
    endInsertRows();
}

void DocumentListModel::RowChanged(size_t row) {
    emit dataChanged(index(static_cast<int>(row), 0),
                     index(static_cast<int>(row), columnCount() - 1));
}

void DocumentListModel::RowAboutToBeRemoved(size_t row) {
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
}

void DocumentListModel::RowRemoved() {
    endRemoveRows();
}

void DocumentListModel::RowsAboutToBeReordered() {
    emit layoutAboutToBeChanged();
}

void DocumentListModel::RowsReordered(const std::vector<size_t>& newRowOf) {
    QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    for (const QModelIndex& old : from)
        to << index(static_cast<int>(newRowOf[old.row()]), old.column());
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

}  // namespace wardlet
