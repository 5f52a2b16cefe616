// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QWLabel.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "controls/QWAccessible.h"

namespace purgo {
namespace {

bool Holds(TQelMultiFontsFlags flags, TQelMultiFontsFlag f) { return (flags & FontsFlag(f)) != 0; }

// How often a hovered link looks where the pointer is.
constexpr int kPointerWatchMs = 100;

}  // namespace

// ---- TQelCustomLabel --------------------------------------------------------

TQelCustomLabel::TQelCustomLabel(QWidget* AOwner) : QWidget(AOwner) { InstallAccessibleControls(); }

void TQelCustomLabel::SetCaption(const QString& v) {
  FCaption = v;
  setAccessibleName(v);
  update();
}

int TQelCustomLabel::TextWidth() const {
  return QFontMetrics(CurrentFont()).horizontalAdvance(FCaption) + 2 * FTextMargins;
}

QFont TQelCustomLabel::CurrentFont() const {
  if (!isEnabled() && Holds(FFontsFlags, vmfDisabled)) return FFontDisabled;
  return font();
}

QColor TQelCustomLabel::CurrentColor() const {
  return FFontColor.isValid() ? FFontColor : palette().color(QPalette::WindowText);
}

void TQelCustomLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!FTransparent) p.fillRect(rect(), palette().color(backgroundRole()));
  p.setFont(CurrentFont());
  p.setPen(CurrentColor());
  QRect area = rect().adjusted(FTextMargins, FTextMargins, -FTextMargins, -FTextMargins);
  if (FTextAlignment >= valCustom) area.moveTopLeft(area.topLeft() + FTextPoint);
  int flags = int(ToQtAlignment(FTextAlignment));
  QString text = FCaption;
  if (FWordWrap) {
    flags |= Qt::TextWordWrap;
  } else if (const Qt::TextElideMode elide = ElideOf(FTextTrimmingType); elide != Qt::ElideNone) {
    text = p.fontMetrics().elidedText(text, elide, area.width());
  }
  p.drawText(area, flags, text);
}

void TQelCustomLabel::mousePressEvent(QMouseEvent* e) {
  if (FMoveHandler && FMover.Press(this, e)) return;
  QWidget::mousePressEvent(e);
}

void TQelCustomLabel::mouseMoveEvent(QMouseEvent* e) {
  if (FMoveHandler && FMover.Move(e)) return;
  QWidget::mouseMoveEvent(e);
}

void TQelCustomLabel::mouseReleaseEvent(QMouseEvent* e) {
  if (FMoveHandler && FMover.Release(e)) return;
  QWidget::mouseReleaseEvent(e);
}

// ---- TQelURLLabel -----------------------------------------------------------

TQelURLLabel::TQelURLLabel(QWidget* AOwner) : TQelCustomLabel(AOwner) {
  SetFontColor(palette().color(QPalette::Highlight));
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  // Room around the caption for the focus frame.
  SetTextMargins(2);
  setAttribute(Qt::WA_Hover);
  // Moves inside come without a button held, so that one outside is seen.
  setMouseTracking(true);
  SetMoveHandler(false);
  FPointerWatch.setInterval(kPointerWatchMs);
  connect(&FPointerWatch, &QTimer::timeout, this, &TQelURLLabel::CheckPointer);
}

void TQelURLLabel::SetHover(bool AHover) {
  FIsMouseHover = AHover;
  if (AHover) {
    FPointerWatch.start();
  } else {
    FPointerWatch.stop();
  }
  update();
}

void TQelURLLabel::CheckPointer() {
  if (!FIsMouseHover) {
    FPointerWatch.stop();
    return;
  }
  if (!isVisible() || !rect().contains(mapFromGlobal(QCursor::pos()))) {
    FIsMouseDown = false;
    SetHover(false);
  }
}

void TQelURLLabel::paintEvent(QPaintEvent* e) {
  TQelCustomLabel::paintEvent(e);
  if (!hasFocus()) return;
  // Around the caption, not the whole label: a link may be wider than
  // its text.
  QPainter p(this);
  p.setFont(CurrentFont());
  const QRect area = rect().adjusted(TextMargins(), TextMargins(), -TextMargins(), -TextMargins());
  QRect text = p.fontMetrics().boundingRect(area, int(ToQtAlignment(TextAlignment())), Caption());
  text = text.adjusted(-2, -1, 1, 1).intersected(rect().adjusted(0, 0, -1, -1));
  QPen pen(CurrentColor(), 1, Qt::CustomDashLine);
  pen.setDashPattern({1, 1});
  p.setPen(pen);
  p.drawRect(text);
}

