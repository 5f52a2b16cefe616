// SPDX-License-Identifier: GPL-3.0-or-later
// The skinned controls driven as a user would: pointer and keys through
// Qt's event system, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTest>
#include <string>
#include <vector>

#include "controls/QWImageButton.h"
#include "controls/QWLabel.h"
#include "platform/Hooks.h"

namespace purgo {
namespace {

QPixmap Solid(Qt::GlobalColor c) {
  QPixmap p(20, 10);
  p.fill(c);
  return p;
}

void Enter(QWidget* w) {
  QEnterEvent e(QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)), w->mapToGlobal(QPointF(1, 1)));
  QApplication::sendEvent(w, &e);
}

void Leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(w, &e);
}

// Addresses the controls asked the desktop to open, and what it answered.
struct OpenRecorder {
  std::vector<std::string> opened, chosen;
  bool answer = true;
  OpenRecorder() {
    platform::SetShellOpenHook([this](const std::string& f, const std::string&, int) {
      opened.push_back(f);
      return answer;
    });
    SetChooseProgramHook([this](const std::string& f) { chosen.push_back(f); });
  }
  ~OpenRecorder() {
    platform::SetShellOpenHook(nullptr);
    SetChooseProgramHook(nullptr);
  }
};

struct ButtonFixture {
  QWidget window;
  TQelImageButton* button = new TQelImageButton(&window);
  QPixmap normal = Solid(Qt::white), hover = Solid(Qt::yellow), down = Solid(Qt::blue),
          disabled = Solid(Qt::gray);
  int clicks = 0;
  ButtonFixture() {
    window.resize(200, 100);
    button->setGeometry(10, 10, 80, 30);
    button->SetPictureNormal(normal);
    button->SetPictureMouseHover(hover);
    button->SetPictureMouseDown(down);
    button->SetPictureDisabled(disabled);
    QObject::connect(button, &QAbstractButton::clicked, [this] {
      // Everyone else hears of a click after the window's modal result.
      EXPECT_EQ(TQelCustomButton::ModalResultOf(&window), 6);
      ++clicks;
    });
    button->SetModalResult(6);
    window.show();
  }
  // Which picture the button shows: N, H, D or X (disabled).
  char Shown() const {
    const qint64 key = button->StatePicture().cacheKey();
    return key == hover.cacheKey() ? 'H' : key == down.cacheKey() ? 'D'
         : key == disabled.cacheKey() ? 'X' : 'N';
  }
};

