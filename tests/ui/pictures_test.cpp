// SPDX-License-Identifier: GPL-3.0-or-later
// The skin's pictures: sized in device-independent pixels at any ratio, and
// every button state telling itself apart from the others.
#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <vector>

#include "ui/PGCPictures.h"

namespace purgo::pictures {
namespace {

TEST(Pictures, SizedInDeviceIndependentPixelsAtEveryRatio) {
  struct Case { const char* name; QSize size; std::function<QPixmap(qreal)> make; };
  const std::vector<Case> cases = {
      {"main", {780, 585}, [](qreal r) { return MainBackground({780, 585}, r); }},
      {"dialog", {560, 400}, [](qreal r) { return DialogBackground({560, 400}, 30, r); }},
      {"logo 16", {16, 16}, [](qreal r) { return Logo(16, r); }},
      {"logo 256", {256, 256}, [](qreal r) { return Logo(256, r); }},
      {"title", {25, 24}, [](qreal r) { return TitleButtonFace(TitleButton::Close, Face::Hover, {25, 24}, r); }},
      {"page", {160, 32}, [](qreal r) { return PageButtonFace(Face::Disabled, {160, 32}, r); }},
      {"action", {100, 28}, [](qreal r) { return ActionButtonFace(Face::Normal, {100, 28}, r); }},
  };
  for (const Case& c : cases) {
    for (qreal ratio : {1.0, 2.0}) {
      const QPixmap pm = c.make(ratio);
      ASSERT_FALSE(pm.isNull()) << c.name << " at " << ratio;
      EXPECT_EQ(pm.deviceIndependentSize().toSize(), c.size) << c.name << " at " << ratio;
      EXPECT_EQ(pm.size(), c.size * ratio) << c.name << " at " << ratio;
    }
  }
  // A window laid out to nothing gets no picture rather than a crash.
  EXPECT_TRUE(MainBackground({0, 585}, 1).isNull());
  EXPECT_TRUE(ActionButtonFace(Face::Normal, {100, 28}, 0).isNull());
}

TEST(Pictures, EveryButtonStateLooksDifferent) {
  const std::vector<std::function<QPixmap(Face)>> buttons = {
      [](Face f) { return TitleButtonFace(TitleButton::Help, f, {25, 24}, 1); },
      [](Face f) { return TitleButtonFace(TitleButton::Minimize, f, {25, 24}, 1); },
      [](Face f) { return TitleButtonFace(TitleButton::Close, f, {25, 24}, 1); },
      [](Face f) { return PageButtonFace(f, {160, 32}, 1); },
      [](Face f) { return ActionButtonFace(f, {100, 28}, 1); },
  };
  for (size_t b = 0; b < buttons.size(); ++b) {
    std::vector<QImage> faces;
    for (Face f : {Face::Normal, Face::Hover, Face::Down, Face::Disabled}) faces.push_back(buttons[b](f).toImage());
    for (size_t i = 0; i < faces.size(); ++i)
      for (size_t j = i + 1; j < faces.size(); ++j) EXPECT_NE(faces[i], faces[j]) << b << ": " << i << "/" << j;
  }
}

TEST(Pictures, AppIconHasEverySize) {
  const QList<QSize> sizes = AppIcon().availableSizes();
  for (int side : {16, 24, 32, 48, 64, 128, 256}) EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
}

}  // namespace
}  // namespace purgo::pictures
