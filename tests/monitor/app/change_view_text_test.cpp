// What the change view paints, without a display: notices, line marks, styles of changed words.
#include "monitor/app/change_view_text.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/model/version_history.h"
#include "temp_home.h"
#include "tests/monitor/changes/versions_fixture.h"

namespace wardlet::test {
namespace {

std::string Joined(const PaintedLine& line) {
    std::string text;
    for (const TextRun& run : line)
        text += run.text;
    return text;
}

// The text of the runs of `line` in `style`, joined with "|".
std::string RunsIn(const PaintedLine& line, RunStyle style) {
    std::string text;
    for (const TextRun& run : line)
        if (run.style == style) text += (text.empty() ? "" : "|") + run.text;
    return text;
}

using ChangeViewTextTest = VersionsFixture;

TEST_F(ChangeViewTextTest, WithoutAnEarlierVersionTheTextIsShownAndSaysSo) {
    ChangePicture none = PaintChange(View(), 0, false);
    EXPECT_EQ(none.notice, kNoStoredCopy);
    EXPECT_TRUE(none.lines.empty());

    Store("<p>caf&eacute;</p><script>x()</script>\n<p>two</p>");
    ChangePicture text = PaintChange(View(), 0, false);
    EXPECT_EQ(text.notice, kNoEarlierVersion);
    ASSERT_EQ(text.lines.size(), 2u);
    EXPECT_EQ(Joined(text.lines[0]), "caf\u00e9");
    EXPECT_EQ(text.lines[0][0].style, RunStyle::Plain);
    EXPECT_EQ(Joined(text.lines[1]), "two");
    // The source: the bytes as they are, the script too.
    ChangePicture source = PaintChange(View(), 0, true);
    ASSERT_EQ(source.lines.size(), 2u);
    EXPECT_EQ(Joined(source.lines[0]), "<p>caf&eacute;</p><script>x()</script>");
}

TEST_F(ChangeViewTextTest, RemovedAndAddedLinesAndTheirChangedWordsHaveTheirStyles) {
    Store("<p>one</p>\n<p>two words here</p>\n");
    Store("<p>one</p>\n<p>two birds here</p>\n<p>three</p>\n");
    ChangeView view = View();
    ASSERT_EQ(view.versions().size(), 2u);
    ChangePicture picture = PaintChange(view, 0, false);
    EXPECT_EQ(picture.notice,
              "+2 -1 lines since " + VersionTimeStamp(view.versions()[1].time) + ".");
    ASSERT_EQ(picture.lines.size(), 5u);
    EXPECT_EQ(Joined(picture.lines[0]), "@@ -1,2 +1,3 @@");
    EXPECT_EQ(picture.lines[0][0].style, RunStyle::Note);
    EXPECT_EQ(Joined(picture.lines[1]), "  one");
    EXPECT_EQ(RunsIn(picture.lines[1], RunStyle::Plain), "  |one");
    EXPECT_EQ(Joined(picture.lines[2]), "- two words here");
    EXPECT_EQ(RunsIn(picture.lines[2], RunStyle::RemovedWord), "words");
    EXPECT_EQ(Joined(picture.lines[3]), "+ two birds here");
    EXPECT_EQ(RunsIn(picture.lines[3], RunStyle::AddedWord), "birds");
    EXPECT_EQ(RunsIn(picture.lines[3], RunStyle::Added), "+ |two | here");
    EXPECT_EQ(Joined(picture.lines[4]), "+ three");
    EXPECT_EQ(RunsIn(picture.lines[4], RunStyle::AddedWord), "");
    // The older version has none before it.
    EXPECT_EQ(PaintChange(view, 1, false).notice, kNoEarlierVersion);
    EXPECT_EQ(PaintChange(view, 7, false).notice, picture.notice) << "out of range: the newest";

    // Removed red and struck through, added green, changed words shaded, notes grey.
    RunLook removed = LookOf(RunStyle::Removed), added = LookOf(RunStyle::Added);
    EXPECT_TRUE(removed.strike);
    EXPECT_FALSE(added.strike);
    EXPECT_GT(removed.color >> 16, (removed.color >> 8) & 0xFF) << "red";
    EXPECT_GT((added.color >> 8) & 0xFF, added.color >> 16) << "green";
    EXPECT_EQ(LookOf(RunStyle::RemovedWord).color, removed.color);
    EXPECT_TRUE(LookOf(RunStyle::RemovedWord).strike);
    EXPECT_NE(LookOf(RunStyle::RemovedWord).background, 0u);
    EXPECT_NE(LookOf(RunStyle::AddedWord).background, 0u);
    EXPECT_TRUE(LookOf(RunStyle::Note).italic);
    EXPECT_EQ(LookOf(RunStyle::Plain).background, 0u);
}

TEST_F(ChangeViewTextTest, FoldedStretchesSameTextAndVersionsNotKeptAreNoted) {
    std::string old, now;
    for (int i = 1; i <= 20; ++i)
        old += "<p>line " + std::to_string(i) + "</p>\n";
    now = old;
    now.replace(now.find("line 2<"), 7, "line B<");
    now.replace(now.find("line 19<"), 8, "line S<");
    Store(old);
    Store(now);
    ChangePicture picture = PaintChange(View(), 0, false);
    int folds = 0;
    for (const PaintedLine& line : picture.lines)
        if (Joined(line).find("unchanged lines") != std::string::npos) {
            ++folds;
            EXPECT_EQ(Joined(line), "\u2026 10 unchanged lines \u2026");
        }
    EXPECT_EQ(folds, 1);

    Store(now);
    EXPECT_EQ(PaintChange(View(), 0, false).notice, kNoTextChange);

    Store("a much larger copy than the bound", {10, 8});
    Store("small", {10, 8});
    ChangeView bounded = View();
    ASSERT_FALSE(bounded.versions()[1].kept);
    EXPECT_EQ(PaintChange(bounded, 0, false).notice, kEarlierNotKept);
    ChangePicture notKept = PaintChange(bounded, 1, false);
    EXPECT_EQ(notKept.notice, kVersionNotKept);
    EXPECT_TRUE(notKept.lines.empty());
    EXPECT_NE(VersionCaption(bounded.versions()[1]).find("(not kept)"), std::string::npos);
    EXPECT_NE(VersionCaption(bounded.versions()[0]).find("(stored copy)"), std::string::npos);
}

}  // namespace
}  // namespace wardlet::test
