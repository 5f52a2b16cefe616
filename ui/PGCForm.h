// The main window: two pages (application traces, file types) switched by
// two page buttons, a status line telling when the last cleaning was, and
// a Help menu with the language list. It opens at the size it had when it
// last closed, never below the designed size; the lists take the room it
// grows by. The pages' own work belongs to their
// controllers; the window forwards to them and does nothing for one that
// does not exist.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

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
  void ShowHelpMenu();
  void OpenHelpFile();
  void ShowAbout();
  void AppClean();
  // The select links: check marks set directly, no checking events.
  void SetAllChecks(QTreeView* AList, bool AChecked, bool AWithChildren);
  void CheckRecommended();

  std::unique_ptr<TPGCAppCleaner> FAppCleaner;
  std::unique_ptr<TPGCExtCleaner> FExtCleaner;
  std::unique_ptr<TPGCForm_AppTab> FAppTab;
  std::unique_ptr<TPGCForm_ExtTab> FExtTab;
  bool FFirstShow = true;
  QWidget* FAboutForm = nullptr;
  TAnchors* FAnchors = nullptr;
  TEdgeResizer* FResizer = nullptr;
};

// The main window while it exists (set at creation, cleared at close).
extern TfrmPGC* frmPGC;

}  // namespace purgo
