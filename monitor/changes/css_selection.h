#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "monitor/changes/css_selector.h"

namespace wardlet {

// The elements of a page (UTF-8) that `selector` matches, in document order, each as its markup
// on a line of its own: byte for byte what the selector's XPath selects from libxml2's tree of
// the page. The page is read as a stream of events and only the matched elements are ever
// built, so a page costs about its own size however many elements it has.
struct CssSelection {
    size_t matches = 0;
    std::string markup;
};
CssSelection SelectWithCss(std::string_view utf8Page, const CssSelector& selector);

}  // namespace wardlet
