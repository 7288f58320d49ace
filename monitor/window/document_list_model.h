#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/app/list_rows.h"
#include "monitor/model/document_store.h"
#include "monitor/model/document_views.h"

namespace wardlet {

// The rows of the document list over the table: each row keeps the texts it shows, and indexes
// keep lookups cheap with thousands of documents. Each row is tied to the record it was made for
// by its slot (two hand-made files may hold one name), checked against the name before use; the
// name finds a row only when its slot does not.
// User-interface thread only.
class DocumentListModel : public QAbstractTableModel, public DocumentListSink {
    Q_OBJECT
public:
    explicit DocumentListModel(DocumentStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void AddRow(size_t index) override;
    void RefreshRow(size_t index) override;
    void RefreshEditedRow(size_t index, std::string_view oldName) override;
    void RemoveRow(size_t index) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;

    std::optional<size_t> FindRecordOfRow(size_t row);
    std::optional<size_t> RowOfName(const std::string& name) const;
    const RowTexts& Texts(size_t row) const { return rows_[row].texts; }
    size_t size() const { return rows_.size(); }
    // Reorders the rows by the texts of `column`; selection and focus move with their rows.
    void SortByColumn(int column, bool ascending);

    static QIcon StatusIcon(StatusImage image);

private:
    struct Row {
        RowTexts texts;
        size_t slot;
    };
    std::string NameOf(size_t index) const;
    // Ties the row to the record in `slot`.
    void Retie(size_t row, size_t slot);
    // Rows from `first` on moved: their index entries are made again.
    void ReindexFrom(size_t first);

    DocumentStore& store_;
    std::vector<Row> rows_;
    std::unordered_map<std::string, size_t> rowOfName_;  // the first row showing each name
    std::unordered_map<size_t, size_t> rowOfSlot_;
};

}  // namespace wardlet
