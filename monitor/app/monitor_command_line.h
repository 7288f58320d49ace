#pragma once

#include <string>
#include <vector>

namespace wardlet {

// What the monitor's arguments (those after the program name) ask for.
struct MonitorCommandLine {
    bool hide = false;     // "/hide" anywhere in the text (case-sensitive), or "--hide"
    bool help = false;     // "--help": print the usage and end
    bool version = false;  // "--version": print the version and end
};

MonitorCommandLine ParseMonitorCommandLine(const std::vector<std::string>& args);

std::string MonitorUsage();
std::string MonitorVersionLine();
// "7.0.4": the version all three programs share.
const char* ProgramVersion();

}  // namespace wardlet
