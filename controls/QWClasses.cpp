// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QWClasses.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMouseEvent>
#include <algorithm>
#include <QWidget>
#include <QWindow>

#include "engine/AppUtils.h"
#include "platform/Hooks.h"

namespace purgo {

Qt::Alignment ToQtAlignment(TQelAlignment a) {
  switch (a) {
    case valTopLeft: return Qt::AlignTop | Qt::AlignLeft;
    case valTopCenter: return Qt::AlignTop | Qt::AlignHCenter;
    case valTopRight: return Qt::AlignTop | Qt::AlignRight;
    case valMiddleLeft:
    case valLeft:
    case valCustomLeft: return Qt::AlignVCenter | Qt::AlignLeft;
    case valMiddleRight:
    case valRight:
    case valCustomRight: return Qt::AlignVCenter | Qt::AlignRight;
    case valBottomLeft: return Qt::AlignBottom | Qt::AlignLeft;
    case valBottomCenter: return Qt::AlignBottom | Qt::AlignHCenter;
    case valBottomRight: return Qt::AlignBottom | Qt::AlignRight;
    case valTopCustom: return Qt::AlignTop | Qt::AlignLeft;
    case valBottomCustom: return Qt::AlignBottom | Qt::AlignLeft;
    case valCustom:
    case valMiddleCustom: return Qt::AlignVCenter | Qt::AlignLeft;
    case valMiddleCenter:
    case valCenter:
    case valCustomCenter: break;
  }
  return Qt::AlignCenter;
}

Qt::TextElideMode ElideOf(TQelTextTrimmingType t) {
  switch (t) {
    case vttEllipsisCharacter:
    case vttEllipsisWord: return Qt::ElideRight;
    case vttEllipsisPath: return Qt::ElideMiddle;
    default: return Qt::ElideNone;
  }
}

QColor ToQColor(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

TColor FromQColor(const QColor& c) {
  return TColor(c.red()) | (TColor(c.green()) << 8) | (TColor(c.blue()) << 16);
}

namespace {

constexpr char kCjkFace[] = "Noto Sans CJK SC";
// Below this a scheme's point size reads poorly on a Linux desktop, whose
// UI fonts are larger than the Windows ones the schemes were made for.
constexpr int kSmallestPointSize = 9;

// Faces of Chinese Windows schemes: the names Windows gives them, or any
// name that is not plain ASCII.
bool IsCjkFaceName(const QString& name) {
  static const QStringList known = {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                    QStringLiteral("SimHei"), QStringLiteral("Microsoft YaHei"),
                                    QStringLiteral("KaiTi"), QStringLiteral("FangSong")};
  for (const QChar c : name) {
    if (c.unicode() > 0x7F) return true;
  }
  return known.contains(name, Qt::CaseInsensitive);
}

}  // namespace

QStringList FaceFamilies(const QString& name) {
  QStringList families;
  if (!name.isEmpty() && QFontDatabase::hasFamily(name)) {
    families << name;
  } else if (IsCjkFaceName(name)) {
    families << QString::fromLatin1(kCjkFace);
  } else {
    // Tahoma and its like exist on no Linux desktop: the desktop's own
    // face stands in. By the family it resolves to: the desktop may name
    // an alias ("Sans Serif") that a list of families passes over for
    // the next one, which would draw Latin text in the CJK face.
    families << QFontInfo(QApplication::font()).family();
  }
  // Chinese text in a Latin face still finds its glyphs.
  if (!families.contains(QString::fromLatin1(kCjkFace))) families << QString::fromLatin1(kCjkFace);
  return families;
}

QFont ToQFont(const TQelFont& f) {
  QFont font;
  font.setFamilies(FaceFamilies(QString::fromStdString(f.Name)));
  if (f.Size > 0) {
    font.setPointSize(std::max(f.Size, kSmallestPointSize));
  } else if (f.Height != 0) {
    font.setPixelSize(f.Height < 0 ? -f.Height : f.Height);
  }
  font.setBold(f.Style.Bold);
  font.setItalic(f.Style.Italic);
  font.setUnderline(f.Style.Underline);
  font.setStrikeOut(f.Style.StrikeOut);
  if (f.Pitch == TFontPitch::fpFixed) font.setFixedPitch(true);
  return font;
}

QColor FontColor(const TQelFont& f) { return ToQColor(f.Color); }

TQelFont FromQFont(const QFont& font, const QColor& color) {
  TQelFont f;
  f.Name = font.family().toStdString();
  f.Size = font.pointSize() > 0 ? font.pointSize() : 0;
  f.Height = font.pixelSize() > 0 ? -font.pixelSize() : 0;
  f.Style.Bold = font.bold();
  f.Style.Italic = font.italic();
  f.Style.Underline = font.underline();
  f.Style.StrikeOut = font.strikeOut();
  f.Pitch = font.fixedPitch() ? TFontPitch::fpFixed : TFontPitch::fpDefault;
  f.Color = FromQColor(color);
  return f;
}

namespace {

ChooseProgramHook& ChooseHook() {
  static ChooseProgramHook hook;
  return hook;
}

}  // namespace

void SetChooseProgramHook(ChooseProgramHook hook) { ChooseHook() = std::move(hook); }

bool OpenAddress(const std::string& url) {
  const std::string address = TrimChars(url, " ");
  if (address.empty()) return false;
  if (platform::ShellOpen(address, "", 1)) return true;
  const std::size_t dot = address.rfind('.');
  if (dot != std::string::npos && SameTextCompare(address.substr(dot), ".HTM") == 0) {
    if (ChooseProgramHook hook = ChooseHook()) hook(address);
  }
  return false;
}

bool TQelWindowMover::Press(QWidget* control, QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || control == nullptr) return false;
  QWidget* window = control->window();
  if (window == nullptr || window == control) return false;
  // A press after a release that never arrived starts afresh.
  FWindow = window;
  FPressGlobal = e->globalPosition().toPoint();
  FWindowStart = window->pos();
  FStarted = false;
  FByHand = false;
  return true;
}

bool TQelWindowMover::Move(QMouseEvent* e) {
  if (FWindow == nullptr || (e->buttons() & Qt::LeftButton) == 0) return false;
  const QPoint delta = e->globalPosition().toPoint() - FPressGlobal;
  if (!FStarted) {
    if (delta.manhattanLength() < QApplication::startDragDistance()) return true;
    FStarted = true;
    QWindow* handle = FWindow->windowHandle();
    FByHand = handle == nullptr || !handle->startSystemMove();
    if (!FByHand) {
      // The window manager has the pointer now; no release will come here.
      FWindow = nullptr;
      return true;
    }
  }
  if (FByHand) FWindow->move(FWindowStart + delta);
  return true;
}

bool TQelWindowMover::Release(QMouseEvent* e) {
  if (FWindow == nullptr || e->button() != Qt::LeftButton) return false;
  FWindow = nullptr;
  return true;
}

}  // namespace purgo
