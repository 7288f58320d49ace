#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/model/options.h"

namespace wardlet {

// The options dialog's rules apart from its widgets.

// The interval as the dialog shows it: the stored value taken unsigned.
std::string IntervalText(int32_t minutes);
// A text read as an unsigned decimal number the way the dialog reads it: leading digits only,
// 0 when there are none.
uint32_t ReadUnsigned(std::string_view text);
// One step of the up-down control: up adds 5 below 600, down takes 5 away above 5, else the
// value stays.
uint32_t StepInterval(uint32_t minutes, bool up);

// The thread list holds "1" to "5"; the item of a stored count, none for any other value.
inline constexpr int kThreadItems = kMaxThreadCount;
std::optional<int> ThreadItemOf(int32_t threadCount);
// The count Apply stores for the selected item's text: 1 when nothing is selected.
int32_t ThreadCountOf(std::optional<std::string_view> selectedText);

}  // namespace wardlet
