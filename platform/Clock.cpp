// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <time.h>

namespace purgo::platform {
namespace {

// Proleptic Gregorian date of a day count from 1970-01-01.
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

// A FILETIME with its high bit set is beyond a SYSTEMTIME, as on Windows.
bool Representable(FileTime t) { return (t.dwHighDateTime & 0x80000000u) == 0; }

}  // namespace

FileTime SystemTimeAsFileTime() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return FileTimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

bool FileTimeToCalendar(FileTime t, CalendarTime& out) {
  if (!Representable(t)) return false;
  const std::uint64_t v = t.Value();
  const auto secondsSince1601 = static_cast<std::int64_t>(v / kFileTimeTicksPerSecond);
  const std::int64_t unixSeconds = secondsSince1601 - kUnixEpochInFileTimeSeconds;
  std::int64_t days = unixSeconds / 86400;
  std::int64_t rem = unixSeconds % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  CivilFromDays(days, out.year, out.month, out.day);
  out.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  out.hour = static_cast<int>(rem / 3600);
  out.minute = static_cast<int>(rem / 60 % 60);
  out.second = static_cast<int>(rem % 60);
  out.milliseconds = static_cast<int>(v % kFileTimeTicksPerSecond / 10000);
  return true;
}

bool FileTimeToLocalCalendar(FileTime t, CalendarTime& out) {
  if (!Representable(t)) return false;
  const std::uint64_t v = t.Value();
  const time_t unixSeconds =
      static_cast<time_t>(static_cast<std::int64_t>(v / kFileTimeTicksPerSecond) - kUnixEpochInFileTimeSeconds);
  struct tm local {};
  if (::localtime_r(&unixSeconds, &local) == nullptr) return false;
  out.year = local.tm_year + 1900;
  out.month = local.tm_mon + 1;
  out.dayOfWeek = local.tm_wday;
  out.day = local.tm_mday;
  out.hour = local.tm_hour;
  out.minute = local.tm_min;
  out.second = local.tm_sec;
  out.milliseconds = static_cast<int>(v % kFileTimeTicksPerSecond / 10000);
  return true;
}

}  // namespace purgo::platform
