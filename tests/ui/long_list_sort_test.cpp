// SPDX-License-Identifier: GPL-3.0-or-later
// Lists long enough to be sorted on a thread of their own: the order that
// arrives is the one asked for, and what the user does meanwhile (ticks,
// a new scan, a cleaning pass removing rows) is neither lost nor applied
// to the wrong row.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/PurgoCore.h"
#include "engine/ScanFolders.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_ExtTab.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

constexpr std::size_t kRows = TSortJob::kInBackgroundFrom + 1000;

// "f<n>.tmp" with n spread so that the scan's order is not the names'
// order; size n, in one of three folders.
std::string NameOf(std::size_t n) { return "f" + std::to_string(n * 7919 % kRows) + ".tmp"; }

// The same made-up scan shown by either page's model.
struct Lists {
  std::vector<std::unique_ptr<TPGCExtCleanerScanPathItem>> folders;
  std::vector<std::unique_ptr<TPGCExtCleanerScanFileItem>> items;
  TExtScanModel ext;
  TAppScanModel app;

  Lists() {
    auto tree = std::make_shared<TScanFolders>();
    tree->AddRoot("/scan/", {});
    folders.push_back(std::make_unique<TPGCExtCleanerScanPathItem>("/scan/", 1, 6, platform::FileId{}));
    for (const char* name : {"b", "a"}) {
      tree->AddFolder(0, name);
      folders.push_back(std::make_unique<TPGCExtCleanerScanPathItem>(folders[0].get(), name,
                                                                     static_cast<std::uint32_t>(folders.size() + 1)));
    }
    app.Reset(1);
    app.SetFolders(tree);
    for (std::size_t n = 0; n < kRows; ++n) {
      const std::string name = NameOf(n);
      items.push_back(std::make_unique<TPGCExtCleanerScanFileItem>(folders[n % 3].get()));
      items.back()->SetFileName(name);
      items.back()->SetFileSize(n);
      ext.Add(items.back().get());
      app.AddFile(0, static_cast<TScanFolders::Folder>(n % 3), name, {}, {}, n, true);
    }
    ext.Flush();
    app.Flush();
  }
};

struct Case {
  const char* name;
  bool ext;
};

// Runs the event loop until no order is pending, at most 20 s.
void WaitForOrder(const std::function<bool()>& APending) {
  QElapsedTimer t;
  t.start();
  while (APending() && t.elapsed() < 20000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

class LongListSort : public ::testing::TestWithParam<Case> {
 protected:
  Lists lists;
  bool Ext() const { return GetParam().ext; }
  QAbstractItemModel& Model() { return Ext() ? static_cast<QAbstractItemModel&>(lists.ext) : lists.app; }
  QModelIndex Parent() { return Ext() ? QModelIndex() : lists.app.index(0, 0); }
  QModelIndex Row(int r, int column = 0) { return Model().index(r, column, Parent()); }
  int Rows() { return Model().rowCount(Parent()); }
  bool Pending() { return Ext() ? lists.ext.SortPending() : lists.app.SortPending(); }
  int RowOf(const QString& AName) {
    for (int r = 0; r < Rows(); ++r) {
      if (Row(r).data().toString() == AName) return r;
    }
    return -1;
  }
  std::int64_t Ticked() {
    return Ext() ? static_cast<std::int64_t>(lists.ext.CheckedCount()) : lists.app.CheckedFileCount();
  }
  std::uint64_t SizeAt(int r) {
    const auto at = static_cast<std::size_t>(r);
    return Ext() ? lists.ext.Rows()[at].item->FileSize() : lists.app.Categories()[0].files[at].size;
  }
  // Every row is there, the largest first.
  void ExpectLargestFirst(std::size_t ARows = kRows) {
    ASSERT_EQ(static_cast<std::size_t>(Rows()), ARows);
    for (int r = 1; r < Rows(); ++r) ASSERT_GT(SizeAt(r - 1), SizeAt(r)) << "row " << r;
  }
};

// The order arrives through the event loop; ticks made while it was being
// worked out stay on the files ticked, and the counts with them.
TEST_P(LongListSort, TicksMadeMeanwhileStayWithTheirFiles) {
  const QString first = QString::fromStdString(NameOf(0)), last = QString::fromStdString(NameOf(kRows - 1));
  Model().sort(2, Qt::DescendingOrder);
  ASSERT_TRUE(Pending());
  for (const QString& name : {first, last}) {
    ASSERT_TRUE(Model().setData(Row(RowOf(name)), Qt::Unchecked, Qt::CheckStateRole));
  }
  WaitForOrder([&] { return Pending(); });
  ASSERT_FALSE(Pending());
  ExpectLargestFirst();
  EXPECT_EQ(Row(0).data().toString(), last);
  EXPECT_EQ(Row(Rows() - 1).data().toString(), first);
  EXPECT_EQ(Row(0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(Row(Rows() - 1).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(Row(1).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(Ticked(), static_cast<std::int64_t>(kRows) - 2);
}

// Rows removed while an order is pending are those that stood at the
// positions given; the rest still arrive in order.
TEST_P(LongListSort, RowsRemovedMeanwhileAreTheOnesNamed) {
  const QString gone = Row(5).data().toString();
  Model().sort(2, Qt::DescendingOrder);
  ASSERT_TRUE(Pending());
  if (Ext()) {
    lists.ext.RemoveRows({5});
  } else {
    lists.app.RemoveFiles(0, {5});
  }
  WaitForOrder([&] { return Pending(); });
  EXPECT_EQ(RowOf(gone), -1);
  ExpectLargestFirst(kRows - 1);
}

// A new scan empties the list while an order is pending: the order never
// lands on the new, empty list; a second click replaces the first order.
TEST_P(LongListSort, ANewScanOrClickDropsThePendingOrder) {
  Model().sort(0, Qt::AscendingOrder);
  Model().sort(2, Qt::DescendingOrder);
  WaitForOrder([&] { return Pending(); });
  ExpectLargestFirst();

  Model().sort(0, Qt::AscendingOrder);
  ASSERT_TRUE(Pending());
  if (Ext()) {
    lists.ext.Clear();
  } else {
    lists.app.Reset(1);
  }
  EXPECT_FALSE(Pending());
  QApplication::processEvents();
  EXPECT_EQ(Rows(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPages, LongListSort, ::testing::Values(Case{"traces", false}, Case{"fileTypes", true}),
                         [](const auto& AInfo) { return std::string(AInfo.param.name); });

}  // namespace
}  // namespace purgo
