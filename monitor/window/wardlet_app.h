#pragma once

#include <QObject>
#include <filesystem>
#include <memory>

#include "common/desktop_services.h"
#include "monitor/app/monitor_session.h"
#include "monitor/app/wardlet_doc.h"
#include "monitor/window/background_copies.h"
#include "monitor/window/desktop_notifier.h"
#include "monitor/window/document_list_model.h"
#include "monitor/window/main_frame.h"
#include "monitor/window/shell_devices.h"

namespace wardlet {

// The monitor's application object: the document object, the main window with its list, the
// tray icon, the timers and the shell rules, wired together. The program and the window tests
// make one; the message boxes, the opener and the launcher come from outside so tests answer them.
class CWardletApp : public QObject {
    Q_OBJECT
public:
    struct Desktop {
        MessageBoxes& messages;
        DocumentOpener& opener;
        ProcessLauncher& launcher;
        // The commands' dialogs; the real ones when null (tests give stand-ins).
        CommandDialogs* dialogs = nullptr;
        // The desktop's notification service; the session bus's when null.
        DesktopNotifications* notifications = nullptr;
        // The start-up question and the end of the event loop; the real ones when null.
        FrameDesktop* frame = nullptr;
    };
    CWardletApp(std::filesystem::path dataFolder, std::filesystem::path installFolder,
                const Desktop& desktop, TransferLimits limits = TransferLimits::FromEnvironment());
    // Waits for the check threads at most kShutdownBound, as the exit does.
    ~CWardletApp() override;

    // The first update, then the window shown, hidden in the tray, or minimised without a tray.
    WindowStart Start(bool hide);

    CWardletDoc& doc() { return *doc_; }
    MonitorShell& shell() { return session_->shell(); }
    DocumentCommands& commands() { return session_->commands(); }
    CMainFrame& frame() { return *frame_; }
    CWardletView& view() { return frame_->view(); }
    DocumentListModel& model() { return *model_; }
    QtTrayIcon& tray() { return *tray_; }
    QtShellTimers& timers() { return *timers_; }
    QtSoundPlayer& sound() { return *sound_; }
    QtDesktopNotifications& notifications() { return *notifications_; }

private:
    void WireTrayMenu();

    Desktop desktop_;
    QtFrameDesktop frameDesktop_;
    std::unique_ptr<CWardletDoc> doc_;
    std::unique_ptr<DocumentListModel> model_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<QtTrayIcon> tray_;
    std::unique_ptr<QtShellTimers> timers_;
    std::unique_ptr<QtSoundPlayer> sound_;
    std::unique_ptr<QtBackgroundCopies> copies_;
    std::unique_ptr<QtDesktopNotifications> notifications_;
    SystemSteadyClock clock_;
    std::unique_ptr<CommandDialogs> ownDialogs_;
    std::unique_ptr<MonitorSession> session_;
};

}  // namespace wardlet
