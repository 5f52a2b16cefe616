// SPDX-License-Identifier: GPL-3.0-or-later
// The file-type page driven offscreen in a sandbox: the texts of its
// options rows, editing in place, the scan, the cleaning pass, and the
// working copy written back when the window closes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QCheckBox>
#include <QTreeWidget>
#include <filesystem>
#include <set>

#include "app/AppCommand.h"
#include "app/AppSingletons.h"
#include "platform/Hooks.h"
#include "tests/ui/UiProgram.h"
#include "ui/PGCProgressForm.h"
#include "ui/PGCSettingForm.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_ExtTab.h"

namespace fs = std::filesystem;

namespace purgo {
namespace {

using test::Program;

TEST(ExtPage, TextsOfTheOptionsRowsReadBackAsShown) {
  struct DirCase {
    const char* typed;
    TOptDirList dirs;
    const char* shown;
  };
  for (const DirCase& c : {
           DirCase{"/tmp|true; /tmp|False;;/x", {{"/tmp", true}, {"/x", false}}, "/tmp|True;/x|False;"},
           // Folders differing in case are two folders on Linux.
           DirCase{"/Tmp|True;/tmp|False;", {{"/Tmp", true}, {"/tmp", false}}, "/Tmp|True;/tmp|False;"},
           // The root folder is one character long and keeps its flag.
           DirCase{"/|True;", {{"/", true}}, "/|True;"},
           DirCase{"|True;  ; ", {{"|True", false}}, "|True|False;"},
           DirCase{"   ", {}, ""},
       }) {
    const TOptDirList dirs = ParseOptDirText(c.typed);
    EXPECT_EQ(dirs, c.dirs) << c.typed;
    EXPECT_EQ(OptDirText(dirs), c.shown) << c.typed;
  }
  EXPECT_EQ(OptExtText(ParseOptExtText(" .tmp; .TMP;;thumbs.db ;.~*")), ".tmp;thumbs.db;.~*;");

  struct AttrCase {
    const char* typed;
    std::uint32_t attr;
    const char* shown;
  };
  for (const AttrCase& c : {AttrCase{"hidden; system; other", 0x6, "HIDDEN;SYSTEM;"},
                            AttrCase{"", 0x80, "NORMAL;"}, AttrCase{"bogus;", 0x80, "NORMAL;"},
                            AttrCase{"encrypted;archive;readonly;normal", 0x40A1, "NORMAL;READONLY;ARCHIVE;ENCRYPTED;"}}) {
    EXPECT_EQ(ParseOptFileAttrText(c.typed), c.attr) << c.typed;
    EXPECT_EQ(OptFileAttrText(c.attr), c.shown) << c.typed;
  }
  // A set with none of the six bits (only the folder bit) reads NORMAL.
  EXPECT_EQ(OptFileAttrText(0x10), "NORMAL");

  for (const auto& [typed, days] : std::initializer_list<std::pair<const char*, int>>{
           {"-5", 0}, {"abc", 0}, {"12", 12}, {" 7 ", 7}, {"3x", 0}, {"99999999999", 0}, {"", 0}}) {
    EXPECT_EQ(ParseOptIgnoreDaysText(typed), days) << typed;
  }
}

// Rows left after a pass keep their order and their ticks, whether the
// removed ones form a few runs or are scattered (then the list is rebuilt
// in one pass instead of moving its tail once per run).
TEST(ExtPage, RemovedRowsLeaveTheRestInOrder) {
  for (const std::size_t step : {std::size_t{40}, std::size_t{2}}) {  // 3 runs; 50 runs
    std::vector<std::unique_ptr<TPGCExtCleanerScanFileItem>> items;
    TExtScanModel ext;
    TAppScanModel app;
    app.Reset(1);
    std::vector<std::size_t> gone;
    std::string kept;
    for (std::size_t i = 0; i < 100; ++i) {
      items.push_back(std::make_unique<TPGCExtCleanerScanFileItem>(nullptr));
      items.back()->SetFileName(std::to_string(i));
      ext.Add(items.back().get());
      app.AddFile(0, TScanFolders::kNoFolder, std::to_string(i), {}, {}, 0, i % 3 != 0);
      if (i % step == 0) {
        gone.push_back(i);
      } else {
        kept += std::to_string(i) + (i % 3 != 0 ? "x " : "_ ");
      }
    }
    ext.Flush();
    app.Flush();
    for (std::size_t i = 0; i < 100; i += 3) ext.setData(ext.index(static_cast<int>(i)), Qt::Unchecked, Qt::CheckStateRole);
    ext.RemoveRows(gone);
    app.RemoveFiles(0, gone);
    std::string extRows, appRows;
    for (int r = 0; r < ext.rowCount(); ++r) {
      extRows += ext.index(r).data().toString().toStdString() +
                 (ext.index(r).data(Qt::CheckStateRole).toInt() == Qt::Checked ? "x " : "_ ");
    }
    const QModelIndex temp = app.index(0, 0);
    for (int r = 0; r < app.rowCount(temp); ++r) {
      const QModelIndex i = app.index(r, 0, temp);
      appRows += i.data().toString().toStdString() + (i.data(Qt::CheckStateRole).toInt() == Qt::Checked ? "x " : "_ ");
    }
    EXPECT_EQ(extRows, kept) << step;
    EXPECT_EQ(appRows, kept) << step;
    const auto ticked = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), 'x'));
    EXPECT_EQ(ext.CheckedCount(), ticked);
    EXPECT_EQ(static_cast<std::size_t>(app.CheckedFileCount()), ticked);
  }
}

