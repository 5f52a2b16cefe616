// SPDX-License-Identifier: GPL-3.0-or-later
// What the application-trace cleaner never offers in the temporary folder,
// the cache and the package caches, by name. A Linux /tmp is shared by every user and by the
// running session, and much of what keeps a desktop running there is
// neither open nor locked; these are the entries trusted Linux tools
// leave alone. The README lists them with the same reasons.
//
// Patterns match a whole name; "*" stands for any run of characters, and
// nothing else is special. Names are compared byte for byte.
#pragma once

#include <span>
#include <string_view>

#include "engine/PurgoCore.h"

namespace purgo {

struct TKeepRule {
  std::string_view pattern;
  std::string_view why;
};

// At the top level of the temporary folder: the entry and everything below.
extern const std::span<const TKeepRule> kKeepInTempFolder;
// At the top level of the cache.
extern const std::span<const TKeepRule> kKeepInCache;
// Anywhere in those two categories: lock and pid files.
extern const std::span<const TKeepRule> kKeepAnywhere;
// Anywhere in the package managers' caches: downloads still under way.
extern const std::span<const TKeepRule> kKeepInPackageCaches;

// True when `name` matches `pattern` ("*" any run, else literal).
bool KeepPatternMatches(std::string_view pattern, std::string_view name);

// Whether the entry `name` at `depth` below the category's root (0: its
// top level) is kept out of the category. Only the temporary folder, the
// cache and the package caches have such rules.
bool IsKeptOut(TPGCScanTypes category, std::size_t depth, std::string_view name);

}  // namespace purgo
