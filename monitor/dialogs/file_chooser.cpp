#include "monitor/dialogs/file_chooser.h"

#include <QFileDialog>
#include <QFileSystemModel>

namespace wardlet {

std::optional<std::string> QtFileChooser::ChooseExistingFile(QWidget* parent) {
    QFileDialog dialog(parent, "Choose File..", "/");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter("All Files (*.*)");
    dialog.setDefaultSuffix("");
    // "*.*" means every file where the filter comes from; here it would hide names without a dot,
    // so the list is given every file under the same filter text.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (auto* model = dialog.findChild<QFileSystemModel*>()) model->setNameFilters({"*"});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toLocal8Bit().toStdString();
}

}  // namespace wardlet
