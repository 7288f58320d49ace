#include "monitor/model/document_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/little_endian.h"

namespace wardlet {
namespace {

DocumentRecord Named(const std::string& name, DocumentStatus status = DocumentStatus::Checked) {
    DocumentRecord r{};
    SetFieldText(r.name, name);
    SetFieldText(r.location, "http://example.com/" + name);
    r.status = static_cast<int32_t>(status);
    return r;
}

std::string NameAt(const DocumentTable& table, size_t i) {
    return std::string(FieldText(table.Get(i).name));
}

TEST(DocumentTable, FreeSlotsAreReusedLowestFirst) {
    DocumentTable table;
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.FindFreeSlot(), 0u);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_TRUE(table.IsFree(0));
    EXPECT_EQ(table.FindFreeSlot(), 0u) << "a free slot is handed out again, not a new one";

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(table.Add(Named("d" + std::to_string(i))), size_t(i));
    table.Clear(3);
    table.Clear(1);
    EXPECT_TRUE(table.IsFree(1));
    EXPECT_EQ(table.Get(1).location[0], '\0');
    EXPECT_EQ(table.FindFreeSlot(), 1u);
    EXPECT_EQ(table.Add(Named("x")), 1u);
    EXPECT_EQ(table.Add(Named("y")), 3u);
    EXPECT_EQ(table.Add(Named("z")), 5u);
    table.Replace(0, DocumentRecord{});  // an emptied record frees its slot too
    EXPECT_EQ(table.FindFreeSlot(), 0u);
    table.Replace(0, Named("w"));
    EXPECT_EQ(table.FindFreeSlot(), 6u);
    EXPECT_EQ(table.size(), 7u);
    EXPECT_EQ(NameAt(table, 0), "w");
    EXPECT_EQ(NameAt(table, 4), "d4");
}

TEST(DocumentTable, GrowthKeepsEveryRecordAtItsIndex) {
    DocumentTable table;
    constexpr size_t kCount = 3 * DocumentTable::kChunkSlots + 17;
    std::atomic<bool> grown{false};
    // A reader of slot 5 while the table grows past several chunks.
    std::thread reader;
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(table.Add(Named("doc" + std::to_string(i))), i);
        if (i == 5) {
            reader = std::thread([&] {
                while (!grown.load()) {
                    if (NameAt(table, 5) == "doc5") continue;
                    ADD_FAILURE() << "slot 5 changed while the table grew";
                    break;
                }
            });
        }
    }
    grown = true;
    reader.join();
    ASSERT_EQ(table.size(), kCount);
    for (size_t i = 0; i < kCount; ++i)
        ASSERT_EQ(NameAt(table, i), "doc" + std::to_string(i));
    table.Modify(300, [](DocumentRecord& r) { r.lastCount = 9; });
    EXPECT_EQ(table.Get(300).lastCount, 9);
    EXPECT_EQ(table.Get(299).lastCount, 0);
}

TEST(DocumentTable, OnlyAWaitingRecordIsClaimedAndOnlyOnce) {
    DocumentTable table;
    table.Add(Named("checked", DocumentStatus::Checked));
    table.Add(Named("waiting", DocumentStatus::Waiting));
    DocumentRecord copy{};
    uint64_t generation = 0;
    EXPECT_FALSE(table.TryClaim(0, copy, generation));
    EXPECT_EQ(table.Get(0).status, int32_t(DocumentStatus::Checked));
    ASSERT_TRUE(table.TryClaim(1, copy, generation));
    EXPECT_EQ(FieldText(copy.name), "waiting");
    EXPECT_EQ(copy.status, int32_t(DocumentStatus::Retrieving));
    EXPECT_EQ(table.Get(1).status, int32_t(DocumentStatus::Retrieving));
    EXPECT_FALSE(table.TryClaim(1, copy, generation));

    constexpr size_t kRecords = 300;
    DocumentTable many;
    for (size_t i = 0; i < kRecords; ++i)
        many.Add(Named("r" + std::to_string(i), DocumentStatus::Waiting));
    std::vector<std::atomic<int>> claims(kRecords);
    std::vector<std::thread> threads;
    for (int t = 0; t < 5; ++t) {
        threads.emplace_back([&] {
            DocumentRecord mine{};
            uint64_t gen = 0;
            for (size_t i = 0; i < kRecords; ++i)
                if (many.TryClaim(i, mine, gen)) ++claims[i];
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (size_t i = 0; i < kRecords; ++i)
        ASSERT_EQ(claims[i].load(), 1) << "slot " << i;
}

TEST(DocumentTable, ResultsAreDroppedAfterEditOrDelete) {
    DocumentTable table;
    table.Add(Named("a", DocumentStatus::Waiting));
    table.Add(Named("b", DocumentStatus::Waiting));
    table.Add(Named("c", DocumentStatus::Waiting));
    DocumentRecord copy{};
    uint64_t genA = 0, genB = 0, genC = 0;
    ASSERT_TRUE(table.TryClaim(0, copy, genA));
    ASSERT_TRUE(table.TryClaim(1, copy, genB));
    ASSERT_TRUE(table.TryClaim(2, copy, genC));
    auto changed = [](DocumentRecord& r) {
        r.status = static_cast<int32_t>(DocumentStatus::Changed);
        SetFieldText(r.lastCheck, "2026/03/07 [09:05:00]");
    };

    EXPECT_TRUE(table.Publish(0, genA, changed));
    EXPECT_EQ(table.Get(0).status, int32_t(DocumentStatus::Changed));
    EXPECT_EQ(FieldText(table.Get(0).lastCheck), "2026/03/07 [09:05:00]");

    table.Replace(1, Named("b2", DocumentStatus::Waiting));
    EXPECT_NE(table.Generation(1), genB);
    EXPECT_FALSE(table.Publish(1, genB, changed));
    EXPECT_EQ(table.Get(1).status, int32_t(DocumentStatus::Waiting));
    EXPECT_EQ(table.Get(1).lastCheck[0], '\0');

    table.Clear(2);
    EXPECT_FALSE(table.Publish(2, genC, changed));
    EXPECT_TRUE(table.IsFree(2));
    EXPECT_EQ(table.Get(2).status, 0);
}

TEST(DocumentTable, NameLookupFollowsEveryChangeOfName) {
    DocumentTable table;
    table.Add(Named("a"));
    table.Add(Named("b"));
    table.Add(Named("a"));  // two loaded files may carry one name
    EXPECT_EQ(table.FindByName("a"), 0u);
    EXPECT_EQ(table.CountNamed("a"), 2u);
    EXPECT_EQ(table.FindByName("A"), DocumentTable::kNoSlot) << "names match exactly";
    EXPECT_EQ(table.FindByName(""), DocumentTable::kNoSlot);
    EXPECT_EQ(table.Name(1), "b");

    table.Clear(0);
    EXPECT_EQ(table.FindByName("a"), 2u);
    table.Replace(2, Named("c"));
    EXPECT_EQ(table.FindByName("a"), DocumentTable::kNoSlot);
    EXPECT_EQ(table.FindByName("c"), 2u);
    table.Modify(1, [](DocumentRecord& r) { SetFieldText(r.name, "d"); });
    EXPECT_EQ(table.FindByName("b"), DocumentTable::kNoSlot);
    EXPECT_EQ(table.FindByName("d"), 1u);
    EXPECT_EQ(table.Add(Named("e")), 0u);
    EXPECT_EQ(table.FindByName("e"), 0u);
}

}  // namespace
}  // namespace wardlet
