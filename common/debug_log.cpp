#include "common/debug_log.h"

#include <cstdio>
#include <cstdlib>

namespace wardlet {

bool DebugLogOn() {
    static const bool enabled = std::getenv("WARDLET_DEBUG") != nullptr;
    return enabled;
}

void DebugLog(std::string_view line) {
    if (!DebugLogOn()) return;
    fprintf(stderr, "wardlet: %.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace wardlet
