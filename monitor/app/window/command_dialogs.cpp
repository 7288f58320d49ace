#include "monitor/app/window/command_dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "monitor/app/monitor_command_line.h"
#include "monitor/app/window/main_frame.h"
#include "monitor/dialogs/data_views.h"
#include "monitor/dialogs/document_properties_dialog.h"

namespace wardlet {

void RunAboutBox(QWidget* parent) {
    QDialog box(parent);
    box.setObjectName("aboutBox");
    box.setWindowTitle("Wardlet");
    box.setWindowIcon(ProgramIcon());
    auto* picture = new QLabel;
    picture->setObjectName("aboutIcon");
    picture->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* name = new QLabel("<b>Wardlet</b><br>Document change monitor");
    auto* version = new QLabel(QString::fromLatin1(ProgramVersion()));
    version->setObjectName("aboutVersion");
    auto* close = new QPushButton("Close");
    close->setObjectName("close");
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, &box, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addLayout(buttons);
    box.exec();
}

std::optional<std::filesystem::path> RunSaveAsDialog(QWidget* parent,
                                                     const std::filesystem::path& folder) {
    QFileDialog dialog(parent, "Save As...", QString::fromStdString(folder.string()),
                       "All Files (*.*)");
    dialog.setObjectName("saveAsDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter("All Files (*.*)");
    dialog.setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    ListEveryFile(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

QtCommandDialogs::QtCommandDialogs(CWardletDoc& doc, MessageBoxes& messages, DocumentOpener& opener,
                                   QWidget* parent)
    : doc_(doc), messages_(messages), opener_(opener), parent_(parent) {}

std::optional<DocumentRecord> QtCommandDialogs::RunProperties(PropertiesMode mode, size_t slot) {
    PropertiesContext context{doc_.table(), doc_.dataFolder(),     messages_, opener_,
                              files_,       doc_.engine().limits()};
    DocumentPropertiesDialog dialog(context, mode, slot, parent_);
    if (dialog.exec() != 1) return std::nullopt;
    return dialog.stagedRecord();
}

bool QtCommandDialogs::RunDataView(const std::filesystem::path& file) {
    return DataView(parent_, file) != 0;
}

void QtCommandDialogs::RunCountView(size_t slot) {
    CountView(parent_, doc_.table(), slot);
}

std::optional<std::filesystem::path> QtCommandDialogs::ChooseSaveAsPath(
    const std::filesystem::path& folder) {
    return RunSaveAsDialog(parent_, folder);
}

void QtCommandDialogs::RunAbout() {
    RunAboutBox(parent_);
}

}  // namespace wardlet
