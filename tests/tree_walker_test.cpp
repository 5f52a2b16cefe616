// SPDX-License-Identifier: GPL-3.0-or-later
// The depth-first walk: order, visitor actions, depth and descriptor bounds,
// and climbing back to levels whose descriptors were closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/DirReadAhead.h"
#include "platform/TreeWalker.h"
#include "tests/Sandbox.h"

namespace purgo::platform {
namespace {

namespace fs = std::filesystem;
using Action = TreeWalker::Action;

struct Event {
  std::string path;
  std::string dirPath;
  std::size_t depth, ordinal;
  bool directory;
  std::uint64_t dirTag;
};

// Walks `root`; `decide` picks the action for each entry (Enter for every
// directory when absent). Entered directories get their event index as tag.
std::vector<Event> Record(const std::string& root,
                          const std::function<Action(const Event&)>& decide = nullptr) {
  std::vector<Event> events;
  const bool ok = TreeWalker::Walk(root, 0xFFFF, [&](TreeWalker::Entry& e) {
    events.push_back({e.FullPath(), e.DirPath(), e.Depth(), e.Ordinal(), e.IsDirectory(), e.DirTag()});
    e.SetChildTag(events.size() + 1000);
    if (decide) return decide(events.back());
    return e.IsDirectory() ? Action::Enter : Action::Continue;
  }, 7);
  EXPECT_TRUE(ok);
  return events;
}

bool Under(const std::string& path, const std::string& dir) { return path.rfind(dir + "/", 0) == 0; }

std::string MakeSmallTree(test::Sandbox& box) {
  for (const char* f : {"tree/a/a1", "tree/a/a2", "tree/a/a3", "tree/a/aa/x1", "tree/b/b1",
                        "tree/b/b2", "tree/f1", "tree/f2", "tree/.h/hf", "outside/secret"}) {
    box.MakeFile(f);
  }
  box.MakeSymlink("tree/link-out", box.Path("outside"));
  return box.Path("tree");
}

TEST(TreeWalkerTest, EnteredDirectoryIsWalkedRightAfterItsEntry) {
  test::Sandbox box;
  const std::string root = MakeSmallTree(box);
  const auto events = Record(root);

  std::set<std::string> paths;
  for (const auto& e : events) paths.insert(e.path.substr(root.size() + 1));
  EXPECT_EQ(paths, (std::set<std::string>{"a", "a/a1", "a/a2", "a/a3", "a/aa", "a/aa/x1", "b",
                                          "b/b1", "b/b2", "f1", "f2", ".h", ".h/hf", "link-out"}));
  std::map<std::string, std::uint64_t> tagOf{{root + "/", 7}};
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].directory) tagOf[events[i].path + "/"] = i + 1001;
  }
  std::map<std::string, std::size_t> lastOrdinal;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    SCOPED_TRACE(e.path);
    const std::string below = e.dirPath.substr(root.size() + 1);
    EXPECT_EQ(e.depth, static_cast<std::size_t>(std::count(below.begin(), below.end(), '/')));
    EXPECT_EQ(e.ordinal, ++lastOrdinal[e.dirPath]);
    EXPECT_EQ(e.dirTag, tagOf.at(e.dirPath));
    if (!e.directory) continue;
    // Everything below the directory comes as one block right after it.
    std::size_t j = i + 1;
    while (j < events.size() && Under(events[j].path, e.path)) ++j;
    for (std::size_t k = j; k < events.size(); ++k) EXPECT_FALSE(Under(events[k].path, e.path));
  }
}

