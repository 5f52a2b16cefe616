// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop Trash: which trash directories are used, listing their
// items with original names and sizes, and deleting the items listed
// without touching anything outside or anything trashed since.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/FileDelete.h"
#include "platform/Trash.h"
#include "tests/Sandbox.h"

namespace purgo::platform {
namespace {

bool Exists(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

std::string Info(const std::string& path) {
  return "[Trash Info]\nPath=" + path + "\nDeletionDate=2024-01-02T03:04:05\n";
}

TEST(TrashTest, ParsesTrashInfo) {
  struct Case {
    const char* text;
    std::optional<std::string> path;
  };
  const std::vector<Case> cases = {
      {"[Trash Info]\nPath=/home/u/a%20b.txt\nDeletionDate=2024-01-01T00:00:00\n", "/home/u/a b.txt"},
      {"[Trash Info]\r\nDeletionDate=x\r\nPath=rel/x%2Fy\r\n", "rel/x/y"},
      {"# comment\n\n[Trash Info]\nPath = /spaced \n", "/spaced"},
      {"[Trash Info]\nPath=/%e4%b8%ad\n", "/\xe4\xb8\xad"},
      {"[Trash Info]\nPath=/bytes%FF\n", "/bytes\xff"},
      {"[Trash Info]\nPath=/a\nPath=/b\n", "/a"},
      {"", std::nullopt},
      {"Path=/no/group\n", std::nullopt},
      {"[Other]\nPath=/x\n", std::nullopt},
      {"[Trash Info]\nDeletionDate=x\n", std::nullopt},
      {"[Trash Info]\n[Other]\nPath=/x\n", std::nullopt},
      {"[Trash Info]\nPath=/bad%2\n", std::nullopt},
      {"[Trash Info]\nPath=/bad%zz\n", std::nullopt},
      {"[Trash Info]\nPath=/nul%00x\n", std::nullopt},
      {"[Trash Info]\nPath=\n", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseTrashInfo(c.text), c.path) << c.text;
}

TEST(TrashTest, ListsItemsOfEveryTrashWithTheirNamesAndSizes) {
  test::Sandbox box;
  const std::string home = box.Path("home/.local/share/Trash");
  box.MakeFile("home/.local/share/Trash/files/report.2", "123456");
  box.MakeFile("home/.local/share/Trash/info/report.2.trashinfo", Info("/home/u/Report%20(final).txt"));
  box.MakeFile("home/.local/share/Trash/files/dir/a", "12");
  box.MakeFile("home/.local/share/Trash/files/dir/sub/.b", "345");
  box.MakeSymlink("home/.local/share/Trash/files/dir/link", "/etc/passwd");
  box.MakeFile("home/.local/share/Trash/info/dir.trashinfo", Info("relative/dir"));
  box.MakeFile("home/.local/share/Trash/files/no-info", "x");
  box.MakeFile("home/.local/share/Trash/files/broken", "xy");
  box.MakeFile("home/.local/share/Trash/info/broken.trashinfo", "garbage\n");
  box.MakeFile("home/.local/share/Trash/files/.hidden", "h");
  const std::string second = box.Path("volume/.Trash-" + std::to_string(::getuid()));
  box.MakeFile("volume/.Trash-" + std::to_string(::getuid()) + "/files/usb.txt", "1234");
  box.MakeFile("volume/.Trash-" + std::to_string(::getuid()) + "/info/usb.txt.trashinfo",
               Info("/media/usb/Stick%25.txt"));

  EXPECT_EQ(TrashDirectories().front(), home + "/");
  const std::vector<TrashItem> items = ListTrash({home, second, box.Path("nothing-here")});
  std::map<std::string, std::pair<std::string, std::uint64_t>> byEntry;
  for (const TrashItem& i : items) {
    byEntry[i.entryName] = {i.displayName, i.data.size};
    EXPECT_FALSE(i.data.lastAccessTime.IsZero());
  }
  const std::uint64_t linkSize = std::string("/etc/passwd").size();
  EXPECT_EQ(byEntry, (std::map<std::string, std::pair<std::string, std::uint64_t>>{
                         {"report.2", {"Report (final).txt", 6}},
                         {"dir", {"dir", 5 + linkSize}},
                         {"no-info", {"no-info", 1}},
                         {"broken", {"broken", 2}},
                         {".hidden", {".hidden", 1}},
                         {"usb.txt", {"Stick%.txt", 4}}}));
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items.back().trashDir, second + "/");
  EXPECT_EQ(items.back().originalPath, "/media/usb/Stick%.txt");
  for (const TrashItem& i : items) {
    if (i.entryName == "dir") {
      EXPECT_NE(i.data.attributes & kAttrDirectory, 0u);
    }
    if (i.entryName == ".hidden") {
      EXPECT_NE(i.data.attributes & kAttrHidden, 0u);
    }
  }
}

// Every outcome of a pass, deleted or not.
std::vector<bool> Deleted(const std::vector<TrashOutcome>& outcomes) {
  std::vector<bool> out;
  for (const TrashOutcome& o : outcomes) out.push_back(o.deleted);
  return out;
}

TEST(TrashTest, EmptyingDeletesLinksAsLinksAndEveryListedItem) {
  test::Sandbox box;
  const std::string trash = box.Path("trash");
  const std::string precious = box.MakeFile("outside/precious", "keep");
  box.MakeFile("outside/dir/also-precious", "keep");
  box.MakeSymlink("trash/files/link-to-dir", box.Path("outside/dir"));
  box.MakeSymlink("trash/files/link-to-file", precious);
  box.MakeFile("trash/info/link-to-dir.trashinfo", Info("/x/link-to-dir"));
  box.MakeFile("trash/files/tree/ro-file", "r");
  ::chmod(box.Path("trash/files/tree/ro-file").c_str(), 0444);
  box.MakeFile("trash/files/tree/locked/inner", "i");
  ::chmod(box.Path("trash/files/tree/locked").c_str(), 0555);
  box.MakeSymlink("trash/files/tree/inner-link", box.Path("outside"));
  box.MakeFile("trash/files/.hidden");
  box.MakeFile("trash/info/tree.trashinfo", Info("/x/tree"));
  box.MakeFile("trash/info/orphan.trashinfo", Info("/x/orphan"));
  box.MakeFile("trash/info/unrelated.txt");
  box.MakeFile("trash/directorysizes", "5 123 tree\n");
  // The home trash, which its owner may have made a link to another disk.
  const std::string second = box.Path("second");
  box.MakeFile("second/files/f");
  const std::string home = box.MakeSymlink("home/.local/share/Trash", second);

  const std::vector<TrashItem> items = ListTrash({trash, home, box.Path("no-such-trash")});
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(Deleted(EmptyTrashItems(items)), std::vector<bool>(5, true));
  EXPECT_TRUE(ListTrash({trash, home}).empty());
  EXPECT_TRUE(Exists(box.Path("trash/files")));
  EXPECT_FALSE(Exists(box.Path("trash/info/tree.trashinfo")));
  EXPECT_FALSE(Exists(box.Path("trash/info/link-to-dir.trashinfo")));
  // Never listed: an info without its item may be one being trashed now.
  EXPECT_TRUE(Exists(box.Path("trash/info/orphan.trashinfo")));
  EXPECT_TRUE(Exists(box.Path("trash/info/unrelated.txt")));
  EXPECT_FALSE(Exists(box.Path("trash/directorysizes")));
  EXPECT_FALSE(Exists(box.Path("second/files/f")));
  EXPECT_TRUE(Exists(precious));
  EXPECT_TRUE(Exists(box.Path("outside/dir/also-precious")));
  // Listed items already gone are not reported as deleted by this pass.
  for (const TrashOutcome& o : EmptyTrashItems(items)) {
    EXPECT_FALSE(o.deleted);
    EXPECT_EQ(o.refusal, DeleteResult::NotFound);
  }
}

TEST(TrashTest, FilesFolderThatIsALinkIsNeverFollowed) {
  test::Sandbox box;
  const std::string precious = box.MakeFile("outside/precious", "keep");
  box.MakeFile("trash/files/precious", "listed");
  const std::vector<TrashItem> items = ListTrash({box.Path("trash")});
  ASSERT_EQ(items.size(), 1u);
  std::rename(box.Path("trash/files").c_str(), box.Path("trash/files-moved").c_str());
  box.MakeSymlink("trash/files", box.Path("outside"));
  EXPECT_TRUE(ListTrash({box.Path("trash")}).empty());
  EXPECT_FALSE(EmptyTrashItems(items).front().deleted);
  EXPECT_TRUE(Exists(precious));
}

TEST(TrashTest, TopDirectoryTrashesFollowTheStickyAndLinkRules) {
  const std::string uid = std::to_string(::getuid());
  struct Case {
    const char* label;
    bool sharedSticky, sharedIsLink, ownIsLink;
    std::vector<std::string> expected;  // relative to the top
  };
  const std::vector<Case> cases = {
      {"sticky shared trash and own trash", true, false, false, {".Trash/" + uid + "/", ".Trash-" + uid + "/"}},
      {"shared trash without the sticky bit is not used", false, false, false, {".Trash-" + uid + "/"}},
      {"shared trash that is a link is not used", true, true, false, {".Trash-" + uid + "/"}},
      {"own trash that is a link is not used", true, false, true, {".Trash/" + uid + "/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    const std::string top = box.MakeDir("top");
    const std::string real = box.MakeDir(c.sharedIsLink ? "elsewhere" : "top/.Trash");
    box.MakeDir((c.sharedIsLink ? "elsewhere/" : "top/.Trash/") + uid);
    ::chmod(real.c_str(), c.sharedSticky ? 01777 : 0777);
    if (c.sharedIsLink) box.MakeSymlink("top/.Trash", real);
    if (c.ownIsLink) {
      box.MakeDir("own-elsewhere");
      box.MakeSymlink("top/.Trash-" + uid, box.Path("own-elsewhere"));
    } else {
      box.MakeDir("top/.Trash-" + uid);
    }
    std::vector<std::string> expected;
    for (const auto& e : c.expected) expected.push_back(top + "/" + e);
    EXPECT_EQ(TopDirectoryTrashes(top), expected);
    EXPECT_EQ(TopDirectoryTrashes(top + "/"), expected);
  }
}

unsigned Mode(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Whoever can rename names on the way to a trash (the owner of a shared
// .Trash, anyone once its sticky bit is gone, the owner of the volume's top)
// may swap it between discovery and use. What the path then leads to is
// neither listed nor emptied, and the trash does not count as empty.
TEST(TrashTest, TrashChangedAfterDiscoveryIsNeitherListedNorEmptied) {
  const std::string uid = std::to_string(::getuid());
  struct Case {
    const char* label;
    std::string trash;  // relative to the sandbox
    void (*attack)(test::Sandbox& box, const std::string& me);
  };
  const std::vector<Case> cases = {
      {"per-user folder of the shared trash swapped for a link", "top/.Trash/" + uid,
       [](test::Sandbox& box, const std::string& me) {
         std::rename(box.Path("top/.Trash/" + me).c_str(), box.Path("top/.Trash/moved").c_str());
         box.MakeSymlink("top/.Trash/" + me, box.Path("victim"));
       }},
      {"own trash swapped for a link", "top/.Trash-" + uid,
       [](test::Sandbox& box, const std::string& me) {
         std::rename(box.Path("top/.Trash-" + me).c_str(), box.Path("top/moved").c_str());
         box.MakeSymlink("top/.Trash-" + me, box.Path("victim"));
       }},
      {"shared trash swapped for a link to a sticky folder", "top/.Trash/" + uid,
       [](test::Sandbox& box, const std::string& me) {
         std::rename(box.Path("top/.Trash").c_str(), box.Path("top/moved").c_str());
         ::chmod(box.MakeDir("sticky").c_str(), 01777);
         std::rename(box.Path("victim").c_str(), box.Path("sticky/" + me).c_str());
         box.MakeSymlink("top/.Trash", box.Path("sticky"));
       }},
      {"shared trash that lost its sticky bit", "top/.Trash/" + uid,
       [](test::Sandbox& box, const std::string&) { ::chmod(box.Path("top/.Trash").c_str(), 0777); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    if (c.trash.find("/.Trash/") != std::string::npos) {
      ::chmod(box.MakeDir("top/.Trash").c_str(), 01777);
    }
    for (const std::string& dir : {c.trash, std::string("victim")}) {
      box.MakeFile(dir + "/files/precious", dir);
      box.MakeFile(dir + "/files/dir/inner", dir);
      box.MakeFile(dir + "/info/precious.trashinfo", Info("/x/precious"));
    }
    const std::vector<std::string> dirs = TopDirectoryTrashes(box.Path("top"));
    ASSERT_EQ(dirs, std::vector<std::string>{box.Path(c.trash) + "/"});
    const std::vector<TrashItem> listed = ListTrash(dirs);
    ASSERT_EQ(listed.size(), 2u);
    c.attack(box, uid);
    // What the trash's path leads to now, the victim's files or the
    // untrusted trash's own.
    const std::string reached = box.Path(c.trash);
    const std::string before = test::ReadBytes(reached + "/files/precious");
    ASSERT_FALSE(before.empty());

    EXPECT_TRUE(ListTrash(dirs).empty());
    EXPECT_EQ(Deleted(EmptyTrashItems(listed)), std::vector<bool>(2, false));
    for (const char* f : {"/files/precious", "/files/dir/inner"}) {
      EXPECT_EQ(test::ReadBytes(reached + f), before) << f;
    }
    EXPECT_TRUE(Exists(reached + "/info/precious.trashinfo"));
  }
}

struct SwapOnFirstDeletion {
  std::string dir, moved, target;
  bool done = false;
};

void SwapForLink(DeleteStage stage, int, void* context) {
  auto* s = static_cast<SwapOnFirstDeletion*>(context);
  if (stage != DeleteStage::AfterUseCheck || s->done) return;
  s->done = true;
  std::rename(s->dir.c_str(), s->moved.c_str());
  ::symlink(s->target.c_str(), s->dir.c_str());
}

// Locked folders are unlocked to be emptied. The first deletion below d/
// swaps d/ for a link to outside/; whichever of L1 and L2 comes second in
// the listing is unlocked after the swap, and must be the trash's own.
TEST(TrashTest, UnlockingLockedFoldersNeverReachesOutsideThroughASwap) {
  test::Sandbox box;
  for (const std::string n : {"L1", "L2"}) {
    box.MakeFile("trash/files/d/" + n + "/g");
    box.MakeFile("outside/" + n + "/keep", "keep");
    ::chmod(box.Path("trash/files/d/" + n).c_str(), 0500);
    ::chmod(box.Path("outside/" + n).c_str(), 0500);
  }
  SwapOnFirstDeletion swap{box.Path("trash/files/d"), box.Path("trash/files/d-moved"),
                           box.Path("outside")};
  const std::vector<TrashItem> items = ListTrash({box.Path("trash")});
  SetDeleteStageHookForTesting(&SwapForLink, &swap);
  const std::vector<TrashOutcome> outcomes = EmptyTrashItems(items);
  SetDeleteStageHookForTesting(nullptr, nullptr);
  EXPECT_TRUE(swap.done);
  EXPECT_EQ(Deleted(outcomes), std::vector<bool>{false});
  for (const std::string n : {"L1", "L2"}) {
    EXPECT_EQ(Mode(box.Path("outside/" + n)), 0500u) << n;
    EXPECT_EQ(test::ReadBytes(box.Path("outside/" + n + "/keep")), "keep") << n;
    ::chmod(box.Path("outside/" + n).c_str(), 0700);
  }
}

// An item that stays (here held open by another process) keeps the info
// that restores it; the rest goes, and the next emptying finishes the job.
TEST(TrashTest, ItemThatStaysKeepsItsInfoUntilItCanGo) {
  test::Sandbox box;
  const std::string trash = box.Path("trash");
  for (const std::string n : {"held", "plain"}) {
    box.MakeFile("trash/files/" + n);
    box.MakeFile("trash/info/" + n + ".trashinfo", Info("/x/" + n));
  }
  box.MakeFile("trash/info/orphan.trashinfo", Info("/x/orphan"));
  const std::string held = box.Path("trash/files/held");
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(release[1]);
    char c = 0;
    if (::open(held.c_str(), O_RDONLY) < 0 || ::write(ready[1], "r", 1) != 1) ::_exit(1);
    ::_exit(::read(release[0], &c, 1) < 0 ? 1 : 0);  // until the parent closes its end
  }
  ::close(ready[1]);
  ::close(release[0]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);
  ASSERT_TRUE(IsFileInUse(held));

  const std::vector<TrashItem> items = ListTrash({trash});
  const std::vector<TrashOutcome> outcomes = EmptyTrashItems(items);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const bool isHeld = items[i].entryName == "held";
    EXPECT_EQ(outcomes[i].deleted, !isHeld) << items[i].entryName;
    EXPECT_EQ(outcomes[i].refusal, isHeld ? std::optional(DeleteResult::InUse) : std::nullopt);
  }
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(Exists(box.Path("trash/info/held.trashinfo")));
  EXPECT_FALSE(Exists(box.Path("trash/files/plain")));
  EXPECT_FALSE(Exists(box.Path("trash/info/plain.trashinfo")));
  EXPECT_TRUE(Exists(box.Path("trash/info/orphan.trashinfo")));

  ::close(release[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(Deleted(EmptyTrashItems(ListTrash({trash}))), std::vector<bool>{true});
  EXPECT_FALSE(Exists(held));
  EXPECT_FALSE(Exists(box.Path("trash/info/held.trashinfo")));
}

struct LateChange {
  test::Sandbox* box;
  void (*change)(test::Sandbox& box);
  bool done = false;
};

void ChangeAtFirstDeletion(DeleteStage stage, int, void* context) {
  auto* c = static_cast<LateChange*>(context);
  if (stage != DeleteStage::AfterUseCheck || c->done) return;
  c->done = true;
  c->change(*c->box);
}

// Emptying deletes the items listed, as they were listed: whatever is
// trashed after the listing (before or during the emptying) stays with its
// info, and so does a listed name that leads to another object now.
TEST(TrashTest, OnlyTheItemsListedGoAndOnlyAsTheyWereListed) {
  using Change = void (*)(test::Sandbox&);
  struct Case {
    const char* label;
    Change change;
    bool duringEmptying;  // at the first deletion rather than before
    std::optional<DeleteResult> file, folder;  // the listed items' refusals
    std::vector<std::string> kept;             // relative to the trash
  };
  const std::vector<Case> cases = {
      {"trashed after the listing",
       [](test::Sandbox& box) {
         box.MakeFile("trash/files/late", "late");
         box.MakeFile("trash/info/late.trashinfo", Info("/x/late"));
       },
       false, {}, {}, {"files/late", "info/late.trashinfo"}},
      // A program trashing a file writes its info first, then moves it in.
      {"being trashed while emptying",
       [](test::Sandbox& box) { box.MakeFile("trash/info/late.trashinfo", Info("/x/late")); }, true, {}, {},
       {"info/late.trashinfo"}},
      {"file replaced by another of its name",
       [](test::Sandbox& box) {
         std::rename(box.MakeFile("trash/new-a", "other").c_str(), box.Path("trash/files/a").c_str());
       },
       false, DeleteResult::PathChanged, {}, {"files/a", "info/a.trashinfo"}},
      {"folder replaced by another of its name",
       [](test::Sandbox& box) {
         std::rename(box.Path("trash/files/d").c_str(), box.Path("trash/d-listed").c_str());
         box.MakeFile("trash/files/d/y", "other");
       },
       false, {}, DeleteResult::PathChanged, {"files/d/y", "info/d.trashinfo", "d-listed/x"}},
      {"folder replaced by a link to a folder outside",
       [](test::Sandbox& box) {
         std::rename(box.Path("trash/files/d").c_str(), box.Path("trash/d-listed").c_str());
         box.MakeSymlink("trash/files/d", box.Path("outside"));
       },
       false, {}, DeleteResult::PathChanged, {"../outside/keep", "info/d.trashinfo"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    box.MakeFile("outside/keep", "keep");
    box.MakeFile("trash/files/a", "a");
    box.MakeFile("trash/info/a.trashinfo", Info("/x/a"));
    box.MakeFile("trash/files/d/x", "x");
    box.MakeFile("trash/info/d.trashinfo", Info("/x/d"));
    const std::vector<TrashItem> items = ListTrash({box.Path("trash")});
    ASSERT_EQ(items.size(), 2u);
    LateChange late{&box, c.change};
    if (c.duringEmptying) {
      SetDeleteStageHookForTesting(&ChangeAtFirstDeletion, &late);
    } else {
      c.change(box);
    }
    const std::vector<TrashOutcome> outcomes = EmptyTrashItems(items);
    SetDeleteStageHookForTesting(nullptr, nullptr);
    EXPECT_EQ(late.done, c.duringEmptying);
    ASSERT_EQ(outcomes.size(), 2u);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string& name = items[i].entryName;
      const std::optional<DeleteResult> expected = name == "a" ? c.file : c.folder;
      EXPECT_EQ(outcomes[i].deleted, !expected) << name;
      EXPECT_EQ(outcomes[i].refusal, expected) << name;
      if (!expected) {
        EXPECT_FALSE(Exists(box.Path("trash/files/" + name))) << name;
        EXPECT_FALSE(Exists(box.Path("trash/info/" + name + ".trashinfo"))) << name;
      }
    }
    for (const std::string& k : c.kept) EXPECT_TRUE(Exists(box.Path("trash/" + k))) << k;
  }
}

}  // namespace
}  // namespace purgo::platform
