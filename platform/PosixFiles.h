// SPDX-License-Identifier: GPL-3.0-or-later
// Building blocks shared by the listing, the tree walk and the deletion on
// POSIX systems. Internal to platform/ (and its tests): it exposes OS types.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace purgo::platform::posix {

// Owns one descriptor; -1 when empty.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Everything an attribute record needs and nothing more, plus the mount id
// that tells a walk where its root's mount ends (the kernel has it at hand;
// asking costs nothing). Never following a final link and never waiting
// for a network file system to sync keeps a walk as cheap as the listing
// itself; an automount point is not triggered.
inline constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_SIZE |
                                       STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME |
                                       STATX_MNT_ID;
inline constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT;

// statx relative to `dirFd` (AT_FDCWD for a plain path). 0 or the errno.
int StatAt(int dirFd, const char* name, struct statx& out, int flags = kStatxFlags);

// Opens the folder `name` of the open directory `dirFd` for listing, but
// only when it is a folder of the same mount reached without a link: one
// openat2 call where the kernel has it, instead of a look at the name, an
// open and a look at what was opened. An automount point is not triggered.
// The descriptor (close-on-exec), or -1 with errno set; ENOSYS when this
// kernel cannot do it in one call (the caller then looks and opens itself).
// `extraFlags` joins the open's flags: with O_NOATIME the open fails with
// EPERM for a folder that is not the caller's own, unless its thread may
// act as any owner (CAP_FOWNER), so the open tells the owner too.
int OpenFolderOnSameMount(int dirFd, const char* name, int extraFlags = 0);

FileId IdOf(const struct statx& sx);
FileId IdOf(const struct stat& st);
// Identity of an open descriptor; unknown when fstat fails.
FileId IdOfFd(int fd);
// Whether the folder open as `fd` lies on a file system whose mounts each
// have one device number (ext2/3/4, XFS, tmpfs, F2FS): there a folder
// reached without leaving the mount is named by its inode number alone.
// Not so on btrfs, whose subvolumes have device numbers of their own within
// one mount, nor on overlay or network file systems.
bool OneDevicePerMount(int fd);

inline bool IsHiddenName(std::string_view name) { return !name.empty() && name.front() == '.'; }

// Only regular files, directories and links have a Windows counterpart.
inline bool IsListedMode(unsigned mode) {
  return S_ISREG(mode) || S_ISDIR(mode) || S_ISLNK(mode);
}

// The attribute bits of an object of this kind. `writable` is false for an
// object whose owner lacks write permission.
std::uint32_t AttributesOf(bool hidden, bool directory, bool writable);
FileAttributeData DataOf(const struct statx& sx, bool hidden);
FileStamp StampOf(const struct statx& sx);
// True when `now` is the file `recorded` was taken from (or nothing was
// recorded). A file rewritten since, on a file system without birth
// times, no longer matches: its change time moved.
bool StampMatches(const FileStamp& recorded, const struct statx& now);

// The last component of a path, ignoring trailing delimiters.
std::string_view LastComponent(std::string_view path);

// One directory's entries read in full, stored back to back as
// [d_type][length: 2 bytes][name bytes]['\0'] so that a deep walk keeps one
// compact block per level and a name is usable as a C string in place.
// "." and "..", sockets, FIFOs and devices (when d_type tells) are left out.
class Listing {
 public:
  struct Item {
    std::string_view name;  // NUL-terminated in place
    unsigned char type;     // DT_* value from the directory
  };

  // Replaces the contents with the entries of the open directory `fd`,
  // using `buffer` (at least kReadBufferSize bytes) for getdents64. False
  // when the directory cannot be read in full (errno tells why), or when
  // its listing grows past `limit` bytes (the reading then stops there).
  bool Read(int fd, char* buffer, std::size_t limit = SIZE_MAX);
  bool Next(Item& item);
  // The item at `pos` (0 for the first), advancing `pos`; the listing's
  // own position is left alone.
  bool NextAt(std::size_t& pos, Item& item) const;
  std::size_t Bytes() const { return bytes_.size(); }
  // The inode number the listing gave its own "." entry; 0 when it had
  // none. On a file system of one device per mount that number names the
  // folder listed, without asking for its attributes.
  std::uint64_t SelfIno() const { return selfIno_; }
  void Clear() {
    bytes_.clear();
    pos_ = 0;
    selfIno_ = 0;
  }

  static constexpr std::size_t kReadBufferSize = 64 * 1024;

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  std::uint64_t selfIno_ = 0;
};

// True when a process other than this one, among those whose /proc entries
// this user may read, holds the object open (any descriptor) or has it
// mapped. The slow path of the in-use check, used where leases are not
// available.
bool AnyOtherProcessUses(FileId id);

// Where a directory is mounted, as far as one statx call tells.
struct MountFacts {
  std::uint64_t device = 0;
  std::uint64_t mountId = 0;
  bool mountIdKnown = false;    // the kernel returned STATX_MNT_ID
  bool mountRoot = false;       // STATX_ATTR_MOUNT_ROOT
  bool mountRootKnown = false;  // the kernel reports that attribute at all
};
MountFacts MountFactsOf(const struct statx& sx);

// Whether the directory `entry`, met below `root`, is on another mount.
// `inMountTable()` tells whether the entry's path is a mount point in the
// mount table; it is asked only when statx leaves the question open.
//
// The mount id decides where the kernel gives it: a btrfs subvolume has a
// device number of its own yet is part of its parent's mount, and a bind
// mount of the same file system keeps the device number yet is a mount of
// its own. Without it another device is taken as another mount (a subvolume
// is then passed over: leaving files alone is the safe side for a cleaner),
// and on the same device the mount-root attribute, or failing that the
// mount table, tells a bind mount.
template <typename InMountTable>
bool IsOtherMount(const MountFacts& root, const MountFacts& entry, InMountTable&& inMountTable) {
  if (root.mountIdKnown && entry.mountIdKnown) return root.mountId != entry.mountId;
  if (root.device != entry.device) return true;
  if (entry.mountRootKnown) return entry.mountRoot;
  return inMountTable();
}

// The mount boundary of one walk or listing: which directories below its
// root are on another mount. The mount table is read at most once, and
// only on kernels that give neither mount ids nor the mount-root attribute.
class MountBoundary {
 public:
  // `rootFd` is the open root and must stay open while this is asked; every
  // directory path given later begins with `rootPath`.
  MountBoundary(int rootFd, std::string rootPath);

  // `entry` is the statx (kStatxMask) of the directory `name` in the
  // directory at `dirPath`, reached from the root without links.
  bool IsBeyond(const struct statx& entry, std::string_view dirPath, std::string_view name);
  // Where the root is mounted; all unknown when statx could not tell.
  const MountFacts& Root() const { return root_; }

 private:
  bool InMountTable(std::string_view dirPath, std::string_view name);

  int rootFd_;
  std::string rootPath_;
  MountFacts root_;
  bool tableRead_ = false;
  std::string tableRoot_;                 // the root as the table names it; empty when unknown
  std::vector<std::string> mountPoints_;  // sorted
};

}  // namespace purgo::platform::posix
