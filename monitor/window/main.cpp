#include <QApplication>
#include <cstdio>

#include "common/desktop/qt_desktop_services.h"
#include "common/folders.h"
#include "monitor/app/monitor_command_line.h"
#include "monitor/window/exit_signals.h"
#include "monitor/window/single_instance.h"
#include "monitor/window/wardlet_app.h"

int main(int argc, char** argv) {
    using namespace wardlet;
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    MonitorCommandLine line = ParseMonitorCommandLine(args);
    if (line.help || line.version) {
        fputs((line.help ? MonitorUsage() : MonitorVersionLine()).c_str(), stdout);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // hidden in the tray is still running
    std::filesystem::path installFolder = InstallFolder();
    std::filesystem::path dataFolder = MonitorDataFolder();

    SingleInstance instance(dataFolder);
    if (instance.AskRunningToComeForward()) return 0;

    QtMessageBoxes messages(kMonitorTitle);
    QtDocumentOpener opener;
    QtProcessLauncher launcher;
    CWardletApp app(dataFolder, installFolder, {messages, opener, launcher});
    if (app.doc().LockDataFolder() == FolderLock::InUse) {
        messages.Show(app.doc().lockError(), MessageIcon::Stop);
        return 1;
    }
    // Not while the exit runs: its window is already gone.
    QObject::connect(&instance, &SingleInstance::comeForwardRequested, [&] {
        if (!app.shell().shuttingDown()) app.frame().BringForward();
    });
    instance.ListenOrReport();
    ExitSignals exitSignals([&] { app.shell().Shutdown(); });
    app.Start(line.hide);
    return QApplication::exec();
}
