// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Mounts.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace purgo::platform {
namespace {

namespace fs = std::filesystem;

// Kernel bookkeeping and container plumbing: nothing a user would call a
// drive. Overlay is here because outside "/" it is a container's layer.
constexpr std::string_view kPseudoTypes[] = {
    "proc",       "sysfs",        "cgroup",      "cgroup2",    "devpts",     "devtmpfs",
    "mqueue",     "debugfs",      "tracefs",     "securityfs", "pstore",     "bpf",
    "configfs",   "fusectl",      "hugetlbfs",   "autofs",     "binfmt_misc", "efivarfs",
    "nsfs",       "overlay",      "squashfs",    "rpc_pipefs", "nfsd",       "selinuxfs",
    "sockfs",     "pipefs",       "anon_inodefs", "rootfs",    "devfs",      "usbfs",
    "xenfs",      "fuse.lxcfs",   "fuse.portal", "fuse.gvfsd-fuse", "fuse.snapfuse",
    "fuse.fuse-overlayfs",
};

constexpr std::string_view kRamTypes[] = {"tmpfs", "ramfs"};

// Pseudo types that are writable file systems all the same: a live system's
// or a container's layer is where whoever works in it keeps and trashes files.
constexpr std::string_view kWritableLayerTypes[] = {"overlay", "fuse.fuse-overlayfs"};

constexpr std::string_view kRemoteTypes[] = {
    "nfs",         "nfs4",         "cifs",       "smb3",          "smbfs",     "ncpfs",
    "afs",         "9p",           "fuse.sshfs", "ceph",          "glusterfs", "fuse.glusterfs",
    "fuse.ceph",   "lustre",       "coda",       "davfs",         "fuse.davfs2", "fuse.rclone",
    "fuse.s3fs",   "fuse.gcsfuse", "vboxsf",     "fuse.vmhgfs-fuse", "virtiofs", "orangefs",
    "beegfs",
};

// File systems that sit on local disks without naming a device node as
// their source ("rpool/ROOT/ubuntu").
constexpr std::string_view kLocalPoolTypes[] = {"zfs"};

// SCSI CD-ROM block major; /dev/sr* live there.
constexpr unsigned kScsiCdromMajor = 11;

template <std::size_t N>
bool IsOneOf(std::string_view value, const std::string_view (&set)[N]) {
  return std::find(std::begin(set), std::end(set), value) != std::end(set);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool IsAtOrBelow(std::string_view path, std::string_view folder) {
  return path == folder || (StartsWith(path, folder) && path.size() > folder.size() &&
                            path[folder.size()] == '/');
}

// mountinfo writes space, tab, newline and backslash as \ooo. A NUL cannot
// be part of a path, so a field decoding to one is rejected.
std::optional<std::string> DecodeOctalEscapes(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      unsigned value = 0;
      bool octal = true;
      for (std::size_t k = 1; k <= 3; ++k) {
        const char c = field[i + k];
        if (c < '0' || c > '7') {
          octal = false;
          break;
        }
        value = value * 8 + static_cast<unsigned>(c - '0');
      }
      if (octal && value <= 0xFF) {
        if (value == 0) {
          return std::nullopt;
        }
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// udev names the by-label links with every unsafe byte as \xHH.
std::optional<std::string> DecodeUdevName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      const int hi = HexDigit(name[i + 2]);
      const int lo = HexDigit(name[i + 3]);
      if (hi >= 0 && lo >= 0) {
        const int value = hi * 16 + lo;
        if (value == 0) {
          return std::nullopt;
        }
        out.push_back(static_cast<char>(static_cast<unsigned char>(value)));
        i += 3;
        continue;
      }
    }
    out.push_back(name[i]);
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  // Single spaces: an empty source ("mount -t tmpfs '' /x") leaves an empty
  // field, which collapsing runs of spaces would shift.
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = line.find(' ', start);
    fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return fields;
}

struct MountLine {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;
  std::string mountPoint;
  std::string fsType;
  std::string source;
  std::string superOptions;
};

std::optional<MountLine> ParseLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::vector<std::string_view> f = SplitFields(line);
  // id parent maj:min root mount-point options [optional...] - type source super
  std::size_t dash = 6;
  while (dash < f.size() && f[dash] != "-") ++dash;
  if (dash + 2 >= f.size()) return std::nullopt;  // no separator, or no type and source

  MountLine m;
  const std::string_view dev = f[2];
  const std::size_t colon = dev.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const char* const b = dev.data();
  if (std::from_chars(b, b + colon, m.major).ec != std::errc{} ||
      std::from_chars(b + colon + 1, b + dev.size(), m.minor).ec != std::errc{}) {
    return std::nullopt;
  }
  auto root = DecodeOctalEscapes(f[3]);
  auto mountPoint = DecodeOctalEscapes(f[4]);
  auto source = DecodeOctalEscapes(f[dash + 2]);
  if (!root || !mountPoint || !source || f[dash + 1].empty()) return std::nullopt;
  if (mountPoint->empty() || mountPoint->front() != '/') return std::nullopt;
  m.root = std::move(*root);
  m.mountPoint = std::move(*mountPoint);
  m.fsType = std::string(f[dash + 1]);
  m.source = std::move(*source);
  if (dash + 3 < f.size()) m.superOptions = std::string(f[dash + 3]);
  return m;
}

// A btrfs subvolume mounted by itself shows its path as the root field
// ("/@home" with subvol=/@home); that is a whole volume, not a bind mount.
bool IsSubvolumeMount(const MountLine& m) {
  std::string_view opts = m.superOptions;
  while (!opts.empty()) {
    const std::size_t comma = opts.find(',');
    const std::string_view opt = opts.substr(0, comma);
    if (StartsWith(opt, "subvol=") && opt.substr(7) == m.root) return true;
    if (comma == std::string_view::npos) break;
    opts.remove_prefix(comma + 1);
  }
  return false;
}

bool IsInternalMountPoint(std::string_view mp) {
  // udisks mounts removable media below /run/media/$USER on many
  // distributions; those are the user's drives, the rest of /run is not.
  if (IsAtOrBelow(mp, "/run/media") && mp != "/run/media") return false;
  return IsAtOrBelow(mp, "/proc") || IsAtOrBelow(mp, "/sys") || IsAtOrBelow(mp, "/dev") ||
         IsAtOrBelow(mp, "/run");
}

// The device a mount really sits on. btrfs reports an anonymous 0:N in
// mountinfo; its source node names the disk.
std::pair<unsigned, unsigned> BlockDevice(const MountLine& m, bool probe) {
  if (m.major == 0 && probe && StartsWith(m.source, "/")) {
    struct stat st {};
    if (::stat(m.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
      return {::major(st.st_rdev), ::minor(st.st_rdev)};
    }
  }
  return {m.major, m.minor};
}

bool ReadsOne(const std::string& path) {
  std::ifstream in(path);
  char c = 0;
  return in.get(c) && c == '1';
}

bool IsRemovableDevice(unsigned major, unsigned minor, const ProbeLocations& where) {
  if (major == 0) return false;
  // A partition has no flag of its own; the disk above it in sysfs has.
  const std::string dev = where.sysDevBlock + "/" + std::to_string(major) + ":" +
                          std::to_string(minor);
  std::error_code ec;
  if (fs::exists(dev + "/removable", ec)) return ReadsOne(dev + "/removable");
  return ReadsOne(dev + "/../removable");
}

std::optional<std::uint32_t> Classify(const MountLine& m, bool probe, const ProbeLocations& where) {
  const bool isRoot = m.mountPoint == "/";
  if (!isRoot) {
    if (IsOneOf(m.fsType, kPseudoTypes)) return std::nullopt;
    if (IsInternalMountPoint(m.mountPoint)) return std::nullopt;
    if (m.root != "/" && !IsSubvolumeMount(m)) return std::nullopt;
  }
  if (IsOneOf(m.fsType, kRamTypes)) return DRIVE_RAMDISK;
  if (IsOneOf(m.fsType, kRemoteTypes)) return DRIVE_REMOTE;

  const auto [major, minor] = BlockDevice(m, probe);
  const bool onOpticalDrive = StartsWith(m.source, "/dev/sr") || major == kScsiCdromMajor;
  if (m.fsType == "iso9660" || onOpticalDrive) return DRIVE_CDROM;

  // A real device number, or a device node as source (btrfs hides its
  // device behind an anonymous number). Stacked folders such as ecryptfs
  // name a plain folder as source and are not drives.
  const bool onBlockDevice = m.major != 0 || StartsWith(m.source, "/dev/");
  if (onBlockDevice) {
    if (probe && IsRemovableDevice(major, minor, where)) return DRIVE_REMOVABLE;
    return DRIVE_FIXED;
  }
  if (IsOneOf(m.fsType, kLocalPoolTypes)) return DRIVE_FIXED;
  if (isRoot) return DRIVE_FIXED;
  return std::nullopt;
}

std::int64_t Bytes(std::uint64_t blocks, std::uint64_t blockSize) {
  // Some FUSE file systems report absurd block counts; saturate rather
  // than wrap into a negative size.
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (blockSize != 0 && blocks > kMax / blockSize) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(blocks * blockSize);
}

std::string CanonicalOrEmpty(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::canonical(path, ec);
  return ec ? std::string() : p.string();
}

// Label links keyed by the device node they resolve to, read once per list.
class LabelIndex {
 public:
  explicit LabelIndex(const std::string& folder) : folder_(folder) {}

  std::string For(const std::string& source) {
    if (!StartsWith(source, "/")) return {};
    Load();
    const std::string device = CanonicalOrEmpty(source);
    if (device.empty()) return {};
    for (const auto& [target, label] : labels_) {
      if (target == device) return label;
    }
    return {};
  }

 private:
  void Load() {
    if (loaded_) return;
    loaded_ = true;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
      auto label = DecodeUdevName(it->path().filename().string());
      std::string target = CanonicalOrEmpty(it->path().string());
      if (label && !target.empty()) labels_.emplace_back(std::move(target), std::move(*label));
    }
  }

  std::string folder_;
  bool loaded_ = false;
  std::vector<std::pair<std::string, std::string>> labels_;
};

void FillFromStatvfs(VolumeData& v, const MountLine& m, LabelIndex& labels) {
  struct statvfs st {};
  if (::statvfs(v.mountPoint.c_str(), &st) != 0) return;  // EACCES, ENOENT, stale NFS ...
  v.infoValid = true;
  char serial[9];
  std::snprintf(serial, sizeof serial, "%08X",
                static_cast<unsigned>(static_cast<std::uint64_t>(st.f_fsid) & 0xFFFFFFFFu));
  v.serialNumber = serial;
  v.maxFileNameLength = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(st.f_namemax, std::numeric_limits<std::uint32_t>::max()));
  v.fileSystemName = m.fsType;
  v.totalSpace = Bytes(st.f_blocks, st.f_frsize);
  v.freeSpace = Bytes(st.f_bfree, st.f_frsize);
  v.availSpace = Bytes(st.f_bavail, st.f_frsize);
  v.label = labels.For(m.source);
}

