// Checks of web pages with filters against the tests' HTTP peer on loopback: what is compared,
// what is stored, what a vanished element and a damaged filter file do.
#include "common/little_endian.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/version_history.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;

std::string ShopPage(const std::string& clock, const std::string& price,
                     const std::string& priceTag = "div") {
    return "<html><body>\n<p id=\"clock\">" + clock + "</p>\n<" + priceTag + " class=\"price\">" +
           price + "</" + priceTag + ">\n</body></html>\n";
}

class FilterCheckTest : public EngineTest {
protected:
    HttpPeer peer_;

    size_t AddFiltered(const std::string& name, const DocumentFilters& filters,
                       const std::function<void(DocumentRecord&)>& more = {}) {
        EXPECT_TRUE(SaveDocumentFilters(store_.FiltersOf(name), filters));
        return AddDocument(DocumentType::WebPage, name, peer_.Url(name), more);
    }
    Status CheckStatus(size_t index) { return static_cast<Status>(Check(index).status); }
    std::string Unfiltered(const std::string& name) {
        return ReadBytes(store_.HistoryOf(name) / kUnfilteredCopyFile);
    }
};

DocumentFilters Select(const std::string& css) {
    DocumentFilters f;
    f.selectorKind = DocumentFilters::Selector::Css;
    f.selector = css;
    return f;
}

TEST_F(FilterCheckTest, AClockElsewhereStaysCheckedAndThePriceChanges) {
    peer_.SetPage("shop", ShopPage("12:00:01", "10 EUR"));
    size_t i = AddFiltered("shop", Select("div.price"));
    EXPECT_EQ(CheckStatus(i), Status::Ready);
    // The stored copy is the compared portion; the whole page is kept beside the versions.
    EXPECT_EQ(Content("shop"), "<div class=\"price\">10 EUR</div>\n");
    EXPECT_EQ(Unfiltered("shop"), ShopPage("12:00:01", "10 EUR"));
    for (std::string clock : {"12:00:02", "12:00:03"}) {
        peer_.SetPage("shop", ShopPage(clock, "10 EUR"));
        EXPECT_EQ(CheckStatus(i), Status::Checked) << clock;
    }
    observer_.Calls();
    peer_.SetPage("shop", ShopPage("12:00:04", "9 EUR"));
    EXPECT_EQ(CheckStatus(i), Status::Changed);
    EXPECT_EQ(Content("shop"), "<div class=\"price\">9 EUR</div>\n");
    EXPECT_EQ(Unfiltered("shop"), ShopPage("12:00:04", "9 EUR"));
    EXPECT_EQ(observer_.Calls(),
              (std::vector<std::string>{"sound 2", "select 0", "tray", "ended shop ** Changed"}));
    EXPECT_EQ(observer_.trayLines, "+1 -1");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FilterCheckTest, IgnoredLinesDoNotCount) {
    DocumentFilters f;
    f.ignoreLines = {"id=\"clock\""};
    peer_.SetPage("news", ShopPage("12:00:01", "10 EUR"));
    size_t i = AddFiltered("news", f);
    EXPECT_EQ(CheckStatus(i), Status::Ready);
    EXPECT_EQ(Content("news"), "<html><body>\n<div class=\"price\">10 EUR</div>\n</body></html>\n");
    peer_.SetPage("news", ShopPage("12:00:02", "10 EUR"));
    EXPECT_EQ(CheckStatus(i), Status::Checked);
    peer_.SetPage("news", ShopPage("12:00:03", "11 EUR"));
    EXPECT_EQ(CheckStatus(i), Status::Changed);
}

TEST_F(FilterCheckTest, AMarkupOnlyChangeCountsOnlyWithoutTextOnly) {
    DocumentFilters text = Select(".price");
    text.textOnly = true;
    peer_.SetPage("text", ShopPage("1", "10 EUR"));
    peer_.SetPage("markup", ShopPage("1", "10 EUR"));
    size_t t = AddFiltered("text", text);
    size_t m = AddFiltered("markup", Select(".price"));
    EXPECT_EQ(CheckStatus(t), Status::Ready);
    EXPECT_EQ(CheckStatus(m), Status::Ready);
    EXPECT_EQ(Content("text"), "10 EUR\n");
    peer_.SetPage("text", ShopPage("1", "10 EUR", "span"));
    peer_.SetPage("markup", ShopPage("1", "10 EUR", "span"));
    EXPECT_EQ(CheckStatus(t), Status::Checked);
    EXPECT_EQ(CheckStatus(m), Status::Changed);
}

TEST_F(FilterCheckTest, ATriggerWaitsForItsWord) {
    DocumentFilters f;
    f.textOnly = true;
    f.trigger = "in stock";
    peer_.SetPage("p", "<p>Kettle</p><p>Sold out</p>");
    size_t i = AddFiltered("p", f);
    EXPECT_EQ(CheckStatus(i), Status::Ready);
    // A change without the word is taken as the new base, quietly.
    peer_.SetPage("p", "<p>Kettle, new model</p><p>Sold out</p>");
    observer_.Calls();
    EXPECT_EQ(CheckStatus(i), Status::Checked);
    EXPECT_EQ(observer_.Calls(), std::vector<std::string>{"ended p Checked"});
    EXPECT_EQ(Content("p"), "Kettle, new model\nSold out\n");
    EXPECT_TRUE(ListVersions(store_.HistoryOf("p"), store_.ContentFile("p")).empty());
    peer_.SetPage("p", "<p>Kettle, new model</p><p>In stock: 3</p>");
    EXPECT_EQ(CheckStatus(i), Status::Changed);
}

