#include "monitor/model/document_filters.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "common/atomic_file.h"
#include "common/fd_io.h"

namespace wardlet {

using nlohmann::json;

namespace {

FiltersLoad Damaged(std::string problem) {
    FiltersLoad load;
    load.state = FiltersLoad::State::Damaged;
    load.problem = std::move(problem);
    return load;
}

// A string member, or the default when missing; false when it is there but not a string.
bool TakeText(const json& object, const char* key, std::string& target) {
    auto found = object.find(key);
    if (found == object.end()) return true;
    if (!found->is_string()) return false;
    target = found->get<std::string>();
    return true;
}

bool TakeFlag(const json& object, const char* key, bool& target) {
    auto found = object.find(key);
    if (found == object.end()) return true;
    if (!found->is_boolean()) return false;
    target = found->get<bool>();
    return true;
}

}  // namespace

std::filesystem::path FiltersFile(const std::filesystem::path& dataFolder, std::string_view name) {
    return dataFolder / kFiltersFolderName / (std::string(name) + ".filters");
}

FiltersLoad LoadDocumentFilters(const std::filesystem::path& file) {
    struct stat st {};
    if (lstat(file.c_str(), &st) != 0 && errno == ENOENT) return {};
    std::optional<std::string> text = ReadDataFile(file);
    if (!text) return Damaged("the file cannot be read");
    json object = json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) return Damaged("the file is not a JSON object");
    FiltersLoad load;
    DocumentFilters& f = load.filters;
    std::string css, xpath;
    if (!TakeText(object, "css", css) || !TakeText(object, "xpath", xpath) ||
        !TakeText(object, "trigger", f.trigger) || !TakeFlag(object, "textOnly", f.textOnly) ||
        !TakeFlag(object, "triggerOnRemoved", f.triggerOnRemoved))
        return Damaged("a value has the wrong kind");
    if (!css.empty() && !xpath.empty()) return Damaged("it names both a CSS selector and XPath");
    if (!css.empty()) {
        f.selectorKind = DocumentFilters::Selector::Css;
        f.selector = css;
    } else if (!xpath.empty()) {
        f.selectorKind = DocumentFilters::Selector::XPath;
        f.selector = xpath;
    }
    if (auto ignore = object.find("ignore"); ignore != object.end()) {
        if (!ignore->is_array()) return Damaged("\"ignore\" is not a list");
        for (const auto& pattern : *ignore) {
            if (!pattern.is_string()) return Damaged("\"ignore\" holds a value that is no text");
            f.ignoreLines.push_back(pattern.get<std::string>());
        }
    }
    load.state = FiltersLoad::State::Loaded;
    return load;
}

std::string FiltersFileText(const DocumentFilters& filters) {
    json object = json::object();
    if (filters.selectorKind == DocumentFilters::Selector::Css) object["css"] = filters.selector;
    if (filters.selectorKind == DocumentFilters::Selector::XPath)
        object["xpath"] = filters.selector;
    if (filters.textOnly) object["textOnly"] = true;
    if (!filters.ignoreLines.empty()) object["ignore"] = filters.ignoreLines;
    if (!filters.trigger.empty()) {
        object["trigger"] = filters.trigger;
        object["triggerOnRemoved"] = filters.triggerOnRemoved;
    }
    // Replaced, not refused: a selector or pattern typed in another charset must not fail a save.
    return object.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool SaveDocumentFilters(const std::filesystem::path& file, const DocumentFilters& filters) {
    if (filters.empty()) return unlink(file.c_str()) == 0 || errno == ENOENT;
    std::filesystem::path folder = file.parent_path();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return ReplaceFileAtomically(file, FiltersFileText(filters), 0600);
}

}  // namespace wardlet
