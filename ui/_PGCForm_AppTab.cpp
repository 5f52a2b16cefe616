// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCForm_AppTab.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <numeric>

#include "app/AppSingletons.h"
#include "app/TraceCategories.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiLangs.h"
#include "platform/DeletionQueue.h"
#include "platform/Hooks.h"
#include "platform/Trash.h"
#include "ui/PGCForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

constexpr std::size_t kNameBlockBits = 20;  // 1 MiB blocks
constexpr std::size_t kNameBlockSize = std::size_t{1} << kNameBlockBits;

// A category's text runs across the list's columns. The view's own way
// (QTreeView::setFirstColumnSpanned) makes it look every file row up in a
// set of persistent indexes each time it lays the list out, which costs
// about 100 ms for a million rows when a category is opened or sorted.
// Drawn here instead: the category's first cell draws its box without
// the text, and its last cell, drawn after the others, draws the text
// from where the first cell's text would start to the end of the row.
class TCategoryRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    const auto* view = qobject_cast<const QTreeView*>(AOption.widget);
    if (view == nullptr || !AIndex.isValid() || AIndex.parent().isValid()) {
      QStyledItemDelegate::paint(APainter, AOption, AIndex);
      return;
    }
    QStyle* style = view->style();
    const QModelIndex first = AIndex.siblingAtColumn(0);
    QStyleOptionViewItem cell = AOption;
    initStyleOption(&cell, first);
    if (AIndex.column() == 0) {
      cell.rect = AOption.rect;
      cell.text.clear();
      style->drawControl(QStyle::CE_ItemViewItem, &cell, APainter, view);
      return;
    }
    QStyledItemDelegate::paint(APainter, AOption, AIndex);
    const int last = view->header()->logicalIndex(view->header()->count() - 1);
    if (AIndex.column() != last) return;
    cell.rect = view->visualRect(first);
    QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, view);
    text.setRight(AOption.rect.right());
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    text.adjust(margin, 0, -margin, 0);
    if (text.width() <= 0) return;
    const QString shown = cell.fontMetrics.elidedText(cell.text, view->textElideMode(), text.width());
    APainter->save();
    APainter->setFont(cell.font);
    const QPalette::ColorGroup group = (cell.state & QStyle::State_Enabled) == 0 ? QPalette::Disabled
                                       : (cell.state & QStyle::State_Active) == 0 ? QPalette::Inactive
                                                                                  : QPalette::Normal;
    APainter->setPen(cell.palette.color(
        group, (AOption.state & QStyle::State_Selected) != 0 ? QPalette::HighlightedText : QPalette::Text));
    APainter->drawText(text, static_cast<int>(cell.displayAlignment) | Qt::TextSingleLine, shown);
    APainter->restore();
  }
};

}  // namespace

// ---- TAppScanModel ------------------------------------------------------------

void TAppScanModel::Reset(TPGCScanTypes AChecked) {
  FSortJob.Finish(false);
  beginResetModel();
  FCategories.clear();
  FNameBlocks.clear();
  FNameBlockUsed = 0;
  FFolders.reset();
  for (const TTraceCategory& offered : OfferedTraceCategories()) {
    TCategory c;
    c.scanType = offered.scanType;
    c.name = offered.name;
    c.checked = (AChecked & offered.scanType) != 0;
    FCategories.push_back(std::move(c));
  }
  endResetModel();
}

int TAppScanModel::CategoryIndexOf(TPGCScanTypes AScanType) const {
  for (std::size_t i = 0; i < FCategories.size(); ++i) {
    if (FCategories[i].scanType == AScanType) return static_cast<int>(i);
  }
  return -1;
}

void TAppScanModel::AddFile(int ACategory, TScanFolders::Folder AFolder, std::string_view AName,
                            platform::FileId AFileId, platform::FileStamp AStamp, std::uint64_t ASize,
                            bool AChecked) {
  FSortJob.Finish(true);
  if (AName.size() > std::numeric_limits<std::uint32_t>::max()) return;
  TFileRow row;
  row.size = ASize;
  row.checked = AChecked;
  row.nameLength = static_cast<std::uint32_t>(AName.size());
  char* dst;
  if (AName.size() > kNameBlockSize) {
    FNameBlocks.push_back(std::make_unique_for_overwrite<char[]>(AName.size()));
    row.name = (FNameBlocks.size() - 1) << kNameBlockBits;
    dst = FNameBlocks.back().get();
    FNameBlockUsed = kNameBlockSize;  // the next name starts a new block
  } else {
    if (FNameBlocks.empty() || kNameBlockSize - FNameBlockUsed < AName.size()) {
      FNameBlocks.push_back(std::make_unique_for_overwrite<char[]>(kNameBlockSize));
      FNameBlockUsed = 0;
    }
    row.name = ((FNameBlocks.size() - 1) << kNameBlockBits) | FNameBlockUsed;
    dst = FNameBlocks.back().get() + FNameBlockUsed;
    FNameBlockUsed += AName.size();
  }
  if (!AName.empty()) std::memcpy(dst, AName.data(), AName.size());
  if (AFolder != TScanFolders::kNoFolder && FFolders != nullptr && AFolder < FFolders->Count()) {
    row.folder = AFolder;
    row.fileId = AFileId;
    row.fileStamp = AStamp;
  }
  TCategory& c = FCategories[static_cast<std::size_t>(ACategory)];
  if (row.checked) {
    ++c.checkedFiles;
    c.checkedSize += row.size;
  }
  c.totalSize += row.size;
  c.files.push_back(row);
}

