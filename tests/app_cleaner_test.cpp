// SPDX-License-Identifier: GPL-3.0-or-later
// The application-trace cleaner on fixture trees: category rules, events,
// records, clean mode, stops, rough mode and the targets it hands out.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/PurgoCore.h"
#include "engine/TraceKeepList.h"
#include "platform/DirReadAhead.h"
#include "platform/FileDelete.h"
#include "platform/Hooks.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;

// A cleaner whose folder categories and trash point into the sandbox.
class TestCleaner : public TPGCAppCleaner {
 public:
  std::map<TPGCScanTypes, std::string> folders;
  std::vector<std::string> trashes;
  std::vector<std::string> packageCaches;
  void SetRough(bool v) { FIsRoughScan = v; }

 protected:
  std::string CategoryFolder(TPGCScanTypes type) const override {
    auto it = folders.find(type);
    return it == folders.end() ? std::string() : it->second;
  }
  std::vector<std::string> RecycleBinFolders() const override { return trashes; }
  std::vector<std::string> PackageCacheFolders() const override { return packageCaches; }
};

struct Event {
  TPGCScanTypes type;
  std::string name;
  std::uint32_t size;
  bool hasTime;
  std::uint32_t attributes;
};

// Records every event; `onEvent` runs after recording.
void Record(TestCleaner& c, std::vector<Event>& events,
            std::function<void(const Event&)> onEvent = nullptr) {
  c.SetOnScanning([&events, onEvent](TPGCScanTypes t, const std::string& n, std::uint32_t s,
                                     const platform::FileTime* time, std::uint32_t a) {
    events.push_back({t, n, s, time != nullptr, a});
    if (onEvent) onEvent(events.back());
  });
}

std::set<std::string> FileNames(const std::vector<Event>& events, const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : events) {
    if (e.type != kScanTypeDirectory) out.insert(e.name.substr(root.size()));
  }
  return out;
}

