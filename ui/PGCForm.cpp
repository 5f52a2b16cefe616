// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PGCForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QTreeView>
#include <array>
#include <filesystem>
#include <system_error>

#include "app/AppSingletons.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "ui/AboutForm.h"
#include "ui/PGCPictures.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_ExtTab.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {

TfrmPGC* frmPGC = nullptr;

namespace {

constexpr int kWidth = 780, kHeight = 585;
constexpr int kLinkGap = 12;


TQelImageButton* MakeButton(QWidget* parent, QRect geometry) {
  auto* b = new TQelImageButton(parent);
  b->setGeometry(geometry);
  return b;
}

void SetFaces(TQelImageButton* b, const std::function<QPixmap(pictures::Face)>& face) {
  b->SetPictureNormal(face(pictures::Face::Normal));
  b->SetPictureMouseHover(face(pictures::Face::Hover));
  b->SetPictureMouseDown(face(pictures::Face::Down));
  b->SetPictureDisabled(face(pictures::Face::Disabled));
}

void SetTitleFaces(TQelImageButton* b, pictures::TitleButton which) {
  SetFaces(b, [&](pictures::Face f) { return pictures::TitleButtonFace(which, f, b->size()); });
  b->setFocusPolicy(Qt::NoFocus);
}

void SetActionFaces(TQelImageButton* b) {
  SetFaces(b, [&](pictures::Face f) { return pictures::ActionButtonFace(f, b->size()); });
  b->SetDrawFocused(true);
  // The same font in every state; only the colour changes with the face.
  b->SetEnableMultiFonts(true);
  b->SetFontColor(pictures::ActionCaptionColor(pictures::Face::Normal));
  b->SetFontColorMouseHover(pictures::ActionCaptionColor(pictures::Face::Hover));
  b->SetFontColorMouseDown(pictures::ActionCaptionColor(pictures::Face::Down));
  b->SetFontColorDisabled(pictures::ActionCaptionColor(pictures::Face::Disabled));
}

void SetPageFaces(TQelImageButton* b) {
  SetFaces(b, [&](pictures::Face f) { return pictures::PageButtonFace(f, b->size()); });
  b->SetDrawFocused(true);
  // The disabled face marks the page shown: a dialog that disables the
  // window must not mark the other one too.
  b->SetDrawOwnDisabledState(true);
}

// A menu opened from the keyboard starts on its first item, so that the
// arrows and Enter work at once.
void ActivateFirstItem(QMenu* AMenu) {
  for (QAction* a : AMenu->actions()) {
    if (!a->isSeparator() && a->isVisible() && a->isEnabled()) {
      AMenu->setActiveAction(a);
      return;
    }
  }
}

QString Formatted(const std::string& AFormat, const std::string& AArgument) {
  const std::array<TQelDynArg, 1> args{TQelDynArg(AArgument)};
  return Text(QelFormat(AFormat, args));
}

// The local date and time of a cleaning in the user's locale: short date,
// a blank, the long time without a zone; the date alone at midnight.
QString CleaningTimeText(platform::FileTime t) {
  platform::CalendarTime c;
  if (!platform::FileTimeToLocalCalendar(t, c)) return {};
  const QLocale locale;
  QString text = locale.toString(QDate(c.year, c.month, c.day), QLocale::ShortFormat);
  if (c.hour != 0 || c.minute != 0 || c.second != 0) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    text += QLatin1Char(' ') + locale.toString(QTime(c.hour, c.minute, c.second), format.trimmed());
  }
  return text;
}

void CheckRows(QAbstractItemModel* m, const QModelIndex& parent, bool checked, bool recurse) {
  for (int r = 0; r < m->rowCount(parent); ++r) {
    const QModelIndex i = m->index(r, 0, parent);
    m->setData(i, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    if (recurse) CheckRows(m, i, checked, false);
  }
}

}  // namespace

