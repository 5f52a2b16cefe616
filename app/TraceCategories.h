// SPDX-License-Identifier: GPL-3.0-or-later
// The trace categories this platform offers: what the traces page lists
// and what the command line takes as --category, from one table, so that
// both show the same names in the same order.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/PurgoCore.h"

namespace purgo {

struct TTraceCategory {
  std::string_view id;     // the command line's name for it
  TPGCScanTypes scanType;  // its bit of the scan-type set
  const std::string* name; // its string variable: the current language's text
};

// In the page's order: temporary files, caches, Trash, recent documents,
// package downloads, Flash Player data.
std::span<const TTraceCategory> OfferedTraceCategories();

// Categories of the page that have no counterpart on this platform. They are
// neither listed nor scanned here, but their bits stay in the settings as
// read, so that a settings file taken to another platform and back keeps
// its choice.
inline constexpr TPGCScanTypes kTraceCategoriesNotOffered = kScanPrefetch | kScanDownloadedPrograms;
// Their former command-line ids, which get a usage error saying so.
inline constexpr std::string_view kNotOfferedIds[] = {"prefetch", "downloaded-programs"};

// The set to store when the page's boxes tick `ATicked`: the offered
// categories as ticked, and what `AStored` held for the others.
TPGCScanTypes MergeTickedCategories(TPGCScanTypes AStored, TPGCScanTypes ATicked);

}  // namespace purgo