// The well-formed lines of a mountinfo text, in mount order, keeping only
// the last mount on each point: a later mount on the same point hides the
// earlier one.
std::vector<MountLine> VisibleMounts(const std::string& mountinfo) {
  std::vector<MountLine> lines;
  std::istringstream in(mountinfo);
  for (std::string text; std::getline(in, text);) {
    if (auto m = ParseLine(text)) lines.push_back(std::move(*m));
  }
  std::unordered_map<std::string, std::size_t> last;
  for (std::size_t i = 0; i < lines.size(); ++i) last[lines[i].mountPoint] = i;
  std::vector<MountLine> visible;
  visible.reserve(last.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (last[lines[i].mountPoint] == i) visible.push_back(std::move(lines[i]));
  }
  return visible;
}

std::string ReadMountInfo() {
  std::string text;
  if (std::ifstream in("/proc/self/mountinfo"); in) {
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  return text;
}

std::vector<VolumeData> Parse(const std::string& mountinfo, bool probe, const ProbeLocations& where) {
  LabelIndex labels(where.byLabel);
  std::vector<VolumeData> volumes;
  for (const MountLine& m : VisibleMounts(mountinfo)) {
    const auto type = Classify(m, probe, where);
    if (!type) continue;
    VolumeData v;
    v.mountPoint = m.mountPoint;
    v.driveType = *type;
    if (probe) FillFromStatvfs(v, m, labels);
    volumes.push_back(std::move(v));
  }
  std::stable_partition(volumes.begin(), volumes.end(),
                        [](const VolumeData& v) { return v.mountPoint == "/"; });
  return volumes;
}

std::vector<std::string> MountPoints(const std::string& mountinfo, MountSet which) {
  std::vector<std::string> points;
  for (MountLine& m : VisibleMounts(mountinfo)) {
    if (which == MountSet::UserFiles && m.mountPoint != "/" && IsOneOf(m.fsType, kPseudoTypes) &&
        !IsOneOf(m.fsType, kWritableLayerTypes)) {
      continue;
    }
    points.push_back(std::move(m.mountPoint));
  }
  return points;
}

}  // namespace

