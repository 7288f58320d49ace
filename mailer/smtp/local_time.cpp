#include "mailer/smtp/local_time.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace wardlet::smtp {
namespace {

// Fixed English names: the header must not follow the user's locale.
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool LocalNow(std::tm& local, long& millisecond) {
    auto now = std::chrono::system_clock::now();
    auto seconds = std::chrono::system_clock::to_time_t(now);
    millisecond = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    return localtime_r(&seconds, &local) != nullptr;
}

}  // namespace

SmtpTimestamp CurrentLocalTime() {
    std::tm local{};
    long millisecond = 0;
    SmtpTimestamp t;
    if (!LocalNow(local, millisecond)) return t;
    t.year = static_cast<uint16_t>(local.tm_year + 1900);
    t.month = static_cast<uint16_t>(local.tm_mon + 1);
    t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.day = static_cast<uint16_t>(local.tm_mday);
    t.hour = static_cast<uint16_t>(local.tm_hour);
    t.minute = static_cast<uint16_t>(local.tm_min);
    t.second = static_cast<uint16_t>(local.tm_sec);
    t.millisecond = static_cast<uint16_t>(millisecond);
    return t;
}

int32_t UtcOffsetFromSeconds(long secondsEast) {
    // b is the minutes to add to local time to get UTC; the result writes -b as hours and
    // minutes in one decimal number.
    long b = -secondsEast / 60;
    return static_cast<int32_t>(-b - 40 * (b / 60));
}

int32_t CurrentUtcOffset() {
    std::tm local{};
    long millisecond = 0;
    if (!LocalNow(local, millisecond)) return 0;
    return UtcOffsetFromSeconds(local.tm_gmtoff);
}

std::string FormatDateHeader(const SmtpTimestamp& time, int32_t utcOffset) {
    const char* day = kDays[time.dayOfWeek % 7];
    const char* month = kMonths[(time.month >= 1 && time.month <= 12) ? time.month - 1 : 0];
    char sign = utcOffset < 0 ? '-' : '+';
    char text[96];
    snprintf(text, sizeof text, "%s, %u %s %04u %02u:%02u:%02u %c%4.4d", day, unsigned(time.day),
             month, unsigned(time.year), unsigned(time.hour), unsigned(time.minute),
             unsigned(time.second), sign, std::abs(utcOffset));
    return text;
}

uint32_t TickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

}  // namespace wardlet::smtp
