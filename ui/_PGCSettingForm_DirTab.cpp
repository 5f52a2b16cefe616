// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/_PGCSettingForm_DirTab.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/AppSingletons.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiLangs.h"
#include "ui/PGCSettingForm.h"

namespace purgo {
namespace {

// The dialog when there is one to act on, and options to act for.
TfrmPGCSettings* Form() { return AppOptions != nullptr ? frmPGCSettings : nullptr; }

bool Includes(const QTreeWidgetItem* row) { return row->data(0, Qt::UserRole).toInt() != 0; }

void SetIncludes(QTreeWidgetItem* row, bool includes) {
  row->setData(0, Qt::UserRole, includes ? 1 : 0);
  row->setText(1, QString::fromStdString(includes ? STR_Yes : STR_No));
}

QTreeWidgetItem* NewDirRow(const std::string& path, bool includes, bool checked) {
  QTreeWidgetItem* row = NewSettingsRow(path, checked);
  SetIncludes(row, includes);
  return row;
}

// The row holding `path` other than `skip`. Folders are told apart as the
// file system does: byte for byte, so "/Tmp" and "/tmp" are two.
const QTreeWidgetItem* FindDir(const QTreeWidget* list, const std::string& path, const QTreeWidgetItem* skip) {
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = list->topLevelItem(i);
    if (row != skip && SamePathCompare(SettingsRowText(row), path) == 0) return row;
  }
  return nullptr;
}

}  // namespace

TPGCSettingForm_DirTab& TPGCSettingForm_DirTab::Instance() {
  static TPGCSettingForm_DirTab instance;
  return instance;
}

void TPGCSettingForm_DirTab::Bind(TfrmPGCSettings* AForm) {
  // A new dialog starts with Delete and Replace disabled.
  FDirEditabled = false;
  FLoadingDirList = false;
  QObject::connect(AForm->lstDir, &QTreeWidget::itemSelectionChanged, AForm, [this] { OnDirSelectItem(); });
  QObject::connect(AForm->lstDir, &QTreeWidget::itemChanged, AForm, [this] { OnDirItemChecked(); });
  QObject::connect(AForm->btnDirAdd, &QAbstractButton::clicked, AForm, [this] { Add(); });
  QObject::connect(AForm->btnDirReplace, &QAbstractButton::clicked, AForm, [this] { Replace(); });
  QObject::connect(AForm->btnDirDelete, &QAbstractButton::clicked, AForm, [this] { Delete(); });
  QObject::connect(AForm->btnDirBrowse, &QAbstractButton::clicked, AForm, [this] { Browse(); });
}

void TPGCSettingForm_DirTab::LoadDirs() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  QTreeWidget* list = form->lstDir;
  FLoadingDirList = true;
  list->clear();
  for (int i = 0; i < AppOptions->DirListCount(); ++i) {
    list->addTopLevelItem(NewDirRow(AppOptions->DirText(i), AppOptions->DirIncludeSub(i), AppOptions->DirChecked(i)));
  }
  for (const auto& [path, includes] : form->PageLists().Dirs) {
    if (FindDir(list, path, nullptr) == nullptr) list->addTopLevelItem(NewDirRow(path, includes, true));
  }
  FLoadingDirList = false;
  if (list->topLevelItemCount() > 0) {
    list->setCurrentItem(list->topLevelItem(0));
    list->setFocus();
  }
  OnDirSelectItem();
  form->SetDirty(false);
}

void TPGCSettingForm_DirTab::OnDirSelectItem() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr || FLoadingDirList) return;
  if (const QTreeWidgetItem* row = SelectedSettingsRow(form->lstDir)) {
    form->txtDirEdit->setText(row->text(0));
    form->chkDirIncludeSubDir->setChecked(Includes(row));
    SetDirEditabled(true);
  } else {
    SetDirEditabled(false);
  }
}

void TPGCSettingForm_DirTab::OnDirItemChecked() {
  TfrmPGCSettings* form = Form();
  if (form != nullptr && !FLoadingDirList) form->SetDirty(true);
}

void TPGCSettingForm_DirTab::SetDirEditabled(bool AValue) {
  TfrmPGCSettings* form = Form();
  if (form == nullptr || FDirEditabled == AValue) return;
  FDirEditabled = AValue;
  form->btnDirDelete->setEnabled(AValue);
  form->btnDirReplace->setEnabled(AValue);
}

bool TPGCSettingForm_DirTab::CheckedEntry(std::string& AText, const QTreeWidgetItem* ASkip) {
  TfrmPGCSettings* form = frmPGCSettings;
  AText = SettingsEditText(form->txtDirEdit, SelectedSettingsRow(form->lstDir));
  // Only a full path names one folder wherever the scan runs from; the
  // path check alone lets a bare name through.
  if (AText.empty() || AText.front() != '/' || !IsValidFilePath(AText, true, TPathStyle::Posix)) {
    form->txtDirEdit->setText(QString::fromStdString(AText));
    form->Warn(STR_PGCExtSettingForm_InvalidPath, form->txtDirEdit, false);
    return false;
  }
  if (FindDir(form->lstDir, AText, ASkip) != nullptr) {
    form->Warn(STR_PGCExtSettingForm_ExistPath, form->txtDirEdit, true);
    return false;
  }
  return true;
}

void TPGCSettingForm_DirTab::Add() {
  TfrmPGCSettings* form = Form();
  std::string path;
  if (form == nullptr || !CheckedEntry(path, nullptr)) return;
  // A folder the user just added is one to scan: it comes ticked.
  QTreeWidgetItem* row = NewDirRow(path, form->chkDirIncludeSubDir->isChecked(), true);
  form->lstDir->addTopLevelItem(row);
  form->lstDir->setCurrentItem(row);
  form->SetDirty(true);
}

void TPGCSettingForm_DirTab::Replace() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  QTreeWidgetItem* row = SelectedSettingsRow(form->lstDir);
  std::string path;
  if (row == nullptr || !CheckedEntry(path, row)) return;
  SetSettingsRowText(row, path);
  SetIncludes(row, form->chkDirIncludeSubDir->isChecked());
  form->SetDirty(true);
}

void TPGCSettingForm_DirTab::Delete() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr || !DeleteSelectedSettingsRow(form->lstDir)) return;
  OnDirSelectItem();
  form->SetDirty(true);
}

void TPGCSettingForm_DirTab::Browse() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  const QString chosen = form->ChooseFolder(form->txtDirEdit->text().trimmed());
  if (!chosen.isEmpty()) form->txtDirEdit->setText(QDir(chosen).absolutePath());
}

void TPGCSettingForm_DirTab::Apply() {
  TfrmPGCSettings* form = Form();
  if (form == nullptr) return;
  AppOptions->ClearDirs();
  for (int i = 0; i < form->lstDir->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = form->lstDir->topLevelItem(i);
    AppOptions->AddDir(SettingsRowText(row), Includes(row), row->checkState(0) == Qt::Checked);
  }
  form->SetApplied();
  form->SetDirty(false);
}

}  // namespace purgo
