// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and the about dialog with the shipped language packs,
// driven offscreen; and the program itself, started as a user would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QDateTime>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QMenu>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "app/AppCommand.h"
#include "app/AppSingletons.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/Clock.h"
#include "platform/Hooks.h"
#include "tests/Sandbox.h"
#include "tests/ui/UiProgram.h"
#include "ui/AboutForm.h"
#include "ui/PGCForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/UiServices.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_Helper.h"

namespace fs = std::filesystem;

namespace purgo {
namespace {

using test::Grab;
using test::Program;

platform::FileTime LocalTime(int y, int mo, int d, int h, int mi, int s) {
  const QDateTime t(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
  return platform::FileTimeFromUnix(t.toSecsSinceEpoch(), 0);
}


TEST(MainWindow, StatusLineTellsTheLastCleaningInLocalTime) {
  Program p;
  struct Case {
    platform::FileTime time;
    const char* shown;
  };
  for (const Case& c : {Case{{}, "Not cleaned yet."},
                        Case{LocalTime(2026, 3, 4, 13, 5, 6), "Last cleaned: 3/4/26 1:05:06 PM."},
                        Case{LocalTime(2026, 3, 4, 0, 0, 0), "Last cleaned: 3/4/26."}}) {
    AppOptions->SetLastCleanTime(c.time);
    p.window->RefreshStatus();
    EXPECT_EQ(p.window->lblStatus->Caption().toStdString(), c.shown);
  }
}

TEST(MainWindow, LanguageMenuPagesAndLinkRows) {
  Program p;
  ASSERT_EQ(p.Languages().size(), 2);
  EXPECT_TRUE(p.window->mniHelpLanguage->menuAction()->isVisible());
  const auto checked = [&] {
    int n = 0, at = -1;
    for (int i = 0; i < p.Languages().size(); ++i) {
      if (p.Languages()[i]->isChecked()) ++n, at = i;
    }
    return n == 1 ? at : -1;
  };
  EXPECT_EQ(checked(), AppMultiLangs->Index());
  const auto linksInARow = [&] {
    const TfrmPGC& w = *p.window;
    EXPECT_EQ(w.lblAppSelectNone->x(), w.lblAppSelectAll->x() + w.lblAppSelectAll->width() + 12);
    EXPECT_EQ(w.lblAppRecommended->x(), w.lblAppSelectNone->x() + w.lblAppSelectNone->width() + 12);
    EXPECT_EQ(w.lblExtSelectNone->x(), w.lblExtSelectAll->x() + w.lblExtSelectAll->width() + 12);
  };
  const int english = AppMultiLangs->Index(), chinese = 1 - english;
  linksInARow();
  Grab(p.window.get(), "main-en.png");
  // The languages' submenu says what it holds, in the window's language.
  const auto menuShown = [&](const QString& language, const char* picture) {
    EXPECT_EQ(p.window->mniHelpLanguage->title(), language);
    p.window->pmnHelp->popup(p.window->btnHelp->mapToGlobal(QPoint(0, p.window->btnHelp->height())));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(p.window->pmnHelp));
    Grab(p.window->pmnHelp, picture);
    p.window->pmnHelp->close();
  };
  menuShown(QStringLiteral("Language"), "help-menu-en.png");

  p.ChooseLanguage(chinese);
  EXPECT_EQ(AppMultiLangs->Index(), chinese);
  EXPECT_EQ(checked(), chinese);
  EXPECT_EQ(AppConfigs->LanguageID(), 2052);
  EXPECT_EQ(p.window->btnAppScan->text(), QStringLiteral("扫描"));
  linksInARow();
  Grab(p.window.get(), "main-zh.png");
  menuShown(QStringLiteral("语言"), "help-menu-zh.png");
  p.ChooseLanguage(chinese);  // the current one: nothing happens
  EXPECT_EQ(AppMultiLangs->Index(), chinese);
  p.ChooseLanguage(english);
  EXPECT_EQ(p.window->btnAppScan->text(), QStringLiteral("Scan"));
  linksInARow();

  // The disabled page button marks the page shown.
  EXPECT_FALSE(p.window->btnAppTab->isEnabled());
  QTest::mouseClick(p.window->btnExtTab, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(p.window->pageMain->currentWidget(), p.window->tabExt);
  EXPECT_TRUE(p.window->btnAppTab->isEnabled());
  EXPECT_FALSE(p.window->btnExtTab->isEnabled());
  Grab(p.window.get(), "main-en-types.png");
}

// Paths no screen shows whole (a tree thousands of folders deep) are shown
// by their two ends, cut between characters; others as they are.
TEST(Helper, ShownPathKeepsBothEndsCutBetweenCharacters) {
  const std::string ascii(5000, 'a'), wide = "/" + [] {
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "\xE5\x9E\x83";
    return s;
  }() + "/f.tmp";
  EXPECT_EQ(ShownPath(std::string(4096, 'x')), std::string(4096, 'x'));
  EXPECT_EQ(ShownPath(ascii), std::string(1024, 'a') + " \xE2\x80\xA6 " + std::string(2048, 'a'));
  const std::string shown = ShownPath(wide);
  const QString text = Text(shown);
  EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
  EXPECT_TRUE(text.startsWith("/\u5783"));
  EXPECT_TRUE(text.endsWith("\u5783/f.tmp"));
  EXPECT_LE(shown.size(), 1024u + 5 + 2048);
}

// The links tick and untick every category offered here and its files;
// "Recommended" ticks the first three with all their files, unticks the
// rest. Categories with nothing to clean on Linux have no row, and the
// settings keep their bits whatever the boxes say.
TEST(MainWindow, SelectLinksOnTheCategoryList) {
  Program p;
  EXPECT_EQ(AppOptions->AppScanTypes(), 15u);  // a fresh options file: the first four
  TAppScanModel& model = *p.window->AppTab()->Model();
  std::vector<std::string> names;
  for (const auto& c : model.Categories()) names.push_back(*c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Temporary files", "Application caches", "Trash",
                                             "Recent documents list", "Package downloads", "Flash Player data"}));
  const int n = static_cast<int>(names.size());
  for (int c = 0; c < n; ++c) {
    for (int f = 0; f < 2; ++f) model.AddFile(c, TScanFolders::kNoFolder, {}, {}, {}, 0, false);
  }
  model.Flush();
  const auto states = [&] {
    std::string s;
    for (int c = 0; c < n; ++c) {
      const auto state = model.CategoryState(c);
      s += state == Qt::Checked ? 'X' : state == Qt::PartiallyChecked ? '~' : '.';
      for (const auto& f : model.Categories()[static_cast<std::size_t>(c)].files) s += f.checked ? 'x' : '_';
      s += ' ';
    }
    return s;
  };
  // Unticked files make their category unticked; the Recycle Bin keeps its own box.
  EXPECT_EQ(states(), ".__ .__ X__ .__ .__ .__ ");
  QTest::mouseClick(p.window->lblAppSelectAll, Qt::LeftButton, {}, QPoint(3, 3));
  // The Recycle Bin's items have no boxes: only the category is ticked.
  EXPECT_EQ(states(), "Xxx Xxx X__ Xxx Xxx Xxx ");
  EXPECT_TRUE(p.window->btnAppClean->isEnabled());
  QTest::mouseClick(p.window->lblAppRecommended, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(states(), "Xxx Xxx X__ .__ .__ .__ ");
  QTest::mouseClick(p.window->lblAppSelectAll, Qt::LeftButton, {}, QPoint(3, 3));
  p.window->AppTab()->ReinitVT();
  EXPECT_EQ(AppOptions->AppScanTypes(), 1u | 2u | 4u | 8u | 64u | 512u);

  // Prefetch and downloaded program files, ticked in a settings file from
  // elsewhere, stay ticked there through any choice made here.
  AppOptions->SetAppScanTypes(16u | 32u | 1u);
  model.Reset(AppOptions->AppScanTypes());  // as the page starts
  EXPECT_EQ(model.CheckedCategories(), 1u);
  QTest::mouseClick(p.window->lblAppSelectNone, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_FALSE(p.window->btnAppClean->isEnabled());
  p.window->AppTab()->ReinitVT();
  EXPECT_EQ(AppOptions->AppScanTypes(), 16u | 32u);
}

TEST(MainWindow, OneLanguageHidesTheMenu) {
  Program p(1);
  EXPECT_FALSE(p.window->mniHelpLanguage->menuAction()->isVisible());
}

TEST(MainWindow, CleanAsksFirstAndAlwaysRefreshesTheStatus) {
  Program p;
  int cleans = 0, asked = 0;
  p.window->Pages.AppClean = [&] {
    ++cleans;
    AppOptions->SetLastCleanTime(LocalTime(2026, 1, 2, 3, 4, 5));
  };
  for (const int answer : {IDNO, IDYES}) {
    SetMessageBoxHookForTesting([&](const QString& text, const QString& caption, int type) {
      ++asked;
      EXPECT_EQ(text, QStringLiteral("Are you sure you want to clean these temporary files?\n\n"
                                     "Files ticked: 0 (0 bytes)"));
      EXPECT_EQ(caption, QStringLiteral("Question"));
      EXPECT_EQ(type, MB_YESNO | MB_ICONQUESTION);
      return answer;
    });
    p.window->btnAppClean->setEnabled(true);
    p.window->btnAppClean->click();
  }
  SetMessageBoxHookForTesting(nullptr);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(cleans, 1);
  EXPECT_TRUE(p.window->lblStatus->Caption().startsWith(QStringLiteral("Last cleaned:")));
}

// Help File and F1 ask the desktop for the manual beside the program (or
// a pack's own help file), the other entries for the project's pages; what
// cannot be opened is said in a box that shows the file or address.
TEST(MainWindow, HelpEntriesOpenTheManualAndTheProjectPagesOrSaySo) {
  Program p;
  std::vector<std::string> opened, said;
  bool opens = true;
  platform::SetShellOpenHook([&](const std::string& f, const std::string&, int) {
    opened.push_back(f);
    return opens;
  });
  SetMessageBoxHookForTesting([&](const QString& text, const QString& caption, int type) {
    EXPECT_EQ(caption, QStringLiteral("Warning"));
    EXPECT_EQ(type, MB_OK | MB_ICONEXCLAMATION);
    said.push_back(text.toStdString());
    return IDOK;
  });
  const std::string manual = p.box.Path("program/manual.html");
  const std::string pack = p.box.Path("program/Langs/English/help.chm");
  const std::string home = AppMultiLangs->URLHomePage(), cannot = "No program on this computer could open:\r\n";
  EXPECT_EQ(home.rfind("https://", 0), 0u);
  const TfrmPGC& w = *p.window;
  struct Case {
    const char* label;
    std::vector<std::string> files;  // present before; null action: F1
    QAction* action;
    bool opens;
    std::vector<std::string> opened, said;
  };
  const std::vector<Case> cases = {
      {"F1, the manual opens", {manual}, nullptr, true, {manual}, {}},
      {"Help File, no program for it", {manual}, w.actHelpHelpFile, false, {manual}, {cannot + manual}},
      {"a pack's own help file comes first", {manual, pack}, nullptr, true, {pack}, {}},
      {"no manual: nothing is asked of the desktop", {}, nullptr, true, {},
       {"The user manual was not found:\r\n" + manual}},
      {"support, no browser", {}, w.actHelpTechnicalSupport, false, {home + "/issues"},
       {cannot + home + "/issues"}},
      {"the forum", {}, w.actHelpForum, true, {home + "/discussions"}, {}},
      {"the home page, no browser", {}, w.actHelpHomePage, false, {home}, {cannot + home}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    for (const std::string& f : {manual, pack}) fs::remove(f);
    for (const std::string& f : c.files) std::ofstream(f) << "x";
    opens = c.opens;
    opened.clear(), said.clear();
    if (c.action != nullptr) {
      c.action->trigger();
    } else {
      p.window->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(p.window.get()));
      QTest::keyClick(p.window.get(), Qt::Key_F1);
    }
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(said, c.said);
  }
  platform::SetShellOpenHook(nullptr);
  SetMessageBoxHookForTesting(nullptr);
}

TEST(MainWindow, ModalDialogsOneAtATimeWithTheirResult) {
  Program p;
  TfrmAbout about;
  about.btnClose->SetModalResult(IDOK);
  int refused = -1;
  bool aboutShown = false;
  QTimer::singleShot(0, [&] {
    aboutShown = about.isVisible();
    EXPECT_FALSE(p.window->isEnabled());
    QWidget second;
    refused = DoModal(&second, p.window.get(), true);
    EXPECT_FALSE(second.isVisible());
    about.btnClose->click();
  });
  EXPECT_EQ(DoModal(&about, p.window.get(), true), IDOK);
  EXPECT_TRUE(aboutShown);
  EXPECT_EQ(refused, 0);
  EXPECT_TRUE(p.window->isEnabled());
}

TEST(AboutDialog, TextsFollowTheLanguage) {
  // The program's version, never the one of whichever Purgo wrote the file.
  Program p(2, [](test::Sandbox& b) { b.MakeFile("program/Config/Config.ini", "[General]\nVersion=1.5.1.1\n"); });
  TfrmAbout about;
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Purgo"));
  EXPECT_EQ(about.lblVersion->Caption(), QStringLiteral("Version: " PURGO_VERSION));
  Grab(&about, "about-en.png");
  const int english = AppMultiLangs->Index();
  AppMultiLangs->SetIndex(1 - english);  // while the dialog is shown
  EXPECT_EQ(about.lblVersion->Caption().toStdString(), "版本：" PURGO_VERSION);
  Grab(&about, "about-zh.png");
  AppMultiLangs->SetIndex(english);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Purgo"));
}

// The overview panel is white with a blank 34 pixels high at its bottom,
// and the wheel does not scroll it.
TEST(AboutDialog, OverviewPanelIsWhiteAndDeafToTheWheel) {
  Program p;
  TfrmAbout about;
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  EXPECT_EQ(about.lblProductOverview->pos(), QPoint(10, 183));
  QWidget* content = about.lstProductInfo->widget();
  const QImage shown = about.lstProductInfo->viewport()->grab().toImage();
  EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::white));
  EXPECT_EQ(content->findChild<QLabel*>()->geometry(), QRect(0, content->height() - 34, content->width(), 34));
  content->setMinimumHeight(1000);  // something to scroll, were the wheel heard
  QWheelEvent wheel(QPointF(20, 20), about.lstProductInfo->viewport()->mapToGlobal(QPointF(20, 20)), {},
                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(about.lstProductInfo->viewport(), &wheel);
  EXPECT_EQ(about.lstProductInfo->verticalScrollBar()->value(), 0);
}

// The About box and --version show the build's version (above, and in the
// command line's tests); the metainfo's newest release, the package's
// changelog and the manual page must name the same.
TEST(AboutDialog, ShippedFilesNameTheBuildsVersion) {
  const auto firstLine = [](const char* file) {
    const std::string text = test::ReadBytes(std::string(PURGO_SOURCE_DIR) + "/resources/" + file);
    return text.substr(0, text.find('\n'));
  };
  const std::string metainfo = test::ReadBytes(PURGO_SOURCE_DIR "/resources/org.purgo.Purgo.metainfo.xml");
  const std::size_t from = metainfo.find("<release version=\"") + 18;
  EXPECT_EQ(metainfo.substr(from, metainfo.find('"', from) - from), PURGO_VERSION);
  EXPECT_EQ(firstLine("debian/changelog").rfind("purgo (" PURGO_VERSION ") ", 0), 0u);
  EXPECT_NE(firstLine("purgo.1").find("\"Purgo " PURGO_VERSION "\""), std::string::npos);
}

// Whatever lies in the program's folder, the program starts, shows its
// window and ends without a word; files it cannot write stay as they were.
TEST(MainWindow, StartsOnMissingBrokenAndReadOnlySettings) {
  const auto write = [](test::Sandbox& b, const std::string& rel, const std::string& text) {
    fs::create_directories(fs::path(b.Path(rel)).parent_path());
    std::ofstream(b.Path(rel), std::ios::binary) << text;
  };
  const auto replaceLine = [&](test::Sandbox& b, const std::string& key, const std::string& line) {
    const std::string file = "program/Langs/English/PurgoStrs.ini";
    std::string text = test::ReadBytes(b.Path(file));
    const std::size_t at = text.find("\n" + key + "=");
    text.replace(at + 1, text.find('\n', at + 1) - at - 1, line);
    write(b, file, text);
  };
  struct Case {
    const char* label;
    int packs;
    std::function<void(test::Sandbox&)> before;
    QString aboutTitle;
  };
  const std::vector<Case> cases = {
      {"no languages at all", 0, nullptr, QStringLiteral("About Purgo")},
      {"broken settings and string files", 2,
       [&](test::Sandbox& b) {
         write(b, "program/Config/Config.ini", "\xff\xfe[Gen\x00eral\nLanguageID=abc\n");
         write(b, "program/data/PGOOptions.xml", "<PGOOptions><unclosed");
         write(b, "program/Langs/SimplifiedChinese/PurgoStrs.ini", std::string(300, '\x01'));
       },
       QStringLiteral("About Purgo")},
      {"an unknown language id", 2,
       [&](test::Sandbox& b) { write(b, "program/Config/Config.ini", "[General]\nLanguageID=9999\n"); },
       QStringLiteral("About Purgo")},
      {"a language without a font scheme", 1,
       [](test::Sandbox& b) { fs::remove(b.Path("program/Langs/English/PurgoFonts.ini")); },
       QStringLiteral("About Purgo")},
      {"an empty application title", 1,
       [&](test::Sandbox& b) { replaceLine(b, "STR_ApplicationTitle", "STR_ApplicationTitle="); },
       QStringLiteral("About Purgo")},
      {"an absurd application title", 1,
       [&](test::Sandbox& b) {
         replaceLine(b, "STR_ApplicationTitle", "STR_ApplicationTitle=" + std::string(1000, 'W'));
       },
       QStringLiteral("About ") + QString(1000, QLatin1Char('W'))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Program p(c.packs, c.before);
    EXPECT_TRUE(fs::is_directory(p.box.Path("program/Langs")));
    TfrmAbout about;
    about.show();
    EXPECT_EQ(about.windowTitle(), c.aboutTitle);
    about.hide();
    SaveAppSettings();
    EXPECT_TRUE(fs::exists(p.box.Path("program/data/PGOOptions.xml")));
  }
}

// A settings folder that cannot be made (here a file stands in its
// place): the window runs on and its status line says so, in the window's
// language, until a cleaning pass has something newer to say.
TEST(MainWindow, UnwritableSettingsSaidInTheStatusLine) {
  for (const bool writable : {true, false}) {
    SCOPED_TRACE(writable ? "writable" : "unwritable");
    Program p(2, [&](test::Sandbox& b) {
      if (!writable) b.MakeFile("program/Config", "not a folder");
    });
    const std::string said = p.window->lblStatus->Caption().toStdString();
    EXPECT_EQ(said == STR_PGCForm_Label_SettingsUnwritable, !writable) << said;
    if (writable) continue;
    EXPECT_NE(said.find("cannot be saved"), std::string::npos);
    Grab(p.window.get(), "settings-unwritable-en.png");
    p.ChooseLanguage(1);
    EXPECT_EQ(p.window->lblStatus->Caption().toStdString(), "无法保存设置：设置文件夹无法创建或写入。正在使用内置设置。");
    Grab(p.window.get(), "settings-unwritable-zh.png");
    AppOptions->SetLastCleanTime(LocalTime(2026, 3, 4, 0, 0, 0));
    p.window->RefreshStatus();
    AppOptions->SetLastCleanTime({});
    p.window->RefreshStatus();
    EXPECT_NE(p.window->lblStatus->Caption().toStdString(), STR_PGCForm_Label_SettingsUnwritable);
  }
}

// Offscreen, as on X11 without a window manager, the window opens centred
// on the pointer's screen, not at its corner; one larger than the screen
// keeps its corner on it.
TEST(MainWindow, CentredWhereNoWindowManagerPlacesIt) {
  Program p;
  ASSERT_FALSE(WindowsArePlacedForUs());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  QCursor::setPos(area.center());
  for (const QSize size : {QSize(400, 300), p.window->minimumSize(), area.size() + QSize(200, 100)}) {
    QWidget w(nullptr, Qt::Window | Qt::FramelessWindowHint);
    w.resize(size);
    PlaceOnPointerScreen(&w);
    w.show();
    const QRect g = w.frameGeometry();
    if (size.width() <= area.width() && size.height() <= area.height()) {
      EXPECT_LE(std::abs(g.center().x() - area.center().x()), 1) << size.width();
      EXPECT_LE(std::abs(g.center().y() - area.center().y()), 1) << size.height();
    } else {
      EXPECT_EQ(g.topLeft(), area.topLeft());
    }
  }
}

// A dialog disables the window under it: the tab of the page shown stays
// the only one drawn as selected (the disabled face is the selected one).
TEST(MainWindow, OnlyTheShownPageSelectedUnderADialog) {
  Program p;
  for (QWidget* page : {p.window->tabExt, p.window->tabApp}) {
    p.window->ChangePage(page);
    const bool appShown = page == p.window->tabApp;
    bool checked = false;
    TfrmAbout about;
    QTimer::singleShot(0, [&] {
      EXPECT_FALSE(p.window->isEnabled());
      for (TQelImageButton* b : {p.window->btnAppTab, p.window->btnExtTab}) {
        const bool shown = (b == p.window->btnAppTab) == appShown;
        EXPECT_EQ(b->StatePicture().cacheKey(), (shown ? b->PictureDisabled() : b->PictureNormal()).cacheKey());
      }
      checked = true;
      Grab(p.window.get(), appShown ? "dialog-over-app-page.png" : "dialog-over-ext-page.png");
      about.close();
    });
    DoModal(&about, p.window.get(), true);
    EXPECT_TRUE(checked);
  }
}

TEST(MainWindow, ReadOnlyProgramFolderKeepsItsFiles) {
  test::Sandbox box;
  box.MakeFile("program/Config/Config.ini", "[General]\nLanguageID=1033\n");
  box.MakeFile("program/data/PGOOptions.xml", "old options");
  for (const char* d : {"program/Config", "program/data", "program"}) {
    if (!box.MakeReadOnly(d)) GTEST_SKIP() << "cannot make a read-only folder here";
  }
  CreateAppSingletons();
  LoadAppSettings();
  {
    TfrmPGC window;
    window.show();
    AppOptions->SetLastCleanTime(LocalTime(2026, 1, 1, 1, 1, 1));
    SaveAppSettings();
  }
  FreeAppSingletons();
  EXPECT_EQ(test::ReadBytes(box.Path("program/data/PGOOptions.xml")), "old options");
  EXPECT_EQ(test::ReadBytes(box.Path("program/Config/Config.ini")), "[General]\nLanguageID=1033\n");
}

// One pass behind the dialog: started once from its first tick, its texts
// re-rendered in another language with the same numbers, Escape as its
// button.
TEST(ProgressDialog, OnePassStartedOnceAndItsTexts) {
  Program p;
  struct Totals : TPGCAppCleaner {
    Totals() {
      FCleanTotalFilesCount = 3;
      FCleanTotalFilesSize = 5LL << 30;
    }
  } cleaner;
  TfrmPGCProgress dialog;
  dialog.SetCommand(1);
  dialog.SetPurgo(&cleaner);
  int starts = 0, cancels = 0;
  bool mayClose = false;
  dialog.OnCancel = [&](TfrmPGCProgress*, bool& canClose) {
    ++cancels;
    canClose = mayClose;
  };
  dialog.OnStart = [&](TfrmPGCProgress* d) {
    ++starts;
    EXPECT_TRUE(d->prgProgress->isVisible());
    d->Status().Reload(&STR_PGCForm_2, {2, FormatSize64(2048)});
    d->SetPercentage(66);
    d->RefreshStatus();
    EXPECT_EQ(d->lblStatus->Caption(), QStringLiteral("Cleaning, please wait...\n2 files cleaned. [2.00 KB]"));
    AppMultiLangs->SetCurrentLanguageID(2052);
    d->RefreshMultiLangs();
    EXPECT_EQ(d->lblStatus->Caption(), QStringLiteral("正在清理，请稍候...\n已清理 2 个文件。[2.00 KB]"));
    AppMultiLangs->SetCurrentLanguageID(1033);
    d->RefreshMultiLangs();
    d->EndProgress();
    EXPECT_EQ(d->Percentage(), 100);
    EXPECT_EQ(d->btnCancel->text(), QStringLiteral("Finished"));
    EXPECT_EQ(d->lblStatus->Caption(), QStringLiteral("Cleaning finished.\n3 files cleaned. [5.00 GB]"));
    Grab(d, "progress-en.png");
    QTest::keyClick(d, Qt::Key_Escape);  // kept open: the owner said no
    EXPECT_TRUE(d->isVisible());
    mayClose = true;
    QTest::keyClick(d, Qt::Key_Escape);
  };
  DoModal(&dialog, p.window.get(), true);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(cancels, 2);
  EXPECT_FALSE(dialog.isVisible());
}

// A scan and a cleaning pass through the page, on the sandbox's temporary
// folder, cache and Trash: only what stayed ticked goes; a read-only file
// stays listed and ticked; the Trash is emptied first.
TEST(AppPage, ScanUntickCleanEndToEnd) {
  Program p;
  const std::string tmp = p.box.Path("tmp/"), cache = p.box.Path("home/.cache/");
  p.box.MakeFile("tmp/a.tmp", "aaaa");
  p.box.MakeFile("tmp/sub/b.tmp", "bb");
  p.box.MakeFile("tmp/keep.tmp", "k");
  ::chmod(p.box.MakeFile("tmp/ro.tmp", "r").c_str(), 0444);
  p.box.MakeFile("home/.cache/app/c1", "ccc");
  p.box.MakeFile("home/.local/share/Trash/files/old.txt", "trash");
  p.box.MakeFile("home/.local/share/Trash/info/old.txt.trashinfo", "[Trash Info]\nPath=/x/old.txt\n");
  TAppScanModel& model = *p.window->AppTab()->Model();

  QTest::mouseClick(p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5));
  const auto paths = [&](int c) {
    std::set<std::string> out;
    for (const auto& f : model.Categories()[static_cast<std::size_t>(c)].files) out.insert(std::string(model.PathOf(f)));
    return out;
  };
  EXPECT_EQ(paths(0), (std::set<std::string>{tmp + "a.tmp", tmp + "sub/b.tmp", tmp + "keep.tmp", tmp + "ro.tmp"}));
  EXPECT_EQ(paths(1), (std::set<std::string>{cache + "app/c1"}));
  EXPECT_EQ(paths(2), (std::set<std::string>{"old.txt"}));
  EXPECT_TRUE(p.window->btnAppClean->isEnabled());
  EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(),
            QStringLiteral("Temporary files [4 files, 8 bytes]"));
  EXPECT_TRUE(model.index(1, 0).data().toString().endsWith(QStringLiteral(" [1 file, 3 bytes]")));
  AppMultiLangs->SetCurrentLanguageID(2052);
  EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString().left(6), QStringLiteral("临时文件 ["));
  AppMultiLangs->SetCurrentLanguageID(1033);

