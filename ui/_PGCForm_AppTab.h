// SPDX-License-Identifier: GPL-3.0-or-later
// The application-traces page: the category list with the files a scan
// found under each category, the scan and the cleaning pass behind the
// progress dialog.
//
// The list is a model of ours. A file row is one small record (the path
// bytes, the full size, where the scan found it, a check bit); texts are
// made only when a row is drawn; rows found during a scan are inserted in
// batches; ticking a category is one loop over its rows, not one event per
// row. A file is deleted through the target its scan recorded, never by
// its shown path.
//
// Files show their name, folder and size in three columns (a category's
// text spans them) and sort by any of them within their category; a sort
// moves the rows themselves, never copying a path.
#pragma once

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PurgoCore.h"
#include "engine/ScanFolders.h"
#include "ui/_PGCForm_Helper.h"
#include "i18n/QSDynString.h"
#include "platform/FileDelete.h"
#include "platform/RecentList.h"
#include "platform/Trash.h"

namespace purgo {

class TfrmPGC;
class TfrmPGCProgress;

class TAppScanModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // 72 bytes; the name's bytes live in the model's store, its folder in
  // the scan's folder tree, shared by every file found there.
  struct TFileRow {
    std::uint64_t size = 0;
    platform::FileId fileId;  // unknown: the row is never deleted
    platform::FileStamp fileStamp;
    std::uint64_t name = 0;  // in the model's name store
    std::uint32_t nameLength = 0;
    // In Folders(); kNoFolder: the name is the whole text shown (a Trash
    // item), and the row is never deleted by it.
    TScanFolders::Folder folder = TScanFolders::kNoFolder;
    bool checked = false;
    // An entry of the recently-used list: a reference, taken out of the
    // list when cleaned, never a file to delete.
    bool listEntry = false;
  };
  struct TCategory {
    TPGCScanTypes scanType = 0;
    const std::string* name = nullptr;  // a string variable
    bool checked = false;               // the state while it has no files
    std::deque<TFileRow> files;         // grows without moving what it holds
    std::size_t shown = 0;              // files inserted into the view so far
    std::size_t checkedFiles = 0;
    std::uint64_t checkedSize = 0;      // of the ticked files
    std::uint64_t totalSize = 0;        // of all its files
    bool found = false;                 // a scan reported files: show totals
    std::int32_t foundCount = 0;
    std::int64_t foundSize = 0;
  };

  enum TColumn { colName = colFoundName, colFolder = colFoundFolder, colSize = colFoundSize, kColumns = kFoundFilesColumns };

  explicit TAppScanModel(QObject* AParent = nullptr) : QAbstractItemModel(AParent) {}

  // The categories offered here (OfferedTraceCategories), ticked by the set.
  void Reset(TPGCScanTypes AChecked);
  std::vector<TCategory>& Categories() { return FCategories; }
  int CategoryIndexOf(TPGCScanTypes AScanType) const;
  // The folders the rows' files lie in: the tree of the scan under way.
  void SetFolders(std::shared_ptr<const TScanFolders> AFolders) {
    FSortJob.Finish(true);
    FFolders = std::move(AFolders);
  }
  const std::shared_ptr<const TScanFolders>& Folders() const { return FFolders; }
  // Queues a file found; Flush inserts what is queued. AFolder (in
  // Folders()) and the identities are where the scan found it; a row with
  // kNoFolder is shown (AName is its whole text) but never deleted by the
  // page (a Trash item).
  void AddFile(int ACategory, TScanFolders::Folder AFolder, std::string_view AName,
               platform::FileId AFileId, platform::FileStamp AStamp, std::uint64_t ASize,
               bool AChecked);
  // Queues an entry of the recently-used list, shown as AText.
  void AddListEntry(int ACategory, std::string_view AText, std::uint64_t ASize);
  // The row's full path (or its text); valid until the next call.
  const std::string& PathOf(const TFileRow& ARow) const;
  // Where the scan found the row's file, for deleting it; false for a row
  // without that record. Reuses ATarget's storage.
  bool TargetOf(const TFileRow& ARow, platform::DeleteTarget& ATarget) const;
  void Flush();
  // Removes the file rows at the given positions of a category (ascending).
  void RemoveFiles(int ACategory, const std::vector<std::size_t>& APositions);
  void CategoryChanged(int ACategory);
  Qt::CheckState CategoryState(int ACategory) const;
  // Ticked file rows, the Recycle Bin's not counted (they have no boxes),
  // and their sizes.
  std::int64_t CheckedFileCount() const;
  std::int64_t CheckedFileSize() const;
  TPGCScanTypes CheckedCategories() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Orders each category's files: by name or folder A to Z, by size
  // largest first (Qt::DescendingOrder); ties by folder, then name. A
  // column < 0 leaves the order as it is.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  int SortColumn() const { return FSortColumn; }
  Qt::SortOrder SortOrder() const { return FSortOrder; }
  // Sorts again by the last sort chosen (after a scan added rows).
  void Resort() { sort(FSortColumn, FSortOrder); }
  // Puts an order still being worked out in place now: before going
  // through the rows by position while the event loop runs.
  void FinishSort() { FSortJob.Finish(true); }
  // An order is being worked out and not yet in place.
  bool SortPending() const { return FSortJob.Running(); }

