// SPDX-License-Identifier: GPL-3.0-or-later
// The file-type cleaner: its rule set, the ending match, the walk's rules
// on fixture trees, sorting, and deleting its items safely afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/PurgoCore.h"
#include "platform/FileDelete.h"
#include "platform/Hooks.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// Sets a file's access (and modification) time to `days` days ago.
void SetAgeInDays(const std::string& path, int days) {
  const std::time_t t = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
  struct timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::set<std::string> FoundNames(const TPGCExtCleaner& c) {
  std::set<std::string> out;
  for (int i = 0; i < c.ScanFileItemsCount(); ++i) out.insert(c.ScanFileItems(i)->FullFileName());
  return out;
}

void Configure(TPGCExtCleaner& c, const std::vector<std::pair<std::string, bool>>& dirs,
               const std::vector<std::string>& exts, std::uint32_t attr = 31) {
  TPGCExtScanOption& o = *c.ScanOptions();
  o.SetFileAttribute(attr);
  o.ClearDirs();
  for (const auto& [d, sub] : dirs) o.AddDir(d, sub);
  o.ClearExts();
  for (const auto& e : exts) o.AddExt(e);
}

struct HookGuard {
  ~HookGuard() { platform::SetProcessMessagesHook(nullptr); }
};

TEST(ExtScanOptionTest, ListsTrimDeduplicateAndClampIndexes) {
  TPGCExtScanOption o;
  EXPECT_EQ(o.FileAttribute(), 0xFFFCu);
  EXPECT_EQ(o.AddDir("   ", true), -1);
  EXPECT_EQ(o.AddDir("  /data/Tmp ", false), 0);
  EXPECT_EQ(o.AddDir("/data/Tmp", true), 0);
  EXPECT_EQ(o.Dirs(0), "/data/Tmp");
  EXPECT_TRUE(o.IncludeSubDirs(0));
  EXPECT_EQ(o.AddDir("/DATA/tmp", true), 1);  // another folder on Linux
  EXPECT_EQ(o.AddDir("/data/Tmp/", false), 2);  // a trailing delimiter makes another entry
  EXPECT_EQ(o.DirsCount(), 3);
  EXPECT_EQ(o.Dirs(3), "");
  EXPECT_FALSE(o.IncludeSubDirs(-1));
  EXPECT_TRUE(o.DeleteDir(0));
  EXPECT_EQ(o.Dirs(0), "/DATA/tmp");

  EXPECT_EQ(o.AddExt(" .tmp "), 0);
  EXPECT_EQ(o.AddExt(".TMP"), 0);
  EXPECT_EQ(o.AddExt(""), -1);
  EXPECT_EQ(o.AddExt(".bak"), 1);
  EXPECT_FALSE(o.DeleteExt(-1));
  EXPECT_FALSE(o.DeleteExt(2));
  EXPECT_EQ(o.ExtsCount(), 2);
  EXPECT_EQ(o.Exts(0), ".tmp");

  o.SetFileAttribute(0);
  EXPECT_EQ(o.FileAttribute(), 31u);
  o.SetFileAttribute(6);
  EXPECT_EQ(o.FileAttribute(), 6u);
  o.SetIgnoreOutofDays(9);
  EXPECT_EQ(o.IgnoreOutofDays(), 9);
}

TEST(ExtCleanerTest, EndingsMatchLiterallyIgnoringAsciiCase) {
  struct Case {
    const char* ending;
    std::vector<const char*> matches, misses;
  };
  const std::vector<Case> cases = {
      {".tmp", {"a.tmp", "A.TMP", "x.y.tmp", "/dir/a.Tmp"}, {"a.tmp1", "tmp", "/x.tmp/a"}},
      {"1", {"setup.1", "file1"}, {"file1.txt"}},
      {"thumbs.db", {"Thumbs.db", "oldthumbs.db"}, {"thumbs.db.bak"}},
      {"log.txt", {"log.txt", "changelog.txt"}, {"log.txt.old"}},
      {".log?", {"a.log?"}, {"a.log1", "a.log"}},
      {".~*", {"x.~*"}, {"x.~tmp", "x.~"}},
      {" .bak ", {"a.bak"}, {"a.bak "}},
      {"", {}, {"a", ""}},
      {".é", {"x.é"}, {"x.É"}},  // only ASCII letters fold
  };
  for (const Case& c : cases) {
    for (const char* n : c.matches) EXPECT_TRUE(TPGCExtCleaner::MatchExt(n, c.ending)) << n << " " << c.ending;
    for (const char* n : c.misses) EXPECT_FALSE(TPGCExtCleaner::MatchExt(n, c.ending)) << n << " " << c.ending;
  }
}

TEST(ExtCleanerTest, FolderReachedTwiceIsWalkedOnce) {
  struct Case {
    const char* label;
    std::vector<std::pair<std::string, bool>> dirs;  // relative to the sandbox
    std::set<std::string> found;
    int pathItems;
  };
  const std::vector<Case> cases = {
      {"with and without a trailing delimiter", {{"t", true}, {"t/", true}},
       {"t/a.tmp", "t/s/b.tmp", "t/s/u/c.tmp"}, 3},
      // The sub-folder keeps the walk it had first: without its own sub-folders.
      {"sub-folder first, then its parent", {{"t/s", false}, {"t", true}},
       {"t/a.tmp", "t/s/b.tmp"}, 2},
      {"parent first, then a sub-folder", {{"t", true}, {"t/s/", true}},
       {"t/a.tmp", "t/s/b.tmp", "t/s/u/c.tmp"}, 3},
      {"and once more through a link", {{"t", true}, {"link-to-s", true}},
       {"t/a.tmp", "t/s/b.tmp", "t/s/u/c.tmp"}, 3},
      {"a folder that does not exist still gets its item", {{"missing", true}, {"t", false}},
       {"t/a.tmp"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    box.MakeFile("t/a.tmp");
    box.MakeFile("t/s/b.tmp");
    box.MakeFile("t/s/u/c.tmp");
    box.MakeSymlink("link-to-s", box.Path("t/s"));
    TPGCExtCleaner cleaner;
    std::vector<std::pair<std::string, bool>> dirs;
    for (const auto& [d, sub] : c.dirs) dirs.emplace_back(box.Path(d), sub);
    Configure(cleaner, dirs, {".tmp"});
    EXPECT_EQ(cleaner.DoScan(0), kResultOk);
    std::set<std::string> expected;
    for (const auto& f : c.found) expected.insert(box.Path(f));
    EXPECT_EQ(FoundNames(cleaner), expected);
    EXPECT_EQ(cleaner.ScanPathItemsCount(), c.pathItems);
    EXPECT_EQ(cleaner.ScanTotalFilesCount(), static_cast<int>(expected.size()));
    for (int i = 0; i < cleaner.ScanPathItemsCount(); ++i) {
      EXPECT_EQ(cleaner.ScanPathItems(i)->ID(), static_cast<std::uint32_t>(i + 1));
    }
    EXPECT_EQ(cleaner.ScanPathItems(0)->Path(), dirs[0].first);  // as stored
  }
}

// Linux names are bytes: folders whose names differ only in letter case
// are different folders, and each is walked, as a sub-folder or given.
// The visited set across its growth: identities that differ in one half
// only, or that collide in the low bits, are each kept once.
TEST(ExtCleanerTest, VisitedSetKeepsEveryIdentityOnce) {
  TFileIdSet set;
  std::vector<platform::FileId> ids;
  for (std::uint64_t i = 1; i <= 3000; ++i) {
    ids.push_back({1, i});           // one device, many inodes
    if (i > 1) ids.push_back({i, 1});  // the same numbers the other way round
    ids.push_back({7, i << 20});     // equal low bits
  }
  for (int round = 0; round < 2; ++round) {
    for (const platform::FileId& id : ids) {
      EXPECT_EQ(set.Insert(id), round == 0) << id.device << ":" << id.inode;
    }
  }
  EXPECT_FALSE(set.Insert({}));
  set.Clear();
  EXPECT_TRUE(set.Insert(ids.front()));
}

TEST(ExtCleanerTest, FoldersDifferingInLetterCaseAreEachWalked) {
  test::Sandbox box;
  box.MakeFile("c/cache/a.tmp");
  box.MakeFile("c/Cache/b.tmp");
  box.MakeFile("c/CACHE/deep/c.tmp");
  const std::set<std::string> all = {box.Path("c/cache/a.tmp"), box.Path("c/Cache/b.tmp"),
                                     box.Path("c/CACHE/deep/c.tmp")};
  for (const auto& dirs : std::vector<std::vector<std::pair<std::string, bool>>>{
           {{box.Path("c"), true}},
           {{box.Path("c/cache"), true}, {box.Path("c/Cache"), true}, {box.Path("c/CACHE"), true}}}) {
    TPGCExtCleaner cleaner;
    Configure(cleaner, dirs, {".tmp"});
    cleaner.DoScan(0);
    EXPECT_EQ(FoundNames(cleaner), all);
  }
}

TEST(ExtCleanerTest, FirstMatchingEndingWinsAndTheItemIsFilledIn) {
  for (const bool longFirst : {false, true}) {
    test::Sandbox box;
    const std::string f = box.MakeFile("d/setup.log.tmp", "12345");
    TPGCExtCleaner cleaner;
    const std::vector<std::string> exts =
        longFirst ? std::vector<std::string>{".log.TMP", ".tmp"} : std::vector<std::string>{".tmp", ".log.TMP"};
    Configure(cleaner, {{box.Path("d"), true}}, exts);
    std::vector<TPGCExtCleanerScanFileItem*> reported;
    cleaner.SetOnScanning([&](TPGCExtCleanerScanFileItem* item) { reported.push_back(item); });
    cleaner.DoScan(0);
    ASSERT_EQ(cleaner.ScanFileItemsCount(), 1);
    TPGCExtCleanerScanFileItem* item = cleaner.ScanFileItems(0);
    EXPECT_EQ(reported, std::vector<TPGCExtCleanerScanFileItem*>{item});
    EXPECT_EQ(item->Ext(), exts[0]);
    EXPECT_EQ(item->FileName(), "setup.log.tmp");
    EXPECT_EQ(item->Path(), box.Path("d"));
    EXPECT_EQ(item->FullFileName(), f);
    EXPECT_EQ(item->FileSize(), 5u);
    EXPECT_EQ(item->FileAttribute(), platform::kAttrArchive);
    EXPECT_FALSE(item->ModifiedTime().IsZero());
    EXPECT_FALSE(item->CreatedTime().IsZero());
    EXPECT_EQ(cleaner.ScanTotalFilesSize(), 5);
  }
}

TEST(ExtCleanerTest, AgeLimitAndAttributeMask) {
  struct Case {
    const char* label;
    std::int32_t inDays;
    std::uint32_t attr;
    std::set<std::string> found;
  };
  const std::vector<Case> cases = {
      {"no limit, hidden admitted", 0, 31, {"new.tmp", "old.tmp", ".hid.tmp", ".hdir/in.tmp"}},
      {"limit 1 passes over today's files", 1, 31, {"old.tmp"}},
      {"limit 4 passes over a 3-day-old file", 4, 31, {}},
      {"without hidden and system bits", 0, 0x1 | 0x20 | 0x80, {"new.tmp", "old.tmp"}},
      {"system bit alone admits no hidden entry", 0, 0x4, {"new.tmp", "old.tmp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    box.MakeFile("d/new.tmp");
    SetAgeInDays(box.MakeFile("d/old.tmp"), 3);
    box.MakeFile("d/.hid.tmp");
    box.MakeFile("d/.hdir/in.tmp");
    TPGCExtCleaner cleaner;
    Configure(cleaner, {{box.Path("d"), true}}, {".tmp"}, c.attr);
    cleaner.ScanOptions()->SetIgnoreInDays(c.inDays);
    cleaner.DoScan(0);
    std::set<std::string> expected;
    for (const auto& f : c.found) expected.insert(box.Path("d/" + f));
    EXPECT_EQ(FoundNames(cleaner), expected);
    // The walk keeps the widened mask in the options.
    EXPECT_EQ(cleaner.ScanOptions()->FileAttribute(), c.attr | 0x110);
  }
}

TEST(ExtCleanerTest, DrainsEvery31stEntryAndStopsEnteringFolders) {
  test::Sandbox box;
  HookGuard guard;
  for (int i = 0; i < 100; ++i) box.MakeFile("d/f" + std::to_string(i) + ".txt");
  TPGCExtCleaner cleaner;
  Configure(cleaner, {{box.Path("d"), true}}, {".tmp"});
  int drains = 0;
  platform::SetProcessMessagesHook([&] { ++drains; });
  cleaner.DoScan(0);
  EXPECT_EQ(drains, 3);  // entries 31, 62 and 93

  // A stop keeps collecting the current listing but enters no folder.
  for (int i = 0; i < 5; ++i) box.MakeFile("s/f" + std::to_string(i) + ".tmp");
  box.MakeFile("s/sub/x.tmp");
  box.MakeFile("s2/y.tmp");
  Configure(cleaner, {{box.Path("s"), true}, {box.Path("s2"), true}}, {".tmp"});
  cleaner.SetOnScanning([&](TPGCExtCleanerScanFileItem*) { cleaner.StopScan(); });
  cleaner.DoScan(0);
  const std::set<std::string> found = FoundNames(cleaner);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(found.count(box.Path("s/f" + std::to_string(i) + ".tmp")), 1u);
  EXPECT_EQ(found.count(box.Path("s2/y.tmp")), 0u);
  // The sub-folder was entered only when it came before the first find.
  EXPECT_LE(found.size(), 6u);
}

TEST(ExtCleanerTest, SortsInBothDirections) {
  test::Sandbox box;
  TPGCExtCleaner cleaner;
  const std::vector<std::pair<std::string, std::uint32_t>> files = {
      {"b.tmp", 0x20}, {"A.bak", 0x21}, {"c.old", 0x22}};
  for (const auto& f : files) box.MakeFile("d/" + f.first);
  Configure(cleaner, {{box.Path("d"), false}}, {".tmp", ".bak", ".old"});
  cleaner.DoScan(0);
  ASSERT_EQ(cleaner.ScanFileItemsCount(), 3);
  // Distinct attributes and times per file, set on the items.
  for (int i = 0; i < 3; ++i) {
    TPGCExtCleanerScanFileItem* item = cleaner.ScanFileItems(i);
    for (std::size_t k = 0; k < files.size(); ++k) {
      if (item->FileName() != files[k].first) continue;
      item->SetFileAttribute(files[k].second);
      item->SetCreatedTime(platform::FileTime::FromValue(100 + k));
      item->SetModifiedTime(platform::FileTime::FromValue(1000 - k + (1ull << 40)));
    }
  }
  auto names = [&] {
    std::string s;
    for (int i = 0; i < cleaner.ScanFileItemsCount(); ++i) s += cleaner.ScanFileItems(i)->FileName() + " ";
    return s;
  };
  struct Case {
    void (TPGCExtCleaner::*sort)();
    TQelSortDirection direction;
    const char* order;
  };
  for (const Case c : {Case{&TPGCExtCleaner::SortByFileName, vsdINC, "c.old b.tmp A.bak "},
                       Case{&TPGCExtCleaner::SortByFileName, vsdDEC, "A.bak b.tmp c.old "},
                       Case{&TPGCExtCleaner::SortByExt, vsdINC, "b.tmp c.old A.bak "},
                       Case{&TPGCExtCleaner::SortByExt, vsdDEC, "A.bak c.old b.tmp "},
                       Case{&TPGCExtCleaner::SortByFileAttribute, vsdINC, "c.old A.bak b.tmp "},
                       Case{&TPGCExtCleaner::SortByFileAttribute, vsdDEC, "b.tmp A.bak c.old "},
                       Case{&TPGCExtCleaner::SortByCreatedTime, vsdINC, "b.tmp A.bak c.old "},
                       Case{&TPGCExtCleaner::SortByCreatedTime, vsdDEC, "c.old A.bak b.tmp "},
                       Case{&TPGCExtCleaner::SortByModifiedTime, vsdINC, "c.old A.bak b.tmp "},
                       Case{&TPGCExtCleaner::SortByModifiedTime, vsdDEC, "b.tmp A.bak c.old "}}) {
    cleaner.SetSorted(false);
    cleaner.SetSortDirection(c.direction);
    (cleaner.*c.sort)();
    EXPECT_EQ(names(), c.order);
  }

  // With Sorted on, changing the type or the direction re-sorts at once.
  cleaner.SetSortType(stFileName);
  cleaner.SetSortDirection(vsdINC);
  cleaner.SetSorted(true);
  EXPECT_EQ(names(), "c.old b.tmp A.bak ");
  cleaner.SetSortDirection(vsdDEC);
  EXPECT_EQ(names(), "A.bak b.tmp c.old ");
  cleaner.SetSortType(stCreatedTime);
  EXPECT_EQ(names(), "c.old A.bak b.tmp ");
  cleaner.SetSorted(false);
  cleaner.SetSortType(stFileName);
  EXPECT_EQ(names(), "c.old A.bak b.tmp ");
}

TEST(ExtCleanerTest, ItemRemovalLeavesPathItemsAndTotals) {
  test::Sandbox box;
  box.MakeFile("d/a.tmp");
  box.MakeFile("d/b.tmp");
  TPGCExtCleaner cleaner;
  Configure(cleaner, {{box.Path("d"), true}}, {".tmp"});
  cleaner.DoScan(0);
  ASSERT_EQ(cleaner.ScanFileItemsCount(), 2);
  TPGCExtCleanerScanFileItem stranger(cleaner.ScanPathItems(0));
  EXPECT_FALSE(cleaner.DeleteScanItem(&stranger));
  EXPECT_FALSE(cleaner.DeleteScanItem(nullptr));
  EXPECT_TRUE(cleaner.DeleteScanItem(cleaner.ScanFileItems(1)));
  EXPECT_EQ(cleaner.ScanFileItemsCount(), 1);
  cleaner.ClearScanItem();
  EXPECT_EQ(cleaner.ScanFileItemsCount(), 0);
  EXPECT_EQ(cleaner.ScanFileItems(0), nullptr);
  EXPECT_EQ(cleaner.ScanPathItemsCount(), 1);
  EXPECT_EQ(cleaner.ScanTotalFilesCount(), 2);
  EXPECT_TRUE(Exists(box.Path("d/a.tmp")));
  EXPECT_TRUE(Exists(box.Path("d/b.tmp")));
  EXPECT_EQ(TPGCExtCleanerScanFileItem(nullptr).Path(), "");
}

TEST(ExtCleanerTest, LinksAreFilesAndOddNamesKeepTheirBytes) {
  test::Sandbox box;
  box.MakeFile("outside/secret.tmp", "keep");
  box.MakeSymlink("d/loop.tmp", box.Path("d"));
  box.MakeSymlink("d/out", box.Path("outside"));
  const std::string odd = box.Path("d/bad\xff\xfe.TMP");
  box.MakeFile("d/bad\xff\xfe.TMP", "odd");
  TPGCExtCleaner cleaner;
  Configure(cleaner, {{box.Path("d"), true}}, {".tmp"});
  cleaner.DoScan(0);
  EXPECT_EQ(FoundNames(cleaner), (std::set<std::string>{box.Path("d/loop.tmp"), odd}));
  EXPECT_EQ(cleaner.ScanPathItemsCount(), 1);
  for (int i = 0; i < cleaner.ScanFileItemsCount(); ++i) {
    EXPECT_EQ(platform::DeleteFileSafely(cleaner.ScanFileItems(i)->Target()),
              platform::DeleteResult::Deleted);
  }
  EXPECT_FALSE(Exists(odd));
  EXPECT_FALSE(Exists(box.Path("d/loop.tmp")));
  EXPECT_TRUE(Exists(box.Path("d")));
  EXPECT_TRUE(Exists(box.Path("outside/secret.tmp")));
}

TEST(ExtCleanerTest, FolderSwappedForALinkAfterTheScanDeletesNothingOutside) {
  test::Sandbox box;
  box.MakeFile("tree/a/victim.tmp", "in");
  box.MakeFile("tree/b/other.tmp", "in");
  const std::string outsideFile = box.MakeFile("outside/victim.tmp", "precious");
  TPGCExtCleaner cleaner;
  Configure(cleaner, {{box.Path("tree"), true}}, {".tmp"});
  cleaner.DoScan(0);
  ASSERT_EQ(cleaner.ScanFileItemsCount(), 2);

  fs::rename(box.Path("tree/a"), box.Path("a-moved"));
  box.MakeSymlink("tree/a", box.Path("outside"));
  // As purgo-bench ext-clean deletes: one deleter for the whole pass.
  platform::SafeDeleter deleter;
  int deleted = 0;
  for (int i = 0; i < cleaner.ScanFileItemsCount(); ++i) {
    const platform::DeleteTarget t = cleaner.ScanFileItems(i)->Target();
    EXPECT_EQ(t.rootLength, box.Path("tree/").size());
    if (deleter.Delete(t) == platform::DeleteResult::Deleted) ++deleted;
  }
  EXPECT_EQ(deleted, 1);
  EXPECT_TRUE(Exists(outsideFile));
  EXPECT_TRUE(Exists(box.Path("a-moved/victim.tmp")));
  EXPECT_FALSE(Exists(box.Path("tree/b/other.tmp")));
}

TEST(ExtCleanerTest, VeryDeepTreeIsWalked) {
  test::Sandbox box;
  const std::string base = box.MakeDir("deep");
  constexpr int kLevels = 3000;
  // Built through descriptors: the full path is far beyond PATH_MAX.
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  ::close(::openat(fd, "bottom.tmp", O_CREAT | O_WRONLY, 0644));
  ::close(fd);
  TPGCExtCleaner cleaner;
  Configure(cleaner, {{base, true}}, {".tmp"});
  cleaner.DoScan(0);
  ASSERT_EQ(cleaner.ScanFileItemsCount(), 1);
  EXPECT_EQ(cleaner.ScanPathItemsCount(), kLevels + 1);
  EXPECT_EQ(cleaner.ScanFileItems(0)->FullFileName().size(), base.size() + 2 * kLevels + 11);
  // Deep paths are removed bottom-up through descriptors too.
  fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  std::vector<int> fds{fd};
  for (int i = 0; i < kLevels; ++i) fds.push_back(::openat(fds.back(), "d", O_RDONLY | O_DIRECTORY));
  ::unlinkat(fds.back(), "bottom.tmp", 0);
  for (int i = kLevels; i > 0; --i) {
    ::close(fds[static_cast<std::size_t>(i)]);
    ::unlinkat(fds[static_cast<std::size_t>(i - 1)], "d", AT_REMOVEDIR);
  }
  ::close(fds[0]);
}

}  // namespace
}  // namespace purgo

namespace purgo {
namespace {

// A scan that hands its items out without keeping them reports the same
// files, with the same paths and deletion targets, as one that keeps
// them: folders nested deeply, siblings walked after a deep branch, and
// top-level folders that hold one another (each folder walked once).
TEST(ExtCleanerTest, StreamingScanReportsWhatAKeepingScanKeeps) {
  test::Sandbox box;
  for (const char* f : {"a/1.tmp", "a/b/c/d/2.tmp", "a/b/c/3.tmp", "a/b/x.txt", "a/e/4.tmp",
                        "a/e/f/5.tmp", "a/g/6.tmp", "h/7.tmp", "h/i/8.tmp"}) {
    box.MakeFile(f);
  }
  const std::vector<std::vector<std::pair<std::string, bool>>> layouts = {
      {{box.Path("a"), true}},
      {{box.Path("a/b"), true}, {box.Path("a"), true}, {box.Path("h"), true}},
      {{box.Path("a"), true}, {box.Path("a/e"), true}, {box.Path("a"), false}},
  };
  for (const auto& dirs : layouts) {
    SCOPED_TRACE(dirs.size());
    std::vector<std::string> seen[2];
    std::vector<platform::FileId> ids[2];
    for (const bool keep : {true, false}) {
      TPGCExtCleaner c;
      Configure(c, dirs, {".tmp"});
      c.SetKeepItems(keep);
      c.SetOnScanning([&](TPGCExtCleanerScanFileItem* item) {
        const platform::DeleteTarget t = item->Target();
        seen[keep].push_back(t.path + "|" + std::to_string(t.rootLength));
        ids[keep].push_back(t.fileId);
      });
      c.DoScan(kScanOtherFiles);
      EXPECT_EQ(c.ScanFileItemsCount(), keep ? static_cast<int>(seen[keep].size()) : 0);
      if (!keep) {
        // Every folder's item was let go once its walk was done.
        for (int i = 0; i < c.ScanPathItemsCount(); ++i) EXPECT_EQ(c.ScanPathItems(i), nullptr);
      }
    }
    EXPECT_EQ(seen[false], seen[true]);
    EXPECT_EQ(ids[false], ids[true]);
    EXPECT_EQ(std::set<std::string>(seen[true].begin(), seen[true].end()).size(), seen[true].size());
  }
}

}  // namespace
}  // namespace purgo
