#include "monitor/app/list_rows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "common/little_endian.h"
#include "monitor/model/document_record.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;

TEST(ListRowsTest, TextsUnknownQuestionMarkAndImages) {
    DocumentRecord record{};
    SetFieldText(record.name, "n");
    record.type = 9;
    record.status = 7;
    RowTexts row = MakeRowTexts(record);
    EXPECT_THAT(row.columns, ElementsAre("n", "Unknown", "Unknown", "?"));
    EXPECT_EQ(row.image, StatusImage::White);
    const std::pair<DocumentStatus, StatusImage> images[] = {
        {DocumentStatus::Checked, StatusImage::White},
        {DocumentStatus::Retrieving, StatusImage::Yellow},
        {DocumentStatus::Changed, StatusImage::Green},
        {DocumentStatus::Unavailable, StatusImage::Red},
        {DocumentStatus::Waiting, StatusImage::Yellow},
        {DocumentStatus::Ready, StatusImage::White}};
    for (auto [status, image] : images)
        EXPECT_EQ(ImageOfStatus(static_cast<int32_t>(status)), image);
}

std::vector<std::string> Apply(const std::vector<std::string>& texts,
                               const std::vector<size_t>& order) {
    std::vector<std::string> sorted;
    for (size_t i : order)
        sorted.push_back(texts[i]);
    return sorted;
}

TEST(ListRowsTest, SortIsByteWiseCaseSensitiveInBothDirections) {
    std::vector<std::string> texts = {"b",          "Checked",
                                      "** Changed", "a",
                                      "B",          "** Unable to retrieve",
                                      "a",          "2024/01/02 [10:00:00]",
                                      "?",          "2023/12/31 [23:59:59]"};
    auto ascending = Apply(texts, SortedRowOrder(texts, true));
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
    EXPECT_EQ(ascending.front(), "** Changed");
    auto descending = Apply(texts, SortedRowOrder(texts, false));
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
    // Time stamps sort in time order and "?" after every time.
    auto at = [&](const std::string& t) {
        return std::find(ascending.begin(), ascending.end(), t);
    };
    EXPECT_LT(at("2023/12/31 [23:59:59]"), at("2024/01/02 [10:00:00]"));
    EXPECT_LT(at("2024/01/02 [10:00:00]"), at("?"));
    // Every order is a permutation, also for long lists with many equal texts.
    std::vector<std::string> many;
    for (int i = 0; i < 500; ++i)
        many.push_back(std::to_string(i % 7));
    auto order = SortedRowOrder(many, true);
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i)
        ASSERT_EQ(order[i], i);

    SortDirection direction;
    EXPECT_TRUE(direction.TakeAscending());
    EXPECT_FALSE(direction.TakeAscending());  // shared by all columns
    EXPECT_TRUE(direction.TakeAscending());
}

}  // namespace
}  // namespace wardlet::test
