// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: two pages (application traces, file types) switched by
// two page buttons, a status line telling when the last cleaning was, and
// a Help menu with the language list. It opens at the size it had when it
// last closed, never below the designed size; the lists take the room it
// grows by. The pages' own work belongs to their
// controllers; the window forwards to them and does nothing for one that
// does not exist.
//
// Everything can be reached without a mouse: Tab goes through the page
// buttons, the page's lists, links and buttons in reading order; the title
// bar's buttons, which take no focus, have keys of their own (F10, Alt+H
// or the menu key for the Help menu, Alt+F4 to close, Alt+Space for a
// window menu with Minimize and Close; a window manager that takes these
// keys itself offers the same).
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "controls/QWImageButton.h"
#include "controls/QWLabel.h"
#include "engine/PurgoCore.h"

class QAction;
class QMenu;
class QStackedWidget;
class QTreeView;

namespace purgo {

class TAnchors;
class TEdgeResizer;
class TPGCForm_AppTab;
class TPGCForm_ExtTab;

class TfrmPGC : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmPGC(QWidget* AParent = nullptr);
  ~TfrmPGC() override;

  TPGCAppCleaner* AppCleaner() const { return FAppCleaner.get(); }
  TPGCExtCleaner* ExtCleaner() const { return FExtCleaner.get(); }

  // "No cleaning yet." or the local time of the options' LastCleanTime.
  void RefreshStatus();
  // Every text of the window from the string table, then the status line
  // and the layout of the link rows.
  void RefreshMultiLangs();
  // One radio item per language, the current one checked; the submenu is
  // shown only with more than one language.
  void LoadLangMenuItems();
  // tabApp or tabExt; anything else does nothing.
  void ChangePage(QWidget* ATab);

  // The controls the pages and the tests reach.
  TQelImage* imgBackground;
  TQelTitleBar* lblTitleBar;
  TQelImageButton* btnHelp;
  TQelImageButton* btnMinimize;
  TQelImageButton* btnClose;
  TQelLabel* lblStartPageSubtitle;
  TQelImageButton* btnAppTab;
  TQelImageButton* btnExtTab;
  QStackedWidget* pageMain;
  QWidget* tabApp;
  QWidget* tabExt;
  TQelLabel* lblAppScanListHint;
  QTreeView* lstAppScan;
  TQelURLLabel* lblAppSelectAll;
  TQelURLLabel* lblAppSelectNone;
  TQelURLLabel* lblAppRecommended;
  TQelLabel* lblAppTicked;
  TQelImageButton* btnAppScan;
  TQelImageButton* btnAppClean;
  TQelLabel* lblExtOptionsHint;
  QTreeView* lstExtOptions;
  TQelLabel* lblExtScanListHint;
  QTreeView* lstExtScan;
  TQelURLLabel* lblExtSelectAll;
  TQelURLLabel* lblExtSelectNone;
  TQelLabel* lblExtTicked;
  TQelImageButton* btnExtScan;
  TQelImageButton* btnExtClean;
  TQelLabel* lblStatus;
  QMenu* pmnHelp;
  QMenu* mniHelpLanguage;
  QAction* actHelpHelpFile;
  QAction* actHelpTechnicalSupport;
  QAction* actHelpHomePage;
  QAction* actHelpForum;
  QAction* actHelpAbout;
  // The title bar's commands by key: the Help menu, and the window menu.
  QAction* actHelpFile;
  QAction* actClose;
  QAction* actMinimize;
  QMenu* pmnWindow = nullptr;

  // What the page controllers do for the window's commands. A controller
  // fills these when it binds itself to the window; while one is empty the
  // window does nothing for that command.
  struct TPageCommands {
    std::function<void()> AppScan, AppClean, ExtScan, ExtClean;
  } Pages;

  // The two page controllers, bound at creation.
  TPGCForm_AppTab* AppTab() const { return FAppTab.get(); }
  TPGCForm_ExtTab* ExtTab() const { return FExtTab.get(); }

  // The about dialog while it is shown; null otherwise.
  QWidget* AboutForm() const { return FAboutForm; }

  // What Help File and F1 open: the current language pack's help file when
  // the pack has one, else the user manual beside the program or in the
  // installed documentation.
  static std::string HelpFileToOpen();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  void CreateControls();
  // Which edges of each control follow the window as it grows.
  void AnchorControls();
  void CreateHelpMenu();
  void ApplyFonts();
  // Under the Help button; from the keyboard, its first item active.
  void ShowHelpMenu(bool AByKey);
  void ShowWindowMenu();
  void OpenHelpFile();
  // Asks the desktop to open a file or an address, and tells the user,
  // with the address, when no program could.
  void OpenWithDesktop(const std::string& ATarget);
  void ShowAbout();
  void AppClean();
  // The select links: every box is set through the list's model, as a
  // tick by hand is, so Clean and the links follow what is ticked.
  void SetAllChecks(QTreeView* AList, bool AChecked, bool AWithChildren);
  void CheckRecommended();

  std::unique_ptr<TPGCAppCleaner> FAppCleaner;
  std::unique_ptr<TPGCExtCleaner> FExtCleaner;
  std::unique_ptr<TPGCForm_AppTab> FAppTab;
  std::unique_ptr<TPGCForm_ExtTab> FExtTab;
  bool FFirstShow = true;
  // The settings could not be written at start: the status line says so
  // until a cleaning pass gives it something newer (FNoticeCleanTime is
  // the last cleaning known then).
  bool FSettingsNotice = false;
  platform::FileTime FNoticeCleanTime{};
  QWidget* FAboutForm = nullptr;
  TAnchors* FAnchors = nullptr;
  TEdgeResizer* FResizer = nullptr;
};

// The main window while it exists (set at creation, cleared at close).
extern TfrmPGC* frmPGC;

}  // namespace purgo