// Scan, untick, clean: only the ticked files go. A folder swapped for a
// link after the scan leads elsewhere: its file is refused, stays listed
// and ticked, and the file outside is untouched. Select All stays usable
// after every row is unticked.
TEST(ExtPage, ScanUntickCleanEndToEnd) {
  Program p;
  TPGCForm_ExtTab& page = *p.window->ExtTab();
  TExtScanModel& model = *page.ScanModel();
  const std::string data = p.box.Path("data/");
  p.box.MakeFile("data/a.tmp", "aaaa");
  p.box.MakeFile("data/B.TMP", "bb");
  p.box.MakeFile("data/keep.tmp", "k");
  p.box.MakeFile("data/note.txt", "n");
  p.box.MakeFile("data/sub/c.tmp", "ccc");
  p.box.MakeFile("outside/c.tmp", "precious");
  AppOptions->ClearDirs();
  AppOptions->AddDir(data, true, true);
  AppOptions->AddDir(p.box.Path("missing/"), true, true);  // scans as empty
  AppOptions->ClearExts();
  AppOptions->AddExt(".tmp", true, true);
  page.ReinitOptVT();
  p.window->ChangePage(p.window->tabExt);
  ASSERT_TRUE(p.window->btnExtScan->isEnabled());
  EXPECT_FALSE(p.window->btnExtClean->isEnabled());
  EXPECT_FALSE(p.window->lblExtSelectAll->isEnabled());

  QTest::mouseClick(p.window->btnExtScan, Qt::LeftButton, {}, QPoint(5, 5));
  const auto listed = [&] {
    std::set<std::string> out;
    for (int r = 0; r < model.rowCount(); ++r) {
      const QModelIndex i = model.index(r);
      out.insert(i.data(Qt::ToolTipRole).toString().toStdString() +
                 (i.data(Qt::CheckStateRole).toInt() == Qt::Checked ? " x" : " _"));
    }
    return out;
  };
  EXPECT_EQ(listed(), (std::set<std::string>{data + "a.tmp x", data + "B.TMP x", data + "keep.tmp x",
                                             data + "sub/c.tmp x"}));
  EXPECT_TRUE(p.window->btnExtClean->isEnabled());
  AppMultiLangs->SetCurrentLanguageID(2052);
  EXPECT_EQ(page.OptModel()->Rows()[0].OptTitle, STR_PGCForm_ExtTab_OptVT_DirTitle);
  EXPECT_NE(STR_PGCForm_ExtTab_OptVT_DirTitle, "Folders:");
  AppMultiLangs->SetCurrentLanguageID(1033);

  for (int r = 0; r < model.rowCount(); ++r) {
    if (model.index(r).data().toString() == QStringLiteral("keep.tmp")) {
      model.setData(model.index(r), Qt::Unchecked, Qt::CheckStateRole);
    }
  }
  fs::rename(data + "sub", p.box.Path("sub-moved"));
  fs::create_directory_symlink(p.box.Path("outside"), data + "sub");

  // Clean asks first, with what is ticked; No deletes nothing.
  QStringList asked;
  int answer = IDNO;
  SetMessageBoxHookForTesting([&](const QString& text, const QString&, int type) {
    asked << text;
    EXPECT_EQ(type, MB_YESNO | MB_ICONQUESTION);
    return answer;
  });
  QTest::mouseClick(p.window->btnExtClean, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(fs::exists(data + "a.tmp"));
  answer = IDYES;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    TfrmPGCProgress* d = page.ProgressForm();
    if (d != nullptr && d->Percentage() == 100) d->btnCancel->click();
  });
  closer.start(20);
  QTest::mouseClick(p.window->btnExtClean, Qt::LeftButton, {}, QPoint(5, 5));
  closer.stop();
  SetMessageBoxHookForTesting(nullptr);
  EXPECT_EQ(asked, QStringList(2, QStringLiteral("Are you sure you want to delete these files?\n\n"
                                                 "Files ticked: 3 (9 bytes)")));

  EXPECT_FALSE(fs::exists(data + "a.tmp"));
  EXPECT_FALSE(fs::exists(data + "B.TMP"));
  EXPECT_TRUE(fs::exists(data + "keep.tmp"));
  EXPECT_TRUE(fs::exists(data + "note.txt"));
  EXPECT_TRUE(fs::exists(p.box.Path("outside/c.tmp")));
  EXPECT_TRUE(fs::exists(p.box.Path("sub-moved/c.tmp")));
  EXPECT_EQ(listed(), (std::set<std::string>{data + "keep.tmp _", data + "sub/c.tmp x"}));
  EXPECT_EQ(p.window->ExtCleaner()->CleanTotalFilesCount(), 2);
  EXPECT_EQ(p.window->ExtCleaner()->CleanTotalFilesSize(), 6);
  EXPECT_FALSE(AppOptions->LastCleanTime().IsZero());

  struct LinkCase {
    TQelURLLabel* link;
    bool clean, all, none;
  };
  for (const LinkCase& c : {LinkCase{p.window->lblExtSelectNone, false, true, false},
                            LinkCase{p.window->lblExtSelectAll, true, true, true}}) {
    QTest::mouseClick(c.link, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(p.window->btnExtClean->isEnabled(), c.clean);
    EXPECT_EQ(p.window->lblExtSelectAll->isEnabled(), c.all);
    EXPECT_EQ(p.window->lblExtSelectNone->isEnabled(), c.none);
  }
}

