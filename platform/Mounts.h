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

}  // namespace purgo::platform