TEST(TreeWalkerTest, VisitorActionsSteerTheWalk) {
  test::Sandbox box;
  const std::string root = MakeSmallTree(box);
  struct Case {
    const char* label;
    std::function<Action(const Event&)> decide;
    std::size_t inA;  // how many entries below "a" (which ones depends on listing order)
    std::multiset<std::string> others;
  };
  const Case cases[] = {
      {"nothing entered", [](const Event&) { return Action::Continue; }, 0,
       {"a", "b", "f1", "f2", ".h", "link-out"}},
      {"enter asked for files and links", [](const Event&) { return Action::Enter; }, 5,
       {"a", "b", "b/b1", "b/b2", "f1", "f2", ".h", ".h/hf", "link-out"}},
      {"leave at the first entry of a",
       [&](const Event& e) {
         if (e.dirPath == root + "/a/") return Action::Leave;
         return e.directory && e.path != root + "/.h" ? Action::Enter : Action::Continue;
       },
       1, {"a", "b", "b/b1", "b/b2", "f1", "f2", ".h", "link-out"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::multiset<std::string> others;
    std::size_t inA = 0;
    for (const auto& e : Record(root, c.decide)) {
      const std::string relative = e.path.substr(root.size() + 1);
      if (relative.rfind("a/", 0) == 0) {
        ++inA;
      } else {
        others.insert(relative);
      }
    }
    EXPECT_EQ(inA, c.inA);
    EXPECT_EQ(others, c.others);
  }
}

// A folder swapped between its parent's listing and the walk's look at
// it (here: while the visitor is shown the entry before it) is not walked
// as listed: a link put there is not followed, and a folder put there is
// walked with its own entries, if at all.
TEST(TreeWalkerTest, DirectorySwappedBeforeEnteringIsPassedOver) {
  for (const bool byLink : {true, false}) {
    SCOPED_TRACE(byLink ? "replaced by a link" : "replaced by another directory");
    test::Sandbox box;
    const std::string root = MakeSmallTree(box);
    box.MakeFile("outside/intruder");
    // The root's entries in listing order: the swap comes at the entry
    // before the folder swapped.
    std::vector<std::string> top;
    for (const auto& e : Record(root, [](const Event&) { return Action::Continue; })) top.push_back(e.path);
    const std::string target = top.front() == root + "/a" ? root + "/b" : root + "/a";
    const auto at = std::find(top.begin(), top.end(), target);
    ASSERT_NE(at, top.begin());
    const std::string before = *(at - 1);
    const auto events = Record(root, [&](const Event& e) {
      if (e.path == before) {
        fs::rename(target, box.Path("old"));
        byLink ? (void)box.MakeSymlink("tree/" + target.substr(root.size() + 1), box.Path("outside"))
               : fs::copy(box.Path("outside"), target);
      }
      return e.directory ? Action::Enter : Action::Continue;
    });
    for (const auto& e : events) {
      if (!Under(e.path, target)) continue;
      EXPECT_FALSE(byLink) << e.path;
      EXPECT_TRUE(e.path == target + "/secret" || e.path == target + "/intruder") << e.path;
    }
  }
}

// Readers list folders ahead of the walk; a folder swapped after that
// must not be walked with what a reader saw: its old listing never shows
// under its name, and nothing is reached through a link put there.
TEST(TreeWalkerTest, FolderSwappedAfterReadersListedItIsNotWalkedAsListed) {
  for (const std::string below : {"", "/x"}) {
    for (const bool byLink : {true, false}) {
      SCOPED_TRACE("t*" + below + (byLink ? ": replaced by a link" : ": replaced by another directory"));
      test::Sandbox box;
      const std::vector<std::string> tops = {"t0", "t1", "t2", "t3", "t4", "t5"};
      for (const std::string& t : tops) {
        box.MakeFile("tree/" + t + "/x/old1");
        box.MakeFile("tree/" + t + "/x/deeper/old2");
        box.MakeFile("tree/" + t + "/y/old3");
        box.MakeFile("fresh-" + t + "/new1");
      }
      box.MakeFile("outside/secret");
      const std::string root = box.Path("tree");
      bool swapped = false;
      std::vector<std::string> moved;
      const auto events = Record(root, [&](const Event& e) {
        if (!swapped) {
          swapped = true;
          // Time for readers to list the rest of the tree, then the swap of
          // every folder the walk has not come to.
          ::usleep(100 * 1000);
          for (const std::string& t : tops) {
            const std::string target = root + "/" + t + below;
            if (e.path == root + "/" + t || Under(e.path, root + "/" + t)) continue;
            fs::rename(target, box.Path("moved-" + t));
            moved.push_back(target);
            byLink ? (void)box.MakeSymlink("tree/" + t + below, box.Path("outside"))
                   : fs::rename(box.Path("fresh-" + t), target);
          }
        }
        return e.directory ? Action::Enter : Action::Continue;
      });
      ASSERT_EQ(moved.size(), tops.size() - 1);
      for (const auto& e : events) {
        const bool inMoved = std::any_of(moved.begin(), moved.end(), [&](const std::string& m) { return Under(e.path, m); });
        EXPECT_FALSE(inMoved && e.path.find("old") != std::string::npos) << e.path;
        EXPECT_EQ(e.path.find("secret"), std::string::npos) << e.path;
      }
    }
  }
}

TEST(TreeWalkerTest, RootIsTakenAsGiven) {
  test::Sandbox box;
  const std::string root = MakeSmallTree(box);
  const std::string link = box.MakeSymlink("root-link", root);
  for (const std::string& given : {root, root + "/", link}) {
    SCOPED_TRACE(given);
    const auto events = Record(given, [](const Event&) { return Action::Continue; });
    ASSERT_FALSE(events.empty());
    const std::string expected = given.back() == '/' ? given : given + "/";
    for (const auto& e : events) EXPECT_EQ(e.dirPath, expected);
    EXPECT_EQ(TreeWalker::RootId(given), TreeWalker::RootId(root));
  }
  EXPECT_TRUE(TreeWalker::RootId(root).IsKnown());
  for (const std::string& bad : {box.Path("missing"), root + "/f1", std::string()}) {
    bool called = false;
    EXPECT_FALSE(TreeWalker::Walk(bad, 0xFFFF, [&](TreeWalker::Entry&) {
      called = true;
      return Action::Continue;
    }));
    EXPECT_FALSE(called);
    EXPECT_FALSE(TreeWalker::RootId(bad).IsKnown());
  }
}

// Builds `levels` nested folders "d" below `base` (level 0) with
// `filesPerLevel` files "f<level>_<k>" in each, through descriptors because
// a deep chain's path exceeds what one system call accepts. Half the files
// are made before the sub-folder, half after, so that whatever the file
// system's listing order, some are listed after the descent.
void MakeChain(const std::string& base, int levels, int filesPerLevel) {
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int level = 0; level < levels; ++level) {
    for (int k = 0; k < filesPerLevel; ++k) {
      if (k == filesPerLevel / 2 && level + 1 < levels) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
      }
      const std::string name = "f" + std::to_string(level) + "_" + std::to_string(k);
      const int file = ::openat(fd, name.c_str(), O_CREAT | O_WRONLY, 0644);
      ASSERT_GE(file, 0);
      ::close(file);
    }
    if (level + 1 == levels) break;
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  ::close(fd);
}

// Removes such a chain with short paths only: empty the top level, lift its
// sub-folder into its place, repeat.
void RemoveChain(const std::string& base) {
  const std::string top = base + "/d", lifted = base + "/lifted";
  while (fs::exists(top)) {
    for (const auto& entry : fs::directory_iterator(top)) {
      if (entry.path().filename() != "d") fs::remove(entry.path());
    }
    if (fs::exists(top + "/d")) {
      fs::rename(top + "/d", lifted);
      fs::remove(top);
      fs::rename(lifted, top);
    } else {
      fs::remove(top);
    }
  }
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

int LevelOf(std::string_view fileName) { return std::stoi(std::string(fileName.substr(1))); }

TEST(TreeWalkerTest, VeryDeepTreeIsWalkedWithBoundedDescriptors) {
  test::Sandbox box;
  const std::string base = box.MakeDir("deep");
  constexpr int kLevels = 5000;
  MakeChain(base, kLevels, 2);
  const std::size_t before = OpenDescriptors();
  std::size_t most = 0, files = 0, deepest = 0;
  const bool ok = TreeWalker::Walk(base, 0xFFFF, [&](TreeWalker::Entry& e) {
    if (e.IsDirectory()) return Action::Enter;
    ++files;
    const auto level = static_cast<std::size_t>(LevelOf(e.Name()));
    EXPECT_EQ(e.Depth(), level);
    EXPECT_EQ(e.DirPath().size(), base.size() + 1 + 2 * level);
    deepest = std::max(deepest, level);
    if (level % 97 == 0 || level + 1 == kLevels) most = std::max(most, OpenDescriptors());
    return Action::Continue;
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(files, 2U * kLevels);
  EXPECT_EQ(deepest, kLevels - 1U);
  // One more for the listing of /proc/self/fd itself, one for a reopen.
  EXPECT_LE(most, before + TreeWalker::kMaxOpenDescriptors + 2);
  EXPECT_EQ(OpenDescriptors(), before);
  RemoveChain(base);
}

TEST(TreeWalkerTest, ClosedLevelsAreReopenedOrAbandonedWhenMoved) {
  struct Case {
    const char* label;
    bool moveSub, moveLevel;
    bool levelFinished;  // the moved level's remaining entries are still reported
  };
  for (const Case c : {Case{"sub-folder moved: level reopened by its path", true, false, true},
                       Case{"level moved: reopened through its sub-folder", false, true, true},
                       Case{"both moved: the level's remaining entries abandoned", true, true, false}}) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    const std::string base = box.MakeDir("chain");
    constexpr int kFiles = 4;
    const int levels = static_cast<int>(TreeWalker::kMaxOpenDirs) + 20;
    MakeChain(base, levels, kFiles);
    auto dirOf = [&](int level) {
      std::string p = base;
      for (int i = 0; i < level; ++i) p += "/d";
      return p;
    };

    std::map<int, int> reported, reportedAfterMove;
    int moved = -1;
    const bool ok = TreeWalker::Walk(base, 0xFFFF, [&](TreeWalker::Entry& e) {
      if (e.IsDirectory()) return Action::Enter;
      const int level = LevelOf(e.Name());
      EXPECT_EQ(e.DirPath(), dirOf(level) + "/");
      ++reported[level];
      if (moved >= 0) ++reportedAfterMove[level];
      if (moved < 0 && level == levels - 1) {
        // Pick a level far enough up that its descriptor was closed, with
        // entries still waiting to be listed.
        for (int x = 2; x < 16 && moved < 0; ++x) {
          if (reported[x] < kFiles) moved = x;
        }
        EXPECT_GE(moved, 0);
        if (c.moveSub) fs::rename(dirOf(moved + 1), box.Path("away-sub"));
        if (c.moveLevel) fs::rename(dirOf(moved), box.Path("away-level"));
      }
      return Action::Continue;
    });
    EXPECT_TRUE(ok);
    ASSERT_GE(moved, 0);
    for (int level = 0; level < moved; ++level) EXPECT_EQ(reported[level], kFiles) << level;
    if (c.levelFinished) {
      EXPECT_EQ(reported[moved], kFiles);
    } else {
      EXPECT_EQ(reportedAfterMove[moved], 0);
      EXPECT_LT(reported[moved], kFiles);
    }
  }
}

// Readers ahead of the walk change nothing the visitor sees: on the same
// tree, with and without them, every event is the same, in the same order,
// with the same attributes, whatever the visitor enters, skips or leaves,
// whatever the entry and folder filters let through and whichever files
// the readers take the attributes of.
TEST(TreeWalkerTest, ReadersAheadChangeNothingTheVisitorSees) {
  if (posix::ReadAhead::ReaderCount() == 0) GTEST_SKIP() << "no readers: CTest runs this with PURGO_WALK_THREADS=4";
  test::Sandbox box;
  for (int a = 0; a < 12; ++a) {
    for (int b = 0; b < 4; ++b) {
      const std::string dir = "tree/d" + std::to_string(a) + "/e" + std::to_string(b);
      for (int f = 0; f < 5; ++f) box.MakeFile(dir + "/f" + std::to_string(f), std::string(static_cast<std::size_t>(f), 'x'));
      box.MakeFile(dir + "/.hidden/h");
      box.MakeFile(dir + "/skip-me/s");
    }
  }
  box.MakeFile("tree/leave-here/one");
  box.MakeFile("tree/leave-here/two/deeper");
  box.MakeFile(std::string("tree/bad-\xff\xfe/inside"));
  box.MakeFile("outside/secret");
  box.MakeSymlink("tree/d0/link-dir", box.Path("outside"));
  box.MakeSymlink("tree/d1/link-file", box.Path("outside/secret"));
  ::mkfifo(box.Path("tree/d2/fifo").c_str(), 0600);
  std::string chain = "tree/chain";
  for (int i = 0; i < 300; ++i) chain += "/c";  // deeper than readers go
  box.MakeFile(chain + "/end");
  const std::string root = box.Path("tree");
  // Two chains of long names, longer below the root than a path the
  // kernel takes in one piece.
  for (const char* top : {"long1", "long2"}) {
    int fd = ::open(box.MakeDir(std::string("tree/") + top).c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < 24; ++level) {
      const std::string name = std::to_string(level) + std::string(240, 'n');
      ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
      ::close(::openat(fd, "f.tmp", O_CREAT | O_WRONLY, 0644));
      const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = next;
      ASSERT_GE(fd, 0);
    }
    ::close(fd);
  }
  // Another user's folders, for a walk that enters only the user's own.
  const auto me = ::geteuid();
  if (me == 0) {
    for (const char* theirs : {"tree/d3", "tree/d5/e1", "tree/d7/e2/.hidden"}) {
      ASSERT_EQ(::chown(box.Path(theirs).c_str(), 65534, 65534), 0);
    }
  }

  struct Seen {
    std::string path;
    std::size_t depth, ordinal;
    bool directory, symlink, hasData;
    std::uint64_t size;
    FileId id;
    std::uint32_t attributes;
    bool operator==(const Seen&) const = default;
  };
  const auto walk = [&](std::uint32_t mask, TreeWalker::ReadAhead ahead, bool filters = false) {
    std::vector<Seen> seen;
    TreeWalker::Callbacks callbacks;
    if (filters) {
      callbacks.mayEnter = [me](std::string_view, std::size_t, std::optional<std::uint32_t> owner) {
        return !owner || *owner == me;
      };
      callbacks.wantsData = [](std::string_view name) { return name != "f2" && name != "h"; };
    }
    TreeWalker::Walk(
        root, mask,
        [&](TreeWalker::Entry& e) {
          const bool has = e.HasData();
          seen.push_back({e.FullPath(), e.Depth(), e.Ordinal(), e.IsDirectory(), e.IsSymlink(), has,
                          e.Data().size, e.Data().id, e.Data().attributes});
          if (e.DirPath() == root + "/leave-here/") return Action::Leave;
          if (!e.IsDirectory() || e.Name() == "skip-me") return Action::Continue;
          return Action::Enter;
        },
        0, ahead, callbacks);
    return seen;
  };
  for (const std::uint32_t mask : {0xFFFFu, static_cast<std::uint32_t>(0xFFFF & ~kAttrHidden)}) {
    for (const bool filters : {false, true}) {
      const std::vector<Seen> alone = walk(mask, TreeWalker::ReadAhead::Off, filters);
      ASSERT_GT(alone.size(), 600u);
      for (const auto ahead : {TreeWalker::ReadAhead::Folders, TreeWalker::ReadAhead::FoldersAndFiles}) {
        for (int run = 0; run < 3; ++run) {
          const std::vector<Seen> with = walk(mask, ahead, filters);
          ASSERT_EQ(with.size(), alone.size()) << mask << filters;
          for (std::size_t i = 0; i < alone.size(); ++i) ASSERT_EQ(with[i], alone[i]) << alone[i].path;
        }
      }
    }
  }
}

// Readers whose queues fill up end their jobs part way, and what they
// leave goes to later jobs, the folders of a listing a reader made being
// opened again for them: the visitor still sees what a walk alone sees,
// for queues of every size down to a listing or two.
TEST(TreeWalkerTest, ReadersWithFullQueuesChangeNothingTheVisitorSees) {
  if (posix::ReadAhead::ReaderCount() == 0) GTEST_SKIP() << "no readers: CTest runs this with PURGO_WALK_THREADS=4";
  test::Sandbox box;
  const std::string root = box.MakeDir("tree");
  std::vector<std::string> level = {root};
  for (int depth = 0; depth < 3; ++depth) {
    std::vector<std::string> next;
    for (const std::string& dir : level) {
      for (int i = 0; i < 8; ++i) {
        next.push_back(dir + "/" + std::to_string(i) + std::string(40, 'd'));
        ASSERT_EQ(::mkdir(next.back().c_str(), 0755), 0);
        ::close(::open((next.back() + "/f" + std::to_string(i % 3) + ".tmp").c_str(), O_CREAT | O_WRONLY, 0644));
      }
    }
    level = std::move(next);
  }
  const auto walk = [&](TreeWalker::ReadAhead ahead) {
    std::vector<std::tuple<std::string, std::size_t, std::uint64_t>> seen;
    TreeWalker::Callbacks callbacks;
    callbacks.wantsData = [](std::string_view name) { return name != "f1.tmp"; };
    TreeWalker::Walk(
        root, 0xFFFF,
        [&](TreeWalker::Entry& e) {
          seen.emplace_back(e.FullPath(), e.Ordinal(), e.Data().id.inode);
          return e.IsDirectory() ? Action::Enter : Action::Continue;
        },
        0, ahead, callbacks);
    return seen;
  };
  const auto alone = walk(TreeWalker::ReadAhead::Off);
  ASSERT_EQ(alone.size(), 2u * (8 + 64 + 512));
  for (const std::size_t bytes : {1000u, 4000u, 30000u}) {
    posix::ReadAhead::SetMaxQueuedBytesForTesting(bytes);
    for (int run = 0; run < 2; ++run) EXPECT_EQ(walk(TreeWalker::ReadAhead::Folders), alone) << bytes;
  }
  posix::ReadAhead::SetMaxQueuedBytesForTesting(0);
}

// A large folder the walk lists itself has its files' attributes shared
// with a reader, which asks from the end while the walk asks from the
// start: each entry still gets its own file's attributes, whether the two
// meet at the first file, in the middle or not at all, and when the walk
// leaves the folder while the reader is at work.
TEST(TreeWalkerTest, LargeFolderSharedWithAReaderGivesEachFileItsOwnAttributes) {
  if (posix::ReadAhead::ReaderCount() == 0) GTEST_SKIP() << "no readers: CTest runs this with PURGO_WALK_THREADS=4";
  test::Sandbox box;
  const std::string root = box.MakeDir("tree");
  const std::string big = box.MakeDir("tree/big");
  constexpr int kFiles = 3000;  // about 140 KB of listing
  for (int i = 0; i < kFiles; ++i) {
    // Sizes tell the files apart; one in three is wanted.
    const std::string name = big + "/file-" + std::to_string(i) + (i % 3 == 0 ? ".tmp" : ".txt");
    const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, i), 0);
    ::close(fd);
  }
  box.MakeFile("tree/big/sub/inside.tmp");
  ASSERT_EQ(::mkfifo((big + "/fifo.tmp").c_str(), 0600), 0);
  box.MakeSymlink("tree/big/link.tmp", big + "/file-3.tmp");
  using Seen = std::tuple<std::string, bool, std::uint64_t, std::uint64_t>;
  // `pauseAt`: the entry (by ordinal) at which the visitor waits for the
  // reader to get far; `leaveAt`: where it leaves the folder.
  const auto walk = [&](TreeWalker::ReadAhead ahead, std::size_t pauseAt, std::size_t leaveAt) {
    std::vector<Seen> seen;
    TreeWalker::Callbacks callbacks;
    callbacks.wantsData = [](std::string_view name) { return name.ends_with(".tmp"); };
    TreeWalker::Walk(
        root, 0xFFFF,
        [&](TreeWalker::Entry& e) {
          if (e.Ordinal() == pauseAt && e.DirPath() == big + "/") ::usleep(50 * 1000);
          // Every other entry asks, wanted or not.
          if (e.Ordinal() % 2 == 0 || e.Name().ends_with(".tmp")) {
            seen.emplace_back(e.FullPath(), e.HasData(), e.Data().size, e.Data().id.inode);
          }
          if (e.Ordinal() == leaveAt && e.DirPath() == big + "/") return Action::Leave;
          return e.IsDirectory() ? Action::Enter : Action::Continue;
        },
        0, ahead, callbacks);
    return seen;
  };
  constexpr std::size_t kNever = SIZE_MAX;
  for (const auto& [pauseAt, leaveAt] : std::vector<std::pair<std::size_t, std::size_t>>{
           {kNever, kNever}, {1, kNever}, {kFiles / 2, kNever}, {kFiles - 10, kNever}, {1, kFiles / 2}}) {
    const auto alone = walk(TreeWalker::ReadAhead::Off, pauseAt, leaveAt);
    ASSERT_GT(alone.size(), kFiles / 3u);
    for (const auto ahead : {TreeWalker::ReadAhead::Folders, TreeWalker::ReadAhead::FoldersAndFiles}) {
      for (int run = 0; run < 3; ++run) {
        const auto with = walk(ahead, pauseAt, leaveAt);
        ASSERT_EQ(with.size(), alone.size()) << pauseAt << " " << leaveAt;
        for (std::size_t i = 0; i < alone.size(); ++i) {
          ASSERT_EQ(with[i], alone[i]) << std::get<0>(alone[i]) << " pause " << pauseAt << " leave " << leaveAt;
        }
      }
    }
  }
}

// Every entry the walks with and without readers report, and
// "error\t<path>" for each folder they could not open or list, sorted.
std::vector<std::string> WalkAll(const std::string& root) {
  std::vector<std::string> lines;
  TreeWalker::Callbacks callbacks;
  callbacks.onError = [&](const std::string& path, TreeWalker::Failure, int) { lines.push_back("error\t" + path); };
  for (const auto ahead : {TreeWalker::ReadAhead::Off, TreeWalker::ReadAhead::Folders, TreeWalker::ReadAhead::FoldersAndFiles}) {
    TreeWalker::Walk(root, 0xFFFF, [&](TreeWalker::Entry& e) {
      lines.push_back(e.FullPath());
      return e.IsDirectory() ? Action::Enter : Action::Continue;
    }, 0, ahead, callbacks);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Run by the next test in a fresh process (readers are set up once per
// process), under the descriptor limit it is given.
TEST(TreeWalkerTest, DISABLED_WalkUnderTheLimitGiven) {
  const char* root = std::getenv("PURGO_TEST_WALK_ROOT");
  if (root == nullptr) GTEST_SKIP();
  test::Sandbox box;
  const int lowestFree = ::dup(0);
  ::close(lowestFree);
  const std::string limit = std::getenv("PURGO_TEST_FD_LIMIT");
  struct rlimit lim {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &lim), 0);
  const rlim_t saved = lim.rlim_cur;
  lim.rlim_cur = limit == "tight" ? static_cast<rlim_t>(lowestFree) + 1 : std::stoul(limit);  // tight: the root alone
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lim), 0);
  const std::vector<std::string> lines = WalkAll(root);
  posix::ReadAhead::WaitForIdleReaders();
  lim.rlim_cur = saved;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lim), 0);
  std::ofstream out(std::getenv("PURGO_TEST_WALK_OUT"));
  for (const std::string& l : lines) out << l << '\n';
}