TfrmPGC::TfrmPGC(QWidget* AParent)
    : QWidget(AParent, Qt::Window | Qt::FramelessWindowHint),
      FAppCleaner(std::make_unique<TPGCAppCleaner>()),
      FExtCleaner(std::make_unique<TPGCExtCleaner>()) {
  frmPGC = this;
  // The designed size is the smallest; the last size is taken again, as
  // far as the screen holds it.
  setMinimumSize(kWidth, kHeight);
  resize(kWidth, kHeight);
  setWindowIcon(pictures::AppIcon());
  CreateControls();
  AnchorControls();
  FResizer = new TEdgeResizer(this);
  lblTitleBar->installEventFilter(this);
  if (AppConfigs != nullptr && AppConfigs->WindowWidth() > 0) {
    QSize last(AppConfigs->WindowWidth(), AppConfigs->WindowHeight());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      last = last.boundedTo(screen->availableGeometry().size());
    }
    resize(last.expandedTo(minimumSize()));
  }
  CreateHelpMenu();
  ApplyFonts();
  if (AppOptions != nullptr && AppOptions->AppScanTypes() == 0) AppOptions->SetAppScanTypes(15);
  // The window runs on with built-in settings, as designed, but the user
  // must not find out only at the next start that nothing was kept.
  if (AppConfigs != nullptr && AppConfigs->WriteFailed()) {
    FSettingsNotice = true;
    if (AppOptions != nullptr) FNoticeCleanTime = AppOptions->LastCleanTime();
  }
  pageMain->setCurrentWidget(tabApp);
  FAppTab = std::make_unique<TPGCForm_AppTab>(this);
  FExtTab = std::make_unique<TPGCForm_ExtTab>(this);
  RegisterLanguageWindow(
      TAppLanguageWindow::Main, [this] { return isVisible(); }, [this] { RefreshMultiLangs(); });
}

TfrmPGC::~TfrmPGC() {
  // Hidden while the pages and their cleaners still live: QWidget's own
  // destructor would hide it after them, and the lists, laid out again as
  // they hide, would read rows whose files are gone.
  hide();
  UnregisterLanguageWindow(TAppLanguageWindow::Main);
  if (frmPGC == this) frmPGC = nullptr;
}

