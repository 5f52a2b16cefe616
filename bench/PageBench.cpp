// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PageBench.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/AppSingletons.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "platform/Folders.h"
#include "ui/PGCForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/UiServices.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_ExtTab.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo::bench {

PageTotals RunPage(const std::string& given, PageKind kind, bool clean, std::int64_t stopAfter,
                   const std::vector<std::string>& endings) {
  // The temporary-files category is $TMPDIR: point it at the tree, and make
  // sure it took (a relative or missing folder would leave the real /tmp).
  char* resolved = ::realpath(given.c_str(), nullptr);
  const std::string dir = resolved != nullptr ? resolved : "";
  ::free(resolved);
  if (dir.empty() || dir == "/" ) {
    std::fprintf(stderr, "purgo-bench: %s is not a folder to scan\n", given.c_str());
    std::exit(2);
  }
  ::setenv("TMPDIR", dir.c_str(), 1);
  if (kind == PageKind::AppTraces && platform::TempDirectory() != dir + "/") {
    std::fprintf(stderr, "purgo-bench: the temporary folder did not become %s\n", dir.c_str());
    std::exit(2);
  }
  if (::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Without a runtime folder Qt makes one in the temporary folder: the tree.
  if (::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const std::string runtime = dir + ".purgo-bench-runtime";
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  int argc = 1;
  char name[] = "purgo-bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  InstallUiServices();
  CreateAppMultiFonts();
  CreateAppMultiLangs();
  TQelVolumeInfos volumes([] { return std::vector<platform::VolumeData>{}; });
  TPGCAppOptions options(dir + "/.purgo-bench-options/", &volumes);
  AppOptions = &options;
  const bool ext = kind == PageKind::FileTypes;
  if (ext) {
    // As the headless file-type scan: the tree with its sub-folders, the
    // same endings, the default attributes, no age limit.
    options.ClearDirs();
    options.AddDir(dir, true, true);
    options.ClearExts();
    for (const std::string& e : endings) options.AddExt(e, true, true);
    options.SetFileAttribute(31);
    options.SetIgnoreInDays(0);
  }
  PageTotals t;
  {
    TfrmPGC window;
    window.show();
    TAppScanModel& model = *window.AppTab()->Model();
    for (int c = 0; c < model.rowCount(); ++c) {
      model.setData(model.index(c, 0), c == 0 ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    TPGCBaseCleaner* cleaner = ext ? static_cast<TPGCBaseCleaner*>(window.ExtCleaner()) : window.AppCleaner();
    const auto progress = [&] { return ext ? window.ExtTab()->ProgressForm() : window.AppTab()->ProgressForm(); };
    const auto rows = [&] {
      return static_cast<std::int64_t>(ext ? window.ExtTab()->ScanModel()->Rows().size()
                                           : model.Categories()[0].files.size());
    };
    // The longest gap between two ticks of a 5 ms timer is the longest the
    // window could not answer.
    QElapsedTimer gap;
    QTimer meter;
    QObject::connect(&meter, &QTimer::timeout, [&] {
      if (gap.isValid()) t.maxStallMs = std::max(t.maxStallMs, static_cast<double>(gap.nsecsElapsed()) / 1e6);
      gap.start();
    });
    QElapsedTimer work, stopped;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
      TfrmPGCProgress* d = progress();
      if (d == nullptr || stopped.isValid()) return;
      if (rows() >= stopAfter) {
        stopped.start();
        d->btnCancel->click();
      }
    });
    if (stopAfter > 0) stopper.start(5);
    meter.start(5);
    work.start();
    if (ext) {
      window.ExtTab()->Scan();
    } else {
      window.AppTab()->Scan();
    }
    // The dialog starts the work 300 ms after it is shown, by design: that
    // wait is not the scan's.
    t.seconds = static_cast<double>(work.nsecsElapsed()) / 1e9 - 0.3;
    if (stopped.isValid()) t.stopMs = static_cast<double>(stopped.nsecsElapsed()) / 1e6;
    stopper.stop();
    t.files = cleaner->ScanTotalFilesCount();
    t.bytes = cleaner->ScanTotalFilesSize();
    t.rows = rows();
    if (clean) {
      SetMessageBoxHookForTesting([](const QString&, const QString&, int) { return IDYES; });
      QTimer closer;
      QObject::connect(&closer, &QTimer::timeout, [&] {
        TfrmPGCProgress* d = progress();
        if (d != nullptr && d->Percentage() == 100) d->btnCancel->click();
      });
      closer.start(5);
      QElapsedTimer pass;
      pass.start();
      if (ext) {
        window.ExtTab()->Clean();
      } else {
        window.AppTab()->Clean();
      }
      t.cleanSeconds = static_cast<double>(pass.nsecsElapsed()) / 1e9 - 0.3;
      t.deleted = cleaner->CleanTotalFilesCount();
      SetMessageBoxHookForTesting(nullptr);
    }
    meter.stop();
  }
  AppOptions = nullptr;
  FreeAppMultiLangs();
  FreeAppMultiFonts();
  return t;
}

}  // namespace purgo::bench
