// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PGCSettingForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTreeWidget>
#include <memory>

#include "engine/AppUtils.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "ui/PGCPictures.h"
#include "ui/_PGCForm_Helper.h"
#include "ui/_PGCSettingForm_DirTab.h"
#include "ui/_PGCSettingForm_ExtTab.h"
#include "ui/_PGCSettingForm_FileAttrTab.h"

namespace purgo {

TfrmPGCSettings* frmPGCSettings = nullptr;

namespace {

constexpr int kSide = 500, kTitleBand = 30;
// The page area and, inside it, the rows every tab shares.
constexpr int kPageX = 16, kPageY = 44, kPageW = kSide - 2 * kPageX, kPageH = kSide - kPageY - 16;
// From the bottom up: Apply and Cancel under a rule, the buttons acting on
// the list, its edit box, the links of the lists that have them; the list
// takes the rest.
constexpr int kButtonW = 88, kButtonH = 28, kButtonGap = 8;
constexpr int kApplyY = kPageH - kButtonH - 2, kRuleY = kApplyY - 12;
constexpr int kButtonRowY = kRuleY - 14 - kButtonH;
constexpr int kEditY = kButtonRowY - 8 - kButtonH;
constexpr int kLinkY = kEditY - 28;
constexpr int kListY = 24;
constexpr int kLinkGap = 12;
constexpr int kBytesRole = Qt::UserRole + 1;  // a row's text as bytes
constexpr int kModalResultClose = 11;


std::function<QString()>& BrowseHook() {
  static std::function<QString()> hook;
  return hook;
}

void SetFaces(TQelImageButton* b, const std::function<QPixmap(pictures::Face)>& face) {
  b->SetPictureNormal(face(pictures::Face::Normal));
  b->SetPictureMouseHover(face(pictures::Face::Hover));
  b->SetPictureMouseDown(face(pictures::Face::Down));
  b->SetPictureDisabled(face(pictures::Face::Disabled));
}

TQelImageButton* ActionButton(QWidget* parent, QRect geometry) {
  auto* b = new TQelImageButton(parent);
  b->setGeometry(geometry);
  SetFaces(b, [&](pictures::Face f) { return pictures::ActionButtonFace(f, b->size()); });
  b->SetDrawFocused(true);
  // The same font in every state; only the colour changes with the face.
  b->SetEnableMultiFonts(true);
  b->SetFontColor(pictures::ActionCaptionColor(pictures::Face::Normal));
  b->SetFontColorMouseHover(pictures::ActionCaptionColor(pictures::Face::Hover));
  b->SetFontColorMouseDown(pictures::ActionCaptionColor(pictures::Face::Down));
  b->SetFontColorDisabled(pictures::ActionCaptionColor(pictures::Face::Disabled));
  return b;
}

void SetButtonFont(TQelImageButton* b, const QFont& f) {
  b->setFont(f);
  b->SetFontMouseHover(f);
  b->SetFontMouseDown(f);
  b->SetFontDisabled(f);
}

// Replace, Delete and Add, right-aligned on one row.
void ButtonRow(QWidget* parent, TQelImageButton*& replace, TQelImageButton*& remove, TQelImageButton*& add) {
  int x = kPageW - 3 * kButtonW - 2 * kButtonGap;
  for (TQelImageButton** b : {&replace, &remove, &add}) {
    *b = ActionButton(parent, {x, kButtonRowY, kButtonW, kButtonH});
    x += kButtonW + kButtonGap;
  }
  // Replace and Delete need a selected row; none is selected yet.
  replace->setEnabled(false);
  remove->setEnabled(false);
}

QTreeWidget* MakeList(QWidget* parent, int bottom, std::initializer_list<int> widths) {
  auto* l = new QTreeWidget(parent);
  l->setGeometry(0, kListY, kPageW, bottom - 8 - kListY);
  l->setColumnCount(static_cast<int>(widths.size()));
  int column = 0;
  for (int w : widths) l->setColumnWidth(column++, w);
  l->setRootIsDecorated(false);
  l->setUniformRowHeights(true);
  l->setAllColumnsShowFocus(true);
  l->setSelectionBehavior(QAbstractItemView::SelectRows);
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  l->setEditTriggers(QAbstractItemView::NoEditTriggers);
  l->header()->setSectionsMovable(false);
  // The selected row stays marked while the edit box has the focus: it is
  // the row Replace and Delete act on.
  QPalette p = l->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    p.setColor(QPalette::Inactive, role, p.color(QPalette::Active, role));
  }
  l->setPalette(p);
  return l;
}

TQelLabel* HintLabel(QWidget* parent) {
  auto* l = new TQelLabel(parent);
  l->setGeometry(0, 0, kPageW, 20);
  l->SetTextTrimming(vttEllipsisWord);
  l->SetTextAlignment(valMiddleLeft);
  return l;
}

}  // namespace

