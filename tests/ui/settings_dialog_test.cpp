// SPDX-License-Identifier: GPL-3.0-or-later
// The file-type cleaner's settings dialog, opened as the page opens it and
// driven through its own widgets: what each list accepts and refuses, and
// what Apply and Cancel leave in the options object.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "app/AppCommand.h"
#include "app/AppSingletons.h"
#include "i18n/AppMultiLangs.h"
#include "tests/Sandbox.h"
#include "tests/ui/UiProgram.h"
#include "ui/PGCSettingForm.h"
#include "ui/_PGCForm_Helper.h"

namespace fs = std::filesystem;

namespace purgo {
namespace {

const char* const kInvalidPath = "Invalid folder.";
const char* const kExistPath = "This folder is already in the list.";
const char* const kInvalidExt = "Invalid file type.";
const char* const kExistExt = "This file type is already in the list.";

using test::Grab;

// "+" or "-" for the tick, the caption, and the second column if any.
std::string Rows(const QTreeWidget* list) {
  std::string s;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = list->topLevelItem(i);
    s += (s.empty() ? "" : " ") + std::string(row->checkState(0) == Qt::Checked ? "+" : "-") +
         row->text(0).toStdString() + (list->columnCount() > 1 ? ":" + row->text(1).toStdString() : "");
  }
  return s;
}

int Selected(const QTreeWidget* list) {
  const auto rows = list->selectedItems();
  return rows.size() == 1 ? list->indexOfTopLevelItem(rows.front()) : -1;
}

std::string OptionDirs() {
  std::string s;
  for (int i = 0; i < AppOptions->DirListCount(); ++i) {
    s += (s.empty() ? "" : " ") + std::string(AppOptions->DirChecked(i) ? "+" : "-") + AppOptions->DirText(i) +
         (AppOptions->DirIncludeSub(i) ? ":sub" : "");
  }
  return s;
}

std::string OptionExts() {
  std::string s;
  for (int i = 0; i < AppOptions->ExtListCount(); ++i) {
    s += (s.empty() ? "" : " ") + AppOptions->ExtText(i) + (AppOptions->ExtChecked(i) ? "+" : "-") +
         (AppOptions->ExtDefault(i) ? "d" : "");
  }
  return s;
}

// The shipped language packs, empty lists in the options, a visible owner
// window, and warnings recorded instead of shown.
struct Settings {
  test::Sandbox box;
  QWidget owner;
  std::vector<std::string> warnings;

  Settings() {
    const fs::path langs = fs::path(PURGO_SOURCE_DIR) / "resources" / "Langs";
    fs::create_directories(box.Path("program/Langs"));
    for (const char* pack : {"English", "SimplifiedChinese"}) {
      fs::copy(langs / pack, box.Path(std::string("program/Langs/") + pack), fs::copy_options::recursive);
    }
    CreateAppSingletons();
    LoadAppSettings();
    AppMultiLangs->SetCurrentLanguageID(1033);
    AppOptions->ClearDirs();
    AppOptions->ClearExts();
    owner.resize(700, 600);
    owner.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&owner));
    SetMessageBoxHookForTesting([this](const QString& text, const QString& caption, int type) {
      EXPECT_EQ(caption, QStringLiteral("Warning"));
      EXPECT_EQ(type, 48);
      warnings.push_back(text.toStdString());
      return IDOK;
    });
  }
  ~Settings() {
    SetMessageBoxHookForTesting(nullptr);
    TfrmPGCSettings::SetBrowseHookForTesting(nullptr);
    FreeAppSingletons();
  }

  // Opens the dialog as the page does and runs `drive` in it; whatever
  // `drive` leaves open is cancelled. Returns what ShowPGCSettings does.
  bool Open(TSettingsTab tab, const std::function<void(TfrmPGCSettings&)>& drive, TExtPageLists lists = {}) {
    QTimer inside;  // dies with this call, so never fires into a later test
    inside.setSingleShot(true);
    QObject::connect(&inside, &QTimer::timeout, [&] {
      TfrmPGCSettings* d = frmPGCSettings;
      if (d == nullptr || !d->isVisible()) {
        ADD_FAILURE() << "the dialog is not shown";
        return;
      }
      drive(*d);
      if (d->isVisible()) d->btnCancel->click();
    });
    inside.start(0);
    return ShowPGCSettings(&owner, tab, lists);
  }
};