void TAppScanModel::AddListEntry(int ACategory, std::string_view AText, std::uint64_t ASize) {
  AddFile(ACategory, TScanFolders::kNoFolder, AText, {}, {}, ASize, true);
  TCategory& c = FCategories[static_cast<std::size_t>(ACategory)];
  if (!c.files.empty()) c.files.back().listEntry = true;
}

std::string_view TAppScanModel::NameOf(const TFileRow& ARow) const {
  const char* block = FNameBlocks[ARow.name >> kNameBlockBits].get();
  return {block + (ARow.name & (kNameBlockSize - 1)), ARow.nameLength};
}

const std::string& TAppScanModel::PathOf(const TFileRow& ARow) const {
  if (ARow.folder == TScanFolders::kNoFolder) return FText.assign(NameOf(ARow));
  return FFolders->FullPath(ARow.folder, NameOf(ARow));
}

bool TAppScanModel::TargetOf(const TFileRow& ARow, platform::DeleteTarget& ATarget) const {
  if (ARow.folder == TScanFolders::kNoFolder || !ARow.fileId.IsKnown()) return false;
  FFolders->Target(ARow.folder, NameOf(ARow), ARow.fileId, ARow.fileStamp, ATarget);
  return true;
}

void TAppScanModel::Flush() {
  for (std::size_t i = 0; i < FCategories.size(); ++i) {
    TCategory& c = FCategories[i];
    if (c.shown == c.files.size()) continue;
    const QModelIndex parent = index(static_cast<int>(i), 0);
    beginInsertRows(parent, static_cast<int>(c.shown), static_cast<int>(c.files.size()) - 1);
    c.shown = c.files.size();
    endInsertRows();
    emit dataChanged(parent, parent);
  }
}

void TAppScanModel::RemoveFiles(int ACategory, const std::vector<std::size_t>& APositions) {
  // The positions are those of the rows as they stand: an order still
  // being worked out is dropped, and worked out again afterwards.
  const bool resort = FSortJob.Finish(false);
  RemoveFilesAt(ACategory, APositions);
  if (resort) Resort();
}

void TAppScanModel::RemoveFilesAt(int ACategory, const std::vector<std::size_t>& APositions) {
  TCategory& c = FCategories[static_cast<std::size_t>(ACategory)];
  const QModelIndex parent = index(ACategory, 0);
  std::size_t runs = 0;
  ForEachRunLastFirst(APositions, [&](std::size_t, std::size_t) { ++runs; });
  if (runs > kMostRunsRemovedOneByOne) {
    beginResetModel();
    c.shown -= static_cast<std::size_t>(
        std::lower_bound(APositions.begin(), APositions.end(), c.shown) - APositions.begin());
    EraseAt(c.files, APositions, [&](const TFileRow& f) {
      c.totalSize -= f.size;
      if (f.checked) {
        --c.checkedFiles;
        c.checkedSize -= f.size;
      }
    });
    endResetModel();
    return;
  }
  ForEachRunLastFirst(APositions, [&](std::size_t first, std::size_t last) {
    const bool inView = first < c.shown;
    const std::size_t viewLast = inView ? std::min(last, c.shown - 1) : 0;
    if (inView) beginRemoveRows(parent, static_cast<int>(first), static_cast<int>(viewLast));
    for (std::size_t p = first; p <= last; ++p) {
      const TFileRow& f = c.files[p];
      c.totalSize -= f.size;
      if (f.checked) {
        --c.checkedFiles;
        c.checkedSize -= f.size;
      }
    }
    c.files.erase(c.files.begin() + static_cast<std::ptrdiff_t>(first),
                  c.files.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    if (inView) {
      c.shown -= viewLast - first + 1;
      endRemoveRows();
    }
  });
  CategoryChanged(ACategory);
}

void TAppScanModel::CategoryChanged(int ACategory) {
  const QModelIndex i = index(ACategory, 0);
  emit dataChanged(i, i);
}

Qt::CheckState TAppScanModel::CategoryState(int ACategory) const {
  const TCategory& c = FCategories[static_cast<std::size_t>(ACategory)];
  if (c.files.empty() || c.scanType == kScanRecycleBin) return c.checked ? Qt::Checked : Qt::Unchecked;
  if (c.checkedFiles == 0) return Qt::Unchecked;
  return c.checkedFiles == c.files.size() ? Qt::Checked : Qt::PartiallyChecked;
}

std::int64_t TAppScanModel::CheckedFileCount() const {
  std::int64_t n = 0;
  for (const TCategory& c : FCategories) {
    if (c.scanType != kScanRecycleBin) n += static_cast<std::int64_t>(c.checkedFiles);
  }
  return n;
}

std::int64_t TAppScanModel::CheckedFileSize() const {
  std::uint64_t n = 0;
  for (const TCategory& c : FCategories) {
    if (c.scanType != kScanRecycleBin) n += c.checkedSize;
  }
  return static_cast<std::int64_t>(n);
}

TPGCScanTypes TAppScanModel::CheckedCategories() const {
  TPGCScanTypes set = 0;
  for (std::size_t i = 0; i < FCategories.size(); ++i) {
    if (CategoryState(static_cast<int>(i)) == Qt::Checked) set |= FCategories[i].scanType;
  }
  return set;
}

QModelIndex TAppScanModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= kColumns) return {};
  if (!parent.isValid()) {
    return static_cast<std::size_t>(row) < FCategories.size() ? createIndex(row, column, kCategoryId)
                                                              : QModelIndex();
  }
  if (parent.internalId() != kCategoryId) return {};
  const TCategory& c = FCategories[static_cast<std::size_t>(parent.row())];
  return static_cast<std::size_t>(row) < c.shown
             ? createIndex(row, column, static_cast<quintptr>(parent.row()))
             : QModelIndex();
}

