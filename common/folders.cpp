#include "common/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace wardlet {

std::filesystem::path InstallFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) return ".";
    return exe.parent_path();
}

bool MakePrivateFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    if (folder.has_parent_path() && folder.parent_path() != folder &&
        !MakePrivateFolders(folder.parent_path()))
        return false;
    if (mkdir(folder.c_str(), 0700) == 0) return chmod(folder.c_str(), 0700) == 0;
    return std::filesystem::is_directory(folder, ec);
}

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    return home && *home ? std::filesystem::path(home) : std::filesystem::path();
}

std::filesystem::path XdgBaseFolder(const char* variable, const std::filesystem::path& underHome) {
    const char* xdg = std::getenv(variable);
    if (xdg && *xdg == '/') return xdg;
    std::filesystem::path home = HomeFolder();
    return home.empty() ? home : home / underHome;
}

std::filesystem::path UserDataFolderPath() {
    std::filesystem::path base = XdgBaseFolder("XDG_DATA_HOME", ".local/share");
    return base.empty() ? base : base / "Calvorne" / "Wardlet";
}

std::filesystem::path MonitorDataFolder() {
    auto folder = UserDataFolderPath();
    if (folder.empty()) return InstallFolder();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec) && !MakePrivateFolders(folder))
        return InstallFolder();
    return folder;
}

std::filesystem::path MailerDataFolder() {
    auto folder = UserDataFolderPath();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

std::filesystem::path SharedFilesFolder(const std::filesystem::path& installFolder) {
    return installFolder.parent_path() / "share" / "wardlet";
}

}  // namespace wardlet
