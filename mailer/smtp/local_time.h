#pragma once

#include <cstdint>
#include <string>

namespace wardlet::smtp {

// A local date and time broken into its fields (the week day counts from 0 = Sunday).
struct SmtpTimestamp {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

SmtpTimestamp CurrentLocalTime();

// The local offset from UTC as one signed number hhmm: 100, -500, 530.
int32_t CurrentUtcOffset();
// The same from an offset in seconds east of UTC.
int32_t UtcOffsetFromSeconds(long secondsEast);

// The Date header value, for example "Thu, 5 Jan 2012 09:03:07 +0100"; UTC is "+0000".
std::string FormatDateHeader(const SmtpTimestamp& time, int32_t utcOffset);

// Milliseconds of a steady clock, cut to 32 bits; only ever used to make boundaries differ.
uint32_t TickCount();

}  // namespace wardlet::smtp
