#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/model/document_filters.h"

namespace re2 {
class RE2;
}

namespace wardlet {

struct CssSelector;

// A document's filters made ready to apply: the selector parsed, the patterns compiled.
class PageFilter {
public:
    // nullptr with `problem` (a text for the user naming what is wrong) when the selector is
    // not taken, the XPath expression is invalid or a pattern does not compile (RE2's error).
    static std::unique_ptr<PageFilter> Compile(const DocumentFilters& filters,
                                               std::string& problem);
    ~PageFilter();

    struct Line {
        std::string text;
        bool ignored = false;
    };
    struct Result {
        bool ok = false;
        std::string reason;       // when not ok: why nothing is left to compare
        std::string portion;      // what is compared (and stored): the kept lines, LF ended
        std::vector<Line> lines;  // with `keepLines`: every line before ignoring, marked
    };
    // The part of `bytes` (a fetched copy whose server named `declaredCharset`) that is
    // compared. The selected elements (all matches, in document order) come as their markup,
    // one after another on lines of their own, in UTF-8; with text only, as the change view's
    // text of that markup (of the whole page without a selector). Without a selector nor text
    // only, the bytes stay as they are. Nothing selected, or nothing left, is not ok.
    Result Apply(std::string_view bytes, std::string_view declaredCharset,
                 bool keepLines = false) const;

    // With a trigger: whether the change from `oldPortion` to `newPortion` counts, that is
    // whether an added (or, by choice, removed) line holds the trigger text, ignoring letter
    // case. Without one every difference counts.
    bool CountsAsChange(std::string_view oldPortion, std::string_view newPortion) const;

    const DocumentFilters& filters() const { return filters_; }

private:
    PageFilter() = default;
    std::optional<std::string> Select(std::string_view bytes, std::string_view declaredCharset,
                                      std::string& reason) const;
    bool Ignored(std::string_view line) const;

    DocumentFilters filters_;
    std::unique_ptr<CssSelector> css_;
    std::string xpath_;  // an XPath expression, evaluated over the page's tree
    std::vector<std::unique_ptr<re2::RE2>> ignore_;
};

// Checks the filters as an editor must before saving them: "" when they compile, else the
// problem.
std::string FiltersProblem(const DocumentFilters& filters);

}  // namespace wardlet