bool Exists(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// Resets the message hook however a test ends.
struct HookGuard {
  ~HookGuard() { platform::SetProcessMessagesHook(nullptr); }
};

TEST(AppCleanerTest, CategoryRulesOnFixtureTrees) {
  struct Case {
    TPGCScanTypes type;
    std::vector<std::string> files;
    std::set<std::string> found;
  };
  const std::vector<Case> cases = {
      // Only names whose extension is exactly ".pf", with its case.
      {kScanPrefetch,
       {"Layout.ini", "APP-1.pf", "OTHER.PF", "x.pf.bak", "sub/deep.pf", "pf"},
       {"APP-1.pf", "sub/deep.pf"}},
      {kScanFlashCookies, {"a.sol", "b.SOL", "c.txt", "site/d.sol"}, {"a.sol", "site/d.sol"}},
      // Hidden files and folders are passed over, read-only files counted.
      {kScanTempFiles,
       {"a.tmp", ".hidden", ".hdir/inside", "ro.txt", "sub/g"},
       {"a.tmp", "ro.txt", "sub/g"}},
      {kScanInternetCache, {"c/1", "c/2", ".h/3"}, {"c/1", "c/2"}},
      {kScanRecentDocuments, {"doc.lnk", ".x"}, {"doc.lnk"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    test::Sandbox box;
    const std::string root = box.MakeDir("cat") + "/";
    for (const auto& f : c.files) box.MakeFile("cat/" + f, "12345");
    ::chmod(box.Path("cat/ro.txt").c_str(), 0444);
    TestCleaner cleaner;
    cleaner.folders[c.type] = root;
    std::vector<Event> events;
    Record(cleaner, events);
    EXPECT_EQ(cleaner.DoScan(c.type), kResultOk);
    EXPECT_EQ(FileNames(events, root), c.found);
    const auto n = static_cast<std::int32_t>(c.found.size());
    EXPECT_EQ(cleaner.ScanTotalFilesCount(), n);
    EXPECT_EQ(cleaner.ScanTotalFilesSize(), 5 * n);
    ASSERT_EQ(cleaner.ScanSimpleResultsCount(), 10);
    for (int i = 0; i < 10; ++i) {
      const TPGCScanSimpleResult* r = cleaner.ScanSimpleResults(i);
      EXPECT_EQ(r->ScanType, 1u << i);
      EXPECT_EQ(r->FilesCount, r->ScanType == c.type ? n : 0);
      EXPECT_EQ(r->FileSize, r->ScanType == c.type ? 5 * n : 0);
    }
    for (const auto& e : events) {
      if (e.type != kScanTypeDirectory) {
        EXPECT_EQ(e.type, c.type);
        EXPECT_EQ(e.size, 5u);
        EXPECT_TRUE(e.hasTime);
      }
    }
  }
}

// Every package cache that exists is walked; only packages (and their
// signatures) are offered, never the manager's indexes, locks or the
// downloads it has under way.
TEST(AppCleanerTest, PackageCachesOfferOnlyFinishedPackages) {
  test::Sandbox box;
  for (const char* f : {"apt/vim_9.0_amd64.deb", "apt/lock", "apt/partial/curl_8.0_amd64.deb",
                        "dnf/fedora-1a/packages/bash-5.2.x86_64.rpm", "dnf/fedora-1a/repodata/repomd.xml",
                        "dnf/fedora-1a/packages/zsh-5.9.x86_64.rpm.part", "dnf/metadata_lock.pid",
                        "pacman/linux-6.1-x86_64.pkg.tar.zst", "pacman/linux-6.1-x86_64.pkg.tar.zst.sig",
                        "pacman/download-Ab3/glibc-2.38-x86_64.pkg.tar.zst", "pacman/glibc.pkg.tar.zst.part",
                        "pacman/.pkg.tar.zst", "pacman/notes.pkg.tar.", "pacman/readme.deb.txt"}) {
    box.MakeFile(f);
  }
  TestCleaner cleaner;
  cleaner.packageCaches = {box.Path("apt"), box.Path("dnf/"), box.Path("missing/"), box.Path("pacman")};
  std::vector<Event> events;
  Record(cleaner, events);
  EXPECT_EQ(cleaner.DoScan(kScanUpdateDownloads), kResultOk);
  std::set<std::string> found;
  for (const Event& e : events) {
    if (e.type != kScanTypeDirectory) found.insert(e.name.substr(box.Root().size() + 1));
  }
  EXPECT_EQ(found, (std::set<std::string>{"apt/vim_9.0_amd64.deb", "dnf/fedora-1a/packages/bash-5.2.x86_64.rpm",
                                          "pacman/linux-6.1-x86_64.pkg.tar.zst",
                                          "pacman/linux-6.1-x86_64.pkg.tar.zst.sig"}));
  EXPECT_EQ(cleaner.ScanSimpleResults(6)->FilesCount, 4);
}

TEST(AppCleanerTest, DirectoryEventsComeBeforeTheirFilesAndNoneForTheRoot) {
  test::Sandbox box;
  box.MakeFile("t/top");
  box.MakeFile("t/a/a1");
  box.MakeFile("t/a/b/b1");
  box.MakeDir("t/empty");
  TestCleaner cleaner;
  const std::string root = box.Path("t/");
  cleaner.folders[kScanTempFiles] = root;
  std::vector<Event> events;
  Record(cleaner, events);
  cleaner.DoScan(kScanTempFiles);

  std::set<std::string> dirsSeen;
  for (const auto& e : events) {
    if (e.type == kScanTypeDirectory) {
      EXPECT_EQ(e.size, 0u);
      EXPECT_FALSE(e.hasTime);
      EXPECT_EQ(e.attributes, 0u);
      ASSERT_EQ(e.name.back(), '/');
      EXPECT_NE(e.name, root);
      dirsSeen.insert(e.name);
    } else {
      // The file's folder was announced before it (the root excepted).
      const std::string dir = e.name.substr(0, e.name.rfind('/') + 1);
      if (dir != root) {
        EXPECT_EQ(dirsSeen.count(dir), 1u) << e.name;
      }
    }
  }
  EXPECT_EQ(dirsSeen, (std::set<std::string>{root + "a/", root + "a/b/", root + "empty/"}));
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 3);
}

TEST(AppCleanerTest, ScanSetsWithoutFolders) {
  struct Case {
    TPGCScanTypes set;
    TPGCResult result;
  };
  // The empty set, the two categories that find nothing, the file-type
  // cleaner's bit, and a set whose last category is one that finds nothing.
  for (const Case c : {Case{0, kResultOk}, Case{kScanOfficeSetup | kScanMediaPlayerTemp, kResultFalse},
                       Case{kScanOtherFiles, kResultOk},
                       Case{kScanTempFiles | kScanMediaPlayerTemp, kResultFalse},
                       Case{kScanPrefetch | kScanDownloadedPrograms, kResultOk}}) {
    SCOPED_TRACE(c.set);
    test::Sandbox box;
    box.MakeFile("tmp/would-be-found");
    TestCleaner cleaner;
    if (c.set != kScanOtherFiles) cleaner.folders[kScanTempFiles] = box.Path("tmp/");
    int begins = 0, ends = 0;
    cleaner.SetOnBeginScan([&](TPGCBaseCleaner*) { ++begins; });
    cleaner.SetOnEndScan([&](TPGCBaseCleaner* s) {
      ++ends;
      EXPECT_EQ(s->ScanStatus(), vstScanFinished);
    });
    EXPECT_EQ(cleaner.DoScan(c.set), c.result);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(cleaner.ScanTypes(), c.set);
    EXPECT_EQ(cleaner.ScanSimpleResultsCount(), 10);
    EXPECT_EQ(cleaner.ScanTotalFilesCount(), (c.set & kScanTempFiles) ? 1 : 0);
    EXPECT_EQ(cleaner.ScanSimpleResults(10), nullptr);
    EXPECT_EQ(cleaner.ScanSimpleResults(-1), nullptr);
  }
}

TEST(AppCleanerTest, BeginEventSeesThePreviousScan) {
  test::Sandbox box;
  box.MakeFile("tmp/f");
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  EXPECT_EQ(cleaner.ScanSimpleResultsCount(), 0);
  cleaner.DoScan(kScanTempFiles);
  std::vector<std::int32_t> seen;
  cleaner.SetOnBeginScan([&](TPGCBaseCleaner* s) { seen.push_back(s->ScanTotalFilesCount()); });
  cleaner.DoScan(kScanTempFiles);
  EXPECT_EQ(seen, std::vector<std::int32_t>{1});
}

TEST(AppCleanerTest, HugeSparseFileCountsInFullButReportsItsLow32Bits) {
  test::Sandbox box;
  const std::string big = box.MakeFile("tmp/big.iso", "");
  constexpr std::uint64_t kSize = (5ull << 30) + 1234;
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(kSize)), 0);
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  std::vector<Event> events;
  Record(cleaner, events);
  cleaner.DoScan(kScanTempFiles);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].size, static_cast<std::uint32_t>(kSize));
  EXPECT_EQ(cleaner.ScanTotalFilesSize(), static_cast<std::int64_t>(kSize));
  EXPECT_EQ(cleaner.ScanSimpleResults(0)->FileSize, static_cast<std::int64_t>(kSize));
}

