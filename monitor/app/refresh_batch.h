#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

namespace wardlet {

// How often the window repaints the rows the check threads refreshed.
inline constexpr std::chrono::milliseconds kRowRefreshPeriod{100};

// The rows the check threads asked to redraw, held until the user-interface thread paints them in
// one go: a blocking hop per refresh would make every check wait for that thread. The timer's
// flushes come at least kRowRefreshPeriod apart, so no row is painted more often by them; a call
// that must see the rows first (a selection, a message box, an opening) and the end of a pass
// flush at once. Marks come from any thread; flushes from the painting thread.
class RefreshBatch {
public:
    using Clock = std::chrono::steady_clock;

    // Holds the row of the record in `index`. When this is the first row since the last flush,
    // returns how long the caller's timer waits before it flushes; otherwise a flush is already
    // due and nullopt.
    std::optional<std::chrono::milliseconds> Mark(size_t index, Clock::time_point now);
    // The records whose rows were marked since the last flush, each once, in the order first
    // marked; the batch is then empty.
    std::vector<size_t> Take(Clock::time_point now);
    bool empty() const;
    // How long until a timer's flush may come (kRowRefreshPeriod after the last flush); zero when
    // it may come now.
    std::chrono::milliseconds UntilDue(Clock::time_point now) const;

private:
    std::chrono::milliseconds UntilDueLocked(Clock::time_point now) const;

    mutable std::mutex lock_;
    std::vector<size_t> order_;
    std::unordered_set<size_t> marked_;
    std::optional<Clock::time_point> lastFlush_;
};

}  // namespace wardlet
