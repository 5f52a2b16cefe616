// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixFiles.h"

#include <dirent.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <climits>
#include <cstdio>
#include <limits>

#include "platform/Clock.h"
#include "platform/Mounts.h"

namespace purgo::platform::posix {

int StatAt(int dirFd, const char* name, struct statx& out, int flags) {
  if (::statx(dirFd, name, flags, kStatxMask, &out) == 0) return 0;
  return errno;
}

int OpenFolderOnSameMount(int dirFd, const char* name, int extraFlags) {
  // Cleared once the kernel turns openat2 down (older than 5.6, or a
  // seccomp filter); readers and the walk may ask at once.
  static std::atomic<bool> works{true};
  if (!works.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  open_how how{};
  how.flags = static_cast<unsigned>(O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | extraFlags);
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH | RESOLVE_NO_XDEV;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const long fd = ::syscall(SYS_openat2, dirFd, name, &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno == EAGAIN) continue;  // a rename elsewhere during the lookup
    // With O_NOATIME, EPERM is the folder's owner speaking, not the kernel.
    if (errno == EPERM && (extraFlags & O_NOATIME) != 0) return -1;
    if (errno == ENOSYS || errno == E2BIG || errno == EPERM) {
      works.store(false, std::memory_order_relaxed);
      errno = ENOSYS;
    }
    return -1;
  }
  return -1;
}

FileId IdOf(const struct statx& sx) {
  return FileId{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
}

FileId IdOf(const struct stat& st) {
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

FileId IdOfFd(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {};
  return IdOf(st);
}

bool OneDevicePerMount(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
    case XFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

std::uint32_t AttributesOf(bool hidden, bool directory, bool writable) {
  // Every listed object is a directory or carries the archive bit, so the
  // "normal" bit (no other bit set) never arises here.
  std::uint32_t a = directory ? kAttrDirectory : kAttrArchive;
  if (hidden) a |= kAttrHidden;
  if (!writable) a |= kAttrReadOnly;
  return a;
}

namespace {

FileTime FromTimestamp(const struct statx_timestamp& t) { return FileTimeFromUnix(t.tv_sec, t.tv_nsec); }

}  // namespace

FileAttributeData DataOf(const struct statx& sx, bool hidden) {
  FileAttributeData d;
  const bool directory = S_ISDIR(sx.stx_mode);
  d.attributes = AttributesOf(hidden, directory, (sx.stx_mode & S_IWUSR) != 0);
  d.creationTime = FromTimestamp((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
  // Without an access time statx leaves a placeholder that reads as a
  // date decades ago; an age limit must see "no time" instead.
  if ((sx.stx_mask & STATX_ATIME) != 0) d.lastAccessTime = FromTimestamp(sx.stx_atime);
  d.lastWriteTime = FromTimestamp(sx.stx_mtime);
  d.size = directory ? 0 : sx.stx_size;
  d.id = IdOf(sx);
  d.stamp = StampOf(sx);
  d.owner = sx.stx_uid;
  return d;
}

FileStamp StampOf(const struct statx& sx) {
  auto ns = [](const struct statx_timestamp& t) {
    return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + t.tv_nsec;
  };
  FileStamp s;
  if ((sx.stx_mask & STATX_BTIME) != 0 && ns(sx.stx_btime) != 0) {
    s.birth = ns(sx.stx_btime);
  } else {
    s.change = ns(sx.stx_ctime);
    s.size = sx.stx_size;
  }
  return s;
}

bool StampMatches(const FileStamp& recorded, const struct statx& now) {
  return !recorded.IsKnown() || StampOf(now) == recorded;
}

std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool Listing::Read(int fd, char* buffer, std::size_t limit) {
  Clear();
  for (;;) {
    // A listing that fails part way is no listing: the caller would take
    // the folder for read in full.
    const ssize_t got = ::getdents64(fd, buffer, kReadBufferSize);
    if (got <= 0) return got == 0;
    // Fields are read with memcpy: the buffer is plain bytes to the
    // compiler, whatever the kernel wrote into it.
    for (std::size_t off = 0; off < static_cast<std::size_t>(got);) {
      const char* rec = buffer + off;
      unsigned short reclen = 0;
      std::memcpy(&reclen, rec + offsetof(struct dirent64, d_reclen), sizeof reclen);
      const auto type = static_cast<unsigned char>(rec[offsetof(struct dirent64, d_type)]);
      const char* name = rec + offsetof(struct dirent64, d_name);
      off += reclen;
      if (reclen == 0) return true;  // a corrupt record; keep what is sound
      if (type == DT_SOCK || type == DT_FIFO || type == DT_CHR || type == DT_BLK) continue;
      const std::size_t len = ::strnlen(name, reclen - offsetof(struct dirent64, d_name));
      if (len == 1 && name[0] == '.') {
        std::memcpy(&selfIno_, rec + offsetof(struct dirent64, d_ino), sizeof selfIno_);
        continue;
      }
      if (len == 2 && name[0] == '.' && name[1] == '.') continue;
      if (len == 0 || len > 0xFFFF) continue;
      bytes_.push_back(static_cast<char>(type));
      bytes_.push_back(static_cast<char>(len & 0xFF));
      bytes_.push_back(static_cast<char>(len >> 8));
      bytes_.append(name, len);
      bytes_.push_back('\0');
    }
    if (bytes_.size() > limit) return false;
  }
}

bool Listing::Next(Item& item) { return NextAt(pos_, item); }

bool Listing::NextAt(std::size_t& pos, Item& item) const {
  if (pos >= bytes_.size()) return false;
  const char* p = bytes_.data() + pos;
  const std::size_t len = static_cast<unsigned char>(p[1]) |
                          (static_cast<std::size_t>(static_cast<unsigned char>(p[2])) << 8);
  item.type = static_cast<unsigned char>(p[0]);
  item.name = std::string_view(p + 3, len);
  pos += 3 + len + 1;
  return true;
}

namespace {

bool ParseHex(std::string_view s, std::uint64_t& out) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, 16);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

// Splits off the next blank-separated field of `s`.
std::string_view NextField(std::string_view& s) {
  const std::size_t start = s.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    s = {};
    return {};
  }
  s.remove_prefix(start);
  const std::size_t end = std::min(s.find(' '), s.size());
  std::string_view field = s.substr(0, end);
  s.remove_prefix(end);
  return field;
}

// One line of /proc/[pid]/maps; true and the identity when the mapping is
// backed by a file (inode not 0).
bool ParseMapsLine(std::string_view line, FileId& id) {
  // address perms offset MM:mm inode [path]
  NextField(line);
  NextField(line);
  NextField(line);
  const std::string_view dev = NextField(line);
  const std::string_view inode = NextField(line);
  const std::size_t colon = dev.find(':');
  std::uint64_t major = 0, minor = 0, ino = 0;
  if (colon == std::string_view::npos || !ParseHex(dev.substr(0, colon), major) ||
      !ParseHex(dev.substr(colon + 1), minor)) {
    return false;
  }
  auto [end, ec] = std::from_chars(inode.data(), inode.data() + inode.size(), ino, 10);
  if (ec != std::errc() || end != inode.data() + inode.size() || ino == 0) return false;
  if (major > std::numeric_limits<unsigned>::max() || minor > std::numeric_limits<unsigned>::max()) {
    return false;
  }
  id = FileId{makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor)), ino};
  return true;
}

bool FdTableHolds(int pidFd, FileId id) {
  UniqueFd fds(::openat(pidFd, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fds.Valid()) return false;
  DIR* dir = ::fdopendir(fds.Get());
  if (dir == nullptr) return false;
  const int dirFd = fds.Release();
  bool found = false;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    struct stat st {};
    // Following the descriptor's magic link reaches the open object itself.
    if (::fstatat(dirFd, e->d_name, &st, 0) == 0 && IdOf(st) == id) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

bool MapsHold(int pidFd, FileId id) {
  UniqueFd maps(::openat(pidFd, "maps", O_RDONLY | O_CLOEXEC));
  if (!maps.Valid()) return false;
  std::string pending;
  char chunk[16384];
  for (;;) {
    const ssize_t got = ::read(maps.Get(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(chunk, static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1) {
      FileId mapped;
      if (ParseMapsLine(std::string_view(pending).substr(start, nl - start), mapped) &&
          mapped == id) {
        return true;
      }
    }
    pending.erase(0, start);
  }
  FileId mapped;
  return ParseMapsLine(pending, mapped) && mapped == id;
}

}  // namespace

bool AnyOtherProcessUses(FileId id) {
  if (!id.IsKnown()) return false;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  const int procFd = ::dirfd(proc);
  const auto self = static_cast<unsigned long>(::getpid());
  bool found = false;
  while (!found) {
    const dirent* e = ::readdir(proc);
    if (e == nullptr) break;
    unsigned long pid = 0;
    const std::size_t len = std::strlen(e->d_name);
    auto [end, ec] = std::from_chars(e->d_name, e->d_name + len, pid, 10);
    if (ec != std::errc() || end != e->d_name + len || pid == self) continue;
    // A process that ends meanwhile, or that this user may not inspect,
    // simply fails these opens.
    UniqueFd pidFd(::openat(procFd, e->d_name, O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!pidFd.Valid()) continue;
    found = FdTableHolds(pidFd.Get(), id) || MapsHold(pidFd.Get(), id);
  }
  ::closedir(proc);
  return found;
}

MountFacts MountFactsOf(const struct statx& sx) {
  MountFacts f;
  f.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  f.mountIdKnown = (sx.stx_mask & STATX_MNT_ID) != 0;
  if (f.mountIdKnown) f.mountId = sx.stx_mnt_id;
  f.mountRootKnown = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
  f.mountRoot = f.mountRootKnown && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  return f;
}

MountBoundary::MountBoundary(int rootFd, std::string rootPath)
    : rootFd_(rootFd), rootPath_(std::move(rootPath)) {
  struct statx sx {};
  // Unknown facts (all zero) put every directory beyond the boundary.
  if (StatAt(rootFd, "", sx, kStatxFlags | AT_EMPTY_PATH) == 0) root_ = MountFactsOf(sx);
}

bool MountBoundary::IsBeyond(const struct statx& entry, std::string_view dirPath,
                             std::string_view name) {
  return posix::IsOtherMount(root_, MountFactsOf(entry),
                             [&] { return InMountTable(dirPath, name); });
}

bool MountBoundary::InMountTable(std::string_view dirPath, std::string_view name) {
  if (!tableRead_) {
    tableRead_ = true;
    // The table names mount points by their path from this process's root;
    // the root descriptor's link gives that path however the walk was given
    // its root (relative, through links).
    char link[40];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", rootFd_);
    std::string target(PATH_MAX, '\0');
    const ssize_t got = ::readlink(link, target.data(), target.size());
    if (got > 0 && static_cast<std::size_t>(got) < target.size() && target[0] == '/') {
      target.resize(static_cast<std::size_t>(got));
      if (target.back() != '/') target.push_back('/');
      tableRoot_ = std::move(target);
      mountPoints_ = ListAllMountPoints();
      std::sort(mountPoints_.begin(), mountPoints_.end());
    }
  }
  // Without a table, or a path for the root, a same-device directory is
  // taken as part of the root's mount: skipping them all would end the walk.
  if (tableRoot_.empty() || dirPath.substr(0, rootPath_.size()) != rootPath_) return false;
  std::string path = tableRoot_;
  path.append(dirPath.substr(rootPath_.size())).append(name);
  return std::binary_search(mountPoints_.begin(), mountPoints_.end(), path);
}

}  // namespace purgo::platform::posix
