// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCForm_ExtTab.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <charconv>
#include <numeric>

#include "app/AppSingletons.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/DeletionQueue.h"
#include "platform/Hooks.h"
#include "ui/PGCForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/PGCSettingForm.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {

namespace {

constexpr int kRowDir = 0, kRowExt = 1, kRowFileAttr = 2, kRowIgnoreDays = 3;
constexpr int kOptRowHeight = 21;


std::string Trim(std::string_view s) { return TrimChars(s, " "); }

// Endings, attribute words and "True" are told apart without regard to
// ASCII letter case.
bool SameAsciiText(std::string_view a, std::string_view b) { return SameTextCompare(a, b) == 0; }

// Pieces of AText between ";", empty ones dropped.
std::vector<std::string_view> SplitPieces(std::string_view AText) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (start <= AText.size()) {
    std::size_t end = AText.find(';', start);
    if (end == std::string_view::npos) end = AText.size();
    if (end > start) out.push_back(AText.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// The options' ticked folders and endings, in their order.
TOptDirList TickedOptionDirs() {
  TOptDirList out;
  for (int i = 0; i < AppOptions->DirListCount(); ++i) {
    if (AppOptions->DirChecked(i)) out.emplace_back(AppOptions->DirText(i), AppOptions->DirIncludeSub(i));
  }
  return out;
}

TOptExtList TickedOptionExts() {
  TOptExtList out;
  for (int i = 0; i < AppOptions->ExtListCount(); ++i) {
    if (AppOptions->ExtChecked(i)) out.push_back(AppOptions->ExtText(i));
  }
  return out;
}

struct TAttrToken {
  std::uint32_t bit;
  const char* name;
};
constexpr std::array<TAttrToken, 6> kAttrTokens = {{{0x80, "NORMAL"},
                                                    {0x2, "HIDDEN"},
                                                    {0x1, "READONLY"},
                                                    {0x4, "SYSTEM"},
                                                    {0x20, "ARCHIVE"},
                                                    {0x4000, "ENCRYPTED"}}};

// The options tree's look: grid lines and rows of a fixed height.
class TOptDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), kOptRowHeight};
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(0xD8, 0xDC, 0xE2));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->restore();
  }
};

}  // namespace

// ---- text encodings ----------------------------------------------------------------

TOptDirList ParseOptDirText(std::string_view AText) {
  TOptDirList out;
  const std::string text = Trim(AText);
  for (std::string_view raw : SplitPieces(text)) {
    const std::string piece = Trim(raw);
    if (piece.empty()) continue;
    std::string path = piece;
    bool include = false;
    // "/" is a whole folder on its own, so a "|" right after the first
    // character already ends the folder.
    const std::size_t bar = piece.find('|');
    if (bar != std::string::npos && bar >= 1) {
      path = Trim(std::string_view(piece).substr(0, bar));
      include = SameAsciiText(Trim(std::string_view(piece).substr(bar + 1)), "True");
    }
    if (path.empty()) continue;
    const bool listed = std::any_of(out.begin(), out.end(),
                                    [&](const auto& d) { return SamePathCompare(d.first, path) == 0; });
    if (!listed) out.emplace_back(std::move(path), include);
  }
  return out;
}

std::string OptDirText(const TOptDirList& ADirs) {
  std::string out;
  for (const auto& [path, include] : ADirs) out.append(path).append(include ? "|True;" : "|False;");
  return out;
}

TOptExtList ParseOptExtText(std::string_view AText) {
  TOptExtList out;
  const std::string text = Trim(AText);
  for (std::string_view raw : SplitPieces(text)) {
    std::string piece = Trim(raw);
    if (piece.empty()) continue;
    const bool listed =
        std::any_of(out.begin(), out.end(), [&](const std::string& e) { return SameAsciiText(e, piece); });
    if (!listed) out.push_back(std::move(piece));
  }
  return out;
}

std::string OptExtText(const TOptExtList& AExts) {
  std::string out;
  for (const std::string& e : AExts) out.append(e).push_back(';');
  return out;
}

std::uint32_t ParseOptFileAttrText(std::string_view AText) {
  const std::string text = Trim(AText);
  if (text.empty()) return 0x80;
  std::uint32_t v = 0;
  for (std::string_view raw : SplitPieces(text)) {
    const std::string token = Trim(raw);
    for (const TAttrToken& t : kAttrTokens) {
      if (SameAsciiText(token, t.name)) v |= t.bit;
    }
  }
  return v == 0 ? 0x80 : v;
}

std::string OptFileAttrText(std::uint32_t AAttr) {
  std::string out;
  for (const TAttrToken& t : kAttrTokens) {
    if ((AAttr & t.bit) != 0) out.append(t.name).push_back(';');
  }
  return out.empty() ? std::string("NORMAL") : out;
}

std::int32_t ParseOptIgnoreDaysText(std::string_view AText) {
  const std::string text = Trim(AText);
  std::int32_t v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end || text.empty()) return 0;
  return v > 0 ? v : 0;
}

// ---- the options tree ----------------------------------------------------------------

