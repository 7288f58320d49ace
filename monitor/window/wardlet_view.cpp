#include "monitor/window/wardlet_view.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace wardlet {

CWardletView::CWardletView(DocumentListModel& model, QWidget* parent)
    : QTreeView(parent), model_(model) {
    setObjectName("documentList");
    setModel(&model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // keeps ten thousand rows quick
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(16, 16));
    setMouseTracking(true);
    setTextElideMode(Qt::ElideRight);
    // The selection stays as visible as with the focus.
    QPalette colours = palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CWardletView::SortByColumn);
}

void CWardletView::SetUpColumns() {
    for (size_t column = 0; column < kColumnWidths.size(); ++column)
        setColumnWidth(static_cast<int>(column), kColumnWidths[column]);
}

std::optional<size_t> CWardletView::FindRecordOfRow(size_t row) {
    return model_.FindRecordOfRow(row);
}

std::optional<size_t> CWardletView::FindRowOfRecord(size_t index) {
    return model_.FindRowOfRecord(index);
}

void CWardletView::RefreshRow(size_t index) {
    model_.rows().RefreshRow(index);
}

void CWardletView::SelectRowOfRecord(size_t index) {
    auto row = model_.FindRowOfRecord(index);
    if (!row) return;
    // Added to the selection; the current row, the scroll position and the focus stay.
    selectionModel()->select(model_.index(static_cast<int>(*row), 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool CWardletView::IsRowSelected(size_t row) {
    return selectionModel()->isRowSelected(static_cast<int>(row), {});
}

size_t CWardletView::SelectedCount() {
    return static_cast<size_t>(selectionModel()->selectedRows().size());
}

size_t CWardletView::RowCount() {
    return model_.size();
}

void CWardletView::SetAllRowsSelected(bool selected) {
    if (selected)
        selectAll();
    else
        selectionModel()->clearSelection();
}

void CWardletView::SortByColumn(int column) {
    model_.SortByColumn(column, direction_.TakeAscending());
}

void CWardletView::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved();
    QTreeView::mouseMoveEvent(event);
}

void CWardletView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    QModelIndex hit = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && hit.isValid())
        emit rowDoubleClicked(static_cast<size_t>(hit.row()));
}

}  // namespace wardlet
