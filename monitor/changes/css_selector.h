#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wardlet {

// The CSS selector forms a page filter takes, as one XPath expression over an HTML parse:
// type (or *), #id, .class, [a], [a=b] (value bare or quoted), descendant (a space), child (>),
// lists (,) and :nth-child(n) with a whole number n. Anything else is refused with a message
// naming the unsupported part (in `problem`), never translated into something that matches less.
std::optional<std::string> CssToXPath(std::string_view css, std::string& problem);

}  // namespace wardlet
