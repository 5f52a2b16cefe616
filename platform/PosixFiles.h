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

// Everything an attribute record needs and nothing more. Never following a
// final link and never waiting for a network file system to sync keeps a
// walk as cheap as the listing itself; an automount point is not triggered.
inline constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE |
                                       STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME;
inline constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT;

// statx relative to `dirFd` (AT_FDCWD for a plain path). 0 or the errno.
int StatAt(int dirFd, const char* name, struct statx& out, int flags = kStatxFlags);

FileId IdOf(const struct statx& sx);
FileId IdOf(const struct stat& st);
// Identity of an open descriptor; unknown when fstat fails.
FileId IdOfFd(int fd);

inline bool IsHiddenName(std::string_view name) { return !name.empty() && name.front() == '.'; }

// Only regular files, directories and links have a Windows counterpart.
inline bool IsListedMode(unsigned mode) {
  return S_ISREG(mode) || S_ISDIR(mode) || S_ISLNK(mode);
}

// The attribute bits of an object of this kind. `writable` is false for an
// object whose owner lacks write permission.
std::uint32_t AttributesOf(bool hidden, bool directory, bool writable);
FileAttributeData DataOf(const struct statx& sx, bool hidden);

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
  // when the directory cannot be read at all; a read error part way keeps
  // what came before it.
  bool Read(int fd, char* buffer);
  bool Next(Item& item);
  void Clear() {
    bytes_.clear();
    pos_ = 0;
  }

  static constexpr std::size_t kReadBufferSize = 64 * 1024;

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
};

// True when a process other than this one, among those whose /proc entries
// this user may read, holds the object open (any descriptor) or has it
// mapped. The slow path of the in-use check, used where leases are not
// available.
bool AnyOtherProcessUses(FileId id);

}  // namespace purgo::platform::posix
