// SPDX-License-Identifier: GPL-3.0-or-later
// Both pages' lists and cleaning passes as the user meets them: sorting,
// the ticked count, Cancel during a pass; the skinned message box; the
// main window resized; the fonts of every window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QWindow>
#include <filesystem>
#include <map>
#include <set>

#include "app/AppCommand.h"
#include "app/AppSingletons.h"
#include "controls/QWImageButton.h"
#include "platform/FileDelete.h"
#include "platform/Hooks.h"
#include "tests/ui/UiProgram.h"
#include "ui/AboutForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/PGCSettingForm.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_ExtTab.h"
#include "ui/_PGCForm_Helper.h"

namespace fs = std::filesystem;

namespace purgo {
namespace {

using test::Grab;
using test::Program;

// One page of the window, scanned over the sandbox's temporary folder:
// the trace page with only its first category ticked, or the file-type
// page on that folder with ".tmp".
struct Page {
  Program& p;
  bool ext;
  Page(Program& AProgram, bool AExt) : p(AProgram), ext(AExt) {
    if (ext) {
      AppOptions->ClearDirs();
      AppOptions->AddDir(p.box.Path("tmp/"), true, true);
      AppOptions->ClearExts();
      AppOptions->AddExt(".tmp", true, true);
      p.window->ExtTab()->ReinitOptVT();
      p.window->ChangePage(p.window->tabExt);
    } else {
      TAppScanModel& m = *p.window->AppTab()->Model();
      for (int c = 0; c < m.rowCount(); ++c) m.setData(m.index(c, 0), c == 0 ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
  }
  QTreeView* List() const { return ext ? p.window->lstExtScan : p.window->lstAppScan; }
  QAbstractItemModel* Model() const { return List()->model(); }
  QModelIndex Parent() const { return ext ? QModelIndex() : Model()->index(0, 0); }
  TPGCBaseCleaner* Cleaner() const {
    return ext ? static_cast<TPGCBaseCleaner*>(p.window->ExtCleaner()) : p.window->AppCleaner();
  }
  TfrmPGCProgress* Progress() const {
    return ext ? p.window->ExtTab()->ProgressForm() : p.window->AppTab()->ProgressForm();
  }
  TQelLabel* Ticked() const { return ext ? p.window->lblExtTicked : p.window->lblAppTicked; }
  void Scan() const { QTest::mouseClick(ext ? p.window->btnExtScan : p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5)); }
  void Clean() const { QTest::mouseClick(ext ? p.window->btnExtClean : p.window->btnAppClean, Qt::LeftButton, {}, QPoint(5, 5)); }
  QModelIndex Row(int r, int column = 0) const { return Model()->index(r, column, Parent()); }
  int Rows() const { return Model()->rowCount(Parent()); }
  // The rows' names, or their full paths with their ticks.
  std::string Names() const {
    std::string out;
    for (int r = 0; r < Rows(); ++r) out += (r > 0 ? " " : "") + Row(r).data().toString().toStdString();
    return out;
  }
  std::set<std::string> Listed() const {
    std::set<std::string> out;
    for (int r = 0; r < Rows(); ++r) {
      out.insert(Row(r).data(Qt::ToolTipRole).toString().toStdString() +
                 (Row(r).data(Qt::CheckStateRole).toInt() == Qt::Checked ? " x" : " _"));
    }
    return out;
  }
};

// Cancel, or Escape, during a cleaning pass stops it after the files in
// hand: the files deleted by then are counted and gone, and every other
// file stays listed, ticked and on disk. The dialog stays to say so.
TEST(Pages, CancelStopsACleaningPassAfterTheFilesInHand) {
  // A deletion held for a millisecond: the pass outlasts the click.
  struct SlowDeletions {
    SlowDeletions() {
      platform::SetDeleteStageHookForTesting(
          [](platform::DeleteStage stage, int, void*) {
            if (stage == platform::DeleteStage::BeforeRemoval) QThread::msleep(1);
          },
          nullptr);
    }
    ~SlowDeletions() { platform::SetDeleteStageHookForTesting(nullptr, nullptr); }
  } slow;
  constexpr int kFiles = 40;
  constexpr int kCancelAt = 7;
  for (const bool ext : {false, true}) {
    for (const bool escape : {false, true}) {
      SCOPED_TRACE(std::string(ext ? "file types" : "traces") + (escape ? ", Escape" : ", Cancel"));
      Program p;
      for (int i = 0; i < kFiles; ++i) p.box.MakeFile("tmp/f" + std::to_string(i) + ".tmp", "x");
      const Page page(p, ext);
      page.Scan();
      ASSERT_EQ(page.Rows(), kFiles);
      bool pressed = false;
      platform::SetProcessMessagesHook([&] {
        TfrmPGCProgress* d = page.Progress();
        if (d == nullptr || pressed || page.Cleaner()->CleanTotalFilesCount() < kCancelAt) return;
        pressed = true;
        if (escape) {
          QTest::keyClick(d, Qt::Key_Escape);
        } else {
          d->btnCancel->click();
        }
        EXPECT_TRUE(d->isVisible());
      });
      SetMessageBoxHookForTesting([](const QString&, const QString&, int) { return IDYES; });
      QString told;
      QTimer closer;
      QObject::connect(&closer, &QTimer::timeout, [&] {
        TfrmPGCProgress* d = page.Progress();
        if (d == nullptr || d->btnCancel->text() != QStringLiteral("Finished")) return;
        told = d->lblStatus->Caption();
        if (ext && !escape) Grab(d, "clean-stopped-en.png");
        d->btnCancel->click();
      });
      closer.start(10);
      page.Clean();
      closer.stop();
      platform::SetProcessMessagesHook(nullptr);
      SetMessageBoxHookForTesting(nullptr);

      const std::int64_t deleted = page.Cleaner()->CleanTotalFilesCount();
      EXPECT_TRUE(pressed);
      EXPECT_GE(deleted, kCancelAt);
      EXPECT_LT(deleted, kFiles);
      const QString n = QString::number(deleted), rest = QString::number(kFiles - deleted);
      EXPECT_EQ(told, "Cleaning stopped.\n" + n + " files cleaned. [" + n + " bytes]");
      std::set<std::string> left;
      for (const auto& e : fs::directory_iterator(p.box.Path("tmp"))) left.insert(e.path().string() + " x");
      EXPECT_EQ(static_cast<std::int64_t>(left.size()), kFiles - deleted);
      EXPECT_EQ(page.Listed(), left);
      EXPECT_EQ(page.Ticked()->Caption(), "Files ticked: " + rest + " (" + rest + " bytes)");
      if (!ext) {
        EXPECT_EQ(page.Parent().data().toString(), "Temporary files [" + rest + " files, " + rest + " bytes]");
      }
      EXPECT_TRUE(p.window->isEnabled());
    }
  }
}

// Both lists sort by name, folder and size (largest first at the first
// click on Size), by a click on the column's header; ticks and the
// current row follow their rows. The ticked count follows the ticks.
TEST(Pages, ListsSortByNameFolderAndSize) {
  for (const bool ext : {false, true}) {
    SCOPED_TRACE(ext ? "file types" : "traces");
    Program p;
    p.box.MakeFile("tmp/b/Zeta.tmp", "12345");
    p.box.MakeFile("tmp/a/alpha.tmp", std::string(30, 'a'));
    p.box.MakeFile("tmp/a/Beta.tmp", std::string(30, 'b'));
    p.box.MakeFile("tmp/c.tmp", "c");
    const Page page(p, ext);
    page.Scan();
    ASSERT_EQ(page.Rows(), 4);
    EXPECT_EQ(page.Ticked()->Caption(), QStringLiteral("Files ticked: 4 (66 bytes)"));
    const auto rowOf = [&](const char* name) {
      for (int r = 0; r < page.Rows(); ++r) {
        if (page.Row(r).data().toString() == QLatin1String(name)) return r;
      }
      return -1;
    };
    page.Model()->setData(page.Row(rowOf("c.tmp")), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(page.Ticked()->Caption(), QStringLiteral("Files ticked: 3 (65 bytes)"));
    page.List()->setCurrentIndex(page.Row(rowOf("Zeta.tmp")));

    QHeaderView* header = page.List()->header();
    struct Click {
      int column;
      const char* order;
    };
    for (const Click& c : {Click{0, "alpha.tmp Beta.tmp c.tmp Zeta.tmp"}, Click{0, "Zeta.tmp c.tmp Beta.tmp alpha.tmp"},
                           Click{1, "c.tmp alpha.tmp Beta.tmp Zeta.tmp"}, Click{2, "alpha.tmp Beta.tmp Zeta.tmp c.tmp"},
                           Click{2, "c.tmp Zeta.tmp alpha.tmp Beta.tmp"}}) {
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(c.column) + header->sectionSize(c.column) / 2, 5));
      EXPECT_EQ(page.Names(), c.order) << c.column;
      EXPECT_EQ(page.Row(rowOf("c.tmp")).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
      EXPECT_EQ(page.Row(rowOf("Beta.tmp")).data(Qt::CheckStateRole).toInt(), Qt::Checked);
      EXPECT_EQ(page.List()->currentIndex().data().toString(), QStringLiteral("Zeta.tmp"));
    }
    header->setSortIndicator(2, Qt::DescendingOrder);
    const QModelIndex size = page.Row(0, 2);
    EXPECT_EQ(size.data().toString(), QStringLiteral("30 bytes"));
    EXPECT_EQ(size.data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(page.Row(0, 1).data().toString().toStdString(), p.box.Path("tmp/a"));
    if (ext) {
      const QSize designed = p.window->size();
      Grab(p.window.get(), "sorted-en.png");
      p.window->resize(1000, 700);
      Grab(p.window.get(), "resized-en.png");
      AppMultiLangs->SetCurrentLanguageID(2052);
      EXPECT_EQ(header->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("大小"));
      EXPECT_EQ(page.Ticked()->Caption(), QStringLiteral("已勾选 3 个文件（65 bytes）"));
      Grab(p.window.get(), "resized-zh.png");
      p.window->resize(designed);
      Grab(p.window.get(), "sorted-zh.png");
    }
  }
}

// The message box is drawn in the skin, its buttons in the window's
// language; Enter answers with the first button, Escape and the close
// button as Escape does for the box's type.
TEST(MessageBox, SkinnedInTheWindowsLanguage) {
  Program p;
  struct Case {
    int language, type;
    std::function<void(TfrmMessageBox&)> act;
    QStringList buttons;
    int result;
    const char* shot;
  };
  const auto key = [](Qt::Key k) { return [k](TfrmMessageBox& b) { QTest::keyClick(&b, k); }; };
  const std::vector<Case> cases = {
      {1033, MB_YESNO | MB_ICONQUESTION, key(Qt::Key_Return), {"Yes", "No"}, IDYES, "message-box-en.png"},
      {2052, MB_YESNO | MB_ICONQUESTION, key(Qt::Key_Escape), {"是", "否"}, IDNO, "message-box-zh.png"},
      {2052, MB_YESNO | MB_ICONQUESTION, key(Qt::Key_Enter), {"是", "否"}, IDYES, nullptr},
      {1033, MB_YESNO, [](TfrmMessageBox& b) { b.btnClose->click(); }, {"Yes", "No"}, IDNO, nullptr},
      {2052, MB_OK | MB_ICONEXCLAMATION, key(Qt::Key_Escape), {"确定"}, IDOK, nullptr},
      {1033, MB_RETRYCANCEL | MB_ICONHAND, [](TfrmMessageBox& b) { b.Buttons()[0]->click(); }, {"Retry", "Cancel"},
       IDRETRY, nullptr},
      {1033, MB_YESNOCANCEL, key(Qt::Key_Escape), {"Yes", "No", "Cancel"}, IDCANCEL, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buttons.join(QLatin1Char(' ')).toStdString());
    AppMultiLangs->SetCurrentLanguageID(c.language);
    bool seen = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<TfrmMessageBox*>(w);
        if (box == nullptr || !box->isVisible()) continue;
        seen = true;
        QStringList captions;
        for (TQelImageButton* b : box->Buttons()) captions << b->text();
        EXPECT_EQ(captions, c.buttons);
        EXPECT_FALSE(p.window->isEnabled());
        EXPECT_EQ(box->lblTitleBar->Title(), QStringLiteral("Purgo?"));
        EXPECT_EQ(QFontInfo(box->lblText->font()).family(), QFontInfo(p.window->lblStatus->font()).family());
        // What a screen reader can reach says what it is.
        for (QWidget* control : box->findChildren<QWidget*>()) {
          if (control->focusPolicy() == Qt::NoFocus && qobject_cast<QAbstractButton*>(control) == nullptr) continue;
          EXPECT_FALSE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty())
              << control->metaObject()->className();
        }
        if (c.shot != nullptr) Grab(box, c.shot);
        c.act(*box);
        return;
      }
    });
    const QString text = CleanQuestion(STR_PGCForm_7, 3, 3 << 20);
    EXPECT_EQ(ShowMessageBox(p.window.get(), text, QStringLiteral("Purgo?"), 0, c.type), c.result);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(p.window->isEnabled());
  }
}