void TOptModel::SetRows(std::vector<TOptNodeDataClass> ARows) {
  beginResetModel();
  FRows = std::move(ARows);
  endResetModel();
}

void TOptModel::RowChanged(int ARow) { emit dataChanged(index(ARow, 0), index(ARow, 1)); }

int TOptModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TOptModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TOptModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  const TOptNodeDataClass& r = FRows[static_cast<std::size_t>(index.row())];
  return Text(index.column() == 0 ? r.OptTitle : r.OptDetails);
}

QVariant TOptModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return Text(section == 0 ? STR_PGCForm_ExtTab_OptVT_Column0 : STR_PGCForm_ExtTab_OptVT_Column1);
}

// ---- the in-place editor -------------------------------------------------------------

TOptVTEditor::TOptVTEditor(TPGCForm_ExtTab* APage) : FPage(APage) {}

TOptVTEditor::~TOptVTEditor() {
  delete FOptVT_Button;
  delete FOptVT_Edit;
}

bool TOptVTEditor::PrepareEdit(QTreeView* ATree, int ARow, int AColumn) {
  FVirtualTree = ATree;
  FNode = ARow;
  FColumn = AColumn;
  if (FOptVT_Edit == nullptr) {
    FOptVT_Edit = new QLineEdit(ATree->viewport());
    FOptVT_Edit->hide();
    FOptVT_Edit->installEventFilter(this);
    // The button takes the focus when pressed: without it, the press gave
    // the focus to the tree, which ended the edit and hid the button
    // before its release. Tab goes from the box to the button.
    FOptVT_Button = new QPushButton(QStringLiteral("..."), ATree->viewport());
    FOptVT_Button->hide();
    FOptVT_Button->setFocusPolicy(Qt::StrongFocus);
    FOptVT_Button->installEventFilter(this);
    connect(FOptVT_Button, &QPushButton::clicked, this, [this] { FPage->OpenSettings(); });
    QWidget::setTabOrder(ATree, FOptVT_Edit);
    QWidget::setTabOrder(FOptVT_Edit, FOptVT_Button);
  }
  const bool readOnly = ARow != kRowIgnoreDays;
  FOptVT_Edit->setReadOnly(readOnly);
  // A box that ignores typing must not look like one that takes it.
  QPalette look = ATree->palette();
  if (readOnly) look.setColor(QPalette::Base, look.color(QPalette::Window));
  FOptVT_Edit->setPalette(look);
  RefreshNames();
  FPreparedEdit = true;
  return true;
}

void TOptVTEditor::RefreshNames() {
  if (FOptVT_Edit == nullptr) return;
  if (FNode >= 0 && FNode < static_cast<int>(FPage->OptModel()->Rows().size())) {
    FOptVT_Edit->setAccessibleName(
        NameFromLabel(Text(FPage->OptModel()->Rows()[static_cast<std::size_t>(FNode)].OptTitle)));
  }
  FOptVT_Button->setAccessibleName(Text(STR_Main_HelpMenu_Setting));
  FOptVT_Button->setToolTip(FOptVT_Button->accessibleName());
}

bool TOptVTEditor::BeginEdit() {
  if (!FPreparedEdit) return false;
  FIsEditing = true;
  if (FColumn == 1) {
    FOptVT_Edit->setText(Text(FPage->OptModel()->Rows()[static_cast<std::size_t>(FNode)].OptDetails));
    SetBounds(FVirtualTree->visualRect(FPage->OptModel()->index(FNode, 1)));
    FOptVT_Edit->show();
    FOptVT_Edit->setFocus(Qt::OtherFocusReason);
    if (FOptVT_Edit->isReadOnly()) {
      FOptVT_Edit->setCursorPosition(0);
    } else {
      FOptVT_Edit->selectAll();
    }
    FOptVT_Button->setVisible(FNode != kRowIgnoreDays);
  }
  return true;
}

bool TOptVTEditor::EndEdit() {
  if (FPreparedEdit && FColumn == 1 && FNode >= 0) {
    TOptNodeDataClass& row = FPage->OptModel()->Rows()[static_cast<std::size_t>(FNode)];
    const std::string text = FOptVT_Edit->text().toStdString();
    if (FNode == kRowIgnoreDays) {
      row.OptDetails = std::to_string(ParseOptIgnoreDaysText(text));
    } else if (FNode == kRowFileAttr) {
      row.OptDetails = OptFileAttrText(ParseOptFileAttrText(text));
    } else if (FOptVT_Edit->text() != Text(row.OptDetails)) {
      // Only a changed text replaces the row's: the box shows a name that
      // is not UTF-8 readably, not as its bytes.
      row.OptDetails = text;
    }
    FPage->OptModel()->RowChanged(FNode);
  }
  FIsEditing = false;
  if (FOptVT_Edit != nullptr) {
    const bool hadFocus = FOptVT_Edit->hasFocus() || FOptVT_Button->hasFocus();
    FOptVT_Edit->hide();
    FOptVT_Button->hide();
    if (hadFocus && FVirtualTree->isVisible()) FVirtualTree->setFocus(Qt::OtherFocusReason);
  }
  return true;
}

