// SPDX-License-Identifier: GPL-3.0-or-later
// The progress dialog that stands over the main window while one scan or
// one cleaning pass of a page runs. It does no work itself: its first
// timer tick (300 ms after it is shown) calls the owner's OnStart, which
// runs the work nested inside the tick and rewrites the status as it goes;
// its one button stops a scan or a cleaning pass (the owner decides, in
// OnCancel, whether the dialog closes), and closes it once the work is
// over.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

#include "controls/QWImageButton.h"
#include "controls/QWLabel.h"
#include "i18n/QSDynString.h"

class QProgressBar;

namespace purgo {

class TPGCBaseCleaner;

class TfrmPGCProgress : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmPGCProgress(QWidget* AOwner = nullptr);
  ~TfrmPGCProgress() override;

  // 0 scan, 1 clean; prepares the bar, the status and the button. Other
  // values are only stored.
  int Command() const { return FCommand; }
  void SetCommand(int Value);

  int Percentage() const;
  void SetPercentage(int Value);

  // The status as a string-table format with its arguments: the owner
  // reloads it during the work and calls RefreshStatus.
  TQelDynString& Status() { return FStatusDynString; }

  // Whose totals EndProgress reports; not owned, may be null.
  TPGCBaseCleaner* Purgo() const { return FPurgo; }
  void SetPurgo(TPGCBaseCleaner* v) { FPurgo = v; }

  // Run once, from the first timer tick after the dialog is shown.
  std::function<void(TfrmPGCProgress* Sender)> OnStart;
  // Run when the button is pressed; clearing ACanClose keeps the dialog.
  std::function<void(TfrmPGCProgress* Sender, bool& ACanClose)> OnCancel;

  // Renders the status and the button caption anew (numbers unchanged).
  void RefreshStatus();
  // Fonts from the font variables, then RefreshStatus.
  void RefreshMultiLangs();
  // The work is over: bar at 100, the button reads "Finished", and with a
  // cleaner the status tells its totals. A cleaning pass stopped by the
  // user leaves the bar where it was and says it was stopped.
  void EndProgress(bool AStopped = false);

  QProgressBar* prgProgress;
  TQelLabel* lblStatus;
  TQelImageButton* btnCancel;
  QTimer Timer;

 protected:
  void showEvent(QShowEvent* e) override;
  // Closing from outside while the work runs (the window manager, Alt+F4)
  // is the button's Cancel: OnCancel decides.
  void closeEvent(QCloseEvent* e) override;
  // The start step: runs OnStart.
  virtual void DoStart();

 private:
  void TimerTimer();
  void btnCancelClick();
  // The window and its bar are named by what the work is.
  void RefreshNames();

  TQelDynString FStatusDynString;
  TQelDynString FButtonDynString;
  int FCommand = 0;
  TPGCBaseCleaner* FPurgo = nullptr;
  bool FWorking = false;  // inside OnStart
};

}  // namespace purgo
