#include "monitor/app/monitor_session.h"

namespace wardlet {

MonitorSession::MonitorSession(CWardletDoc& doc, const Devices& devices,
                               const RelayMaker& makeRelay)
    : doc_(doc),
      shell_(std::make_unique<MonitorShell>(
          MonitorShell::Parts{doc, devices.rows, devices.timers, devices.tray, devices.sound,
                              devices.messages, devices.opener, devices.launcher, devices.window,
                              devices.copies, devices.notifications, devices.clock})),
      relay_(makeRelay(*shell_)) {
    doc_.Attach(*relay_);
    // Every check has ended: its held refreshes are painted before the idle rules run.
    doc_.SetChecksIdleCallback([this] {
        relay_->Post([this] {
            relay_->FlushRefreshes();
            shell_->OnChecksIdle();
        });
    });
    commands_ = std::make_unique<DocumentCommands>(DocumentCommands::Parts{
        doc, devices.rows, *shell_, devices.messages, devices.opener, devices.dialogs,
        MakeHelpPages(doc.installFolder()), devices.copies});
    shell_->SetCommands(*commands_);
}

MonitorSession::~MonitorSession() {
    doc_.SetChecksIdleCallback(nullptr);
    doc_.StopChecks();
    commands_.reset();
    shell_.reset();
}

}  // namespace wardlet
