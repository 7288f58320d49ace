#include "common/time_stamp.h"

#include <cstdio>

namespace wardlet {

std::string FormatTimeStamp(const std::tm& local) {
    char text[64];
    snprintf(text, sizeof text, "%02d/%02d/%02d [%02d:%02d:%02d]", local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string MakeTimeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatTimeStamp(local);
}

}  // namespace wardlet
