#include "monitor/app/refresh_batch.h"

#include <algorithm>

namespace wardlet {

std::optional<std::chrono::milliseconds> RefreshBatch::Mark(size_t index, Clock::time_point now) {
    std::lock_guard guard(lock_);
    bool first = order_.empty();
    if (marked_.insert(index).second) order_.push_back(index);
    if (!first) return std::nullopt;
    return UntilDueLocked(now);
}

std::chrono::milliseconds RefreshBatch::UntilDue(Clock::time_point now) const {
    std::lock_guard guard(lock_);
    return UntilDueLocked(now);
}

std::chrono::milliseconds RefreshBatch::UntilDueLocked(Clock::time_point now) const {
    if (!lastFlush_) return std::chrono::milliseconds{0};
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(*lastFlush_ + kRowRefreshPeriod - now);
    return std::clamp(wait, std::chrono::milliseconds{0}, kRowRefreshPeriod);
}

std::vector<size_t> RefreshBatch::Take(Clock::time_point now) {
    std::lock_guard guard(lock_);
    std::vector<size_t> taken;
    taken.swap(order_);
    marked_.clear();
    if (!taken.empty()) lastFlush_ = now;
    return taken;
}

bool RefreshBatch::empty() const {
    std::lock_guard guard(lock_);
    return order_.empty();
}

}  // namespace wardlet
