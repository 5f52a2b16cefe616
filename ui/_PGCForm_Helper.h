// SPDX-License-Identifier: GPL-3.0-or-later
// What every window of the program uses to show itself over the main
// window: the modal display, the message box and bringing a window to the
// front.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "controls/QWLabel.h"
#include "platform/DeletionQueue.h"

class QTreeView;
class QWindow;

namespace purgo {

class TfrmPGCProgress;
class TPGCBaseCleaner;

// Windows message-box codes, kept as the interface: the low four bits of
// the type pick the buttons, the next four the icon.
inline constexpr int MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2,
                     MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5;
inline constexpr int MB_ICONHAND = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
                     MB_ICONASTERISK = 0x40;
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
                     IDNO = 7;

// A string of the program (UTF-8, or a file name's bytes) as shown: an
// invalid sequence reads as U+FFFD.
inline QString Text(std::string_view AText) {
  return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size()));
}

// APath as a window shows it: whole up to 4 KiB; longer, its first and
// last parts around " … ". Laying out a path of megabytes (a tree
// thousands of folders deep) took Qt seconds per row or status line, and
// no screen shows it whole. Cuts fall between UTF-8 sequences.
std::string ShownPath(std::string_view APath);

// A label's caption as the name of the control it stands above, for
// assistive technologies: without the colon that ends it ("Options:"
// names the list "Options").
QString NameFromLabel(const QString& ALabel);

// Tab goes through AWidgets in this order (what the eye reads), whatever
// order they were made in.
void ChainTabOrder(std::initializer_list<QWidget*> AWidgets);

// Both pages list found files in three columns, in this order.
enum TFoundFilesColumn { colFoundName = 0, colFoundFolder = 1, colFoundSize = 2, kFoundFilesColumns = 3 };
// The header of such a list: the columns' names, sizes to the right, and
// sizes sorted largest first on the first click.
QVariant FoundFilesHeader(int ASection, Qt::Orientation AOrientation, int ARole);

// Shows AForm modally over AMainWindow and returns the form's modal result
// once the form is hidden. The main window is disabled meanwhile and is
// brought to the front again afterwards. Returns 0 at once, showing
// nothing, when either window is missing, the main window is not visible
// or is itself modal, or already has a modal child: one at a time. The
// control that had the focus in the main window has it again afterwards.
// ACenter centres the form over the main window.
int DoModal(QWidget* AForm, QWidget* AMainWindow, bool ACenter);

// Shows a message box with the buttons and icon of the Windows type code
// ABoxType and returns the code of the button pressed (IDYES ...): the
// skinned box below, modal over AOwner's window. Enter presses the first
// button, Escape and the title bar's close button mean what Escape means
// for the type (No, Cancel, or OK for a box with OK alone). The language
// id is accepted for the call's shape; the buttons speak the current
// language.
int ShowMessageBox(QWidget* AOwner, const QString& AText, const QString& ACaption,
                   int ALanguageID, int ABoxType);

class TQelImageButton;

// The message box drawn like the program's other dialogs: a title band
// with the logo, the caption and a close button, an icon of our own, the
// text, and skinned buttons whose captions come from the string table.
class TfrmMessageBox : public QWidget {
  Q_OBJECT

 public:
  TfrmMessageBox(const QString& AText, const QString& ACaption, int ABoxType);

  // The buttons, left to right; Buttons()[i] returns Codes()[i].
  const std::vector<TQelImageButton*>& Buttons() const { return FButtons; }
  const std::vector<int>& Codes() const { return FCodes; }
  // What Escape, the close button and closing by other means answer.
  int EscapeCode() const { return FEscapeCode; }

  TQelImage* imgBackground;
  TQelTitleBar* lblTitleBar;
  TQelImageButton* btnClose;
  TQelImage* imgIcon;
  TQelLabel* lblText;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  std::vector<TQelImageButton*> FButtons;
  std::vector<int> FCodes;
  int FEscapeCode;
};

// The font every window of the current language draws in: ADesigned (its
// size and style) in the family of the language's font scheme, so that a
// window never mixes the desktop's face with the scheme's.
QFont LanguageFont(const QFont& ADesigned);

// Keeps controls where they were designed while their parents grow past
// the size they were designed for: an edge anchored to the parent's right
// or bottom follows it; a control anchored to both sides of a direction
// grows with the parent. Changes made to a control meanwhile (a link
// moved after a new caption) are kept: only the growth is applied.
class TAnchors : public QObject {
 public:
  enum : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

