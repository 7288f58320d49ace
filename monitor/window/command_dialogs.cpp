#include "monitor/window/command_dialogs.h"

#include "common/folders.h"
#include "monitor/dialogs/about_box.h"
#include "monitor/dialogs/change_view_dialog.h"
#include "monitor/dialogs/data_views.h"
#include "monitor/dialogs/document_properties_dialog.h"
#include "monitor/dialogs/options_dialog.h"
#include "monitor/dialogs/save_as_dialog.h"

namespace wardlet {

QtCommandDialogs::QtCommandDialogs(CWardletDoc& doc, MessageBoxes& messages, DocumentOpener& opener,
                                   ProcessLauncher& launcher, QWidget* parent)
    : doc_(doc), messages_(messages), opener_(opener), launcher_(launcher), parent_(parent) {}

std::optional<StagedDocument> QtCommandDialogs::RunProperties(PropertiesMode mode, size_t slot) {
    PropertiesContext context{doc_.documents(), doc_.dataFolder(),    messages_, opener_,
                              files_,           doc_.transferLimits()};
    if (mode != PropertiesMode::Add) context.filters = doc_.FiltersOf(slot);
    DocumentPropertiesDialog dialog(context, mode, slot, parent_);
    if (dialog.exec() != 1) return std::nullopt;
    return StagedDocument{dialog.stagedRecord(), dialog.stagedFilters()};
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

bool QtCommandDialogs::RunOptions(MonitorOptions& options) {
    // The e-mail dialog works on a copy: check threads read the settings in force under the
    // document object's lock. Its Apply saves at once and puts them in force at once.
    MailConfig mail = doc_.mailConfig();
    MailSettingsContext context{doc_.dataFolder(),
                                doc_.installFolder(),
                                mail,
                                messages_,
                                launcher_,
                                [this](const MailConfig& config) { doc_.SetMailConfig(config); }};
    OptionsDialog dialog(options, context, parent_);
    return dialog.exec() == 1;
}

}  // namespace wardlet