TEST(AppCleanerTest, CleanModeDeletesWhatItReportsButLeavesReadOnlyFiles) {
  test::Sandbox box;
  box.MakeFile("tmp/a", "aaaa");
  box.MakeFile("tmp/sub/b", "bb");
  box.MakeFile("tmp/.hidden", "h");
  const std::string ro = box.MakeFile("tmp/ro", "rrr");
  ::chmod(ro.c_str(), 0444);
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  cleaner.SetCleanTotalFilesCount(10);
  std::vector<Event> events;
  Record(cleaner, events);
  cleaner.DoNoGuard(kScanTempFiles);
  EXPECT_FALSE(cleaner.IsNoGuard());
  EXPECT_FALSE(Exists(box.Path("tmp/a")));
  EXPECT_FALSE(Exists(box.Path("tmp/sub/b")));
  EXPECT_TRUE(Exists(box.Path("tmp/sub")));  // folders are never deleted
  EXPECT_TRUE(Exists(ro));
  EXPECT_TRUE(Exists(box.Path("tmp/.hidden")));
  EXPECT_EQ(cleaner.CleanTotalFilesCount(), 12);
  EXPECT_EQ(cleaner.CleanTotalFilesSize(), 6);
  // The read-only file stays counted in the scan and its record.
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 3);
  EXPECT_EQ(cleaner.ScanSimpleResults(0)->FilesCount, 3);

  // A plain scan afterwards deletes nothing.
  box.MakeFile("tmp/c");
  cleaner.DoScan(kScanTempFiles);
  EXPECT_TRUE(Exists(box.Path("tmp/c")));
  EXPECT_EQ(cleaner.CleanTotalFilesCount(), 12);

  // A handler that stops the clean at a file keeps that file too.
  ::unlink(ro.c_str());
  std::string stoppedAt;
  Record(cleaner, events, [&](const Event& e) {
    if (e.type != kScanTypeDirectory && stoppedAt.empty()) {
      stoppedAt = e.name;
      cleaner.StopScan();
    }
  });
  cleaner.DoNoGuard(kScanTempFiles);
  EXPECT_EQ(stoppedAt, box.Path("tmp/c"));
  EXPECT_TRUE(Exists(stoppedAt));
  EXPECT_EQ(cleaner.CleanTotalFilesCount(), 12);
}