 signals:
  // A box was changed through the list.
  void checksChanged();

 private:
  static constexpr quintptr kCategoryId = ~quintptr{0};
  void SetCategoryChecked(int c, bool checked);
  // Works out the order of each category's files into FSorted; ApplySorted
  // puts it in place.
  void SortRows(int AColumn, bool ADescending, const std::atomic<bool>* AStop);
  void ApplySorted();
  void RemoveFilesAt(int ACategory, const std::vector<std::size_t>& APositions);
  std::string_view NameOf(const TFileRow& ARow) const;
  std::vector<TCategory> FCategories;
  // Name bytes of every row since the last Reset, in blocks that never
  // move (removed rows leave theirs until then). A name longer than a block
  // gets a block of its own.
  std::vector<std::unique_ptr<char[]>> FNameBlocks;
  std::size_t FNameBlockUsed = 0;
  std::shared_ptr<const TScanFolders> FFolders;
  mutable std::string FText;  // PathOf's result for a row without a folder
  int FSortColumn = -1;
  Qt::SortOrder FSortOrder = Qt::AscendingOrder;
  // Each category's files in the order a sort worked out, with the
  // positions they came from, until put in place.
  struct TSorted {
    std::vector<std::uint32_t> positions;
    std::deque<TFileRow> files;
  };
  std::vector<TSorted> FSorted;
  // Last, so that it ends (waits for its thread) before the rows go.
  TSortJob FSortJob;
};

class TPGCForm_AppTab : public QObject {
  Q_OBJECT

 public:
  // Binds the page to the main window: its list, its cleaner and its
  // commands.
  explicit TPGCForm_AppTab(TfrmPGC* AWindow);
  ~TPGCForm_AppTab() override;

  TAppScanModel* Model() const { return FModel; }
  void ReinitVT();
  // Stores the ticked categories into the options and empties the list.
  void ClearVT();
  void Scan();
  void Clean();
  bool IsAllowClean() const;
  bool NeedEmptyRecycleBin() const;
  // Deletes the Trash items the last scan listed (nothing trashed since),
  // adds those deleted to the cleaner's clean totals and removes their
  // rows. True when any was deleted.
  bool EmptyRecycleBin();
  void RefreshMultiLangs();
  TfrmPGCProgress* ProgressForm() const { return FProgressForm.get(); }
  // A scan or a cleaning pass is running.
  bool Busy() const { return FBusy; }
  // What Clean would delete: the ticked files, and the Trash's items when
  // the Recycle Bin is ticked.
  std::int64_t TickedCount() const;
  std::int64_t TickedSize() const;
  // Asks the user before cleaning, with that count and size.
  bool ConfirmClean();

 private:
  void OnScanning(TPGCScanTypes AScanType, const std::string& AFileName);
  // Lists the Trash into the Recycle Bin's rows, keeping each item as it
  // was listed.
  void ListRecycleBin();
  // Lists the recently-used list's entries as the first rows of the recent
  // documents category.
  void ListRecentEntries();
  // Takes the ticked entries of the category `ACategory` out of the list;
  // their positions go to `AGone` when removed, their sizes to `AFailedSize`
  // when not. Returns how many were ticked.
  std::int32_t CleanRecentEntries(int ACategory, std::vector<std::size_t>& AGone, std::int64_t& AFailedSize);
  // What the scan found: the cleaner's totals and the Trash listed here.
  std::int32_t FoundCount() const;
  std::int64_t FoundSize() const;
  void UpdateCleanButton();
  void CleaningPass(TfrmPGCProgress* ADialog);

  TfrmPGC* FWindow;
  TPGCAppCleaner* FPurgo;
  TAppScanModel* FModel;
  std::unique_ptr<TfrmPGCProgress> FProgressForm;
  std::int32_t FFilesToClean = 0;
  // The Trash items behind the Recycle Bin's rows, one per row in the
  // same order, as the scan listed them.
  std::vector<platform::TrashItem> FTrashItems;
  std::int64_t FTrashSize = 0;
  // The entries behind the recent category's entry rows, in the same order.
  platform::RecentList FRecent;
  std::int64_t FRecentSize = 0;
  TScanPace FPace;
  bool FBusy = false;
  bool FCleaning = false;      // a cleaning pass is under way
  bool FStopCleaning = false;  // Cancel was pressed during it
};

}  // namespace purgo