// The age limit is typed in place; a text that is no positive number is 0
// and reaches the options at once. Leaving the folders' box keeps a name
// that is not UTF-8 as its bytes. Folders differing only in case stay two
// folders when the working copy is written back at close, and the rules
// survive a restart.
TEST(ExtPage, EditInPlaceAndWriteBackAtClose) {
  Program p;
  TPGCForm_ExtTab& page = *p.window->ExtTab();
  p.window->ChangePage(p.window->tabExt);
  const std::string bad = "/tmp/bad-\xff";
  AppOptions->ClearDirs();
  AppOptions->AddDir("/tmp", false, true);
  AppOptions->AddDir(bad, true, true);
  page.ReinitOptVT();

  const QRect days = page.OptVT()->visualRect(page.OptModel()->index(3, 1));
  for (const auto& [typed, stored] : std::initializer_list<std::pair<const char*, int>>{
           {"-5", 0}, {"abc", 0}, {"14", 14}}) {
    QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {}, days.center());
    ASSERT_TRUE(page.OptVTEditor() != nullptr && page.OptVTEditor()->IsEditing());
    QLineEdit* edit = page.OptVTEditor()->FOptVT_Edit;
    EXPECT_FALSE(edit->isReadOnly());
    EXPECT_FALSE(page.OptVTEditor()->FOptVT_Button->isVisible());
    edit->clear();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(AppOptions->IgnoreInDays(), stored) << typed;
    EXPECT_EQ(page.OptModel()->Rows()[3].OptDetails, std::to_string(stored)) << typed;
  }
  // The other rows are read-only with a "..." button. The folders' text
  // is read back when the box is left for another row: "/TMP" is added.
  QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {},
                    page.OptVT()->visualRect(page.OptModel()->index(0, 1)).center());
  EXPECT_TRUE(page.OptVTEditor()->FOptVT_Edit->isReadOnly());
  EXPECT_TRUE(page.OptVTEditor()->FOptVT_Button->isVisible());
  QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {}, days.center());
  EXPECT_EQ(page.OptDirList(), (TOptDirList{{"/tmp", false}, {bad, true}}));
  EXPECT_EQ(page.OptModel()->Rows()[0].OptDetails, "/tmp|False;" + bad + "|True;");
  QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {},
                    page.OptVT()->visualRect(page.OptModel()->index(0, 1)).center());
  page.OptVTEditor()->FOptVT_Edit->setText(QStringLiteral("/tmp|False;/TMP|True;"));
  QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {}, days.center());
  EXPECT_EQ(page.OptDirList(), (TOptDirList{{"/tmp", false}, {"/TMP", true}}));
  // An ending typed into the row is the user's: stored ticked and among
  // the defaults.
  QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {},
                    page.OptVT()->visualRect(page.OptModel()->index(1, 1)).center());
  page.OptVTEditor()->FOptVT_Edit->setText(page.OptVTEditor()->FOptVT_Edit->text() + QStringLiteral(".new;"));
  QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {}, days.center());
  p.window->close();
  const int added = AppOptions->ExtListCount() - 1;
  EXPECT_EQ(AppOptions->ExtText(added), ".new");
  EXPECT_TRUE(AppOptions->ExtChecked(added) && AppOptions->ExtDefault(added));
  ASSERT_EQ(AppOptions->DirListCount(), 3);
  EXPECT_EQ(AppOptions->DirText(0), "/tmp");
  EXPECT_FALSE(AppOptions->DirIncludeSub(0));
  EXPECT_FALSE(AppOptions->DirChecked(1));  // left out of the typed text
  EXPECT_EQ(AppOptions->DirText(2), "/TMP");
  EXPECT_TRUE(AppOptions->DirIncludeSub(2) && AppOptions->DirChecked(2));

  SaveAppSettings();
  p.window.reset();
  FreeAppSingletons();
  CreateAppSingletons();
  LoadAppSettings();
  ASSERT_EQ(AppOptions->DirListCount(), 3);
  EXPECT_EQ(AppOptions->DirText(1), bad);
  EXPECT_EQ(AppOptions->DirText(2), "/TMP");
  EXPECT_EQ(AppOptions->IgnoreInDays(), 14);
}