  // Untick one file.
  const QModelIndex temp = model.index(0, 0);
  for (int r = 0; r < model.rowCount(temp); ++r) {
    const QModelIndex i = model.index(r, 0, temp);
    if (i.data().toString().endsWith(QStringLiteral("keep.tmp"))) model.setData(i, Qt::Unchecked, Qt::CheckStateRole);
  }
  EXPECT_EQ(model.CategoryState(0), Qt::PartiallyChecked);

  std::vector<int> seen;
  bool refusedToClose = true;
  platform::SetProcessMessagesHook([&] {
    if (TfrmPGCProgress* d = p.window->AppTab()->ProgressForm()) {
      seen.push_back(d->Percentage());
      if (p.window->close()) refusedToClose = false;
    }
  });
  SetMessageBoxHookForTesting([](const QString&, const QString&, int) { return IDYES; });
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    TfrmPGCProgress* d = p.window->AppTab()->ProgressForm();
    if (d != nullptr && d->Percentage() == 100) {
      seen.push_back(100);
      d->btnCancel->click();
    }
  });
  closer.start(20);
  QTest::mouseClick(p.window->btnAppClean, Qt::LeftButton, {}, QPoint(5, 5));
  closer.stop();
  platform::SetProcessMessagesHook(nullptr);
  SetMessageBoxHookForTesting(nullptr);

  for (const std::string& gone : {tmp + "a.tmp", tmp + "sub/b.tmp", cache + "app/c1",
                                  p.box.Path("home/.local/share/Trash/files/old.txt")}) {
    EXPECT_FALSE(fs::exists(gone)) << gone;
  }
  EXPECT_TRUE(refusedToClose);  // the window would not close while the pass ran
  EXPECT_TRUE(p.window->isVisible());
  EXPECT_TRUE(fs::exists(tmp + "keep.tmp"));
  EXPECT_TRUE(fs::exists(tmp + "ro.tmp"));
  EXPECT_EQ(paths(0), (std::set<std::string>{tmp + "keep.tmp", tmp + "ro.tmp"}));
  EXPECT_TRUE(paths(2).empty());
  // Four ticked files: the bar moves by quarters, stops at 99 while the
  // pass runs, and shows 100 at its end.
  // (Files come in listing order, so where the unticked one falls varies.)
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(std::set<int>(seen.begin(), seen.end()), (std::set<int>{0, 25, 50, 75, 100}));
  EXPECT_FALSE(AppOptions->LastCleanTime().IsZero());
  // The partly ticked category is stored unticked at the next rebuild.
  p.window->AppTab()->ReinitVT();
  EXPECT_EQ(AppOptions->AppScanTypes() & 1u, 0u);
}

