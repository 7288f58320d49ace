#pragma once

#include <string>
#include <vector>

#include "monitor/app/wardctl_session.h"

namespace wardlet {

// wardctl history NAME: one line per kept version, newest first: index, time stamp, bytes.
int HistoryCommand(WardctlSession& session, const std::vector<std::string>& args);

// wardctl diff NAME [--from K] [--to K] [--source] [--color auto|always|never]: the unified diff
// from version K (1, the newest kept one, by default) to a newer one (K-1 by default; 0 is the
// stored copy). Exits 0 when a difference is shown, 1 when there is none to show.
int DiffCommand(WardctlSession& session, const std::vector<std::string>& args);

}  // namespace wardlet