// Stop ends the scan at the next folder; what was found stays listed and
// ticked, and can be cleaned.
TEST(ExtPage, StopKeepsWhatWasFound) {
  Program p;
  TPGCForm_ExtTab& page = *p.window->ExtTab();
  // On show to the end: the window then goes with its rows in view.
  p.window->ChangePage(p.window->tabExt);
  for (int d = 0; d < 20; ++d) {
    for (int f = 0; f < 40; ++f) p.box.MakeFile("data/d" + std::to_string(d) + "/f" + std::to_string(f) + ".tmp");
  }
  AppOptions->ClearDirs();
  AppOptions->AddDir(p.box.Path("data/"), true, true);
  AppOptions->ClearExts();
  AppOptions->AddExt(".tmp", true, true);
  page.ReinitOptVT();
  platform::SetProcessMessagesHook([&] {
    TfrmPGCProgress* d = page.ProgressForm();
    if (d != nullptr && page.ScanModel()->Rows().size() >= 40) d->btnCancel->click();
  });
  QTest::mouseClick(p.window->btnExtScan, Qt::LeftButton, {}, QPoint(5, 5));
  platform::SetProcessMessagesHook(nullptr);
  const std::size_t rows = page.ScanModel()->Rows().size();
  EXPECT_GE(rows, 40u);
  EXPECT_LT(rows, 800u);
  EXPECT_EQ(static_cast<std::size_t>(page.ScanModel()->rowCount()), rows);
  EXPECT_EQ(page.ScanModel()->CheckedCount(), rows);
  EXPECT_EQ(static_cast<std::size_t>(p.window->ExtCleaner()->ScanFileItemsCount()), rows);
  EXPECT_TRUE(p.window->btnExtClean->isEnabled());
}

