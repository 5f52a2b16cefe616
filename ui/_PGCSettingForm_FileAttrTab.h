// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog's attribute filter: six rows, one per attribute bit
// the cleaner looks at. Apply sets or clears exactly those bits in the
// options' FileAttribute and leaves every other bit as it was. One
// controller for the process; it acts on frmPGCSettings and does nothing
// while that or the options object is missing.
#pragma once

#include <cstdint>
#include <string>

namespace purgo {

class TfrmPGCSettings;

class TPGCSettingForm_FileAttrTab {
 public:
  static TPGCSettingForm_FileAttrTab& Instance();

  void Bind(TfrmPGCSettings* AForm);

  void LoadFileAttr();
  void Apply();
  void CheckAll(bool AChecked);
  void OnFileAttrItemChecked();

  // The display name of an attribute bit in the current language.
  static std::string AttributeName(std::uint32_t ABit);

 private:
  bool FLoadingFileAttrList = false;
};

}  // namespace purgo
