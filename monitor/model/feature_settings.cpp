#include "monitor/model/feature_settings.h"

#include <nlohmann/json.hpp>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"

namespace wardlet {

using nlohmann::json;

namespace {

// The file's object; an empty one when the file is missing or not an object.
json ReadSettingsObject(const std::filesystem::path& file) {
    std::optional<std::string> text = ReadDataFile(file);
    if (!text) return json::object();
    json value = json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!value.is_object()) {
        DebugLog("Wardlet.settings is not a JSON object; the defaults are used");
        return json::object();
    }
    return value;
}

template <typename T>
void Take(const json& object, const char* key, T& target, bool (*valid)(const json&)) {
    auto found = object.find(key);
    if (found == object.end()) return;
    if (!valid(*found)) {
        DebugLog(std::string("Wardlet.settings: \"") + key +
                 "\" has a wrong value; the default is used");
        return;
    }
    target = found->get<T>();
}

bool IsBoolean(const json& v) {
    return v.is_boolean();
}
bool IsVersionCount(const json& v) {
    return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 1000;
}
bool IsByteCount(const json& v) {
    return v.is_number_integer() && v.get<int64_t>() >= 0;
}

}  // namespace

std::filesystem::path FeatureSettingsFile(const std::filesystem::path& dataFolder) {
    return dataFolder / kFeatureSettingsFileName;
}

FeatureSettings LoadFeatureSettings(const std::filesystem::path& dataFolder) {
    json object = ReadSettingsObject(FeatureSettingsFile(dataFolder));
    FeatureSettings settings;
    Take(object, "keptVersions", settings.keptVersions, IsVersionCount);
    Take(object, "keptVersionBytes", settings.keptVersionBytes, IsByteCount);
    Take(object, "conditionalRequests", settings.conditionalRequests, IsBoolean);
    Take(object, "desktopNotifications", settings.desktopNotifications, IsBoolean);
    Take(object, "mailChanges", settings.mailChanges, IsBoolean);
    return settings;
}

bool SaveFeatureSettings(const std::filesystem::path& dataFolder, const FeatureSettings& settings) {
    std::filesystem::path file = FeatureSettingsFile(dataFolder);
    json object = ReadSettingsObject(file);
    object["keptVersions"] = settings.keptVersions;
    object["keptVersionBytes"] = settings.keptVersionBytes;
    object["conditionalRequests"] = settings.conditionalRequests;
    object["desktopNotifications"] = settings.desktopNotifications;
    object["mailChanges"] = settings.mailChanges;
    return ReplaceFileAtomically(file, object.dump(2) + "\n", 0600);
}

}  // namespace wardlet
