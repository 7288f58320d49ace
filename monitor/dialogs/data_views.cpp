#include "monitor/dialogs/data_views.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "common/little_endian.h"
#include "monitor/dialogs/qt_text.h"

namespace wardlet {
namespace {

QPlainTextEdit* NewPane(const char* objectName, const std::string& text, bool wrap,
                        QWidget* parent) {
    auto* pane = new QPlainTextEdit(parent);
    pane->setObjectName(objectName);
    pane->setReadOnly(true);
    pane->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pane->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    pane->setPlainText(FromLocal8Bit(text));
    pane->moveCursor(QTextCursor::Start);
    return pane;
}

QPushButton* CloseButton(QDialog* dialog) {
    auto* close = new QPushButton("Close", dialog);
    close->setObjectName("closeButton");
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
    return close;
}

}  // namespace

DataViewDialog::DataViewDialog(const DataViewText& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Data view");
    auto* layout = new QGridLayout(this);
    auto* characters = NewPane("characterPane", text.characters, false, this);
    auto* hex = NewPane("hexPane", text.hex, false, this);
    hex->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Six groups of three characters and room for the scroll bar.
    hex->setMinimumWidth(hex->fontMetrics().horizontalAdvance("00 00 00 00 00 00 ") +
                         hex->verticalScrollBar()->sizeHint().width() + 16);
    layout->addWidget(characters, 0, 0);
    layout->addWidget(hex, 0, 1);
    layout->setColumnStretch(0, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(CloseButton(this));
    layout->addLayout(row, 1, 0, 1, 2);
    resize(640, 420);
}

int DataView(QWidget* parent, const std::filesystem::path& file) {
    auto text = LoadDataView(file);
    if (!text) return 0;
    DataViewDialog dialog(*text, parent);
    dialog.exec();
    return 1;
}

CountViewDialog::CountViewDialog(const DocumentRecord& record, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Count View");
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Counting string:", this), 0, 0);
    auto* counted = new QLineEdit(FromLocal8Bit(FieldText(record.countString)), this);
    counted->setObjectName("countStringEdit");
    counted->setReadOnly(true);
    layout->addWidget(counted, 0, 1);
    layout->addWidget(new QLabel("Count:", this), 1, 0);
    auto* count = new QLabel(QString::number(static_cast<uint32_t>(record.lastCount)), this);
    count->setObjectName("countValue");
    layout->addWidget(count, 1, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(CloseButton(this));
    layout->addLayout(row, 2, 0, 1, 2);
}

int CountView(QWidget* parent, const DocumentTable& table, size_t slot) {
    DocumentRecord record = slot < table.size() ? table.Get(slot) : DocumentRecord{};
    CountViewDialog dialog(record, parent);
    dialog.exec();
    return 1;
}

}  // namespace wardlet
