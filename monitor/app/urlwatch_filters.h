#pragma once

#include <string>
#include <string_view>

#include "monitor/model/document_editor.h"

namespace wardlet {

// One step of a urlwatch job's `filter:` chain: "css" with "div.price", "html2text" with "".
struct UrlwatchFilter {
    std::string name;
    std::string argument;
};

// The one place where urlwatch's filters meet Wardlet's checking methods. Carries the filter
// out on `input` and returns "", or returns why the job cannot be imported. Wardlet has no page
// filters yet, so every filter is refused today; a filter becomes importable by giving its case
// here what it sets on the document.
std::string ApplyUrlwatchFilter(const UrlwatchFilter& filter, DocumentInput& input);

}  // namespace wardlet