// The window grows from its corner, never below its designed size, and
// the lists take the room; a double-click on the title bar maximises and
// restores it; the size it closes with is the size it opens with.
TEST(MainWindow, ResizesFromItsEdgesAndRemembersItsSize) {
  Program p;
  TfrmPGC& w = *p.window;
  QWindow* handle = w.windowHandle();
  ASSERT_NE(handle, nullptr);
  const QSize designed = w.size();
  const QRect list = w.lstAppScan->geometry(), scan = w.btnAppScan->geometry(), status = w.lblStatus->geometry();
  const auto drag = [&](QPoint from, QPoint by) {
    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    QTest::mouseMove(handle, from + by);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, from + by);
  };
  drag(QPoint(designed.width() - 2, designed.height() - 2), QPoint(16, 12));
  EXPECT_EQ(w.size(), designed + QSize(16, 12));
  EXPECT_EQ(w.lstAppScan->geometry(), list.adjusted(0, 0, 16, 12));
  EXPECT_EQ(w.btnAppScan->geometry(), scan.translated(16, 12));
  EXPECT_EQ(w.lblStatus->geometry(), status.adjusted(0, 12, 16, 12));
  // Pulled past the designed size from the left: it stops there.
  drag(QPoint(1, 300), QPoint(400, 0));
  EXPECT_EQ(w.size(), designed + QSize(0, 12));
  EXPECT_EQ(w.lstAppScan->geometry(), list.adjusted(0, 0, 0, 12));

  QTest::mouseDClick(w.lblTitleBar, Qt::LeftButton, {}, QPoint(300, 18));
  EXPECT_TRUE(w.isMaximized());
  QTest::mouseDClick(w.lblTitleBar, Qt::LeftButton, {}, QPoint(300, 18));
  EXPECT_FALSE(w.isMaximized());
  EXPECT_EQ(w.size(), designed + QSize(0, 12));

  w.resize(designed + QSize(10, 6));
  w.close();
  SaveAppSettings();
  EXPECT_NE(test::ReadBytes(AppConfigs->ConfigFile()).find("WindowWidth=790\nWindowHeight=591\n"), std::string::npos);
  FreeAppSingletons();
  CreateAppSingletons();
  LoadAppSettings();
  TfrmPGC again;
  EXPECT_EQ(again.size(), designed + QSize(10, 6));
}