TEST(AppCleanerTest, StopsEndTheWalkAndSkipLaterCategories) {
  struct Case {
    const char* label;
    bool stopInDrain;     // from the message drain, else from an event
    bool stopInTrash;     // during the trash listing
  };
  for (const Case c : {Case{"stop from the drain in a walk", true, false},
                       Case{"stop from a file event", false, false},
                       Case{"stop during the trash listing", false, true}}) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    HookGuard guard;
    for (int i = 0; i < 20; ++i) box.MakeFile("tmp/d" + std::to_string(i % 3) + "/f" + std::to_string(i));
    box.MakeFile("cache/later");
    box.MakeFile("trash/files/old");
    TestCleaner cleaner;
    cleaner.folders[kScanTempFiles] = box.Path("tmp/");
    cleaner.folders[kScanRecentDocuments] = box.Path("cache/");
    cleaner.trashes = {box.Path("trash")};
    int drains = 0;
    std::vector<Event> events;
    const TPGCScanTypes set =
        c.stopInTrash ? (kScanRecycleBin | kScanRecentDocuments) : (kScanTempFiles | kScanRecentDocuments);
    platform::SetProcessMessagesHook([&] {
      ++drains;
      if (c.stopInDrain && drains == 5) cleaner.StopScan();
    });
    int files = 0;
    Record(cleaner, events, [&](const Event& e) {
      if (e.type != kScanTypeDirectory && ++files == 2 && !c.stopInDrain) cleaner.StopScan();
      if (c.stopInTrash && e.type == kScanRecycleBin) cleaner.StopScan();
    });
    cleaner.DoScan(set);
    EXPECT_TRUE(cleaner.ForceStop());
    EXPECT_EQ(cleaner.ScanStatus(), vstScanFinished);
    // Nothing of the later category, and the stopped walk ended at once.
    for (const auto& e : events) EXPECT_EQ(e.name.find("later"), std::string::npos);
    EXPECT_EQ(cleaner.ScanSimpleResults(3)->FilesCount, 0);
    if (c.stopInTrash) {
      EXPECT_EQ(cleaner.ScanTotalFilesCount(), 1);
    } else {
      EXPECT_LE(events.size(), 4u);
      EXPECT_LT(cleaner.ScanTotalFilesCount(), 20);
    }
  }
}