TfrmPGCSettings::TfrmPGCSettings(QWidget* AOwner) : QWidget(AOwner, Qt::Window | Qt::FramelessWindowHint) {
  setFixedSize(kSide, kSide);
  setWindowIcon(pictures::AppIcon());
  CreateControls();
  SetDirty(false);
  TPGCSettingForm_DirTab::Instance().Bind(this);
  TPGCSettingForm_ExtTab::Instance().Bind(this);
  TPGCSettingForm_FileAttrTab::Instance().Bind(this);
  SetActiveTab(TSettingsTab::Dir);
  RegisterLanguageWindow(
      TAppLanguageWindow::Setting, [this] { return isVisible(); }, [this] { RefreshMultiLangs(); });
}

TfrmPGCSettings::~TfrmPGCSettings() {
  UnregisterLanguageWindow(TAppLanguageWindow::Setting);
  if (frmPGCSettings == this) frmPGCSettings = nullptr;
}

void TfrmPGCSettings::CreateControls() {
  imgBackground = new TQelImage(this);
  imgBackground->setGeometry(rect());
  imgBackground->SetPicture(pictures::DialogBackground(size(), kTitleBand));
  lblTitleBar = new TQelTitleBar(this);
  lblTitleBar->setGeometry(8, 3, kSide - 56, 24);
  lblTitleBar->SetLogo(pictures::Logo(24));
  btnClose = new TQelImageButton(this);
  btnClose->setGeometry(kSide - 32, 3, 25, 24);
  SetFaces(btnClose, [&](pictures::Face f) {
    return pictures::TitleButtonFace(pictures::TitleButton::Close, f, btnClose->size());
  });
  btnClose->setFocusPolicy(Qt::NoFocus);
  btnClose->SetCancel(true);
  connect(btnClose, &QAbstractButton::clicked, this, &QWidget::close);

  pageMain = new QStackedWidget(this);
  pageMain->setGeometry(kPageX, kPageY, kPageW, kPageH);
  tabDir = new QWidget(pageMain);
  tabExt = new QWidget(pageMain);
  tabFileAttr = new QWidget(pageMain);
  for (QWidget* tab : {tabDir, tabExt, tabFileAttr}) pageMain->addWidget(tab);

  lblDirListHint = HintLabel(tabDir);
  lstDir = MakeList(tabDir, kEditY, {300, 120});
  txtDirEdit = new QLineEdit(tabDir);
  txtDirEdit->setGeometry(0, kEditY, kPageW - 40, kButtonH);
  btnDirBrowse = ActionButton(tabDir, {kPageW - 32, kEditY, 32, kButtonH});
  chkDirIncludeSubDir = new QCheckBox(tabDir);
  chkDirIncludeSubDir->setGeometry(0, kButtonRowY, kPageW - 3 * (kButtonW + kButtonGap), kButtonH);
  chkDirIncludeSubDir->setChecked(false);
  ButtonRow(tabDir, btnDirReplace, btnDirDelete, btnDirAdd);

  lblExtVTHint = HintLabel(tabExt);
  lblExtSelectAll = new TQelURLLabel(tabExt);
  lblExtSelectNone = new TQelURLLabel(tabExt);
  lstExt = MakeList(tabExt, kLinkY, {300});
  txtExtEdit = new QLineEdit(tabExt);
  txtExtEdit->setGeometry(0, kEditY, kPageW, kButtonH);
  ButtonRow(tabExt, btnExtReplace, btnExtDelete, btnExtAdd);

  lblFileAttrHint = HintLabel(tabFileAttr);
  lblFileAttrSelectAll = new TQelURLLabel(tabFileAttr);
  lblFileAttrSelectNone = new TQelURLLabel(tabFileAttr);
  lstFileAttr = MakeList(tabFileAttr, kButtonRowY, {300});
  for (TQelURLLabel* l : {lblExtSelectAll, lblExtSelectNone, lblFileAttrSelectAll, lblFileAttrSelectNone}) {
    l->setGeometry(0, kLinkY, 100, 20);
    l->SetTextAlignment(valMiddleLeft);
  }
  // No edit row under the attributes: their links take the buttons' row.
  lblFileAttrSelectAll->move(0, kButtonRowY + 4);
  lblFileAttrSelectNone->move(0, kButtonRowY + 4);

  auto* rule = new QFrame(this);
  rule->setGeometry(kPageX, kPageY + kRuleY, kPageW, 1);
  // Filled through its palette: a style sheet would keep it out of the
  // font the dialog gives its controls.
  rule->setAutoFillBackground(true);
  QPalette ruleColours = rule->palette();
  ruleColours.setColor(QPalette::Window, QColor(0xcf, 0xdb, 0xdb));
  rule->setPalette(ruleColours);
  btnApply = ActionButton(tabDir, {kPageW - 2 * kButtonW - kButtonGap, kApplyY, kButtonW, kButtonH});
  btnCancel = ActionButton(tabDir, {kPageW - kButtonW, kApplyY, kButtonW, kButtonH});
  connect(btnApply, &QAbstractButton::clicked, this, [this] {
    ApplyActiveList();
    close();
  });
  connect(btnCancel, &QAbstractButton::clicked, this, &QWidget::close);
}

