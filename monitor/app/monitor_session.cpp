#include "monitor/app/monitor_session.h"

namespace wardlet {

MonitorSession::MonitorSession(const MonitorShell::Parts& parts, CommandDialogs& dialogs,
                               const RelayMaker& makeRelay)
    : doc_(parts.doc), shell_(std::make_unique<MonitorShell>(parts)), relay_(makeRelay(*shell_)) {
    doc_.Attach(*relay_);
    // Every check has ended: its held refreshes are painted before the idle rules run.
    doc_.SetChecksIdleCallback([this] {
        relay_->Post([this] {
            relay_->FlushRefreshes();
            shell_->OnChecksIdle();
        });
    });
    commands_ = std::make_unique<DocumentCommands>(
        DocumentCommands::Parts{doc_, parts.rows, *shell_, parts.messages, parts.opener, dialogs,
                                MakeHelpPages(doc_.installFolder()), parts.copies});
    shell_->SetCommands(*commands_);
}

MonitorSession::~MonitorSession() {
    doc_.SetChecksIdleCallback(nullptr);
    doc_.StopChecks();
    commands_.reset();
    shell_.reset();
}

}  // namespace wardlet
