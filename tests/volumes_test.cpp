// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/VolumeInfos.h"
#include "platform/Mounts.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

using platform::VolumeData;
using Listed = std::vector<std::pair<std::string, std::uint32_t>>;

Listed MountPointsAndTypes(const std::vector<VolumeData>& volumes) {
  Listed out;
  for (const auto& v : volumes) out.emplace_back(v.mountPoint, v.driveType);
  return out;
}

// As the kernel writes a path field of mountinfo.
std::string Escape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ') out += "\\040";
    else if (c == '\\') out += "\\134";
    else out += c;
  }
  return out;
}

constexpr auto kRemovable = platform::DRIVE_REMOVABLE;
constexpr auto kFixed = platform::DRIVE_FIXED;
constexpr auto kRemote = platform::DRIVE_REMOTE;
constexpr auto kCdrom = platform::DRIVE_CDROM;
constexpr auto kRam = platform::DRIVE_RAMDISK;

const char* const kDesktop = R"(22 28 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw
23 28 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw
24 28 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8000000k,mode=755
25 24 0:23 / /dev/pts rw,nosuid,noexec,relatime shared:3 - devpts devpts rw,gid=5,mode=620
26 28 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1600000k,mode=755
28 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro
30 22 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:9 - cgroup2 cgroup2 rw,nsdelegate
31 22 0:7 / /sys/kernel/debug rw,nosuid,nodev,noexec,relatime shared:10 - debugfs debugfs rw
45 28 7:1 / /snap/core22/1380 ro,nodev,relatime shared:25 - squashfs /dev/loop1 ro,errors=continue
50 28 259:1 / /boot/efi rw,relatime shared:30 - vfat /dev/nvme0n1p1 rw,fmask=0077,dmask=0077
52 28 0:40 / /tmp rw,nosuid,nodev shared:31 - tmpfs tmpfs rw,size=8000000k
60 26 0:50 / /run/user/1000 rw,nosuid,nodev,relatime shared:400 - tmpfs tmpfs rw,mode=700,uid=1000
61 60 0:51 / /run/user/1000/doc rw,nosuid,nodev,relatime shared:401 - fuse.portal portal rw
70 28 0:60 / /mnt/nas rw,relatime shared:500 - nfs4 nas.local:/export rw,vers=4.2
71 28 0:61 / /mnt/share rw,relatime shared:501 - cifs //server/share rw,vers=3.1.1
80 28 8:17 / /media/alice/MY\040STICK rw,nosuid,nodev,relatime shared:600 - vfat /dev/sdb1 rw,uid=1000
81 28 11:0 / /media/alice/DVD ro,nosuid,nodev,relatime shared:601 - iso9660 /dev/sr0 ro,uid=1000
)";

const char* const kContainer = R"(500 400 0:120 / / rw,relatime - overlay overlay rw,lowerdir=/var/lib/docker/l/A:/var/lib/docker/l/B
501 500 0:123 / /proc rw,nosuid,nodev,noexec,relatime - proc proc rw
502 500 0:124 / /dev rw,nosuid - tmpfs tmpfs rw,size=65536k,mode=755
503 500 0:125 / /sys ro,nosuid,nodev,noexec,relatime - sysfs sysfs ro
510 500 254:1 /var/lib/docker/containers/abc/hosts /etc/hosts rw,relatime - ext4 /dev/vda1 rw
511 500 254:1 /home/alice/project /work rw,relatime - ext4 /dev/vda1 rw
)";

