// SPDX-License-Identifier: GPL-3.0-or-later
// Image buttons: a button drawn from one picture per state (normal, mouse
// over, pressed, disabled) with its caption in a per-state font.
//
// The visual state is the control's own, not Qt's: pressing and dragging
// the pointer out keeps the pressed picture until the release, and a
// release outside returns to normal without a click. A click sets the
// window's modal result, opens the button's address (through the core's
// ShellOpen hook), then raises clicked() to everyone else.
//
// A focused button is pressed by Space and by Enter, as every Qt button
// is; Space held shows the pressed picture like the mouse does.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <functional>
#include <string>

#include "controls/QWClasses.h"

namespace purgo {

class TQelCustomButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TQelCustomButton(QWidget* AOwner = nullptr);
  ~TQelCustomButton() override;

  // Escape clicks a cancel button; Enter clicks the button while it is
  // active (the window's current default).
  bool Cancel() const { return FIsCancel; }
  void SetCancel(bool v);
  bool Default() const { return FIsDefault; }
  void SetDefault(bool v);
  bool IsActive() const { return FIsActive; }
  void SetActive(bool v);

  // Opened on click when not blank.
  const std::string& URL() const { return FURL; }
  void SetURL(std::string v) { FURL = std::move(v); }
  // Copied to the window's modal result on click (see ModalResultOf).
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int v) { FModalResult = v; }

  bool Transparent() const { return FIsTransparent; }
  void SetTransparent(bool v) { Set(FIsTransparent, v); }
  bool Stretch() const { return FIsStretch; }
  void SetStretch(bool v) { Set(FIsStretch, v); }
  bool DrawBorder() const { return FIsDrawBorder; }
  void SetDrawBorder(bool v) { Set(FIsDrawBorder, v); }
  bool DrawFocused() const { return FIsDrawFocused; }
  void SetDrawFocused(bool v) { Set(FIsDrawFocused, v); }
  bool EnableMultiFonts() const { return FIsEnableMultiFonts; }
  void SetEnableMultiFonts(bool v) { Set(FIsEnableMultiFonts, v); }

  const QFont& FontMouseHover() const { return FFontMouseHover; }
  void SetFontMouseHover(const QFont& f) { FFontMouseHover = f; update(); }
  const QFont& FontMouseDown() const { return FFontMouseDown; }
  void SetFontMouseDown(const QFont& f) { FFontMouseDown = f; update(); }
  const QFont& FontDisabled() const { return FFontDisabled; }
  void SetFontDisabled(const QFont& f) { FFontDisabled = f; update(); }
  // The caption's colour (the font record's colour), and the colours of
  // the per-state fonts, used under the same rule as those fonts.
  const QColor& FontColor() const { return FFontColor; }
  void SetFontColor(const QColor& c) { FFontColor = c; update(); }
  void SetFontColorMouseHover(const QColor& c) { FFontColorMouseHover = c; update(); }
  void SetFontColorMouseDown(const QColor& c) { FFontColorMouseDown = c; update(); }
  void SetFontColorDisabled(const QColor& c) { FFontColorDisabled = c; update(); }

  const QPixmap& PictureNormal() const { return FPictureNormal; }
  void SetPictureNormal(const QPixmap& p) { FPictureNormal = p; update(); }
  const QPixmap& PictureMouseHover() const { return FPictureMouseHover; }
  void SetPictureMouseHover(const QPixmap& p) { FPictureMouseHover = p; update(); }
  const QPixmap& PictureMouseDown() const { return FPictureMouseDown; }
  void SetPictureMouseDown(const QPixmap& p) { FPictureMouseDown = p; update(); }
  const QPixmap& PictureDisabled() const { return FPictureDisabled; }
  void SetPictureDisabled(const QPixmap& p) { FPictureDisabled = p; update(); }

  TQelAlignment PictureAlignment() const { return FPictureAlignment; }
  void SetPictureAlignment(TQelAlignment a) { FPictureAlignment = a; update(); }
  QPoint PicturePoint() const { return FPicturePoint; }
  void SetPicturePoint(QPoint p) { FPicturePoint = p; update(); }
  int PictureMargins() const { return FPictureMargins; }
  void SetPictureMargins(int v) { FPictureMargins = v; update(); }
  TQelAlignment TextAlignment() const { return FTextAlignment; }
  void SetTextAlignment(TQelAlignment a) { FTextAlignment = a; update(); }
  TQelTextTrimmingType TextTrimming() const { return FTextTrimmingType; }
  void SetTextTrimming(TQelTextTrimmingType t) { FTextTrimmingType = t; update(); }
  QPoint TextPoint() const { return FTextPoint; }
  void SetTextPoint(QPoint p) { FTextPoint = p; update(); }
  int TextMargins() const { return FTextMargins; }
  void SetTextMargins(int v) { FTextMargins = v; update(); }

  std::function<void()> OnMouseEnter;
  std::function<void()> OnMouseExit;

  // Draw the disabled face only when this button itself is disabled, not
  // when its window is (as under a dialog): for buttons whose disabled
  // face means something of its own, such as the tab of the page shown.
  bool DrawsOwnDisabledState() const { return FIsDrawOwnDisabled; }
  void SetDrawOwnDisabledState(bool v) { Set(FIsDrawOwnDisabled, v); }

  bool IsMouseHover() const { return FIsMouseHover; }
  bool IsMouseDown() const { return FIsMouseDown; }

  // The picture and the font the current state draws with.
  const QPixmap& StatePicture() const;
  QFont StateFont() const;
  QColor StateFontColor() const;

  // The modal result a button click left on `window` (0 when none).
  static int ModalResultOf(const QWidget* window);
  static void SetModalResultOf(QWidget* window, int result);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

  // The drawing steps: picture, caption, focus mark, border.
  virtual void DrawPicture(QPainter& p);
  virtual void DrawText(QPainter& p);
  virtual void DrawFocusMark(QPainter& p);
  virtual void DrawBorderFrame(QPainter& p);

 private:
  void Set(bool& field, bool v) {
    field = v;
    update();
  }
  // What every click does before anyone else hears of it.
  void Clicked();
  // Held by the mouse, or by Space while focused.
  bool ShowsPressed() const { return FIsMouseDown || isDown(); }
  bool ShowsDisabled() const { return FIsDrawOwnDisabled ? testAttribute(Qt::WA_ForceDisabled) : !isEnabled(); }
  void WatchWindowKeys();

  bool FIsCancel = false;
  bool FIsDefault = false;
  std::string FURL;
  int FModalResult = 0;
  bool FIsTransparent = true;
  bool FIsStretch = false;
  bool FIsDrawFocused = false;
  bool FIsDrawOwnDisabled = false;
  bool FIsDrawBorder = false;
  bool FIsEnableMultiFonts = false;
  QFont FFontMouseHover, FFontMouseDown, FFontDisabled;
  QColor FFontColor, FFontColorMouseHover, FFontColorMouseDown, FFontColorDisabled;
  QPixmap FPictureNormal, FPictureMouseHover, FPictureMouseDown, FPictureDisabled;
  TQelAlignment FPictureAlignment = valCenter;
  QPoint FPicturePoint;
  int FPictureMargins = 0;
  TQelTextTrimmingType FTextTrimmingType = vttEllipsisWord;
  TQelAlignment FTextAlignment = valCenter;
  QPoint FTextPoint;
  int FTextMargins = 0;
  bool FIsActive = false;
  bool FIsMouseHover = false;
  bool FIsMouseDown = false;
  QWidget* FWatchedWindow = nullptr;
};

enum TQelImageButtonStyle : std::uint8_t {
  QelImageButtonStyle_WinFlat = 0,
  QelImageButtonStyle_WinNormal = 1,
};

// An image button with one of two border and focus drawings: a flat one
// (a dotted frame in the caption's colour, which the faces are made to
// carry), and the desktop's own button look.
class TQelImageButton : public TQelCustomButton {
  Q_OBJECT

 public:
  explicit TQelImageButton(QWidget* AOwner = nullptr) : TQelCustomButton(AOwner) {}

  TQelImageButtonStyle Style() const { return FButtonStyle; }
  // A new style sets both margins: 4 with a border and a focus mark, 2 with
  // one of them, 0 with neither.
  void SetStyle(TQelImageButtonStyle v);

 protected:
  void DrawFocusMark(QPainter& p) override;
  void DrawBorderFrame(QPainter& p) override;

 private:
  TQelImageButtonStyle FButtonStyle = QelImageButtonStyle_WinFlat;
};

}  // namespace purgo
