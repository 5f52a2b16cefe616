// SPDX-License-Identifier: GPL-3.0-or-later
// Attribute mapping, single-object queries and one-directory listings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/FileSystem.h"
#include "platform/PosixFiles.h"
#include "tests/Sandbox.h"

namespace purgo::platform {
namespace {

constexpr std::uint64_t kFiveGiB = 5ULL << 30;
const std::string kBadName = "bad\xff\xfe.tmp";

// Binds a Unix socket at `dir`/`name`. A socket address holds about a
// hundred bytes, less than the sandbox's path wherever the checkout lies,
// so the address goes through the folder's descriptor, whose path is short.
bool MakeSocketFile(const std::string& dir, const std::string& name) {
  const int dirFd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
  bool bound = false;
  if (dirFd >= 0 && sock >= 0 && path.size() < sizeof addr.sun_path) {
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    bound = ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  if (sock >= 0) ::close(sock);
  if (dirFd >= 0) ::close(dirFd);
  struct stat st {};
  return bound && ::lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// A folder holding one of every kind of object the listing must get right,
// and a folder outside it that only a followed link would reach.
std::string MakeFixtureTree(test::Sandbox& box) {
  box.MakeFile("outside/secret.txt");
  box.MakeFile("tree/plain.txt", "hello");
  box.MakeFile("tree/.hidden");
  ::chmod(box.MakeFile("tree/readonly.txt").c_str(), 0444);
  box.MakeFile("tree/sub/inner.txt");
  box.MakeFile("tree/.hiddendir/inner.txt");
  box.MakeSymlink("tree/link-dir", box.Path("outside"));
  box.MakeSymlink("tree/link-file", box.Path("tree/plain.txt"));
  box.MakeFile("tree/" + kBadName);
  const std::string tree = box.Path("tree");
  EXPECT_EQ(::mkfifo((tree + "/fifo").c_str(), 0644), 0);
  EXPECT_TRUE(MakeSocketFile(tree, "sock"));
  const int fd = ::open((tree + "/sparse.bin").c_str(), O_CREAT | O_WRONLY, 0644);
  EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(kFiveGiB)), 0);
  ::close(fd);
  return tree;
}

std::map<std::string, FileAttributeData> ListByName(const std::string& dir, std::uint32_t mask) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(ListDirectory(dir, mask, entries));
  std::map<std::string, FileAttributeData> byName;
  for (const auto& e : entries) EXPECT_TRUE(byName.emplace(e.name, e.data).second) << e.name;
  return byName;
}

TEST(FileSystemTest, ListingReportsKindsAttributesAndSizes) {
  test::Sandbox box;
  const std::string tree = MakeFixtureTree(box);
  const auto listed = ListByName(tree, 0xFFFF);

  struct Expected {
    std::uint32_t attributes;
    std::uint64_t size;
  };
  const std::map<std::string, Expected> expected = {
      {"plain.txt", {kAttrArchive, 5}},
      {".hidden", {kAttrArchive | kAttrHidden, 1}},
      {"readonly.txt", {kAttrArchive | kAttrReadOnly, 1}},
      {"sub", {kAttrDirectory, 0}},
      {".hiddendir", {kAttrDirectory | kAttrHidden, 0}},
      {"link-dir", {kAttrArchive, box.Path("outside").size()}},
      {"link-file", {kAttrArchive, box.Path("tree/plain.txt").size()}},
      {kBadName, {kAttrArchive, 1}},
      {"sparse.bin", {kAttrArchive, kFiveGiB}},
  };
  ASSERT_EQ(listed.size(), expected.size());
  for (const auto& [name, want] : expected) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(listed.count(name));
    const FileAttributeData& got = listed.at(name);
    EXPECT_EQ(got.attributes, want.attributes);
    EXPECT_EQ(got.size, want.size);
    EXPECT_FALSE(got.lastWriteTime.IsZero());
    EXPECT_FALSE(got.creationTime.IsZero());
    // A single query must agree with the listing about the same object.
    const auto single = GetFileAttributes(tree + "/" + name);
    ASSERT_TRUE(single.has_value());
    EXPECT_EQ(single->attributes, got.attributes);
    EXPECT_EQ(single->size, got.size);
    EXPECT_EQ(single->id, got.id);
  }
  for (const char* absent : {"fifo", "sock", "missing"}) {
    EXPECT_FALSE(GetFileAttributes(tree + "/" + absent).has_value()) << absent;
  }
  // The mask passes over hidden entries and directories unless it names them.
  for (const std::uint32_t mask : {0x1B4U, kAttrHidden, 0U}) {
    const auto some = ListByName(tree, mask);
    EXPECT_EQ(some.count(".hidden"), (mask & kAttrHidden) ? 1U : 0U) << mask;
    EXPECT_EQ(some.count("sub"), (mask & kAttrDirectory) ? 1U : 0U) << mask;
    EXPECT_EQ(some.count(".hiddendir"), 0U) << mask;
    EXPECT_EQ(some.count("readonly.txt"), 1U) << mask;
  }
}

