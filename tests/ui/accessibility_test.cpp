// SPDX-License-Identifier: GPL-3.0-or-later
// Every window as a screen reader meets it, through Qt's accessibility
// interfaces: whatever can be focused or used, and every column header,
// list and progress bar, has a name in the window's language and a role
// that says what it is.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <map>
#include <set>

#include "tests/ui/UiProgram.h"
#include "ui/AboutForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/PGCSettingForm.h"
#include "ui/_PGCForm_ExtTab.h"
#include "ui/_PGCForm_Helper.h"

namespace purgo {
namespace {

using test::Program;

struct Walk {
  std::map<QString, QString> names;  // by path, of what was checked, cells aside
  std::map<QString, bool> rowNamed;  // a list's row is named by any of its cells
  std::vector<std::string> problems;
};

void Visit(QAccessibleInterface* i, const QString& path, Walk& w) {
  const QAccessible::State s = i->state();
  if (s.invisible) return;
  const QAccessible::Role role = i->role();
  const QString name = i->text(QAccessible::Name);
  const bool acts = i->actionInterface() != nullptr && !i->actionInterface()->actionNames().isEmpty();
  const bool root = !path.contains(QLatin1Char('/'));
  if (root || s.focusable || acts || role == QAccessible::ColumnHeader || role == QAccessible::ProgressBar ||
      role == QAccessible::List || role == QAccessible::Tree || role == QAccessible::Table) {
    const std::string what = path.toStdString() + " (" +
                             (i->object() ? i->object()->metaObject()->className() : "item") + ", role " +
                             std::to_string(role) + ")";
    const std::set<QAccessible::Role> vague = {QAccessible::NoRole, QAccessible::Client, QAccessible::Pane,
                                               QAccessible::Grouping, QAccessible::Border,
                                               QAccessible::Whitespace, QAccessible::LayeredPane};
    if (QAccessibleTableCellInterface* cell = i->tableCellInterface(); cell && role != QAccessible::ColumnHeader) {
      const QString row = path.section(QLatin1Char('/'), 0, -2) + " row " + QString::number(cell->rowIndex());
      w.rowNamed[row] = w.rowNamed[row] || !name.isEmpty();
    } else {
      if (name.isEmpty()) w.problems.push_back("no name: " + what);
      if (!root && (vague.count(role) > 0 || role >= QAccessible::UserRole)) w.problems.push_back("vague: " + what);
      w.names[path] = name;
    }
  }
  for (int k = 0; k < i->childCount(); ++k) Visit(i->child(k), path + QLatin1Char('/') + QString::number(k), w);
}

Walk WalkOf(QWidget* window) {
  Walk w;
  Visit(QAccessible::queryAccessibleInterface(window), QStringLiteral("window"), w);
  // An item view's in-place editor is none of the view's accessible
  // children; a screen reader meets it when it takes the focus.
  for (QWidget* inner : window->findChildren<QWidget*>()) {
    const auto* view = qobject_cast<QAbstractItemView*>(inner->parentWidget()->parentWidget());
    if (view != nullptr && inner->parentWidget() == view->viewport() && inner->isVisible()) {
      Visit(QAccessible::queryAccessibleInterface(inner), QStringLiteral("editor/") + inner->metaObject()->className(), w);
    }
  }
  for (const auto& [row, named] : w.rowNamed) {
    if (!named) w.problems.push_back("no cell named: " + row.toStdString());
  }
  return w;
}

// Walked in English and in Chinese: a name the same in both, with Latin
// letters in it, is not in the window's language, unless the language
// packs say it the same way too ("Purgo").
void ExpectNamedInItsLanguage(QWidget* window, const std::function<void()>& refresh = [] {}) {
  std::map<int, std::vector<std::string>> texts;
  std::map<int, Walk> walks;
  for (int id : {1033, 2052}) {
    AppMultiLangs->SetCurrentLanguageID(id);
    refresh();
    for (int v = 0; v < AppMultiLangVars->Count(); ++v) texts[id].push_back(AppMultiLangVars->GetValue(v));
    walks[id] = WalkOf(window);
  }
  AppMultiLangs->SetCurrentLanguageID(1033);
  refresh();
  std::set<QString> alike;
  for (std::size_t v = 0; v < texts[1033].size(); ++v) {
    if (texts[1033][v] == texts[2052][v]) alike.insert(NameFromLabel(Text(texts[1033][v])));
  }
  std::vector<std::string> problems = walks[1033].problems;
  problems.insert(problems.end(), walks[2052].problems.begin(), walks[2052].problems.end());
  for (const auto& [path, name] : walks[1033].names) {
    if (walks[2052].names[path] == name && name.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))) &&
        alike.count(name) == 0) {
      problems.push_back("not translated: " + path.toStdString() + " " + name.toStdString());
    }
  }
  std::string all;
  for (const std::string& problem : problems) all += "\n  " + problem;
  EXPECT_TRUE(problems.empty()) << window->metaObject()->className() << all;
}

TEST(Accessibility, EveryWindowNamesWhatCanBeFocusedOrUsed) {
  Program p;
  ExpectNamedInItsLanguage(p.window.get());  // the application-traces page
  TPGCForm_ExtTab& page = *p.window->ExtTab();
  p.box.MakeFile("data/a.tmp");
  AppOptions->ClearDirs();
  AppOptions->AddDir(p.box.Path("data/"), true, true);
  page.ReinitOptVT();
  QTest::mouseClick(p.window->btnExtScan, Qt::LeftButton, {}, QPoint(5, 5));
  p.window->ChangePage(p.window->tabExt);
  page.EditRow(0);
  ExpectNamedInItsLanguage(p.window.get());

  TfrmAbout about;
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  ExpectNamedInItsLanguage(&about);
  TfrmPGCProgress progress;
  progress.SetCommand(1);
  progress.show();
  ExpectNamedInItsLanguage(&progress, [&] { progress.RefreshMultiLangs(); });
  progress.close();
  for (TSettingsTab tab : {TSettingsTab::Dir, TSettingsTab::Ext, TSettingsTab::FileAttr}) {
    QTimer::singleShot(0, [&] {
      ExpectNamedInItsLanguage(frmPGCSettings);
      frmPGCSettings->btnCancel->click();
    });
    ShowPGCSettings(p.window.get(), tab, {{{"/tmp", true}}, {".tmp"}});
  }
}

}  // namespace
}  // namespace purgo