QModelIndex TAppScanModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == kCategoryId) return {};
  return createIndex(static_cast<int>(child.internalId()), 0, kCategoryId);
}

int TAppScanModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(FCategories.size());
  if (parent.internalId() != kCategoryId) return 0;
  return static_cast<int>(FCategories[static_cast<std::size_t>(parent.row())].shown);
}

int TAppScanModel::columnCount(const QModelIndex&) const { return kColumns; }

QVariant TAppScanModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (index.internalId() == kCategoryId) {
    const TCategory& c = FCategories[static_cast<std::size_t>(index.row())];
    if (index.column() != colName) return {};
    if (role == Qt::CheckStateRole) return CategoryState(index.row());
    if (role != Qt::DisplayRole) return {};
    if (!c.found) return Text(*c.name);
    const std::array<TQelDynArg, 3> args{TQelDynArg(*c.name), TQelDynArg(c.foundCount),
                                         TQelDynArg(FormatSize64(c.foundSize))};
    return Text(QelFormat(CountText(c.foundCount, STR_PGCForm_3, STR_PGCForm_3_One), args));
  }
  const TCategory& c = FCategories[index.internalId()];
  const TFileRow& f = c.files[static_cast<std::size_t>(index.row())];
  // Names are bytes: shown readably (invalid sequences as U+FFFD), deleted
  // by their bytes.
  switch (role) {
    case Qt::CheckStateRole:
      if (index.column() != colName || c.scanType == kScanRecycleBin) return {};
      return f.checked ? Qt::Checked : Qt::Unchecked;
    case Qt::DisplayRole:
      switch (index.column()) {
        case colName: return Text(ShownPath(NameOf(f)));
        case colFolder: {
          if (f.folder == TScanFolders::kNoFolder) return {};
          std::string_view folder = FFolders->Path(f.folder);
          if (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
          return Text(ShownPath(folder));
        }
        default: return Text(FormatSize64(static_cast<std::int64_t>(f.size)));
      }
    case Qt::TextAlignmentRole:
      return index.column() == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ToolTipRole:
      return index.column() == colSize ? QVariant() : QVariant(Text(ShownPath(PathOf(f))));
    default: return {};
  }
}

QVariant TAppScanModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return FoundFilesHeader(section, orientation, role);
}

void TAppScanModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumns) {
    FSortJob.Finish(false);
    FSortColumn = -1;
    return;
  }
  FSortColumn = column;
  FSortOrder = order;
  Flush();
  const bool descending = order == Qt::DescendingOrder;
  std::size_t rows = 0;
  for (const TCategory& c : FCategories) rows += c.files.size();
  if (rows < TSortJob::kInBackgroundFrom) {
    FSortJob.Finish(false);
    SortRows(column, descending, nullptr);
    ApplySorted();
    return;
  }
  // The job reads the rows, and builds their new lists; the window
  // changes no row meanwhile (ticking one first waits for the job). A
  // newer order replaces one not yet in place.
  FSortJob.Start(
      this, [this, column, descending](const std::atomic<bool>& AStop) { SortRows(column, descending, &AStop); },
      [this](bool AApply) {
        if (AApply) ApplySorted();
        FSorted = {};
      });
}