TEST_F(FilterCheckTest, ASelectorThatStopsMatchingIsUnavailableAndKeepsTheCopy) {
    peer_.SetPage("shop", ShopPage("1", "10 EUR"));
    size_t i = AddFiltered("shop", Select("div.price"));
    EXPECT_EQ(CheckStatus(i), Status::Ready);
    observer_.Calls();
    peer_.SetPage("shop", ShopPage("2", "10 EUR", "span"));
    EXPECT_EQ(CheckStatus(i), Status::Unavailable);
    EXPECT_EQ(Content("shop"), "<div class=\"price\">10 EUR</div>\n");
    EXPECT_EQ(observer_.Calls(),
              (std::vector<std::string>{
                  "note shop: The CSS selector \"div.price\" matches nothing on the page.",
                  "sound 3", "select 0", "tray", "ended shop ** Unable to retrieve"}));
    // Back again: compared with the copy kept.
    peer_.SetPage("shop", ShopPage("3", "10 EUR"));
    EXPECT_EQ(CheckStatus(i), Status::Checked);
}

TEST_F(FilterCheckTest, CountAndMiddleWorkOnTheFilteredText) {
    DocumentFilters f = Select("ul");
    f.textOnly = true;
    std::string page = "<p>new new</p><ul><li>new: a</li><li>[b]42[/b]</li></ul>";
    peer_.SetPage("count", page);
    peer_.SetPage("middle", page);
    size_t c = AddFiltered("count", f, [](DocumentRecord& r) {
        r.useCount = 1;
        SetFieldText(r.countString, "new");
    });
    size_t m = AddFiltered("middle", f, [](DocumentRecord& r) {
        r.useMiddle = 1;
        SetFieldText(r.middleStart, "[b]");
        SetFieldText(r.middleEnd, "[/b]");
    });
    EXPECT_EQ(Check(c).lastCount, 1);
    EXPECT_EQ(CheckStatus(m), Status::Ready);
    EXPECT_EQ(ReadBytes(store_.MiddleFile("middle")), "42");
    page = "<p>new new new</p><ul><li>new: a</li><li>[b]42[/b] c</li></ul>";
    peer_.SetPage("count", page);
    peer_.SetPage("middle", page);
    EXPECT_EQ(CheckStatus(c), Status::Checked);
    EXPECT_EQ(CheckStatus(m), Status::Checked);
    page = "<ul><li>new: a, new: b</li><li>[b]43[/b]</li></ul>";
    peer_.SetPage("count", page);
    peer_.SetPage("middle", page);
    EXPECT_EQ(Check(c).lastCount, 2);
    EXPECT_EQ(CheckStatus(m), Status::Changed);
    EXPECT_EQ(ReadBytes(store_.MiddleFile("middle")), "43");
}

TEST_F(FilterCheckTest, ADamagedFilterFileIsCheckedWithoutFiltersAndSaidOnce) {
    peer_.SetPage("shop", ShopPage("1", "10 EUR"));
    size_t i = AddDocument(DocumentType::WebPage, "shop", peer_.Url("shop"));
    std::filesystem::create_directories(store_.FiltersOf("shop").parent_path());
    WriteBytes(store_.FiltersOf("shop"), "{\"css\": \"div.pri");
    EXPECT_EQ(CheckStatus(i), Status::Ready);
    EXPECT_EQ(Content("shop"), ShopPage("1", "10 EUR"));
    EXPECT_EQ(
        observer_.Calls(),
        (std::vector<std::string>{"note shop: Its filters cannot be read (the file is not a JSON "
                                  "object), so it is checked without them.",
                                  "ended shop Ready"}));
    EXPECT_EQ(CheckStatus(i), Status::Checked);
    EXPECT_EQ(observer_.Calls(), std::vector<std::string>{"ended shop Checked"});
}

TEST_F(FilterCheckTest, ADocumentWithoutFiltersKeepsItsFilesAsTheyWere) {
    std::string page = ShopPage("1", "10 EUR");
    peer_.SetPage("plain", page);
    size_t i = AddDocument(DocumentType::WebPage, "plain", peer_.Url("plain"));
    EXPECT_EQ(CheckStatus(i), Status::Ready);
    peer_.SetPage("plain", ShopPage("2", "10 EUR"));
    EXPECT_EQ(CheckStatus(i), Status::Changed);
    EXPECT_EQ(Content("plain"), ShopPage("2", "10 EUR"));
    EXPECT_FALSE(std::filesystem::exists(data_ / kFiltersFolderName));
    EXPECT_FALSE(std::filesystem::exists(store_.HistoryOf("plain") / kUnfilteredCopyFile));
    auto versions = ListVersions(store_.HistoryOf("plain"), store_.ContentFile("plain"));
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(ReadBytes(versions[0].file), page);
    store_.FlushPendingWrites();
    DocumentRecord saved{};
    std::string bytes = ReadBytes(store_.DataFile("plain"));
    ASSERT_EQ(bytes.size(), kRecordSize);
    EXPECT_EQ(bytes, [&] {
        auto b = ToBytes(table_.Get(i));
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    }());
    (void)saved;
}

}  // namespace
}  // namespace wardlet::test
