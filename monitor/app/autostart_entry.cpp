#include "monitor/app/autostart_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "common/atomic_file.h"
#include "common/folders.h"

namespace wardlet {

namespace {

constexpr char kProgramName[] = "Wardlet";

// Whether the session would start `program` when it runs plain "Wardlet". Relative PATH entries
// are passed over: at log-in they name other folders than they do here.
bool IsFirstOnPath(const std::filesystem::path& program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string_view rest = path;
    for (;;) {
        size_t colon = rest.find(':');
        std::string_view entry = rest.substr(0, colon);
        if (!entry.empty() && entry.front() == '/') {
            std::filesystem::path candidate = std::filesystem::path(entry) / kProgramName;
            std::error_code ec;
            if (access(candidate.c_str(), X_OK) == 0 &&
                std::filesystem::is_regular_file(candidate, ec)) {
                // The same file by any name: an installed link and its target are one program.
                return std::filesystem::equivalent(candidate, program, ec) && !ec;
            }
        }
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

// One argument of an Exec line: quoted when it holds a reserved character, '%' doubled so it is
// no field code, then escaped as a string value (which is undone first when the line is read).
std::string ExecArgument(std::string_view argument) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#`()";
    bool quote = argument.find_first_of(kReserved) != std::string_view::npos;
    std::string exec;
    if (quote) exec += '"';
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) exec += '\\';
        exec += c;
        if (c == '%') exec += '%';
    }
    if (quote) exec += '"';
    std::string value;
    for (char c : exec) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value;
}

std::string EntryText(const std::filesystem::path& program) {
    std::string command;
    // An unknown program path can only be started by name.
    if (program.empty() || IsFirstOnPath(program)) {
        command = kProgramName;
    } else {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(program, ec);
        command = ExecArgument((ec ? program : absolute).lexically_normal().string());
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Wardlet\n"
           "Comment=Watch web pages and files for changes\n"
           "Exec=" +
           command +
           " /hide\n"
           "Icon=wardlet\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace

std::filesystem::path AutostartEntryPath() {
    std::filesystem::path base = XdgBaseFolder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? base : base / "autostart" / "wardlet.desktop";
}

bool AutostartEntryExists() {
    auto entry = AutostartEntryPath();
    std::error_code ec;
    return !entry.empty() && std::filesystem::exists(entry, ec);
}

AutostartResult WriteAutostartEntry(const std::filesystem::path& program) {
    auto entry = AutostartEntryPath();
    if (entry.empty() || !MakePrivateFolders(entry.parent_path())) return AutostartResult::Failed;
    return ReplaceFileAtomically(entry, EntryText(program), 0644) ? AutostartResult::Done
                                                                  : AutostartResult::Failed;
}

AutostartResult RemoveAutostartEntry() {
    auto entry = AutostartEntryPath();
    if (entry.empty()) return AutostartResult::Done;
    std::error_code ec;
    std::filesystem::remove(entry, ec);
    return ec ? AutostartResult::Failed : AutostartResult::Done;
}

}  // namespace wardlet
