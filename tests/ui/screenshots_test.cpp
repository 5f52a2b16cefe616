// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the README and the software centre, of a session that
// looks like someone's: a home folder with browser caches, thumbnails,
// downloads left half done and editor backups. Runs only for
// scripts/screenshots, which gives it a home of its own to fill
// ($PURGO_SCREENSHOT_HOME, on a private tmpfs, with another over /tmp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/AppOptions.h"
#include "app/AppSingletons.h"
#include "i18n/AppMultiLangs.h"
#include "platform/Trash.h"
#include "tests/ui/UiProgram.h"
#include "ui/_PGCForm_AppTab.h"
#include "ui/_PGCForm_ExtTab.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;

// A file of `size` bytes (sparse: only its size shows).
void Put(const std::string& path, off_t size) {
  fs::create_directories(fs::path(path).parent_path());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  EXPECT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

TEST(Screenshots, ASessionThatLooksLikeSomeones) {
  const char* home = std::getenv("PURGO_SCREENSHOT_HOME");
  const char* dir = std::getenv("PURGO_SCREENSHOT_DIR");
  if (home == nullptr || *home != '/' || dir == nullptr || *dir == '\0') {
    GTEST_SKIP() << "for scripts/screenshots only";
  }
  test::Program p;
  const std::string h = home;
  for (const auto& [name, value] : {std::pair{"HOME", h}, {"XDG_CACHE_HOME", h + "/.cache"},
                                    {"XDG_DATA_HOME", h + "/.local/share"}, {"TMPDIR", std::string("/tmp")}}) {
    ::setenv(name, value.c_str(), 1);
  }
  platform::SetTrashDirectoriesOverride(std::vector<std::string>{h + "/.local/share/Trash"});
  Put("/tmp/mozilla-temp-41873", 18432);
  Put("/tmp/tmpk3x9q2vd.tmp", 204800);
  Put("/tmp/vscode-typescript1000/tscancellation-4f2a.tmp", 0);
  Put(h + "/.cache/mozilla/firefox/q8rz2k1d.default-release/cache2/entries/0A3F9C2E51B7D804", 65536);
  Put(h + "/.cache/mozilla/firefox/q8rz2k1d.default-release/cache2/entries/5D21E0B9C47A13F6", 1327104);
  Put(h + "/.cache/mozilla/firefox/q8rz2k1d.default-release/cache2/entries/E7C04B8A99F2D315", 23552);
  Put(h + "/.cache/thumbnails/large/3b5d5c3712955042212316173ccf37be.png", 41216);
  Put(h + "/.cache/thumbnails/normal/9e107d9d372bb6826bd81d3542a419d6.png", 12800);
  Put(h + "/.cache/pip/http/a/3/f/e/2/3af2e1c0b8d4e5f6a7b8c9d0e1f2a3b4c5d6e7f8a9b0", 2490368);
  Put(h + "/.local/share/Trash/files/old-invoice.pdf", 96256);
  fs::create_directories(h + "/.local/share/Trash/info");
  {
    std::FILE* f = std::fopen((h + "/.local/share/Trash/info/old-invoice.pdf.trashinfo").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "[Trash Info]\nPath=%s/Documents/old-invoice.pdf\nDeletionDate=2026-11-30T10:12:44\n", home);
    std::fclose(f);
  }
  Put(h + "/Downloads/debian-12.8.0-amd64-netinst.iso.part", 335544320);
  Put(h + "/Downloads/holiday-photos.zip.crdownload", 52428800);
  Put(h + "/Downloads/setup.tmp", 4096);
  Put(h + "/Documents/report.odt~", 48128);
  Put(h + "/Documents/letters/draft.txt.bak", 2048);
  Put(h + "/Documents/report.odt", 48640);

  QTest::mouseClick(p.window->btnAppScan, Qt::LeftButton, {}, QPoint(5, 5));
  test::Grab(p.window.get(), "app-page-en.png");
  AppMultiLangs->SetCurrentLanguageID(2052);
  test::Grab(p.window.get(), "app-page-zh.png");
  AppMultiLangs->SetCurrentLanguageID(1033);

  AppOptions->ClearDirs();
  AppOptions->AddDir(h + "/Downloads/", true, true);
  AppOptions->AddDir(h + "/Documents/", true, true);
  AppOptions->ClearExts();
  for (const char* ext : {".tmp", ".part", ".crdownload", "~", ".bak"}) AppOptions->AddExt(ext, true, true);
  p.window->ExtTab()->ReinitOptVT();
  p.window->ChangePage(p.window->tabExt);
  QTest::mouseClick(p.window->btnExtScan, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(p.window->ExtTab()->ScanModel()->rowCount(), 5);
  test::Grab(p.window.get(), "ext-page-en.png");
  AppMultiLangs->SetCurrentLanguageID(2052);
  test::Grab(p.window.get(), "ext-page-zh.png");
  AppMultiLangs->SetCurrentLanguageID(1033);
}

}  // namespace
}  // namespace purgo