// The Recycle Bin alone: Clean is enabled by its items and deletes the
// items the scan listed, counted as cleaned (a folder item with its
// content size), while an item trashed after the scan stays. A 5 GiB file
// counts as 5 GiB. Stop keeps what was found.
TEST(AppPage, RecycleBinAloneBigFilesAndStop) {
  Program p;
  TAppScanModel& model = *p.window->AppTab()->Model();
  const auto tickOnly = [&](std::initializer_list<int> categories) {
    for (int c = 0; c < model.rowCount(); ++c) {
      const bool on = std::find(categories.begin(), categories.end(), c) != categories.end();
      model.setData(model.index(c, 0), on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
  };
  p.box.MakeFile("home/.local/share/Trash/files/old.txt", "trash");
  p.box.MakeFile("home/.local/share/Trash/files/dir/inner", "123");
  tickOnly({2});
  QTest::mouseClick(p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(p.window->btnAppClean->isEnabled());
  EXPECT_EQ(model.data(model.index(2, 0), Qt::DisplayRole).toString(),
            QStringLiteral("Trash [2 files, 8 bytes]"));
  const std::string late = p.box.MakeFile("home/.local/share/Trash/files/late.txt", "late");
  SetMessageBoxHookForTesting([](const QString&, const QString&, int) { return IDYES; });
  QString reported;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    TfrmPGCProgress* d = p.window->AppTab()->ProgressForm();
    if (d != nullptr && d->Percentage() == 100) {
      reported = d->lblStatus->Caption();
      d->btnCancel->click();
    }
  });
  closer.start(20);
  QTest::mouseClick(p.window->btnAppClean, Qt::LeftButton, {}, QPoint(5, 5));
  closer.stop();
  SetMessageBoxHookForTesting(nullptr);
  EXPECT_FALSE(fs::exists(p.box.Path("home/.local/share/Trash/files/old.txt")));
  EXPECT_FALSE(fs::exists(p.box.Path("home/.local/share/Trash/files/dir")));
  EXPECT_TRUE(fs::exists(late));
  EXPECT_EQ(reported, QStringLiteral("Cleaning finished.\n2 files cleaned. [8 bytes]"));
  EXPECT_TRUE(model.Categories()[2].files.empty());
  EXPECT_FALSE(AppOptions->LastCleanTime().IsZero());

  // A sparse 5 GiB file, and enough files for a stop to come in between.
  const std::string big = p.box.MakeFile("tmp/big.bin");
  ASSERT_EQ(::truncate(big.c_str(), 5LL << 30), 0);
  for (int i = 0; i < 200; ++i) p.box.MakeFile("tmp/many/f" + std::to_string(i));
  tickOnly({0});
  QTest::mouseClick(p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(model.Categories()[0].files.size(), 201u);
  EXPECT_EQ(model.Categories()[0].foundSize, (5LL << 30) + 200);
  // Stop after a few files: the scan ends, what it found stays listed.
  int drains = 0;
  platform::SetProcessMessagesHook([&] {
    TfrmPGCProgress* d = p.window->AppTab()->ProgressForm();
    if (d != nullptr && ++drains == 20) QTest::keyClick(d, Qt::Key_Escape);
  });
  QTest::mouseClick(p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5));
  platform::SetProcessMessagesHook(nullptr);
  const auto& temp = model.Categories()[0];  // rebuilt by the second scan
  EXPECT_GT(temp.files.size(), 0u);
  EXPECT_LT(temp.files.size(), 201u);
  EXPECT_EQ(static_cast<std::size_t>(model.rowCount(model.index(0, 0))), temp.files.size());
}

// The recently-used list on the page: one row per entry, by the document's
// name and folder, ticked like files; cleaning takes the ticked entries
// out of the list (one used again since the scan stays) and deletes no
// document.
TEST(AppPage, RecentListEntriesAreTakenOutOfTheList) {
  Program p;
  TAppScanModel& model = *p.window->AppTab()->Model();
  const std::string home = p.box.Path("home");
  const std::string doc = p.box.MakeFile("home/Documents/report.odt", "the report");
  const auto entry = [](const std::string& href, const std::string& visited) {
    return "  <bookmark href=\"" + href + "\" modified=\"m\" visited=\"" + visited + "\"/>\n";
  };
  const std::string head = "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n", tail = "</xbel>\n";
  const std::string report = entry("file://" + doc, "1"), notes = entry("file://" + home + "/notes.txt", "1"),
                    photo = entry("file://" + home + "/%E7%85%A7%E7%89%87.png", "1"),
                    photoAgain = entry("file://" + home + "/%E7%85%A7%E7%89%87.png", "2");
  const std::string list = p.box.MakeFile("home/.local/share/recently-used.xbel", head + report + notes + photo + tail);
  const std::string link = p.box.MakeFile("home/.local/share/RecentDocuments/report.odt.desktop", "[Desktop Entry]\n");
  const int recent = model.CategoryIndexOf(kScanRecentDocuments);
  for (int c = 0; c < model.rowCount(); ++c) {
    model.setData(model.index(c, 0), c == recent ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
  }
  QTest::mouseClick(p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5));
  const QModelIndex category = model.index(recent, 0);
  const auto shown = [&] {
    std::vector<QString> rows;
    for (int r = 0; r < model.rowCount(category); ++r) rows.push_back(model.index(r, 0, category).data().toString());
    return rows;
  };
  const QString dash = QStringLiteral(" \u2014 "), notesRow = "notes.txt" + dash + QString::fromStdString(home),
                photoRow = "\u7167\u7247.png" + dash + QString::fromStdString(home);
  EXPECT_EQ(shown(), (std::vector<QString>{"report.odt" + dash + QString::fromStdString(home + "/Documents"), notesRow,
                                           photoRow, QStringLiteral("report.odt.desktop")}));
  EXPECT_TRUE(category.data().toString().startsWith(QStringLiteral("Recent documents list [4 files, ")));
  // The notes stay: unticked. The photo is opened again before Clean.
  model.setData(model.index(1, 0, category), Qt::Unchecked, Qt::CheckStateRole);
  p.box.MakeFile("home/.local/share/recently-used.xbel", head + report + notes + photoAgain + tail);

  SetMessageBoxHookForTesting([](const QString&, const QString&, int) { return IDYES; });
  QString reported;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    TfrmPGCProgress* d = p.window->AppTab()->ProgressForm();
    if (d != nullptr && d->Percentage() == 100) {
      reported = d->lblStatus->Caption();
      d->btnCancel->click();
    }
  });
  closer.start(20);
  QTest::mouseClick(p.window->btnAppClean, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(test::ReadBytes(list), head + notes + photoAgain + tail);
  EXPECT_EQ(test::ReadBytes(doc), "the report");
  EXPECT_FALSE(fs::exists(link));
  EXPECT_TRUE(reported.contains(QStringLiteral("2 files cleaned")));
  EXPECT_EQ(shown(), (std::vector<QString>{notesRow, photoRow}));
  // The rows left still lead to their entries: ticked now, the notes go.
  model.setData(category, Qt::Checked, Qt::CheckStateRole);
  QTest::mouseClick(p.window->btnAppClean, Qt::LeftButton, {}, QPoint(5, 5));
  closer.stop();
  SetMessageBoxHookForTesting(nullptr);
  EXPECT_EQ(test::ReadBytes(list), head + photoAgain + tail);
  EXPECT_EQ(shown(), std::vector<QString>{photoRow});
}

