// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <windows.h>

namespace purgo::platform {
namespace {

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
