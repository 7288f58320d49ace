#pragma once

#include <QTreeView>
#include <functional>

#include "monitor/app/list_rows.h"
#include "monitor/app/shell_interfaces.h"
#include "monitor/window/document_list_model.h"

namespace wardlet {

// The document list: several rows selectable, full-row highlight that stays when the list loses
// the focus, a sort on every heading click, and the row operations of the shell.
class CWardletView : public QTreeView, public DocumentRows {
    Q_OBJECT
public:
    CWardletView(DocumentListModel& model, QWidget* parent = nullptr);

    std::optional<size_t> FindRecordOfRow(size_t row) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;
    void RefreshRow(size_t index) override;
    void SelectRowOfRecord(size_t index) override;
    bool IsRowSelected(size_t row) override;
    size_t SelectedCount() override;
    size_t RowCount() override;
    void SetAllRowsSelected(bool selected) override;
    void SortByColumn(int column);
    // The columns with their headings and widths (the first update).
    void SetUpColumns();

signals:
    void mouseMoved();
    void rowDoubleClicked(size_t row);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    DocumentListModel& model_;
    SortDirection direction_;
};

}  // namespace wardlet
