#include "monitor/app/monitor_command_line.h"

#ifndef WARDLET_VERSION
#define WARDLET_VERSION "0"
#endif

namespace wardlet {

MonitorCommandLine ParseMonitorCommandLine(const std::vector<std::string>& args) {
    MonitorCommandLine line;
    // The switch is a substring of the whole text after the program name, so it also counts
    // inside another argument or across none.
    std::string text;
    for (const auto& arg : args) {
        if (!text.empty()) text += ' ';
        text += arg;
        if (arg == "--hide") line.hide = true;
        if (arg == "--help") line.help = true;
        if (arg == "--version") line.version = true;
    }
    if (text.find("/hide") != std::string::npos) line.hide = true;
    return line;
}

std::string MonitorUsage() {
    return "Usage: Wardlet [/hide | --hide] [--help] [--version]\n"
           "Watches web pages, files on web and FTP servers and local files for changes.\n"
           "\n"
           "  /hide, --hide  start with the window hidden in the notification area\n"
           "  --help         show this help and end\n"
           "  --version      show the version and end\n"
           "\n"
           "A second start brings the running monitor's window forward.\n";
}

const char* ProgramVersion() {
    return WARDLET_VERSION;
}

std::string MonitorVersionLine() {
    return std::string("Wardlet ") + ProgramVersion() + "\n";
}

}  // namespace wardlet