// The program itself, copied into a sandbox folder of its own.
struct Started {
  pid_t pid;
  explicit Started(const std::string& exe) {
    pid = ::fork();
    if (pid == 0) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  int Wait() const {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

bool WaitFor(const std::function<bool()>& ready) {
  for (int i = 0; i < 500 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ready();
}

// Waits until a started copy has its window up and serves later starts.
bool Serving(const test::Sandbox& box) {
  return WaitFor([&] {
    if (!fs::exists(box.Path("run"))) return false;
    for (const auto& e : fs::directory_iterator(box.Path("run"))) {
      if (e.path().extension() == ".sock") return true;
    }
    return false;
  });
}

TEST(Program, FirstStartSecondCopyAndSavingAtTheEnd) {
  test::Sandbox box;
  const std::string folder = box.Path("program/");
  fs::copy_file(PURGO_BINARY, folder + "purgo");
  const std::string config = folder + "Config/Config.ini", options = folder + "data/PGOOptions.xml";
  Started first(folder + "purgo");
  // A portable program folder with no packs: the first start records the
  // language in a new configuration file beside the program.
  ASSERT_TRUE(WaitFor([&] { return fs::exists(config) && fs::exists(box.Path("run")); }));
  EXPECT_TRUE(fs::is_directory(folder + "Langs"));
  EXPECT_NE(test::ReadBytes(config).find("LanguageID="), std::string::npos);
  ASSERT_TRUE(Serving(box));
  // A second copy hands over and ends, reading and writing nothing.
  const auto configBefore = fs::last_write_time(config);
  EXPECT_EQ(Started(folder + "purgo").Wait(), 0);
  EXPECT_EQ(fs::last_write_time(config), configBefore);
  EXPECT_FALSE(fs::exists(options));
  // Ending the session saves the settings as closing the window does.
  ::kill(first.pid, SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_TRUE(fs::exists(options));
}

// Installed: the program in <prefix>/bin/, its packs in
// <prefix>/share/purgo/Langs/, the prefix read-only where that can be had.
// The settings go to the user's XDG folders, made private on the way;
// nothing is written below the prefix.
TEST(Program, InstalledCopyKeepsItsSettingsInTheXdgFolders) {
  test::Sandbox box;
  for (const char* dir : {"usr/bin", "usr/share/purgo"}) fs::create_directories(box.Path(dir));
  fs::copy_file(PURGO_BINARY, box.Path("usr/bin/purgo"));
  fs::copy(fs::path(PURGO_SOURCE_DIR) / "resources" / "Langs", box.Path("usr/share/purgo/Langs"),
           fs::copy_options::recursive);
  const auto files = [&] { return std::distance(fs::recursive_directory_iterator(box.Path("usr")), {}); };
  const auto before = files();
  if (!box.MakeReadOnly("usr")) std::printf("the prefix stays writable: no read-only mount here\n");
  fs::remove_all(box.Path("home"));
  Started first(box.Path("usr/bin/purgo"));
  ASSERT_TRUE(Serving(box));
  ::kill(first.pid, SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
  // The shipped English pack was found and chosen.
  EXPECT_NE(test::ReadBytes(box.Path("home/.config/purgo/Config.ini")).find("LanguageID=1033"), std::string::npos);
  EXPECT_TRUE(fs::exists(box.Path("home/.local/share/purgo/PGOOptions.xml")));
  EXPECT_FALSE(fs::exists(box.Path("home/.local/share/purgo/Langs")));
  for (const char* dir : {"home", "home/.config/purgo", "home/.local/share/purgo"}) {
    EXPECT_EQ(fs::status(box.Path(dir)).permissions(), fs::perms::owner_all) << dir;
  }
  EXPECT_EQ(files(), before);
}

}  // namespace
}  // namespace purgo
