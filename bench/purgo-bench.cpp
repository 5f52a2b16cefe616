// SPDX-License-Identifier: GPL-3.0-or-later
// purgo-bench: runs the cleaners over folders given on the command line.
// Built twice: purgo-bench with the core alone, and purgo-page-bench with
// the windows too, which alone has the page modes.
//
//   purgo-bench ext-scan  [--list] DIR...   file-type scan, default endings
//   purgo-bench app-scan  [--list] DIR      temporary-files category over DIR
//   purgo-bench ext-clean [--list] DIR...   file-type scan, then delete all
//   purgo-bench app-clean [--list] DIR     app-scan, then deletes what it found as the page does
//   purgo-bench app-page DIR                app-scan through the real page, offscreen, then
//                                           the list sorted by each column
//   purgo-bench app-page-clean DIR          the same, then a cleaning pass over all
//   purgo-bench app-page-stop DIR           the page's scan, Stop pressed at 100,000 rows
//   purgo-bench ext-page[-clean|-stop] DIR  the same through the file-type page, as ext-scan
//   purgo-bench page-sort ROWS              both pages' lists of ROWS made-up rows sorted by
//                                           each column, alone and in a view: {"rows":N,
//                                           "app":[name,folder,size],"ext":[...],"app_view":[...],...,
//                                           "view_stall_ms":M,"view_busy_ms":B}
//
// --endings=.a,.b,... gives the file-type modes those endings instead of
// the options file's 42 defaults.
//
// --list prints every path found, one per line, as the raw bytes of its
// name. The last line is always one JSON object:
//   {"files":N,"bytes":B,"dirs":D,"deleted":K,"seconds":S,"clean_seconds":C,"peak_rss_kb":M}
// where C is the part of S spent deleting (0 without deletion); the page
// modes add "rows", the longest stalls of the event loop while scanning
// ("max_stall_ms"), while the rows are first shown ("show_stall_ms"),
// sorted ("sort_stall_ms", with "sort_seconds" for the three sorts) and
// cleaned ("clean_stall_ms"), each with the most processor time the
// window's thread spent in one stall ("scan_busy_ms", "show_busy_ms" ...),
// and time the scan and the pass without the progress dialog's designed
// 300 ms start delay.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/AppUtils.h"
#include "engine/PurgoCore.h"
#include "platform/DeletionQueue.h"

#ifdef PURGO_BENCH_UI
#include "bench/PageBench.h"
#endif

