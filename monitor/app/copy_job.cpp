#include "monitor/app/copy_job.h"

namespace wardlet {

CopyJob::CopyJob(CopyWork work, std::function<void()> ended) {
    thread_ = std::thread([this, work = std::move(work), ended = std::move(ended)] {
        CopyOutcome outcome = work([this](uint64_t done, uint64_t total) {
            done_.store(done);
            total_.store(total);
            return !cancelled_.load();
        });
        {
            std::lock_guard guard(lock_);
            finished_ = true;
            outcome_ = outcome;
        }
        endedSignal_.notify_all();
        if (ended) ended();
    });
}

CopyJob::~CopyJob() {
    if (!Finished()) Cancel();
    if (thread_.joinable()) thread_.join();
}

bool CopyJob::Finished() const {
    std::lock_guard guard(lock_);
    return finished_;
}

CopyOutcome CopyJob::Wait() {
    std::unique_lock guard(lock_);
    endedSignal_.wait(guard, [&] { return finished_; });
    return outcome_;
}

}  // namespace wardlet