bool TOptVTEditor::CancelEdit() {
  // Cancelling puts back the row's own text first: nothing typed is kept.
  if (FOptVT_Edit != nullptr && FNode >= 0) {
    FOptVT_Edit->setText(Text(FPage->OptModel()->Rows()[static_cast<std::size_t>(FNode)].OptDetails));
  }
  return EndEdit();
}

void TOptVTEditor::SetBounds(const QRect& R) {
  const int side = kOptRowHeight;
  FOptVT_Button->setGeometry(R.right() + 1 - side, R.top(), side, side);
  FOptVT_Edit->setGeometry(R.left(), R.top(), R.width() - (FNode != kRowIgnoreDays ? side : 0), R.height());
}

QRect TOptVTEditor::GetBounds() const {
  return {FOptVT_Edit->geometry().topLeft(), FOptVT_Button->geometry().bottomRight()};
}

bool TOptVTEditor::eventFilter(QObject* AWatched, QEvent* AEvent) {
  const bool box = AWatched == FOptVT_Edit, button = AWatched == FOptVT_Button;
  if ((!box && !button) || !FIsEditing) return QObject::eventFilter(AWatched, AEvent);
  if (AEvent->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(AEvent)->reason();
    QWidget* next = QApplication::focusWidget();
    // The settings dialog, a menu or another window took the focus for a
    // while: the box gets it back when they go. From the box to its
    // button or back, the edit goes on.
    if (frmPGCSettings != nullptr || reason == Qt::ActiveWindowFocusReason ||
        reason == Qt::PopupFocusReason || next == FOptVT_Edit || next == FOptVT_Button) {
      return false;
    }
    FPage->CommitEdit();
    EndEdit();
    return false;
  }
  if (AEvent->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(AEvent);
    const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (key->key() == Qt::Key_Escape && held == Qt::NoModifier) {
      CancelEdit();
      return true;
    }
    if (button && enter && held == Qt::NoModifier) {
      FOptVT_Button->click();
      return true;
    }
    if (box && FOptVT_Edit->isReadOnly() &&
        ((key->key() == Qt::Key_F4 && held == Qt::NoModifier) ||
         (key->key() == Qt::Key_Down && held == Qt::AltModifier))) {
      FPage->OpenSettings();
      return true;
    }
    if (box && held == Qt::NoModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
      const int next = FNode + (key->key() == Qt::Key_Up ? -1 : 1);
      if (next >= 0 && next < static_cast<int>(FPage->OptModel()->Rows().size())) {
        FVirtualTree->setCurrentIndex(FPage->OptModel()->index(next, 1));
        FPage->EditRow(next);
      }
      return true;
    }
  }
  if (!box) return QObject::eventFilter(AWatched, AEvent);
  switch (AEvent->type()) {
    case QEvent::MouseButtonPress:
      // A click into a read-only box that already has the focus opens the
      // dialog that edits its list.
      if (FOptVT_Edit->isReadOnly() && FOptVT_Edit->hasFocus()) {
        FPage->OpenSettings();
        return true;
      }
      break;
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(AEvent)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        FPage->CommitEdit();
        EndEdit();
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QObject::eventFilter(AWatched, AEvent);
}

// ---- the result list -----------------------------------------------------------------

void TExtScanModel::Clear() {
  FSortJob.Finish(false);
  beginResetModel();
  FRows.clear();
  FRows.shrink_to_fit();
  FShown = 0;
  FCheckedCount = 0;
  FCheckedSize = FTotalSize = 0;
  endResetModel();
}

void TExtScanModel::Add(TPGCExtCleanerScanFileItem* AItem) {
  FSortJob.Finish(true);
  FRows.push_back({AItem, true});
  ++FCheckedCount;
  FCheckedSize += AItem->FileSize();
  FTotalSize += AItem->FileSize();
}

void TExtScanModel::Flush() {
  if (FShown == FRows.size()) return;
  beginInsertRows({}, static_cast<int>(FShown), static_cast<int>(FRows.size()) - 1);
  FShown = FRows.size();
  endInsertRows();
}

void TExtScanModel::SetAllChecked(bool AChecked) {
  for (TRow& r : FRows) r.checked = AChecked;
  FCheckedCount = AChecked ? FRows.size() : 0;
  FCheckedSize = AChecked ? FTotalSize : 0;
  if (FShown > 0) emit dataChanged(index(0), index(static_cast<int>(FShown) - 1), {Qt::CheckStateRole});
}

void TExtScanModel::RemoveRows(const std::vector<std::size_t>& APositions) {
  // The positions are those of the rows as they stand: an order still
  // being worked out is dropped, and worked out again afterwards.
  const bool resort = FSortJob.Finish(false);
  RemoveRowsAt(APositions);
  if (resort) Resort();
}

void TExtScanModel::RemoveRowsAt(const std::vector<std::size_t>& APositions) {
  std::size_t runs = 0;
  ForEachRunLastFirst(APositions, [&](std::size_t, std::size_t) { ++runs; });
  if (runs > kMostRunsRemovedOneByOne) {
    beginResetModel();
    FShown -= static_cast<std::size_t>(std::lower_bound(APositions.begin(), APositions.end(), FShown) -
                                       APositions.begin());
    EraseAt(FRows, APositions, [&](const TRow& r) {
      FTotalSize -= r.item->FileSize();
      if (r.checked) {
        --FCheckedCount;
        FCheckedSize -= r.item->FileSize();
      }
    });
    endResetModel();
    return;
  }
  ForEachRunLastFirst(APositions, [&](std::size_t first, std::size_t last) {
    const bool inView = first < FShown;
    const std::size_t viewLast = inView ? std::min(last, FShown - 1) : 0;
    if (inView) beginRemoveRows({}, static_cast<int>(first), static_cast<int>(viewLast));
    for (std::size_t p = first; p <= last; ++p) {
      FTotalSize -= FRows[p].item->FileSize();
      if (FRows[p].checked) {
        --FCheckedCount;
        FCheckedSize -= FRows[p].item->FileSize();
      }
    }
    FRows.erase(FRows.begin() + static_cast<std::ptrdiff_t>(first),
                FRows.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    if (inView) {
      FShown -= viewLast - first + 1;
      endRemoveRows();
    }
  });
}

int TExtScanModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FShown);
}

int TExtScanModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QModelIndex TExtScanModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || static_cast<std::size_t>(row) >= FShown || column < 0 || column >= kColumns) {
    return {};
  }
  return createIndex(row, column);
}

QVariant TExtScanModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= FShown) return {};
  const TRow& r = FRows[static_cast<std::size_t>(index.row())];
  // Names are bytes: shown readably, deleted by the bytes the scan kept.
  switch (role) {
    case Qt::CheckStateRole:
      return index.column() == colName ? QVariant(r.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::DisplayRole:
      switch (index.column()) {
        case colName: return Text(ShownPath(r.item->FileName()));
        case colFolder: {
          std::string folder = r.item->Path();
          if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
          return Text(ShownPath(folder));
        }
        default: return Text(FormatSize64(static_cast<std::int64_t>(r.item->FileSize())));
      }
    case Qt::TextAlignmentRole:
      return index.column() == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ToolTipRole:
      return index.column() == colSize ? QVariant() : QVariant(Text(ShownPath(r.item->FullFileName())));
    default: return {};
  }
}

QVariant TExtScanModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return FoundFilesHeader(section, orientation, role);
}

void TExtScanModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumns) {
    FSortJob.Finish(false);
    FSortColumn = -1;
    return;
  }
  FSortColumn = column;
  FSortOrder = order;
  Flush();
  if (FRows.size() < 2) return;
  const bool descending = order == Qt::DescendingOrder;
  if (FRows.size() < TSortJob::kInBackgroundFrom) {
    FSortJob.Finish(false);
    PutInOrder(SortedOrder(column, descending, nullptr));
    return;
  }
  // The job reads the rows' items and nothing the window changes meanwhile
  // (a check mark is a field of its own, and moves with its row when the
  // order is put in place). A newer order replaces one not yet in place.
  FSortJob.Start(
      this, [this, column, descending](const std::atomic<bool>& AStop) { FSorted = SortedOrder(column, descending, &AStop); },
      [this](bool AApply) {
        const std::vector<std::uint32_t> positions = std::move(FSorted);
        FSorted = {};
        if (AApply) PutInOrder(positions);
      });
}

std::vector<std::uint32_t> TExtScanModel::SortedOrder(int AColumn, bool ADescending,
                                                      const std::atomic<bool>* AStop) const {
  // The folders of the rows, by their ids (1 for the first of a scan),
  // ranked by their names from the top of the tree; a row without a
  // folder comes first.
  std::vector<const TPGCExtCleanerScanPathItem*> folders;
  for (const TRow& r : FRows) {
    for (const TPGCExtCleanerScanPathItem* f = r.item->PathItem(); f != nullptr; f = f->Parent()) {
      if (folders.size() < f->ID()) folders.resize(f->ID());
      if (folders[f->ID() - 1] == f) break;
      folders[f->ID() - 1] = f;
    }
  }
  if (AStop != nullptr && *AStop) return {};
  const std::vector<std::uint32_t> ranks = FolderPathRanks(
      folders.size(),
      [&](std::size_t i) -> std::size_t {
        const TPGCExtCleanerScanPathItem* p = folders[i] != nullptr ? folders[i]->Parent() : nullptr;
        return p != nullptr ? p->ID() - 1 : SIZE_MAX;
      },
      [&](std::size_t i) { return folders[i] != nullptr ? std::string_view(folders[i]->Name()) : std::string_view(); });
  if (AStop != nullptr && *AStop) return {};
  const auto rankOf = [&](const TRow& r) -> std::uint64_t {
    const TPGCExtCleanerScanPathItem* f = r.item->PathItem();
    return f == nullptr ? 0 : std::uint64_t{ranks[f->ID() - 1]} + 1;
  };
  return SortedPositions(
      FRows, AColumn, ADescending, rankOf, [](const TRow& r) { return std::string_view(r.item->FileName()); },
      [](const TRow& r) { return r.item->FileSize(); });
}

