// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' tests run on Qt's offscreen platform, with a fixed locale
// and scale, so that they pass the same on a desktop, a server and CI.
// Qt itself starts inside a sandbox too: without a runtime folder it would
// make one in the real /tmp.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLocale>

#include "tests/Sandbox.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("QT_SCALE_FACTOR", "1", 1);
  ::unsetenv("QT_SCREEN_SCALE_FACTORS");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as the build does) starts nothing.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  purgo::test::Sandbox outside;
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
