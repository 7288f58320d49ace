#include "monitor/dialogs/save_as_dialog.h"

#include <QFileDialog>

#include "monitor/dialogs/file_chooser.h"

namespace wardlet {

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

}  // namespace wardlet
