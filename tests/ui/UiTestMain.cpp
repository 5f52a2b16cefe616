// The windows' tests run on Qt's offscreen platform, with a fixed locale
// and scale, so that they pass the same on a desktop, a server and CI.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("QT_SCALE_FACTOR", "1", 1);
  ::unsetenv("QT_SCREEN_SCALE_FACTORS");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
