#include "monitor/dialogs/file_chooser.h"

#include <QFileDialog>
#include <QFileSystemModel>

namespace wardlet {

void ListEveryFile(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (auto* model = dialog.findChild<QFileSystemModel*>()) model->setNameFilters({"*"});
}

std::optional<std::string> QtFileChooser::ChooseExistingFile(QWidget* parent) {
    QFileDialog dialog(parent, "Choose File..", "/");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter("All Files (*.*)");
    dialog.setDefaultSuffix("");
    ListEveryFile(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toLocal8Bit().toStdString();
}

}  // namespace wardlet
