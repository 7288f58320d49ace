#include "monitor/app/window/wardlet_app.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMenu>

#include "monitor/dialogs/options_dialog.h"

namespace wardlet {

CWardletApp::CWardletApp(std::filesystem::path dataFolder, std::filesystem::path installFolder,
                         const Desktop& desktop, TransferLimits limits)
    : desktop_(desktop),
      doc_(std::make_unique<CWardletDoc>(std::move(dataFolder), std::move(installFolder),
                                         std::move(limits))),
      model_(std::make_unique<DocumentListModel>(doc_->store())),
      frame_(std::make_unique<CMainFrame>(*model_)),
      tray_(std::make_unique<QtTrayIcon>()),
      timers_(std::make_unique<QtShellTimers>()),
      sound_(std::make_unique<QtSoundPlayer>()) {
    shell_ = std::make_unique<MonitorShell>(
        MonitorShell::Parts{*doc_, frame_->view(), *timers_, *tray_, *sound_, desktop.messages,
                            desktop.opener, desktop.launcher, *frame_});
    observer_ = std::make_unique<UiThreadObserver>(*shell_);
    doc_->Attach(*model_, *observer_);
    doc_->engine().SetIdleCallback([this] { observer_->Post([this] { shell_->OnChecksIdle(); }); });

    timers_->onTick = [this](TimerId id) { shell_->OnTimer(id); };
    tray_->onActivate = [this] { shell_->Activate(); };
    frame_->onCloseRequest = [this] { shell_->Shutdown(); };
    frame_->onMinimized = [this] { shell_->OnMinimized(); };
    frame_->onRestored = [this] { shell_->OnRestored(); };
    frame_->hidesWhenMinimized = [this] { return shell_->WindowHides(); };
    view().onMouseMove = [this] { shell_->OnListMouseMove(); };
    view().onRowDoubleClicked = [this](size_t row) { shell_->OpenDocumentOfRow(row, true); };
    shell_->editOptions = [this](MonitorOptions& options) { return RunOptionsDialog(options); };
    connect(&frame_->actionOptions(), &QAction::triggered, this,
            [this] { shell_->OptionsCommand(); });
    WireTrayMenu();
}

CWardletApp::~CWardletApp() {
    // No check may still wait for this thread when the engine joins its threads.
    doc_->RequestStop();
    while (!doc_->ChecksIdle())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    shell_.reset();
    doc_.reset();
}

void CWardletApp::WireTrayMenu() {
    QMenu& menu = tray_->menu();
    menu.addAction("Activate", this, [this] { shell_->Activate(); })->setObjectName("trayActivate");
    menu.addAction("Check All !", this,
                   [this] {
                       if (!shell_->shuttingDown()) doc_->engine().QueueAllForCheck();
                   })
        ->setObjectName("trayCheckAll");
    menu.addSeparator();
    menu.addAction("Options...", this, [this] { shell_->OptionsCommand(); })
        ->setObjectName("trayOptions");
    menu.addSeparator();
    menu.addAction("Exit", this, [this] { shell_->Shutdown(); })->setObjectName("trayExit");
}

bool CWardletApp::RunOptionsDialog(MonitorOptions& options) {
    // The e-mail dialog works on a copy: check threads read the settings in force under the
    // document object's lock. Its Apply saves at once, so the copy goes back on either answer.
    MailConfig mail = doc_->mailConfig();
    MailSettingsContext context{doc_->dataFolder(), doc_->installFolder(), mail, desktop_.messages,
                                desktop_.launcher};
    OptionsDialog dialog(options, context, frame_.get());
    bool applied = dialog.exec() == 1;
    doc_->SetMailConfig(mail);
    return applied;
}

WindowStart CWardletApp::Start(bool hide) {
    shell_->FirstUpdate();
    WindowStart start = shell_->Start(hide);
    switch (start) {
        case WindowStart::Shown:
            frame_->show();
            break;
        case WindowStart::Hidden:
            break;  // only the tray icon shows
        case WindowStart::Minimized:
            frame_->showMinimized();
            break;
    }
    return start;
}

}  // namespace wardlet
