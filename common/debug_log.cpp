#include "common/debug_log.h"

#include <cstdio>
#include <cstdlib>

namespace wardlet {

void DebugLog(std::string_view line) {
    static const bool enabled = std::getenv("WARDLET_DEBUG") != nullptr;
    if (!enabled) return;
    fprintf(stderr, "wardlet: %.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace wardlet
