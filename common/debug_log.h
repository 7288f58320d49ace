#pragma once

#include <string_view>

namespace wardlet {

// A diagnostic line on standard error, silent unless WARDLET_DEBUG is set in the environment.
void DebugLog(std::string_view line);
// Whether those lines are written: a caller skips the work of composing them when they are not.
bool DebugLogOn();

}  // namespace wardlet