enum class Act { Add, Replace, Delete, Browse };

// Each case on a fresh dialog: the options' folders, the row selected, the
// edit box and check box, one button; then the list, the warning, the
// selection and the edit box.
TEST(SettingsDialog, FolderListAcceptsAndRefuses) {
  struct Case {
    const char* label;
    std::vector<const char*> dirs;
    int select;
    const char* edit;
    bool sub;
    Act act;
    std::string rows, warning;
    int selected;
    const char* editAfter;
  };
  const std::vector<Case> cases = {
      {"trimmed, ticked, flag from the box", {"/a"}, -1, " /tmp/x ", true, Act::Add, "+/a:No +/tmp/x:Yes", "", 1, "/tmp/x"},
      {"case makes another folder", {"/tmp/x"}, -1, "/TMP/x", false, Act::Add, "+/tmp/x:No +/TMP/x:No", "", 1, "/TMP/x"},
      {"the same folder again", {"/a", "/tmp/x"}, 0, "/tmp/x", false, Act::Add, "+/a:No +/tmp/x:No", kExistPath, 0, "/tmp/x"},
      {"a relative name", {"/a"}, -1, " tmp ", false, Act::Add, "+/a:No", kInvalidPath, 0, "tmp"},
      {"blanks only", {"/a"}, -1, "   ", false, Act::Add, "+/a:No", kInvalidPath, 0, ""},
      {"an empty folder name", {"/a"}, -1, "/tmp//x", false, Act::Add, "+/a:No", kInvalidPath, 0, "/tmp//x"},
      {"replaced by its own text", {"/a", "/b"}, 1, "/b", true, Act::Replace, "+/a:No +/b:Yes", "", 1, "/b"},
      {"replaced by another row's", {"/a", "/b"}, 1, "/a", false, Act::Replace, "+/a:No +/b:No", kExistPath, 1, "/a"},
      {"the last row deleted", {"/a", "/b"}, 1, "", false, Act::Delete, "+/a:No", "", -1, "/b"},
      {"the first of three deleted", {"/a", "/b", "/c"}, 0, "", false, Act::Delete, "+/b:No +/c:No", "", 0, "/b"},
      {"a folder chosen", {"/a"}, -1, "x", false, Act::Browse, "+/a:No", "", 0, "/home/u/Docs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Settings s;
    for (const char* d : c.dirs) AppOptions->AddDir(d, false, true);
    const std::string before = OptionDirs();
    TfrmPGCSettings::SetBrowseHookForTesting([] { return QStringLiteral("/home/u/Docs/"); });
    s.Open(TSettingsTab::Dir, [&](TfrmPGCSettings& d) {
      EXPECT_EQ(Selected(d.lstDir), 0);  // the first row, selected at opening
      if (c.select >= 0) d.lstDir->setCurrentItem(d.lstDir->topLevelItem(c.select));
      if (c.act != Act::Delete) d.txtDirEdit->setText(QString::fromUtf8(c.edit));
      d.chkDirIncludeSubDir->setChecked(c.sub);
      TQelImageButton* b = c.act == Act::Add ? d.btnDirAdd : c.act == Act::Replace ? d.btnDirReplace
                           : c.act == Act::Delete ? d.btnDirDelete : d.btnDirBrowse;
      b->click();
      EXPECT_EQ(Rows(d.lstDir), c.rows);
      EXPECT_EQ(s.warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
      EXPECT_EQ(Selected(d.lstDir), c.selected);
      EXPECT_EQ(d.btnDirDelete->isEnabled(), c.selected >= 0);
      EXPECT_EQ(d.txtDirEdit->text().toStdString(), c.editAfter);
      EXPECT_EQ(d.Dirty(), c.warning.empty() && c.act != Act::Browse);
      if (!c.warning.empty()) {
        EXPECT_EQ(d.focusWidget(), d.txtDirEdit);
        EXPECT_EQ(d.txtDirEdit->hasSelectedText(), c.warning == kExistPath);
      }
    });
    EXPECT_EQ(OptionDirs(), before);  // cancelled
  }
}

TEST(SettingsDialog, EndingListAcceptsAndRefuses) {
  struct Case {
    const char* label;
    int select;
    const char* edit;
    Act act;
    std::string rows, warning;
    int selected;
  };
  const std::vector<Case> cases = {
      {"added trimmed and ticked", 0, " .bak ", Act::Add, "-.tmp +.log +.bak", "", 2},
      {"another case is the same ending", 0, ".TMP", Act::Add, "-.tmp +.log", kExistExt, 0},
      {"blanks only", 0, "  ", Act::Add, "-.tmp +.log", kInvalidExt, 0},
      {"its own row in another case", 0, ".TMP", Act::Replace, "-.TMP +.log", "", 0},
      {"replaced by another row's", 1, ".Tmp", Act::Replace, "-.tmp +.log", kExistExt, 1},
      {"the last row deleted", 1, "", Act::Delete, "-.tmp", "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Settings s;
    AppOptions->AddExt(".tmp", false, true);
    AppOptions->AddExt(".log", true, true);
    s.Open(TSettingsTab::Ext, [&](TfrmPGCSettings& d) {
      d.lstExt->setCurrentItem(d.lstExt->topLevelItem(c.select));
      if (c.act != Act::Delete) d.txtExtEdit->setText(QString::fromUtf8(c.edit));
      (c.act == Act::Add ? d.btnExtAdd : c.act == Act::Replace ? d.btnExtReplace : d.btnExtDelete)->click();
      EXPECT_EQ(Rows(d.lstExt), c.rows);
      EXPECT_EQ(s.warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
      EXPECT_EQ(Selected(d.lstExt), c.selected);
      EXPECT_EQ(d.btnExtReplace->isEnabled(), c.selected >= 0);
      if (!c.warning.empty()) {
        EXPECT_EQ(d.focusWidget(), d.txtExtEdit);
      }
    });
  }
}

// What Apply stores: the page's lists merged in, ticks, flags, the bytes
// of names that are not UTF-8, and only the six attribute bits.
TEST(SettingsDialog, ApplyStoresTheShownList) {
  Settings s;
  AppOptions->AddDir("/a", true, true);
  AppOptions->AddDir("/tmp/caf\xe9", false, false);  // Latin-1, as the file system holds it
  TExtPageLists page{{{"/a", false}, {"/A", true}}, {".TMP", ".old"}};
  EXPECT_TRUE(s.Open(TSettingsTab::Dir, [](TfrmPGCSettings& d) {
    EXPECT_EQ(Rows(d.lstDir), "+/a:Yes -/tmp/caf\xEF\xBF\xBD:No +/A:Yes");
    d.lstDir->setCurrentItem(d.lstDir->topLevelItem(1));
    d.chkDirIncludeSubDir->setChecked(true);
    d.btnDirReplace->click();  // the shown text, which cannot name the folder, unchanged
    d.btnApply->click();
  }, page));
  EXPECT_EQ(OptionDirs(), "+/a:sub -/tmp/caf\xe9:sub +/A:sub");

  AppOptions->AddExt(".tmp", true, true);
  AppOptions->AddExt(".bak", true, false);
  EXPECT_TRUE(s.Open(TSettingsTab::Ext, [](TfrmPGCSettings& d) {
    EXPECT_EQ(Rows(d.lstExt), "+.tmp +.bak +.old");
    EXPECT_FALSE(d.btnApply->isEnabled());
    d.lblExtSelectNone->Click();
    EXPECT_EQ(Rows(d.lstExt), "-.tmp -.bak -.old");
    d.btnApply->click();
  }, page));
  EXPECT_EQ(OptionExts(), ".tmp- .bak- .old-");

  struct Case {
    std::uint32_t before;
    bool all;
    int tick;  // a row ticked after the link, or -1
    std::uint32_t after;
  };
  for (const Case& c : {Case{31, false, 1, 0x1A}, Case{0x8 | 0x4000, true, -1, 0x40AF}}) {
    AppOptions->SetFileAttribute(c.before);
    EXPECT_TRUE(s.Open(TSettingsTab::FileAttr, [&](TfrmPGCSettings& d) {
      EXPECT_EQ(Selected(d.lstFileAttr), -1);
      (c.all ? d.lblFileAttrSelectAll : d.lblFileAttrSelectNone)->Click();
      if (c.tick >= 0) d.lstFileAttr->topLevelItem(c.tick)->setCheckState(0, Qt::Checked);
      d.btnApply->click();
    }));
    EXPECT_EQ(AppOptions->FileAttribute(), c.after);
  }
}

// Apply waits for a change; Cancel, Escape and the close button keep the
// options; a language change renames the rows without making a change; a
// second opening starts with its buttons right.
TEST(SettingsDialog, CancelKeepsOptionsAndTextsFollowTheLanguage) {
  Settings s;
  AppOptions->AddDir("/a", true, true);
  AppOptions->AddExt(".tmp", true, true);
  AppOptions->AddExt(".log", false, true);
  AppOptions->SetFileAttribute(0x2);
  const TExtPageLists page{{{"/home/u/build", false}}, {}};
  for (int close = 0; close < 3; ++close) {
    EXPECT_FALSE(s.Open(TSettingsTab::Dir, [&](TfrmPGCSettings& d) {
      EXPECT_EQ(d.pageMain->currentWidget(), d.tabDir);
      EXPECT_EQ(d.btnApply->parentWidget(), d.tabDir);
      EXPECT_FALSE(d.btnApply->isEnabled());
      EXPECT_TRUE(d.btnDirDelete->isEnabled());
      d.lstDir->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
      EXPECT_TRUE(d.btnApply->isEnabled());
      if (close == 0) {
        Grab(&d, "settings-dir-en.png");
        EXPECT_FALSE(ShowPGCSettings(&s.owner, TSettingsTab::Ext, page));  // one at a time
        EXPECT_EQ(frmPGCSettings, &d);
      }
      if (close == 1) QTest::keyClick(d.txtDirEdit, Qt::Key_Escape);
      if (close == 2) d.btnClose->click();
      EXPECT_EQ(d.isVisible(), close == 0);
    }, page));
    EXPECT_EQ(OptionDirs(), "+/a:sub");
  }

  s.Open(TSettingsTab::Dir, [&](TfrmPGCSettings& d) {
    AppMultiLangs->SetCurrentLanguageID(2052);
    EXPECT_EQ(Rows(d.lstDir), "+/a:是 +/home/u/build:否");
    EXPECT_EQ(d.btnApply->text(), QStringLiteral("应用"));
    EXPECT_FALSE(d.Dirty());
    Grab(&d, "settings-dir-zh.png");
    AppMultiLangs->SetCurrentLanguageID(1033);
  }, page);
  for (TSettingsTab tab : {TSettingsTab::Ext, TSettingsTab::FileAttr}) {
    s.Open(tab, [&](TfrmPGCSettings& d) {
      const bool ext = tab == TSettingsTab::Ext;
      EXPECT_EQ(d.pageMain->currentWidget(), ext ? d.tabExt : d.tabFileAttr);
      EXPECT_EQ(Rows(ext ? d.lstExt : d.lstFileAttr),
                ext ? "+.tmp -.log" : "-Normal +Hidden -Read-Only -System -Archive -Encrypted");
      const TQelURLLabel* all = ext ? d.lblExtSelectAll : d.lblFileAttrSelectAll;
      EXPECT_EQ((ext ? d.lblExtSelectNone : d.lblFileAttrSelectNone)->x(), all->x() + all->width() + 12);
      Grab(&d, ext ? "settings-ext-en.png" : "settings-attr-en.png");
    });
  }
  EXPECT_EQ(OptionExts(), ".tmp+d .log-d");
  EXPECT_EQ(AppOptions->FileAttribute(), 0x2u);
  EXPECT_TRUE(s.warnings.empty());
}

}  // namespace
}  // namespace purgo