TEST(ParseVolumes, ClassifiesRealisticMountTables) {
  const struct {
    const char* name;
    std::string text;
    Listed expected;
  } cases[] = {
      {"desktop", kDesktop,
       {{"/", kFixed},
        {"/boot/efi", kFixed},
        {"/tmp", kRam},
        {"/mnt/nas", kRemote},
        {"/mnt/share", kRemote},
        {"/media/alice/MY STICK", kFixed},  // removable only when sysfs is asked
        {"/media/alice/DVD", kCdrom}}},
      {"container: overlay root, file and folder bind mounts", kContainer, {{"/", kFixed}}},
      {"root listed first even when mounted later",
       "40 30 8:3 / /data rw - ext4 /dev/sda3 rw\n"
       "30 1 8:2 / / rw - xfs /dev/sda2 rw\n",
       {{"/", kFixed}, {"/data", kFixed}}},
      {"btrfs subvolumes are volumes, a sub-folder of one is a bind mount",
       "30 1 0:27 /@ / rw - btrfs /dev/sda2 rw,ssd,subvolid=256,subvol=/@\n"
       "31 30 0:27 /@home /home rw - btrfs /dev/sda2 rw,ssd,subvolid=257,subvol=/@home\n"
       "32 30 0:27 /@home/alice/data /srv/data rw - btrfs /dev/sda2 rw,subvolid=257,subvol=/@home\n",
       {{"/", kFixed}, {"/home", kFixed}}},
      {"media below /run/media are drives, the rest of /run is not",
       "26 1 0:24 / /run rw - tmpfs tmpfs rw\n"
       "90 26 8:33 / /run/media/alice/BACKUP rw - ext4 /dev/sdc1 rw\n"
       "91 26 0:90 / /run/lock rw - tmpfs tmpfs rw\n",
       {{"/run/media/alice/BACKUP", kFixed}}},
      {"a later mount on the same point hides the earlier one",
       "40 1 8:3 / /data rw - ext4 /dev/sda3 rw\n"
       "41 40 0:70 / /data rw - tmpfs tmpfs rw\n"
       "42 1 8:4 / /hidden rw - ext4 /dev/sda4 rw\n"
       "43 42 0:71 / /hidden rw - autofs systemd-1 rw\n",
       {{"/data", kRam}}},
      {"optical media and network variants",
       "50 1 11:1 / /mnt/bd ro - udf /dev/sr1 ro\n"
       "51 1 7:3 / /mnt/iso ro - iso9660 /dev/loop3 ro\n"
       "52 1 8:49 / /mnt/udfdisk rw - udf /dev/sdd1 rw\n"
       "53 1 0:80 / /mnt/ssh rw - fuse.sshfs alice@host:/ rw\n"
       "54 1 0:81 / /mnt/p9 rw - 9p host0 rw\n"
       "55 1 0:82 / /mnt/ram rw - ramfs ramfs rw\n",
       {{"/mnt/bd", kCdrom},
        {"/mnt/iso", kCdrom},
        {"/mnt/udfdisk", kFixed},
        {"/mnt/ssh", kRemote},
        {"/mnt/p9", kRemote},
        {"/mnt/ram", kRam}}},
      {"stacked folders and unknown virtual file systems are not drives",
       "60 1 0:90 / /home/alice rw - ecryptfs /home/.ecryptfs/alice/.Private rw\n"
       "61 1 0:91 / /mnt/x rw - fuse.someFS thing rw\n",
       {}},
      {"malformed lines are skipped, escapes decoded",
       "garbage\n"
       "1 2 3\n"
       "10 1 8:1 / /nosep rw ext4 /dev/sda1 rw\n"
       "11 1 x:y / /badnum rw - ext4 /dev/sda1 rw\n"
       "12 1 8:1 / relative rw - ext4 /dev/sda1 rw\n"
       "13 1 8:1 / /nul\\000byte rw - ext4 /dev/sda1 rw\n"
       "14 1 8:1 / /notype rw -\n"
       "15 1 0:80 / /mnt/empty\\040source rw - tmpfs  rw\n"
       "16 1 8:1 / /mnt/back\\134slash\\011tab rw shared:3 master:1 - ext4 /dev/sda1 rw\n",
       {{"/mnt/empty source", kRam}, {"/mnt/back\\slash\ttab", kFixed}}},
      {"empty table", "", {}},
  };
  for (const auto& c : cases) {
    const auto volumes = platform::ParseVolumes(c.text, false);
    EXPECT_EQ(MountPointsAndTypes(volumes), c.expected) << c.name;
    for (const auto& v : volumes) {
      EXPECT_FALSE(v.infoValid) << c.name << ": nothing may be probed";
    }
  }
}

