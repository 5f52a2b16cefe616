// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QWLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace purgo {
namespace {

bool Holds(TQelMultiFontsFlags flags, TQelMultiFontsFlag f) { return (flags & FontsFlag(f)) != 0; }

}  // namespace

// ---- TQelCustomLabel --------------------------------------------------------

TQelCustomLabel::TQelCustomLabel(QWidget* AOwner) : QWidget(AOwner) {}

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
  setAttribute(Qt::WA_Hover);
  SetMoveHandler(false);
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
  FIsMouseHover = true;
  FIsMouseDown = false;
  update();
}

void TQelURLLabel::leaveEvent(QEvent* e) {
  TQelCustomLabel::leaveEvent(e);
  if (MoveHandler()) return;
  FIsMouseHover = false;
  FIsMouseDown = false;
  update();
}

void TQelURLLabel::mousePressEvent(QMouseEvent* e) {
  if (MoveHandler()) {
    TQelCustomLabel::mousePressEvent(e);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  FIsMouseDown = true;
  FIsMouseHover = false;
  update();
}

void TQelURLLabel::mouseMoveEvent(QMouseEvent* e) {
  if (MoveHandler()) {
    TQelCustomLabel::mouseMoveEvent(e);
    return;
  }
  if (!FIsMouseDown && !rect().contains(e->position().toPoint()) && FIsMouseHover) {
    FIsMouseHover = false;
    update();
  }
}

void TQelURLLabel::mouseReleaseEvent(QMouseEvent* e) {
  if (MoveHandler()) {
    TQelCustomLabel::mouseReleaseEvent(e);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  const bool wasDown = FIsMouseDown;
  const bool inside = rect().contains(e->position().toPoint());
  FIsMouseHover = inside;
  FIsMouseDown = false;
  update();
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

TQelImage::TQelImage(QWidget* AOwner) : QWidget(AOwner) {}

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