void TExtScanModel::PutInOrder(const std::vector<std::uint32_t>& APositions) {
  if (APositions.size() != FRows.size()) return;
  const std::vector<std::uint32_t>& positions = APositions;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // Indexes the view keeps (the current row, a selection) follow their
  // rows.
  const QModelIndexList persistent = persistentIndexList();
  if (!persistent.isEmpty()) {
    std::vector<std::uint32_t> newRow(FRows.size());
    for (std::size_t k = 0; k < positions.size(); ++k) newRow[positions[k]] = static_cast<std::uint32_t>(k);
    for (const QModelIndex& i : persistent) {
      changePersistentIndex(i, createIndex(static_cast<int>(newRow[static_cast<std::size_t>(i.row())]), i.column()));
    }
  }
  ApplyOrder(FRows, positions);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool TExtScanModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole) return false;
  TRow& r = FRows[static_cast<std::size_t>(index.row())];
  const bool checked = value.toInt() == Qt::Checked;
  if (r.checked == checked) return true;
  r.checked = checked;
  if (checked) {
    ++FCheckedCount;
    FCheckedSize += r.item->FileSize();
  } else {
    --FCheckedCount;
    FCheckedSize -= r.item->FileSize();
  }
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit checksChanged();
  return true;
}

Qt::ItemFlags TExtScanModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  const Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return index.column() == colName ? f | Qt::ItemIsUserCheckable : f;
}

// ---- the page --------------------------------------------------------------------------

TPGCForm_ExtTab::TPGCForm_ExtTab(TfrmPGC* AWindow)
    : FWindow(AWindow),
      FPurgo(AWindow->ExtCleaner()),
      FOptVT(AWindow->lstExtOptions),
      FScanVT(AWindow->lstExtScan),
      FOptModel(new TOptModel(AWindow->lstExtOptions)),
      FScanModel(new TExtScanModel(AWindow->lstExtScan)) {
  FOptVT->setModel(FOptModel);
  FOptVT->setItemDelegate(new TOptDelegate(FOptVT));
  FOptVT->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The details take whatever width the window gives the tree.
  FOptVT->header()->setStretchLastSection(true);
  FOptVT->header()->resizeSection(0, 188);
  connect(FOptVT->header(), &QHeaderView::sectionResized, this, [this] {
    if (FOptVTEditor && FOptVTEditor->IsEditing()) {
      FOptVTEditor->SetBounds(FOptVT->visualRect(FOptModel->index(FOptVTEditor->Node(), 1)));
    }
  });
  connect(FOptVT, &QAbstractItemView::clicked, this, &TPGCForm_ExtTab::OptVT_OnClick);
  FOptVT->installEventFilter(this);
  connect(FOptVT->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { OptVT_OnChange(current); });
  FScanVT->setModel(FScanModel);
  SetUpFileColumns(FScanVT);
  connect(FScanModel, &TExtScanModel::checksChanged, this, &TPGCForm_ExtTab::UpdateResultButtons);
  FWindow->Pages.ExtScan = [this] { Scan(); };
  // Thousands of files across the home folder may be ticked: the page
  // asks first, as the traces page does.
  FWindow->Pages.ExtClean = [this] {
    if (ConfirmClean()) Clean();
  };
  ReinitOptVT();
  UpdateResultButtons();
}

TPGCForm_ExtTab::~TPGCForm_ExtTab() {
  FPurgo->SetOnBeginScan(nullptr);
  FPurgo->SetOnScanning(nullptr);
  FPurgo->SetOnEndScan(nullptr);
}

void TPGCForm_ExtTab::ReinitOptVT() {
  if (AppOptions == nullptr) return;
  FOptDirList = TickedOptionDirs();
  FOptExtList = TickedOptionExts();
  FOptFileAttr = AppOptions->FileAttribute();
  FOptIgnoreDays = AppOptions->IgnoreInDays();
  FOptModel->SetRows({{1, STR_PGCForm_ExtTab_OptVT_DirTitle, OptDirText(FOptDirList)},
                      {2, STR_PGCForm_ExtTab_OptVT_ExtTitle, OptExtText(FOptExtList)},
                      {4, STR_PGCForm_ExtTab_OptVT_FileAttr, OptFileAttrText(FOptFileAttr)},
                      {8, STR_PGCForm_ExtTab_OptVT_IgnoreDays, std::to_string(FOptIgnoreDays)}});
  UpdateScanButton();
}

