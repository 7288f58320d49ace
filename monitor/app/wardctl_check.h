#pragma once

#include <string>
#include <vector>

#include "monitor/app/wardctl_session.h"

namespace wardlet {

// wardctl check [--all | NAME...]: one pass of the check threads in the foreground. Exit status
// 0 nothing changed and everything was retrieved, 1 something changed, 2 something could not be
// retrieved, 3 both. --json prints each ended check as one JSON object per line; --send-mail
// then sends the queued e-mail entries (a mail that could not be sent gives kExitMailNotSent).
int CheckCommand(WardctlSession& session, const std::vector<std::string>& args);
// wardctl mark-checked [--all | NAME...]: sets Checked and saves.
int MarkCheckedCommand(WardctlSession& session, const std::vector<std::string>& args);

}  // namespace wardlet