TEST(FileSystemTest, TimesConvertToFileTime) {
  test::Sandbox box;
  const std::string file = box.MakeFile("timed");
  const timespec times[2] = {{1700000000, 123456789}, {-86400, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  const auto data = GetFileAttributes(file);
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(data->lastAccessTime.Value(), (1700000000ULL + 11644473600ULL) * 10'000'000 + 1234567);
  EXPECT_EQ(data->lastWriteTime.Value(), (11644473600ULL - 86400ULL) * 10'000'000);
}

TEST(FileSystemTest, DirectoryExistsFollowsLinksAndForceDirectoriesCreatesParents) {
  test::Sandbox box;
  box.MakeFile("file");
  box.MakeDir("dir");
  box.MakeSymlink("link-dir", box.Path("dir"));
  box.MakeSymlink("link-file", box.Path("file"));
  for (const auto& [name, isDir] : std::map<std::string, bool>{
           {"dir", true}, {"link-dir", true}, {"file", false}, {"link-file", false}, {"none", false}}) {
    EXPECT_EQ(DirectoryExists(box.Path(name)), isDir) << name;
  }
  EXPECT_FALSE(DirectoryExists(""));

  for (const auto& [relative, created] : std::map<std::string, bool>{
           {"a/b/c", true}, {"x/y//z/", true}, {"dir", true}, {"link-dir/new", true},
           {"file", false}, {"file/sub", false}, {"file/sub/deeper", false}}) {
    EXPECT_EQ(ForceDirectories(box.Path(relative)), created) << relative;
    EXPECT_EQ(DirectoryExists(box.Path(relative)), created) << relative;
  }
  EXPECT_FALSE(ForceDirectories(""));
}

// Unmounts on scope exit, so the sandbox can be removed even when a check fails.
struct MountGuard {
  std::string target;
  ~MountGuard() {
    if (!target.empty()) ::umount2(target.c_str(), MNT_DETACH);
  }
};

TEST(FileSystemTest, MountPointsBelowTheRootAreNotListed) {
  test::Sandbox box;
  box.MakeFile("tree/sub/inner.txt");
  const std::string other = box.MakeDir("tree/other-fs");
  const std::string bind = box.MakeDir("tree/bind-of-sub");
  MountGuard otherGuard, bindGuard;
  if (::mount("purgo-test", other.c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << std::strerror(errno);
  }
  otherGuard.target = other;
  // A bind mount stays on the same device; only its mount tells it.
  ASSERT_EQ(::mount(box.Path("tree/sub").c_str(), bind.c_str(), nullptr, MS_BIND, nullptr), 0);
  bindGuard.target = bind;
  const auto listed = ListByName(box.Path("tree"), 0xFFFF);
  EXPECT_EQ(listed.size(), 1U);
  EXPECT_EQ(listed.count("sub"), 1U);
}

// What a file system leaves out of statx must read as "unknown", never as
// the placeholder the kernel leaves there: an unknown access time as a
// zero time (no age), an unknown birth time as the change time and size.
TEST(FileSystemTest, TimesTheFileSystemDoesNotRecordAreUnknown) {
  struct statx sx {};
  sx.stx_mode = S_IFREG | 0644;
  sx.stx_size = 42;
  sx.stx_atime = {1, 0, 0};  // what the kernel leaves without an access time
  sx.stx_btime = {1700000000, 5, 0};
  sx.stx_ctime = {1700000100, 7, 0};
  struct Case {
    unsigned mask;
    bool accessTime;
    FileStamp stamp;
  };
  const std::uint64_t birth = 1700000000ull * 1000000000u + 5, change = 1700000100ull * 1000000000u + 7;
  for (const Case& c : {Case{STATX_BASIC_STATS | STATX_BTIME, true, {birth, 0, 0}},
                        Case{STATX_BASIC_STATS & ~STATX_ATIME, false, {0, change, 42}}}) {
    sx.stx_mask = c.mask;
    const FileAttributeData d = posix::DataOf(sx, false);
    EXPECT_EQ(d.lastAccessTime.IsZero(), !c.accessTime);
    EXPECT_EQ(d.stamp, c.stamp);
  }
}

}  // namespace
}  // namespace purgo::platform