void TPGCForm_ExtTab::ClearOptVT() {
  if (FOptModel->Rows().empty()) return;
  if (FOptVTEditor) {
    // A days text still in the box counts as left.
    if (FOptVTEditor->IsEditing()) CommitEdit();
    FOptVTEditor->SetPreparedEdit(false);
  }
  if (AppOptions != nullptr) {
    for (int i = 0; i < AppOptions->DirListCount(); ++i) AppOptions->SetDirChecked(i, false);
    for (const auto& [path, include] : FOptDirList) {
      int found = -1;
      for (int i = 0; i < AppOptions->DirListCount() && found < 0; ++i) {
        if (SamePathCompare(AppOptions->DirText(i), path) == 0) found = i;
      }
      if (found >= 0) {
        AppOptions->SetDirIncludeSub(found, include);
        AppOptions->SetDirChecked(found, true);
      } else {
        AppOptions->AddDir(path, include, true);
      }
    }
    for (int i = 0; i < AppOptions->ExtListCount(); ++i) AppOptions->SetExtChecked(i, false);
    for (const std::string& ext : FOptExtList) {
      int found = -1;
      for (int i = 0; i < AppOptions->ExtListCount() && found < 0; ++i) {
        if (SameAsciiText(AppOptions->ExtText(i), ext)) found = i;
      }
      if (found >= 0) {
        AppOptions->SetExtChecked(found, true);
      } else {
        // An ending the user typed is one of theirs: ticked, and kept
        // among the defaults that Select All and a reset bring back.
        AppOptions->AddExt(ext, true, true);
      }
    }
    AppOptions->SetFileAttribute(FOptFileAttr);
    AppOptions->SetIgnoreInDays(FOptIgnoreDays);
  }
  FOptModel->SetRows({});
}

void TPGCForm_ExtTab::ReinitScanVT() { FScanModel->Clear(); }

void TPGCForm_ExtTab::ClearScanVT() { FScanModel->Clear(); }

void TPGCForm_ExtTab::RefreshMultiLangs() {
  auto& rows = FOptModel->Rows();
  const std::array<const std::string*, 4> titles = {&STR_PGCForm_ExtTab_OptVT_DirTitle,
                                                    &STR_PGCForm_ExtTab_OptVT_ExtTitle,
                                                    &STR_PGCForm_ExtTab_OptVT_FileAttr,
                                                    &STR_PGCForm_ExtTab_OptVT_IgnoreDays};
  for (std::size_t i = 0; i < rows.size() && i < titles.size(); ++i) {
    rows[i].OptTitle = *titles[i];
    FOptModel->RowChanged(static_cast<int>(i));
  }
  if (FOptVTEditor) FOptVTEditor->RefreshNames();
  emit FScanModel->headerDataChanged(Qt::Horizontal, 0, TExtScanModel::kColumns - 1);
  UpdateResultButtons();
  if (FProgressForm) FProgressForm->RefreshMultiLangs();
}

void TPGCForm_ExtTab::CheckAll(bool AChecked) {
  FScanModel->SetAllChecked(AChecked);
  UpdateResultButtons();
}

void TPGCForm_ExtTab::UpdateScanButton() {
  FWindow->btnExtScan->setEnabled(!FOptDirList.empty() && !FOptExtList.empty());
}

void TPGCForm_ExtTab::UpdateResultButtons() {
  const bool rows = FScanModel->rowCount() > 0;
  const bool checked = rows && FScanModel->CheckedCount() > 0;
  FWindow->btnExtClean->setEnabled(checked && !FBusy);
  FWindow->lblExtSelectNone->setEnabled(checked);
  // Ticking everything again must stay one click away after unticking
  // every row, so Select All follows the rows, not the ticks.
  FWindow->lblExtSelectAll->setEnabled(rows);
  SetTickedCaption(FWindow->lblExtTicked, rows, static_cast<std::int64_t>(FScanModel->CheckedCount()),
                   static_cast<std::int64_t>(FScanModel->CheckedSize()));
}

bool TPGCForm_ExtTab::ConfirmClean() {
  const QString question = CleanQuestion(STR_PGCForm_7, static_cast<std::int64_t>(FScanModel->CheckedCount()),
                                         static_cast<std::int64_t>(FScanModel->CheckedSize()));
  return ShowMessageBox(FWindow, question, Text(STR_Question), 0, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// ---- editing -----------------------------------------------------------------------------

void TPGCForm_ExtTab::OptVT_OnClick(const QModelIndex& AIndex) {
  if (AIndex.isValid() && AIndex.column() == 1) EditRow(AIndex.row());
}

void TPGCForm_ExtTab::OptVT_OnChange(const QModelIndex& ACurrent) {
  if (!ACurrent.isValid() || FOptModel->Rows().empty()) return;
  // Moving from one edited row to another keeps editing.
  if (FOptVTEditor && FOptVTEditor->IsEditing() && FOptVTEditor->Node() != ACurrent.row()) {
    EditRow(ACurrent.row());
  }
}

bool TPGCForm_ExtTab::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == FOptVT && AEvent->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(AEvent);
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_F2:
      case Qt::Key_Space:
      case Qt::Key_Right:
        if (!plain || FOptModel->Rows().empty()) break;
        EditRow(FOptVT->currentIndex().isValid() ? FOptVT->currentIndex().row() : 0);
        return true;
      default:
        break;
    }
  }
  return QObject::eventFilter(AWatched, AEvent);
}

