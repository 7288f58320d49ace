#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace wardlet {

// Settings of the features that came after the options file, whose 44 bytes have no room left.
// They live in their own file of the data folder, "Wardlet.settings", a JSON object; a missing
// file, key or a value of the wrong kind means the default, and keys this build does not know are
// kept when the file is saved, so an older build never drops a newer one's settings.
struct FeatureSettings {
    int32_t keptVersions = 10;                     // "keptVersions": earlier copies per document
    int64_t keptVersionBytes = int64_t{20} << 20;  // "keptVersionBytes": their bytes per document
    bool conditionalRequests = true;               // "conditionalRequests": If-None-Match and co.
    bool desktopNotifications = true;              // "desktopNotifications"
    bool mailChanges = true;  // "mailChanges": a "Changed" mail carries the first changed lines

    bool operator==(const FeatureSettings&) const = default;
};

inline constexpr const char* kFeatureSettingsFileName = "Wardlet.settings";

std::filesystem::path FeatureSettingsFile(const std::filesystem::path& dataFolder);

// The settings in the data folder; the defaults for what is missing or unreadable (a debug-log
// line says what was wrong with a file that exists).
FeatureSettings LoadFeatureSettings(const std::filesystem::path& dataFolder);

// Writes `settings` atomically, keeping the keys of the file this build does not know.
[[nodiscard]] bool SaveFeatureSettings(const std::filesystem::path& dataFolder,
                                       const FeatureSettings& settings);

}  // namespace wardlet