// Every window of a language draws in one family: the main window and
// its menu, the progress dialog, the settings and about dialogs, the
// message box.
TEST(Windows, OneFontFamilyPerLanguage) {
  Program p;
  for (const int language : {1033, 2052}) {
    SCOPED_TRACE(language);
    AppMultiLangs->SetCurrentLanguageID(language);
    TfrmPGCProgress progress;
    progress.SetCommand(1);
    TfrmPGCSettings settings;
    TfrmAbout about;
    TfrmMessageBox box(QStringLiteral("?"), QStringLiteral("?"), MB_YESNO);
    for (QWidget* w : std::initializer_list<QWidget*>{&progress, &settings, &about, &box}) w->show();
    // Each family met, with the first control drawn in it.
    std::map<QString, std::string> families;
    const auto note = [&](const QFont& f, const QObject* o) {
      families.emplace(QFontInfo(f).family(), o->metaObject()->className());
    };
    for (const QWidget* window : std::initializer_list<const QWidget*>{
             p.window.get(), p.window->pmnHelp, &progress, &settings, &about, &box}) {
      note(window->font(), window);
      for (const QWidget* w : window->findChildren<QWidget*>()) note(w->font(), w);
      for (const TQelTitleBar* t : window->findChildren<TQelTitleBar*>()) note(t->TitleFont(), t);
    }
    std::string met;
    for (const auto& [family, first] : families) met += family.toStdString() + " (" + first + ") ";
    EXPECT_EQ(families.size(), 1u) << met;
    if (language == 2052) {
      EXPECT_EQ(families.begin()->first, QStringLiteral("Noto Sans CJK SC"));
    }
  }
}

}  // namespace
}  // namespace purgo
