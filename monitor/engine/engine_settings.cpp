#include "monitor/engine/engine_settings.h"

#include <charconv>
#include <cstdlib>
#include <limits>

#include "common/fd_io.h"
#include "common/trusted_ca.h"

namespace wardlet {

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

bool FixedEngineSettings::ConditionalRequests() {
    std::lock_guard guard(lock_);
    return conditionalRequests_;
}

void FixedEngineSettings::SetConditionalRequests(bool on) {
    std::lock_guard guard(lock_);
    conditionalRequests_ = on;
}

std::optional<int64_t> ParseByteSize(std::string_view text) {
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || value <= 0) return std::nullopt;
    std::string_view suffix(end, static_cast<size_t>(text.data() + text.size() - end));
    int shift = 0;
    if (suffix == "K" || suffix == "k")
        shift = 10;
    else if (suffix == "M" || suffix == "m")
        shift = 20;
    else if (suffix == "G" || suffix == "g")
        shift = 30;
    else if (!suffix.empty())
        return std::nullopt;
    if (value > (std::numeric_limits<int64_t>::max() >> shift)) return std::nullopt;
    return value << shift;
}

TransferLimits TransferLimits::FromEnvironment() {
    TransferLimits limits;
    auto files = TrustedCaFiles();
    if (files.size() == 1) limits.caBundle = files.front();
    if (files.size() > 1) {
        for (const auto& file : files) {
            auto text = ReadSystemFile(file);
            if (!text) {
                // Named alone, so verification fails as it would for that file, rather than
                // quietly trusting less than the user named.
                limits.caBundle = file;
                limits.caCertificates.clear();
                break;
            }
            limits.caCertificates += *text + "\n";
        }
    }
    if (const char* size = std::getenv("WARDLET_MAX_DOCUMENT_BYTES"))
        if (auto bytes = ParseByteSize(size)) limits.maxDocumentBytes = *bytes;
    if (const char* seconds = std::getenv("WARDLET_MAX_TRANSFER_SECONDS")) {
        long value = 0;
        std::string_view text(seconds);
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc() && end == text.data() + text.size() && value > 0)
            limits.maxTransferSeconds = value;
    }
    return limits;
}

}  // namespace wardlet
