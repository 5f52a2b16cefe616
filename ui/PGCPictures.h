// SPDX-License-Identifier: GPL-3.0-or-later
// The skin's pictures, painted in code: the windows' backgrounds, the logo
// and the faces of the title, page and action buttons. One teal accent on
// light surfaces; every picture is rendered at the screen's pixel ratio so
// that it stays sharp on high-density displays.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace purgo::pictures {

enum class Face { Normal, Hover, Down, Disabled };
enum class TitleButton { Help, Minimize, Close };
enum class MessageIcon { Error, Question, Warning, Information };

// The application's pixel ratio (1 without a GUI application). Every
// function below renders at this ratio unless told otherwise.
qreal DefaultDpr();

// The main window's background: a title band 36 px high, a light content
// area and a band for the status line along the bottom 24 px.
QPixmap MainBackground(QSize size, qreal dpr = DefaultDpr());
// A dialog's background in the same style, without the status band.
QPixmap DialogBackground(QSize size, int titleBandHeight, qreal dpr = DefaultDpr());

// The product logo: a broom sweeping on a teal tile, square, 16 to 256 px.
QPixmap Logo(int side, qreal dpr = DefaultDpr());

// White glyphs meant to sit on the title band; Normal is transparent
// around the glyph so the band shows through.
QPixmap TitleButtonFace(TitleButton which, Face state, QSize size, qreal dpr = DefaultDpr());
// A page tab. Disabled is the current page: it takes the content area's
// colour and opens into it.
QPixmap PageButtonFace(Face state, QSize size, qreal dpr = DefaultDpr());
// A rounded button in the accent colour; Disabled is grey.
QPixmap ActionButtonFace(Face state, QSize size, qreal dpr = DefaultDpr());

// A message box's icon: a round badge with a drawn glyph (×, ?, !, i),
// red, accent, amber or blue.
QPixmap MessageBadge(MessageIcon which, int side, qreal dpr = DefaultDpr());

// The logo at 16, 24, 32, 48, 64, 128 and 256 px.
QIcon AppIcon();

// The colours the captions drawn over these pictures should use.
QColor AccentColor();
QColor ContentColor();
QColor TitleTextColor();
QColor PageCaptionColor(Face state);
QColor ActionCaptionColor(Face state);

}  // namespace purgo::pictures
