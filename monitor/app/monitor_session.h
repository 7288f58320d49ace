#pragma once

#include <functional>
#include <memory>

#include "monitor/app/document_commands.h"
#include "monitor/app/monitor_shell.h"
#include "monitor/app/wardlet_doc.h"
#include "monitor/engine/check_observer.h"

namespace wardlet {

// The observer that hands the checks' calls over to the user-interface thread, with a way to run
// a call there later without waiting.
class UiThreadRelay : public RelayingObserver {
public:
    using RelayingObserver::RelayingObserver;
    // From any thread: runs `call` on the user-interface thread later.
    virtual void Post(std::function<void()> call) = 0;
    // Paints the row refreshes held for a batch; on the user-interface thread.
    virtual void FlushRefreshes() {}
};

// The monitor without its display: the shell's rules, the commands and the relay of the checks'
// calls over one document object, wired as the program runs them. The window makes one with its
// widgets and the tests with their stand-ins, so both run the same wiring.
class MonitorSession {
public:
    // Makes the relay to the shell (its target) on the user-interface thread.
    using RelayMaker = std::function<std::unique_ptr<UiThreadRelay>(CheckObserver& shell)>;

    // The shell is made of `parts`; the commands share its document object, rows, message
    // boxes, opener and background copies, with `dialogs` for theirs.
    MonitorSession(const MonitorShell::Parts& parts, CommandDialogs& dialogs,
                   const RelayMaker& makeRelay);
    // Joins the check threads: the owner has ended them first (or asked them to stop and waited
    // until they were idle), since a thread still running would wait for the relay forever.
    ~MonitorSession();
    MonitorSession(const MonitorSession&) = delete;
    MonitorSession& operator=(const MonitorSession&) = delete;

    MonitorShell& shell() { return *shell_; }
    DocumentCommands& commands() { return *commands_; }
    UiThreadRelay& relay() { return *relay_; }

private:
    CWardletDoc& doc_;
    std::unique_ptr<MonitorShell> shell_;
    std::unique_ptr<UiThreadRelay> relay_;
    std::unique_ptr<DocumentCommands> commands_;
};

}  // namespace wardlet
