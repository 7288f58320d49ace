#include "monitor/changes/text_diff.h"

#include <gtest/gtest.h>

namespace wardlet {
namespace {

std::string Lines(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

std::string Unified(std::string_view a, std::string_view b) {
    return FormatUnifiedDiff(DiffTexts(a, b), "old", "new", false);
}

TEST(TextDiff, AddedRemovedAndChangedLinesWithThreeLinesOfContextAndFoldedStretches) {
    std::string old = Lines(1, 30);
    std::string changed = Lines(1, 4) + "inserted\n" + Lines(5, 19) + Lines(21, 24) +
                          "line 25 changed\n" + Lines(26, 30);
    TextDiff diff = DiffTexts(old, changed);
    EXPECT_EQ(diff.added, 2u);
    EXPECT_EQ(diff.removed, 2u);
    ASSERT_EQ(diff.hunks.size(), 2u);
    EXPECT_EQ(diff.hunks[0].foldedBefore, 1) << "line 1 is left out";
    EXPECT_EQ(diff.hunks[1].foldedBefore, 9) << "lines 8 to 16";
    EXPECT_EQ(Unified(old, changed),
              "--- old\n+++ new\n"
              "@@ -2,6 +2,7 @@\n line 2\n line 3\n line 4\n+inserted\n line 5\n line 6\n line 7\n"
              "@@ -17,12 +18,11 @@\n line 17\n line 18\n line 19\n-line 20\n line 21\n line 22\n"
              " line 23\n line 24\n-line 25\n+line 25 changed\n line 26\n line 27\n line 28\n");
    const DiffLine& removed = diff.hunks[1].lines[8];
    const DiffLine& added = diff.hunks[1].lines[9];
    ASSERT_EQ(removed.kind, LineKind::Removed);
    EXPECT_TRUE(removed.changed.empty());
    EXPECT_EQ(added.changed, (std::vector<WordSpan>{{7, 15}})) << "\" changed\"";
    EXPECT_EQ(added.newNumber, 25);
    EXPECT_EQ(removed.oldNumber, 25);
}

TEST(TextDiff, ChangesOnTheFirstAndLastLineAndWordsInside) {
    EXPECT_EQ(Unified("price 5 EUR\nb\nc\nd\ne\nf\ng\nh\nlast one\n",
                      "price 7 EUR\nb\nc\nd\ne\nf\ng\nh\nlast two\n"),
              "--- old\n+++ new\n@@ -1,4 +1,4 @@\n-price 5 EUR\n+price 7 EUR\n b\n c\n d\n"
              "@@ -6,4 +6,4 @@\n f\n g\n h\n-last one\n+last two\n");
    TextDiff diff = DiffTexts("price 5 EUR\n", "price 7 EUR\n");
    ASSERT_EQ(diff.hunks.size(), 1u);
    EXPECT_EQ(diff.hunks[0].lines[0].changed, (std::vector<WordSpan>{{6, 7}}));
    EXPECT_EQ(diff.hunks[0].lines[1].changed, (std::vector<WordSpan>{{6, 7}}));
    std::string colored = FormatUnifiedDiff(diff, "a", "b", true);
    EXPECT_NE(colored.find("\x1b[31m-price \x1b[7m5\x1b[27m EUR\x1b[0m\n"), std::string::npos);
    EXPECT_NE(colored.find("\x1b[32m+price \x1b[7m7\x1b[27m EUR\x1b[0m\n"), std::string::npos);
}

TEST(TextDiff, AnEmptyOldVersionAddsEverythingAndTheSameTextsHaveNoHunk) {
    EXPECT_EQ(Unified("", "a\nb\n"), "--- old\n+++ new\n@@ -0,0 +1,2 @@\n+a\n+b\n");
    EXPECT_EQ(Unified("a\nb\n", ""), "--- old\n+++ new\n@@ -1,2 +0,0 @@\n-a\n-b\n");
    EXPECT_TRUE(DiffTexts("same\n", "same\n").same());
    EXPECT_TRUE(DiffTexts("", "").same());
    // A last line without its line end is a line all the same.
    EXPECT_EQ(Unified("a\nb", "a\nc"), "--- old\n+++ new\n@@ -1,2 +1,2 @@\n a\n-b\n+c\n");
}

}  // namespace
}  // namespace wardlet

namespace wardlet {
namespace {

TEST(FirstChangedLines, AtMostTwentyLinesAndTwoKilobytesThenHowManyMore) {
    EXPECT_EQ(FirstChangedLines(DiffTexts("a\nb\nc\n", "a\nB\nc\n")), "-b\n+B\n");
    EXPECT_EQ(FirstChangedLines(DiffTexts("same\n", "same\n")), "");
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += std::to_string(i) + "\n";
    std::string lines = FirstChangedLines(DiffTexts("", many));
    EXPECT_TRUE(lines.starts_with("+0\n+1\n"));
    EXPECT_TRUE(lines.ends_with("+19\n\u2026 5 more lines\n")) << lines;
    std::string wide(1500, 'w');
    lines = FirstChangedLines(DiffTexts("", wide + "\n" + wide + "\n"));
    EXPECT_EQ(lines, "+" + wide + "\n\u2026 1 more line\n") << "2 KB at most";
}

}  // namespace
}  // namespace wardlet
