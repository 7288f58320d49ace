#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "monitor/app/shell_interfaces.h"

namespace wardlet {

// One copy on a thread of its own: the window polls its progress and may cancel it, and always
// waits for it before going on, so the work may hold references to the caller's objects.
class CopyJob {
public:
    // Starts `work` at once; `ended` runs on the job's thread when the work has returned.
    explicit CopyJob(CopyWork work, std::function<void()> ended = {});
    // Cancels a copy still running and waits for it.
    ~CopyJob();
    CopyJob(const CopyJob&) = delete;
    CopyJob& operator=(const CopyJob&) = delete;

    // From any thread: the copy stops at its next block and reports Cancelled.
    void Cancel() { cancelled_.store(true); }
    bool cancelled() const { return cancelled_.load(); }
    bool Finished() const;
    // Bytes copied and the size of the source, as last reported.
    uint64_t done() const { return done_.load(); }
    uint64_t total() const { return total_.load(); }
    // Waits for the work to end; its outcome.
    CopyOutcome Wait();

private:
    std::atomic<bool> cancelled_{false};
    std::atomic<uint64_t> done_{0};
    std::atomic<uint64_t> total_{0};
    mutable std::mutex lock_;
    std::condition_variable endedSignal_;
    bool finished_ = false;
    CopyOutcome outcome_ = CopyOutcome::Failed;
    std::thread thread_;
};

}  // namespace wardlet