TEST(ParseVolumes, ProbesRemovableFlagLabelAndSpace) {
  test::Sandbox box;
  // A sysfs-like tree: sdb is removable, its partition sdb1 inherits it;
  // sdc is removable as a whole disk; sda is not.
  box.MakeFile("sys/devices/usb/block/sdb/removable", "1\n");
  box.MakeDir("sys/devices/usb/block/sdb/sdb1");
  box.MakeFile("sys/devices/usb/block/sdc/removable", "1\n");
  box.MakeFile("sys/devices/ata/block/sda/removable", "0\n");
  box.MakeDir("sys/devices/ata/block/sda/sda2");
  box.MakeSymlink("sys/dev/block/8:17", "../../devices/usb/block/sdb/sdb1");
  box.MakeSymlink("sys/dev/block/8:32", "../../devices/usb/block/sdc");
  box.MakeSymlink("sys/dev/block/8:2", "../../devices/ata/block/sda/sda2");
  const std::string stickNode = box.MakeFile("dev/sdb1");
  box.MakeFile("dev/sda2");
  box.MakeSymlink("by-label/MY\\x20STICK", "../dev/sdb1");
  box.MakeSymlink("by-label/OTHER", "../dev/nothing");

  const std::string stick = box.MakeDir("media/MY STICK");
  const std::string card = box.MakeDir("media/card");
  const std::string disk = box.MakeDir("data");
  const std::string gone = box.Path("media/gone");
  const std::string text =
      "80 1 8:17 / " + Escape(stick) + " rw - vfat " + Escape(stickNode) + " rw\n" +
      "81 1 8:32 / " + Escape(card) + " rw - exfat /dev/sdc rw\n" +
      "82 1 8:2 / " + Escape(disk) + " rw - ext4 " + Escape(box.Path("dev/sda2")) + " rw\n" +
      "83 1 8:17 / " + Escape(gone) + " rw - vfat " + Escape(stickNode) + " rw\n";

  platform::ProbeLocations where;
  where.sysDevBlock = box.Path("sys/dev/block");
  where.byLabel = box.Path("by-label");
  const auto volumes = platform::ParseVolumes(text, where);
  ASSERT_EQ(MountPointsAndTypes(volumes),
            (Listed{{stick, kRemovable}, {card, kRemovable}, {disk, kFixed}, {gone, kRemovable}}));

  struct statvfs st {};
  ASSERT_EQ(::statvfs(box.Root().c_str(), &st), 0);
  char serial[9];
  std::snprintf(serial, sizeof serial, "%08X",
                static_cast<unsigned>(static_cast<std::uint64_t>(st.f_fsid) & 0xFFFFFFFFu));

  EXPECT_EQ(volumes[0].label, "MY STICK");
  EXPECT_EQ(volumes[2].label, "");
  for (std::size_t i = 0; i < 3; ++i) {
    const VolumeData& v = volumes[i];
    SCOPED_TRACE(v.mountPoint);
    EXPECT_TRUE(v.infoValid);
    EXPECT_EQ(v.serialNumber, serial);
    EXPECT_EQ(v.maxFileNameLength, st.f_namemax);
    EXPECT_GT(v.totalSpace, 0);
    EXPECT_LE(v.availSpace, v.freeSpace);
    EXPECT_LE(v.freeSpace, v.totalSpace);
  }
  EXPECT_EQ(volumes[0].fileSystemName, "vfat");
  EXPECT_EQ(volumes[2].fileSystemName, "ext4");

  // A mount point statvfs cannot reach keeps only its name and type.
  const VolumeData& unreadable = volumes[3];
  EXPECT_FALSE(unreadable.infoValid);
  EXPECT_EQ(unreadable.label, "");
  EXPECT_EQ(unreadable.serialNumber, "");
  EXPECT_EQ(unreadable.fileSystemName, "");
  EXPECT_EQ(unreadable.totalSpace, 0);
}

TEST(ListVolumes, ThisMachineListsItsRootFirstAndNoKernelFileSystems) {
  const auto volumes = platform::ListVolumes();
  ASSERT_FALSE(volumes.empty());
  const VolumeData& root = volumes.front();
  EXPECT_EQ(root.mountPoint, "/");
  EXPECT_EQ(root.driveType, kFixed);
  EXPECT_TRUE(root.infoValid);
  EXPECT_GT(root.totalSpace, 0);
  EXPECT_EQ(root.serialNumber.size(), 8u);
  for (const auto& v : volumes) {
    EXPECT_NE(v.mountPoint.rfind("/proc", 0), 0u) << v.mountPoint;
    EXPECT_NE(v.mountPoint.rfind("/sys", 0), 0u) << v.mountPoint;
    EXPECT_NE(v.fileSystemName, "proc");
    EXPECT_NE(v.fileSystemName, "sysfs");
    EXPECT_GE(v.driveType, kRemovable) << v.mountPoint;
    EXPECT_LE(v.driveType, kRam) << v.mountPoint;
  }
}

