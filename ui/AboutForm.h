// SPDX-License-Identifier: GPL-3.0-or-later
// The about dialog: the program's title, version and copyright, links to
// its home page and support address, and a close button. Every text comes
// from the string table and every font from the font variables, so it
// follows a language change even while it is shown.
#pragma once

#include <QWidget>

#include "controls/QWImageButton.h"
#include "controls/QWLabel.h"

class QScrollArea;

namespace purgo {

class TfrmAbout : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmAbout(QWidget* AParent = nullptr);
  ~TfrmAbout() override;

  void RefreshMultiLangs();

  TQelImage* imgBackground;
  TQelImage* imgLogo;
  TQelTitleBar* lblTitleBar;
  TQelImageButton* btnSysClose;
  TQelLabel* lblApplictionTitle;
  TQelLabel* lblVersion;
  TQelLabel* lblCopyright;
  TQelURLLabel* lblOfficialWebsite;
  TQelURLLabel* lblTechnicalSupportEmail;
  TQelLabel* lblRunningEnv;
  TQelLabel* lblProductOverview;
  QScrollArea* lstProductInfo;
  TQelURLLabel* lblFocusOnProduct;
  TQelImageButton* btnMoreVersionInfos;
  TQelImageButton* btnDeveloperTeam;
  TQelImageButton* btnClose;

 protected:
  void showEvent(QShowEvent* e) override;
};

}  // namespace purgo
