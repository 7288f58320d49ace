#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// Exit statuses of wardctl besides the ones a command documents itself.
enum WardctlExit : int {
    kExitOk = 0,
    kExitUsage = 64,        // unknown command or option, missing argument
    kExitRefused = 65,      // the input broke a rule of the document editor or the options
    kExitNoDocument = 66,   // no document of that name
    kExitMailNotSent = 69,  // the mailer did not send the queue; the entries stay queued
    kExitWriteFailed = 74,
    kExitFolderInUse = 75,  // the monitor (or another wardctl) holds the data folder
};

// Why `value` is not accepted for the option `field` by wardctl (empty when it is): flags take 0
// or 1, threadCount 1 to 5, checkPeriodMinutes 1 to 600.
std::string OptionValueProblem(std::string_view field, int32_t value);

// Says what is wrong with a command line and where help is; returns kExitUsage.
int ReportUsage(std::ostream& err, std::string_view problem);

// Runs one wardctl command line (without the program name) over the data folder.
int RunWardctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace wardlet