TEST(AppCleanerTest, MessagesAreDrainedBeforeEveryEntry) {
  test::Sandbox box;
  HookGuard guard;
  for (const char* f : {"tmp/1", "tmp/2", "tmp/.h", "tmp/d/3", "tmp/d/4"}) box.MakeFile(f);
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  int drains = 0;
  platform::SetProcessMessagesHook([&] { ++drains; });
  cleaner.DoScan(kScanTempFiles);
  // 1, 2, d, d/3, d/4: the hidden entry is not an entry of the walk.
  EXPECT_EQ(drains, 5);
}

TEST(AppCleanerTest, TrashItemsNeedAHandler) {
  test::Sandbox box;
  box.MakeFile("trash/files/report.txt", "123456");
  box.MakeFile("trash/info/report.txt.trashinfo", "[Trash Info]\nPath=/home/u/My%20Report.txt\n");
  box.MakeFile("trash/files/folder/a", "12");
  box.MakeFile("trash/files/folder/b", "345");
  TestCleaner cleaner;
  cleaner.trashes = {box.Path("trash")};
  cleaner.DoScan(kScanRecycleBin);
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 0);
  EXPECT_EQ(cleaner.ScanSimpleResults(2)->FilesCount, 0);

  std::vector<Event> events;
  Record(cleaner, events);
  cleaner.DoScan(kScanRecycleBin);
  std::map<std::string, std::uint32_t> sizes;
  for (const auto& e : events) {
    EXPECT_EQ(e.type, kScanRecycleBin);
    EXPECT_TRUE(e.hasTime);
    sizes[e.name] = e.size;
  }
  EXPECT_EQ(sizes, (std::map<std::string, std::uint32_t>{{"My Report.txt", 6}, {"folder", 5}}));
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 2);
  EXPECT_EQ(cleaner.ScanTotalFilesSize(), 11);
  EXPECT_EQ(cleaner.ScanSimpleResults(2)->FilesCount, 2);
  EXPECT_EQ(cleaner.ScanSimpleResults(2)->FileSize, 11);
  // Scanning never deletes from the trash, not even in clean mode.
  cleaner.DoNoGuard(kScanRecycleBin);
  EXPECT_TRUE(Exists(box.Path("trash/files/report.txt")));
}

TEST(AppCleanerTest, RoughModeCountsOnlyTheFirstTwoCategories) {
  test::Sandbox box;
  box.MakeFile("tmp/sub/a", "1234");
  box.MakeFile("cache/b", "12");
  box.MakeFile("recent/c");
  TestCleaner cleaner;
  cleaner.SetRough(true);
  cleaner.folders = {{kScanTempFiles, box.Path("tmp/")},
                     {kScanInternetCache, box.Path("cache/")},
                     {kScanRecentDocuments, box.Path("recent/")}};
  std::vector<Event> events;
  Record(cleaner, events);
  EXPECT_EQ(cleaner.DoNoGuard(kScanRecentDocuments), kResultOk);
  EXPECT_EQ(cleaner.ScanTypes(), kScanTempFiles | kScanInternetCache);
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 2);
  EXPECT_EQ(cleaner.ScanTotalFilesSize(), 6);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(cleaner.ScanSimpleResults(i)->FilesCount, 0);
  ASSERT_EQ(events.size(), 1u);  // the directory event only
  EXPECT_EQ(events[0].type, kScanTypeDirectory);
  EXPECT_TRUE(Exists(box.Path("tmp/sub/a")));
  EXPECT_EQ(cleaner.CleanTotalFilesCount(), 0);
}

