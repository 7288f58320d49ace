#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// What part of a web document is compared, kept per document in "Filters/<name>.filters" of the
// data folder (a JSON object), because the record has no room for it. A document without
// filters has no such file. Applied in this order: the selection, the text only, the ignored
// lines; the trigger then decides whether a difference counts.
struct DocumentFilters {
    enum class Selector { None, Css, XPath };
    Selector selectorKind = Selector::None;  // "css" or "xpath"
    std::string selector;                    // the CSS selector or the XPath expression
    bool textOnly = false;                   // "textOnly": the text of the selected part
    std::vector<std::string> ignoreLines;    // "ignore": RE2 patterns; matching lines are left out
    std::string trigger;            // "trigger": a change counts only with a line holding it
    bool triggerOnRemoved = false;  // "triggerOnRemoved": a removed line counts, not an added one

    bool empty() const {
        return selectorKind == Selector::None && !textOnly && ignoreLines.empty() &&
               trigger.empty();
    }
    bool operator==(const DocumentFilters&) const = default;
};

inline constexpr char kFiltersFolderName[] = "Filters";

std::filesystem::path FiltersFile(const std::filesystem::path& dataFolder, std::string_view name);

struct FiltersLoad {
    enum class State { None, Loaded, Damaged };
    State state = State::None;
    DocumentFilters filters;
    std::string problem;  // with Damaged: what is wrong with the file
};

// The filters in `file`: None when there is no file, Damaged when it cannot be read or is not a
// filter object this build understands (keys it does not know are ignored).
FiltersLoad LoadDocumentFilters(const std::filesystem::path& file);

// The file's bytes for `filters` (not empty).
std::string FiltersFileText(const DocumentFilters& filters);

// Writes `filters` atomically to `file`, making its folder when needed; empty filters remove
// the file. False when it could not be written (the old file is then as it was).
[[nodiscard]] bool SaveDocumentFilters(const std::filesystem::path& file,
                                       const DocumentFilters& filters);

}  // namespace wardlet
