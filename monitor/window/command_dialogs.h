#pragma once

#include <QWidget>

#include "monitor/app/document_commands.h"
#include "monitor/app/wardlet_doc.h"
#include "monitor/dialogs/file_chooser.h"

namespace wardlet {

// The commands' modal windows over the real dialogs, owned by the main window.
class QtCommandDialogs : public CommandDialogs {
public:
    QtCommandDialogs(CWardletDoc& doc, MessageBoxes& messages, DocumentOpener& opener,
                     ProcessLauncher& launcher, QWidget* parent);

    std::optional<StagedDocument> RunProperties(PropertiesMode mode, size_t slot) override;
    bool RunDataView(const std::filesystem::path& file) override;
    void RunCountView(size_t slot) override;
    void RunChanges(size_t slot) override;
    std::optional<std::filesystem::path> ChooseSaveAsPath(
        const std::filesystem::path& folder) override;
    void RunAbout() override;
    bool RunOptions(MonitorOptions& options) override;

private:
    CWardletDoc& doc_;
    MessageBoxes& messages_;
    DocumentOpener& opener_;
    ProcessLauncher& launcher_;
    QWidget* parent_;
    QtFileChooser files_;
};

}  // namespace wardlet