TEST(SkinnedButton, PointerStatesPicturesAndClicks) {
  const QPoint in(5, 5), out(150, 80);
  struct Case {
    const char* label;
    std::function<void(ButtonFixture&)> act;
    char shown;
    int clicks;
  };
  const std::vector<Case> cases = {
      {"hover", [](ButtonFixture& f) { Enter(f.button); }, 'H', 0},
      {"hover and leave", [](ButtonFixture& f) { Enter(f.button); Leave(f.button); }, 'N', 0},
      {"no hover picture", [](ButtonFixture& f) { f.button->SetPictureMouseHover({}); Enter(f.button); },
       'N', 0},
      {"pressed", [&](ButtonFixture& f) { Enter(f.button); QTest::mousePress(f.button, Qt::LeftButton, {}, in); },
       'D', 0},
      {"press, drag out: still pressed",
       [&](ButtonFixture& f) {
         QTest::mousePress(f.button, Qt::LeftButton, {}, in);
         QTest::mouseMove(f.button, out);
         Leave(f.button);
       },
       'D', 0},
      {"press, release outside: normal, no click",
       [&](ButtonFixture& f) {
         QTest::mousePress(f.button, Qt::LeftButton, {}, in);
         Leave(f.button);
         QTest::mouseRelease(f.button, Qt::LeftButton, {}, out);
       },
       'N', 0},
      {"press, release inside: hover and a click",
       [&](ButtonFixture& f) { QTest::mouseClick(f.button, Qt::LeftButton, {}, in); }, 'H', 1},
      {"right button changes nothing",
       [&](ButtonFixture& f) { QTest::mousePress(f.button, Qt::RightButton, {}, in); }, 'N', 0},
      {"disabled", [](ButtonFixture& f) { f.button->setEnabled(false); Enter(f.button); }, 'X', 0},
      {"disabled without a disabled picture",
       [](ButtonFixture& f) { f.button->SetPictureDisabled({}); f.button->setEnabled(false); }, 'N', 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ButtonFixture f;
    c.act(f);
    EXPECT_EQ(f.Shown(), c.shown);
    EXPECT_EQ(f.clicks, c.clicks);
  }
}

TEST(SkinnedButton, StateFontsKeysAndAddress) {
  ButtonFixture f;
  QFont normal = f.button->font(), hoverFont = normal, downFont = normal, disabledFont = normal;
  hoverFont.setBold(true);
  downFont.setItalic(true);
  disabledFont.setStrikeOut(true);
  f.button->SetFontMouseHover(hoverFont);
  f.button->SetFontMouseDown(downFont);
  f.button->SetFontDisabled(disabledFont);
  Enter(f.button);
  EXPECT_EQ(f.button->StateFont(), normal);  // per-state fonts are off
  f.button->SetEnableMultiFonts(true);
  EXPECT_EQ(f.button->StateFont(), hoverFont);
  QTest::mousePress(f.button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(f.button->StateFont(), downFont);
  QTest::mouseRelease(f.button, Qt::LeftButton, {}, QPoint(5, 5));
  f.button->setEnabled(false);
  EXPECT_EQ(f.button->StateFont(), disabledFont);
  f.button->setEnabled(true);

  // Escape clicks a cancel button, Enter the active one; not with Shift.
  f.clicks = 0;
  f.button->SetCancel(true);
  QTest::keyClick(&f.window, Qt::Key_Escape);
  QTest::keyClick(&f.window, Qt::Key_Return);
  EXPECT_EQ(f.clicks, 1);
  f.button->SetDefault(true);
  QTest::keyClick(&f.window, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClick(&f.window, Qt::Key_Return);
  EXPECT_EQ(f.clicks, 2);

  OpenRecorder desktop;
  f.button->SetURL("  https://example.invalid/help  ");
  QTest::mouseClick(f.button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(desktop.opened, std::vector<std::string>{"https://example.invalid/help"});
}

// Enter presses a focused button as Space does (not with Ctrl held); Space
// held shows the pressed picture.
TEST(SkinnedButton, EnterAndSpacePressAFocusedButton) {
  for (auto [key, held, clicks] : {std::tuple{Qt::Key_Return, Qt::KeyboardModifiers{}, 1},
                                   std::tuple{Qt::Key_Enter, Qt::KeyboardModifiers{Qt::KeypadModifier}, 1},
                                   std::tuple{Qt::Key_Return, Qt::KeyboardModifiers{Qt::ControlModifier}, 0}}) {
    ButtonFixture f;
    QTest::keyClick(f.button, key, held);
    EXPECT_EQ(f.clicks, clicks) << key;
  }
  ButtonFixture f;
  QTest::keyPress(f.button, Qt::Key_Space);
  EXPECT_EQ(f.Shown(), 'D');
}

TEST(SkinnedButton, StyleSetsMarginsByBorderAndFocusMark) {
  for (const auto& [border, focus, margins] : std::vector<std::tuple<bool, bool, int>>{
           {false, false, 0}, {true, false, 2}, {false, true, 2}, {true, true, 4}}) {
    TQelImageButton b;
    b.SetDrawBorder(border);
    b.SetDrawFocused(focus);
    b.SetStyle(QelImageButtonStyle_WinNormal);
    EXPECT_EQ(b.PictureMargins(), margins);
    EXPECT_EQ(b.TextMargins(), margins);
  }
}

TEST(LinkLabel, CommandOrAddressAndVisited) {
  struct Case {
    const char* label;
    const char* url;
    bool command, opens;
    std::vector<std::string> opened, chosen;
    bool visited;
  };
  const std::vector<Case> cases = {
      {"a command never opens anything", "https://x.invalid/", true, true, {}, {}, false},
      {"an address that opens", "https://x.invalid/", false, true, {"https://x.invalid/"}, {}, true},
      {"a page that does not open offers the chooser", "/doc/help.HTM", false, false,
       {"/doc/help.HTM"}, {"/doc/help.HTM"}, false},
      {"another file that does not open", "/doc/help.txt", false, false, {"/doc/help.txt"}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    OpenRecorder desktop;
    desktop.answer = c.opens;
    QWidget window;
    auto* link = new TQelURLLabel(&window);
    link->SetCaption("Select All");
    link->setGeometry(10, 10, 100, 20);
    link->SetURL(c.url);
    int commands = 0, clicks = 0;
    if (c.command) link->OnCommand = [&] { ++commands; };
    QObject::connect(link, &TQelCustomLabel::clicked, [&] { ++clicks; });
    window.show();
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(commands, c.command ? 1 : 0);
    EXPECT_EQ(desktop.opened, c.opened);
    EXPECT_EQ(desktop.chosen, c.chosen);
    EXPECT_EQ(link->Visited(), c.visited);
    // A press released outside is no click.
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(300, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(link->IsMouseDown());
  }
}

// A link hovered while no leave event comes (the pointer went elsewhere
// under a grab) drops its hover look once the pointer is seen outside.
TEST(LinkLabel, HoverEndsWhenThePointerIsGoneWithoutALeave) {
  QWidget window;
  auto* link = new TQelURLLabel(&window);
  link->setGeometry(10, 10, 100, 20);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QCursor::setPos(window.mapToGlobal(QPoint(900, 900)));
  Enter(link);
  EXPECT_TRUE(link->IsMouseHover());
  QTRY_VERIFY_WITH_TIMEOUT(!link->IsMouseHover(), 1000);
}

TEST(LinkLabel, VisitedColourRules) {
  QWidget window;
  auto* link = new TQelURLLabel(&window);
  link->setGeometry(0, 0, 100, 20);
  window.show();
  const QColor own = link->FontColor(), visited = link->VisitedColor();
  struct Probe : TQelURLLabel {
    using TQelURLLabel::CurrentColor;
  };
  const auto colour = [&] { return (link->*(&Probe::CurrentColor))(); };
  link->SetVisited(true);
  EXPECT_EQ(colour(), own);  // the visited colour is off
  link->SetEnableVisitedColor(true);
  EXPECT_EQ(colour(), visited);
  link->SetVisited(false);
  EXPECT_EQ(colour(), own);
  QTest::mousePress(link, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(colour(), visited);  // pressed shows it whenever it is on
}

// Labels with MoveHandler, pictures and title bars drag their window;
// where the window manager cannot move it (offscreen), it moves by hand.
TEST(WindowMover, DraggingAHandleMovesTheWindow) {
  QWidget window;
  window.setWindowFlag(Qt::FramelessWindowHint);
  window.setGeometry(100, 100, 300, 200);
  auto* label = new TQelLabel(&window);
  label->SetMoveHandler(true);
  label->setGeometry(0, 0, 100, 20);
  auto* title = new TQelTitleBar(&window);
  title->setGeometry(0, 30, 300, 30);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  for (QWidget* handle : std::vector<QWidget*>{label, title}) {
    const QPoint start = window.pos();
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(handle, QPoint(6, 6));  // within the drag distance
    EXPECT_EQ(window.pos(), start);
    QTest::mouseMove(handle, QPoint(45, 25));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(45, 25));
    EXPECT_EQ(window.pos(), start + QPoint(40, 20));
  }
}

// Schemes name Windows faces; on Linux they become faces this machine has
// (the desktop's by the family its font resolves to, not by an alias).
TEST(SchemeFonts, WindowsFacesBecomeFacesOfThisMachine) {
  const QString desktop = QFontInfo(QApplication::font()).family(), cjk = QStringLiteral("Noto Sans CJK SC");
  const QString installed = QFontDatabase::families().value(0);
  struct Case {
    QString face;
    QStringList families;
  };
  for (const Case& c : {Case{"Tahoma", {desktop, cjk}}, Case{"宋体", {cjk}}, Case{"SimSun", {cjk}},
                        Case{"", {desktop, cjk}}, Case{installed, QStringList{installed, cjk}.mid(0, installed == cjk ? 1 : 2)}}) {
    EXPECT_EQ(FaceFamilies(c.face), c.families) << c.face.toStdString();
  }
  TQelFont small;
  small.Name = "Tahoma";
  small.Size = 8;
  small.Style.Bold = true;
  const QFont f = ToQFont(small);
  EXPECT_EQ(f.pointSize(), 9);
  EXPECT_TRUE(f.bold());
}

}  // namespace
}  // namespace purgo
