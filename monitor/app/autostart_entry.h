#pragma once

#include <filesystem>

namespace wardlet {

// "Start Wardlet when I log in" is the XDG autostart entry below: the option is on exactly when
// the file exists, so removing it through the desktop's own start-up settings turns it off, and
// the options file keeps its fixed layout.

enum class [[nodiscard]] AutostartResult{Done, Failed};

// "$XDG_CONFIG_HOME/autostart/wardlet.desktop" ($XDG_CONFIG_HOME when absolute, else
// ~/.config), or an empty path when neither gives a base.
std::filesystem::path AutostartEntryPath();

bool AutostartEntryExists();

// Writes the entry atomically, creating the missing folders (mode 0700). It starts `program`
// (the running executable) hidden: by name when `program` is the "Wardlet" found first on PATH,
// else by its absolute path, so a copy run from a build tree starts at log-in too.
AutostartResult WriteAutostartEntry(const std::filesystem::path& program);

// Done when the entry is gone afterwards, whether or not it was there.
AutostartResult RemoveAutostartEntry();

}  // namespace wardlet
