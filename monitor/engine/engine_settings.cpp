#include "monitor/engine/engine_settings.h"

#include <cstdlib>

namespace wardlet {

int32_t CorrectThreadCount(int32_t& threadCount) {
    auto count = static_cast<uint32_t>(threadCount);
    if (count == 0 || count > 5) threadCount = 1;
    return threadCount;
}

int32_t FixedEngineSettings::CorrectedThreadCount() {
    std::lock_guard guard(lock_);
    return CorrectThreadCount(threadCount_);
}

NotifySettings FixedEngineSettings::Notification() {
    std::lock_guard guard(lock_);
    return notify_;
}

int32_t FixedEngineSettings::threadCount() const {
    std::lock_guard guard(lock_);
    return threadCount_;
}

void FixedEngineSettings::SetThreadCount(int32_t threadCount) {
    std::lock_guard guard(lock_);
    threadCount_ = threadCount;
}

void FixedEngineSettings::SetNotification(const NotifySettings& notify) {
    std::lock_guard guard(lock_);
    notify_ = notify;
}

TransferLimits TransferLimits::FromEnvironment() {
    TransferLimits limits;
    if (const char* bundle = std::getenv("CURL_CA_BUNDLE")) limits.caBundle = bundle;
    return limits;
}

}  // namespace wardlet
