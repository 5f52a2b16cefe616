// SPDX-License-Identifier: GPL-3.0-or-later
// Small shared pieces of the maker's reusable classes: the sort direction,
// the critical section and the shell's special folders.
#pragma once

#include <mutex>
#include <string>

#include "platform/Folders.h"

namespace purgo {

enum TQelSortDirection : unsigned char { vsdINC = 0, vsdDEC = 1 };

using TQelCriticalSection = std::mutex;
inline void EnterCriticalSection(TQelCriticalSection& cs) { cs.lock(); }
inline void LeaveCriticalSection(TQelCriticalSection& cs) { cs.unlock(); }

using platform::CSIDL_APPDATA;
using platform::CSIDL_BITBUCKET;
using platform::CSIDL_DESKTOP;
using platform::CSIDL_INTERNET_CACHE;
using platform::CSIDL_LOCAL_APPDATA;
using platform::CSIDL_PERSONAL;
using platform::CSIDL_PROFILE;
using platform::CSIDL_RECENT;
using platform::CSIDL_WINDOWS;

// The folder of a shell folder id, ending in the delimiter; empty when this
// platform has no such folder or (unless ACreate) it does not exist.
std::string GetSpecialFolderPath(int CSIDL, bool ACreate);

}  // namespace purgo
