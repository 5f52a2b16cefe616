// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting one file, and every refusal that must leave the disk unchanged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DeletionQueue.h"
#include "platform/FileDelete.h"
#include "platform/FileSystem.h"
#include "platform/PosixFiles.h"
#include "platform/TreeWalker.h"
#include "tests/Sandbox.h"

namespace purgo::platform {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

FileId IdOfPath(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return posix::IdOf(st);
}

// Sets or clears one environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Longer than a deleter reuses the folder it opened for the files after it.
void PastFolderReuse() { ::usleep(30 * 1000); }

// What a scan of `root` would have recorded for `relative` below it.
DeleteTarget Scanned(test::Sandbox& box, const std::string& root, const std::string& relative) {
  const std::string rootPath = box.Path(root);
  DeleteTarget t;
  t.path = rootPath + "/" + relative;
  t.rootLength = rootPath.size() + 1;
  t.rootId = TreeWalker::RootId(rootPath);
  if (Exists(t.path)) {
    t.fileId = IdOfPath(t.path);
    t.fileStamp = GetFileAttributes(t.path)->stamp;
  }
  return t;
}

TEST(FileDeleteTest, DeletesOnlyWhatTheScanSaw) {
  test::Sandbox box;
  ScopedEnv xauth("XAUTHORITY", box.Path("scan/xauth").c_str());
  struct Case {
    const char* label;
    DeleteResult expected;
    std::function<DeleteTarget()> setup;
    std::vector<std::string> survivors = {};
  };
  const Case cases[] = {
      {"plain file", DeleteResult::Deleted,
       [&] { box.MakeFile("scan/a/plain"); return Scanned(box, "scan", "a/plain"); }, {"scan/a"}},
      {"name that is not UTF-8", DeleteResult::Deleted,
       [&] { box.MakeFile("scan/bad\xff\xfe.tmp"); return Scanned(box, "scan", "bad\xff\xfe.tmp"); }},
      {"link goes, its target stays", DeleteResult::Deleted,
       [&] {
         box.MakeSymlink("scan/link", box.MakeFile("keep/target"));
         return Scanned(box, "scan", "link");
       },
       {"keep/target"}},
      {"root given as a link is followed", DeleteResult::Deleted,
       [&] {
         box.MakeFile("real/file1");
         box.MakeSymlink("via", box.Path("real"));
         return Scanned(box, "via", "file1");
       }},
      {"root length 0 follows no link", DeleteResult::PathChanged,
       [&] {
         box.MakeFile("real/file2");
         DeleteTarget t = Scanned(box, "via", "file2");
         t.rootLength = 0;
         return t;
       },
       {"real/file2"}},
      {"read-only file", DeleteResult::ReadOnly,
       [&] {
         ::chmod(box.MakeFile("scan/ro").c_str(), 0444);
         return Scanned(box, "scan", "ro");
       },
       {"scan/ro"}},
      {"directory", DeleteResult::NotAFile,
       [&] { box.MakeDir("scan/dir"); return Scanned(box, "scan", "dir"); }, {"scan/dir"}},
      {"path ending in a delimiter", DeleteResult::NotAFile,
       [&] { box.MakeFile("scan/slash"); return Scanned(box, "scan", "slash/"); }, {"scan/slash"}},
      {"vanished file", DeleteResult::NotFound, [&] { return Scanned(box, "scan", "never"); }},
      {"vanished folder on the way", DeleteResult::NotFound,
       [&] { return Scanned(box, "scan", "gone/file"); }},
      {"folder on the way swapped for a link", DeleteResult::PathChanged,
       [&] {
         box.MakeFile("scan/swap/victim");
         box.MakeFile("outside/victim");
         DeleteTarget t = Scanned(box, "scan", "swap/victim");
         t.fileId = {};  // the links on the way alone must stop it
         fs::rename(box.Path("scan/swap"), box.Path("scan/swap-old"));
         box.MakeSymlink("scan/swap", box.Path("outside"));
         return t;
       },
       {"outside/victim", "scan/swap-old/victim"}},
      {"parent reference below the root", DeleteResult::PathChanged,
       [&] { box.MakeFile("outside/escape"); return Scanned(box, "scan", "../outside/escape"); },
       {"outside/escape"}},
      {"file replaced by another of the same name", DeleteResult::PathChanged,
       [&] {
         box.MakeFile("scan/replaced");
         DeleteTarget t = Scanned(box, "scan", "replaced");
         box.MakeFile("scan/replacement");
         fs::rename(box.Path("scan/replacement"), box.Path("scan/replaced"));
         return t;
       },
       {"scan/replaced"}},
      {"root replaced since the scan", DeleteResult::PathChanged,
       [&] {
         box.MakeFile("root2/file");
         DeleteTarget t = Scanned(box, "root2", "file");
         fs::rename(box.Path("root2"), box.Path("root2-old"));
         box.MakeFile("root2/file");
         return t;
       },
       {"root2/file", "root2-old/file"}},
      {"the session's X authority file", DeleteResult::Protected,
       [&] { box.MakeFile("scan/xauth"); return Scanned(box, "scan", "xauth"); }, {"scan/xauth"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const DeleteTarget target = c.setup();
    EXPECT_STREQ(DeleteResultName(DeleteFileSafely(target)), DeleteResultName(c.expected));
    if (c.expected == DeleteResult::Deleted) {
      EXPECT_FALSE(Exists(target.path));
    }
    for (const auto& s : c.survivors) EXPECT_TRUE(Exists(box.Path(s))) << s;
  }
}

TEST(FileDeleteTest, DeleteFileResolvesTheFolderButNotTheName) {
  test::Sandbox box;
  box.MakeFile("real/a");
  box.MakeFile("real/b");
  ::chmod(box.MakeFile("real/ro").c_str(), 0444);
  box.MakeSymlink("via", box.Path("real"));
  box.MakeSymlink("real/link", box.Path("real/b"));
  EXPECT_TRUE(DeleteFile(box.Path("via/a")));
  EXPECT_TRUE(DeleteFile(box.Path("real/link")));
  EXPECT_TRUE(Exists(box.Path("real/b")));
  EXPECT_FALSE(DeleteFile(box.Path("real/ro")));
  EXPECT_FALSE(DeleteFile(box.Path("real")));
  EXPECT_FALSE(DeleteFile(box.Path("real/missing")));
  EXPECT_FALSE(Exists(box.Path("real/a")));
  EXPECT_TRUE(Exists(box.Path("real/ro")));
}

TEST(FileDeleteTest, HomeXauthorityIsProtectedWhenTheVariableIsUnset) {
  test::Sandbox box;
  ScopedEnv xauth("XAUTHORITY", nullptr);
  box.MakeFile("home/.Xauthority");
  EXPECT_EQ(DeleteFileSafely(Scanned(box, "home", ".Xauthority")), DeleteResult::Protected);
  EXPECT_TRUE(Exists(box.Path("home/.Xauthority")));
}

// Starts a child that holds `path` open, or only mapped (descriptor closed),
// until it is killed; returns once the child holds it.
pid_t StartHolder(const std::string& path, bool mappedOnly) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) ::_exit(1);
    if (mappedOnly) {
      if (::mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED) ::_exit(1);
      ::close(fd);
    }
    if (::write(ready[1], "r", 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  const bool held = pid > 0 && ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  return held ? pid : -1;
}

TEST(FileDeleteTest, FileHeldByAnotherProcessIsInUse) {
  for (const bool mappedOnly : {false, true}) {
    SCOPED_TRACE(mappedOnly ? "mapped only" : "held open");
    test::Sandbox box;
    const std::string file = box.MakeFile("scan/held.tmp");
    const FileId id = IdOfPath(file);
    const pid_t holder = StartHolder(file, mappedOnly);
    ASSERT_GT(holder, 0);
    EXPECT_EQ(DeleteFileSafely(Scanned(box, "scan", "held.tmp")), DeleteResult::InUse);
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(IsFileInUse(file));
    EXPECT_TRUE(posix::AnyOtherProcessUses(id));  // the check where leases are unavailable
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_FALSE(IsFileInUse(file));
    EXPECT_FALSE(posix::AnyOtherProcessUses(id));
    EXPECT_EQ(DeleteFileSafely(Scanned(box, "scan", "held.tmp")), DeleteResult::Deleted);
  }
}

TEST(FileDeleteTest, ReadOnlyOptionAndDirectoryRemovalKeepThePathRules) {
  test::Sandbox box;
  struct Case {
    const char* label;
    bool directory;  // RemoveDirectorySafely, else DeleteFileSafely with allowReadOnly
    DeleteResult expected;
    std::function<DeleteTarget()> setup;
    std::vector<std::string> survivors = {};
  };
  const Case cases[] = {
      {"read-only file allowed", false, DeleteResult::Deleted,
       [&] {
         ::chmod(box.MakeFile("scan/ro").c_str(), 0444);
         return Scanned(box, "scan", "ro");
       }},
      {"read-only file swapped for another", false, DeleteResult::PathChanged,
       [&] {
         ::chmod(box.MakeFile("scan/ro2").c_str(), 0444);
         DeleteTarget t = Scanned(box, "scan", "ro2");
         // Made before the old one goes, so it cannot reuse its inode.
         box.MakeFile("scan/ro2-keep");
         ::rename(box.Path("scan/ro2-keep").c_str(), box.Path("scan/ro2").c_str());
         return t;
       },
       {"scan/ro2"}},
      {"empty directory", true, DeleteResult::Deleted,
       [&] { box.MakeDir("scan/empty"); return Scanned(box, "scan", "empty"); }},
      {"directory that is not empty", true, DeleteResult::Failed,
       [&] { box.MakeFile("scan/full/f"); return Scanned(box, "scan", "full"); }, {"scan/full/f"}},
      {"link to a directory", true, DeleteResult::NotAFile,
       [&] {
         box.MakeSymlink("scan/dirlink", box.MakeDir("keep/emptydir"));
         return Scanned(box, "scan", "dirlink");
       },
       {"scan/dirlink", "keep/emptydir"}},
      {"directory below a swapped folder", true, DeleteResult::PathChanged,
       [&] {
         box.MakeDir("scan/sw/inner");
         box.MakeDir("outside2/inner");
         DeleteTarget t = Scanned(box, "scan", "sw/inner");
         fs::rename(box.Path("scan/sw"), box.Path("sw-old"));
         box.MakeSymlink("scan/sw", box.Path("outside2"));
         return t;
       },
       {"outside2/inner"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const DeleteTarget t = c.setup();
    const DeleteResult r =
        c.directory ? RemoveDirectorySafely(t) : DeleteFileSafely(t, DeleteOptions{true});
    EXPECT_EQ(r, c.expected) << DeleteResultName(r);
    if (c.expected == DeleteResult::Deleted) {
      EXPECT_FALSE(Exists(t.path));
    }
    for (const auto& s : c.survivors) EXPECT_TRUE(Exists(box.Path(s))) << s;
  }
}

TEST(FileDeleteTest, DeleterSharesFoldersAndKeepsEveryRefusal) {
  test::Sandbox box;
  ScopedEnv xauth("XAUTHORITY", box.Path("scan/a/xauth").c_str());
  for (const char* f : {"scan/a/1", "scan/a/2", "scan/a/xauth", "scan/b/3", "scan/c/1", "scan/c/2",
                        "outside/3", "other/4"}) {
    box.MakeFile(f);
  }
  ::chmod(box.MakeFile("scan/a/ro").c_str(), 0444);
  std::string deep = "scan";
  for (int i = 0; i < 40; ++i) deep += "/d";
  box.MakeFile(deep + "/5");
  // Every target is recorded before anything changes, as a scan would.
  const DeleteTarget one = Scanned(box, "scan", "a/1"), two = Scanned(box, "scan", "a/2"),
                     ro = Scanned(box, "scan", "a/ro"), auth = Scanned(box, "scan", "a/xauth"),
                     three = Scanned(box, "scan", "b/3"), four = Scanned(box, "other", "4"),
                     five = Scanned(box, "scan", deep.substr(5) + "/5");
  const DeleteTarget c1 = Scanned(box, "scan", "c/1"), c2 = Scanned(box, "scan", "c/2");
  DeleteTarget unknownId = Scanned(box, "scan", "a/2");
  unknownId.fileId = {};
  unknownId.fileStamp = {};

  SafeDeleter deleter;
  EXPECT_EQ(deleter.Delete(one), DeleteResult::Deleted);
  EXPECT_EQ(deleter.Delete(ro), DeleteResult::ReadOnly);
  EXPECT_EQ(deleter.Delete(auth), DeleteResult::Protected);
  // The held folder moved away and another put in its place: the path no
  // longer leads to the file the scan saw, in the moved folder or the new,
  // once the folder is opened again (it serves the files right after it
  // for a few milliseconds only).
  fs::rename(box.Path("scan/a"), box.Path("a-moved"));
  PastFolderReuse();
  box.MakeFile("scan/a/2", "new");
  EXPECT_EQ(deleter.Delete(two), DeleteResult::PathChanged);
  EXPECT_TRUE(Exists(box.Path("a-moved/2")));
  EXPECT_TRUE(Exists(box.Path("scan/a/2")));
  // Without an identity nothing is reused: the path decides, as for
  // DeleteFileSafely.
  EXPECT_EQ(deleter.Delete(unknownId), DeleteResult::Deleted);
  EXPECT_FALSE(Exists(box.Path("scan/a/2")));
  // A folder not held yet, swapped for a link: refused, the outside stays.
  fs::rename(box.Path("scan/b"), box.Path("b-old"));
  box.MakeSymlink("scan/b", box.Path("outside"));
  EXPECT_EQ(deleter.Delete(three), DeleteResult::PathChanged);
  EXPECT_TRUE(Exists(box.Path("outside/3")));
  // A held folder moved away with a link to it left in its place.
  EXPECT_EQ(deleter.Delete(c1), DeleteResult::Deleted);
  fs::rename(box.Path("scan/c"), box.Path("c-moved"));
  box.MakeSymlink("scan/c", box.Path("c-moved"));
  PastFolderReuse();
  EXPECT_EQ(deleter.Delete(c2), DeleteResult::PathChanged);
  EXPECT_TRUE(Exists(box.Path("c-moved/2")));
  // Another root, and a path deeper than the folders a deleter holds.
  EXPECT_EQ(deleter.Delete(four), DeleteResult::Deleted);
  EXPECT_EQ(deleter.Delete(five), DeleteResult::Deleted);
  EXPECT_FALSE(Exists(five.path));
}

// A pass through the queue: every file handed back once, in the order
// given, with the refusal a lone deleter would make, whatever the number
// of workers and however the folders alternate.
TEST(DeletionQueueTest, HandsBackEveryOutcomeInOrderWithEveryRefusal) {
  for (const unsigned threads : {1U, 2U, 4U}) {
    SCOPED_TRACE(threads);
    test::Sandbox box;
    struct File {
      DeleteTarget target;
      DeleteResult expected = DeleteResult::Deleted;
    };
    std::vector<File> files;
    // File by file across the folders, so that runs of one folder are
    // short and a folder comes back after others.
    for (int i = 0; i < 12; ++i) {
      for (int d = 0; d < 16; ++d) {
        const std::string name = "d" + std::to_string(d) + "/f" + std::to_string(i);
        box.MakeFile("scan/" + name);
        const bool readOnly = i == 3 && d % 4 == 0;
        if (readOnly) ::chmod(box.Path("scan/" + name).c_str(), 0444);
        files.push_back({Scanned(box, "scan", name), readOnly ? DeleteResult::ReadOnly : DeleteResult::Deleted});
      }
    }
    // Changed between scan and clean: a file written anew, one gone, and a
    // folder swapped for a link to a folder outside with the same names.
    fs::remove(files[5].target.path);
    box.MakeFile(files[5].target.path.substr(box.Root().size() + 1), "new");
    files[5].expected = DeleteResult::PathChanged;
    fs::remove(files[6].target.path);
    files[6].expected = DeleteResult::NotFound;
    fs::rename(box.Path("scan/d9"), box.Path("outside"));
    box.MakeSymlink("scan/d9", box.Path("outside"));
    for (File& f : files) {
      if (f.target.path.find("/d9/") != std::string::npos) f.expected = DeleteResult::PathChanged;
    }

    std::vector<std::uint64_t> tags;
    std::vector<std::string> paths;
    std::vector<DeleteResult> results;
    {
      DeletionQueue queue(
          [&](DeletionQueue::Outcome& o) {
            tags.push_back(o.tag);
            paths.push_back(o.target.path);
            results.push_back(o.result);
          },
          threads);
      for (std::size_t i = 0; i < files.size(); ++i) queue.Add(files[i].target, i);
      queue.Finish();
    }
    ASSERT_EQ(tags.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
      SCOPED_TRACE(files[i].target.path);
      EXPECT_EQ(tags[i], i);
      EXPECT_EQ(paths[i], files[i].target.path);
      EXPECT_EQ(results[i], files[i].expected);
      EXPECT_EQ(Exists(files[i].target.path), files[i].expected != DeleteResult::Deleted &&
                                                   files[i].expected != DeleteResult::NotFound);
    }
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(Exists(box.Path("outside/f" + std::to_string(i))));
  }
}

// Stop, as Cancel does: what was not begun stays on disk and is never
// handed back, and nothing is taken after it. Each worker is held in its
// first deletion until Stop has come, so exactly two files were begun.
TEST(DeletionQueueTest, StopLeavesEveryFileNotBegun) {
  test::Sandbox box;
  std::vector<DeleteTarget> targets;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "d" + std::to_string(i % 3) + "/f" + std::to_string(i);
    box.MakeFile("scan/" + name);
    targets.push_back(Scanned(box, "scan", name));
  }
  struct Held {
    std::atomic<int> begun{0};
    std::atomic<bool> stopped{false};
  } held;
  SetDeleteStageHookForTesting(
      [](DeleteStage stage, int, void* context) {
        if (stage != DeleteStage::BeforeRemoval) return;
        auto* h = static_cast<Held*>(context);
        ++h->begun;
        while (!h->stopped.load()) std::this_thread::yield();
      },
      &held);
  std::vector<std::size_t> handedBack;
  {
    DeletionQueue queue([&](DeletionQueue::Outcome& o) {
      EXPECT_EQ(o.result, DeleteResult::Deleted);
      handedBack.push_back(o.tag);
    }, 2);
    for (std::size_t i = 0; i + 1 < targets.size(); ++i) queue.Add(targets[i], i);
    while (held.begun.load() < 2) std::this_thread::yield();
    queue.Stop();
    queue.Add(targets.back(), targets.size() - 1);
    held.stopped = true;
    queue.Finish();
  }
  SetDeleteStageHookForTesting(nullptr, nullptr);
  EXPECT_EQ(handedBack.size(), 2U);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const bool gone = std::find(handedBack.begin(), handedBack.end(), i) != handedBack.end();
    EXPECT_NE(Exists(targets[i].path), gone) << targets[i].path;
  }
}

}  // namespace
}  // namespace purgo::platform

namespace purgo::platform {
namespace {

// A file deleted and created anew under the same name between scan and
// clean: on ext4 the new one often gets the old inode number back, so the
// identity alone would pass. The stamp tells them apart.
TEST(FileDeleteTest, NewFileWithTheOldIdentityIsNotTheScannedOne) {
  test::Sandbox box;
  box.MakeFile("scan/reused", "old");
  const DeleteTarget seen = Scanned(box, "scan", "reused");
  ASSERT_TRUE(seen.fileStamp.IsKnown());
  ::unlink(seen.path.c_str());
  box.MakeFile("scan/reused", "new file");
  DeleteTarget stale = seen;
  stale.fileId = IdOfPath(seen.path);  // as if the number had been reused
  for (const bool shared : {false, true}) {
    SafeDeleter deleter;
    EXPECT_EQ(shared ? deleter.Delete(stale) : DeleteFileSafely(stale), DeleteResult::PathChanged);
    EXPECT_EQ(test::ReadBytes(seen.path), "new file");
  }
}

// The moments between the last checks and the unlink, reached through the
// test hook: what a racing process can do there and what the deletion
// answers.
struct StageAction {
  DeleteStage stage;
  std::function<void(int heldFd)> act;
};

void RunStageAction(DeleteStage stage, int heldFd, void* context) {
  auto* action = static_cast<StageAction*>(context);
  if (stage == action->stage && action->act) {
    auto act = std::move(action->act);
    action->act = nullptr;
    act(heldFd);
  }
}

struct StageHook {
  explicit StageHook(StageAction& a) { SetDeleteStageHookForTesting(&RunStageAction, &a); }
  ~StageHook() { SetDeleteStageHookForTesting(nullptr, nullptr); }
};

// Forks a process that opens `path` for appending and writes "+" when it
// got a file that still has a name. Its exit status: 0 appended to a linked
// file, 1 got a file already unlinked, 3 found nothing, 2 anything else.
// Returns once its open waits on the lease of `heldFd` or it has ended.
pid_t StartOpener(const std::string& path, int heldFd) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The inherited copy would keep the lease alive after the deleter let go.
    ::close(heldFd);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    struct stat st {};
    if (fd < 0) ::_exit(errno == ENOENT ? 3 : 2);
    ::_exit(::fstat(fd, &st) != 0 ? 2 : st.st_nlink == 0 ? 1 : ::write(fd, "+", 1) == 1 ? 0 : 2);
  }
  for (int i = 0; i < 500 && ::fcntl(heldFd, F_GETLEASE) == F_WRLCK; ++i) {
    siginfo_t info {};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      break;
    }
    ::usleep(10000);
  }
  return pid;
}