TEST(AppCleanerTest, TemporaryFolderThatIsTheWorkingDirectoryFindsNothing) {
  test::Sandbox box;
  box.MakeFile("tmp/x");
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp");
  const fs::path before = fs::current_path();
  fs::current_path(box.Path("tmp"));
  cleaner.DoScan(kScanTempFiles);
  fs::current_path(before);
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 0);
}

TEST(AppCleanerTest, FilesVanishingDuringTheScanAreNotCounted) {
  test::Sandbox box;
  for (int i = 0; i < 5; ++i) box.MakeFile("tmp/f" + std::to_string(i));
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  std::vector<Event> events;
  Record(cleaner, events, [&](const Event& e) {
    for (int i = 0; i < 5; ++i) {
      const std::string p = box.Path("tmp/f" + std::to_string(i));
      if (p != e.name) ::unlink(p.c_str());
    }
  });
  cleaner.DoScan(kScanTempFiles);
  EXPECT_EQ(events.size(), 1u);
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 1);
}

TEST(AppCleanerTest, ReportedTargetsKeepALaterDeletionInsideTheScannedTree) {
  test::Sandbox box;
  box.MakeFile("tmp/keep/victim", "v");
  box.MakeFile("tmp/plain", "p");
  const std::string outside = box.MakeFile("outside/victim", "precious");
  TestCleaner cleaner;
  const std::string root = box.Path("tmp/");
  cleaner.folders[kScanTempFiles] = root;
  std::map<std::string, platform::DeleteTarget> targets;
  cleaner.SetOnScanning([&](TPGCScanTypes t, const std::string& name, std::uint32_t,
                            const platform::FileTime*, std::uint32_t) {
    platform::DeleteTarget target;
    if (t == kScanTypeDirectory) {
      EXPECT_FALSE(cleaner.ReportedTarget(target));
      return;
    }
    ASSERT_TRUE(cleaner.ReportedTarget(target));
    EXPECT_EQ(target.path, name);
    EXPECT_EQ(target.rootLength, root.size());
    EXPECT_TRUE(target.rootId.IsKnown());
    EXPECT_TRUE(target.fileId.IsKnown());
    targets[name] = target;
  });
  cleaner.DoScan(kScanTempFiles);
  EXPECT_EQ(cleaner.ReportedFile(), nullptr);
  ASSERT_EQ(targets.size(), 2u);

  // Between scan and clean, the folder is swapped for a link to the outside.
  fs::rename(box.Path("tmp/keep"), box.Path("keep-old"));
  box.MakeSymlink("tmp/keep", box.Path("outside"));
  EXPECT_EQ(platform::DeleteFileSafely(targets.at(root + "keep/victim")),
            platform::DeleteResult::PathChanged);
  EXPECT_EQ(platform::DeleteFileSafely(targets.at(root + "plain")), platform::DeleteResult::Deleted);
  EXPECT_TRUE(Exists(outside));
}