  explicit TAnchors(QObject* AOwner = nullptr) : QObject(AOwner) {}
  // AParentDesigned: the size of AControl's parent its place was made for
  // (never shrunk below: it is the smallest size the parent takes).
  void Add(QWidget* AControl, unsigned AAnchors, QSize AParentDesigned);

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  struct TParent {
    QPointer<QWidget> widget;
    QSize designed, applied;
    std::vector<std::pair<QPointer<QWidget>, unsigned>> controls;
  };
  std::vector<TParent> FParents;
};

// Resizes a frameless window from its edges and corners: the window
// manager does it where it can (QWindow::startSystemResize); without one,
// the window follows the pointer itself, never below its minimum size.
// Nothing happens while the window is maximised or of a fixed size.
class TEdgeResizer : public QObject {
 public:
  static constexpr int kBorder = 5;

  explicit TEdgeResizer(QWidget* AWindow);
  // The edges at a point of the window (its own coordinates).
  Qt::Edges EdgesAt(QPoint APos) const;

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  bool Resizable() const;
  void ShowCursorFor(Qt::Edges AEdges);

  QWidget* FWindow;
  QPointer<QWindow> FHandle;
  Qt::Edges FDragging;
  QPoint FPressGlobal;
  QRect FStartGeometry;
  bool FCursorSet = false;
};

// Names of files and folders in the order people read lists in: ASCII
// letters without regard to case first, then the bytes, so that the order
// is total and the same on every run.
int CompareNames(std::string_view A, std::string_view B);

// The rank of every folder of a tree in the order of the folders' full
// paths, compared name by name from the top (so a folder comes right
// before everything below it). AParentOf(i) is a folder's parent, or
// ACount or more for a top folder; ANameOf(i) its name (a top folder's
// whole text). Costs a few words per folder, not per file, and builds no
// path.
template <class ParentOf, class NameOf>
std::vector<std::uint32_t> FolderPathRanks(std::size_t ACount, ParentOf AParentOf, NameOf ANameOf) {
  // Children of each folder, top folders under a virtual root at ACount.
  std::vector<std::uint32_t> first(ACount + 2, 0), children(ACount);
  const auto parentOf = [&](std::size_t i) -> std::size_t {
    const std::size_t p = AParentOf(i);
    return p < ACount ? p : ACount;
  };
  for (std::size_t i = 0; i < ACount; ++i) ++first[parentOf(i) + 1];
  std::partial_sum(first.begin(), first.end(), first.begin());
  {
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < ACount; ++i) children[fill[parentOf(i)]++] = static_cast<std::uint32_t>(i);
  }
  for (std::size_t p = 0; p <= ACount; ++p) {
    std::sort(children.begin() + first[p], children.begin() + first[p + 1], [&](std::uint32_t a, std::uint32_t b) {
      const int c = CompareNames(ANameOf(a), ANameOf(b));
      return c != 0 ? c < 0 : a < b;
    });
  }
  // Depth first, without recursion: a chain may be thousands deep.
  std::vector<std::uint32_t> rank(ACount), stack;
  std::uint32_t next = 0;
  const auto push = [&](std::size_t p) {
    for (std::uint32_t k = first[p + 1]; k > first[p]; --k) stack.push_back(children[k - 1]);
  };
  push(ACount);
  while (!stack.empty()) {
    const std::uint32_t f = stack.back();
    stack.pop_back();
    rank[f] = next++;
    push(f);
  }
  return rank;
}

// The first eight bytes of a name as CompareNames orders them (ASCII
// letters folded), big-endian: names whose keys differ compare as their
// keys do, so a sort touches the names themselves only for equal keys.
std::uint64_t NameKey(std::string_view AName);

// The positions of ARows in the order of a file list's column (0 name,
// 1 folder, 2 size) in the direction asked; rows equal there follow by
// folder, then name, always A to Z, and then by where they stood, so the
// order is the same on every run. ARankOf gives a row's folder rank
// (FolderPathRanks), ANameOf its name, ASizeOf its size. The sort runs
// over a compact key per row, in one block of memory: going through the
// rows themselves for every comparison took seconds for a million rows.
template <class Rows, class RankOf, class NameOf, class SizeOf>
std::vector<std::uint32_t> SortedPositions(const Rows& ARows, int AColumn, bool ADescending, RankOf ARankOf,
                                           NameOf ANameOf, SizeOf ASizeOf) {
  struct TKey {
    std::uint64_t size, name;
    std::uint32_t rank, at;
  };
  std::vector<TKey> keys(ARows.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto& row = ARows[i];
    keys[i] = {static_cast<std::uint64_t>(ASizeOf(row)), NameKey(ANameOf(row)),
               static_cast<std::uint32_t>(ARankOf(row)), static_cast<std::uint32_t>(i)};
  }
  const auto names = [&](const TKey& a, const TKey& b) {
    return a.name != b.name ? (a.name < b.name ? -1 : 1) : CompareNames(ANameOf(ARows[a.at]), ANameOf(ARows[b.at]));
  };
  const auto three = [](auto a, auto b) { return a < b ? -1 : b < a ? 1 : 0; };
  std::sort(keys.begin(), keys.end(), [&](const TKey& a, const TKey& b) {
    int c = AColumn == 0 ? names(a, b) : AColumn == 1 ? three(a.rank, b.rank) : three(a.size, b.size);
    if (c != 0) return ADescending ? c > 0 : c < 0;
    if (AColumn != 1) c = three(a.rank, b.rank);
    if (c == 0 && AColumn != 0) c = names(a, b);
    return c != 0 ? c < 0 : a.at < b.at;
  });
  std::vector<std::uint32_t> positions(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) positions[i] = keys[i].at;
  return positions;
}

