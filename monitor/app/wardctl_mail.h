#pragma once

#include <string>
#include <vector>

#include "monitor/app/wardctl_session.h"

namespace wardlet {

// Sends what the mail queue holds the way the monitor's mailer timer does: when a queue exists,
// "Wardpost --no-window" from the install folder runs once and wardctl waits for it (its log
// goes to standard error). kExitOk when it sent or nothing was queued, else kExitMailNotSent
// after saying why; the entries then stay queued.
int SendQueuedMail(WardctlSession& session);

// wardctl send-mail: SendQueuedMail alone. It needs no data-folder lock, as the mailer shares
// the queue with a running monitor.
int SendMailCommand(WardctlSession& session, const std::vector<std::string>& args);

}  // namespace wardlet
