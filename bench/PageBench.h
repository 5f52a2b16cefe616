// SPDX-License-Identifier: GPL-3.0-or-later
// The two pages driven offscreen by purgo-bench, for timing them against
// the headless scans of the same tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace purgo::bench {

struct PageTotals {
  std::int64_t files = 0;
  std::int64_t bytes = 0;
  std::int64_t rows = 0;
  std::int64_t deleted = 0;
  double seconds = 0;        // the scan (and the pass), without the dialog's start delay
  double cleanSeconds = 0;
  // The longest the event loop went without running (stall), and the
  // most processor time the window's thread spent in one such gap (busy:
  // on a loaded machine a stall is longer than the work in it, the thread
  // waiting for a core): while scanning, while the rows found are first
  // shown (the scan's end, the list's layout and drawing), while they are
  // sorted by each column in turn (with `sort`), and during the cleaning
  // pass.
  struct Stall {
    double ms = 0;
    double busyMs = 0;
  };
  Stall scan, show, sort, clean;
  double sortSeconds = 0;    // the three sorts, each with its layout and drawing
  double stopMs = -1;        // from pressing Stop to the scan's end; -1 when not stopped
};

enum class PageKind { AppTraces, FileTypes };

// Scans DIR through the real page, shown: as the temporary-files
// category, or with the given endings (with `sort`, then sorts the list
// by name, folder and size; with `clean`, cleans every file found; with
// `stopAfter` > 0, presses Stop once that many rows were found). Needs no
// display.
PageTotals RunPage(const std::string& dir, PageKind kind, bool clean, bool sort, std::int64_t stopAfter,
                   const std::vector<std::string>& endings);

// Sorts ARows made-up rows (names, folders of a tree of ARows / 20
// folders, sizes, all random) in both pages' lists by each column: the
// seconds each sort took, by the model alone (app name, folder, size, ext
// name, folder, size), then the same shown in a view offscreen, its
// layout and drawing included; last, the longest the event loop stalled
// while the view was sorted and the most processor time the thread spent
// in one stall (milliseconds).
std::vector<double> RunSort(std::int64_t ARows);

}  // namespace purgo::bench
