// SPDX-License-Identifier: GPL-3.0-or-later
// Windows keeps no freedesktop bookmark list: its recent documents are the
// shortcuts of the Recent folder (CSIDL_RECENT), which the cleaners list as
// files. There is no list to read, and so nothing to remove from one.
#include "platform/RecentList.h"

namespace purgo::platform {

std::string RecentListPath() { return {}; }

RecentList ReadRecentList(const std::string& path) {
  RecentList list;
  list.path = path;
  list.status = RecentListStatus::Missing;
  return list;
}

RecentRemoval RemoveRecentEntries(const std::string& /*path*/, std::span<const RecentEntry> entries) {
  RecentRemoval removal;
  removal.status = RecentListStatus::Missing;
  removal.outcomes.assign(entries.size(), RecentOutcome::Gone);
  return removal;
}

}  // namespace purgo::platform
