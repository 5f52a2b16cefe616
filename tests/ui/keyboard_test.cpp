// SPDX-License-Identifier: GPL-3.0-or-later
// Every window driven by the keyboard alone: where Tab goes and that the
// focus shows, the title bar's commands by their keys, the options rows
// edited and their settings dialog opened without a mouse (and with one).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "tests/ui/UiProgram.h"
#include "ui/AboutForm.h"
#include "ui/PGCProgressForm.h"
#include "ui/PGCSettingForm.h"
#include "ui/_PGCForm_ExtTab.h"

namespace purgo {
namespace {

using test::Grab;
using test::Program;

// As the window manager does when a window is shown or a dialog goes.
void Activate(QWidget* w) {
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

// Tab from the first of `chain` reaches the others in order and comes
// round; a skinned button or link looks different with the focus.
void ExpectTabChain(const std::vector<QWidget*>& chain) {
  chain.front()->setFocus(Qt::TabFocusReason);
  for (std::size_t k = 0; k < chain.size(); ++k) {
    QWidget* here = QApplication::focusWidget();
    ASSERT_EQ(here, chain[k]) << "stop " << k << ": " << (here ? here->metaObject()->className() : "none");
    const QImage focused = here->grab().toImage();
    QTest::keyClick(here, Qt::Key_Tab);
    const bool alone = here->hasFocus();
    if (alone) here->clearFocus();
    if (qobject_cast<TQelImageButton*>(here) || qobject_cast<TQelURLLabel*>(here)) {
      EXPECT_NE(focused, here->grab().toImage()) << "stop " << k << " shows no focus";
    }
    if (alone) here->setFocus(Qt::TabFocusReason);
  }
  EXPECT_EQ(QApplication::focusWidget(), chain.front());
}

// Each window in turn; the settings dialog closed each time another way,
// always with the modal result 11.
TEST(Keyboard, TabGoesInReadingOrderAndTheFocusShows) {
  Program p;
  TfrmPGC& w = *p.window;
  Activate(&w);
  ExpectTabChain({w.btnExtTab, w.lstAppScan, w.lblAppSelectAll, w.lblAppSelectNone, w.lblAppRecommended,
                  w.btnAppScan});
  w.btnAppScan->setFocus();
  Grab(&w, "focus-en.png");
  AppMultiLangs->SetCurrentLanguageID(2052);
  Grab(&w, "focus-zh.png");
  AppMultiLangs->SetCurrentLanguageID(1033);

  p.box.MakeFile("data/a.tmp");
  AppOptions->ClearDirs();
  AppOptions->AddDir(p.box.Path("data/"), true, true);
  w.ExtTab()->ReinitOptVT();
  w.ChangePage(w.tabExt);
  QTest::keyClick(w.btnExtScan, Qt::Key_Space);  // a scan, so that Clean and the links take part
  Activate(&w);
  ExpectTabChain({w.btnAppTab, w.lstExtOptions, w.lstExtScan, w.lblExtSelectAll, w.lblExtSelectNone,
                  w.btnExtScan, w.btnExtClean});

  TfrmAbout about;
  about.show();
  Activate(&about);
  ExpectTabChain({about.lblOfficialWebsite, about.lblTechnicalSupportEmail, about.btnClose});
  about.close();
  TfrmPGCProgress progress;
  progress.SetCommand(1);
  progress.show();
  Activate(&progress);
  ExpectTabChain({progress.btnCancel});
  progress.close();

  for (TSettingsTab tab : {TSettingsTab::Dir, TSettingsTab::Ext, TSettingsTab::FileAttr}) {
    TfrmPGCSettings d(&w);
    frmPGCSettings = &d;
    d.SetPageLists({{{"/tmp", true}}, {".tmp"}});
    d.SetActiveTab(tab);
    QTimer::singleShot(0, [&] {
      Activate(&d);
      if (tab == TSettingsTab::Dir) {
        ExpectTabChain({d.lstDir, d.txtDirEdit, d.btnDirBrowse, d.chkDirIncludeSubDir, d.btnDirReplace,
                        d.btnDirDelete, d.btnDirAdd, d.btnCancel});
        d.btnCancel->click();
      } else if (tab == TSettingsTab::Ext) {
        ExpectTabChain({d.lstExt, d.lblExtSelectAll, d.lblExtSelectNone, d.txtExtEdit, d.btnExtReplace,
                        d.btnExtDelete, d.btnExtAdd, d.btnCancel});
        QTest::keyClick(&d, Qt::Key_Escape);
      } else {
        ExpectTabChain({d.lstFileAttr, d.lblFileAttrSelectAll, d.lblFileAttrSelectNone, d.btnCancel});
        QTest::keyClick(d.lblFileAttrSelectNone, Qt::Key_Space);
        QTest::keyClick(d.btnApply, Qt::Key_Return);
      }
    });
    EXPECT_EQ(DoModal(&d, &w, true), 11);
  }
}

// F10, Alt+H and the menu key open the Help menu on its first item; the
// arrows and Enter reach the About box and the languages. Alt+Space opens
// the window menu, Alt+F4 closes the window.
TEST(Keyboard, TitleBarCommandsByKey) {
  Program p;
  TfrmPGC& w = *p.window;
  Activate(&w);
  for (auto [key, held] : {std::pair{Qt::Key_F10, Qt::NoModifier}, std::pair{Qt::Key_H, Qt::AltModifier},
                           std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
    QTest::keyClick(&w, key, held);
    ASSERT_TRUE(w.pmnHelp->isVisible()) << key;
    EXPECT_EQ(w.pmnHelp->activeAction(), w.actHelpHelpFile);
    QTest::keyClick(w.pmnHelp, Qt::Key_Escape);
  }
  bool aboutShown = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (w.AboutForm() == nullptr || !w.AboutForm()->isVisible()) return;
    aboutShown = true;
    QTest::keyClick(w.AboutForm(), Qt::Key_Escape);
  });
  closer.start(5);
  QTest::keyClick(&w, Qt::Key_F10);
  for (int down = 0; down < 5; ++down) QTest::keyClick(w.pmnHelp, Qt::Key_Down);  // past the separators
  ASSERT_EQ(w.pmnHelp->activeAction(), w.actHelpAbout);
  QTest::keyClick(w.pmnHelp, Qt::Key_Return);
  EXPECT_TRUE(aboutShown);

  Activate(&w);
  QTest::keyClick(&w, Qt::Key_F10);
  QTest::keyClick(w.pmnHelp, Qt::Key_Down);
  QTest::keyClick(w.pmnHelp, Qt::Key_Right);
  ASSERT_TRUE(w.mniHelpLanguage->isVisible());
  QTest::keyClick(w.mniHelpLanguage, Qt::Key_Down);
  QTest::keyClick(w.mniHelpLanguage, Qt::Key_Return);
  EXPECT_EQ(w.btnAppScan->text(), QStringLiteral("扫描"));

  Activate(&w);
  QTest::keyClick(&w, Qt::Key_Space, Qt::AltModifier);
  ASSERT_TRUE(w.pmnWindow->isVisible());
  EXPECT_EQ(w.pmnWindow->activeAction(), w.actMinimize);
  QTest::keyClick(w.pmnWindow, Qt::Key_Escape);
  QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
  EXPECT_FALSE(w.isVisible());
}

// Enter, F2, Space and Right edit the current row; a read-only box shows
// it; Tab reaches the "..." button without ending the edit; the button
// opens the settings dialog by Space, Enter and the mouse, and so does F4
// in the box; Escape and Tab past the button end the edit.
TEST(Keyboard, OptionsRowsEditedByKeysAndThroughTheirButton) {
  Program p;
  TPGCForm_ExtTab& page = *p.window->ExtTab();
  p.window->ChangePage(p.window->tabExt);
  Activate(p.window.get());
  QTreeView* tree = page.OptVT();
  int opened = 0;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (frmPGCSettings != nullptr && frmPGCSettings->isVisible()) {
      ++opened;
      frmPGCSettings->btnCancel->click();
    }
  });
  driver.start(5);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_F2, Qt::Key_Space, Qt::Key_Right}) {
    tree->setFocus();
    tree->setCurrentIndex(page.OptModel()->index(3, 0));
    QTest::keyClick(tree, key);
    ASSERT_TRUE(page.OptVTEditor() != nullptr && page.OptVTEditor()->IsEditing()) << key;
    QLineEdit* box = page.OptVTEditor()->FOptVT_Edit;
    EXPECT_TRUE(box->hasFocus() && box->hasSelectedText() && !box->isReadOnly());
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(!page.OptVTEditor()->IsEditing() && tree->hasFocus());
  }
  QTest::keyClick(tree, Qt::Key_F2);
  QLineEdit* box = page.OptVTEditor()->FOptVT_Edit;
  QPushButton* button = page.OptVTEditor()->FOptVT_Button;
  QTest::keyClick(box, Qt::Key_Up);  // the attributes row: read-only, and looks it
  EXPECT_EQ(page.OptVTEditor()->Node(), 2);
  EXPECT_TRUE(box->isReadOnly() && !box->hasSelectedText());
  EXPECT_NE(box->palette().color(QPalette::Base), tree->palette().color(QPalette::Base));
  QTest::keyClick(box, Qt::Key_F4);
  Activate(p.window.get());
  QTest::keyClick(box, Qt::Key_Tab);
  EXPECT_TRUE(button->hasFocus() && page.OptVTEditor()->IsEditing());
  QTest::keyClick(button, Qt::Key_Space);
  Activate(p.window.get());
  QTest::keyClick(button, Qt::Key_Return);
  Activate(p.window.get());
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(3, 3));
  Activate(p.window.get());
  EXPECT_EQ(opened, 4);
  EXPECT_TRUE(page.OptVTEditor()->IsEditing());
  QTest::keyClick(button, Qt::Key_Tab);
  EXPECT_FALSE(page.OptVTEditor()->IsEditing());
  EXPECT_EQ(QApplication::focusWidget(), page.ScanVT());
}

}  // namespace
}  // namespace purgo
