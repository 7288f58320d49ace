#include "monitor/window/command_dialogs.h"

#include "common/folders.h"
#include "monitor/dialogs/about_box.h"
#include "monitor/dialogs/change_view_dialog.h"
#include "monitor/dialogs/data_views.h"
#include "monitor/dialogs/document_properties_dialog.h"
#include "monitor/dialogs/save_as_dialog.h"

namespace wardlet {

QtCommandDialogs::QtCommandDialogs(CWardletDoc& doc, MessageBoxes& messages, DocumentOpener& opener,
                                   QWidget* parent)
    : doc_(doc), messages_(messages), opener_(opener), parent_(parent) {}

std::optional<DocumentRecord> QtCommandDialogs::RunProperties(PropertiesMode mode, size_t slot) {
    PropertiesContext context{doc_.documents(), doc_.dataFolder(),    messages_, opener_,
                              files_,           doc_.transferLimits()};
    DocumentPropertiesDialog dialog(context, mode, slot, parent_);
    if (dialog.exec() != 1) return std::nullopt;
    return dialog.stagedRecord();
}

bool QtCommandDialogs::RunDataView(const std::filesystem::path& file) {
    return DataView(parent_, file) != 0;
}

void QtCommandDialogs::RunCountView(size_t slot) {
    CountView(parent_, doc_.documents(), slot);
}

void QtCommandDialogs::RunChanges(size_t slot) {
    RunChangeView(parent_, doc_.documents().Name(slot), doc_.ChangesOf(slot), messages_,
                  HomeFolder());
}

std::optional<std::filesystem::path> QtCommandDialogs::ChooseSaveAsPath(
    const std::filesystem::path& folder) {
    return RunSaveAsDialog(parent_, folder);
}

void QtCommandDialogs::RunAbout() {
    RunAboutBox(parent_);
}

}  // namespace wardlet