void TfrmPGC::CreateControls() {
  imgBackground = new TQelImage(this);
  imgBackground->setGeometry(0, 0, kWidth, kHeight);
  imgBackground->SetPicture(pictures::MainBackground(size()));

  lblTitleBar = new TQelTitleBar(this);
  lblTitleBar->setGeometry(0, 0, 670, 36);
  lblTitleBar->SetLogo(pictures::Logo(24));
  btnHelp = MakeButton(this, {680, 6, 25, 24});
  btnMinimize = MakeButton(this, {713, 6, 25, 24});
  btnClose = MakeButton(this, {746, 6, 25, 24});
  SetTitleFaces(btnHelp, pictures::TitleButton::Help);
  SetTitleFaces(btnMinimize, pictures::TitleButton::Minimize);
  SetTitleFaces(btnClose, pictures::TitleButton::Close);
  connect(btnHelp, &QAbstractButton::clicked, this, [this] { ShowHelpMenu(false); });
  connect(btnMinimize, &QAbstractButton::clicked, this, &QWidget::showMinimized);
  connect(btnClose, &QAbstractButton::clicked, this, &QWidget::close);

  lblStartPageSubtitle = new TQelLabel(this);
  lblStartPageSubtitle->setGeometry(20, 46, 740, 44);
  lblStartPageSubtitle->SetWordWrap(true);
  lblStartPageSubtitle->SetMoveHandler(true);

  btnAppTab = MakeButton(this, {20, 100, 160, 32});
  btnExtTab = MakeButton(this, {184, 100, 160, 32});
  SetPageFaces(btnAppTab);
  SetPageFaces(btnExtTab);
  connect(btnAppTab, &QAbstractButton::clicked, this, [this] { ChangePage(tabApp); });
  connect(btnExtTab, &QAbstractButton::clicked, this, [this] { ChangePage(tabExt); });

  pageMain = new QStackedWidget(this);
  pageMain->setGeometry(20, 132, 740, 418);
  tabApp = new QWidget(pageMain);
  tabExt = new QWidget(pageMain);
  pageMain->addWidget(tabApp);
  pageMain->addWidget(tabExt);

  lblAppScanListHint = new TQelLabel(tabApp);
  lblAppScanListHint->setGeometry(12, 10, 716, 18);
  lstAppScan = new QTreeView(tabApp);
  lstAppScan->setGeometry(12, 32, 716, 316);
  lstAppScan->setHeaderHidden(true);
  lstAppScan->setUniformRowHeights(true);  // its model is the page's
  lblAppSelectAll = new TQelURLLabel(tabApp);
  lblAppSelectNone = new TQelURLLabel(tabApp);
  lblAppRecommended = new TQelURLLabel(tabApp);
  for (TQelURLLabel* l : {lblAppSelectAll, lblAppSelectNone, lblAppRecommended}) {
    l->setGeometry(12, 360, 100, 20);
  }
  lblAppSelectAll->OnCommand = [this] { SetAllChecks(lstAppScan, true, true); };
  lblAppSelectNone->OnCommand = [this] { SetAllChecks(lstAppScan, false, true); };
  lblAppRecommended->OnCommand = [this] { CheckRecommended(); };
  lblAppTicked = new TQelLabel(tabApp);
  lblAppTicked->setGeometry(12, 384, 490, 20);
  lblAppTicked->SetTextTrimming(vttEllipsisWord);
  lblAppTicked->SetTextAlignment(valMiddleLeft);
  btnAppScan = MakeButton(tabApp, {512, 376, 104, 30});
  btnAppClean = MakeButton(tabApp, {624, 376, 104, 30});
  SetActionFaces(btnAppScan);
  SetActionFaces(btnAppClean);
  btnAppClean->setEnabled(false);
  connect(btnAppScan, &QAbstractButton::clicked, this, [this] {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (Pages.AppScan) Pages.AppScan();
    QApplication::restoreOverrideCursor();
  });
  connect(btnAppClean, &QAbstractButton::clicked, this, &TfrmPGC::AppClean);

  lblExtOptionsHint = new TQelLabel(tabExt);
  lblExtOptionsHint->setGeometry(12, 10, 716, 18);
  lstExtOptions = new QTreeView(tabExt);
  lstExtOptions->setGeometry(12, 32, 716, 110);
  lstExtOptions->setRootIsDecorated(false);
  lstExtOptions->setUniformRowHeights(true);
  lblExtScanListHint = new TQelLabel(tabExt);
  lblExtScanListHint->setGeometry(12, 150, 716, 18);
  lstExtScan = new QTreeView(tabExt);
  lstExtScan->setGeometry(12, 172, 716, 176);
  lstExtScan->setHeaderHidden(true);
  lstExtScan->setRootIsDecorated(false);
  lstExtScan->setUniformRowHeights(true);
  lblExtSelectAll = new TQelURLLabel(tabExt);
  lblExtSelectNone = new TQelURLLabel(tabExt);
  for (TQelURLLabel* l : {lblExtSelectAll, lblExtSelectNone}) l->setGeometry(12, 360, 100, 20);
  lblExtSelectNone->setEnabled(false);
  lblExtSelectAll->OnCommand = [this] { FExtTab->CheckAll(true); };
  lblExtTicked = new TQelLabel(tabExt);
  lblExtTicked->setGeometry(12, 384, 490, 20);
  lblExtTicked->SetTextTrimming(vttEllipsisWord);
  lblExtTicked->SetTextAlignment(valMiddleLeft);
  lblExtSelectNone->OnCommand = [this] { FExtTab->CheckAll(false); };
  btnExtScan = MakeButton(tabExt, {512, 376, 104, 30});
  btnExtClean = MakeButton(tabExt, {624, 376, 104, 30});
  SetActionFaces(btnExtScan);
  SetActionFaces(btnExtClean);
  btnExtScan->setEnabled(false);
  btnExtClean->setEnabled(false);
  connect(btnExtScan, &QAbstractButton::clicked, this, [this] {
    if (Pages.ExtScan) Pages.ExtScan();
  });
  connect(btnExtClean, &QAbstractButton::clicked, this, [this] {
    if (Pages.ExtClean) Pages.ExtClean();
  });

  lblStatus = new TQelLabel(this);
  lblStatus->setGeometry(14, 562, 752, 20);
  lblStatus->SetTextTrimming(vttEllipsisWord);
  lblStatus->SetTextAlignment(valMiddleLeft);
  lblStatus->SetMoveHandler(true);
}