// The name the deletion moved the file to while it decides, if any.
std::string PrivateNameIn(const std::string& dir) {
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().starts_with(".purgo-deleting-")) return e.path().string();
  }
  return {};
}

TEST(FileDeleteTest, RacesAroundTheUnlinkAreRefusedOrReported) {
  test::Sandbox box;
  const auto swap = [&](int) {
    ASSERT_EQ(::renameat2(AT_FDCWD, box.Path("scan/victim").c_str(), AT_FDCWD,
                          box.Path("scan/other").c_str(), RENAME_EXCHANGE), 0);
  };
  const auto swapPrivate = [&](int) {
    const std::string hidden = PrivateNameIn(box.Path("scan"));
    ASSERT_FALSE(hidden.empty());
    ASSERT_EQ(::renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, box.Path("scan/other").c_str(),
                          RENAME_EXCHANGE), 0);
  };
  pid_t opener = -1;
  const auto openByName = [&](int heldFd) { opener = StartOpener(box.Path("scan/victim"), heldFd); };
  // An opener whose lookup of the name was done before the file left it
  // reaches the file itself, as through its descriptor.
  const auto openLookedUp = [&](int heldFd) {
    opener = StartOpener("/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(heldFd),
                         heldFd);
  };
  // An open through a lookup made before the file left its name, held
  // across the deletion.
  int heldByTest = -1;
  const auto holdOpen = [&](int heldFd) {
    heldByTest = ::open(("/proc/self/fd/" + std::to_string(heldFd)).c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(heldByTest, 0);
    ASSERT_EQ(::write(heldByTest, "+", 1), 1);
  };
  struct Case {
    const char* label;
    bool othersWrite;  // the folder is writable by everyone: the longer deletion
    StageAction action;
    DeleteResult expected;
    std::string victimAfter, otherAfter;  // "" when gone
    int openerExit = -1;
  };
  const Case cases[] = {
      {"names swapped before the last look", true, {DeleteStage::AfterUseCheck, swap},
       DeleteResult::PathChanged, "other", "victim"},
      {"names swapped right before the file leaves its name", true,
       {DeleteStage::BeforeRemoval, swap}, DeleteResult::PathChanged, "other", "victim"},
      // Someone who asks to open the file waits for the lease, and must
      // then find the file still there, under its name.
      {"opened by name meanwhile", true, {DeleteStage::BeforeRemoval, openByName},
       DeleteResult::InUse, "victim+", "other", 0},
      {"opened through a lookup made before the file left its name", true,
       {DeleteStage::Hidden, openLookedUp}, DeleteResult::InUse, "victim+", "other", 0},
      // Past the last look at the lease the name is already gone: a new
      // opener finds nothing rather than a file about to be unlinked.
      {"opened by name after the last lease check", true, {DeleteStage::BeforeUnlink, openByName},
       DeleteResult::Deleted, "", "other", 3},
      // The remaining window: the other file goes, but it is never
      // reported as the file the user saw.
      {"private name swapped right before the unlink", true,
       {DeleteStage::BeforeUnlink, swapPrivate}, DeleteResult::PathChanged, "", "victim"},
      // Where only this user renames, the file leaves its name first and
      // is checked where it went.
      {"only we rename: names swapped before the file leaves its name", false,
       {DeleteStage::BeforeRemoval, swap}, DeleteResult::PathChanged, "other", "victim"},
      {"only we rename: opened after the move through an earlier lookup", false,
       {DeleteStage::Hidden, holdOpen}, DeleteResult::InUse, "victim+", "other"},
      {"only we rename: opened by name while held", false,
       {DeleteStage::AfterUseCheck, openByName}, DeleteResult::Deleted, "", "other", 3},
  };
  // Both ways in: a deleter of a pass ignores SIGIO while it lives instead
  // of naming a signal for each lease, and a broken lease must not end
  // the process either way.
  for (const bool viaDeleter : {false, true})
  for (Case c : cases) {
    SCOPED_TRACE(c.label);
    SCOPED_TRACE(viaDeleter ? "through a deleter" : "alone");
    box.MakeFile("scan/victim", "victim");
    box.MakeFile("scan/other", "other");
    ASSERT_EQ(::chmod(box.Path("scan").c_str(), c.othersWrite ? 0777 : 0755), 0);
    const DeleteTarget target = Scanned(box, "scan", "victim");
    {
      StageHook hook(c.action);
      SafeDeleter deleter;
      EXPECT_EQ(viaDeleter ? deleter.Delete(target) : DeleteFileSafely(target), c.expected);
    }
    if (heldByTest >= 0) {
      struct stat st {};
      EXPECT_EQ(::fstat(heldByTest, &st), 0);
      EXPECT_EQ(st.st_nlink, 1u);
      ::close(heldByTest);
      heldByTest = -1;
    }
    if (opener > 0) {
      int status = 0;
      ::waitpid(opener, &status, 0);
      EXPECT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), c.openerExit);
      opener = -1;
    }
    const auto content = [](const std::string& p) { return Exists(p) ? test::ReadBytes(p) : ""; };
    // After a swap the names are exchanged back, so each name is checked
    // for the content that ended under it.
    EXPECT_EQ(content(box.Path("scan/victim")), c.victimAfter);
    EXPECT_EQ(content(box.Path("scan/other")), c.otherAfter);
    EXPECT_EQ(PrivateNameIn(box.Path("scan")), "");
    ::unlink(box.Path("scan/victim").c_str());
    ::unlink(box.Path("scan/other").c_str());
  }
}

