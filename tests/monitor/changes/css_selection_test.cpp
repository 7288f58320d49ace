// A CSS selector read over the page's stream of events must select what its XPath selects over
// the whole tree, byte for byte: stored portions were taken either way, and a difference would
// announce a change that is none.
#include "monitor/changes/css_selection.h"

#include <gtest/gtest.h>

#include "monitor/changes/page_filters.h"

namespace wardlet {
namespace {

// The portion the tree gives for `css`: its XPath form as an XPath filter.
std::string ByTree(const std::string& css, const std::string& page) {
    std::string problem;
    std::optional<std::string> xpath = CssToXPath(css, problem);
    EXPECT_TRUE(xpath) << problem;
    DocumentFilters f;
    f.selectorKind = DocumentFilters::Selector::XPath;
    f.selector = xpath.value_or("");
    auto filter = PageFilter::Compile(f, problem);
    EXPECT_TRUE(filter) << problem;
    PageFilter::Result r = filter ? filter->Apply(page, "") : PageFilter::Result{};
    return r.ok ? r.portion : "";
}

std::string ByStream(const std::string& css, const std::string& page) {
    std::string problem;
    std::optional<CssSelector> selector = ParseCss(css, problem);
    EXPECT_TRUE(selector) << problem;
    return selector ? SelectWithCss(page, *selector).markup : "";
}

constexpr const char* kPages[] = {
    // Implied html, head and body; a paragraph closed by the next; a list item by the next.
    "<title>t</title><p class=a>one<p class='a b'>two<ul><li>x<li id=k>y</ul>",
    // Nested matches, blanks between elements, comments and a script inside a match.
    "<html><body><div class=box> <div class=box>\n <b>in</b> </div> <!-- c -->"
    "<script>if (a < b) x = '</div>';</script></div></body></html>",
    // A table with implied tbody, misnested inline tags, an unclosed element at the end.
    "<table><tr><td>1<td>2</table><p><b><i>bold italic</b> rest</i><div><span>open",
    // Attributes: without a value, entities, duplicates, upper case names.
    "<DIV ID=top Class=' x  y\tz ' data-v=\"a&amp;b\" hidden data-v=other>"
    "<INPUT type=checkbox checked><a href='/a b?c=d&amp;e'>l</a></DIV>",
    // Content after the end of the page, text at the top level, a stray end tag.
    "text<div class=x>a</span>b</div></body></html><div class=x>after</div>",
    // Elements inside head, a doctype, whitespace the parser drops.
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"><html><head> <meta charset=utf-8> "
    "<style>p{}</style></head>\n<body>\n  <p>p</p>\n  <div> <p>q</p> </div></body></html>",
    // A comment before the page and content after it; a misplaced doctype.
    "<!-- first --><html><body><p>a</p></body></html><p>b</p>",
    "<p>a</p></html><p>b</p><!DOCTYPE html><p>c</p>",
    // Names with colons, as libxml2 splits them; an xml: prefix is a namespace.
    "<ul><li:ul><li>a</li></li:ul><xml:ul><li>b</li></xml:ul><:ul><li>c</li></:ul>"
    "<ul:><li>d</li></ul:><a:b:ul><li>e</li></a:b:ul></ul>",
    // Non-ASCII text and an entity for a character of another plane.
    "<ul><li>caf\xC3\xA9</li><li>&#x1F600; &euro; &nbsp;</li></ul>",
};

TEST(CssSelection, SelectsWhatTheTreeSelectsByteForByte) {
    const char* selectors[] = {
        "p",
        "div",
        "div.box",
        "li",
        "li:nth-child(2)",
        "ul > li",
        "body div",
        "body > div",
        "#k",
        "#top",
        ".x",
        ".y",
        "[hidden]",
        "[data-v=\"a&b\"]",
        "[data-v=other]",
        "*",
        "html > *",
        "td:nth-child(2)",
        "tr > td",
        "table td",
        "b, i",
        "i, b",
        "div b",
        "div > b",
        "head meta",
        "body > p:nth-child(1)",
        "input[checked]",
        "a[href]",
        "div div",
        "div p",
        "span",
        "html",
        "body",
        "ul li:nth-child(1)",
        "*:nth-child(1)",
        "ul > *",
        "ul li",
    };
    for (const char* page : kPages)
        for (const char* css : selectors)
            EXPECT_EQ(ByStream(css, page), ByTree(css, page)) << css << " on " << page;
}

TEST(CssSelection, TagSoupSelectsWhatTheTreeSelects) {
    // Pages of random tags, some left open, some closed out of turn: the parser's repairs must
    // reach the selection as they reach the tree.
    const char* pieces[] = {"<div>",
                            "</div>",
                            "<p class=a>",
                            "</p>",
                            "<b>",
                            "</b>",
                            "<li>",
                            "<ul>",
                            "</ul>",
                            "<table>",
                            "<td>",
                            "</table>",
                            "x",
                            " ",
                            "<br>",
                            "<!--c-->",
                            "</html>",
                            "<html>",
                            "<body>",
                            "</body>",
                            "<span id=s>",
                            "</span>",
                            "<head>",
                            "<title>t</title>",
                            "<i class='a b'>"};
    const char* selectors[] = {"*",        "div",
                               ".a",       "p > b",
                               "div p",    "li:nth-child(2)",
                               "html > *", "body *:nth-child(1)",
                               "#s",       "ul li",
                               "td b"};
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 300; ++round) {
        std::string page;
        for (uint32_t n = next() % 40; n > 0; --n)
            page += pieces[next() % std::size(pieces)];
        for (const char* css : selectors)
            ASSERT_EQ(ByStream(css, page), ByTree(css, page)) << css << " on " << page;
    }
}

TEST(CssSelection, ListsAndChainsMatchEachElementOnce) {
    std::string page = "<div class=a><div class=a><p class=a>x</p></div></div>";
    std::string problem;
    // Every element matches two parts of the list, and the descendant chain in two ways.
    EXPECT_EQ(SelectWithCss(page, *ParseCss(".a, div, p", problem)).matches, 3u);
    CssSelection chain = SelectWithCss(page, *ParseCss("div div p", problem));
    EXPECT_EQ(chain.matches, 1u);
    EXPECT_EQ(chain.markup, "<p class=\"a\">x</p>\n");
}

TEST(CssSelection, NothingMatchedIsNoMarkup) {
    std::string problem;
    CssSelection none = SelectWithCss("<p>a</p>", *ParseCss("div", problem));
    EXPECT_EQ(none.matches, 0u);
    EXPECT_EQ(none.markup, "");
    EXPECT_EQ(SelectWithCss("", *ParseCss("p", problem)).matches, 0u);
}

TEST(CssSelection, AMatchDeeperThanTheParserGoesKeepsWhatWasRead) {
    // libxml2 stops building some 256 elements deep and ends the parse there; what was read of
    // the match counts. (A tree counts that depth from the page's top, a match from itself.)
    std::string page = "<div id=top>";
    for (int i = 0; i < 400; ++i)
        page += "<span>";
    page += "end";
    std::string problem;
    CssSelection top = SelectWithCss(page, *ParseCss("#top", problem));
    EXPECT_EQ(top.matches, 1u);
    EXPECT_TRUE(top.markup.starts_with("<div id=\"top\"><span><span>")) << top.markup.substr(0, 80);
    EXPECT_TRUE(top.markup.ends_with("</span></div>\n"));
    std::string tree = ByTree("#top", page);
    EXPECT_GE(top.markup.size(), tree.size());
    EXPECT_GT(tree.size(), 250u * 13);
}

TEST(CssSelection, DeepNestingAndLongChainsStayLinear) {
    // Ten thousand open elements, a selector of many descendant steps: no recursion to run out
    // of stack, no search that grows with depth times steps at each element.
    std::string page;
    for (int i = 0; i < 10000; ++i)
        page += "<div>";
    page += "<p>deep</p>";
    std::string css;
    for (int i = 0; i < 60; ++i)
        css += "div ";
    css += "p";
    std::string problem;
    CssSelection deep = SelectWithCss(page, *ParseCss(css, problem));
    EXPECT_EQ(deep.markup, "<p>deep</p>\n");
    std::string tooLong;
    for (size_t i = 0; i <= kMaxCssCompounds; ++i)
        tooLong += "div ";
    EXPECT_FALSE(ParseCss(tooLong, problem));
    EXPECT_NE(problem.find("has more than 64 parts in a row"), std::string::npos) << problem;
}

}  // namespace
}  // namespace wardlet
