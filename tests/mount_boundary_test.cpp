// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/PosixFiles.h"
#include "tests/Sandbox.h"

namespace purgo::platform::posix {
namespace {

constexpr int kNo = 0, kYes = 1, kUnknown = -1;

MountFacts Facts(std::uint64_t device, int mountId, int mountRoot = kUnknown) {
  MountFacts f;
  f.device = device;
  f.mountIdKnown = mountId != kUnknown;
  f.mountId = f.mountIdKnown ? static_cast<std::uint64_t>(mountId) : 0;
  f.mountRootKnown = mountRoot != kUnknown;
  f.mountRoot = mountRoot == kYes;
  return f;
}

TEST(IsOtherMount, DecidesByMountIdThenDeviceThenMountRootThenTable) {
  const MountFacts root = Facts(7, 30);
  const MountFacts rootWithoutId = Facts(7, kUnknown);
  const struct {
    const char* name;
    MountFacts root, entry;
    bool inTable;
    bool other;
    bool tableAsked;
  } cases[] = {
      {"btrfs subvolume: other device, same mount", root, Facts(9, 30, kNo), false, false, false},
      {"bind mount: same device, other mount", root, Facts(7, 31, kYes), false, true, false},
      {"plain folder", root, Facts(7, 30, kNo), true, false, false},
      {"other file system", root, Facts(9, 31), false, true, false},
      {"only the root's id known: device", root, Facts(9, kUnknown), false, true, false},
      {"only the entry's id known: device", rootWithoutId, Facts(7, 30, kNo), true, false, false},
      {"no ids, other device", rootWithoutId, Facts(9, kUnknown), false, true, false},
      {"no ids, mount root", rootWithoutId, Facts(7, kUnknown, kYes), false, true, false},
      {"no ids, not a mount root", rootWithoutId, Facts(7, kUnknown, kNo), true, false, false},
      {"old kernel: bind mount in the table", rootWithoutId, Facts(7, kUnknown), true, true, true},
      {"old kernel: folder not in the table", rootWithoutId, Facts(7, kUnknown), false, false, true},
  };
  for (const auto& c : cases) {
    int asked = 0;
    const bool other = IsOtherMount(c.root, c.entry, [&] {
      ++asked;
      return c.inTable;
    });
    EXPECT_EQ(other, c.other) << c.name;
    EXPECT_EQ(asked, c.tableAsked ? 1 : 0) << c.name;
  }
}

struct MountGuard {
  std::string target;
  ~MountGuard() {
    if (!target.empty()) ::umount2(target.c_str(), MNT_DETACH);
  }
};

// Real mounts, judged once with what this kernel tells and once as a kernel
// without mount ids or the mount-root attribute would, so that the mount
// table (and the path looked up in it) decides.
TEST(MountBoundary, TellsMountsBelowTheRootWithAndWithoutMountIds) {
  test::Sandbox box;
  box.MakeFile("tree/sub/deeper/inner.txt");
  const std::string other = box.MakeDir("tree/other fs");
  const std::string bind = box.MakeDir("tree/sub/bind of deeper");
  MountGuard otherGuard, bindGuard;
  if (::mount("purgo-test", other.c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << std::strerror(errno);
  }
  otherGuard.target = other;
  ASSERT_EQ(::mount(box.Path("tree/sub/deeper").c_str(), bind.c_str(), nullptr, MS_BIND, nullptr), 0);
  bindGuard.target = bind;
  // The walk's root is given through a link: the table knows only the real path.
  box.MakeSymlink("via-link", box.Path("tree"));
  const std::string root = box.Path("via-link") + "/";

  const struct {
    std::string dir, name;
    bool other;
  } cases[] = {
      {root, "sub", false},
      {root, "other fs", true},
      {root + "sub/", "deeper", false},
      {root + "sub/", "bind of deeper", true},
  };
  for (const bool oldKernel : {false, true}) {
    UniqueFd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(rootFd.Valid());
    MountBoundary boundary(rootFd.Get(), root);
    for (const auto& c : cases) {
      struct statx sx {};
      ASSERT_EQ(StatAt(AT_FDCWD, (c.dir + c.name).c_str(), sx), 0) << c.name;
      ASSERT_NE(sx.stx_mask & STATX_MNT_ID, 0U) << "this kernel gives mount ids";
      if (oldKernel) {
        sx.stx_mask &= ~static_cast<unsigned>(STATX_MNT_ID);
        sx.stx_attributes_mask &= ~static_cast<std::uint64_t>(STATX_ATTR_MOUNT_ROOT);
      }
      EXPECT_EQ(boundary.IsBeyond(sx, c.dir, c.name), c.other)
          << c.dir << c.name << (oldKernel ? " without mount ids" : "");
    }
  }
}

}  // namespace
}  // namespace purgo::platform::posix
