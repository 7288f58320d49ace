#include "monitor/app/refresh_batch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace wardlet {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::Optional;

const RefreshBatch::Clock::time_point kStart{};

TEST(RefreshBatchTest, TheTimerPaintsEachRowOnceAPeriodInTheOrderFirstMarked) {
    RefreshBatch batch;
    // Nothing painted yet: the first row may go at once; later marks ride on that flush.
    EXPECT_THAT(batch.Mark(7, kStart), Optional(milliseconds{0}));
    EXPECT_EQ(batch.Mark(3, kStart + milliseconds{1}), std::nullopt);
    EXPECT_EQ(batch.Mark(7, kStart + milliseconds{2}), std::nullopt);
    EXPECT_THAT(batch.Take(kStart + milliseconds{5}), ElementsAre(7u, 3u));
    EXPECT_TRUE(batch.empty());

    // Marked 30 ms after that flush: the timer waits the remaining 70 ms.
    EXPECT_THAT(batch.Mark(3, kStart + milliseconds{35}), Optional(milliseconds{70}));
    EXPECT_EQ(batch.Mark(3, kStart + milliseconds{60}), std::nullopt);
    EXPECT_EQ(batch.UntilDue(kStart + milliseconds{60}), milliseconds{45});
    EXPECT_EQ(batch.UntilDue(kStart + milliseconds{105}), milliseconds{0});
    EXPECT_THAT(batch.Take(kStart + milliseconds{105}), ElementsAre(3u));

    // A flush with nothing held does not push the next one back.
    EXPECT_TRUE(batch.Take(kStart + milliseconds{180}).empty());
    EXPECT_THAT(batch.Mark(1, kStart + milliseconds{190}), Optional(milliseconds{15}));
    // Long after the last flush a row goes at once.
    EXPECT_THAT(batch.Take(kStart + milliseconds{205}), ElementsAre(1u));
    EXPECT_THAT(batch.Mark(2, kStart + milliseconds{900}), Optional(milliseconds{0}));
}

TEST(RefreshBatchTest, AnEarlyFlushTakesEveryHeldRowAndTheTimerCountsFromIt) {
    // Before a selection, a message box, an opening or the exit, every held row is painted
    // whatever the timer says; the next timer flush then waits a whole period after it.
    RefreshBatch batch;
    ASSERT_TRUE(batch.Mark(4, kStart).has_value());
    (void)batch.Take(kStart);
    EXPECT_THAT(batch.Mark(5, kStart + milliseconds{10}), Optional(milliseconds{90}));
    (void)batch.Mark(6, kStart + milliseconds{20});
    EXPECT_THAT(batch.Take(kStart + milliseconds{40}), ElementsAre(5u, 6u));
    EXPECT_THAT(batch.Mark(5, kStart + milliseconds{50}), Optional(milliseconds{90}));
    EXPECT_EQ(batch.UntilDue(kStart + milliseconds{100}), milliseconds{40});
}

TEST(RefreshBatchTest, RowsMarkedByManyThreadsAreAllTakenNoneTwiceInAFlush) {
    RefreshBatch batch;
    constexpr size_t kThreads = 4, kRows = 2000;
    std::atomic<bool> done{false};
    std::set<size_t> painted;
    bool twiceInOneFlush = false;
    std::thread painter([&] {
        auto drain = [&] {
            std::set<size_t> flush;
            for (size_t index : batch.Take(RefreshBatch::Clock::now())) {
                if (!flush.insert(index).second) twiceInOneFlush = true;
                painted.insert(index);
            }
        };
        while (!done)
            drain();
        drain();  // the exit's flush
    });
    std::vector<std::thread> checks;
    for (size_t t = 0; t < kThreads; ++t)
        checks.emplace_back([&, t] {
            for (size_t i = 0; i < kRows; ++i) {
                (void)batch.Mark(t * kRows + i, RefreshBatch::Clock::now());
                (void)batch.Mark(t * kRows + i, RefreshBatch::Clock::now());
            }
        });
    for (auto& check : checks)
        check.join();
    done = true;
    painter.join();
    EXPECT_FALSE(twiceInOneFlush);
    EXPECT_EQ(painted.size(), kThreads * kRows);
    EXPECT_TRUE(batch.empty());
}

}  // namespace
}  // namespace wardlet
