#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// A CSS selector of the forms a page filter takes: type (or *), #id, .class, [a], [a=b] (value
// bare or quoted), descendant (a space), child (>), lists (,) and :nth-child(n) with a whole
// number n.
struct CssSelector {
    struct Test {
        enum class Kind { Id, Class, HasAttribute, AttributeEquals, NthChild };
        Kind kind;
        std::string name;   // the id, the class or the attribute's name (lower case)
        std::string value;  // what the attribute must equal
        int position = 0;   // nth-child: 1 for the first element among its siblings
    };
    struct Compound {
        std::string type;  // an element name in lower case, or "*"
        std::vector<Test> tests;
        bool childOfPrevious = false;  // ">" before it; else a descendant of the previous one
    };
    using Complex = std::vector<Compound>;  // outermost first
    std::vector<Complex> alternatives;      // the parts of a list
};

// The longest chain of compounds one complex selector may have.
inline constexpr size_t kMaxCssCompounds = 64;

// Anything but the forms taken is refused with a message naming the unsupported part (in
// `problem`), never read as something that matches less.
std::optional<CssSelector> ParseCss(std::string_view css, std::string& problem);

// The selector as one XPath expression over an HTML parse, selecting the same elements.
std::string ToXPath(const CssSelector& selector);

// ParseCss, then ToXPath.
std::optional<std::string> CssToXPath(std::string_view css, std::string& problem);

}  // namespace wardlet
