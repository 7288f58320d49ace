#pragma once

#include <string_view>

namespace wardlet {

// A diagnostic line on standard error, silent unless WARDLET_DEBUG is set in the environment.
void DebugLog(std::string_view line);

}  // namespace wardlet
