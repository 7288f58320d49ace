#include "monitor/window/wardlet_app.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "common/debug_log.h"

#include "monitor/dialogs/options_dialog.h"
#include "monitor/window/command_dialogs.h"
#include "monitor/window/ui_thread_observer.h"

namespace wardlet {

CWardletApp::CWardletApp(std::filesystem::path dataFolder, std::filesystem::path installFolder,
                         const Desktop& desktop, TransferLimits limits)
    : desktop_(desktop),
      doc_(std::make_unique<CWardletDoc>(std::move(dataFolder), std::move(installFolder),
                                         std::move(limits))),
      model_(std::make_unique<DocumentListModel>(doc_->rows())),
      frame_(std::make_unique<CMainFrame>(*model_, desktop.frame ? *desktop.frame : frameDesktop_)),
      tray_(std::make_unique<QtTrayIcon>()),
      timers_(std::make_unique<QtShellTimers>()),
      sound_(std::make_unique<QtSoundPlayer>()),
      copies_(std::make_unique<QtBackgroundCopies>(frame_.get())),
      notifications_(std::make_unique<QtDesktopNotifications>()) {
    DesktopNotifications& notifications =
        desktop.notifications ? *desktop.notifications : *notifications_;
    CommandDialogs* dialogs = desktop.dialogs;
    if (!dialogs) {
        ownDialogs_ = std::make_unique<QtCommandDialogs>(*doc_, desktop.messages, desktop.opener,
                                                         desktop.launcher, frame_.get());
        dialogs = ownDialogs_.get();
    }
    session_ = std::make_unique<MonitorSession>(
        MonitorShell::Parts{*doc_, frame_->view(), *timers_, *tray_, *sound_, desktop.messages,
                            desktop.opener, desktop.launcher, *frame_, *copies_, notifications,
                            clock_},
        *dialogs, [this](CheckObserver& shell) {
            return std::make_unique<UiThreadObserver>(shell, &doc_->rows());
        });

    QObject::connect(timers_.get(), &QtShellTimers::tick,
                     [this](TimerId id) { shell().OnTimer(id); });
    QObject::connect(tray_.get(), &QtTrayIcon::activated, [this] { shell().Activate(); });
    QObject::connect(notifications_.get(), &QtDesktopNotifications::actionInvoked,
                     [this](uint32_t id, const QString& key) {
                         shell().OnNotificationAction(id, key.toStdString());
                     });
    QObject::connect(notifications_.get(), &QtDesktopNotifications::closed,
                     [this](uint32_t id) { shell().OnNotificationClosed(id); });
    QObject::connect(frame_.get(), &CMainFrame::closeRequested, [this] { shell().Shutdown(); });
    QObject::connect(frame_.get(), &CMainFrame::minimized, [this] {
        shell().OnMinimized();
        // Hidden only when a tray icon can bring it back; otherwise it stays in the task bar.
        if (shell().WindowHides()) QTimer::singleShot(0, frame_.get(), &QWidget::hide);
    });
    QObject::connect(frame_.get(), &CMainFrame::restored, [this] { shell().OnRestored(); });
    QObject::connect(&view(), &CWardletView::mouseMoved, [this] { shell().OnListMouseMove(); });
    QObject::connect(&view(), &CWardletView::rowDoubleClicked,
                     [this](size_t row) { shell().OpenDocumentOfRow(row, true); });

    QObject::connect(frame_.get(), &CMainFrame::commandTriggered,
                     [this](CommandId id) { commands().Run(id); });
    frame_->SetHelpPages(commands().pages());
    frame_->UseCommandRules(&commands());
    frame_->RefreshEnabling();
    WireTrayMenu();
}

CWardletApp::~CWardletApp() {
    // No check may still wait for this thread when the engine joins its threads.
    doc_->RequestStop();
    QElapsedTimer waited;
    waited.start();
    while (!doc_->ChecksIdle() && waited.elapsed() < kShutdownBound.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!doc_->ChecksIdle()) {
        // A check thread is stuck where no stop reaches it: joining it would hang. Write the
        // records (once: the exit may have done so) and end without it, as the exit does.
        DebugLog("check threads still running after the exit's bound; ending without them");
        (void)doc_->FinishShutdown();
        fflush(nullptr);
        std::_Exit(0);
    }
    session_->relay().FlushRefreshes();
    frame_->UseCommandRules(nullptr);
    // Joins the check threads; the document object itself goes last, after the window that
    // shows its rows.
    session_.reset();
}

void CWardletApp::WireTrayMenu() {
    QMenu& menu = tray_->menu();
    for (const ContextItem& item : TrayMenuLayout()) {
        if (item.id == kSeparator) {
            menu.addSeparator();
            continue;
        }
        CommandId id = item.id;
        QAction* action = menu.addAction(
            QString::fromLatin1(item.text.data(), static_cast<int>(item.text.size())), this,
            [this, id] { commands().Run(id); });
        std::string_view name = CommandOf(id).objectName;  // "actionX" becomes "trayX"
        action->setObjectName(
            id == CommandId::TrayExit
                ? QString("trayExit")
                : "tray" + QString::fromLatin1(name.data() + 6, static_cast<int>(name.size() - 6)));
    }
}

WindowStart CWardletApp::Start(bool hide) {
    shell().FirstUpdate();
    // The list has the keys from the start: arrows, Home and End move through the documents.
    view().setFocus();
    WindowStart start = shell().Start(hide);
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
