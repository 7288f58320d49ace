#include "monitor/changes/change_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/version_history.h"
#include "temp_home.h"
#include "versions_fixture.h"

namespace wardlet {
namespace {

using test::WriteBytes;
using namespace std::string_literals;

using ChangeViewTest = test::VersionsFixture;

TEST_F(ChangeViewTest, VersionsNewestFirstAndTheChangeBetweenAnyTwo) {
    EXPECT_TRUE(ChangeView(store, record).versions().empty());
    Store("<p>one</p>\r\n<p>two</p>\r\n");
    Store("<p>one</p>\r\n<p>2</p>\r\n");
    Store("<p>one</p>\r\n<p>2</p>\r\n<p>three</p>\r\n");
    ChangeView view(store, record);
    ASSERT_EQ(view.versions().size(), 3u);
    EXPECT_EQ(view.versions()[0].file, store.ContentFile("Doc"));
    EXPECT_EQ(view.versions()[2].bytes, 24);

    auto newest = view.Compare(1, 0, false);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->kind, VersionChange::Kind::Text);
    EXPECT_EQ(FormatUnifiedDiff(newest->diff, "a", "b", false),
              "--- a\n+++ b\n@@ -1,2 +1,3 @@\n one\n 2\n+three\n");
    EXPECT_EQ(newest->toLabel, VersionTimeStamp(view.versions()[0].time));
    auto oldest = view.Compare(2, 1, false);
    ASSERT_TRUE(oldest);
    EXPECT_EQ(oldest->diff.removed, 1u);
    auto source = view.Compare(2, 1, true);
    ASSERT_TRUE(source);
    EXPECT_EQ(FormatUnifiedDiff(source->diff, "a", "b", false),
              "--- a\n+++ b\n@@ -1,2 +1,2 @@\n <p>one</p>\n-<p>two</p>\n+<p>2</p>\n");
    EXPECT_FALSE(view.Compare(3, 0, false));
    EXPECT_EQ(view.TextOf(2, false)->text, "one\ntwo\n");
}

TEST_F(ChangeViewTest, ABinaryChangeGivesSizesOffsetAndCountsAndATooLargeCopyIsNamed) {
    record.type = static_cast<int32_t>(DocumentType::WebFile);
    record.useCount = 1;
    SetFieldText(record.countString, "ab");
    Store("\0ab\0ab"s);
    Store("\0ab\0abab"s);
    ChangeView view(store, record);
    auto change = view.Compare(1, 0, false);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->kind, VersionChange::Kind::Binary);
    EXPECT_EQ(change->binary.oldSize, 6u);
    EXPECT_EQ(change->binary.newSize, 8u);
    EXPECT_EQ(change->binary.firstDifference, 6u);
    EXPECT_EQ(change->oldCount, 2);
    EXPECT_EQ(change->newCount, 3) << "zero bytes dropped: ababab";
    EXPECT_FALSE(change->same());

    Store("small", {10, 5});
    ChangeView bounded(store, record);
    ASSERT_GE(bounded.versions().size(), 2u);
    EXPECT_FALSE(bounded.versions()[1].kept);
    EXPECT_EQ(bounded.versions()[1].bytes, 8);
    EXPECT_EQ(bounded.Compare(1, 0, false)->kind, VersionChange::Kind::NotKept);
}

}  // namespace
}  // namespace wardlet

namespace wardlet {
namespace {

using ChangeViewFilters = test::VersionsFixture;

TEST_F(ChangeViewFilters, AFilteredTextIsReadAsTextAndTheWholePageStaysAtHand) {
    DocumentFilters filters;
    filters.textOnly = true;
    ASSERT_TRUE(SaveDocumentFilters(store.FiltersOf("Doc"), filters));
    Store("Price: 10\nIn stock\n");
    Store("Price: 9\nIn stock\n");
    test::WriteBytes(store.HistoryOf("Doc") / kUnfilteredCopyFile,
                     "<html><p>Price: 9</p><p>In stock</p><p>12:00</p></html>");
    ChangeView view(store, record);
    ASSERT_TRUE(view.filtered());
    // Lines of text stay lines, not one paragraph of a page.
    auto change = view.Compare(1, 0, false);
    ASSERT_TRUE(change);
    EXPECT_EQ(FormatUnifiedDiff(change->diff, "a", "b", false),
              "--- a\n+++ b\n@@ -1,2 +1,2 @@\n-Price: 10\n+Price: 9\n In stock\n");
    EXPECT_EQ(view.UnfilteredText(false)->text, "Price: 9\nIn stock\n12:00\n");

    EXPECT_FALSE(ChangeView(store, DocumentRecord{}).filtered());
    ASSERT_TRUE(SaveDocumentFilters(store.FiltersOf("Doc"), {}));
    EXPECT_FALSE(ChangeView(store, record).UnfilteredText(false));
}

}  // namespace
}  // namespace wardlet
