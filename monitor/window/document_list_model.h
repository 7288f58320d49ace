#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <optional>
#include <string>

#include "monitor/app/document_row_list.h"

namespace wardlet {

// The document list's rows as a Qt model: the rows and their rules are the display-free
// DocumentRowList's; this only announces its changes to the view and hands it the texts.
// User-interface thread only.
class DocumentListModel : public QAbstractTableModel, private RowListListener {
    Q_OBJECT
public:
    explicit DocumentListModel(DocumentRowList& rows, QObject* parent = nullptr);
    ~DocumentListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    DocumentRowList& rows() { return rows_; }
    std::optional<size_t> FindRecordOfRow(size_t row) { return rows_.FindRecordOfRow(row); }
    std::optional<size_t> FindRowOfRecord(size_t index) { return rows_.FindRowOfRecord(index); }
    std::optional<size_t> RowOfName(const std::string& name) const { return rows_.RowOfName(name); }
    const RowTexts& Texts(size_t row) const { return rows_.Texts(row); }
    size_t size() const { return rows_.size(); }
    // Reorders the rows by the texts of `column`; selection and focus move with their rows.
    void SortByColumn(int column, bool ascending) { rows_.SortByColumn(column, ascending); }

    static QIcon StatusIcon(StatusImage image);

private:
    void RowAboutToBeInserted(size_t row) override;
    void RowInserted() override;
    void RowChanged(size_t row) override;
    void RowAboutToBeRemoved(size_t row) override;
    void RowRemoved() override;
    void RowsAboutToBeReordered() override;
    void RowsReordered(const std::vector<size_t>& newRowOf) override;

    DocumentRowList& rows_;
};

}  // namespace wardlet