void TAppScanModel::SortRows(int AColumn, bool ADescending, const std::atomic<bool>* AStop) {
  FSorted.assign(FCategories.size(), {});
  // Folders are ordered once, by their names from the top of the tree;
  // a file without a folder comes first.
  std::vector<std::uint32_t> ranks;
  if (FFolders != nullptr) {
    ranks = FolderPathRanks(
        FFolders->Count(),
        [&](std::size_t i) -> std::size_t {
          const TScanFolders::Folder p = FFolders->Parent(static_cast<TScanFolders::Folder>(i));
          return p == TScanFolders::kNoFolder ? SIZE_MAX : p;
        },
        [&](std::size_t i) { return FFolders->Name(static_cast<TScanFolders::Folder>(i)); });
  }
  const auto rankOf = [&](const TFileRow& f) -> std::uint64_t {
    return f.folder == TScanFolders::kNoFolder || f.folder >= ranks.size() ? 0 : std::uint64_t{ranks[f.folder]} + 1;
  };
  for (std::size_t ci = 0; ci < FCategories.size(); ++ci) {
    if (AStop != nullptr && *AStop) return;
    const std::deque<TFileRow>& files = FCategories[ci].files;
    if (files.size() < 2) continue;
    TSorted& sorted = FSorted[ci];
    sorted.positions = SortedPositions(
        files, AColumn, ADescending, rankOf, [&](const TFileRow& f) { return NameOf(f); },
        [](const TFileRow& f) { return f.size; });
    // The rows are copied in their new order here, off the window's
    // thread: gathering a million rows of a deque takes a few hundred
    // milliseconds.
    for (const std::uint32_t at : sorted.positions) sorted.files.push_back(files[at]);
  }
}

void TAppScanModel::ApplySorted() {
  if (FSorted.size() != FCategories.size()) return;
  for (std::size_t ci = 0; ci < FCategories.size(); ++ci) {
    if (!FSorted[ci].positions.empty() && FSorted[ci].files.size() != FCategories[ci].files.size()) return;
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList persistent = persistentIndexList();
  for (std::size_t ci = 0; ci < FCategories.size(); ++ci) {
    TSorted& sorted = FSorted[ci];
    if (sorted.positions.empty()) continue;
    // Indexes the view keeps (the current row, a selection) follow their
    // rows.
    std::vector<std::uint32_t> newRow;
    for (const QModelIndex& i : persistent) {
      if (i.internalId() != ci) continue;
      if (newRow.empty()) {
        newRow.resize(sorted.positions.size());
        for (std::size_t k = 0; k < sorted.positions.size(); ++k) newRow[sorted.positions[k]] = static_cast<std::uint32_t>(k);
      }
      changePersistentIndex(i, createIndex(static_cast<int>(newRow[static_cast<std::size_t>(i.row())]),
                                           i.column(), i.internalId()));
    }
    FCategories[ci].files.swap(sorted.files);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  FSorted.clear();
}

void TAppScanModel::SetCategoryChecked(int ci, bool checked) {
  // A sort job copies the rows as they are: its order is put in place
  // first, the ticks then set on it.
  FSortJob.Finish(true);
  TCategory& c = FCategories[static_cast<std::size_t>(ci)];
  c.checked = checked;
  if (c.scanType != kScanRecycleBin) {
    for (TFileRow& f : c.files) f.checked = checked;
    c.checkedFiles = checked ? c.files.size() : 0;
    c.checkedSize = checked ? c.totalSize : 0;
  }
  const QModelIndex parent = index(ci, 0);
  emit dataChanged(parent, parent);
  if (c.shown > 0) emit dataChanged(index(0, 0, parent), index(static_cast<int>(c.shown) - 1, 0, parent));
}

bool TAppScanModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole) return false;
  const bool checked = value.toInt() == Qt::Checked;
  if (index.internalId() == kCategoryId) {
    SetCategoryChecked(index.row(), checked);
  } else {
    TCategory& c = FCategories[index.internalId()];
    if (c.scanType == kScanRecycleBin) return false;
    // The row is named by where it stands now, and a sort job copies the
    // rows as they are: the job is dropped, and started again after the
    // tick.
    if (FSortJob.Finish(false)) {
      const bool done = setData(index, value, role);
      Resort();
      return done;
    }
    TFileRow& f = c.files[static_cast<std::size_t>(index.row())];
    if (f.checked == checked) return true;
    f.checked = checked;
    if (checked) {
      ++c.checkedFiles;
      c.checkedSize += f.size;
    } else {
      --c.checkedFiles;
      c.checkedSize -= f.size;
    }
    emit dataChanged(index, index);
    CategoryChanged(static_cast<int>(index.internalId()));
  }
  emit checksChanged();
  return true;
}

Qt::ItemFlags TAppScanModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  // A file has no rows below it: said so, the view need not look each
  // file row up among the folded-open rows when it lays the list out.
  if (index.internalId() != kCategoryId) f |= Qt::ItemNeverHasChildren;
  if (index.column() != colName) return f;
  if (index.internalId() == kCategoryId || FCategories[index.internalId()].scanType != kScanRecycleBin) {
    f |= Qt::ItemIsUserCheckable;
  }
  return f;
}

// ---- TPGCForm_AppTab --------------------------------------------------------------

