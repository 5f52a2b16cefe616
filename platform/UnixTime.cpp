// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion from Unix time, the same on every platform.
#include <climits>

#include "platform/Clock.h"

namespace purgo::platform {

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  if (seconds < -kUnixEpochInFileTimeSeconds) return FileTime{};
  const std::int64_t since1601 = seconds + kUnixEpochInFileTimeSeconds;
  if (since1601 > INT64_MAX / kFileTimeTicksPerSecond - 1) return FileTime::FromValue(UINT64_MAX);
  std::int64_t ticks = since1601 * kFileTimeTicksPerSecond + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  return FileTime::FromValue(static_cast<std::uint64_t>(ticks));
}

}  // namespace purgo::platform