void TfrmPGCSettings::SetActiveTab(TSettingsTab ATab) {
  FActiveTab = ATab;
  QWidget* tab = ATab == TSettingsTab::Dir ? tabDir : ATab == TSettingsTab::Ext ? tabExt : tabFileAttr;
  pageMain->setCurrentWidget(tab);
  for (TQelImageButton* b : {btnApply, btnCancel}) {
    const QRect at = b->geometry();
    b->setParent(tab);
    b->setGeometry(at);
    b->show();
  }
  // Top to bottom, left to right; Apply and Cancel, moved here last, too.
  switch (ATab) {
    case TSettingsTab::Dir:
      ChainTabOrder({lstDir, txtDirEdit, btnDirBrowse, chkDirIncludeSubDir, btnDirReplace, btnDirDelete,
                     btnDirAdd, btnApply, btnCancel});
      break;
    case TSettingsTab::Ext:
      ChainTabOrder({lstExt, lblExtSelectAll, lblExtSelectNone, txtExtEdit, btnExtReplace, btnExtDelete,
                     btnExtAdd, btnApply, btnCancel});
      break;
    case TSettingsTab::FileAttr:
      ChainTabOrder({lstFileAttr, lblFileAttrSelectAll, lblFileAttrSelectNone, btnApply, btnCancel});
      break;
  }
  if (isVisible()) LoadActiveList();
}

void TfrmPGCSettings::SetDirty(bool AValue) {
  FDirty = AValue;
  btnApply->setEnabled(AValue);
}

void TfrmPGCSettings::LoadActiveList() {
  switch (FActiveTab) {
    case TSettingsTab::Dir: TPGCSettingForm_DirTab::Instance().LoadDirs(); break;
    case TSettingsTab::Ext: TPGCSettingForm_ExtTab::Instance().LoadExts(); break;
    case TSettingsTab::FileAttr: TPGCSettingForm_FileAttrTab::Instance().LoadFileAttr(); break;
  }
}

void TfrmPGCSettings::ApplyActiveList() {
  switch (FActiveTab) {
    case TSettingsTab::Dir: TPGCSettingForm_DirTab::Instance().Apply(); break;
    case TSettingsTab::Ext: TPGCSettingForm_ExtTab::Instance().Apply(); break;
    case TSettingsTab::FileAttr: TPGCSettingForm_FileAttrTab::Instance().Apply(); break;
  }
}

void TfrmPGCSettings::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  // Loaded once per opening: a window restored from the taskbar shows
  // again, and a reload then would throw the user's edits away.
  if (!FListLoaded) {
    FListLoaded = true;
    LoadActiveList();
  }
  RefreshMultiLangs();
}

void TfrmPGCSettings::closeEvent(QCloseEvent* e) {
  TQelCustomButton::SetModalResultOf(this, kModalResultClose);
  QWidget::closeEvent(e);
}

