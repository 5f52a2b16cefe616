// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AboutForm.h"

#include <QLabel>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <array>

#include "app/AppSingletons.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "ui/PGCPictures.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

// The product-overview panel: white, and deaf to the mouse wheel (the
// wheel over it scrolls nothing, as the panel's content is fixed).
class TProductInfoPanel : public QScrollArea {
 public:
  explicit TProductInfoPanel(QWidget* AParent) : QScrollArea(AParent) {
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    viewport()->setAutoFillBackground(true);
    auto* content = new QWidget();
    content->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->addStretch(1);
    auto* spacer = new QLabel(content);
    spacer->setFixedHeight(34);
    column->addWidget(spacer);
    setWidget(content);
  }

 protected:
  void wheelEvent(QWheelEvent* e) override { e->accept(); }
};

QString Formatted(const std::string& format, const std::string& argument) {
  const std::array<TQelDynArg, 1> args{TQelDynArg(argument)};
  return Text(QelFormat(format, args));
}

// A font variable laid over a control's current font and colour.
template <class Control>
void ApplyFontTo(Control* c, const std::int32_t& variable, QColor color) {
  TQelFont f = FromQFont(c->font(), color);
  ApplyFont(f, variable);
  c->setFont(ToQFont(f));
  c->SetFontColor(FontColor(f));
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* AParent) : QWidget(AParent, Qt::Window | Qt::FramelessWindowHint) {
  setFixedSize(560, 400);
  setWindowTitle(QStringLiteral("About"));
  imgBackground = new TQelImage(this);
  imgBackground->setGeometry(rect());
  imgBackground->SetPicture(pictures::DialogBackground(size(), 30));
  imgLogo = new TQelImage(this);
  imgLogo->setGeometry(8, 39, 128, 128);
  imgLogo->SetPicture(pictures::Logo(128));
  lblTitleBar = new TQelTitleBar(this);
  lblTitleBar->setGeometry(8, 4, 489, 26);
  lblTitleBar->SetLogo(pictures::Logo(24));
  btnSysClose = new TQelImageButton(this);
  btnSysClose->setGeometry(528, 3, 25, 24);
  for (auto [face, set] : std::initializer_list<std::pair<pictures::Face, void (TQelCustomButton::*)(const QPixmap&)>>{
           {pictures::Face::Normal, &TQelCustomButton::SetPictureNormal},
           {pictures::Face::Hover, &TQelCustomButton::SetPictureMouseHover},
           {pictures::Face::Down, &TQelCustomButton::SetPictureMouseDown}}) {
    (btnSysClose->*set)(pictures::TitleButtonFace(pictures::TitleButton::Close, face, btnSysClose->size()));
  }
  btnSysClose->SetCancel(true);
  // Escape stands for it; Tab reaches the Close button below instead.
  btnSysClose->setFocusPolicy(Qt::NoFocus);

  const auto label = [this](int x, int y, int w, int h) {
    auto* l = new TQelLabel(this);
    l->setGeometry(x, y, w, h);
    l->SetWordWrap(true);
    return l;
  };
  lblApplictionTitle = label(154, 40, 400, 34);
  lblVersion = label(154, 79, 400, 20);
  lblCopyright = label(154, 100, 400, 20);
  lblOfficialWebsite = new TQelURLLabel(this);
  // 17 pixels of text, and room around it for the focus frame.
  lblOfficialWebsite->setGeometry(154, 123, 372, 21);
  lblTechnicalSupportEmail = new TQelURLLabel(this);
  lblTechnicalSupportEmail->setGeometry(154, 147, 372, 21);
  lblRunningEnv = label(154, 278, 400, 20);
  lblRunningEnv->hide();
  lblProductOverview = label(10, 183, 400, 17);
  lstProductInfo = new TProductInfoPanel(this);
  lstProductInfo->setGeometry(8, 200, 540, 153);
  lstProductInfo->setFrameShape(QFrame::Box);
  lblFocusOnProduct = new TQelURLLabel(this);
  lblFocusOnProduct->setGeometry(8, 337, 200, 21);
  lblFocusOnProduct->hide();
  const auto button = [this](int x, int y, int w) {
    auto* b = new TQelImageButton(this);
    b->setGeometry(x, y, w, 26);
    b->SetPictureNormal(pictures::ActionButtonFace(pictures::Face::Normal, b->size()));
    b->SetPictureMouseHover(pictures::ActionButtonFace(pictures::Face::Hover, b->size()));
    b->SetPictureMouseDown(pictures::ActionButtonFace(pictures::Face::Down, b->size()));
    b->SetPictureDisabled(pictures::ActionButtonFace(pictures::Face::Disabled, b->size()));
    return b;
  };
  btnMoreVersionInfos = button(8, 359, 160);
  btnMoreVersionInfos->hide();
  btnDeveloperTeam = button(186, 359, 160);
  btnDeveloperTeam->hide();
  btnClose = button(448, 359, 100);
  btnClose->SetDrawFocused(true);
  btnClose->SetCancel(true);
  connect(btnClose, &QAbstractButton::clicked, this, &QWidget::close);
  connect(btnSysClose, &QAbstractButton::clicked, this, &QWidget::close);
  RegisterLanguageWindow(
      TAppLanguageWindow::About, [this] { return isVisible(); }, [this] { RefreshMultiLangs(); });
}

