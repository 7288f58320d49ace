#pragma once

#include <cctype>
#include <string_view>

namespace wardlet::test {

// True when `text` has the shape "YYYY/MM/DD [hh:mm:ss]".
inline bool IsTimeStamp(std::string_view text) {
    constexpr std::string_view shape = "dddd/dd/dd [dd:dd:dd]";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

}  // namespace wardlet::test
