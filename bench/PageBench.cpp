// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PageBench.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <memory>
#include <random>

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
namespace {

// Processor time of the calling thread.
double ThreadCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

PageTotals RunPage(const std::string& given, PageKind kind, bool clean, bool sort, std::int64_t stopAfter,
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
    // The page scanned is the one in view, as when its Scan is pressed:
    // a hidden list is neither laid out nor drawn.
    window.ChangePage(ext ? window.tabExt : window.tabApp);
    QTreeView* list = ext ? window.lstExtScan : window.lstAppScan;
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
    // window could not answer; a gap counts for the phase under way when
    // it ends.
    QElapsedTimer gap;
    double gapCpu = 0;
    QTimer meter;
    PageTotals::Stall* phase = &t.scan;
    QObject::connect(&meter, &QTimer::timeout, [&] {
      const double cpu = ThreadCpuMs();
      if (gap.isValid()) {
        phase->ms = std::max(phase->ms, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        phase->busyMs = std::max(phase->busyMs, cpu - gapCpu);
      }
      gap.start();
      gapCpu = cpu;
    });
    // Lets the window run for a while, as it does between a person's
    // clicks.
    const auto idle = [](int ms) {
      QEventLoop loop;
      QTimer::singleShot(ms, &loop, &QEventLoop::quit);
      loop.exec();
    };
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
    // What Scan did after its dialog closed (the last rows, the order
    // chosen, the categories opened) ends in the first gap from here.
    phase = &t.show;
    idle(300);
    if (sort) {
      phase = &t.sort;
      QElapsedTimer sorting;
      for (const auto& [column, order] : {std::pair{0, Qt::AscendingOrder}, std::pair{1, Qt::AscendingOrder},
                                          std::pair{2, Qt::DescendingOrder}}) {
        // From the click to the rows drawn in their new order.
        sorting.start();
        list->sortByColumn(column, order);
        while (ext ? window.ExtTab()->ScanModel()->SortPending() : model.SortPending()) idle(1);
        list->repaint();
        t.sortSeconds += static_cast<double>(sorting.nsecsElapsed()) / 1e9;
        idle(100);
      }
    }
    if (clean) {
      phase = &t.clean;
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
      idle(300);
    }
    meter.stop();
  }
  AppOptions = nullptr;
  FreeAppMultiLangs();
  FreeAppMultiFonts();
  return t;
}

std::vector<double> RunSort(std::int64_t ARows) {
  if (::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "purgo-bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  CreateAppMultiFonts();
  CreateAppMultiLangs();
  std::mt19937_64 random(20260101);
  const auto word = [&] {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.";
    std::string w(6 + random() % 15, ' ');
    for (char& c : w) c = kLetters[random() % (sizeof kLetters - 1)];
    return w;
  };
  const std::size_t rows = static_cast<std::size_t>(ARows), folderCount = std::max<std::size_t>(1, rows / 20);

  // One tree of folders for both lists, each folder below a random
  // earlier one.
  auto tree = std::make_shared<TScanFolders>();
  std::vector<std::unique_ptr<TPGCExtCleanerScanPathItem>> pathItems;
  tree->AddRoot("/bench/", {});
  pathItems.push_back(std::make_unique<TPGCExtCleanerScanPathItem>("/bench/", 1, 7, platform::FileId{}));
  for (std::size_t f = 1; f < folderCount; ++f) {
    const std::size_t parent = random() % f;
    const std::string w = word();
    tree->AddFolder(static_cast<TScanFolders::Folder>(parent), w);
    pathItems.push_back(std::make_unique<TPGCExtCleanerScanPathItem>(pathItems[parent].get(), w,
                                                                    static_cast<std::uint32_t>(f + 1)));
  }
  TAppScanModel appModel;
  appModel.Reset(1);
  appModel.SetFolders(tree);
  TExtScanModel extModel;
  std::vector<std::unique_ptr<TPGCExtCleanerScanFileItem>> items;
  items.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t folder = random() % folderCount;
    const std::uint64_t size = random() % (1u << 20);
    const std::string file = word() + ".tmp";
    appModel.AddFile(0, static_cast<TScanFolders::Folder>(folder), file, {}, {}, size, true);
    items.push_back(std::make_unique<TPGCExtCleanerScanFileItem>(pathItems[folder].get()));
    items.back()->SetFileName(file);
    items.back()->SetFileSize(size);
    extModel.Add(items.back().get());
  }
  appModel.Flush();
  extModel.Flush();

  // Each model alone, then again shown in a view: what the view adds is
  // its layout of the rows in their new order. A long list is sorted on
  // a thread of its own: alone, the time is until the order is in place;
  // shown, until the rows are drawn in it, the window answering
  // meanwhile (the longest it did not, last).
  std::vector<double> seconds;
  double maxStallMs = 0, maxBusyMs = 0, gapCpu = 0;
  QElapsedTimer gap;
  QTimer meter;
  QObject::connect(&meter, &QTimer::timeout, [&] {
    const double cpu = ThreadCpuMs();
    if (gap.isValid()) {
      maxStallMs = std::max(maxStallMs, static_cast<double>(gap.nsecsElapsed()) / 1e6);
      maxBusyMs = std::max(maxBusyMs, cpu - gapCpu);
    }
    gap.start();
    gapCpu = cpu;
  });
  const auto pending = [&](QAbstractItemModel* m) {
    return m == &appModel ? appModel.SortPending() : extModel.SortPending();
  };
  for (const bool shown : {false, true}) {
    for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(&appModel), static_cast<QAbstractItemModel*>(&extModel)}) {
      QTreeView view;
      if (shown) {
        view.setUniformRowHeights(true);
        view.setModel(model);
        SetUpFileColumns(&view);
        view.resize(716, 316);
        view.show();
        if (model == &appModel) view.expand(appModel.index(0, 0));
        QApplication::processEvents();
      }
      for (const auto& [column, order] : {std::pair{0, Qt::AscendingOrder}, std::pair{1, Qt::AscendingOrder},
                                          std::pair{2, Qt::DescendingOrder}}) {
        QElapsedTimer t;
        t.start();
        if (shown) {
          gap.invalidate();
          meter.start(5);
          view.sortByColumn(column, order);
          while (pending(model)) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
          view.repaint();
          QApplication::processEvents();
          meter.stop();
        } else {
          model->sort(column, order);
          if (model == &appModel) {
            appModel.FinishSort();
          } else {
            extModel.FinishSort();
          }
        }
        seconds.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
      }
    }
  }
  seconds.push_back(maxStallMs);
  seconds.push_back(maxBusyMs);
  FreeAppMultiLangs();
  FreeAppMultiFonts();
  return seconds;
}

}  // namespace purgo::bench
