#include "monitor/dialogs/change_view_dialog.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "common/atomic_file.h"
#include "monitor/app/change_view_text.h"
#include "monitor/app/document_commands.h"
#include "monitor/dialogs/save_as_dialog.h"

namespace wardlet {
namespace {

QTextCharFormat FormatOf(RunStyle style) {
    RunLook look = LookOf(style);
    QTextCharFormat format;
    if (style != RunStyle::Plain) format.setForeground(QColor(QRgb(look.color)));
    if (look.background) format.setBackground(QColor(QRgb(look.background)));
    format.setFontStrikeOut(look.strike);
    format.setFontItalic(look.italic);
    return format;
}

// The picture into the document in one pass: a block per line, a fragment per run.
void Paint(QTextEdit& edit, const ChangePicture& picture) {
    auto* document = edit.document();
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    bool first = true;
    for (const PaintedLine& line : picture.lines) {
        if (!first) cursor.insertBlock();
        first = false;
        for (const TextRun& run : line)
            cursor.insertText(QString::fromUtf8(run.text.data(), qsizetype(run.text.size())),
                              FormatOf(run.style));
    }
    cursor.endEditBlock();
    edit.moveCursor(QTextCursor::Start);
}

}  // namespace

ChangeViewDialog::ChangeViewDialog(const std::string& name, ChangeView view, MessageBoxes& messages,
                                   std::filesystem::path saveFolder, QWidget* parent)
    : QDialog(parent),
      view_(std::move(view)),
      messages_(messages),
      saveFolder_(std::move(saveFolder)) {
    setObjectName("changeViewDialog");
    setWindowTitle("Changes - " + QString::fromLocal8Bit(name.data(), qsizetype(name.size())));
    versions_ = new QListWidget(this);
    versions_->setObjectName("versions");
    for (const VersionEntry& version : view_.versions())
        versions_->addItem(QString::fromStdString(VersionCaption(version)));
    // Wide enough for a whole caption: the time, the size and what the version is.
    versions_->setMinimumWidth(versions_->sizeHintForColumn(0) + 2 * versions_->frameWidth() + 8);
    notice_ = new QLabel(this);
    notice_->setObjectName("notice");
    notice_->setWordWrap(true);
    text_ = new QTextEdit(this);
    text_->setObjectName("changeText");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QTextEdit::NoWrap);
    text_->setTabChangesFocus(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    source_ = new QCheckBox("Show the page's &source", this);
    source_->setObjectName("sourceToggle");
    // A filtered document shows what its filters compare; the whole page is one click away.
    wholePage_ = new QCheckBox("Show the &whole page", this);
    wholePage_->setObjectName("wholePageToggle");
    wholePage_->setVisible(view_.filtered());
    saveAs_ = new QPushButton("Save &As...", this);
    saveAs_->setObjectName("saveAsButton");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("closeButton");
    close->setDefault(true);

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(notice_);
    rightLayout->addWidget(text_, 1);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(versions_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(source_);
    buttons->addWidget(wholePage_);
    buttons->addStretch();
    buttons->addWidget(saveAs_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(860, 520);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(saveAs_, &QPushButton::clicked, this, &ChangeViewDialog::SaveChosen);
    connect(source_, &QCheckBox::toggled, this, &ChangeViewDialog::ShowChosen);
    connect(wholePage_, &QCheckBox::toggled, this, &ChangeViewDialog::ShowChosen);
    connect(versions_, &QListWidget::currentRowChanged, this, &ChangeViewDialog::ShowChosen);
    if (versions_->count() > 0)
        versions_->setCurrentRow(0);  // the newest; shows it
    else
        ShowChosen();
}

size_t ChangeViewDialog::Chosen() const {
    return versions_->currentRow() < 0 ? 0 : size_t(versions_->currentRow());
}

void ChangeViewDialog::ShowChosen() {
    bool whole = wholePage_->isChecked();
    ChangePicture picture = whole ? PaintWholePage(view_, source_->isChecked())
                                  : PaintChange(view_, Chosen(), source_->isChecked());
    notice_->setText(QString::fromStdString(picture.notice));
    notice_->setVisible(!picture.notice.empty());
    Paint(*text_, picture);
    size_t chosen = Chosen();
    saveAs_->setEnabled(!whole && chosen < view_.versions().size() &&
                        view_.versions()[chosen].kept);
}

void ChangeViewDialog::SaveChosen() {
    size_t chosen = Chosen();
    if (chosen >= view_.versions().size() || !view_.versions()[chosen].kept) return;
    std::optional<std::filesystem::path> target = RunSaveAsDialog(this, saveFolder_);
    if (!target) return;
    saveFolder_ = target->parent_path();
    if (!ReplaceFileWithCopyOf(*target, view_.versions()[chosen].file))
        messages_.Show(SaveAsFailedMessage(*target), MessageIcon::Stop);
}

void RunChangeView(QWidget* parent, const std::string& name, ChangeView view,
                   MessageBoxes& messages, const std::filesystem::path& saveFolder) {
    ChangeViewDialog dialog(name, std::move(view), messages, saveFolder, parent);
    dialog.exec();
}

}  // namespace wardlet
