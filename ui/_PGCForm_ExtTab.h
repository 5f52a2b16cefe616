// SPDX-License-Identifier: GPL-3.0-or-later
// The file-type page: the options tree (folders, endings, attributes, age
// limit), each row edited in place as one line of text, and the result
// list with one ticked row per file found.
//
// The page keeps its own working copy of the folders and endings; it loads
// the cleaner's scan options from it before each scan and writes it back
// into the options object when the window closes. Attributes and the age
// limit reach the options object as soon as they are edited.
//
// The result list is a model of ours over the cleaner's items: a row is
// the item's address and a check bit, its texts (name, folder, size) made
// only when drawn; rows found during a scan are inserted in batches, and
// sorting moves the rows, never copying a name. A file is deleted through
// the target its scan recorded, never by its shown name.
#pragma once

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/PurgoCore.h"
#include "ui/_PGCForm_Helper.h"

class QLineEdit;
class QPushButton;
class QTreeView;

namespace purgo {

class TfrmPGC;
class TfrmPGCProgress;
class TPGCForm_ExtTab;

// ---- the four text encodings of the options rows ----------------------------------

using TOptDirList = std::vector<std::pair<std::string, bool>>;  // folder, include sub-folders
using TOptExtList = std::vector<std::string>;

// "/var/tmp|True;/home/me/build|False;". A piece without "|" (or with it
// first) is a folder without sub-folders; "True" is read without regard to
// case; a folder already listed (by the platform's path rules) is dropped.
TOptDirList ParseOptDirText(std::string_view AText);
std::string OptDirText(const TOptDirList& ADirs);
// ".tmp;.bak;thumbs.db;". Duplicates (ASCII case ignored) are dropped.
TOptExtList ParseOptExtText(std::string_view AText);
std::string OptExtText(const TOptExtList& AExts);
// Tokens NORMAL, HIDDEN, READONLY, SYSTEM, ARCHIVE, ENCRYPTED (any case);
// others are ignored; nothing known reads as NORMAL (0x80).
std::uint32_t ParseOptFileAttrText(std::string_view AText);
// The tokens of the known bits in a fixed order, each followed by ";";
// "NORMAL" when none is set.
std::string OptFileAttrText(std::uint32_t AAttr);
// A decimal number; anything else, and any value <= 0, is 0.
std::int32_t ParseOptIgnoreDaysText(std::string_view AText);

// ---- the options tree --------------------------------------------------------------

struct TOptNodeDataClass {
  int OptType = 0;  // 1 folders, 2 endings, 4 attributes, 8 days
  std::string OptTitle;
  std::string OptDetails;
};

class TOptModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TOptModel(QObject* AParent = nullptr) : QAbstractTableModel(AParent) {}
  std::vector<TOptNodeDataClass>& Rows() { return FRows; }
  void SetRows(std::vector<TOptNodeDataClass> ARows);
  void RowChanged(int ARow);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<TOptNodeDataClass> FRows;
};

// The in-place editor of column 1: a one-line edit box, read-only with a
// "..." button that opens the settings dialog for folders, endings and
// attributes, writable for the age limit. Leaving the box and its button
// commits it; going from one to the other (by Tab or by the mouse) does
// not. A read-only box looks it (the window's colour, nothing selected).
//
// Keys in the box: Enter commits, Escape cancels, Up and Down edit the row
// above or below, and in a read-only box F4 or Alt+Down opens the settings
// dialog as the "..." button does.
class TOptVTEditor : public QObject {
  Q_OBJECT

 public:
  explicit TOptVTEditor(TPGCForm_ExtTab* APage);
  ~TOptVTEditor() override;

  bool PrepareEdit(QTreeView* ATree, int ARow, int AColumn);
  bool BeginEdit();
  // Stores the box's text (normalised for days and attributes) into the
  // row and hides the editor.
  bool EndEdit();
  bool CancelEdit();
  void SetBounds(const QRect& R);
  QRect GetBounds() const;
  // The box is named by its row's title, the button by the dialog it
  // opens, in the current language.
  void RefreshNames();

  QTreeView* VirtualTree() const { return FVirtualTree; }
  int Node() const { return FNode; }
  int Column() const { return FColumn; }
  bool IsEditing() const { return FIsEditing; }
  bool PreparedEdit() const { return FPreparedEdit; }
  void SetPreparedEdit(bool v) { FPreparedEdit = v; }

  QPushButton* FOptVT_Button = nullptr;
  QLineEdit* FOptVT_Edit = nullptr;

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  TPGCForm_ExtTab* FPage;
  QTreeView* FVirtualTree = nullptr;
  int FNode = -1;
  int FColumn = -1;
  bool FIsEditing = false;
  bool FPreparedEdit = false;
};

// ---- the result list ---------------------------------------------------------------

class TExtScanModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // 16 bytes: the cleaner's item (which the cleaner owns) and a check bit.
  struct TRow {
    TPGCExtCleanerScanFileItem* item;
    bool checked;
  };

  enum TColumn { colName = colFoundName, colFolder = colFoundFolder, colSize = colFoundSize, kColumns = kFoundFilesColumns };

  explicit TExtScanModel(QObject* AParent = nullptr) : QAbstractTableModel(AParent) {}

  void Clear();
  // Queues a ticked row; Flush inserts what is queued.
  void Add(TPGCExtCleanerScanFileItem* AItem);
  void Flush();
  std::vector<TRow>& Rows() { return FRows; }
  std::size_t CheckedCount() const { return FCheckedCount; }
  std::uint64_t CheckedSize() const { return FCheckedSize; }
  // Ticks or unticks every row: one loop and one ranged change.
  void SetAllChecked(bool AChecked);
  // Removes the rows at the given positions (ascending).
  void RemoveRows(const std::vector<std::size_t>& APositions);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // By name or folder A to Z, by size largest first (Qt::DescendingOrder);
  // ties by folder, then name. A column < 0 leaves the order as it is.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  int SortColumn() const { return FSortColumn; }
  void Resort() { sort(FSortColumn, FSortOrder); }
  // Puts an order still being worked out in place now: before going
  // through the rows by position while the event loop runs.
  void FinishSort() { FSortJob.Finish(true); }
  // An order is being worked out and not yet in place.
  bool SortPending() const { return FSortJob.Running(); }

 signals:
  void checksChanged();

 private:
  std::vector<std::uint32_t> SortedOrder(int AColumn, bool ADescending, const std::atomic<bool>* AStop) const;
  void PutInOrder(const std::vector<std::uint32_t>& APositions);
  void RemoveRowsAt(const std::vector<std::size_t>& APositions);

  std::vector<TRow> FRows;
  std::size_t FShown = 0;  // rows inserted into the view so far
  std::size_t FCheckedCount = 0;
  std::uint64_t FCheckedSize = 0;  // of the ticked rows
  std::uint64_t FTotalSize = 0;    // of all rows
  int FSortColumn = -1;
  Qt::SortOrder FSortOrder = Qt::AscendingOrder;
  // The order a sort job worked out, until it is put in place.
  std::vector<std::uint32_t> FSorted;
  // Last, so that it ends (waits for its thread) before the rows go.
  TSortJob FSortJob;
};

// ---- the page ----------------------------------------------------------------------

class TPGCForm_ExtTab : public QObject {
  Q_OBJECT

 public:
  // Binds the page to the main window: its two lists, its cleaner, its
  // commands; builds the options tree.
  explicit TPGCForm_ExtTab(TfrmPGC* AWindow);
  ~TPGCForm_ExtTab() override;

  TPGCExtCleaner* Purgo() const { return FPurgo; }
  QTreeView* OptVT() const { return FOptVT; }
  QTreeView* ScanVT() const { return FScanVT; }
  TOptModel* OptModel() const { return FOptModel; }
  TExtScanModel* ScanModel() const { return FScanModel; }
  TOptVTEditor* OptVTEditor() const { return FOptVTEditor.get(); }
  TfrmPGCProgress* ProgressForm() const { return FProgressForm.get(); }
  const TOptDirList& OptDirList() const { return FOptDirList; }
  const TOptExtList& OptExtList() const { return FOptExtList; }
  std::uint32_t OptFileAttr() const { return FOptFileAttr; }
  std::int32_t OptIgnoreDays() const { return FOptIgnoreDays; }
  bool Busy() const { return FBusy; }

  void ReinitOptVT();
  // Writes the working copy back into the options and empties the tree.
  void ClearOptVT();
  void ReinitScanVT();
  void ClearScanVT();
  void Scan();
  // The cleaning pass over the ticked rows, without asking.
  void Clean();
  // Asks the user, with the count and size of the ticked rows, before
  // cleaning.
  bool ConfirmClean();
  void RefreshMultiLangs();
  // The select links of the window.
  void CheckAll(bool AChecked);

  // Starts editing column 1 of the row (0 to 3). Enter, F2, Space and
  // Right on the tree start editing its current row.
  void EditRow(int ARow);
  // The editor's box lost the focus: parse, store, show the text anew.
  void CommitEdit();
  // The settings dialog for the row being edited; true when applied.
  bool OpenSettings();

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  void OptVT_OnClick(const QModelIndex& AIndex);
  void OptVT_OnChange(const QModelIndex& ACurrent);
  void UpdateScanButton();
  void UpdateResultButtons();
  void OnScanning(TPGCExtCleanerScanFileItem* AItem);
  void CleaningPass(TfrmPGCProgress* ADialog);

  TfrmPGC* FWindow;
  TPGCExtCleaner* FPurgo;
  QTreeView* FOptVT;
  QTreeView* FScanVT;
  TOptModel* FOptModel;
  TExtScanModel* FScanModel;
  std::unique_ptr<TfrmPGCProgress> FProgressForm;
  std::unique_ptr<TOptVTEditor> FOptVTEditor;
  TOptDirList FOptDirList;
  TOptExtList FOptExtList;
  std::uint32_t FOptFileAttr = 0;
  std::int32_t FOptIgnoreDays = 0;
  int FScanningCounter = 0;
  TScanPace FPace;
  bool FBusy = false;
  bool FCleaning = false;      // a cleaning pass is under way
  bool FStopCleaning = false;  // Cancel was pressed during it
};

}  // namespace purgo
