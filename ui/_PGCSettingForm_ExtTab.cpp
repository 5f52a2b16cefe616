// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCSettingForm_ExtTab.h"

#include <QLineEdit>
#include <QTreeWidget>

#include "app/AppSingletons.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiLangs.h"
#include "ui/PGCSettingForm.h"

namespace purgo {
namespace {

TfrmPGCSettings* Form() { return AppOptions != nullptr ? frmPGCSettings : nullptr; }

// The row holding `ending` other than `skip`; ".TMP" and ".tmp" are the
// same ending, as the scan matches them.
const QTreeWidgetItem* FindExt(const QTreeWidget* list, const std::string& ending, const QTreeWidgetItem* skip) {
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = list->topLevelItem(i);
    if (row != skip && SameTextCompare(SettingsRowText(row), ending) == 0) return row;
  }
  return nullptr;
}

}  // namespace

TPGCSettingForm_ExtTab& TPGCSettingForm_ExtTab::Instance() {
  static TPGCSettingForm_ExtTab instance;
  return instance;
}

void TPGCSettingForm_ExtTab::Bind(TfrmPGCSettings* AForm) {
  FExtEditabled = false;
  FLoadingExtList = false;
  QObject::connect(AForm->lstExt, &QTreeWidget::itemSelectionChanged, AForm, [this] { OnExtSelectItem(); });
  QObject::connect(AForm->lstExt, &QTreeWidget::itemChanged, AForm, [this] { OnExtItemChecked(); });
  QObject::connect(AForm->btnExtAdd, &QAbstractButton::clicked, AForm, [this] { Add(); });
  QObject::connect(AForm->btnExtReplace, &QAbstractButton::clicked, AForm, [this] { Replace(); });
  QObject::connect(AForm->btnExtDelete, &QAbstractButton::clicked, AForm, [this] { Delete(); });
  AForm->lblExtSelectAll->OnCommand = [this] { CheckAll(true); };
  AForm->lblExtSelectNone->OnCommand = [this] { CheckAll(false); };
}

void TPGCSettingForm_ExtTab::LoadExts() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  QTreeWidget* list = form->lstExt;
  FLoadingExtList = true;
  list->clear();
  for (int i = 0; i < AppOptions->ExtListCount(); ++i) {
    list->addTopLevelItem(NewSettingsRow(AppOptions->ExtText(i), AppOptions->ExtChecked(i)));
  }
  for (const std::string& ending : form->PageLists().Exts) {
    if (FindExt(list, ending, nullptr) == nullptr) list->addTopLevelItem(NewSettingsRow(ending, true));
  }
  FLoadingExtList = false;
  if (list->topLevelItemCount() > 0) {
    list->setCurrentItem(list->topLevelItem(0));
    list->setFocus();
  }
  OnExtSelectItem();
  form->SetDirty(false);
}

void TPGCSettingForm_ExtTab::OnExtSelectItem() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr || FLoadingExtList) return;
  if (const QTreeWidgetItem* row = SelectedSettingsRow(form->lstExt)) {
    form->txtExtEdit->setText(row->text(0));
    SetExtEditabled(true);
  } else {
    SetExtEditabled(false);
  }
}

void TPGCSettingForm_ExtTab::OnExtItemChecked() {
  TfrmPGCSettings* form = Form();
  if (form != nullptr && !FLoadingExtList) form->SetDirty(true);
}

void TPGCSettingForm_ExtTab::SetExtEditabled(bool AValue) {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  FExtEditabled = AValue;
  form->btnExtDelete->setEnabled(AValue);
  form->btnExtReplace->setEnabled(AValue);
}

bool TPGCSettingForm_ExtTab::CheckedEntry(std::string& AText, const QTreeWidgetItem* ASkip) {
  TfrmPGCSettings* form = frmPGCSettings;
  AText = SettingsEditText(form->txtExtEdit, SelectedSettingsRow(form->lstExt));
  if (AText.empty()) {
    form->Warn(STR_PGCExtSettingForm_InvalidExtension, form->txtExtEdit, false);
    return false;
  }
  if (FindExt(form->lstExt, AText, ASkip) != nullptr) {
    form->Warn(STR_PGCExtSettingForm_ExistExtension, form->txtExtEdit, true);
    return false;
  }
  return true;
}

void TPGCSettingForm_ExtTab::Add() {
  TfrmPGCSettings* form = Form();
  std::string ending;
  if (form == nullptr || !CheckedEntry(ending, nullptr)) return;
  QTreeWidgetItem* row = NewSettingsRow(ending, true);
  form->lstExt->addTopLevelItem(row);
  form->lstExt->setCurrentItem(row);
  form->SetDirty(true);
}

void TPGCSettingForm_ExtTab::Replace() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  QTreeWidgetItem* row = SelectedSettingsRow(form->lstExt);
  std::string ending;
  if (row == nullptr || !CheckedEntry(ending, row)) return;
  SetSettingsRowText(row, ending);
  form->SetDirty(true);
}

void TPGCSettingForm_ExtTab::Delete() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr || !DeleteSelectedSettingsRow(form->lstExt)) return;
  OnExtSelectItem();
  form->SetDirty(true);
}

void TPGCSettingForm_ExtTab::CheckAll(bool AChecked) {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  for (int i = 0; i < form->lstExt->topLevelItemCount(); ++i) {
    form->lstExt->topLevelItem(i)->setCheckState(0, AChecked ? Qt::Checked : Qt::Unchecked);
  }
}

void TPGCSettingForm_ExtTab::Apply() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  AppOptions->ClearExts();
  for (int i = 0; i < form->lstExt->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = form->lstExt->topLevelItem(i);
    const bool checked = row->checkState(0) == Qt::Checked;
    AppOptions->AddExt(SettingsRowText(row), checked, checked);
  }
  form->SetApplied();
  form->SetDirty(false);
}

}  // namespace purgo