// Another user's file can be neither leased nor seen in use by this user:
// it counts as in use, and is refused as theirs, even in a folder where
// this user may delete it.
TEST(FileDeleteTest, OtherUsersFilesAreNeverTakenAsFree) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
  test::Sandbox box;
  const std::string dir = box.MakeDir("shared");
  ::chmod(box.Path("").c_str(), 0755);
  ::chmod(dir.c_str(), 0777);
  const std::string file = box.MakeFile("shared/theirs.tmp", "theirs");
  ::chmod(file.c_str(), 0666);
  const DeleteTarget target = Scanned(box, "shared", "theirs.tmp");
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(2);
    const bool inUse = IsFileInUse(file);
    ::_exit(DeleteFileSafely(target) == DeleteResult::OtherOwner && inUse ? 0 : 1);
  }
  int status = -1;
  ::waitpid(pid, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Exists(file));
}

// Another user's file stays whoever runs the cleaner, root included, as a
// link or read-only too; the same file, once this user's, goes.
TEST(FileDeleteTest, OtherUsersFilesAreRefusedEvenToRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
  test::Sandbox box;
  box.MakeFile("scan/plain.tmp");
  ::chmod(box.MakeFile("scan/ro.tmp").c_str(), 0444);
  box.MakeSymlink("scan/link", box.MakeFile("keep/mine"));
  for (const std::string name : {"plain.tmp", "ro.tmp", "link"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(::lchown(box.Path("scan/" + name).c_str(), 65534, 65534), 0);
    const DeleteTarget t = Scanned(box, "scan", name);
    SafeDeleter deleter;
    EXPECT_EQ(DeleteFileSafely(t, DeleteOptions{true}), DeleteResult::OtherOwner);
    EXPECT_EQ(deleter.Delete(t, DeleteOptions{true}), DeleteResult::OtherOwner);
    ASSERT_EQ(::lchown(box.Path("scan/" + name).c_str(), 0, 0), 0);
    EXPECT_EQ(DeleteFileSafely(Scanned(box, "scan", name), DeleteOptions{true}), DeleteResult::Deleted);
  }
  EXPECT_TRUE(Exists(box.Path("keep/mine")));
}

// Deleting a link on the way from $XAUTHORITY to the cookie leaves the
// cookie where no client looks: every such link is protected, as the
// cookie is, however the way goes.
TEST(FileDeleteTest, EveryLinkOnTheWayToTheSessionFileIsProtected) {
  struct Case {
    const char* label;
    const char* xauthority;  // below the sandbox
    std::vector<std::pair<std::string, std::string>> links;  // name, target as written
    std::vector<std::string> protectedNames;
  };
  const Case cases[] = {
      {"direct link", "s/link", {{"s/link", "@real/cookie"}}, {"s/link", "real/cookie"}},
      {"chain of links", "s/a", {{"s/a", "@s/b"}, {"s/b", "@real/cookie"}},
       {"s/a", "s/b", "real/cookie"}},
      {"link to a folder on the way", "s/dir/cookie", {{"s/dir", "@real"}},
       {"s/dir", "real/cookie"}},
      {"relative targets", "s/a", {{"s/a", "b"}, {"s/b", "../real/./cookie"}},
       {"s/a", "s/b", "real/cookie"}},
      {"a loop ends the lookup", "s/a", {{"s/a", "b"}, {"s/b", "a"}}, {"s/a", "s/b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::Sandbox box;
    box.MakeFile("real/cookie");
    box.MakeFile("s/bystander");
    for (const auto& [name, target] : c.links) {
      box.MakeSymlink(name, target.starts_with('@') ? box.Path(target.substr(1)) : target);
    }
    ScopedEnv xauth("XAUTHORITY", box.Path(c.xauthority).c_str());
    SafeDeleter deleter;
    for (const std::string& p : c.protectedNames) {
      const std::size_t slash = p.find('/');
      const DeleteTarget t = Scanned(box, p.substr(0, slash), p.substr(slash + 1));
      EXPECT_EQ(DeleteFileSafely(t), DeleteResult::Protected) << p;
      EXPECT_EQ(deleter.Delete(t), DeleteResult::Protected) << p;
      EXPECT_TRUE(Exists(box.Path(p))) << p;
    }
    EXPECT_EQ(DeleteFileSafely(Scanned(box, "s", "bystander")), DeleteResult::Deleted);
  }
}

// A pass over a tree far deeper than the folders kept open, in both
// directions: every file goes, through folders reopened down and up, and
// a folder swapped for a link in the middle stops the files below it.
TEST(FileDeleteTest, DeleterWalksDeepTreesBothWaysAndNoticesSwaps) {
  test::Sandbox box;
  constexpr std::size_t kDepth = 300;
  const std::string kDir = "dddddddd/";  // 2,700 bytes in all: past the one-call lookup
  std::vector<DeleteTarget> down;
  std::string rel;
  for (std::size_t i = 0; i < kDepth; ++i) {
    rel += kDir;
    box.MakeFile("deep/" + rel + "f");
  }
  for (std::string r = rel; !r.empty(); r.resize(r.size() - kDir.size())) {
    down.insert(down.begin(), Scanned(box, "deep", r + "f"));
  }
  SafeDeleter deleter;
  // Deepest first, then outward: the held window climbs through "..".
  for (auto it = down.rbegin(); it != down.rend(); ++it) {
    EXPECT_EQ(deleter.Delete(*it), DeleteResult::Deleted) << it->path.size();
  }
  for (const DeleteTarget& t : down) box.MakeFile(t.path.substr(box.Root().size() + 1));
  std::vector<DeleteTarget> again;
  for (const DeleteTarget& t : down) {
    again.push_back(Scanned(box, "deep", t.path.substr(box.Path("deep/").size())));
  }
  const std::size_t half = kDepth / 2;
  for (std::size_t i = 0; i < half; ++i) EXPECT_EQ(deleter.Delete(again[i]), DeleteResult::Deleted);
  // Halfway down, the next folder is moved away and a link to it left.
  const std::string mid = box.Path("deep/" + rel.substr(0, half * kDir.size() - 1));
  fs::rename(mid, box.Path("moved"));
  ASSERT_EQ(::symlink(box.Path("moved").c_str(), mid.c_str()), 0);
  EXPECT_EQ(deleter.Delete(again[half]), DeleteResult::PathChanged);
  EXPECT_EQ(deleter.Delete(again.back()), DeleteResult::PathChanged);
  EXPECT_TRUE(Exists(box.Path("moved/" + kDir + "f")));
  EXPECT_TRUE(Exists(box.Path("moved/" + rel.substr(half * kDir.size()) + "f")));
}

}  // namespace
}  // namespace purgo::platform
