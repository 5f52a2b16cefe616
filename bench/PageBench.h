// The application-traces page driven offscreen by purgo-bench, for timing
// it against the headless scan of the same tree.
#pragma once

#include <cstdint>
#include <string>

namespace purgo::bench {

struct PageTotals {
  std::int64_t files = 0;
  std::int64_t bytes = 0;
  std::int64_t rows = 0;
  std::int64_t deleted = 0;
  double seconds = 0;        // the scan (and the pass), without the dialog's start delay
  double cleanSeconds = 0;
  double maxStallMs = 0;     // the longest the event loop went without running
};

// Scans DIR as the temporary-files category through the real page (and,
// with `clean`, cleans every file found). Needs no display.
PageTotals RunAppPage(const std::string& dir, bool clean);

}  // namespace purgo::bench
