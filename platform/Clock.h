// SPDX-License-Identifier: GPL-3.0-or-later
// System clock and FILETIME conversions.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace purgo::platform {

// GetSystemTimeAsFileTime: now, UTC.
FileTime SystemTimeAsFileTime();

// A calendar time (the fields of a Windows SYSTEMTIME).
struct CalendarTime {
  int year = 0;     // 1601 ... 30827
  int month = 0;    // 1 ... 12
  int dayOfWeek = 0;  // 0 = Sunday
  int day = 0;      // 1 ... 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// FileTimeToSystemTime: the UTC calendar time of a FILETIME. False when
// the value is beyond what a SYSTEMTIME holds (high bit set).
bool FileTimeToCalendar(FileTime t, CalendarTime& out);

// SystemTimeToTzSpecificLocalTime with the current zone: the same instant
// as local wall-clock time (the zone rules of that instant apply). False
// when the instant cannot be represented.
bool FileTimeToLocalCalendar(FileTime t, CalendarTime& out);

// 100-nanosecond ticks per second of a FILETIME, and the seconds from its
// epoch (1601-01-01) to Unix's (1970-01-01).
inline constexpr std::int64_t kFileTimeTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11'644'473'600;

// Converts between FILETIME and Unix time (seconds, nanoseconds).
FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);

}  // namespace purgo::platform