// The "..." button opens the settings dialog on the row's list: a folder
// added and ticked there is scanned; with Hidden left out of the
// attributes the next scan passes over hidden files, and the choice
// survives a restart. Unticking every ending disables Scan.
TEST(ExtPage, SettingsFromTheRowReachTheNextScan) {
  Program p;
  TPGCForm_ExtTab& page = *p.window->ExtTab();
  p.window->ChangePage(p.window->tabExt);
  const std::string data = p.box.Path("data/");
  p.box.MakeFile("data/a.tmp");
  p.box.MakeFile("data/.hidden.tmp");
  AppOptions->ClearDirs();
  AppOptions->ClearExts();
  AppOptions->AddExt(".tmp", true, true);
  AppOptions->SetFileAttribute(31);
  page.ReinitOptVT();
  EXPECT_FALSE(p.window->btnExtScan->isEnabled());  // no folder yet

  const auto throughDialog = [&](int row, const std::function<void(TfrmPGCSettings&)>& change) {
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (frmPGCSettings == nullptr || !frmPGCSettings->isVisible()) return;
      driver.stop();
      change(*frmPGCSettings);
      QTest::mouseClick(frmPGCSettings->btnApply, Qt::LeftButton, {}, QPoint(5, 5));
    });
    driver.start(10);
    QTest::mouseClick(page.OptVT()->viewport(), Qt::LeftButton, {},
                      page.OptVT()->visualRect(page.OptModel()->index(row, 1)).center());
    QTest::mouseClick(page.OptVTEditor()->FOptVT_Button, Qt::LeftButton, {}, QPoint(3, 3));
  };
  // A folder added in the dialog comes ticked: the next scan takes it.
  throughDialog(0, [&](TfrmPGCSettings& d) {
    d.txtDirEdit->setText(QString::fromStdString(data));
    d.chkDirIncludeSubDir->setChecked(true);
    QTest::mouseClick(d.btnDirAdd, Qt::LeftButton, {}, QPoint(5, 5));
  });
  EXPECT_EQ(page.OptDirList(), (TOptDirList{{data, true}}));
  EXPECT_TRUE(p.window->btnExtScan->isEnabled());
  throughDialog(2, [](TfrmPGCSettings& d) {
    for (int i = 0; i < d.lstFileAttr->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = d.lstFileAttr->topLevelItem(i);
      if (row->data(0, Qt::UserRole).toUInt() == 0x2) row->setCheckState(0, Qt::Unchecked);
    }
  });
  EXPECT_EQ(page.OptModel()->Rows()[2].OptDetails, "READONLY;SYSTEM;");
  EXPECT_EQ(page.OptVTEditor()->FOptVT_Edit->text(), QStringLiteral("READONLY;SYSTEM;"));
  QTest::mouseClick(p.window->btnExtScan, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_EQ(page.ScanModel()->rowCount(), 1);
  EXPECT_EQ(page.ScanModel()->index(0).data(Qt::ToolTipRole).toString().toStdString(), data + "a.tmp");

  throughDialog(1, [](TfrmPGCSettings& d) { QTest::mouseClick(d.lblExtSelectNone, Qt::LeftButton, {}, QPoint(3, 3)); });
  EXPECT_TRUE(page.OptExtList().empty());
  EXPECT_FALSE(p.window->btnExtScan->isEnabled());

  p.window->close();
  SaveAppSettings();
  p.window.reset();
  FreeAppSingletons();
  CreateAppSingletons();
  LoadAppSettings();
  EXPECT_EQ(AppOptions->FileAttribute(), 0x1Du);
  ASSERT_EQ(AppOptions->ExtListCount(), 1);
  EXPECT_FALSE(AppOptions->ExtChecked(0));
}

}  // namespace
}  // namespace purgo
