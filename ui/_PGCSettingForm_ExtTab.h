// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog's list of file endings: loaded from the options
// object and the file-type page, edited through the edit box, copied back
// on Apply. Endings are told apart without regard to ASCII case. One
// controller for the process; it acts on frmPGCSettings and does nothing
// while that or the options object is missing.
#pragma once

#include <string>

class QTreeWidgetItem;

namespace purgo {

class TfrmPGCSettings;

class TPGCSettingForm_ExtTab {
 public:
  static TPGCSettingForm_ExtTab& Instance();

  // Connects a new dialog's ending controls to this controller and
  // forgets the state the previous dialog left behind.
  void Bind(TfrmPGCSettings* AForm);

  // The options' endings in order, then each page ending they lack,
  // ticked; the first row selected.
  void LoadExts();
  void Add();
  void Replace();
  void Delete();
  void Apply();
  // The Select All / Select None links.
  void CheckAll(bool AChecked);

  void OnExtSelectItem();
  void OnExtItemChecked();

  bool ExtEditabled() const { return FExtEditabled; }
  void SetExtEditabled(bool AValue);

 private:
  bool CheckedEntry(std::string& AText, const QTreeWidgetItem* ASkip);

  bool FExtEditabled = false;
  bool FLoadingExtList = false;
};

}  // namespace purgo