void TfrmPGC::AnchorControls() {
  FAnchors = new TAnchors(this);
  constexpr unsigned L = TAnchors::akLeft, T = TAnchors::akTop, R = TAnchors::akRight, B = TAnchors::akBottom;
  const QSize window(kWidth, kHeight), page = pageMain->size();
  for (const auto& [control, anchors] : std::initializer_list<std::pair<QWidget*, unsigned>>{
           {imgBackground, L | T | R | B}, {lblTitleBar, L | T | R}, {btnHelp, T | R}, {btnMinimize, T | R},
           {btnClose, T | R}, {lblStartPageSubtitle, L | T | R}, {pageMain, L | T | R | B},
           {lblStatus, L | R | B}}) {
    FAnchors->Add(control, anchors, window);
  }
  for (const auto& [control, anchors] : std::initializer_list<std::pair<QWidget*, unsigned>>{
           {lblAppScanListHint, L | T | R}, {lstAppScan, L | T | R | B}, {lblAppSelectAll, L | B},
           {lblAppSelectNone, L | B}, {lblAppRecommended, L | B}, {lblAppTicked, L | R | B},
           {btnAppScan, R | B}, {btnAppClean, R | B},
           {lblExtOptionsHint, L | T | R}, {lstExtOptions, L | T | R}, {lblExtScanListHint, L | T | R},
           {lstExtScan, L | T | R | B}, {lblExtSelectAll, L | B}, {lblExtSelectNone, L | B},
           {lblExtTicked, L | R | B}, {btnExtScan, R | B}, {btnExtClean, R | B}}) {
    FAnchors->Add(control, anchors, page);
  }
}

void TfrmPGC::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  // The background carries the title and status bands: painted anew for
  // the new size (the anchors have given it that size by now).
  if (imgBackground->size() != imgBackground->Picture().deviceIndependentSize().toSize()) {
    imgBackground->SetPicture(pictures::MainBackground(imgBackground->size()));
  }
}

bool TfrmPGC::eventFilter(QObject* AWatched, QEvent* AEvent) {
  // A double-click on the title bar maximises the window, or restores it,
  // as on any title bar.
  if (AWatched == lblTitleBar && AEvent->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton) {
    if (isMaximized()) {
      showNormal();
    } else {
      showMaximized();
    }
    return true;
  }
  return QWidget::eventFilter(AWatched, AEvent);
}

void TfrmPGC::CreateHelpMenu() {
  pmnHelp = new QMenu(this);
  actHelpHelpFile = pmnHelp->addAction(QString());
  actHelpHelpFile->setShortcut(Qt::Key_F1);
  actHelpHelpFile->setShortcutContext(Qt::WindowShortcut);
  addAction(actHelpHelpFile);
  pmnHelp->addSeparator();
  mniHelpLanguage = pmnHelp->addMenu(QString());
  pmnHelp->addSeparator();
  actHelpTechnicalSupport = pmnHelp->addAction(QString());
  actHelpHomePage = pmnHelp->addAction(QString());
  actHelpForum = pmnHelp->addAction(QString());
  pmnHelp->addSeparator();
  actHelpAbout = pmnHelp->addAction(QString());
  connect(actHelpHelpFile, &QAction::triggered, this, &TfrmPGC::OpenHelpFile);
  connect(actHelpTechnicalSupport, &QAction::triggered, this, [this] {
    if (AppMultiLangs != nullptr) OpenWithDesktop(AppMultiLangs->URLTechnicalSupportEmail());
  });
  connect(actHelpHomePage, &QAction::triggered, this, [this] {
    if (AppMultiLangs != nullptr) OpenWithDesktop(AppMultiLangs->URLHomePage());
  });
  connect(actHelpForum, &QAction::triggered, this, [this] {
    if (AppMultiLangs != nullptr) OpenWithDesktop(AppMultiLangs->URLForum());
  });
  connect(actHelpAbout, &QAction::triggered, this, &TfrmPGC::ShowAbout);

  // The title bar's buttons take no focus; these keys stand for them. A
  // window manager that takes Alt+F4 or Alt+Space itself closes the window
  // or shows its own window menu, which does the same.
  actHelpFile = new QAction(this);
  actHelpFile->setShortcuts({QKeySequence(Qt::Key_F10), QKeySequence(Qt::ALT | Qt::Key_H),
                             QKeySequence(Qt::Key_Menu)});
  actHelpFile->setShortcutContext(Qt::WindowShortcut);
  addAction(actHelpFile);
  connect(actHelpFile, &QAction::triggered, this, [this] { ShowHelpMenu(true); });
  pmnWindow = new QMenu(this);
  actMinimize = pmnWindow->addAction(QString());
  actClose = pmnWindow->addAction(QString());
  actClose->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  actClose->setShortcutContext(Qt::WindowShortcut);
  addAction(actClose);
  connect(actMinimize, &QAction::triggered, this, &QWidget::showMinimized);
  connect(actClose, &QAction::triggered, this, &QWidget::close);
  auto* windowMenuKey = new QAction(this);
  windowMenuKey->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Space));
  windowMenuKey->setShortcutContext(Qt::WindowShortcut);
  addAction(windowMenuKey);
  connect(windowMenuKey, &QAction::triggered, this, &TfrmPGC::ShowWindowMenu);
}