void TfrmPGCSettings::RefreshMultiLangs() {
  const QColor text(0x20, 0x26, 0x2E);
  TQelFont own = FromQFont(font(), text);
  ApplyFont(own, FONT_FCSettingForm);
  const QFont base = ToQFont(own);
  setFont(base);
  QFont bold = base;
  bold.setBold(true);
  QFont title = bold;
  title.setPointSizeF(base.pointSizeF() + 1);
  lblTitleBar->SetTitleFont(title, pictures::TitleTextColor());
  for (TQelImageButton* b : {btnApply, btnCancel, btnDirBrowse, btnDirReplace, btnDirDelete, btnDirAdd,
                             btnExtReplace, btnExtDelete, btnExtAdd}) {
    SetButtonFont(b, bold);
  }
  for (TQelLabel* l : {lblDirListHint, lblExtVTHint, lblFileAttrHint}) {
    l->setFont(bold);
    l->SetFontColor(FontColor(own));
  }

  setWindowTitle(Text(STR_PGCExtSettingForm_Caption));
  lblTitleBar->SetTitle(windowTitle());
  btnClose->setToolTip(Text(STR_PGCExtSettingForm_Button_CloseHint));
  btnClose->setAccessibleName(btnClose->toolTip());
  btnApply->setText(Text(STR_PGCExtSettingForm_Button_Apply));
  btnCancel->setText(Text(STR_PGCExtSettingForm_Button_Cancel));

  lblDirListHint->SetCaption(Text(STR_PGCExtSettingForm_Dir_Label_DirListHint));
  lstDir->setHeaderLabels(
      {Text(STR_PGCExtSettingForm_Dir_DirList_Column0), Text(STR_PGCExtSettingForm_Dir_DirList_Column1)});
  chkDirIncludeSubDir->setText(Text(STR_PGCExtSettingForm_Dir_Check_IncludeSub));
  btnDirBrowse->setText(Text(STR_PGCExtSettingForm_Dir_Button_Browse));
  btnDirBrowse->setToolTip(Text(STR_PGCExtSettingForm_Dir_Button_BrowseHint));
  btnDirBrowse->setAccessibleName(btnDirBrowse->toolTip());
  btnDirAdd->setText(Text(STR_PGCExtSettingForm_Dir_Button_Add));
  btnDirDelete->setText(Text(STR_PGCExtSettingForm_Dir_Button_Delete));
  btnDirReplace->setText(Text(STR_PGCExtSettingForm_Dir_Button_Replace));

  lblExtVTHint->SetCaption(Text(STR_PGCExtSettingForm_Ext_Label_ExtListHint));
  lblExtSelectAll->SetCaption(Text(STR_PGCExtSettingForm_Ext_Label_SeleteAll));
  lblExtSelectNone->SetCaption(Text(STR_PGCExtSettingForm_Ext_Label_SelectNone));
  lstExt->setHeaderLabels({Text(STR_PGCExtSettingForm_Ext_ExtList_Column0)});
  btnExtAdd->setText(Text(STR_PGCExtSettingForm_Ext_Button_Add));
  btnExtDelete->setText(Text(STR_PGCExtSettingForm_Ext_Button_Delete));
  btnExtReplace->setText(Text(STR_PGCExtSettingForm_Ext_Button_Replace));

  lblFileAttrHint->SetCaption(Text(STR_PGCExtSettingForm_FileAttr_Label_AttrListHint));
  lblFileAttrSelectAll->SetCaption(Text(STR_PGCExtSettingForm_FileAttr_Label_SeleteAll));
  lblFileAttrSelectNone->SetCaption(Text(STR_PGCExtSettingForm_FileAttr_Label_SelectNone));
  lstFileAttr->setHeaderLabels({Text(STR_PGCExtSettingForm_FileAttr_FileAttrList_Column0)});

  // Each list is named by its label, each edit box by what it holds.
  lstDir->setAccessibleName(NameFromLabel(lblDirListHint->Caption()));
  txtDirEdit->setAccessibleName(Text(STR_PGCExtSettingForm_Dir_DirList_Column0));
  lstExt->setAccessibleName(NameFromLabel(lblExtVTHint->Caption()));
  txtExtEdit->setAccessibleName(Text(STR_PGCExtSettingForm_Ext_ExtList_Column0));
  lstFileAttr->setAccessibleName(NameFromLabel(lblFileAttrHint->Caption()));

  {
    // Captions only: the lists' item events mean the user ticked a row.
    const QSignalBlocker dirs(lstDir), attributes(lstFileAttr);
    for (int i = 0; i < lstDir->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = lstDir->topLevelItem(i);
      row->setText(1, Text(row->data(0, Qt::UserRole).toInt() != 0 ? STR_Yes : STR_No));
    }
    for (int i = 0; i < lstFileAttr->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = lstFileAttr->topLevelItem(i);
      row->setText(0, Text(TPGCSettingForm_FileAttrTab::AttributeName(row->data(0, Qt::UserRole).toUInt())));
    }
  }

  // Translated captions change widths: each pair of links stays in a row.
  for (auto [all, none] : {std::pair{lblExtSelectAll, lblExtSelectNone},
                           std::pair{lblFileAttrSelectAll, lblFileAttrSelectNone}}) {
    all->resize(all->TextWidth(), all->height());
    none->resize(none->TextWidth(), none->height());
    none->move(all->x() + all->width() + kLinkGap, none->y());
  }
}