// What keeps the session running is never offered from the temporary
// folder or the cache (elsewhere the same names are ordinary files), and
// other users' files and folders from no category.
TEST(AppCleanerTest, SessionFilesAndOtherUsersFilesAreNeverOffered) {
  test::Sandbox box;
  for (const char* f : {"tmp/.X11-unix/X0", "tmp/.X0-lock", "tmp/xauth_XYZ", "tmp/krb5cc_1000",
                        "tmp/systemd-private-abc/tmp/f", "tmp/snap.lxd/x", "tmp/plain.tmp",
                        "tmp/sub/app.lock", "tmp/sub/app.pid", "tmp/sub/real.dat", "tmp/sub/xauth_copy",
                        "cache/doc/x", "cache/ibus/dict", "cache/mesa_shader_cache_db/x", "cache/app/c.dat",
                        "recent/app.lock"}) {
    box.MakeFile(f);
  }
  if (::geteuid() == 0) {
    for (const char* cat : {"tmp", "recent"}) {
      const std::string c = cat;
      ::chown(box.MakeFile(c + "/theirs.tmp").c_str(), 65534, 65534);
      ::chown(box.MakeDir(c + "/their-dir").c_str(), 65534, 65534);
      box.MakeFile(c + "/their-dir/inside.tmp");
    }
  }
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  cleaner.folders[kScanInternetCache] = box.Path("cache/");
  cleaner.folders[kScanRecentDocuments] = box.Path("recent/");
  std::vector<Event> events;
  Record(cleaner, events);
  cleaner.DoScan(kScanTempFiles | kScanInternetCache | kScanRecentDocuments);
  std::set<std::string> found;
  for (const Event& e : events) {
    if (e.type != kScanTypeDirectory) found.insert(e.name.substr(box.Root().size() + 1));
  }
  EXPECT_EQ(found, (std::set<std::string>{"tmp/plain.tmp", "tmp/sub/real.dat", "tmp/sub/xauth_copy",
                                          "cache/app/c.dat", "recent/app.lock"}));

  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  for (const Case& c : {Case{".X*-lock", ".X0-lock", true}, Case{"*.lock", "a.lock", true},
                        Case{"*.lock", "a.locked", false}, Case{"snap.*", "snap.lxd", true},
                        Case{"snap.*", "snap", false}, Case{"lock", "LOCK", false},
                        Case{".vbox-*-ipc", ".vbox-me-ipc", true}, Case{"*-lock", "-lock", true}}) {
    EXPECT_EQ(KeepPatternMatches(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
  }
}

// Readers read ahead only what the walk will enter: a kept session folder
// is never even opened, and (as root) another user's folder never listed.
TEST(AppCleanerTest, ReadersNeverReadFoldersTheWalkLeavesOut) {
  if (platform::posix::ReadAhead::ReaderCount() == 0) GTEST_SKIP() << "no readers: CTest runs this with PURGO_WALK_THREADS=4";
  test::Sandbox box;
  for (int i = 0; i < 3; ++i) box.MakeFile("tmp/d" + std::to_string(i) + "/sub/g");
  // Mostly folders to leave out: readers are offered those first.
  std::vector<std::string> kept = {"tmp/d0/sub/x.lock"}, theirs;
  for (int i = 0; i < 8; ++i) {
    kept.insert(kept.end(), {"tmp/systemd-private-" + std::to_string(i), "tmp/ssh-" + std::to_string(i)});
    if (::geteuid() == 0) theirs.push_back("tmp/theirs-" + std::to_string(i));
  }
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (const auto& [folders, events] : {std::pair{kept, std::uint32_t{IN_OPEN | IN_ACCESS}}, std::pair{theirs, std::uint32_t{IN_ACCESS}}}) {
    for (const std::string& f : folders) {
      box.MakeFile(f + "/sub/f");
      // Another user's folder may be opened to learn its owner, never listed.
      if (events == IN_ACCESS && ::chown(box.Path(f).c_str(), 65534, 65534) != 0) FAIL();
      ASSERT_GE(::inotify_add_watch(watch, box.Path(f).c_str(), events), 0);
      ASSERT_GE(::inotify_add_watch(watch, box.Path(f + "/sub").c_str(), events), 0);
    }
  }
  TestCleaner cleaner;
  cleaner.folders[kScanTempFiles] = box.Path("tmp/");
  for (int run = 0; run < 5; ++run) cleaner.DoScan(kScanTempFiles);
  platform::posix::ReadAhead::WaitForIdleReaders();
  char buffer[4096];
  EXPECT_EQ(::read(watch, buffer, sizeof buffer), -1) << "a folder the walk leaves out was read";
  ::close(watch);
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 3);
}

}  // namespace
}  // namespace purgo
