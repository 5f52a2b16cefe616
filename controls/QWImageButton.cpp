// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QWImageButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QVariant>

namespace purgo {
namespace {

constexpr char kModalResultProperty[] = "purgoModalResult";

// Where a picture of `size` sits in `area` by the alignment and point.
QRect PlacePicture(const QRect& area, QSize size, TQelAlignment a, QPoint point) {
  switch (a) {
    case valCustom:
    case valTopCustom:
    case valMiddleCustom:
    case valBottomCustom:
    case valCustomLeft:
    case valCustomCenter:
    case valCustomRight: return QRect(area.topLeft() + point, size);
    default: break;
  }
  return QStyle::alignedRect(Qt::LeftToRight, ToQtAlignment(a), size, area);
}

}  // namespace

TQelCustomButton::TQelCustomButton(QWidget* AOwner) : QAbstractButton(AOwner) {
  setAttribute(Qt::WA_Hover);
  setFocusPolicy(Qt::StrongFocus);
  // Connected first, so that the modal result and the address are set
  // before any other receiver of clicked() runs.
  connect(this, &QAbstractButton::clicked, this, &TQelCustomButton::Clicked);
}

TQelCustomButton::~TQelCustomButton() {
  if (FWatchedWindow != nullptr) FWatchedWindow->removeEventFilter(this);
}

void TQelCustomButton::SetCancel(bool v) {
  FIsCancel = v;
  WatchWindowKeys();
}

void TQelCustomButton::SetDefault(bool v) {
  FIsDefault = v;
  FIsActive = v;
  WatchWindowKeys();
  update();
}

void TQelCustomButton::SetActive(bool v) {
  FIsActive = v;
  WatchWindowKeys();
  update();
}

void TQelCustomButton::WatchWindowKeys() {
  QWidget* w = window();
  if (w == this || w == FWatchedWindow) return;
  if (FWatchedWindow != nullptr) FWatchedWindow->removeEventFilter(this);
  FWatchedWindow = w;
  FWatchedWindow->installEventFilter(this);
}

int TQelCustomButton::ModalResultOf(const QWidget* window) {
  return window != nullptr ? window->property(kModalResultProperty).toInt() : 0;
}

void TQelCustomButton::SetModalResultOf(QWidget* window, int result) {
  if (window != nullptr) window->setProperty(kModalResultProperty, result);
}

const QPixmap& TQelCustomButton::StatePicture() const {
  const QPixmap* p = &FPictureNormal;
  if (ShowsDisabled()) {
    p = &FPictureDisabled;
  } else if (ShowsPressed()) {
    p = &FPictureMouseDown;
  } else if (FIsMouseHover) {
    p = &FPictureMouseHover;
  }
  return p->width() < 1 ? FPictureNormal : *p;
}

QFont TQelCustomButton::StateFont() const {
  if (FIsEnableMultiFonts) {
    if (ShowsDisabled()) return FFontDisabled;
    if (ShowsPressed()) return FFontMouseDown;
    if (FIsMouseHover) return FFontMouseHover;
  }
  return font();
}

QColor TQelCustomButton::StateFontColor() const {
  QColor c = FFontColor;
  if (FIsEnableMultiFonts) {
    if (ShowsDisabled()) {
      c = FFontColorDisabled;
    } else if (ShowsPressed()) {
      c = FFontColorMouseDown;
    } else if (FIsMouseHover) {
      c = FFontColorMouseHover;
    }
    if (!c.isValid()) c = FFontColor;
  }
  return c.isValid() ? c : palette().color(QPalette::ButtonText);
}

void TQelCustomButton::paintEvent(QPaintEvent*) {
  // Qt draws off-screen and copies in one step already.
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  if (!FIsTransparent) p.fillRect(rect(), palette().color(backgroundRole()));
  DrawPicture(p);
  if (FIsDrawBorder) DrawBorderFrame(p);
  if (FIsDrawFocused && hasFocus() && focusPolicy() != Qt::NoFocus) DrawFocusMark(p);
  DrawText(p);
}

void TQelCustomButton::DrawPicture(QPainter& p) {
  const QPixmap& picture = StatePicture();
  if (picture.isNull()) return;
  const QRect area = rect().adjusted(FPictureMargins, FPictureMargins, -FPictureMargins,
                                     -FPictureMargins);
  if (FIsStretch) {
    p.drawPixmap(area, picture);
    return;
  }
  const QSize size = picture.deviceIndependentSize().toSize();
  p.drawPixmap(PlacePicture(area, size, FPictureAlignment, FPicturePoint), picture);
}

void TQelCustomButton::DrawText(QPainter& p) {
  if (text().isEmpty()) return;
  const QFont font = StateFont();
  p.setFont(font);
  p.setPen(StateFontColor());
  QRect area = rect().adjusted(FTextMargins, FTextMargins, -FTextMargins, -FTextMargins);
  const bool custom = FTextAlignment >= valCustom;
  if (custom) area.moveTopLeft(area.topLeft() + FTextPoint);
  const Qt::TextElideMode elide = ElideOf(FTextTrimmingType);
  QString caption = text();
  caption.remove(QLatin1Char('&'));
  if (elide != Qt::ElideNone) caption = p.fontMetrics().elidedText(caption, elide, area.width());
  p.drawText(area, int(ToQtAlignment(FTextAlignment)) | Qt::TextShowMnemonic, caption);
}

void TQelCustomButton::DrawFocusMark(QPainter& p) {
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = rect().adjusted(2, 2, -2, -2);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
}

void TQelCustomButton::DrawBorderFrame(QPainter& p) {
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TQelCustomButton::enterEvent(QEnterEvent* e) {
  FIsMouseHover = true;
  FIsMouseDown = false;
  update();
  if (OnMouseEnter) OnMouseEnter();
  QAbstractButton::enterEvent(e);
}

void TQelCustomButton::leaveEvent(QEvent* e) {
  QAbstractButton::leaveEvent(e);
  if (FIsMouseDown) return;
  FIsMouseHover = false;
  FIsMouseDown = false;
  update();
  if (OnMouseExit) OnMouseExit();
}

void TQelCustomButton::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    FIsMouseDown = true;
    FIsMouseHover = false;
    update();
  }
  QAbstractButton::mousePressEvent(e);
}