void TPGCForm_ExtTab::EditRow(int ARow) {
  if (ARow < 0 || ARow >= static_cast<int>(FOptModel->Rows().size())) return;
  if (!FOptVTEditor) FOptVTEditor = std::make_unique<TOptVTEditor>(this);
  if (FOptVTEditor->IsEditing()) {
    if (FOptVTEditor->Node() == ARow) return;
    CommitEdit();
    FOptVTEditor->EndEdit();
  }
  FOptVTEditor->PrepareEdit(FOptVT, ARow, 1);
  FOptVTEditor->BeginEdit();
}

void TPGCForm_ExtTab::CommitEdit() {
  if (!FOptVTEditor || FOptVTEditor->FOptVT_Edit == nullptr) return;
  const int row = FOptVTEditor->Node();
  if (row < 0 || row >= static_cast<int>(FOptModel->Rows().size())) return;
  QLineEdit* edit = FOptVTEditor->FOptVT_Edit;
  const std::string text = edit->text().toStdString();
  std::string shown;
  switch (row) {
    case kRowDir:
      // The box is read-only: reading back the list's own text would only
      // split a folder whose name holds ";" or "|", and spoil one whose
      // name is not UTF-8 (the box shows it readably, not as its bytes).
      if (edit->text() != Text(OptDirText(FOptDirList))) FOptDirList = ParseOptDirText(text);
      shown = OptDirText(FOptDirList);
      UpdateScanButton();
      break;
    case kRowExt:
      if (edit->text() != Text(OptExtText(FOptExtList))) FOptExtList = ParseOptExtText(text);
      shown = OptExtText(FOptExtList);
      UpdateScanButton();
      break;
    case kRowFileAttr: {
      // Bits without a token (0x8, 0x10 ...) do not survive the text: an
      // unchanged box must not take them from the options.
      if (edit->text() == Text(OptFileAttrText(FOptFileAttr))) {
        shown = text;
        break;
      }
      const std::uint32_t v = ParseOptFileAttrText(text);
      if (AppOptions != nullptr) AppOptions->SetFileAttribute(v);
      FOptFileAttr = v | 0x10;
      shown = OptFileAttrText(v);
      break;
    }
    case kRowIgnoreDays: {
      const std::int32_t d = ParseOptIgnoreDaysText(text);
      if (AppOptions != nullptr) AppOptions->SetIgnoreInDays(d);
      FOptIgnoreDays = d;
      shown = std::to_string(d);
      break;
    }
    default:
      return;
  }
  edit->setText(Text(shown));
  FOptModel->Rows()[static_cast<std::size_t>(row)].OptDetails = shown;
  FOptModel->RowChanged(row);
}

bool TPGCForm_ExtTab::OpenSettings() {
  if (!FOptVTEditor || AppOptions == nullptr) return false;
  const int row = FOptVTEditor->Node();
  if (row != kRowDir && row != kRowExt && row != kRowFileAttr) return false;
  const TSettingsTab tab = row == kRowDir ? TSettingsTab::Dir : row == kRowExt ? TSettingsTab::Ext
                                                                                : TSettingsTab::FileAttr;
  TExtPageLists lists;
  lists.Dirs = FOptDirList;
  lists.Exts = FOptExtList;
  if (!ShowPGCSettings(FWindow, tab, lists)) return false;
  std::string shown;
  if (row == kRowDir) {
    FOptDirList = TickedOptionDirs();
    shown = OptDirText(FOptDirList);
  } else if (row == kRowExt) {
    FOptExtList = TickedOptionExts();
    shown = OptExtText(FOptExtList);
  } else {
    FOptFileAttr = AppOptions->FileAttribute();
    shown = OptFileAttrText(FOptFileAttr);
  }
  if (FOptVTEditor->FOptVT_Edit != nullptr) FOptVTEditor->FOptVT_Edit->setText(Text(shown));
  FOptModel->Rows()[static_cast<std::size_t>(row)].OptDetails = shown;
  FOptModel->RowChanged(row);
  UpdateScanButton();
  return true;
}

// ---- scanning and cleaning ----------------------------------------------------------------

