// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog's folder list: loaded from the options object and
// the file-type page, edited through the edit box, copied back on Apply.
// One controller for the process; it acts on frmPGCSettings and does
// nothing while that or the options object is missing.
#pragma once

#include <string>

class QTreeWidgetItem;

namespace purgo {

class TfrmPGCSettings;

class TPGCSettingForm_DirTab {
 public:
  static TPGCSettingForm_DirTab& Instance();

  // Connects a new dialog's folder controls to this controller and forgets
  // the state the previous dialog left behind.
  void Bind(TfrmPGCSettings* AForm);

  // The options' folders in order, then each page folder they lack,
  // ticked; the first row selected.
  void LoadDirs();
  void Add();
  void Replace();
  void Delete();
  void Browse();
  void Apply();

  void OnDirSelectItem();
  void OnDirItemChecked();

  // Delete and Replace are enabled exactly when a row is selected.
  bool DirEditabled() const { return FDirEditabled; }
  void SetDirEditabled(bool AValue);

 private:
  // The folder typed in the edit box, or "" after a warning. ASkip is the
  // row the duplicate check leaves out.
  bool CheckedEntry(std::string& AText, const QTreeWidgetItem* ASkip);

  bool FDirEditabled = false;
  bool FLoadingDirList = false;
};

}  // namespace purgo