void TfrmPGCSettings::Warn(const std::string& AMessage, QLineEdit* AEdit, bool ASelectAll) {
  ShowMessageBox(this, Text(AMessage), Text(STR_Warning), 0, MB_OK | MB_ICONEXCLAMATION);
  AEdit->setFocus();
  if (ASelectAll) AEdit->selectAll();
}

QString TfrmPGCSettings::ChooseFolder(const QString& AStart) {
  if (BrowseHook()) return BrowseHook()();
  return QFileDialog::getExistingDirectory(this, Text(STR_PGCExtSettingForm_Dir_Button_BrowseHint), AStart);
}

void TfrmPGCSettings::SetBrowseHookForTesting(std::function<QString()> AHook) { BrowseHook() = std::move(AHook); }

bool ShowPGCSettings(QWidget* AOwner, TSettingsTab ATab, const TExtPageLists& APageLists) {
  if (frmPGCSettings != nullptr) return false;
  auto dialog = std::make_unique<TfrmPGCSettings>(AOwner);
  frmPGCSettings = dialog.get();
  dialog->SetPageLists(APageLists);
  dialog->SetActiveTab(ATab);
  DoModal(dialog.get(), AOwner, true);
  const bool applied = dialog->Applied();
  dialog.reset();
  frmPGCSettings = nullptr;
  return applied;
}

std::string SettingsRowText(const QTreeWidgetItem* AItem) {
  const QByteArray bytes = AItem->data(0, kBytesRole).toByteArray();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void SetSettingsRowText(QTreeWidgetItem* AItem, const std::string& AText) {
  AItem->setText(0, Text(AText));
  AItem->setData(0, kBytesRole, QByteArray(AText.data(), static_cast<qsizetype>(AText.size())));
}

std::string SettingsEditText(const QLineEdit* AEdit, const QTreeWidgetItem* ASelected) {
  const std::string typed = TrimChars(AEdit->text().toStdString(), " ");
  if (ASelected != nullptr) {
    const std::string own = TrimChars(SettingsRowText(ASelected), " ");
    if (own != typed && Text(own) == Text(typed)) return own;
  }
  return typed;
}

QTreeWidgetItem* NewSettingsRow(const std::string& AText, bool AChecked) {
  auto* row = new QTreeWidgetItem();
  row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  SetSettingsRowText(row, AText);
  row->setCheckState(0, AChecked ? Qt::Checked : Qt::Unchecked);
  return row;
}

QTreeWidgetItem* SelectedSettingsRow(const QTreeWidget* AList) {
  const QList<QTreeWidgetItem*> rows = AList->selectedItems();
  return rows.size() == 1 ? rows.front() : nullptr;
}

bool DeleteSelectedSettingsRow(QTreeWidget* AList) {
  QTreeWidgetItem* row = SelectedSettingsRow(AList);
  if (row == nullptr) return false;
  const int at = AList->indexOfTopLevelItem(row);
  // The view would move the current row to a neighbour on its own; the
  // row after the deleted one, or none, is what the user gets.
  const QSignalBlocker quiet(AList);
  delete row;
  AList->clearSelection();
  AList->setCurrentItem(nullptr);
  if (QTreeWidgetItem* next = AList->topLevelItem(at)) AList->setCurrentItem(next);
  return true;
}

}  // namespace purgo
