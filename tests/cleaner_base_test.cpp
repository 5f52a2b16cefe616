// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "engine/PurgoCore.h"

namespace purgo {
namespace {

// A cleaner over a list of imaginary file sizes: it "finds" them one by
// one, checks the stop flag before each, and "deletes" them in clean mode.
class ListCleaner : public TPGCBaseCleaner {
 public:
  std::vector<std::int64_t> files;
  int throwAt = -1;            // index at which the walk throws
  std::function<void(int)> onFile;  // runs before each file, like a drain
  TNotifyEvent OnEndScan;
  std::vector<bool> cleanModeSeen;

  TPGCResult DoScan(TPGCScanTypes) override {
    BeginScanState();
    return RunScan(
        [&] {
          for (int i = 0; i < static_cast<int>(files.size()); ++i) {
            if (onFile) onFile(i);
            if (FForceStop) return kResultFalse;
            if (i == throwAt) throw std::runtime_error("walk failed");
            ++FScanTotalFilesCount;
            FScanTotalFilesSize += files[static_cast<std::size_t>(i)];
            cleanModeSeen.push_back(FIsNoGuard);
            if (FIsNoGuard) {
              ++FCleanTotalFilesCount;
              FCleanTotalFilesSize += files[static_cast<std::size_t>(i)];
            }
          }
          return kResultOk;
        },
        OnEndScan);
  }
  TPGCResult DoNoGuard(TPGCScanTypes types) override { return RunNoGuard(types); }
  void StopScan() override { FForceStop = true; }
};

TEST(CleanerBase, FreshState) {
  ListCleaner c;
  EXPECT_EQ(c.ScanStatus(), vstNormal);
  EXPECT_EQ(c.ScanResult(), kResultOk);
  EXPECT_FALSE(c.IsNoGuard());
  EXPECT_FALSE(c.ForceStop());
  EXPECT_EQ(c.ScanTotalFilesCount(), 0);
  EXPECT_EQ(c.CleanTotalFilesSize(), 0);
}

TEST(CleanerBase, StopBeforeScanIsClearedAndTotalsRestart) {
  ListCleaner c;
  c.files = {10, 20, 30};
  c.StopScan();
  c.SetForcePause(true);
  std::vector<TPGCScanStatus> statusAtEnd;
  c.OnEndScan = [&](TPGCBaseCleaner* sender) { statusAtEnd.push_back(sender->ScanStatus()); };
  EXPECT_EQ(c.DoScan(0), kResultOk);
  EXPECT_EQ(c.ScanTotalFilesCount(), 3);
  EXPECT_EQ(c.ScanTotalFilesSize(), 60);
  EXPECT_FALSE(c.ForcePause());
  EXPECT_EQ(statusAtEnd, std::vector<TPGCScanStatus>{vstScanFinished});

  // A second scan starts its totals from zero.
  c.files = {5};
  c.DoScan(0);
  EXPECT_EQ(c.ScanTotalFilesCount(), 1);
  EXPECT_EQ(c.ScanTotalFilesSize(), 5);
}

TEST(CleanerBase, StopDuringScan) {
  ListCleaner c;
  c.files = {1, 2, 3, 4};
  c.onFile = [&](int i) {
    if (i == 2) c.StopScan();
  };
  EXPECT_EQ(c.DoScan(0), kResultFalse);
  EXPECT_EQ(c.ScanTotalFilesCount(), 2);
  EXPECT_EQ(c.ScanStatus(), vstScanFinished);
}

TEST(CleanerBase, CleanModeLastsForOneCallAndCleanTotalsPersist) {
  ListCleaner c;
  c.files = {100, 200};
  c.SetCleanTotalFilesCount(7);
  c.SetCleanTotalFilesSize(1000);
  c.DoNoGuard(0);
  EXPECT_EQ(c.cleanModeSeen, (std::vector<bool>{true, true}));
  EXPECT_EQ(c.CleanTotalFilesCount(), 9);
  EXPECT_EQ(c.CleanTotalFilesSize(), 1300);
  EXPECT_FALSE(c.IsNoGuard());

  // A plain scan afterwards must not run in clean mode, and scans never
  // reset the clean totals.
  c.cleanModeSeen.clear();
  c.DoScan(0);
  EXPECT_EQ(c.cleanModeSeen, (std::vector<bool>{false, false}));
  EXPECT_EQ(c.CleanTotalFilesCount(), 9);
}

TEST(CleanerBase, ExceptionStillFinishesTheScan) {
  ListCleaner c;
  c.files = {1, 2, 3};
  c.throwAt = 1;
  int ends = 0;
  c.OnEndScan = [&](TPGCBaseCleaner*) { ++ends; };
  EXPECT_THROW(c.DoNoGuard(0), std::runtime_error);
  EXPECT_EQ(c.ScanStatus(), vstScanFinished);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(c.IsNoGuard());
  EXPECT_EQ(c.ScanTotalFilesCount(), 1);
}

}  // namespace
}  // namespace purgo
