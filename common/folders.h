#pragma once

#include <filesystem>

namespace wardlet {

// The folder of the running executable, where each program finds the other; "." when unknown.
std::filesystem::path InstallFolder();

// "$XDG_DATA_HOME/Calvorne/Wardlet" ($XDG_DATA_HOME defaulting to ~/.local/share), or an empty
// path when neither variable gives a base.
std::filesystem::path UserDataFolderPath();

// The monitor's data folder: created with its parents (mode 0700) when missing; the install
// folder when it can be neither found nor created.
std::filesystem::path MonitorDataFolder();

// The mailer's data folder: the same path, never created; "." when no base is known.
std::filesystem::path MailerDataFolder();

}  // namespace wardlet