// Puts AItems in the order AOrder gives (AItems[i] becomes the element
// that stood at AOrder[i]). The rows are gathered into a new list and the
// old one let go: a list of a million rows is copied once, for a moment,
// but the reads do not wait on one another. Following the permutation's
// cycles in place made every read wait for the one before: 90 to 400 ms
// for a million file-type rows on the loaded 2-core machine, where the
// gather takes 12 to 50 ms.
template <class C>
void ApplyOrder(C& AItems, const std::vector<std::uint32_t>& AOrder) {
  C ordered;
  if constexpr (requires { ordered.reserve(AItems.size()); }) ordered.reserve(AItems.size());
  for (const std::uint32_t at : AOrder) ordered.push_back(std::move(AItems[at]));
  AItems.swap(ordered);
}

// A long list is put in order on a thread of its own: sorting a million
// rows takes longer than a window may stop answering. The work reads the
// rows and leaves the new order where the model keeps it; the model puts
// it in place on the window's thread, through its event loop, once it is
// ready. While a job runs the model changes no row: whatever would change
// one first finishes the job (Finish) and so waits for it.
class TSortJob {
 public:
  using Work = std::function<void(const std::atomic<bool>&)>;
  using End = std::function<void(bool)>;
  // Lists shorter than this are sorted at once: it takes milliseconds.
  static constexpr std::size_t kInBackgroundFrom = 50000;

  TSortJob() = default;
  TSortJob(const TSortJob&) = delete;
  TSortJob& operator=(const TSortJob&) = delete;
  ~TSortJob() { Finish(false); }

  // Runs AWork on a thread, then AEnd(true) on AReceiver's thread, in its
  // event loop, unless Finish comes first. AWork may return early when
  // its argument turns true; AEnd(false) drops what it left (never called
  // for a job that did not start). A job under way is told to stop and
  // dropped when it has, without waiting for it here: this one starts
  // then (a second click on a header does not wait for the first sort).
  void Start(QObject* AReceiver, Work AWork, End AEnd);
  // Ends the work under way: waits for it, then puts its order in place
  // (AApply; the order asked for last, worked out here if it had not
  // started) or drops it. True when there was any.
  bool Finish(bool AApply);
  bool Running() const { return FThread.joinable(); }

 private:
  void Launch(QObject* AReceiver, Work AWork, End AEnd);
  // On the receiver's thread, once the job's thread has finished.
  void Done();

  std::thread FThread;
  std::atomic<bool> FStop{false};
  End FEnd;
  // Asked for while a job was under way: started when it has stopped.
  QObject* FNextReceiver = nullptr;
  Work FNextWork;
  End FNextEnd;
  std::uint64_t FGeneration = 0;
};

// The columns of a list of found files (name, folder, size): the folder
// takes the room the others leave, the size stands right-aligned; a click
// on a header sorts by that column, size largest first.
void SetUpFileColumns(QTreeView* AList);
// The ticked files' count and size under a list, as the user ticks;
// hidden while the list holds no file.
void SetTickedCaption(TQelLabel* ALabel, bool AShown, std::int64_t ACount, std::int64_t ASize);

// "Files ticked: 3 (1.20 KB)" in the current language.
QString TickedText(std::int64_t ACount, std::int64_t ASize);
// AQuestion followed by the ticked files' count and size.
QString CleanQuestion(const std::string& AQuestion, std::int64_t ACount, std::int64_t ASize);

// Restores a minimised window and raises and activates it. True when the
// window exists.
bool BringToFront(QWidget* AWindow);