void TQelURLLabel::Click() {
  emit clicked();
  if (OnCommand) {
    OnCommand();
    return;
  }
  if (OpenAddress(URL())) SetVisited(true);
}

void TQelURLLabel::enterEvent(QEnterEvent* e) {
  TQelCustomLabel::enterEvent(e);
  if (MoveHandler() || FIsMouseDown) return;
  FIsMouseDown = false;
  SetHover(true);
}

void TQelURLLabel::leaveEvent(QEvent* e) {
  TQelCustomLabel::leaveEvent(e);
  if (MoveHandler()) return;
  FIsMouseDown = false;
  SetHover(false);
}

void TQelURLLabel::hideEvent(QHideEvent* e) {
  TQelCustomLabel::hideEvent(e);
  FIsMouseDown = false;
  SetHover(false);
}

void TQelURLLabel::mousePressEvent(QMouseEvent* e) {
  if (MoveHandler()) {
    TQelCustomLabel::mousePressEvent(e);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  FIsMouseDown = true;
  SetHover(false);
}

void TQelURLLabel::mouseMoveEvent(QMouseEvent* e) {
  if (MoveHandler()) {
    TQelCustomLabel::mouseMoveEvent(e);
    return;
  }
  if (FIsMouseDown) return;
  const bool inside = rect().contains(e->position().toPoint());
  // A move inside after a leave that was passed over hovers again.
  if (inside != FIsMouseHover) SetHover(inside);
}

void TQelURLLabel::mouseReleaseEvent(QMouseEvent* e) {
  if (MoveHandler()) {
    TQelCustomLabel::mouseReleaseEvent(e);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  const bool wasDown = FIsMouseDown;
  const bool inside = rect().contains(e->position().toPoint());
  FIsMouseDown = false;
  SetHover(inside);
  if (wasDown && inside) Click();
}

void TQelURLLabel::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    Click();
    return;
  }
  TQelCustomLabel::keyPressEvent(e);
}

QFont TQelURLLabel::CurrentFont() const {
  if (!isEnabled()) return TQelCustomLabel::CurrentFont();
  if (FIsMouseHover && Holds(FontsFlags(), vmfMouseHover)) return FontHover();
  if (FIsMouseDown && Holds(FontsFlags(), vmfMouseDown)) return FontMouseDown();
  return font();
}

QColor TQelURLLabel::CurrentColor() const {
  if (!isEnabled()) return palette().color(QPalette::Disabled, QPalette::WindowText);
  // Pressed shows the visited colour whenever it is enabled; otherwise
  // only a visited label does.
  if (FEnableVisitedColor && (FIsMouseDown || FVisited)) return FVisitedColor;
  return TQelCustomLabel::CurrentColor();
}

// ---- TQelImage and TQelTitleBar -------------------------------------------------

TQelImage::TQelImage(QWidget* AOwner) : QWidget(AOwner) { InstallAccessibleControls(); }

void TQelImage::paintEvent(QPaintEvent*) {
  if (FPicture.isNull()) return;
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  if (FStretch) {
    p.drawPixmap(rect(), FPicture);
  } else {
    p.drawPixmap(QPoint(0, 0), FPicture);
  }
}

void TQelImage::mousePressEvent(QMouseEvent* e) {
  // The press is the picture's own first; the drag comes after.
  emit pressed();
  if (FMoveHandler && FMover.Press(this, e)) return;
  QWidget::mousePressEvent(e);
}

void TQelImage::mouseMoveEvent(QMouseEvent* e) {
  if (FMoveHandler && FMover.Move(e)) return;
  QWidget::mouseMoveEvent(e);
}

void TQelImage::mouseReleaseEvent(QMouseEvent* e) {
  if (FMoveHandler && FMover.Release(e)) return;
  QWidget::mouseReleaseEvent(e);
}

void TQelTitleBar::paintEvent(QPaintEvent* e) {
  TQelImage::paintEvent(e);
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  int x = 8;
  if (!FLogo.isNull()) {
    const QSize size = FLogo.deviceIndependentSize().toSize();
    p.drawPixmap(QPoint(x, (height() - size.height()) / 2), FLogo);
    x += size.width() + 8;
  }
  p.setFont(FTitleFont);
  p.setPen(FTitleColor.isValid() ? FTitleColor : palette().color(QPalette::WindowText));
  const QString title = FSubTitle.isEmpty() ? FTitle : FTitle + QStringLiteral("  ") + FSubTitle;
  const QRect area(x, 0, width() - x, height());
  p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft, title);
  if (!FVersion.isEmpty()) {
    const int w = p.fontMetrics().horizontalAdvance(title);
    p.drawText(area.adjusted(w + 8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, FVersion);
  }
}

}  // namespace purgo
