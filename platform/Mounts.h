// SPDX-License-Identifier: GPL-3.0-or-later
// The mounted volumes, as a user would list drives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace purgo::platform {

// GetDriveTypeW values.
enum : std::uint32_t {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

struct VolumeData {
  std::string mountPoint;      // "/" or "/media/usb", no trailing delimiter
  std::uint32_t driveType = DRIVE_UNKNOWN;
  bool infoValid = false;      // statvfs answered; the fields below are set
  std::string label;           // file-system label, empty when it has none
  std::string serialNumber;    // 8 upper-case hex digits from the fs id
  std::uint32_t maxFileNameLength = 0;
  std::string fileSystemName;  // "ext4", "vfat", "nfs4", ...
  std::int64_t totalSpace = 0;
  std::int64_t freeSpace = 0;
  std::int64_t availSpace = 0;  // free to this user
};

// Every mounted file system a user would call a drive, in mount order: the
// volume holding "/" always (first when present), local block-device file
// systems, network file systems, optical media and RAM disks; never kernel
// pseudo file systems (proc, sysfs, cgroup, devpts, ...), bind mounts of
// sub-folders or files, or internal mounts under /proc, /sys, /dev, /run.
std::vector<VolumeData> ListVolumes();

// The system's volume as ListVolumes names it: "/" here; on Windows the
// drive of the Windows folder ("C:\\").
std::string SystemVolumeName();

// The same from a mountinfo text (the format of /proc/self/mountinfo), for
// tests. `probe` controls whether statvfs and sysfs are asked. Unlike
// ListVolumes, no "/" entry is made up when the text has none.
std::vector<VolumeData> ParseVolumes(const std::string& mountinfo, bool probe);

// Where probing looks for the removable flag and the labels; tests point
// these into a sandbox. Probing always asks statvfs.
struct ProbeLocations {
  std::string sysDevBlock = "/sys/dev/block";      // MAJ:MIN links into sysfs
  std::string byLabel = "/dev/disk/by-label";      // udev's label links
};
std::vector<VolumeData> ParseVolumes(const std::string& mountinfo, const ProbeLocations& where);

// Which mounts a list of mount points holds.
enum class MountSet {
  // Every mount a user could have stored, and so trashed, files on: the one
  // on "/" always, then local and removable disks whatever their type
  // (including stacked ones such as ecryptfs), network shares, tmpfs and
  // ramfs (/tmp, /dev/shm, /run/user/UID), bind mounts (the trash of a file
  // is found at the mount point its path lies under; a bind-mounted file is
  // listed too, as the table does not tell it from a folder), btrfs
  // subvolumes, overlay layers. Left out are kernel pseudo file systems
  // (proc, sysfs, cgroup, devpts, devtmpfs, ...), read-only images
  // (squashfs, snaps), automount triggers (autofs: looking inside one mounts
  // it, perhaps from a dead server) and FUSE views that re-export other
  // mounts or remote shares (the document portal, gvfs).
  UserFiles,
  // Every mount point in the table, whatever is mounted there.
  All,
};

// The mount points of /proc/self/mountinfo, as absolute paths without a
// trailing delimiter (escapes such as \040 decoded), each once, in mount
// order; where several mounts share a point, the last one (the one visible
// there) decides whether and where it is listed. Nothing is asked beyond the
// table, so unlike ListVolumes a dead network mount cannot block it. "/" is
// listed (first) even when the table cannot be read or does not show it.
std::vector<std::string> ListMountPoints();  // MountSet::UserFiles
std::vector<std::string> ListAllMountPoints();  // MountSet::All, nothing made up

// The same from a mountinfo text, for tests; no "/" is made up.
std::vector<std::string> ParseMountPoints(const std::string& mountinfo, MountSet which);

}  // namespace purgo::platform