void TQelCustomButton::mouseReleaseEvent(QMouseEvent* e) {
  const bool inside = rect().contains(e->position().toPoint());
  FIsMouseHover = inside;
  FIsMouseDown = false;
  update();
  // Qt clicks on a release inside after a press here, nothing else.
  QAbstractButton::mouseReleaseEvent(e);
}

void TQelCustomButton::keyPressEvent(QKeyEvent* e) {
  // Qt's own buttons take Enter when focused; Space is QAbstractButton's.
  const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
  const Qt::KeyboardModifiers held = e->modifiers() & ~Qt::KeypadModifier;
  if (enter && held == Qt::NoModifier && isEnabled()) {
    click();
    e->accept();
    return;
  }
  QAbstractButton::keyPressEvent(e);
}

bool TQelCustomButton::eventFilter(QObject* watched, QEvent* e) {
  if (watched == FWatchedWindow && e->type() == QEvent::KeyPress && isEnabled() && isVisible()) {
    const auto* key = static_cast<QKeyEvent*>(e);
    const bool plain = (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                            Qt::AltModifier | Qt::MetaModifier)) == 0;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (plain && ((enter && FIsActive) || (key->key() == Qt::Key_Escape && FIsCancel))) {
      click();
      return true;
    }
  }
  return QAbstractButton::eventFilter(watched, e);
}

void TQelCustomButton::Clicked() {
  FIsMouseHover = true;
  FIsMouseDown = false;
  update();
  SetModalResultOf(window(), FModalResult);
  OpenAddress(FURL);
}

void TQelImageButton::SetStyle(TQelImageButtonStyle v) {
  if (v == FButtonStyle) return;
  FButtonStyle = v;
  const int margins = (DrawBorder() && DrawFocused()) ? 4 : (DrawBorder() || DrawFocused()) ? 2 : 0;
  SetPictureMargins(margins);
  SetTextMargins(margins);
}

void TQelImageButton::DrawFocusMark(QPainter& p) {
  if (FButtonStyle == QelImageButtonStyle_WinFlat) {
    // The caption's colour stands out on every face the caption does; the
    // desktop's highlight colour may be the face's own.
    QPen pen(StateFontColor(), 1, Qt::CustomDashLine);
    pen.setDashPattern({1, 1});
    p.save();
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5));
    p.restore();
    return;
  }
  TQelCustomButton::DrawFocusMark(p);
}

void TQelImageButton::DrawBorderFrame(QPainter& p) {
  if (FButtonStyle == QelImageButtonStyle_WinFlat) {
    TQelCustomButton::DrawBorderFrame(p);
    return;
  }
  QStyleOptionButton option;
  option.initFrom(this);
  if (IsMouseDown()) option.state |= QStyle::State_Sunken;
  style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &p, this);
}

}  // namespace purgo