// Tests answer message boxes here instead of a person: the hook gets the
// text, caption and type and returns the button code.
using MessageBoxHook = std::function<int(const QString& text, const QString& caption, int type)>;
void SetMessageBoxHookForTesting(MessageBoxHook hook);

// What a page does while a scan reports files, paced by one clock read per
// file: rows found are inserted into the view in batches, and the
// progress dialog's status is drawn at the screen's pace (what it shows
// then is what it would show after each file).
class TScanPace {
 public:
  static constexpr qint64 kFlushEveryMs = 200;
  static constexpr qint64 kDrawEveryMs = 40;
  // A cleaning pass hands its outcomes back to the window this many at a
  // time (about a tenth of a millisecond of deleting): the bar moves and
  // Cancel is seen, at a wake-up of the window per so many files.
  static constexpr std::size_t kCleanHandBackEvery = 16;

  void Restart() {
    FClock.invalidate();
    FNextFlush = FNextDraw = 0;
  }
  // Reads the clock; FlushDue and DrawDue then answer for this moment.
  void Tick() {
    if (!FClock.isValid()) FClock.start();
    FNow = FClock.elapsed();
  }
  bool FlushDue() { return Due(FNextFlush, kFlushEveryMs); }
  bool DrawDue() { return Due(FNextDraw, kDrawEveryMs); }

 private:
  bool Due(qint64& ANext, qint64 AEvery) {
    if (FNow < ANext) return false;
    ANext = FNow + AEvery;
    return true;
  }
  QElapsedTimer FClock;
  qint64 FNow = 0, FNextFlush = 0, FNextDraw = 0;
};

// A page's cleaning pass: the files go through a deletion queue, the
// window stays alive between outcomes and the progress dialog shows the
// count and size deleted, drawn at the screen's pace. `AStopping` is the
// page's Cancel flag: once set, the files not yet begun stay. `ASizeOf`
// gives the size of the row handed over with a tag.
class TCleaningPass {
 public:
  TCleaningPass(TfrmPGCProgress* ADialog, TPGCBaseCleaner* APurgo, std::int64_t ATotal,
                const bool& AStopping, std::function<std::uint64_t(std::size_t ARow)> ASizeOf);

  void Add(const platform::DeleteTarget& ATarget, std::size_t ARow) { FQueue.Add(ATarget, ARow); }
  // Rows handled without the queue (not deleted, or by other means).
  void Handled(std::int64_t ACount = 1);
  // Waits for every file handed over; after Cancel, for those begun.
  void Finish();
  // The rows deleted since the last call, ascending.
  std::vector<std::size_t> TakeGone() { return std::exchange(FGone, {}); }
  bool AnyDeleted() const { return FAnyDeleted; }
  // Draws the count and size deleted now (Handled does so at the
  // screen's pace; the end of the pass does it once more).
  void ShowStatus();

 private:
  TfrmPGCProgress* FDialog;
  TPGCBaseCleaner* FPurgo;
  std::int64_t FTotal;
  const bool& FStopping;
  std::function<std::uint64_t(std::size_t)> FSizeOf;
  std::int64_t FHandled = 0;
  bool FAnyDeleted = false;
  std::vector<std::size_t> FGone;
  QElapsedTimer FDrawn;
  platform::DeletionQueue FQueue;  // last: its handler uses the members above
};

// Calls AOnRun(first, last) for every run of consecutive positions in
// APositions (ascending), the last run first, so that removing a run
// leaves the positions before it valid.
template <class F>
void ForEachRunLastFirst(const std::vector<std::size_t>& APositions, F AOnRun) {
  for (std::size_t k = APositions.size(); k > 0;) {
    std::size_t last = APositions[--k], first = last;
    while (k > 0 && APositions[k - 1] + 1 == first) first = APositions[--k];
    AOnRun(first, last);
  }
}

// Removes the elements at APositions (ascending) in one pass, keeping the
// order of the rest; AOnErase sees each element before it goes.
template <class C, class F>
void EraseAt(C& AItems, const std::vector<std::size_t>& APositions, F AOnErase) {
  std::size_t kept = 0, k = 0;
  for (std::size_t r = 0; r < AItems.size(); ++r) {
    if (k < APositions.size() && APositions[k] == r) {
      AOnErase(AItems[r]);
      ++k;
      continue;
    }
    if (kept != r) AItems[kept] = std::move(AItems[r]);
    ++kept;
  }
  AItems.resize(kept);
}

// Rows removed after a cleaning pass are announced run by run while the
// runs are few; past this many, erasing run by run would move the rows
// after each run again and again, and the list is rebuilt in one pass.
inline constexpr std::size_t kMostRunsRemovedOneByOne = 32;

}  // namespace purgo
