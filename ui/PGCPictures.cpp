// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PGCPictures.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QtMath>
#include <algorithm>

namespace purgo::pictures {
namespace {

// The palette: one accent, a dark tone of it for the title band (white
// glyphs on it stay above 5:1 contrast), and near-white neutrals.
const QColor kAccent(0x14, 0x96, 0x8c);
const QColor kBandTop(0x13, 0x83, 0x86);
const QColor kBandBottom(0x0c, 0x6b, 0x70);
const QColor kBandEdge(0x09, 0x57, 0x5b);
const QColor kContent(0xf5, 0xf8, 0xf8);
const QColor kStatus(0xe7, 0xee, 0xee);
const QColor kLine(0xcf, 0xdb, 0xdb);
const QColor kFrame(0x8e, 0xa6, 0xa7);
const QColor kInk(0x23, 0x3a, 0x3c);
const QColor kCloseHover(0xd9, 0x3f, 0x3f);
const QColor kCloseDown(0xaa, 0x2c, 0x2c);

constexpr int kMainTitleBand = 36;
constexpr int kMainStatusBand = 24;

// A transparent pixmap of the given device-independent size, backed by
// size × dpr pixels. Null for an empty size or a meaningless ratio, so a
// caller's bad geometry shows as a missing picture rather than a crash.
QPixmap Canvas(QSize size, qreal dpr) {
  if (size.isEmpty() || !(dpr > 0)) return {};
  QPixmap pm(qRound(size.width() * dpr), qRound(size.height() * dpr));
  if (pm.isNull()) return {};
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  return pm;
}

void Smooth(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QColor WithAlpha(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

// Title band, content and optional status band, framed by a hairline.
QPixmap Window(QSize size, int band, int status, qreal dpr) {
  QPixmap pm = Canvas(size, dpr);
  if (pm.isNull()) return pm;
  const qreal w = size.width(), h = size.height();
  band = std::clamp(band, 0, size.height());
  status = std::clamp(status, 0, size.height() - band);
  QPainter p(&pm);

  p.fillRect(QRectF(0, 0, w, h), kContent);
  if (band > 0) {
    QLinearGradient g(0, 0, 0, band);
    g.setColorAt(0, kBandTop);
    g.setColorAt(1, kBandBottom);
    p.fillRect(QRectF(0, 0, w, band), g);
    // A faint light edge at the top and a dark one under the band give it
    // depth without a shadow.
    p.fillRect(QRectF(0, 0, w, 1), QColor(255, 255, 255, 38));
    p.fillRect(QRectF(0, band - 1, w, 1), kBandEdge);
  }
  if (status > 0) {
    p.fillRect(QRectF(0, h - status, w, status), kStatus);
    p.fillRect(QRectF(0, h - status, w, 1), kLine);
  }
  // The window is borderless: a hairline keeps it apart from whatever is
  // behind it. Darker over the band, where the light frame would glow.
  p.setPen(QPen(kFrame, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
  if (band > 0) {
    p.setPen(QPen(kBandEdge, 1));
    p.drawLine(QPointF(0.5, 0), QPointF(0.5, band));
    p.drawLine(QPointF(w - 0.5, 0), QPointF(w - 0.5, band));
    p.drawLine(QPointF(0, 0.5), QPointF(w, 0.5));
  }
  return pm;
}

// A four-pointed sparkle centred on c, r from centre to tip.
QPainterPath Sparkle(QPointF c, qreal r) {
  const qreal k = r * 0.28;
  QPainterPath s;
  s.moveTo(c.x(), c.y() - r);
  s.quadTo(c.x() + k * 0.35, c.y() - k * 0.35, c.x() + r, c.y());
  s.quadTo(c.x() + k * 0.35, c.y() + k * 0.35, c.x(), c.y() + r);
  s.quadTo(c.x() - k * 0.35, c.y() + k * 0.35, c.x() - r, c.y());
  s.quadTo(c.x() - k * 0.35, c.y() - k * 0.35, c.x(), c.y() - r);
  s.closeSubpath();
  return s;
}

// The logo on a square of side s at the origin.
void PaintLogo(QPainter& p, qreal s) {
  const qreal m = s <= 24 ? 0 : s * 0.04;
  const QRectF tile(m, m, s - 2 * m, s - 2 * m);
  const qreal t = tile.width();
  const qreal radius = t * 0.22;

  QLinearGradient g(tile.topLeft(), tile.bottomRight());
  g.setColorAt(0, QColor(0x3c, 0xc8, 0xb4));
  g.setColorAt(1, QColor(0x0b, 0x7f, 0x80));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(tile, radius, radius);
  if (s >= 32) {
    // A light rim on the upper half: reads as a gentle bevel when large.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 60), std::max<qreal>(1, t * 0.012)));
    p.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  }

  // The broom, upright in its own frame, then tilted so it sweeps towards
  // the lower left. Unit coordinates on the tile.
  p.save();
  p.translate(tile.topLeft());
  p.scale(t, t);
  p.translate(0.47, 0.52);
  p.rotate(38);
  p.translate(-0.5, -0.5);

  const QColor white(255, 255, 255);
  // Handle.
  p.setPen(QPen(white, s <= 16 ? 0.11 : 0.085, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(0.5, 0.06), QPointF(0.5, 0.50));
  // Bristles: a fan wider at the foot, its foot slightly curved.
  QPainterPath head;
  head.moveTo(0.40, 0.52);
  head.lineTo(0.60, 0.52);
  head.lineTo(0.70, 0.88);
  head.quadTo(0.5, 0.93, 0.30, 0.88);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(white);
  p.drawPath(head);
  if (s >= 24) {
    // The binding and the bristles' grooves, in the tile's own teal.
    const QColor groove(0x11, 0x8e, 0x8a);
    p.setBrush(groove);
    p.drawRect(QRectF(0.39, 0.585, 0.22, 0.045));
    if (s >= 48) {
      p.setPen(QPen(groove, 0.018, Qt::SolidLine, Qt::RoundCap));
      for (qreal x : {0.44, 0.5, 0.56}) {
        p.drawLine(QPointF(x, 0.67), QPointF(0.5 + (x - 0.5) * 1.6, 0.86));
      }
    }
  }
  p.restore();

  // Sparkles where the broom has swept.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255));
  const QPointF o = tile.topLeft();
  p.drawPath(Sparkle(o + QPointF(t * 0.74, t * 0.70), t * (s <= 16 ? 0.2 : 0.15)));
  if (s >= 24) p.drawPath(Sparkle(o + QPointF(t * 0.62, t * 0.86), t * 0.075));
  if (s >= 32) p.drawPath(Sparkle(o + QPointF(t * 0.86, t * 0.50), t * 0.06));
}

// A shape with rounded top corners and a square foot, for the tabs.
QPainterPath TabShape(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.moveTo(r.left(), r.bottom());
  path.lineTo(r.left(), r.top() + radius);
  path.quadTo(r.left(), r.top(), r.left() + radius, r.top());
  path.lineTo(r.right() - radius, r.top());
  path.quadTo(r.right(), r.top(), r.right(), r.top() + radius);
  path.lineTo(r.right(), r.bottom());
  return path;
}

}  // namespace

qreal DefaultDpr() { return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0; }

QColor AccentColor() { return kAccent; }
QColor ContentColor() { return kContent; }
QColor TitleTextColor() { return QColor(255, 255, 255); }

QColor PageCaptionColor(Face state) {
  switch (state) {
    case Face::Disabled: return kInk;
    case Face::Hover:
    case Face::Down: return kAccent.darker(135);
    case Face::Normal: break;
  }
  return QColor(0x4f, 0x63, 0x65);
}

QColor ActionCaptionColor(Face state) {
  return state == Face::Disabled ? QColor(0x8f, 0x9b, 0x9c) : QColor(255, 255, 255);
}

QPixmap MainBackground(QSize size, qreal dpr) {
  return Window(size, kMainTitleBand, kMainStatusBand, dpr);
}

QPixmap DialogBackground(QSize size, int titleBandHeight, qreal dpr) {
  return Window(size, titleBandHeight, 0, dpr);
}

QPixmap Logo(int side, qreal dpr) {
  QPixmap pm = Canvas(QSize(side, side), dpr);
  if (pm.isNull()) return pm;
  QPainter p(&pm);
  Smooth(p);
  PaintLogo(p, side);
  return pm;
}

QPixmap TitleButtonFace(TitleButton which, Face state, QSize size, qreal dpr) {
  QPixmap pm = Canvas(size, dpr);
  if (pm.isNull()) return pm;
  QPainter p(&pm);
  Smooth(p);
  const QRectF r(0, 0, size.width(), size.height());

  // The plate behind the glyph: none at rest, so the band shows through.
  QColor plate = Qt::transparent;
  if (state == Face::Hover) {
    plate = which == TitleButton::Close ? kCloseHover : QColor(255, 255, 255, 46);
  } else if (state == Face::Down) {
    plate = which == TitleButton::Close ? kCloseDown : QColor(0, 0, 0, 56);
  }
  if (plate.alpha() > 0) {
    p.setPen(Qt::NoPen);
    p.setBrush(plate);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 4, 4);
  }

  const qreal side = std::min(r.width(), r.height());
  const qreal g = side * 0.17;  // half the glyph's extent
  const QPointF c = r.center();
  QPen pen(QColor(255, 255, 255, state == Face::Disabled ? 100 : 255), std::max<qreal>(1.5, side / 14),
           Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  switch (which) {
    case TitleButton::Help: {
      // Drawn rather than typeset: no dependence on the installed fonts.
      const qreal k = g * 0.86;
      QPainterPath q;
      const QRectF hook(c.x() - k, c.y() - g * 1.2, 2 * k, 2 * k);
      q.arcMoveTo(hook, 160);
      q.arcTo(hook, 160, -235);
      q.quadTo(c.x(), c.y() + 0.25 * g, c.x(), c.y() + 0.5 * g);
      p.drawPath(q);
      p.setPen(Qt::NoPen);
      p.setBrush(pen.color());
      const qreal dot = pen.widthF() * 0.62;
      p.drawEllipse(QPointF(c.x(), c.y() + g * 1.2), dot, dot);
      break;
    }
    case TitleButton::Minimize:
      p.drawLine(QPointF(c.x() - g, c.y() + g * 0.55), QPointF(c.x() + g, c.y() + g * 0.55));
      break;
    case TitleButton::Close:
      p.drawLine(QPointF(c.x() - g * 0.85, c.y() - g * 0.85), QPointF(c.x() + g * 0.85, c.y() + g * 0.85));
      p.drawLine(QPointF(c.x() + g * 0.85, c.y() - g * 0.85), QPointF(c.x() - g * 0.85, c.y() + g * 0.85));
      break;
  }
  return pm;
}

QPixmap PageButtonFace(Face state, QSize size, qreal dpr) {
  QPixmap pm = Canvas(size, dpr);
  if (pm.isNull()) return pm;
  QPainter p(&pm);
  Smooth(p);
  const qreal w = size.width(), h = size.height();
  const qreal radius = std::min<qreal>(7, h / 3);
  // Unselected tabs stand a little lower, so the current one is raised.
  const bool current = state == Face::Disabled;
  const QRectF body(0.5, current ? 0.5 : 3.5, w - 1, h - (current ? 0.5 : 3.5));
  QPainterPath shape = TabShape(body, radius);

  QColor fill = QColor(0xe2, 0xea, 0xea);
  if (state == Face::Hover) fill = QColor(0xd3, 0xec, 0xe8);
  if (state == Face::Down) fill = QColor(0xbd, 0xe0, 0xdb);
  if (current) fill = kContent;

  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawPath(shape);
  if (state == Face::Hover) {
    // A hint of the accent along the top edge, lighter than the current page's.
    p.save();
    p.setClipPath(shape);
    p.fillRect(QRectF(0, body.top(), w, 2), WithAlpha(kAccent, 110));
    p.restore();
  }
  if (current) {
    // The accent bar over the current page, clipped to the rounded top.
    p.save();
    p.setClipPath(shape);
    p.fillRect(QRectF(0, 0, w, 3), kAccent);
    p.restore();
  }
  p.setPen(QPen(current ? kLine : kLine.darker(104), 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shape);
  if (!current) {
    // The page's edge runs under an unselected tab; the current one opens
    // into the page with no line at its foot.
    p.fillRect(QRectF(0, h - 1, w, 1), kLine);
  }
  return pm;
}

QPixmap ActionButtonFace(Face state, QSize size, qreal dpr) {
  QPixmap pm = Canvas(size, dpr);
  if (pm.isNull()) return pm;
  QPainter p(&pm);
  Smooth(p);
  const QRectF r = QRectF(0, 0, size.width(), size.height()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = std::min<qreal>(6, r.height() / 2);

  QColor top = kAccent.lighter(112), bottom = kAccent, edge = kAccent.darker(125);
  if (state == Face::Hover) {
    top = kAccent.lighter(126);
    bottom = kAccent.lighter(110);
  } else if (state == Face::Down) {
    top = kAccent.darker(122);
    bottom = kAccent.darker(110);
    edge = kAccent.darker(140);
  } else if (state == Face::Disabled) {
    top = bottom = QColor(0xe1, 0xe6, 0xe6);
    edge = QColor(0xc8, 0xd0, 0xd0);
  }
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.setPen(QPen(edge, 1));
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
  if (state == Face::Normal || state == Face::Hover) {
    // A light line inside the top edge; pressed and disabled faces are flat.
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.drawLine(QPointF(r.left() + radius, r.top() + 1), QPointF(r.right() - radius, r.top() + 1));
  }
  return pm;
}

QPixmap MessageBadge(MessageIcon which, int side, qreal dpr) {
  QPixmap pm = Canvas(QSize(side, side), dpr);
  if (pm.isNull()) return pm;
  QPainter p(&pm);
  Smooth(p);
  QColor fill = kAccent;
  switch (which) {
    case MessageIcon::Error: fill = QColor(0xc8, 0x3a, 0x3a); break;
    case MessageIcon::Warning: fill = QColor(0xd9, 0x8c, 0x12); break;
    case MessageIcon::Information: fill = QColor(0x1f, 0x6f, 0xb8); break;
    case MessageIcon::Question: break;
  }
  const qreal s = side;
  const QPointF c(s / 2, s / 2);
  QRadialGradient g(QPointF(s * 0.4, s * 0.32), s * 0.7);
  g.setColorAt(0, fill.lighter(118));
  g.setColorAt(1, fill);
  p.setPen(QPen(fill.darker(125), 1));
  p.setBrush(g);
  p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));

  // Glyphs drawn rather than typeset, as on the title buttons.
  const qreal g2 = s * 0.2;
  QPen pen(Qt::white, std::max<qreal>(2, s / 10), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const qreal dot = pen.widthF() * 0.62;
  switch (which) {
    case MessageIcon::Error:
      p.drawLine(QPointF(c.x() - g2, c.y() - g2), QPointF(c.x() + g2, c.y() + g2));
      p.drawLine(QPointF(c.x() + g2, c.y() - g2), QPointF(c.x() - g2, c.y() + g2));
      break;
    case MessageIcon::Question: {
      const qreal k = g2 * 0.9;
      QPainterPath q;
      const QRectF hook(c.x() - k, c.y() - g2 * 1.45, 2 * k, 2 * k);
      q.arcMoveTo(hook, 160);
      q.arcTo(hook, 160, -235);
      q.quadTo(c.x(), c.y() + 0.15 * g2, c.x(), c.y() + 0.45 * g2);
      p.drawPath(q);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(c.x(), c.y() + g2 * 1.3), dot, dot);
      break;
    }
    case MessageIcon::Warning:
      p.drawLine(QPointF(c.x(), c.y() - g2 * 1.4), QPointF(c.x(), c.y() + g2 * 0.45));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(c.x(), c.y() + g2 * 1.3), dot, dot);
      break;
    case MessageIcon::Information:
      p.drawLine(QPointF(c.x(), c.y() - g2 * 0.3), QPointF(c.x(), c.y() + g2 * 1.4));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(c.x(), c.y() - g2 * 1.25), dot, dot);
      break;
  }
  return pm;
}

QIcon AppIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Logo(side, 1.0));
  return icon;
}

}  // namespace purgo::pictures
