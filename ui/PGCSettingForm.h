// SPDX-License-Identifier: GPL-3.0-or-later
// The file-type cleaner's settings dialog: the folders to scan, the file
// endings to look for and the attributes a file may have. The file-type
// page opens it on one of the three lists (the tab headers are hidden);
// edits stay in the dialog's list until Apply copies that one list into
// the options object and closes the dialog. Nothing is written to disk.
//
// The work behind each list belongs to its controller
// (_PGCSettingForm_DirTab, _ExtTab, _FileAttrTab), which reaches the
// dialog through frmPGCSettings.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/QWImageButton.h"
#include "controls/QWLabel.h"

class QCheckBox;
class QLineEdit;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace purgo {

enum class TSettingsTab { Dir, Ext, FileAttr };

// The file-type page's current working lists, which the dialog merges in.
struct TExtPageLists {
  std::vector<std::pair<std::string, bool>> Dirs;  // path, include sub-folders
  std::vector<std::string> Exts;
};

class TfrmPGCSettings : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmPGCSettings(QWidget* AOwner = nullptr);
  ~TfrmPGCSettings() override;

  void RefreshMultiLangs();

  // Shows the tab's page and moves Apply and Cancel onto it. While the
  // dialog is shown the tab's list is loaded afresh.
  void SetActiveTab(TSettingsTab ATab);
  TSettingsTab ActiveTab() const { return FActiveTab; }

  const TExtPageLists& PageLists() const { return FPageLists; }
  void SetPageLists(TExtPageLists ALists) { FPageLists = std::move(ALists); }

  // The shown list has changes not yet applied; Apply is enabled exactly
  // then.
  bool Dirty() const { return FDirty; }
  void SetDirty(bool AValue);
  // Some list was applied during this opening.
  bool Applied() const { return FApplied; }
  void SetApplied() { FApplied = true; }

  // One warning box over the dialog; the edit box keeps the focus (its
  // text selected when ASelectAll) so the user can correct the entry.
  void Warn(const std::string& AMessage, QLineEdit* AEdit, bool ASelectAll);
  // The folder chooser, starting at AStart. Empty when cancelled.
  QString ChooseFolder(const QString& AStart);
  // Tests answer the folder chooser here instead of a person.
  static void SetBrowseHookForTesting(std::function<QString()> AHook);

  TQelImage* imgBackground;
  TQelTitleBar* lblTitleBar;
  TQelImageButton* btnClose;
  QStackedWidget* pageMain;
  QWidget* tabDir;
  QWidget* tabExt;
  QWidget* tabFileAttr;
  TQelImageButton* btnApply;
  TQelImageButton* btnCancel;

  TQelLabel* lblDirListHint;
  QTreeWidget* lstDir;
  QLineEdit* txtDirEdit;
  TQelImageButton* btnDirBrowse;
  QCheckBox* chkDirIncludeSubDir;
  TQelImageButton* btnDirReplace;
  TQelImageButton* btnDirDelete;
  TQelImageButton* btnDirAdd;

  TQelLabel* lblExtVTHint;
  TQelURLLabel* lblExtSelectAll;
  TQelURLLabel* lblExtSelectNone;
  QTreeWidget* lstExt;
  QLineEdit* txtExtEdit;
  TQelImageButton* btnExtReplace;
  TQelImageButton* btnExtDelete;
  TQelImageButton* btnExtAdd;

  TQelLabel* lblFileAttrHint;
  TQelURLLabel* lblFileAttrSelectAll;
  TQelURLLabel* lblFileAttrSelectNone;
  QTreeWidget* lstFileAttr;

 protected:
  void showEvent(QShowEvent* e) override;
  // Every way out (Apply, Cancel, the close button, Escape, the window
  // manager) leaves the modal result 11, "closed".
  void closeEvent(QCloseEvent* e) override;

 private:
  void CreateControls();
  void LoadActiveList();
  void ApplyActiveList();

  TSettingsTab FActiveTab = TSettingsTab::Dir;
  TExtPageLists FPageLists;
  bool FDirty = false;
  bool FApplied = false;
  bool FListLoaded = false;
};

// Creates the dialog owned by AOwner, sets frmPGCSettings, selects the tab,
// shows it with DoModal centred over AOwner, and after it closes frees it,
// clears frmPGCSettings and returns whether something was applied. While
// a dialog is open another call shows nothing and returns false.
bool ShowPGCSettings(QWidget* AOwner, TSettingsTab ATab, const TExtPageLists& APageLists);
extern TfrmPGCSettings* frmPGCSettings;  // the open dialog, null otherwise

// A list row's text as bytes. Folder and ending texts are byte strings
// that need not be UTF-8; the row keeps them beside its shown caption so
// that applying an untouched row gives back exactly what was loaded.
std::string SettingsRowText(const QTreeWidgetItem* AItem);
void SetSettingsRowText(QTreeWidgetItem* AItem, const std::string& AText);
// The edit box's text trimmed of blanks. When it still reads as the
// selected row's caption, the row's own bytes: re-entering a shown name
// that is not UTF-8 must not turn it into its replacement characters.
std::string SettingsEditText(const QLineEdit* AEdit, const QTreeWidgetItem* ASelected);
// A new row with a check box and a caption that cannot be edited.
QTreeWidgetItem* NewSettingsRow(const std::string& AText, bool AChecked);
// The list's only selected row, or null.
QTreeWidgetItem* SelectedSettingsRow(const QTreeWidget* AList);
// Deletes the selected row and selects the row that took its place, if
// any; nothing is selected after the last row. False without a selection.
bool DeleteSelectedSettingsRow(QTreeWidget* AList);

}  // namespace purgo
