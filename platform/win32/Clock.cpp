// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <windows.h>

namespace purgo::platform {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kUnixEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01

FILETIME Native(FileTime t) { return FILETIME{t.dwLowDateTime, t.dwHighDateTime}; }

void FromSystemTime(const SYSTEMTIME& st, CalendarTime& out) {
  out.year = st.wYear;
  out.month = st.wMonth;
  out.dayOfWeek = st.wDayOfWeek;
  out.day = st.wDay;
  out.hour = st.wHour;
  out.minute = st.wMinute;
  out.second = st.wSecond;
  out.milliseconds = st.wMilliseconds;
}

}  // namespace

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  if (seconds < -kUnixEpochSeconds) return FileTime{};
  const std::int64_t since1601 = seconds + kUnixEpochSeconds;
  if (since1601 > INT64_MAX / kTicksPerSecond - 1) return FileTime::FromValue(UINT64_MAX);
  std::int64_t ticks = since1601 * kTicksPerSecond + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  return FileTime::FromValue(static_cast<std::uint64_t>(ticks));
}

FileTime SystemTimeAsFileTime() {
  FILETIME ft{};
  ::GetSystemTimeAsFileTime(&ft);
  return FileTime{ft.dwLowDateTime, ft.dwHighDateTime};
}

bool FileTimeToCalendar(FileTime t, CalendarTime& out) {
  const FILETIME ft = Native(t);
  SYSTEMTIME st{};
  if (!::FileTimeToSystemTime(&ft, &st)) return false;
  FromSystemTime(st, out);
  return true;
}

bool FileTimeToLocalCalendar(FileTime t, CalendarTime& out) {
  const FILETIME ft = Native(t);
  SYSTEMTIME utc{}, local{};
  // The zone's rules of that instant, not today's: a summer date in winter
  // keeps its summer offset.
  if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return false;
  }
  FromSystemTime(local, out);
  return true;
}

}  // namespace purgo::platform