std::vector<std::string> ParseMountPoints(const std::string& mountinfo, MountSet which) {
  try {
    return MountPoints(mountinfo, which);
  } catch (...) {
    return {};
  }
}

std::vector<std::string> ListMountPoints() {
  try {
    std::vector<std::string> points = MountPoints(ReadMountInfo(), MountSet::UserFiles);
    // As for the volumes: without /proc the system volume is still there.
    if (std::find(points.begin(), points.end(), "/") == points.end()) {
      points.insert(points.begin(), "/");
    }
    return points;
  } catch (...) {
    return {};
  }
}

std::vector<std::string> ListAllMountPoints() {
  try {
    return MountPoints(ReadMountInfo(), MountSet::All);
  } catch (...) {
    return {};
  }
}

std::vector<VolumeData> ParseVolumes(const std::string& mountinfo, bool probe) {
  try {
    return Parse(mountinfo, probe, ProbeLocations{});
  } catch (...) {
    return {};
  }
}

std::vector<VolumeData> ParseVolumes(const std::string& mountinfo, const ProbeLocations& where) {
  try {
    return Parse(mountinfo, true, where);
  } catch (...) {
    return {};
  }
}

std::vector<VolumeData> ListVolumes() {
  try {
    std::vector<VolumeData> volumes = Parse(ReadMountInfo(), true, ProbeLocations{});
    // Without /proc (early boot, some chroots) the system volume is still
    // there and is still the one the default folder list needs.
    if (volumes.empty() || volumes.front().mountPoint != "/") {
      MountLine root;
      root.mountPoint = "/";
      root.root = "/";
      VolumeData v;
      v.mountPoint = "/";
      v.driveType = DRIVE_FIXED;
      LabelIndex labels(ProbeLocations{}.byLabel);
      FillFromStatvfs(v, root, labels);
      volumes.insert(volumes.begin(), std::move(v));
    }
    return volumes;
  } catch (...) {
    return {};
  }
}

std::string SystemVolumeName() { return "/"; }

}  // namespace purgo::platform
