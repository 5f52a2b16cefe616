// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCSettingForm_FileAttrTab.h"

#include <QTreeWidget>
#include <array>

#include "app/AppSingletons.h"
#include "i18n/AppMultiLangs.h"
#include "ui/PGCSettingForm.h"

namespace purgo {
namespace {

TfrmPGCSettings* Form() { return AppOptions != nullptr ? frmPGCSettings : nullptr; }

// The rows in the order shown: normal files first, then what sets a file
// apart. The values are the attribute bits of the filter.
constexpr std::array<std::uint32_t, 6> kAttributes{0x80, 0x2, 0x1, 0x4, 0x20, 0x4000};

}  // namespace

TPGCSettingForm_FileAttrTab& TPGCSettingForm_FileAttrTab::Instance() {
  static TPGCSettingForm_FileAttrTab instance;
  return instance;
}

std::string TPGCSettingForm_FileAttrTab::AttributeName(std::uint32_t ABit) {
  switch (ABit) {
    case 0x1: return STR_PGCExtSettingForm_FileAttributeReadOnly;
    case 0x2: return STR_PGCExtSettingForm_FileAttributeHidden;
    case 0x4: return STR_PGCExtSettingForm_FileAttributeSystem;
    case 0x20: return STR_PGCExtSettingForm_FileAttributeArchive;
    case 0x80: return STR_PGCExtSettingForm_FileAttributeNormal;
    case 0x4000: return STR_PGCExtSettingForm_FileAttributeEncrypted;
    default: return {};
  }
}

void TPGCSettingForm_FileAttrTab::Bind(TfrmPGCSettings* AForm) {
  FLoadingFileAttrList = false;
  QObject::connect(AForm->lstFileAttr, &QTreeWidget::itemChanged, AForm, [this] { OnFileAttrItemChecked(); });
  AForm->lblFileAttrSelectAll->OnCommand = [this] { CheckAll(true); };
  AForm->lblFileAttrSelectNone->OnCommand = [this] { CheckAll(false); };
}

void TPGCSettingForm_FileAttrTab::LoadFileAttr() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  FLoadingFileAttrList = true;
  form->lstFileAttr->clear();
  for (const std::uint32_t bit : kAttributes) {
    QTreeWidgetItem* row = NewSettingsRow(AttributeName(bit), (AppOptions->FileAttribute() & bit) != 0);
    row->setData(0, Qt::UserRole, bit);
    form->lstFileAttr->addTopLevelItem(row);
  }
  FLoadingFileAttrList = false;
  form->SetDirty(false);
}

void TPGCSettingForm_FileAttrTab::OnFileAttrItemChecked() {
  TfrmPGCSettings* form = Form();
  if (form != nullptr && !FLoadingFileAttrList) form->SetDirty(true);
}

void TPGCSettingForm_FileAttrTab::CheckAll(bool AChecked) {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  for (int i = 0; i < form->lstFileAttr->topLevelItemCount(); ++i) {
    form->lstFileAttr->topLevelItem(i)->setCheckState(0, AChecked ? Qt::Checked : Qt::Unchecked);
  }
}

void TPGCSettingForm_FileAttrTab::Apply() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  // Only the listed bits change; any other bit the filter holds stays.
  std::uint32_t attributes = AppOptions->FileAttribute();
  for (int i = 0; i < form->lstFileAttr->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = form->lstFileAttr->topLevelItem(i);
    const std::uint32_t bit = row->data(0, Qt::UserRole).toUInt();
    attributes = row->checkState(0) == Qt::Checked ? attributes | bit : attributes & ~bit;
  }
  AppOptions->SetFileAttribute(attributes);
  form->SetApplied();
  form->SetDirty(false);
}

}  // namespace purgo
