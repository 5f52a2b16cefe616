// SPDX-License-Identifier: GPL-3.0-or-later
// What the skinned controls share: their enumerations, the one mapping of
// the core's font record onto a QFont, and dragging a borderless window
// by one of its controls.
#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

#include "i18n/QSMultiFonts.h"

class QMouseEvent;
class QWidget;

namespace purgo {

enum TQelAlignment : std::uint8_t {
  valTopLeft,
  valTopCenter,
  valTopRight,
  valMiddleLeft,
  valMiddleCenter,
  valMiddleRight,
  valBottomLeft,
  valBottomCenter,
  valBottomRight,
  valCenter,
  valLeft,
  valRight,
  valCustom,
  valTopCustom,
  valMiddleCustom,
  valBottomCustom,
  valCustomLeft,
  valCustomCenter,
  valCustomRight,
};

enum TQelTextTrimmingType : std::uint8_t {
  vttNone,
  vttCharacter,
  vttWord,
  vttEllipsisCharacter,
  vttEllipsisWord,
  vttEllipsisPath,
};

enum TQelMultiFontsFlag : std::uint8_t {
  vmfMouseHover,
  vmfMouseDown,
  vmfDisabled,
  vmfFocused,
  vmfSelected,
  vmfChecked,
  vmfReadOnly,
};

// A set of TQelMultiFontsFlag values, one bit per value.
using TQelMultiFontsFlags = std::uint8_t;
constexpr TQelMultiFontsFlags FontsFlag(TQelMultiFontsFlag f) {
  return static_cast<TQelMultiFontsFlags>(1u << f);
}

// Qt's alignment for the horizontal and vertical part of an alignment;
// the custom ones, which place by a point, give the point's side.
Qt::Alignment ToQtAlignment(TQelAlignment a);

// How a caption too long for its place is cut: with an ellipsis at its
// end (at a word or a character alike), in its middle for a path, or not.
Qt::TextElideMode ElideOf(TQelTextTrimmingType t);

// A Windows colour (0x00BBGGRR) as a QColor, and back.
QColor ToQColor(TColor c);
TColor FromQColor(const QColor& c);

// The families a scheme's face name stands for on this machine: the face
// itself where it is installed, else "Noto Sans CJK SC" for a Chinese
// Windows face and the desktop's UI face for any other; the CJK face
// always follows, so Chinese text finds its glyphs in any face.
QStringList FaceFamilies(const QString& name);

// The core's font record as a QFont and its colour. A face this machine
// lacks falls back through fontconfig; a size of 0 keeps the pixel height
// (a negative height is a character height in pixels, as on Windows).
// Point sizes below 9 are raised to 9.
QFont ToQFont(const TQelFont& f);
QColor FontColor(const TQelFont& f);
// The record of a QFont with a colour, for a control whose font a scheme
// is about to change.
TQelFont FromQFont(const QFont& font, const QColor& color);

// Opens an address or file as a click does: `url` trimmed of blanks,
// through the core's ShellOpen hook (verb "open", shown normally). When
// that fails for a page ending in ".htm", the choose-program hook (the
// desktop's "open with" chooser, where the windows installed one) is
// offered the address. True when the address was opened.
bool OpenAddress(const std::string& url);
using ChooseProgramHook = std::function<void(const std::string& url)>;
void SetChooseProgramHook(ChooseProgramHook hook);

// Moves the borderless top-level window of a control when the control is
// dragged: the move starts once the pointer has travelled the system's
// drag distance (a move started on the press would swallow double clicks),
// through the window manager where it can (X11 and Wayland alike), by hand
// otherwise.
class TQelWindowMover {
 public:
  // True when the event was taken (a left press, a move, a release).
  bool Press(QWidget* control, QMouseEvent* e);
  bool Move(QMouseEvent* e);
  bool Release(QMouseEvent* e);
  bool Dragging() const { return FWindow != nullptr; }

 private:
  QPointer<QWidget> FWindow;
  QPoint FPressGlobal;
  QPoint FWindowStart;
  bool FStarted = false;
  bool FByHand = false;
};

}  // namespace purgo
