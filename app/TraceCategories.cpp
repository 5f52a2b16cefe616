// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TraceCategories.h"

#include <array>

#include "i18n/AppMultiLangs.h"

namespace purgo {
namespace {

// Office setup files and media player temporary files find nothing
// anywhere; prefetch and downloaded program files nothing here.
const std::array<TTraceCategory, 6> kOffered = {{
    {"temp", kScanTempFiles, &STR_PGC_ScanTypes0},
    {"cache", kScanInternetCache, &STR_PGC_ScanTypes1},
    {"trash", kScanRecycleBin, &STR_PGC_ScanTypes2},
    {"recent", kScanRecentDocuments, &STR_PGC_ScanTypes3},
    {"updates", kScanUpdateDownloads, &STR_PGC_ScanTypes6},
    {"flash-cookies", kScanFlashCookies, &STR_PGC_ScanTypes9},
}};

}  // namespace

std::span<const TTraceCategory> OfferedTraceCategories() { return kOffered; }

TPGCScanTypes MergeTickedCategories(TPGCScanTypes AStored, TPGCScanTypes ATicked) {
  TPGCScanTypes offered = 0;
  for (const TTraceCategory& c : kOffered) offered |= c.scanType;
  return (AStored & kTraceCategoriesNotOffered) | (ATicked & offered);
}

}  // namespace purgo
