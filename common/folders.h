#pragma once

#include <filesystem>

namespace wardlet {

// The folder of the running executable, where each program finds the other; "." when unknown.
std::filesystem::path InstallFolder();
// Creates `folder` and every missing parent with mode 0700 whatever the umask, so no other user
// can swap a folder on the way; folders that exist are left as they are. False when it failed.
[[nodiscard]] bool MakePrivateFolders(const std::filesystem::path& folder);
// The read-only files an installed copy keeps beside its programs' folder: "<prefix>/share/wardlet"
// for programs in "<prefix>/bin". Searched after the install folder itself, which is where a build
// tree keeps them.
std::filesystem::path SharedFilesFolder(const std::filesystem::path& installFolder);

// $HOME, else the user's home from the password database; empty when neither gives one.
std::filesystem::path HomeFolder();
// The folder an XDG base variable names when it holds an absolute path, else `underHome` in the
// home folder; empty when there is no home either.
std::filesystem::path XdgBaseFolder(const char* variable, const std::filesystem::path& underHome);

// "$XDG_DATA_HOME/Calvorne/Wardlet" ($XDG_DATA_HOME defaulting to ~/.local/share), or an empty
// path when neither variable gives a base.
std::filesystem::path UserDataFolderPath();

// The monitor's data folder: created with its parents (mode 0700) when missing; the install
// folder when it can be neither found nor created.
std::filesystem::path MonitorDataFolder();

// The mailer's data folder: the same path, never created; "." when no base is known.
std::filesystem::path MailerDataFolder();

}  // namespace wardlet
