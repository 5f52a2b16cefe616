// SPDX-License-Identifier: GPL-3.0-or-later
// The recently-used list comes from whatever programs wrote it: parse any
// bytes, and where they parse, cut every entry out. What is left must be
// what was there less exactly those bytes, and must parse again without
// entries; a crash, an overlap or a cut past the end is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RecentList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace purgo::platform;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<RecentEntry> entries;
  std::vector<RecentEntrySpan> spans;
  if (!ParseRecentList(bytes, entries, spans)) return 0;
  if (entries.size() != spans.size()) std::abort();
  std::size_t last = 0, cut = 0;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const RecentEntrySpan& s = spans[i];
    if (s.cutBegin < last || s.cutBegin > s.begin || s.begin >= s.end || s.end > s.cutEnd ||
        s.cutEnd > size || entries[i].size != s.cutEnd - s.cutBegin) {
      std::abort();
    }
    if (bytes.substr(s.begin, 9) != "<bookmark") std::abort();
    last = s.cutEnd;
    cut += s.cutEnd - s.cutBegin;
  }
  const std::string rest = CutRecentEntries(bytes, spans);
  if (rest.size() != size - cut) std::abort();
  std::vector<RecentEntry> left;
  std::vector<RecentEntrySpan> leftSpans;
  if (!ParseRecentList(rest, left, leftSpans) || !left.empty()) std::abort();
  return 0;
}
