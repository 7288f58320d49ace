#include "monitor/app/urlwatch_filters.h"

#include <array>

namespace wardlet {

std::string ApplyUrlwatchFilter(const UrlwatchFilter& filter, DocumentInput&) {
    // urlwatch's filters that page filters in Wardlet are to carry out.
    static constexpr std::array<std::string_view, 5> planned = {"css", "xpath", "html2text", "grep",
                                                                "grepi"};
    for (auto name : planned)
        if (filter.name == name) return "filter " + filter.name + ": is not supported yet";
    return "filter " + filter.name + ": has no counterpart in Wardlet";
}

}  // namespace wardlet
