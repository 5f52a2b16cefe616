// SPDX-License-Identifier: GPL-3.0-or-later
// Labels and link labels. A label with MoveHandler on drags its borderless
// window instead of acting on the pointer; a link label shows hover,
// pressed and visited colours and, on click, runs its command or opens its
// address. A link is a Tab stop: Space and Enter click it, and a dotted
// frame around its text shows the focus.
//
// Assistive technologies see a label as static text named by its caption,
// a link as a link that can be pressed, a title bar by its title (see
// QWAccessible.h).
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "controls/QWClasses.h"

namespace purgo {

class TQelCustomLabel : public QWidget {
  Q_OBJECT

 public:
  explicit TQelCustomLabel(QWidget* AOwner = nullptr);

  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& v);

  TQelAlignment TextAlignment() const { return FTextAlignment; }
  void SetTextAlignment(TQelAlignment a) { FTextAlignment = a; update(); }
  TQelTextTrimmingType TextTrimming() const { return FTextTrimmingType; }
  void SetTextTrimming(TQelTextTrimmingType t) { FTextTrimmingType = t; update(); }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v) { FWordWrap = v; update(); }
  QPoint TextPoint() const { return FTextPoint; }
  void SetTextPoint(QPoint p) { FTextPoint = p; update(); }
  int TextMargins() const { return FTextMargins; }
  void SetTextMargins(int v) { FTextMargins = v; update(); }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v) { FTransparent = v; update(); }

  TQelMultiFontsFlags FontsFlags() const { return FFontsFlags; }
  void SetFontsFlags(TQelMultiFontsFlags v) { FFontsFlags = v; update(); }
  const QFont& FontHover() const { return FFontHover; }
  void SetFontHover(const QFont& f) { FFontHover = f; update(); }
  const QFont& FontMouseDown() const { return FFontMouseDown; }
  void SetFontMouseDown(const QFont& f) { FFontMouseDown = f; update(); }
  const QFont& FontDisabled() const { return FFontDisabled; }
  void SetFontDisabled(const QFont& f) { FFontDisabled = f; update(); }
  // The caption's colour (the font record's colour).
  const QColor& FontColor() const { return FFontColor; }
  void SetFontColor(const QColor& c) { FFontColor = c; update(); }

  const std::string& URL() const { return FURL; }
  void SetURL(std::string v) { FURL = std::move(v); }
  bool MoveHandler() const { return FMoveHandler; }
  void SetMoveHandler(bool v) { FMoveHandler = v; }
  // Run on click instead of opening the address.
  std::function<void()> OnCommand;

  // The width the caption needs in the current font, margins included.
  int TextWidth() const;

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

  // The font and colour the caption is drawn in now.
  virtual QFont CurrentFont() const;
  virtual QColor CurrentColor() const;

  TQelWindowMover FMover;

 private:
  QString FCaption;
  TQelTextTrimmingType FTextTrimmingType = vttNone;
  TQelAlignment FTextAlignment = valTopLeft;
  QPoint FTextPoint;
  int FTextMargins = 0;
  bool FWordWrap = false;
  bool FTransparent = true;
  TQelMultiFontsFlags FFontsFlags = 0;
  QFont FFontHover, FFontMouseDown, FFontDisabled;
  QColor FFontColor;
  std::string FURL;
  bool FMoveHandler = false;
};

using TQelLabel = TQelCustomLabel;

class TQelURLLabel : public TQelCustomLabel {
  Q_OBJECT

 public:
  // In the highlight colour, underlined, with the hand cursor.
  explicit TQelURLLabel(QWidget* AOwner = nullptr);

  bool Visited() const { return FVisited; }
  void SetVisited(bool v) { FVisited = v; update(); }
  bool EnableVisitedColor() const { return FEnableVisitedColor; }
  void SetEnableVisitedColor(bool v) { FEnableVisitedColor = v; update(); }
  const QColor& VisitedColor() const { return FVisitedColor; }
  void SetVisitedColor(const QColor& c) { FVisitedColor = c; update(); }

  bool IsMouseHover() const { return FIsMouseHover; }
  bool IsMouseDown() const { return FIsMouseDown; }

  // Raises clicked(); then runs OnCommand when set, else opens the address
  // and, when it opened, becomes visited.
  void Click();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  QFont CurrentFont() const override;
  QColor CurrentColor() const override;

 private:
  void SetHover(bool AHover);
  // The leave event does not always come (a grab elsewhere, a window
  // that goes away under the pointer): while hovered, the pointer is
  // looked at now and then.
  void CheckPointer();

  QTimer FPointerWatch;
  bool FVisited = false;
  bool FEnableVisitedColor = false;
  QColor FVisitedColor{0x80, 0x00, 0x80};
  bool FIsMouseHover = false;
  bool FIsMouseDown = false;
};

// A picture; with MoveHandler on, dragging it drags the window.
class TQelImage : public QWidget {
  Q_OBJECT

 public:
  explicit TQelImage(QWidget* AOwner = nullptr);

  const QPixmap& Picture() const { return FPicture; }
  void SetPicture(const QPixmap& p) { FPicture = p; update(); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v) { FStretch = v; update(); }
  bool MoveHandler() const { return FMoveHandler; }
  void SetMoveHandler(bool v) { FMoveHandler = v; }

 signals:
  void pressed();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  QPixmap FPicture;
  bool FStretch = false;
  bool FMoveHandler = true;
  TQelWindowMover FMover;
};

// The title bar of a borderless window: a logo, the title, a subtitle and
// a version text, over its background picture; dragging it drags the
// window.
class TQelTitleBar : public TQelImage {
  Q_OBJECT

 public:
  explicit TQelTitleBar(QWidget* AOwner = nullptr) : TQelImage(AOwner) {}

  const QPixmap& Logo() const { return FLogo; }
  void SetLogo(const QPixmap& p) { FLogo = p; update(); }
  const QString& Title() const { return FTitle; }
  void SetTitle(const QString& v) { FTitle = v; update(); }
  const QString& SubTitle() const { return FSubTitle; }
  void SetSubTitle(const QString& v) { FSubTitle = v; update(); }
  const QString& Version() const { return FVersion; }
  void SetVersion(const QString& v) { FVersion = v; update(); }
  const QFont& TitleFont() const { return FTitleFont; }
  void SetTitleFont(const QFont& f, const QColor& c) { FTitleFont = f; FTitleColor = c; update(); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QPixmap FLogo;
  QString FTitle, FSubTitle, FVersion;
  QFont FTitleFont;
  QColor FTitleColor;
};

}  // namespace purgo