void TPGCForm_ExtTab::Scan() {
  if (FBusy) return;
  FBusy = true;
  FWindow->btnExtClean->setEnabled(false);
  // The cleaner frees the previous scan's items when the next one starts:
  // the list lets go of them first.
  ReinitScanVT();
  FProgressForm = std::make_unique<TfrmPGCProgress>();
  FProgressForm->SetCommand(0);
  FProgressForm->SetPurgo(FPurgo);
  FPace.Restart();
  FScanningCounter = 0;
  FProgressForm->OnStart = [this](TfrmPGCProgress* d) {
    FPurgo->SetOnScanning([this](TPGCExtCleanerScanFileItem* item) { OnScanning(item); });
    FPurgo->SetOnBeginScan([this](TPGCBaseCleaner*) {
      if (!FProgressForm) return;
      FProgressForm->Status().Reload(&STR_PGCProgressForm_2);
      FProgressForm->SetPercentage(0);
      FProgressForm->RefreshStatus();
    });
    FPurgo->SetOnEndScan([this](TPGCBaseCleaner*) {
      FScanModel->Flush();
      if (!FProgressForm) return;
      FProgressForm->Status().Reload(&CountText(FPurgo->ScanTotalFilesCount(), STR_PGCForm_5, STR_PGCForm_5_One),
                                     {FPurgo->ScanTotalFilesCount(), FormatSize64(FPurgo->ScanTotalFilesSize())});
      FProgressForm->RefreshStatus();
      FProgressForm->EndProgress();
    });
    TPGCExtScanOption& options = *FPurgo->ScanOptions();
    options.SetFileAttribute(FOptFileAttr);
    options.SetIgnoreInDays(FOptIgnoreDays);
    options.ClearDirs();
    for (const auto& [path, include] : FOptDirList) options.AddDir(path, include);
    options.ClearExts();
    for (const std::string& ext : FOptExtList) options.AddExt(ext);
    FPurgo->DoScan(kScanOtherFiles);
    d->close();
  };
  FProgressForm->OnCancel = [this](TfrmPGCProgress*, bool& canClose) {
    FPurgo->StopScan();
    canClose = false;
  };
  DoModal(FProgressForm.get(), FWindow, true);
  FScanModel->Flush();
  // Rows arrive in the scan's order; the order the user chose is put
  // back once, when they are all in.
  FScanModel->Resort();
  FProgressForm.reset();
  FBusy = false;
  UpdateResultButtons();
}

void TPGCForm_ExtTab::OnScanning(TPGCExtCleanerScanFileItem* AItem) {
  if (FScanningCounter > 30) {
    FScanningCounter = 0;
    platform::ProcessMessages();
  }
  ++FScanningCounter;
  FScanModel->Add(AItem);
  FPace.Tick();
  if (FPace.FlushDue()) {
    FScanModel->Flush();
    UpdateResultButtons();
  }
  if (FProgressForm && FPace.DrawDue()) {
    FProgressForm->Status().Reload(
        &CountText(FPurgo->ScanTotalFilesCount(), STR_PGCForm_4, STR_PGCForm_4_One),
        {FPurgo->ScanTotalFilesCount(), FormatSize64(FPurgo->ScanTotalFilesSize()), ShownPath(AItem->FullFileName())});
    FProgressForm->RefreshStatus();
  }
}

void TPGCForm_ExtTab::Clean() {
  if (FBusy) return;
  FBusy = true;
  FWindow->btnExtClean->setEnabled(false);
  FProgressForm = std::make_unique<TfrmPGCProgress>();
  FProgressForm->SetCommand(1);
  FProgressForm->OnStart = [this](TfrmPGCProgress* d) { CleaningPass(d); };
  // During the pass Cancel stops it after the files in hand and the dialog
  // stays to tell what was deleted; afterwards it closes the dialog.
  FProgressForm->OnCancel = [this](TfrmPGCProgress*, bool& canClose) {
    canClose = !FCleaning;
    if (FCleaning) FStopCleaning = true;
  };
  FProgressForm->SetPurgo(FPurgo);
  FPurgo->SetCleanTotalFilesSize(0);
  FPurgo->SetCleanTotalFilesCount(0);
  // The pass runs inside the dialog's loop: the main window stays
  // disabled until it returns.
  DoModal(FProgressForm.get(), FWindow, true);
  FProgressForm.reset();
  FBusy = false;
  UpdateResultButtons();
}

void TPGCForm_ExtTab::CleaningPass(TfrmPGCProgress* ADialog) {
  // The pass goes by position while the event loop runs: the rows must
  // not be put in a new order under it.
  FScanModel->FinishSort();
  auto& rows = FScanModel->Rows();
  const std::int64_t total = static_cast<std::int64_t>(FScanModel->CheckedCount());
  FCleaning = true;
  FStopCleaning = false;
  // Outcomes come back in the rows' order, so the rows gone come sorted.
  TCleaningPass pass(ADialog, FPurgo, total, FStopCleaning,
                     [&rows](std::size_t ARow) { return rows[ARow].item->FileSize(); });
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].checked) continue;
    platform::ProcessMessages();
    if (FStopCleaning) break;
    const TPGCExtCleanerScanFileItem* item = rows[i].item;
    // Only a file the scan recorded where it found it is ever deleted; an
    // item without that record is never deleted by its shown name.
    if (item != nullptr && item->FileId().IsKnown()) {
      pass.Add(item->Target(), i);
    } else {
      pass.Handled();
    }
  }
  pass.Finish();
  const bool deleted = pass.AnyDeleted();
  const std::vector<std::size_t> gone = pass.TakeGone();
  FCleaning = false;
  FScanModel->RemoveRows(gone);
  UpdateResultButtons();
  if (deleted && AppOptions != nullptr) AppOptions->SetLastCleanTime(GetSystemTimeAsFileTime());
  pass.ShowStatus();
  ADialog->EndProgress(FStopCleaning);
}

}  // namespace purgo
