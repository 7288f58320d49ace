#include "monitor/app/options_form.h"

namespace wardlet {

std::string IntervalText(int32_t minutes) {
    return std::to_string(static_cast<uint32_t>(minutes));
}

uint32_t ReadUnsigned(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

uint32_t StepInterval(uint32_t minutes, bool up) {
    if (up) return minutes < 600 ? minutes + 5 : minutes;
    return minutes > 5 ? minutes - 5 : minutes;
}

std::optional<int> ThreadItemOf(int32_t threadCount) {
    if (threadCount < kMinThreadCount || threadCount > kThreadItems) return std::nullopt;
    return threadCount - kMinThreadCount;
}

int32_t ThreadCountOf(std::optional<std::string_view> selectedText) {
    if (!selectedText || selectedText->empty()) return 1;
    uint32_t value = ReadUnsigned(*selectedText);
    return value == 0 ? 1 : static_cast<int32_t>(value);
}

}  // namespace wardlet
