#include "monitor/app/urlwatch_filters.h"

namespace wardlet {

std::string ApplyUrlwatchFilter(const UrlwatchFilter& filter, DocumentInput& input,
                                DocumentFilters& filters) {
    std::string step = "filter " + filter.name + ": ";
    bool selection = filter.name == "css" || filter.name == "xpath";
    if (selection || filter.name == "html2text" || filter.name == "grepi") {
        if (input.type != DocumentType::WebPage && input.type != DocumentType::WebFile)
            return step + "Wardlet filters web documents only";
    }
    if (selection) {
        if (filter.argument.empty()) return step + "needs a selector";
        if (filters.selectorKind != DocumentFilters::Selector::None)
            return step + "a second selection has no counterpart in Wardlet";
        if (filters.textOnly || !filters.ignoreLines.empty())
            return step + "Wardlet selects before it takes the text or leaves lines out";
        filters.selectorKind = filter.name == "css" ? DocumentFilters::Selector::Css
                                                    : DocumentFilters::Selector::XPath;
        filters.selector = filter.argument;
        return {};
    }
    if (filter.name == "html2text") {
        // Its methods (html2text, bs4, strip_tags) all give the page's text; Wardlet has one.
        if (!filters.ignoreLines.empty())
            return step + "Wardlet takes the text before it leaves lines out";
        filters.textOnly = true;
        return {};
    }
    if (filter.name == "grepi") {
        if (filter.argument.empty()) return step + "needs a pattern";
        filters.ignoreLines.push_back(filter.argument);
        return {};
    }
    if (filter.name == "grep")
        return step + "keeps only matching lines; Wardlet's filters can only leave lines out";
    return step + "has no counterpart in Wardlet";
}

}  // namespace wardlet