void TfrmPGC::ApplyFonts() {
  // The main window's fonts are designed ones (sizes, weights), in the
  // family every window of the language uses.
  const QFont base = LanguageFont(QApplication::font());
  setFont(base);
  // Menus are windows of their own: they take no font from this one.
  pmnHelp->setFont(base);
  if (pmnWindow != nullptr) pmnWindow->setFont(base);
  mniHelpLanguage->setFont(base);
  QFont title = base;
  title.setBold(true);
  title.setPointSizeF(base.pointSizeF() + 2);
  lblTitleBar->SetTitleFont(title, Qt::white);
  QFont bold = base;
  bold.setBold(true);
  for (TQelImageButton* b : {btnAppTab, btnExtTab, btnAppScan, btnAppClean, btnExtScan, btnExtClean}) {
    b->setFont(bold);
    b->SetFontMouseHover(bold);
    b->SetFontMouseDown(bold);
    b->SetFontDisabled(bold);
  }
  for (TQelLabel* l : {lblAppScanListHint, lblExtOptionsHint, lblExtScanListHint}) l->setFont(bold);
  lblStartPageSubtitle->SetFontColor(QColor(0x44, 0x4B, 0x55));
  lblStatus->SetFontColor(QColor(0x44, 0x4B, 0x55));
}

void TfrmPGC::RefreshStatus() {
  const platform::FileTime t = AppOptions != nullptr ? AppOptions->LastCleanTime() : platform::FileTime{};
  if (FSettingsNotice) {
    if (t.dwLowDateTime == FNoticeCleanTime.dwLowDateTime && t.dwHighDateTime == FNoticeCleanTime.dwHighDateTime) {
      lblStatus->SetCaption(Text(STR_PGCForm_Label_SettingsUnwritable));
      return;
    }
    FSettingsNotice = false;
  }
  if (t.dwLowDateTime == 0 && t.dwHighDateTime == 0) {
    lblStatus->SetCaption(Text(STR_PGCForm_Label_Status0));
    return;
  }
  lblStatus->SetCaption(Text(STR_PGCForm_Label_Status1).replace(QStringLiteral("%s"), CleaningTimeText(t)));
}