TPGCForm_AppTab::TPGCForm_AppTab(TfrmPGC* AWindow)
    : FWindow(AWindow), FPurgo(AWindow->AppCleaner()), FModel(new TAppScanModel(AWindow->lstAppScan)) {
  QTreeView* list = FWindow->lstAppScan;
  list->setModel(FModel);
  SetUpFileColumns(list);
  list->setItemDelegate(new TCategoryRowDelegate(list));
  connect(FModel, &TAppScanModel::checksChanged, this, &TPGCForm_AppTab::UpdateCleanButton);
  FWindow->Pages.AppScan = [this] { Scan(); };
  FWindow->Pages.AppClean = [this] { Clean(); };
  FPurgo->SetOnBeginScan([this](TPGCBaseCleaner*) {
    if (!FProgressForm) return;
    FProgressForm->Status().ReloadString("");
    FProgressForm->SetPercentage(0);
    FProgressForm->RefreshStatus();
  });
  FPurgo->SetOnScanning([this](TPGCScanTypes t, const std::string& name, std::uint32_t,
                               const platform::FileTime*, std::uint32_t) { OnScanning(t, name); });
  FPurgo->SetOnEndScan([this](TPGCBaseCleaner*) {
    FModel->Flush();
    if (!FProgressForm) return;
    FProgressForm->Status().Reload(&CountText(FoundCount(), STR_PGCForm_5, STR_PGCForm_5_One),
                                   {FoundCount(), FormatSize64(FoundSize())});
    FProgressForm->RefreshStatus();
    FProgressForm->EndProgress();
  });
  ReinitVT();
}

TPGCForm_AppTab::~TPGCForm_AppTab() {
  FPurgo->SetOnBeginScan(nullptr);
  FPurgo->SetOnScanning(nullptr);
  FPurgo->SetOnEndScan(nullptr);
}

void TPGCForm_AppTab::ReinitVT() {
  ClearVT();
  FModel->Reset(AppOptions != nullptr ? AppOptions->AppScanTypes() : 15u);
  FWindow->lstAppScan->viewport()->update();
  UpdateCleanButton();
}

void TPGCForm_AppTab::ClearVT() {
  if (!FModel->Categories().empty() && AppOptions != nullptr) {
    AppOptions->SetAppScanTypes(MergeTickedCategories(AppOptions->AppScanTypes(), FModel->CheckedCategories()));
  }
  FModel->Reset(0);
  FTrashItems.clear();
  FTrashSize = 0;
  FRecent = {};
  FRecentSize = 0;
}

void TPGCForm_AppTab::OnScanning(TPGCScanTypes AScanType, const std::string& AFileName) {
  if (AScanType == kScanTypeDirectory) return;
  const int ci = FModel->CategoryIndexOf(AScanType);
  if (ci < 0) return;
  TAppScanModel::TCategory& c = FModel->Categories()[static_cast<std::size_t>(ci)];
  for (int i = 0; i < FPurgo->ScanSimpleResultsCount(); ++i) {
    const TPGCScanSimpleResult* r = FPurgo->ScanSimpleResults(i);
    if (r->ScanType == AScanType) {
      c.found = true;
      c.foundCount = r->FilesCount;
      c.foundSize = r->FileSize;
      break;
    }
  }
  if (AScanType == kScanRecentDocuments) {
    c.foundCount += static_cast<std::int32_t>(FRecent.entries.size());
    c.foundSize += FRecentSize;
  }
  const bool checked = AScanType != kScanRecycleBin;
  if (const TPGCAppCleaner::TReportedFile* f = FPurgo->ReportedFile()) {
    if (FModel->Folders() != FPurgo->ScanFolders()) FModel->SetFolders(FPurgo->ScanFolders());
    FModel->AddFile(ci, f->folder, f->name, f->fileId, f->fileStamp, FPurgo->ReportedFileSize(), checked);
  } else {
    // No record of where the scan found it: shown, never deleted.
    FModel->AddFile(ci, TScanFolders::kNoFolder, AFileName, {}, {}, FPurgo->ReportedFileSize(), checked);
  }
  FPace.Tick();
  if (FPace.FlushDue()) {
    FModel->Flush();
    UpdateCleanButton();
  }
  if (FProgressForm && FPace.DrawDue()) {
    FProgressForm->Status().Reload(&CountText(FoundCount(), STR_PGCForm_4, STR_PGCForm_4_One),
                                   {FoundCount(), FormatSize64(FoundSize()), ShownPath(AFileName)});
    FProgressForm->RefreshStatus();
  }
}

bool TPGCForm_AppTab::IsAllowClean() const {
  if (FModel->CheckedFileCount() > 0) return true;
  const int bin = FModel->CategoryIndexOf(kScanRecycleBin);
  if (bin < 0) return false;
  const TAppScanModel::TCategory& c = FModel->Categories()[static_cast<std::size_t>(bin)];
  return c.checked && !c.files.empty();
}

