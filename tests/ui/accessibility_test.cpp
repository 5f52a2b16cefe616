// Every window as a screen reader meets it, through Qt's accessibility
// interfaces: each object a user can focus or act on, each column header,
// list and progress bar has a name in the window's language and a role
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
  std::map<QString, QString> names;  // by path, of the objects checked (cells aside)
  std::map<QString, bool> rowNamed;  // a row of a list is named by any of its cells
  std::vector<std::string> problems;
};

bool SaysNothing(QAccessible::Role r) {
  return r == QAccessible::NoRole || r == QAccessible::Client || r == QAccessible::Pane ||
         r == QAccessible::Grouping || r == QAccessible::Border ||
         r == QAccessible::Whitespace || r == QAccessible::LayeredPane || r >= QAccessible::UserRole;
}

void Visit(QAccessibleInterface* i, const QString& path, Walk& w) {
  const QAccessible::State s = i->state();
  if (s.invisible) return;
  const QAccessible::Role role = i->role();
  const QString name = i->text(QAccessible::Name);
  const bool acts = i->actionInterface() != nullptr && !i->actionInterface()->actionNames().isEmpty();
  const std::set<QAccessible::Role> named = {QAccessible::ColumnHeader, QAccessible::ProgressBar,
                                             QAccessible::List, QAccessible::Tree, QAccessible::Table};
  const bool root = !path.contains(QLatin1Char('/'));
  if (root || s.focusable || acts || named.count(role) > 0) {
    const std::string what = path.toStdString() + " (" + (i->object() ? i->object()->metaObject()->className() : "item") +
                             ", role " + std::to_string(role) + ")";
    if (QAccessibleTableCellInterface* cell = i->tableCellInterface(); cell && role != QAccessible::ColumnHeader) {
      const QString row = path.section(QLatin1Char('/'), 0, -2) + QStringLiteral(" row ") + QString::number(cell->rowIndex());
      w.rowNamed[row] = w.rowNamed[row] || !name.isEmpty();
    } else {
      if (name.isEmpty()) w.problems.push_back("no name: " + what);
      if (!root && SaysNothing(role)) w.problems.push_back("role says nothing: " + what);
      w.names[path] = name;
    }
  }
  for (int k = 0; k < i->childCount(); ++k) Visit(i->child(k), path + QLatin1Char('/') + QString::number(k), w);
}

Walk WalkOf(QWidget* window) {
  Walk w;
  Visit(QAccessible::queryAccessibleInterface(window), QStringLiteral("window"), w);
  // Widgets inside an item view (its in-place editor) are not among the
  // view's accessible children; a screen reader meets them when they take
  // the focus.
  for (QWidget* inner : window->findChildren<QWidget*>()) {
    const auto* view = qobject_cast<QAbstractItemView*>(inner->parentWidget()->parentWidget());
    if (view != nullptr && inner->parentWidget() == view->viewport() && inner->isVisible()) {
      Visit(QAccessible::queryAccessibleInterface(inner), QStringLiteral("window/editor/") + inner->metaObject()->className(), w);
    }
  }
  for (const auto& [row, named] : w.rowNamed) {
    if (!named) w.problems.push_back("no name in any cell: " + row.toStdString());
  }
  return w;
}

// The window walked in English and in Chinese: a name the same in both,
// with Latin letters in it, is not in the window's language, unless the
// language packs themselves say it the same way ("Purgo").
void ExpectNamedInItsLanguage(QWidget* window, const std::function<void()>& refresh = {}) {
  std::map<int, std::vector<std::string>> texts;
  std::vector<Walk> walks;
  for (int id : {1033, 2052}) {
    AppMultiLangs->SetCurrentLanguageID(id);
    if (refresh) refresh();
    for (int v = 0; v < AppMultiLangVars->Count(); ++v) texts[id].push_back(AppMultiLangVars->GetValue(v));
    walks.push_back(WalkOf(window));
  }
  AppMultiLangs->SetCurrentLanguageID(1033);
  if (refresh) refresh();
  std::set<QString> alike;
  for (std::size_t v = 0; v < texts[1033].size(); ++v) {
    if (texts[1033][v] == texts[2052][v]) alike.insert(NameFromLabel(Text(texts[1033][v])));
  }
  std::vector<std::string> problems = walks[0].problems;
  problems.insert(problems.end(), walks[1].problems.begin(), walks[1].problems.end());
  for (const auto& [path, name] : walks[0].names) {
    if (walks[1].names[path] == name && name.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))) &&
        alike.count(name) == 0) {
      problems.push_back("the same in both languages: " + path.toStdString() + " " + name.toStdString());
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