void TfrmPGC::RefreshMultiLangs() {
  ApplyFonts();
  actHelpHelpFile->setText(Text(STR_Main_HelpMenu_HelpFile));
  actHelpTechnicalSupport->setText(Text(STR_Main_HelpMenu_TechnicalSupport));
  actHelpHomePage->setText(Text(STR_Main_HelpMenu_HomePage));
  actHelpForum->setText(Text(STR_Main_HelpMenu_Forum));
  actHelpAbout->setText(Text(STR_Main_HelpMenu_About));
  mniHelpLanguage->setTitle(Text(STR_Main_HelpMenu_Language));
  setWindowTitle(Text(STR_PGCForm_Caption));
  lblTitleBar->SetTitle(Text(STR_PGCForm_Title));
  btnClose->setToolTip(Text(STR_PGCForm_Button_CloseHint));
  btnMinimize->setToolTip(Text(STR_PGCForm_Button_MinHint));
  btnHelp->setToolTip(Text(STR_PGCForm_Button_HelpHint));
  // Accessible names, for the buttons that show a symbol only.
  btnClose->setAccessibleName(btnClose->toolTip());
  btnMinimize->setAccessibleName(btnMinimize->toolTip());
  btnHelp->setAccessibleName(btnHelp->toolTip());
  actHelpFile->setText(btnHelp->toolTip());
  actMinimize->setText(btnMinimize->toolTip());
  actClose->setText(btnClose->toolTip());
  // The lists are named by the labels above them.
  lstAppScan->setAccessibleName(NameFromLabel(Text(STR_PGCForm_AppTab_Label_ScanListHint)));
  lstExtOptions->setAccessibleName(NameFromLabel(Text(STR_PGCForm_ExtTab_Label_OptionsHint)));
  lstExtScan->setAccessibleName(NameFromLabel(Text(STR_PGCForm_ExtTab_Label_ScanListHint)));
  lblStartPageSubtitle->SetCaption(Text(STR_PGCForm_Label_TopicSubtitle));
  btnAppTab->setText(Text(STR_PGCForm_Button_AppTab));
  btnExtTab->setText(Text(STR_PGCForm_Button_ExtTab));
  lblAppScanListHint->SetCaption(Text(STR_PGCForm_AppTab_Label_ScanListHint));
  lblAppSelectAll->SetCaption(Text(STR_PGCForm_AppTab_Label_SelectAll));
  lblAppSelectNone->SetCaption(Text(STR_PGCForm_AppTab_Label_SelectNone));
  lblAppRecommended->SetCaption(Text(STR_PGCForm_AppTab_Label_Default));
  btnAppScan->setText(Text(STR_PGCForm_AppTab_Button_Scan));
  btnAppClean->setText(Text(STR_PGCForm_AppTab_Button_Clean));
  lblExtOptionsHint->SetCaption(Text(STR_PGCForm_ExtTab_Label_OptionsHint));
  lblExtScanListHint->SetCaption(Text(STR_PGCForm_ExtTab_Label_ScanListHint));
  lblExtSelectAll->SetCaption(Text(STR_PGCForm_ExtTab_Label_SelectAll));
  lblExtSelectNone->SetCaption(Text(STR_PGCForm_ExtTab_SelectNone));
  btnExtClean->setText(Text(STR_PGCForm_ExtTab_Button_Clean));
  btnExtScan->setText(Text(STR_PGCForm_ExtTab_Button_Scan));
  RefreshStatus();
  FAppTab->RefreshMultiLangs();
  FExtTab->RefreshMultiLangs();
  lstAppScan->viewport()->update();
  lstExtOptions->viewport()->update();
  // Translated captions change widths: the links stay in a row.
  for (TQelURLLabel* l : {lblAppSelectAll, lblAppSelectNone, lblAppRecommended, lblExtSelectAll,
                          lblExtSelectNone}) {
    l->resize(l->TextWidth(), l->height());
  }
  lblAppSelectNone->move(lblAppSelectAll->x() + lblAppSelectAll->width() + kLinkGap, lblAppSelectNone->y());
  lblAppRecommended->move(lblAppSelectNone->x() + lblAppSelectNone->width() + kLinkGap,
                          lblAppRecommended->y());
  lblExtSelectNone->move(lblExtSelectAll->x() + lblExtSelectAll->width() + kLinkGap, lblExtSelectNone->y());
}

void TfrmPGC::LoadLangMenuItems() {
  mniHelpLanguage->clear();
  auto* group = new QActionGroup(mniHelpLanguage);
  const int count = AppMultiLangs != nullptr ? AppMultiLangs->Count() : 0;
  for (int i = 0; i < count; ++i) {
    QAction* item = mniHelpLanguage->addAction(Text(AppMultiLangs->GetLanguageName(i)).toUpper());
    item->setCheckable(true);
    item->setActionGroup(group);
    item->setChecked(i == AppMultiLangs->Index());
    connect(item, &QAction::triggered, this, [this, item, i] {
      if (AppMultiLangs == nullptr || i == AppMultiLangs->Index()) return;
      AppMultiLangs->SetIndex(i);
      RefreshMultiLangs();
      item->setChecked(true);
    });
  }
  mniHelpLanguage->menuAction()->setVisible(count > 1);
}

void TfrmPGC::ChangePage(QWidget* ATab) {
  if (ATab != tabApp && ATab != tabExt) return;
  pageMain->setCurrentWidget(ATab);
  btnAppTab->setEnabled(ATab != tabApp);
  btnExtTab->setEnabled(ATab != tabExt);
  // The disabled button is the page shown: its caption in the accent
  // colour, not greyed.
  for (TQelImageButton* b : {btnAppTab, btnExtTab}) {
    b->SetFontColor(b->isEnabled() ? pictures::PageCaptionColor(pictures::Face::Normal)
                                   : pictures::PageCaptionColor(pictures::Face::Disabled));
  }
}

