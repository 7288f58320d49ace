#include "monitor/changes/document_text.h"

#include <gtest/gtest.h>

namespace wardlet {
namespace {

using namespace std::string_literals;

std::string Page(std::string_view html, std::string_view charset = "") {
    DocumentText text = TextOfCopy(html, TextForm::Page, charset);
    EXPECT_FALSE(text.binary);
    return text.text;
}

TEST(PageText, NestedBlocksBreakLinesAndInlineTextRunsOn) {
    std::string html =
        "<!DOCTYPE html>\r\n<html><head><title>Price  list</title>\r\n"
        "<style>p { color: red }</style><script>var x = '<p>no</p>';</script></head>\r\n"
        "<body><div><h1>Prices</h1>\r\n<div><p>Apples   <b>cost</b>\r\n  <i>2</i> EUR</p>"
        "<ul><li>one<li>two<br>three</ul></div></div>"
        "<noscript>enable scripts</noscript><template><p>later</p></template>"
        "<!-- a comment --><table><tr><td>a</td><td>b</td></tr></table>"
        "<pre>  kept\n    as is</pre>tail</body></html>\r\n";
    EXPECT_EQ(Page(html),
              "Price list\nPrices\nApples cost 2 EUR\none\ntwo\nthree\na\nb\n  kept\n    as is\n"
              "tail\n");
}

TEST(PageText, CharacterReferencesAreDecodedToUtf8) {
    EXPECT_EQ(Page("<p>caf&eacute; &amp; th&#233; &#x20AC;5 &lt;b&gt; &nbsp;x</p>"),
              "caf\xC3\xA9 & th\xC3\xA9 \xE2\x82\xAC"
              "5 <b> \xC2\xA0x\n");
}

TEST(PageText, TheCharsetComesFromTheBomTheHeaderTheMetaThenUtf8ThenWindows1252) {
    // A Latin-1 page that says so in a <meta>: é is one byte E9.
    std::string latin1 =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=ISO-8859-1\"></head><body><p>caf\xE9 \x80</p></body></html>";
    DocumentText text = TextOfCopy(latin1, TextForm::Page, "");
    EXPECT_EQ(text.text, "caf\xC3\xA9 \xE2\x82\xAC\n") << "Latin-1 read as windows-1252";
    EXPECT_EQ(text.charset, "windows-1252");
    EXPECT_EQ(Page("<meta charset=\"koi8-r\"><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>"),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n");
    // The header beats the <meta>; a BOM beats both.
    EXPECT_EQ(Page("<meta charset=utf-8><p>\xE9</p>", "iso-8859-1"), "\xC3\xA9\n");
    std::string bom = "\xEF\xBB\xBF<meta charset=iso-8859-1><p>\xC3\xA9t\xC3\xA9</p>";
    EXPECT_EQ(Page(bom, "iso-8859-1"), "\xC3\xA9t\xC3\xA9\n");
    // Nothing said: valid UTF-8 is UTF-8, anything else windows-1252.
    EXPECT_EQ(Page("<p>\xC3\xA9</p>"), "\xC3\xA9\n");
    EXPECT_EQ(Page("<p>\xE9\x93</p>"), "\xC3\xA9\xE2\x80\x9C\n");
    // An unknown declared charset falls back the same way.
    EXPECT_EQ(Page("<p>\xE9</p>", "no-such-charset"), "\xC3\xA9\n");
}

TEST(PageText, OnlyWellFormedUtf8IsTakenAsUtf8) {
    // Four-byte characters and long ASCII runs are UTF-8 as they stand.
    std::string ascii(100, 'a');
    EXPECT_EQ(Page("<p>" + ascii + " \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF</p>"),
              ascii + " \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF\n");
    // An overlong form, a surrogate, a cut-short sequence and a stray continuation byte are
    // not: the page is read as windows-1252.
    for (std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\x80"}) {
        DocumentText text = TextOfCopy("<p>" + ascii + bad + "</p>", TextForm::Page, "");
        EXPECT_EQ(text.charset, "windows-1252") << testing::PrintToString(bad);
    }
    // Declared UTF-8 with a broken byte keeps the rest and marks the byte.
    EXPECT_EQ(Page("<p>a\xFF"
                   "b</p>",
                   "utf-8"),
              "a\xEF\xBF\xBD"
              "b\n");
    // The old five-byte form, which iconv passes on, is no character either: each of its bytes
    // is marked, and the text stays well-formed.
    std::string marks;
    for (int i = 0; i < 5; ++i)
        marks += "\xEF\xBF\xBD";
    EXPECT_EQ(Page("<p>a\xF9\xB6\xB6\xB6\xB6 b</p>", "utf-8"), "a" + marks + " b\n");
}

TEST(FileText, PlainTextIsAsItIsWithLineEndsMadeLfAndBinaryHasNone) {
    DocumentText text = TextOfCopy("a <b>\r\nb\rc\n", TextForm::File, "");
    EXPECT_EQ(text.text, "a <b>\nb\nc\n");
    EXPECT_EQ(TextOfCopy("\xFF\xFEh\0i\0"s, TextForm::File, "").text, "hi");
    EXPECT_TRUE(TextOfCopy("PK\x03\x04\0\0\x14"s, TextForm::File, "").binary);
    EXPECT_TRUE(TextOfCopy("\x89PNG\r\n\x1a\n\0\0"s, TextForm::Page, "").binary);
    EXPECT_FALSE(TextOfCopy("", TextForm::Page, "").binary);
}

TEST(BinaryChange, SizesAndTheFirstDifferingOffset) {
    BinaryChange change = DescribeBinaryChange("abc\0def"s, "abc\0dXf!"s);
    EXPECT_EQ(change.oldSize, 7u);
    EXPECT_EQ(change.newSize, 8u);
    EXPECT_EQ(change.firstDifference, 5u);
    EXPECT_EQ(DescribeBinaryChange("abc", "abcd").firstDifference, 3u);
    EXPECT_FALSE(DescribeBinaryChange("abc", "abc").firstDifference);
}

TEST(ContentType, TheCharsetParameter) {
    EXPECT_EQ(CharsetOfContentType("text/html; Charset=\"ISO-8859-1\""), "ISO-8859-1");
    EXPECT_EQ(CharsetOfContentType("text/plain;charset=utf-8;format=flowed"), "utf-8");
    EXPECT_EQ(CharsetOfContentType("text/html"), "");
}

}  // namespace
}  // namespace wardlet