TfrmAbout::~TfrmAbout() { UnregisterLanguageWindow(TAppLanguageWindow::About); }

void TfrmAbout::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  RefreshMultiLangs();
}

void TfrmAbout::RefreshMultiLangs() {
  // The designed look first, then whatever the language's scheme says.
  const QColor text(0x20, 0x26, 0x2E), link(0x0B, 0x6E, 0xB8);
  TQelFont own = FromQFont(font(), text);
  ApplyFont(own, FONT_About);
  setFont(ToQFont(own));
  // Controls under a style sheet keep the font they had when first shown:
  // the panel and what it holds are given the new one themselves.
  lstProductInfo->setFont(font());
  for (QWidget* w : lstProductInfo->findChildren<QWidget*>()) w->setFont(font());
  TQelFont title = FromQFont(lblTitleBar->TitleFont(), Qt::white);
  title.Style.Bold = true;
  ApplyFont(title, FONT_About_TitleBar);
  lblTitleBar->SetTitleFont(ToQFont(title), FontColor(title));
  ApplyFontTo(btnClose, FONT_About_Button_Close, Qt::white);
  ApplyFontTo(btnDeveloperTeam, FONT_About_Button_DeveloperTeam, Qt::white);
  ApplyFontTo(btnMoreVersionInfos, FONT_About_Button_VersionInfo, Qt::white);
  ApplyFontTo(lblApplictionTitle, FONT_About_Label_ApplictionTitle, text);
  ApplyFontTo(lblVersion, FONT_About_Label_Version, text);
  ApplyFontTo(lblProductOverview, FONT_About_Label_ProductOverview, text);
  ApplyFontTo(lblRunningEnv, FONT_About_Label_RunningEnv, text);
  ApplyFontTo(lblOfficialWebsite, FONT_About_Label_OfficialWebsite, link);
  ApplyFontTo(lblFocusOnProduct, FONT_About_Label_FocusOnProduct, link);
  ApplyFontTo(lblTechnicalSupportEmail, FONT_About_Label_TechnicalSupportEmail, link);

  if (AppMultiLangs != nullptr) {
    lblOfficialWebsite->SetURL(AppMultiLangs->URLHomePage());
    lblFocusOnProduct->SetURL(AppMultiLangs->URLFocusOnProduct());
    const std::string& mail = AppMultiLangs->URLTechnicalSupportEmail();
    lblTechnicalSupportEmail->SetURL(mail.empty() || mail.find(':') != std::string::npos ? mail
                                                                                          : "mailto:" + mail);
  }
  btnClose->setText(Text(STR_About_Button_Close));
  btnSysClose->setToolTip(btnClose->text());
  btnSysClose->setAccessibleName(btnClose->text());
  btnDeveloperTeam->setText(Text(STR_About_Button_Team));
  btnMoreVersionInfos->setText(Text(STR_About_Button_MoreVersionInfo));
  lblProductOverview->SetCaption(Text(STR_About_Label_ProductOverview));
  lblRunningEnv->SetCaption(Text(STR_About_Label_RunningEnv));
  lblFocusOnProduct->SetCaption(Text(STR_About_Label_FocusOnProduct));
  lblOfficialWebsite->SetCaption(Text(STR_About_Label_HomePage));
  lblTechnicalSupportEmail->SetCaption(Text(STR_About_Label_TechnicalSupportEmail));
  lblCopyright->SetCaption(Text(STR_Copyright));
  const std::string appTitle = AppConfigs != nullptr ? AppConfigs->ApplicationTitle() : STR_ApplicationTitle;
  setWindowTitle(Formatted(STR_About_FormTitle, appTitle));
  lblTitleBar->SetTitle(windowTitle());
  lblApplictionTitle->SetCaption(Text(appTitle));
  // The program's own version, as --version and the package give it; the
  // configuration's "Version" names whichever Purgo wrote that file last.
  lblVersion->SetCaption(Formatted(STR_About_Label_Version, PURGO_VERSION));
  lblRunningEnv->SetCaption(Formatted(STR_About_Label_RunningEnv, std::string()));
}

}  // namespace purgo