TEST(ParseMountPoints, ListsEveryMountUserFilesCanBeOnOnceInMountOrder) {
  using platform::MountSet;
  using Points = std::vector<std::string>;
  const struct {
    const char* name;
    std::string text;
    MountSet which;
    Points expected;
  } cases[] = {
      {"desktop: disks, tmpfs and network shares kept; kernel, image and portal mounts not",
       kDesktop, MountSet::UserFiles,
       {"/run", "/", "/boot/efi", "/tmp", "/run/user/1000", "/mnt/nas", "/mnt/share",
        "/media/alice/MY STICK", "/media/alice/DVD"}},
      {"container: overlay root and bind mounts kept", kContainer, MountSet::UserFiles,
       {"/", "/dev", "/etc/hosts", "/work"}},
      {"the visible mount on a point decides, listed once where it was mounted",
       "40 1 8:3 / /data rw - ext4 /dev/sda3 rw\n"
       "41 1 8:4 / /other rw - ext4 /dev/sda4 rw\n"
       "42 40 0:70 / /data rw - tmpfs tmpfs rw\n"
       "43 1 0:71 / /net rw - autofs systemd-1 rw\n"
       "44 1 0:72 / /auto rw - autofs systemd-1 rw\n"
       "45 43 0:73 / /net rw - nfs4 srv:/e rw\n"
       "46 1 8:5 / /gone rw - ext4 /dev/sda5 rw\n"
       "47 46 0:74 / /gone rw - autofs systemd-1 rw\n",
       MountSet::UserFiles, {"/other", "/data", "/net"}},
      {"stacked, layered, subvolume and unknown FUSE mounts kept; gvfs and snaps not",
       "30 1 0:27 /@ / rw - btrfs /dev/sda2 rw,subvol=/@\n"
       "31 30 0:27 /@home/alice/data /srv/data rw - btrfs /dev/sda2 rw,subvol=/@home\n"
       "60 30 0:90 / /home/alice/Private rw - ecryptfs /home/alice/.Private rw\n"
       "61 30 0:91 / /mnt/x rw - fuse.someFS thing rw\n"
       "62 30 0:92 / /var/lib/c/merged rw - overlay overlay rw\n"
       "63 30 0:93 / /home/alice/.local/c/merged rw - fuse.fuse-overlayfs fuse-overlayfs rw\n"
       "64 30 0:94 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
       "65 30 0:95 / /snap/app/1 ro - fuse.snapfuse snapfuse ro\n",
       MountSet::UserFiles,
       {"/", "/srv/data", "/home/alice/Private", "/mnt/x", "/var/lib/c/merged",
        "/home/alice/.local/c/merged"}},
      {"malformed lines skipped, escapes decoded",
       "garbage\n"
       "10 1 8:1 / /nosep rw ext4 /dev/sda1 rw\n"
       "12 1 8:1 / relative rw - ext4 /dev/sda1 rw\n"
       "13 1 8:1 / /nul\\000byte rw - ext4 /dev/sda1 rw\n"
       "15 1 0:80 / /mnt/empty\\040source rw - tmpfs  rw\n"
       "16 1 8:1 / /mnt/back\\134slash\\011tab rw shared:3 master:1 - ext4 /dev/sda1 rw\r\n",
       MountSet::UserFiles, {"/mnt/empty source", "/mnt/back\\slash\ttab"}},
      {"empty table", "", MountSet::UserFiles, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ParseMountPoints(c.text, c.which), c.expected) << c.name;
  }
}

