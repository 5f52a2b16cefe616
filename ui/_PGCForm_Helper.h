// SPDX-License-Identifier: GPL-3.0-or-later
// What every window of the program uses to show itself over the main
// window: the modal display, the message box and bringing a window to the
// front.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace purgo {

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

// Shows AForm modally over AMainWindow and returns the form's modal result
// once the form is hidden. The main window is disabled meanwhile and is
// brought to the front again afterwards. Returns 0 at once, showing
// nothing, when either window is missing, the main window is not visible
// or is itself modal, or already has a modal child: one at a time. The
// control that had the focus in the main window has it again afterwards.
// ACenter centres the form over the main window.
int DoModal(QWidget* AForm, QWidget* AMainWindow, bool ACenter);

// Shows a message box with the buttons and icon of the Windows type code
// ABoxType and returns the code of the button pressed (IDYES ...). The
// language id is accepted for the call's shape; the texts decide.
int ShowMessageBox(QWidget* AOwner, const QString& AText, const QString& ACaption,
                   int ALanguageID, int ABoxType);

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
