// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PGCProgressForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QProgressBar>
#include <QShowEvent>

#include "engine/PurgoCore.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "ui/PGCPictures.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

constexpr int kBarTop = 14;

// A rendered string-table text: "\r\n" in a format is one line break.
QString Rendered(const TQelDynString& s) {
  QString text = QString::fromStdString(s.Value());
  text.remove(QLatin1Char('\r'));
  return text;
}

}  // namespace

TfrmPGCProgress::TfrmPGCProgress(QWidget* AOwner)
    : QWidget(AOwner, Qt::Window | Qt::FramelessWindowHint) {
  setFixedSize(504, 120);
  auto* background = new TQelImage(this);
  background->setGeometry(rect());
  background->SetPicture(pictures::DialogBackground(size(), 0));
  prgProgress = new QProgressBar(this);
  prgProgress->setGeometry(16, kBarTop, 472, 18);
  prgProgress->setRange(0, 100);
  prgProgress->setTextVisible(true);
  lblStatus = new TQelLabel(this);
  lblStatus->setGeometry(16, kBarTop + 12, 472, 40);
  lblStatus->SetWordWrap(true);
  lblStatus->SetCaption(QStringLiteral("No Message"));
  btnCancel = new TQelImageButton(this);
  btnCancel->setGeometry((504 - 104) / 2, 82, 104, 28);
  btnCancel->SetPictureNormal(pictures::ActionButtonFace(pictures::Face::Normal, btnCancel->size()));
  btnCancel->SetPictureMouseHover(pictures::ActionButtonFace(pictures::Face::Hover, btnCancel->size()));
  btnCancel->SetPictureMouseDown(pictures::ActionButtonFace(pictures::Face::Down, btnCancel->size()));
  btnCancel->SetPictureDisabled(pictures::ActionButtonFace(pictures::Face::Disabled, btnCancel->size()));
  btnCancel->setText(QStringLiteral("Stop"));
  btnCancel->SetCancel(true);
  btnCancel->SetDrawFocused(true);
  connect(btnCancel, &QAbstractButton::clicked, this, &TfrmPGCProgress::btnCancelClick);
  // Precise, so that the work starts 300 ms after the dialog shows and not
  // up to 15 ms either side.
  Timer.setInterval(300);
  Timer.setTimerType(Qt::PreciseTimer);
  Timer.setSingleShot(false);
  connect(&Timer, &QTimer::timeout, this, &TfrmPGCProgress::TimerTimer);
}

TfrmPGCProgress::~TfrmPGCProgress() = default;

void TfrmPGCProgress::SetCommand(int Value) {
  FCommand = Value;
  if (Value != 0 && Value != 1) return;
  FButtonDynString.Reload(&STR_Cancel);
  btnCancel->setText(Rendered(FButtonDynString));
  prgProgress->setVisible(Value == 1);
  SetPercentage(0);
  lblStatus->move(lblStatus->x(), Value == 0 ? kBarTop + 12 : kBarTop + prgProgress->height() + 6);
  FStatusDynString.Reload(Value == 0 ? &STR_PGCProgressForm_2 : &STR_PGCProgressForm_3);
  lblStatus->SetCaption(Rendered(FStatusDynString));
  RefreshNames();
}

void TfrmPGCProgress::RefreshNames() {
  if (FCommand != 0 && FCommand != 1) return;
  setWindowTitle(Text(FCommand == 0 ? STR_PGCProgressForm_2 : STR_PGCProgressForm_3));
  prgProgress->setAccessibleName(windowTitle());
}

int TfrmPGCProgress::Percentage() const { return prgProgress->value(); }

void TfrmPGCProgress::SetPercentage(int Value) { prgProgress->setValue(Value); }

void TfrmPGCProgress::RefreshStatus() {
  lblStatus->SetCaption(Rendered(FStatusDynString));
  btnCancel->setText(Rendered(FButtonDynString));
}

void TfrmPGCProgress::RefreshMultiLangs() {
  // The bar's percentage too is drawn in the language's family.
  setFont(LanguageFont(QApplication::font()));
  TQelFont button = FromQFont(btnCancel->font(), btnCancel->FontColor().isValid() ? btnCancel->FontColor() : Qt::white);
  ApplyFont(button, FONT_PGOProgressForm_Button_Cancel);
  btnCancel->setFont(ToQFont(button));
  TQelFont status = FromQFont(lblStatus->font(), QColor(0x20, 0x26, 0x2E));
  ApplyFont(status, FONT_PGOProgressForm_Label_Status);
  lblStatus->setFont(ToQFont(status));
  lblStatus->SetFontColor(FontColor(status));
  RefreshNames();
  RefreshStatus();
}

void TfrmPGCProgress::EndProgress(bool AStopped) {
  if (FCommand != 0 && FCommand != 1) return;
  const bool stopped = AStopped && FCommand == 1;
  if (!stopped) SetPercentage(100);
  FButtonDynString.Reload(&STR_Finished);
  btnCancel->setText(Rendered(FButtonDynString));
  if (FPurgo == nullptr) return;
  if (FCommand == 0) {
    FStatusDynString.Reload(
        &CountText(FPurgo->ScanTotalFilesCount(), STR_PGCProgressForm_0, STR_PGCProgressForm_0_One),
        {FPurgo->ScanTotalFilesCount(), FormatSize64(FPurgo->ScanTotalFilesSize())});
  } else {
    FStatusDynString.Reload(
        stopped ? &STR_PGCProgressForm_4
                : &CountText(FPurgo->CleanTotalFilesCount(), STR_PGCProgressForm_1, STR_PGCProgressForm_1_One),
        {FPurgo->CleanTotalFilesCount(), FormatSize64(FPurgo->CleanTotalFilesSize())});
  }
  lblStatus->SetCaption(Rendered(FStatusDynString));
}

void TfrmPGCProgress::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  Timer.start();
  RefreshMultiLangs();
}

void TfrmPGCProgress::TimerTimer() {
  if (!isVisible()) return;
  Timer.stop();
  DoStart();
}

void TfrmPGCProgress::DoStart() {
  FWorking = true;
  if (OnStart) OnStart(this);
  FWorking = false;
}

void TfrmPGCProgress::closeEvent(QCloseEvent* e) {
  // The owner's own close() (a scan that ended) is not spontaneous.
  if (e->spontaneous() && FWorking) {
    bool canClose = true;
    if (OnCancel) OnCancel(this, canClose);
    if (!canClose) {
      e->ignore();
      return;
    }
  }
  QWidget::closeEvent(e);
}

void TfrmPGCProgress::btnCancelClick() {
  bool canClose = true;
  if (OnCancel) OnCancel(this, canClose);
  if (!canClose) return;
  close();
}

}  // namespace purgo
