// A CSS selector (the first line) over any page (the rest): read as a stream it selects what its
// XPath form selects over libxml2's whole tree, byte for byte, or both find nothing.
#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "monitor/changes/css_selector.h"
#include "monitor/changes/page_filters.h"

using namespace wardlet;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string_view input = fuzz::AsText(data, size);
    size_t newline = input.find('\n');
    if (newline == std::string_view::npos) return 0;
    DocumentFilters css;
    css.selectorKind = DocumentFilters::Selector::Css;
    css.selector = std::string(input.substr(0, newline));
    std::string page(input.substr(newline + 1));
    // The tree stops some 256 elements deep and a match counts that depth from itself: pages that
    // deep differ on purpose.
    if (std::count(page.begin(), page.end(), '<') > 200) return 0;
    std::string problem;
    auto streamed = PageFilter::Compile(css, problem);
    if (!streamed) return 0;
    DocumentFilters xpath;
    xpath.selectorKind = DocumentFilters::Selector::XPath;
    xpath.selector = *CssToXPath(css.selector, problem);
    auto tree = PageFilter::Compile(xpath, problem);
    if (!tree) return 0;  // a name XPath cannot spell (bytes that are no UTF-8)
    PageFilter::Result a = streamed->Apply(page, "");
    PageFilter::Result b = tree->Apply(page, "");
    FUZZ_REQUIRE(a.ok == b.ok);
    FUZZ_REQUIRE(a.portion == b.portion);
    return 0;
}
