#pragma once

#include <string>
#include <vector>

#include "monitor/app/wardctl_session.h"

namespace wardlet {

// wardctl import urlwatch FILE | import list FILE [--dry-run]: every job that can be watched
// becomes a document, all of them or none; the others are listed with the reason.
int ImportCommand(WardctlSession& session, const std::vector<std::string>& args);
// wardctl export urlwatch: the documents as a urls.yaml on standard output.
int ExportCommand(WardctlSession& session, const std::vector<std::string>& args);

}  // namespace wardlet
