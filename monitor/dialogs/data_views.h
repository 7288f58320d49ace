#pragma once

#include <QDialog>

#include <filesystem>

#include "monitor/app/data_view_text.h"
#include "monitor/model/document_table.h"

class QPlainTextEdit;

namespace wardlet {

// "Data view": the first bytes of a stored file as characters and as hexadecimal groups, each
// pane scrolling on its own. "Close" and Esc end it with 1.
class DataViewDialog : public QDialog {
    Q_OBJECT
public:
    explicit DataViewDialog(const DataViewText& text, QWidget* parent = nullptr);
    void reject() override { accept(); }
};

// 0 at once, without a window, when the file cannot be opened; else 1 after it was closed.
int DataView(QWidget* parent, const std::filesystem::path& file);

// "Count View": the counting string and the last count of a document.
class CountViewDialog : public QDialog {
    Q_OBJECT
public:
    CountViewDialog(const DocumentRecord& record, QWidget* parent = nullptr);
    void reject() override { accept(); }
};

// 1 after it was closed.
int CountView(QWidget* parent, const DocumentTable& table, size_t slot);

}  // namespace wardlet