void TPGCForm_AppTab::UpdateCleanButton() {
  FWindow->btnAppClean->setEnabled(!FBusy && IsAllowClean());
  bool rows = false;
  for (const TAppScanModel::TCategory& c : FModel->Categories()) rows = rows || !c.files.empty();
  SetTickedCaption(FWindow->lblAppTicked, rows, TickedCount(), TickedSize());
}

std::int64_t TPGCForm_AppTab::TickedCount() const {
  return FModel->CheckedFileCount() + (NeedEmptyRecycleBin() ? static_cast<std::int64_t>(FTrashItems.size()) : 0);
}

std::int64_t TPGCForm_AppTab::TickedSize() const {
  return FModel->CheckedFileSize() + (NeedEmptyRecycleBin() ? FTrashSize : 0);
}

bool TPGCForm_AppTab::ConfirmClean() {
  return ShowMessageBox(FWindow, CleanQuestion(STR_PGCForm_0, TickedCount(), TickedSize()), Text(STR_Question), 0,
                        MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool TPGCForm_AppTab::NeedEmptyRecycleBin() const {
  const int bin = FModel->CategoryIndexOf(kScanRecycleBin);
  return bin >= 0 && FModel->Categories()[static_cast<std::size_t>(bin)].checked;
}

bool TPGCForm_AppTab::EmptyRecycleBin() {
  const int bin = FModel->CategoryIndexOf(kScanRecycleBin);
  if (bin < 0) return false;
  TAppScanModel::TCategory& c = FModel->Categories()[static_cast<std::size_t>(bin)];
  // Rows that did not come from the listing have no item behind them.
  if (FTrashItems.empty() || c.files.size() != FTrashItems.size()) return false;
  // Item by item, so that Cancel stops after the item in hand.
  std::vector<platform::TrashItem> stayed;
  std::int64_t stayedSize = 0;
  bool deleted = false;
  for (platform::TrashItem& item : FTrashItems) {
    const auto size = static_cast<std::int64_t>(item.data.size);
    platform::ProcessMessages();
    if (!FStopCleaning && platform::EmptyTrashItems({item}).front().deleted) {
      FPurgo->SetCleanTotalFilesCount(FPurgo->CleanTotalFilesCount() + 1);
      FPurgo->SetCleanTotalFilesSize(FPurgo->CleanTotalFilesSize() + size);
      deleted = true;
      continue;
    }
    stayedSize += size;
    stayed.push_back(std::move(item));
  }
  FTrashItems = std::move(stayed);
  FTrashSize = stayedSize;
  // The rows may have been sorted: the items that stayed are listed anew,
  // one row per item in the items' order, as the next emptying expects.
  std::vector<std::size_t> all(c.files.size());
  std::iota(all.begin(), all.end(), std::size_t{0});
  FModel->RemoveFiles(bin, all);
  for (const platform::TrashItem& item : FTrashItems) {
    FModel->AddFile(bin, TScanFolders::kNoFolder, item.displayName, {}, {}, item.data.size, false);
  }
  FModel->Flush();
  c.found = true;
  c.foundCount = static_cast<std::int32_t>(c.files.size());
  c.foundSize = stayedSize;
  FModel->CategoryChanged(bin);
  return deleted;
}

void TPGCForm_AppTab::ListRecycleBin() {
  const int bin = FModel->CategoryIndexOf(kScanRecycleBin);
  if (bin < 0) return;
  FTrashItems = platform::ListTrash();
  for (const platform::TrashItem& item : FTrashItems) {
    // Shown by the name it had; deleted only through its listed item.
    FModel->AddFile(bin, TScanFolders::kNoFolder, item.displayName, {}, {}, item.data.size, false);
    FTrashSize += static_cast<std::int64_t>(item.data.size);
  }
  if (FTrashItems.empty()) return;
  TAppScanModel::TCategory& c = FModel->Categories()[static_cast<std::size_t>(bin)];
  c.found = true;
  c.foundCount = static_cast<std::int32_t>(FTrashItems.size());
  c.foundSize = FTrashSize;
  FModel->Flush();
}

void TPGCForm_AppTab::ListRecentEntries() {
  const int ci = FModel->CategoryIndexOf(kScanRecentDocuments);
  if (ci < 0) return;
  // A list that cannot be read safely shows nothing; the page, like a
  // walk, passes over what it cannot use without a word.
  FRecent = platform::ReadRecentList(platform::RecentListPath());
  std::string text;
  for (const platform::RecentEntry& e : FRecent.entries) {
    // The document's name and where it was: the row names a reference.
    text = e.name;
    if (!e.where.empty()) text.append(" \xE2\x80\x94 ").append(e.where);
    FModel->AddListEntry(ci, text, e.size);
    FRecentSize += static_cast<std::int64_t>(e.size);
  }
  if (FRecent.entries.empty()) return;
  TAppScanModel::TCategory& c = FModel->Categories()[static_cast<std::size_t>(ci)];
  c.found = true;
  c.foundCount = static_cast<std::int32_t>(FRecent.entries.size());
  c.foundSize = FRecentSize;
  FModel->Flush();
}

std::int32_t TPGCForm_AppTab::CleanRecentEntries(int ACategory, std::vector<std::size_t>& AGone,
                                                 std::int64_t& AFailedSize) {
  const TAppScanModel::TCategory& c = FModel->Categories()[static_cast<std::size_t>(ACategory)];
  // Entry rows are in the order of FRecent's entries.
  std::vector<std::size_t> rowOf;
  for (std::size_t f = 0; f < c.files.size() && rowOf.size() < FRecent.entries.size(); ++f) {
    if (c.files[f].listEntry) rowOf.push_back(f);
  }
  std::vector<platform::RecentEntry> asked;
  std::vector<std::size_t> askedAt;  // in FRecent.entries
  for (std::size_t k = 0; k < rowOf.size(); ++k) {
    if (!c.files[rowOf[k]].checked) continue;
    asked.push_back(FRecent.entries[k]);
    askedAt.push_back(k);
  }
  if (asked.empty()) return 0;
  const platform::RecentRemoval removal = platform::RemoveRecentEntries(FRecent.path, asked);
  std::vector<bool> removed(FRecent.entries.size(), false);
  for (std::size_t i = 0; i < asked.size(); ++i) {
    const auto size = static_cast<std::int64_t>(asked[i].size);
    // Used again since the scan, already gone, or the list could not be
    // rewritten: the row stays, ticked, as a file that was not deleted.
    if (removal.outcomes[i] != platform::RecentOutcome::Removed) {
      AFailedSize += size;
      continue;
    }
    FPurgo->SetCleanTotalFilesCount(FPurgo->CleanTotalFilesCount() + 1);
    FPurgo->SetCleanTotalFilesSize(FPurgo->CleanTotalFilesSize() + size);
    FRecentSize -= size;
    removed[askedAt[i]] = true;
    AGone.push_back(rowOf[askedAt[i]]);
  }
  std::vector<platform::RecentEntry> left;
  for (std::size_t k = 0; k < FRecent.entries.size(); ++k) {
    if (!removed[k]) left.push_back(std::move(FRecent.entries[k]));
  }
  FRecent.entries = std::move(left);
  return static_cast<std::int32_t>(asked.size());
}

std::int32_t TPGCForm_AppTab::FoundCount() const {
  return FPurgo->ScanTotalFilesCount() + static_cast<std::int32_t>(FTrashItems.size()) +
         static_cast<std::int32_t>(FRecent.entries.size());
}

std::int64_t TPGCForm_AppTab::FoundSize() const {
  return FPurgo->ScanTotalFilesSize() + FTrashSize + FRecentSize;
}

void TPGCForm_AppTab::RefreshMultiLangs() {
  emit FModel->headerDataChanged(Qt::Horizontal, 0, TAppScanModel::kColumns - 1);
  UpdateCleanButton();
  FWindow->lstAppScan->viewport()->update();
  if (FProgressForm) FProgressForm->RefreshMultiLangs();
}

void TPGCForm_AppTab::Scan() {
  if (FBusy) return;
  FBusy = true;
  FWindow->btnAppClean->setEnabled(false);
  ReinitVT();
  FProgressForm = std::make_unique<TfrmPGCProgress>();
  FProgressForm->SetCommand(0);
  FProgressForm->SetPurgo(FPurgo);
  FPace.Restart();
  FProgressForm->OnStart = [this](TfrmPGCProgress* d) {
    const TPGCScanTypes types =
        (AppOptions != nullptr ? AppOptions->AppScanTypes() : 15u) & ~kTraceCategoriesNotOffered;
    // The Trash is listed here rather than by the cleaner: emptying it
    // must delete the items shown, as they were when listed, and nothing
    // trashed since.
    if ((types & kScanRecycleBin) != 0) ListRecycleBin();
    // Likewise the recently-used list: cleaning must take out the entries
    // shown, as they were when listed.
    if ((types & kScanRecentDocuments) != 0) ListRecentEntries();
    FPurgo->DoScan(types & ~TPGCScanTypes{kScanRecycleBin});
    // The dialog's end status tells the cleaner's totals alone.
    if (!FTrashItems.empty()) {
      d->Status().Reload(&CountText(FoundCount(), STR_PGCProgressForm_0, STR_PGCProgressForm_0_One),
                         {FoundCount(), FormatSize64(FoundSize())});
      d->RefreshStatus();
    }
    d->close();
  };
  FProgressForm->OnCancel = [this](TfrmPGCProgress*, bool& canClose) {
    FPurgo->StopScan();
    canClose = false;
  };
  DoModal(FProgressForm.get(), FWindow, true);
  FModel->Flush();
  FProgressForm.reset();
  // Rows arrive in the scan's order; the order the user chose is put
  // back once, when they are all in.
  FModel->Resort();
  // What was found is shown, not folded away.
  for (int c = 0; c < FModel->rowCount(); ++c) {
    if (FModel->rowCount(FModel->index(c, 0)) > 0) FWindow->lstAppScan->expand(FModel->index(c, 0));
  }
  FBusy = false;
  UpdateCleanButton();
}

void TPGCForm_AppTab::Clean() {
  if (FBusy) return;
  FBusy = true;
  FWindow->btnAppClean->setEnabled(false);
  FProgressForm = std::make_unique<TfrmPGCProgress>();
  FProgressForm->SetCommand(1);
  FProgressForm->SetPurgo(FPurgo);
  FProgressForm->OnStart = [this](TfrmPGCProgress* d) { CleaningPass(d); };
  // During the pass Cancel stops it after the files in hand and the dialog
  // stays to tell what was deleted; afterwards it closes the dialog.
  FProgressForm->OnCancel = [this](TfrmPGCProgress*, bool& canClose) {
    canClose = !FCleaning;
    if (FCleaning) FStopCleaning = true;
  };
  // The pass runs inside the dialog's loop: the main window stays
  // disabled until it returns.
  DoModal(FProgressForm.get(), FWindow, true);
  FProgressForm.reset();
  FBusy = false;
  UpdateCleanButton();
}

void TPGCForm_AppTab::CleaningPass(TfrmPGCProgress* ADialog) {
  // The pass goes by position while the event loop runs: the rows must
  // not be put in a new order under it.
  FModel->FinishSort();
  FCleaning = true;
  FStopCleaning = false;
  FPurgo->SetCleanTotalFilesSize(0);
  FPurgo->SetCleanTotalFilesCount(0);
  FFilesToClean = 0;
  auto& categories = FModel->Categories();
  for (std::size_t i = 0; i < categories.size(); ++i) {
    if (FModel->CategoryState(static_cast<int>(i)) != Qt::Unchecked && categories[i].scanType != kScanRecycleBin) {
      FFilesToClean += static_cast<std::int32_t>(categories[i].checkedFiles);
    }
  }
  // Removing many scattered rows rebuilds the list, which folds every
  // category: what was open is opened again afterwards.
  std::vector<bool> expanded(categories.size());
  for (std::size_t i = 0; i < categories.size(); ++i) {
    expanded[i] = FWindow->lstAppScan->isExpanded(FModel->index(static_cast<int>(i), 0));
  }
  // The Trash first; what it deleted counts as cleaned like any file.
  bool deleted = NeedEmptyRecycleBin() && EmptyRecycleBin();
  // The category being cleaned: the rows handed over are its files.
  const TAppScanModel::TCategory* current = nullptr;
  TCleaningPass pass(ADialog, FPurgo, FFilesToClean, FStopCleaning,
                     [&current](std::size_t ARow) { return current->files[ARow].size; });
  platform::DeleteTarget target;
  for (std::size_t i = 0; i < categories.size(); ++i) {
    const int ci = static_cast<int>(i);
    if (FModel->CategoryState(ci) == Qt::Unchecked || categories[i].scanType == kScanRecycleBin) continue;
    TAppScanModel::TCategory& c = categories[i];
    current = &c;
    std::vector<std::size_t> gone;
    std::int64_t failedSize = 0;
    // The list's entries first, all in one rewrite of the list.
    if (c.scanType == kScanRecentDocuments) {
      pass.Handled(CleanRecentEntries(ci, gone, failedSize));
      deleted = deleted || !gone.empty();
    }
    for (std::size_t f = 0; f < c.files.size(); ++f) {
      platform::ProcessMessages();
      if (FStopCleaning) break;
      const TAppScanModel::TFileRow& row = c.files[f];
      if (!row.checked || row.listEntry) continue;
      // Only what a scan recorded where it found it is ever deleted; a row
      // without that record is never deleted by its shown path.
      if (FModel->TargetOf(row, target)) {
        pass.Add(target, f);
      } else {
        pass.Handled();
      }
    }
    // The rows are removed once the category's outcomes are all in.
    pass.Finish();
    const std::vector<std::size_t> files = pass.TakeGone();
    gone.insert(gone.end(), files.begin(), files.end());
    deleted = deleted || pass.AnyDeleted();
    std::sort(gone.begin(), gone.end());
    FModel->RemoveFiles(ci, gone);
    // The count and size of what the category still lists: files that
    // were refused, unticked, or not reached before Cancel.
    c.found = true;
    c.foundCount = static_cast<std::int32_t>(c.files.size());
    c.foundSize = static_cast<std::int64_t>(c.totalSize);
    FModel->CategoryChanged(ci);
    if (FStopCleaning) break;
  }
  for (std::size_t i = 0; i < categories.size(); ++i) {
    if (expanded[i]) FWindow->lstAppScan->expand(FModel->index(static_cast<int>(i), 0));
  }
  if (deleted && AppOptions != nullptr) AppOptions->SetLastCleanTime(GetSystemTimeAsFileTime());
  FCleaning = false;
  UpdateCleanButton();
  pass.ShowStatus();
  ADialog->EndProgress(FStopCleaning);
}

}  // namespace purgo
