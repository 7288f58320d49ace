#pragma once

#include <string_view>

namespace wardlet {

// Writes all of `bytes` to the descriptor, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace wardlet
