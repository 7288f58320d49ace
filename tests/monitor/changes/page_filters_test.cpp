// The page filters without a network: the CSS forms taken and refused, XPath selection, text
// only, ignored lines, triggers, and a pattern that would take exponential time elsewhere.
#include "monitor/changes/page_filters.h"

#include <gtest/gtest.h>

#include "monitor/changes/css_selector.h"

namespace wardlet {
namespace {

DocumentFilters Css(const std::string& selector) {
    DocumentFilters f;
    f.selectorKind = DocumentFilters::Selector::Css;
    f.selector = selector;
    return f;
}

PageFilter::Result Apply(const DocumentFilters& f, std::string_view page, bool lines = false) {
    std::string problem;
    auto filter = PageFilter::Compile(f, problem);
    EXPECT_TRUE(filter) << problem;
    if (!filter) return {};
    return filter->Apply(page, "", lines);
}

constexpr char kShop[] = R"(<html><head><title>Shop</title></head><body>
<p id="clock">12:00:01</p>
<ul class="items main"><li>Tea</li><li class="item sale">Coffee</li><li>Cocoa</li></ul>
<div class="price" data-id="7">10 &euro;</div><div class="price-old">12</div>
<a href="/x" title='it&apos;s'>link</a>
</body></html>)";

TEST(CssSelector, TakenFormsSelectWhatABrowserSelects) {
    struct Case {
        const char* css;
        const char* portion;
    } cases[] = {
        {"div.price", "<div class=\"price\" data-id=\"7\">10 \xE2\x82\xAC</div>\n"},
        {"#clock", "<p id=\"clock\">12:00:01</p>\n"},
        {"ul.items > li.sale", "<li class=\"item sale\">Coffee</li>\n"},
        {"body li:nth-child(3)", "<li>Cocoa</li>\n"},
        {"[data-id=\"7\"]", "<div class=\"price\" data-id=\"7\">10 \xE2\x82\xAC</div>\n"},
        {"a[title]", "<a href=\"/x\" title=\"it's\">link</a>\n"},
        {"#clock, DIV.price-old",
         "<p id=\"clock\">12:00:01</p>\n<div class=\"price-old\">12</div>\n"},
        {"html  body   p", "<p id=\"clock\">12:00:01</p>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Apply(Css(c.css), kShop).portion, c.portion) << c.css;
}

TEST(CssSelector, OtherFormsAreRefusedByName) {
    std::string problem;
    for (auto [css, part] : {std::pair{"li + li", "+"},
                             {"li ~ li", "~"},
                             {"a:hover", ":hover"},
                             {"li:nth-child(2n+1)", ":nth-child(2n+1)"},
                             {"[a^=b]", "[a^=b]"},
                             {"p::before", "::before"},
                             {"a\\:b", "\\:b"}}) {
        EXPECT_FALSE(CssToXPath(css, problem)) << css;
        EXPECT_NE(problem.find("uses \"" + std::string(part) + "\", which is not supported"),
                  std::string::npos)
            << problem;
    }
    EXPECT_FALSE(CssToXPath("  ", problem));
    EXPECT_EQ(problem, "The CSS selector is empty.");
    EXPECT_FALSE(CssToXPath("div,", problem));
}

TEST(PageFilter, XPathAndItsErrors) {
    DocumentFilters f;
    f.selectorKind = DocumentFilters::Selector::XPath;
    f.selector = "//li[@class='item sale']/text()";
    EXPECT_EQ(Apply(f, kShop).portion, "Coffee\n");
    f.selector = "count(//li)";
    EXPECT_EQ(Apply(f, kShop).portion, "3\n");
    f.selector = "//li[";
    std::string problem;
    EXPECT_FALSE(PageFilter::Compile(f, problem));
    EXPECT_NE(problem.find("The XPath expression \"//li[\" is not valid XPath"), std::string::npos)
        << problem;
}

TEST(PageFilter, NothingSelectedOrLeftIsNotOk) {
    PageFilter::Result gone = Apply(Css("span.price"), kShop);
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(gone.reason, "The CSS selector \"span.price\" matches nothing on the page.");
    DocumentFilters all;
    all.ignoreLines = {"."};
    PageFilter::Result none = Apply(all, "a\nb\n");
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.reason, "Every line of the document is ignored by the filters.");
}

TEST(PageFilter, APageTooLargeForATreeIsRefusedForXPathAndReadForCss) {
    std::string page = "<ul>" + std::string(17 << 20, ' ') + "<li>x</li></ul>";
    DocumentFilters xpath;
    xpath.selectorKind = DocumentFilters::Selector::XPath;
    xpath.selector = "//li";
    PageFilter::Result r = Apply(xpath, page);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, "The page has 17 MB; an XPath expression reads pages of at most 16 MB.");
    EXPECT_EQ(Apply(Css("li"), page).portion, "<li>x</li>\n") << "a CSS selector needs no tree";
    DocumentFilters text;
    text.textOnly = true;
    EXPECT_EQ(Apply(text, page).portion, "x\n") << "the text alone needs no tree";
}

TEST(PageFilter, ASelectorReadsThePageInItsCharset) {
    // Declared by the server, by a <meta>, or neither and not UTF-8: windows-1252.
    std::string latin = "<p class=p>caf\xE9</p>";
    std::string problem;
    auto filter = PageFilter::Compile(Css(".p"), problem);
    ASSERT_TRUE(filter);
    EXPECT_EQ(filter->Apply(latin, "iso-8859-1").portion, "<p class=\"p\">caf\xC3\xA9</p>\n");
    EXPECT_EQ(filter->Apply(latin, "").portion, "<p class=\"p\">caf\xC3\xA9</p>\n");
    EXPECT_EQ(filter->Apply("<meta charset=koi8-r><p class=p>\xC1</p>", "").portion,
              "<p class=\"p\">\xD0\xB0</p>\n");
    EXPECT_EQ(filter->Apply("\xEF\xBB\xBF<p class=p>\xC3\xA9</p>", "").portion,
              "<p class=\"p\">\xC3\xA9</p>\n")
        << "a byte order mark is no text";
    EXPECT_FALSE(filter->Apply(std::string("<p class=p>\0</p>", 17), "").ok);
}

TEST(PageFilter, TextOnlyIsTheChangeViewsTextOfTheSelection) {
    DocumentFilters f = Css("ul");
    f.textOnly = true;
    EXPECT_EQ(Apply(f, kShop).portion, "Tea\nCoffee\nCocoa\n");
    // Markup alone changed: the same text.
    std::string restyled = kShop;
    restyled.replace(restyled.find("<li>Tea</li>"), 12, "<li><b>Tea</b></li>");
    EXPECT_EQ(Apply(f, restyled).portion, "Tea\nCoffee\nCocoa\n");
    DocumentFilters whole;
    whole.textOnly = true;
    EXPECT_EQ(Apply(whole, "<p>caf\xE9</p>").portion, "caf\xC3\xA9\n") << "read as windows-1252";
}

TEST(PageFilter, IgnoredLinesLeaveTheComparisonAndAreMarked) {
    DocumentFilters f;
    f.ignoreLines = {"^Time: ", "(?i)visitors$"};
    PageFilter::Result r = Apply(f, "Time: 12:00\r\nNews one\r\n42 VISITORS\r\nNews two", true);
    EXPECT_EQ(r.portion, "News one\r\nNews two");
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_TRUE(r.lines[0].ignored);
    EXPECT_FALSE(r.lines[1].ignored);
    EXPECT_TRUE(r.lines[2].ignored);
    EXPECT_EQ(r.lines[3].text, "News two");

    f.ignoreLines = {"(unclosed"};
    std::string problem;
    EXPECT_FALSE(PageFilter::Compile(f, problem));
    EXPECT_EQ(problem, "The pattern \"(unclosed\" is not valid: missing ): (unclosed.");
}

TEST(PageFilter, ACatastrophicPatternStillReturns) {
    // Backtracking engines take exponential time here; RE2 is linear, so this simply ends.
    DocumentFilters f;
    f.ignoreLines = {"(a+)+$"};
    std::string page(100 * 1024, 'a');
    page += "b\nkept\n";
    EXPECT_EQ(Apply(f, page).portion, std::string(100 * 1024, 'a') + "b\nkept\n");
    page = std::string(100 * 1024, 'a') + "\nkept\n";
    EXPECT_EQ(Apply(f, page).portion, "kept\n");
}

TEST(PageFilter, TriggerCountsAddedOrRemovedLinesWithItsWords) {
    DocumentFilters f;
    f.trigger = "In Stock";
    std::string problem;
    auto filter = PageFilter::Compile(f, problem);
    ASSERT_TRUE(filter);
    EXPECT_FALSE(filter->CountsAsChange("Sold out\nPrice 10\n", "Sold out\nPrice 11\n"));
    EXPECT_TRUE(filter->CountsAsChange("Sold out\n", "Now in stock!\n"));
    EXPECT_FALSE(filter->CountsAsChange("Now in stock!\n", "Sold out\n"));
    f.triggerOnRemoved = true;
    filter = PageFilter::Compile(f, problem);
    EXPECT_TRUE(filter->CountsAsChange("Now in stock!\n", "Sold out\n"));
    EXPECT_FALSE(filter->CountsAsChange("Sold out\n", "Now in stock!\n"));
}

}  // namespace
}  // namespace wardlet
