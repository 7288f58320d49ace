#pragma once

#include <ctime>
#include <string>

namespace wardlet {

// Local time as "YYYY/MM/DD [hh:mm:ss]", the form of the last-check column, the mail entries and
// the mailer's "Done" line.
std::string MakeTimeStamp();
std::string FormatTimeStamp(const std::tm& local);

}  // namespace wardlet