void TfrmPGC::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  RefreshMultiLangs();
  RefreshStatus();
  if (FFirstShow) {
    FFirstShow = false;
    ChangePage(tabApp);
  }
}

void TfrmPGC::closeEvent(QCloseEvent* e) {
  // Never while a scan or a pass runs inside the window's own handlers
  // (the window manager or a signal may still ask): the work ends first.
  if (FAppTab->Busy() || FExtTab->Busy()) {
    e->ignore();
    return;
  }
  FExtTab->ClearOptVT();
  if (AppConfigs != nullptr) {
    const QSize size = isMaximized() || isFullScreen() ? normalGeometry().size() : this->size();
    if (size.isValid()) AppConfigs->SetWindowSize(size.width(), size.height());
  }
  frmPGC = nullptr;
  e->accept();
}

void TfrmPGC::ShowHelpMenu(bool AByKey) {
  pmnHelp->popup(btnHelp->mapToGlobal(QPoint(0, btnHelp->height() + 1)));
  if (AByKey) ActivateFirstItem(pmnHelp);
}

void TfrmPGC::ShowWindowMenu() {
  pmnWindow->popup(lblTitleBar->mapToGlobal(QPoint(0, lblTitleBar->height())));
  ActivateFirstItem(pmnWindow);
}

std::string TfrmPGC::HelpFileToOpen() {
  // A language pack may still bring a help file of its own; most bring
  // none, and then the manual that ships with the program is the help.
  if (AppMultiLangs != nullptr && !AppMultiLangs->HelpFile().empty()) {
    std::error_code error;
    if (std::filesystem::is_regular_file(AppMultiLangs->HelpFile(), error)) return AppMultiLangs->HelpFile();
  }
  return platform::CurrentProgramLayout().manualFile;
}

void TfrmPGC::OpenHelpFile() {
  const std::string file = HelpFileToOpen();
  // The desktop would be asked to open a file that is not there and fail
  // later, out of sight (the documentation folder may have been left out
  // when the package was installed): say it here, with the path.
  std::error_code error;
  if (file.empty() || !std::filesystem::is_regular_file(file, error)) {
    ShowMessageBox(this, Formatted(STR_Main_HelpMenu_HelpFileMissing, file), Text(STR_Warning), 0,
                   MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  OpenWithDesktop(file);
}

void TfrmPGC::OpenWithDesktop(const std::string& ATarget) {
  if (platform::ShellOpen(ATarget, "", 1)) return;
  // Nothing could open it (no browser, no handler for the file type): the
  // user can still open the address by hand.
  ShowMessageBox(this, Formatted(STR_Main_HelpMenu_OpenFailed, ATarget), Text(STR_Warning), 0,
                 MB_OK | MB_ICONEXCLAMATION);
}

void TfrmPGC::ShowAbout() {
  if (FAboutForm != nullptr) return;
  auto about = std::make_unique<TfrmAbout>();
  FAboutForm = about.get();
  DoModal(about.get(), this, true);
  FAboutForm = nullptr;
}

void TfrmPGC::AppClean() {
  // The question is asked under the ordinary pointer; the pass runs under
  // the busy one.
  const bool clean = FAppTab->ConfirmClean() && Pages.AppClean;
  if (clean) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Pages.AppClean();
    QApplication::restoreOverrideCursor();
  }
  RefreshStatus();
}

void TfrmPGC::SetAllChecks(QTreeView* AList, bool AChecked, bool AWithChildren) {
  CheckRows(AList->model(), QModelIndex(), AChecked, AWithChildren);
  AList->viewport()->update();
}

void TfrmPGC::CheckRecommended() {
  QAbstractItemModel* m = lstAppScan->model();
  for (int r = 0; r < m->rowCount(); ++r) {
    const bool checked = r < 3;
    const QModelIndex category = m->index(r, 0);
    m->setData(category, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    CheckRows(m, category, checked, false);
  }
  lstAppScan->viewport()->update();
}

}  // namespace purgo