namespace {

using purgo::TPGCAppCleaner;
using purgo::TPGCExtCleaner;
using purgo::TPGCScanTypes;

// The options file's 42 default endings, in their order.
const char* const kDefaultEndings[] = {
    ".@@@",  ".---",    ".$db",   ".$$$",  ".?$?",  ".??$",  ".??~",        ".?~?",
    ".^",    ".___",    ".temp",  ".tmp",  "._dd",  "._detmp", "._mp",      ".~*",
    ".aps",  ".bak",    ".chk",   ".db$",  ".diz",  ".dmp",  ".err",        ".ftg",
    ".fts",  ".fnd",    ".gid",   ".ilk",  ".log",  ".log?", ".ncb",        ".nch",
    ".old",  ".pch",    ".prv",   ".sik",  ".syd",  ".wbk",  "log.txt",     "imagedb.aid",
    "mscreate.dir",     "thumbs.db",
};
static_assert(sizeof kDefaultEndings / sizeof kDefaultEndings[0] == 42);

// --endings=.a,.b replaces them (for a tree where nearly every file matches).
std::vector<std::string> Endings(const std::string& given) {
  std::vector<std::string> out;
  if (given.empty()) {
    for (const char* e : kDefaultEndings) out.emplace_back(e);
    return out;
  }
  std::size_t start = 0;
  while (start <= given.size()) {
    const std::size_t comma = std::min(given.find(',', start), given.size());
    if (comma > start) out.push_back(given.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}
std::vector<std::string> gEndings;

struct Totals {
  std::int64_t files = 0;
  std::int64_t bytes = 0;
  std::int64_t dirs = 0;
  std::int64_t deleted = 0;
  double cleanSeconds = 0;
};

void PrintLine(const std::string& path) {
  std::fwrite(path.data(), 1, path.size(), stdout);
  std::fputc('\n', stdout);
}

// Marks in a system-call trace where a deletion pass begins and ends
// (bench/delete-syscalls counts the calls between the two): a look for a
// name nobody has, which costs one call and changes nothing.
void TraceMark(const char* what) { ::faccessat(AT_FDCWD, what, F_OK, 0); }

long PeakRssKb() {
  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

void ConfigureExtScan(TPGCExtCleaner& cleaner, const std::vector<std::string>& dirs) {
  purgo::TPGCExtScanOption& options = *cleaner.ScanOptions();
  options.SetFileAttribute(31);
  options.SetIgnoreInDays(0);
  options.ClearDirs();
  for (const std::string& d : dirs) options.AddDir(d, true);
  options.ClearExts();
  for (const std::string& e : gEndings) options.AddExt(e);
}

Totals ExtScan(const std::vector<std::string>& dirs, bool list, bool clean) {
  TPGCExtCleaner cleaner;
  ConfigureExtScan(cleaner, dirs);
  cleaner.DoScan(purgo::kScanOtherFiles);
  Totals t;
  t.files = cleaner.ScanTotalFilesCount();
  t.bytes = cleaner.ScanTotalFilesSize();
  t.dirs = cleaner.ScanPathItemsCount();
  if (list) {
    for (int i = 0; i < cleaner.ScanFileItemsCount(); ++i) {
      PrintLine(cleaner.ScanFileItems(i)->FullFileName());
    }
  }
  if (clean) {
    const auto start = std::chrono::steady_clock::now();
    TraceMark("/purgo-bench: deletion pass begins");
    {
      purgo::platform::DeletionQueue queue([&t](purgo::platform::DeletionQueue::Outcome& o) {
        if (o.result == purgo::platform::DeleteResult::Deleted) ++t.deleted;
      });
      for (int i = 0; i < cleaner.ScanFileItemsCount(); ++i) {
        queue.Add(cleaner.ScanFileItems(i)->Target(), static_cast<std::uint64_t>(i));
      }
      queue.Finish();
    }
    TraceMark("/purgo-bench: deletion pass ends");
    t.cleanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return t;
}

// The temporary-files category with its folder pointed elsewhere.
class TempDirCleaner : public TPGCAppCleaner {
 public:
  explicit TempDirCleaner(std::string dir) : dir_(purgo::AddPathDelimiter(dir)) {}

 protected:
  std::string CategoryFolder(TPGCScanTypes type) const override {
    return type == purgo::kScanTempFiles ? dir_ : std::string();
  }

 private:
  std::string dir_;
};

Totals AppScan(const std::string& dir, bool list, bool clean = false) {
  TempDirCleaner cleaner(dir);
  // What the page keeps per file: its folder in the scan's tree, its name,
  // its reported size and, to delete it, its identities.
  struct Found {
    purgo::TScanFolders::Folder folder;
    std::string name;
    std::uint32_t size;
    purgo::platform::FileId fileId;
    purgo::platform::FileStamp fileStamp;
  };
  std::vector<Found> found;
  Totals t;
  cleaner.SetOnScanning([&](TPGCScanTypes type, const std::string&, std::uint32_t size,
                            const purgo::platform::FileTime*, std::uint32_t) {
    if (type == purgo::kScanTypeDirectory) {
      ++t.dirs;
      return;
    }
    if (const TPGCAppCleaner::TReportedFile* f = cleaner.ReportedFile()) {
      found.push_back({f->folder, std::string(f->name), size, f->fileId, f->fileStamp});
    }
  });
  cleaner.DoScan(purgo::kScanTempFiles);
  t.files = cleaner.ScanTotalFilesCount();
  t.bytes = cleaner.ScanTotalFilesSize();
  const std::shared_ptr<const purgo::TScanFolders> folders = cleaner.ScanFolders();
  if (clean) {
    // A cleaning pass without the window: every file through the target its
    // scan recorded, through a deletion queue, as the page does.
    const auto start = std::chrono::steady_clock::now();
    purgo::platform::DeletionQueue queue([&t](purgo::platform::DeletionQueue::Outcome& o) {
      if (o.result == purgo::platform::DeleteResult::Deleted) ++t.deleted;
    });
    purgo::platform::DeleteTarget target;
    for (std::size_t i = 0; i < found.size(); ++i) {
      const Found& f = found[i];
      folders->Target(f.folder, f.name, f.fileId, f.fileStamp, target);
      queue.Add(target, i);
    }
    queue.Finish();
    t.cleanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  if (list) {
    for (const Found& f : found) PrintLine(folders->FullPath(f.folder, f.name));
  }
  return t;
}

int Usage() {
  std::fprintf(stderr,
               "usage: purgo-bench ext-scan [--list] [--endings=LIST] DIR...\n"
               "       purgo-bench app-scan [--list] DIR\n"
               "       purgo-bench app-clean [--list] DIR\n"
               "       purgo-bench ext-clean [--list] DIR...\n"
#ifdef PURGO_BENCH_UI
               "       purgo-bench app-page[-clean|-stop] DIR\n"
               "       purgo-bench ext-page[-clean|-stop] DIR\n"
               "       purgo-bench page-sort ROWS\n"
#endif
  );
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  bool list = false;
  std::string endings;
  std::vector<std::string> dirs;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--list") == 0) {
      list = true;
    } else if (std::strncmp(argv[i], "--endings=", 10) == 0) {
      endings = argv[i] + 10;
    } else {
      dirs.emplace_back(argv[i]);
    }
  }
  if (dirs.empty()) return Usage();
#ifdef PURGO_BENCH_UI
  if (command == "page-sort" && dirs.size() == 1) {
    const long long rows = std::strtoll(dirs.front().c_str(), nullptr, 10);
    if (rows <= 0) return Usage();
    const std::vector<double> s = purgo::bench::RunSort(rows);
    std::printf("{\"rows\":%lld,\"app\":[%.3f,%.3f,%.3f],\"ext\":[%.3f,%.3f,%.3f],"
                "\"app_view\":[%.3f,%.3f,%.3f],\"ext_view\":[%.3f,%.3f,%.3f],\"view_stall_ms\":%.1f,"
                "\"view_busy_ms\":%.1f,\"peak_rss_kb\":%ld}\n",
                rows, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], s[10], s[11], s[12], s[13],
                PeakRssKb());
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
#endif
  gEndings = Endings(endings);
  static char outBuffer[1 << 16];
  std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

  const auto start = std::chrono::steady_clock::now();
  Totals t;
  if (command == "ext-scan") {
    t = ExtScan(dirs, list, false);
  } else if (command == "ext-clean") {
    t = ExtScan(dirs, list, true);
  } else if (command == "app-scan" && dirs.size() == 1) {
    t = AppScan(dirs.front(), list);
  } else if (command == "app-clean" && dirs.size() == 1) {
    t = AppScan(dirs.front(), list, true);
#ifdef PURGO_BENCH_UI
  } else if ((command.starts_with("app-page") || command.starts_with("ext-page")) && dirs.size() == 1) {
    const std::string mode = command.substr(8);  // "", "-clean" or "-stop"
    if (mode != "" && mode != "-clean" && mode != "-stop") return Usage();
    const purgo::bench::PageTotals p = purgo::bench::RunPage(
        dirs.front(),
        command.starts_with("ext") ? purgo::bench::PageKind::FileTypes : purgo::bench::PageKind::AppTraces,
        mode == "-clean", mode.empty(), mode == "-stop" ? 100000 : 0, gEndings);
    std::printf("{\"files\":%" PRId64 ",\"bytes\":%" PRId64 ",\"dirs\":0,\"deleted\":%" PRId64
                ",\"seconds\":%.3f,\"clean_seconds\":%.3f,\"peak_rss_kb\":%ld,\"rows\":%" PRId64
                ",\"max_stall_ms\":%.1f,\"scan_busy_ms\":%.1f,\"show_stall_ms\":%.1f,\"show_busy_ms\":%.1f"
                ",\"sort_stall_ms\":%.1f,\"sort_busy_ms\":%.1f,\"sort_seconds\":%.3f"
                ",\"clean_stall_ms\":%.1f,\"clean_busy_ms\":%.1f,\"stop_ms\":%.1f}\n",
                p.files, p.bytes, p.deleted, p.seconds + p.cleanSeconds, p.cleanSeconds, PeakRssKb(), p.rows,
                p.scan.ms, p.scan.busyMs, p.show.ms, p.show.busyMs, p.sort.ms, p.sort.busyMs, p.sortSeconds,
                p.clean.ms, p.clean.busyMs, p.stopMs);
    return std::fflush(stdout) == 0 ? 0 : 1;
#endif
  } else {
    return Usage();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("{\"files\":%" PRId64 ",\"bytes\":%" PRId64 ",\"dirs\":%" PRId64
              ",\"deleted\":%" PRId64 ",\"seconds\":%.3f,\"clean_seconds\":%.3f,"
              "\"peak_rss_kb\":%ld}\n",
              t.files, t.bytes, t.dirs, t.deleted, seconds, t.cleanSeconds, PeakRssKb());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