// Short of descriptors, walks with or without readers still find everything
// (readers give theirs back, the walk closes its shallow levels); with room
// for the root alone, every folder it could not enter is an error.
TEST(TreeWalkerTest, LowDescriptorLimitsLoseNothingSilently) {
  test::Sandbox box;
  std::vector<std::string> tight(3, box.MakeFile("tree/top-file"));
  for (int t = 0; t < 10; ++t) {
    const std::string top = "tree/t" + std::to_string(t);
    for (int k = 0; k < 3; ++k) tight.insert(tight.end(), {box.Path(top), "error\t" + box.Path(top)});
    std::string dir = top;
    for (int level = 0; level < 20; ++level, dir += "/d") {
      for (const char* f : {"/f0", "/f1", "/side/g"}) box.MakeFile(dir + f);
    }
  }
  std::sort(tight.begin(), tight.end());
  const std::string root = box.Path("tree"), out = box.Path("walked.txt");
  const std::vector<std::string> whole = WalkAll(root);
  ASSERT_EQ(whole.size(), 3u * 1001);
  std::string exe = fs::read_symlink("/proc/self/exe"), all = "--gtest_also_run_disabled_tests",
              filter = "--gtest_filter=*DISABLED_WalkUnderTheLimitGiven";
  char* argv[] = {exe.data(), all.data(), filter.data(), nullptr};
  for (const char* threads : {"1", "4"}) {
    for (const std::string limit : {"16", "20", "32", "tight"}) {
      SCOPED_TRACE(std::string("PURGO_WALK_THREADS=") + threads + ", descriptors: " + limit);
      // Made before the fork: a child of a process with threads may call
      // async-signal-safe functions only.
      std::vector<std::string> env = {std::string("PURGO_WALK_THREADS=") + threads, "PURGO_TEST_WALK_ROOT=" + root,
                                      "PURGO_TEST_FD_LIMIT=" + limit, "PURGO_TEST_WALK_OUT=" + out};
      for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with("PURGO_WALK_THREADS=")) env.emplace_back(*e);
      }
      std::vector<char*> envp;
      for (std::string& e : env) envp.push_back(e.data());
      envp.push_back(nullptr);
      const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
      const pid_t child = ::fork();
      if (child == 0) {
        ::dup2(quiet, 1);
        ::execve(exe.c_str(), argv, envp.data());
        ::_exit(127);
      }
      ::close(quiet);
      int status = -1;
      ::waitpid(child, &status, 0);
      EXPECT_EQ(status, 0);
      std::vector<std::string> got;
      std::ifstream in(out);
      for (std::string line; std::getline(in, line);) got.push_back(line);
      const std::vector<std::string>& expected = limit == "tight" ? tight : whole;
      EXPECT_TRUE(got == expected) << got.size() << " lines, " << expected.size() << " expected";
    }
  }
}

}  // namespace
}  // namespace purgo::platform
