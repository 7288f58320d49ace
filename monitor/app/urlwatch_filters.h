#pragma once

#include <string>
#include <string_view>

#include "monitor/model/document_editor.h"
#include "monitor/model/document_filters.h"

namespace wardlet {

// One step of a urlwatch job's `filter:` chain: "css" with "div.price", "html2text" with "".
struct UrlwatchFilter {
    std::string name;
    std::string argument;
};

// The one place where urlwatch's filters meet Wardlet's. Carries the step out on `filters` (the
// job's so far) and returns "", or returns why the job cannot be imported. Taken where they mean
// the same: css and xpath (the selection, first), html2text (text only, after it) and grepi
// (lines left out, last). Anything else, or the same steps in an order Wardlet's filters do not
// apply them in, is refused.
std::string ApplyUrlwatchFilter(const UrlwatchFilter& filter, DocumentInput& input,
                                DocumentFilters& filters);

}  // namespace wardlet