TEST(ListMountPoints, ThisMachineHasItsRootOnceAndNoKernelFileSystems) {
  const auto points = platform::ListMountPoints();
  EXPECT_EQ(std::count(points.begin(), points.end(), "/"), 1);
  EXPECT_EQ(std::count(points.begin(), points.end(), "/proc"), 0);
  for (const auto& p : points) EXPECT_EQ(std::count(points.begin(), points.end(), p), 1) << p;
  const auto all = platform::ListAllMountPoints();
  EXPECT_EQ(std::count(all.begin(), all.end(), "/proc"), 1);
  EXPECT_GE(all.size(), points.size());
}

VolumeData Volume(std::string mountPoint, bool infoValid, std::uint32_t type = kFixed) {
  VolumeData v;
  v.mountPoint = std::move(mountPoint);
  v.driveType = type;
  v.infoValid = infoValid;
  v.label = "LABEL";
  v.serialNumber = "0000ABCD";
  v.maxFileNameLength = 255;
  v.fileSystemName = "ext4";
  v.totalSpace = 1000;
  v.freeSpace = 500;
  v.availSpace = 400;
  return v;
}

TEST(TQelVolumeInfo, NameCarriesTrailingDelimiterOnlyWhenUnreadable) {
  const struct {
    std::string mountPoint;
    bool infoValid;
    std::string name;
  } cases[] = {
      {"/", true, "/"},
      {"/", false, "/"},
      {"/media/stick", true, "/media/stick"},
      {"/media/stick", false, "/media/stick/"},
  };
  for (const auto& c : cases) {
    const TQelVolumeInfo info(Volume(c.mountPoint, c.infoValid));
    EXPECT_EQ(info.VolumeName(), c.name) << c.mountPoint << " valid=" << c.infoValid;
    if (c.infoValid) {
      EXPECT_EQ(info.SerialNumber(), "0000ABCD");
      EXPECT_EQ(info.AvailSpace(), 400);
    } else {
      EXPECT_EQ(info.VolumeLabel(), "");
      EXPECT_EQ(info.TotalSpace(), 0);
    }
  }
}

TEST(TQelVolumeInfos, RefreshKeepsOldListWhenSourceFindsNothingOrFails) {
  int call = 0;
  TQelVolumeInfos infos([&call]() -> std::vector<VolumeData> {
    switch (call++) {
      case 0: return {Volume("/", true), Volume("/media/card", false, kRemovable)};
      case 1: return {};
      case 2: throw std::runtime_error("mount table unreadable");
      default: return {Volume("/", true)};
    }
  });
  const auto expectTwo = [&infos](const char* when) {
    ASSERT_EQ(infos.Count(), 2) << when;
    EXPECT_EQ(infos.Volumes(0)->VolumeName(), "/") << when;
    EXPECT_EQ(infos.Volumes(1)->VolumeName(), "/media/card/") << when;
  };
  expectTwo("created");
  infos.Refresh();
  expectTwo("after an empty answer");
  infos.Refresh();
  expectTwo("after a failure");
  infos.Refresh();
  EXPECT_EQ(infos.Count(), 1);
}

TEST(TQelVolumeInfos, VolumesClampsAndEmptyListGivesNull) {
  TQelVolumeInfos infos([] {
    return std::vector<VolumeData>{Volume("/", true), Volume("/a", true), Volume("/b", true)};
  });
  const struct { int index; const char* name; } cases[] = {
      {-5, "/"}, {0, "/"}, {1, "/a"}, {2, "/b"}, {3, "/b"}, {1000, "/b"}};
  for (const auto& c : cases) {
    ASSERT_NE(infos.Volumes(c.index), nullptr) << c.index;
    EXPECT_EQ(infos.Volumes(c.index)->VolumeName(), c.name) << c.index;
  }

  TQelVolumeInfos empty([] { return std::vector<VolumeData>{}; });
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(empty.Volumes(0), nullptr);
  EXPECT_EQ(empty.Volumes(-1), nullptr);
}

TEST(TQelVolumeInfos, ThisMachineHasTheRootVolumeFirst) {
  TQelVolumeInfos infos;
  ASSERT_GE(infos.Count(), 1);
  EXPECT_EQ(infos.Volumes(0)->VolumeName(), "/");
  EXPECT_EQ(infos.Volumes(0)->DriveType(), kFixed);
  EXPECT_GT(infos.Volumes(0)->TotalSpace(), 0);
}

}  // namespace
}  // namespace purgo
