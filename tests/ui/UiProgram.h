// SPDX-License-Identifier: GPL-3.0-or-later
// The program as shipped, in a sandbox, for the window tests.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/AppCommand.h"
#include "app/AppSingletons.h"
#include "i18n/AppMultiLangs.h"
#include "tests/Sandbox.h"
#include "ui/PGCForm.h"

namespace purgo::test {

// The program as shipped, in a sandbox: its folder holds the language
// packs of the source tree (all, or only the first `packs`).
struct Program {
  Sandbox box;
  std::unique_ptr<TfrmPGC> window;
  explicit Program(int packs = 2, const std::function<void(Sandbox&)>& before = {}) {
    namespace fs = std::filesystem;
    const fs::path langs = fs::path(PURGO_SOURCE_DIR) / "resources" / "Langs";
    fs::create_directories(box.Path("program/Langs"));
    int copied = 0;
    for (const char* pack : {"English", "SimplifiedChinese"}) {
      if (copied++ < packs) {
        fs::copy(langs / pack, box.Path(std::string("program/Langs/") + pack), fs::copy_options::recursive);
      }
    }
    if (before) before(box);
    CreateAppSingletons();
    LoadAppSettings();
    if (AppMultiLangs->Count() > 0) AppMultiLangs->SetCurrentLanguageID(1033);
    window = std::make_unique<TfrmPGC>();
    window->LoadLangMenuItems();
    window->RefreshMultiLangs();
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  ~Program() {
    window.reset();
    FreeAppSingletons();
  }
  QList<QAction*> Languages() const { return window->mniHelpLanguage->actions(); }
  void ChooseLanguage(int i) { Languages().at(i)->trigger(); }
};

// Saved as PNG into $PURGO_SCREENSHOT_DIR when it is set.
inline void Grab(QWidget* w, const char* name) {
  if (const char* dir = std::getenv("PURGO_SCREENSHOT_DIR"); dir != nullptr && *dir != '\0') {
    w->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromUtf8(name));
  }
}

}  // namespace purgo::test
