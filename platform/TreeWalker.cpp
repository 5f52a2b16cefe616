#include "platform/TreeWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>

#include "platform/FileSystem.h"
#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

// Directories below the root are never reached through a link, and a
// descriptor must not leak into programs the user starts from the UI.
constexpr int kSubdirOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// DT_* kind of a mode, or DT_UNKNOWN for the kinds that are never listed.
unsigned char ListedType(unsigned mode) {
  if (S_ISREG(mode)) return DT_REG;
  if (S_ISDIR(mode)) return DT_DIR;
  if (S_ISLNK(mode)) return DT_LNK;
  return DT_UNKNOWN;
}

struct Frame {
  posix::Listing listing;
  FileId id;
  int fd = -1;                 // -1 while evicted
  std::size_t pathLength = 0;  // DirPath() of this level is path[0, pathLength)
  std::size_t ordinal = 0;
  std::uint64_t tag = 0;
};

// The stack of directories being walked, their descriptors and the shared
// path buffer. Descriptors are bounded: when too many levels are open the
// shallowest one below the root is closed, and it is reopened (with an
// identity check) when the walk climbs back to it. The root stays open so
// that a reopen by path components always has a start.
class WalkState {
 public:
  explicit WalkState(const std::string& root)
      : path_(root), buffer_(new char[posix::Listing::kReadBufferSize]) {
    if (path_.back() != kPathDelimiter) path_.push_back(kPathDelimiter);
  }
  ~WalkState() {
    for (std::size_t i = 0; i < depth_; ++i) {
      if (frames_[i].fd >= 0) ::close(frames_[i].fd);
    }
  }
  WalkState(const WalkState&) = delete;
  WalkState& operator=(const WalkState&) = delete;

  const std::string& Path() const { return path_; }
  std::size_t Depth() const { return depth_; }
  Frame& Top() { return frames_[depth_ - 1]; }

  // Takes ownership of `fd` in every case.
  bool PushRoot(int fd, FileId id, std::uint64_t tag) { return Push(fd, id, tag); }

  // Enters `name` of the current directory when it is still the directory
  // `expected` (it may have been swapped for another one or a link since
  // the listing); otherwise passes it over.
  void Enter(std::string_view name, FileId expected, std::uint64_t tag) {
    const int fd = ::openat(Top().fd, name.data(), kSubdirOpenFlags);
    if (fd < 0) return;
    if (posix::IdOfFd(fd) != expected) {
      ::close(fd);
      return;
    }
    const std::size_t before = path_.size();
    path_.append(name);
    path_.push_back(kPathDelimiter);
    if (!Push(fd, expected, tag)) path_.resize(before);
  }

  // Ends the current listing and makes its parent current again. When the
  // parent cannot be reopened as the same directory, its remaining entries
  // are abandoned too, and so on upwards.
  void Pop() {
    const std::size_t k = depth_ - 1;
    int childFd = frames_[k].fd;
    frames_[k].fd = -1;
    depth_ = k;
    while (depth_ > 1 && frames_[depth_ - 1].fd < 0) {
      if (Reopen(depth_ - 1, childFd)) break;
      CloseCounted(childFd);
      childFd = -1;
      --depth_;
    }
    CloseCounted(childFd);
    if (depth_ > 0) path_.resize(Top().pathLength);
  }

 private:
  bool Push(int fd, FileId id, std::uint64_t tag) {
    if (frames_.size() == depth_) frames_.emplace_back();
    Frame& f = frames_[depth_];
    if (!f.listing.Read(fd, buffer_.get())) {
      ::close(fd);
      f.listing.Clear();
      return false;
    }
    if (openCount_ >= TreeWalker::kMaxOpenDirs) EvictOne();
    f.fd = fd;
    f.id = id;
    f.pathLength = path_.size();
    f.ordinal = 0;
    f.tag = tag;
    if (depth_ >= 1) lowestOpen_ = std::min(lowestOpen_, depth_);
    ++openCount_;
    ++depth_;
    return true;
  }

  void EvictOne() {
    for (std::size_t i = std::max<std::size_t>(lowestOpen_, 1); i < depth_; ++i) {
      if (frames_[i].fd >= 0) {
        CloseCounted(frames_[i].fd);
        frames_[i].fd = -1;
        lowestOpen_ = i + 1;
        return;
      }
    }
  }

  void CloseCounted(int fd) {
    if (fd < 0) return;
    ::close(fd);
    --openCount_;
  }

  // Reopens level `j` through "..", of its child when that is at hand, else
  // by the path components below the nearest open ancestor. Every step
  // must land on the directory the walk saw there.
  bool Reopen(std::size_t j, int childFd) {
    Frame& f = frames_[j];
    if (childFd >= 0) {
      const int fd = ::openat(childFd, "..", kSubdirOpenFlags);
      if (fd >= 0 && posix::IdOfFd(fd) == f.id) {
        Reopened(j, fd);
        return true;
      }
      if (fd >= 0) ::close(fd);
    }
    std::size_t a = j - 1;
    while (frames_[a].fd < 0) --a;  // the root is always open
    posix::UniqueFd current;
    int base = frames_[a].fd;
    for (std::size_t m = a + 1; m <= j; ++m) {
      const std::size_t start = frames_[m - 1].pathLength;
      component_.assign(path_, start, frames_[m].pathLength - start - 1);
      posix::UniqueFd next(::openat(base, component_.c_str(), kSubdirOpenFlags));
      if (!next.Valid() || posix::IdOfFd(next.Get()) != frames_[m].id) return false;
      current = std::move(next);
      base = current.Get();
    }
    Reopened(j, current.Release());
    return true;
  }

  void Reopened(std::size_t j, int fd) {
    frames_[j].fd = fd;
    ++openCount_;
    lowestOpen_ = std::min(lowestOpen_, j);
  }

  std::deque<Frame> frames_;  // reused across levels; a deque keeps references stable
  std::size_t depth_ = 0;
  std::size_t openCount_ = 0;
  std::size_t lowestOpen_ = 1;  // levels [1, lowestOpen_) are known to be closed
  std::string path_;
  std::string component_;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace

std::string TreeWalker::Entry::FullPath() const {
  std::string full;
  full.reserve(dirPath_->size() + name_.size());
  full.append(*dirPath_).append(name_);
  return full;
}

const FileAttributeData& TreeWalker::Entry::Data() {
  if (statDone_) return data_;
  statDone_ = true;
  const bool hidden = posix::IsHiddenName(name_);
  const unsigned expected = isDirectory_ ? S_IFDIR : isSymlink_ ? S_IFLNK : S_IFREG;
  struct statx sx {};
  // The name is NUL-terminated in the listing's storage.
  statOk_ = posix::StatAt(dirFd_, name_.data(), sx) == 0 && (sx.stx_mode & S_IFMT) == expected;
  if (statOk_) {
    data_ = posix::DataOf(sx, hidden);
  } else {
    data_ = FileAttributeData{};
    data_.attributes = posix::AttributesOf(hidden, isDirectory_, true);
  }
  return data_;
}

std::uint32_t TreeWalker::Entry::Attributes() { return Data().attributes; }

bool TreeWalker::Entry::HasData() {
  Data();
  return statOk_;
}

bool TreeWalker::Walk(const std::string& root, std::uint32_t mask, const Visitor& visitor,
                      std::uint64_t rootTag) {
  if (root.empty()) return false;
  return WalkOpened(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), root, mask, visitor,
                    rootTag);
}

bool TreeWalker::WalkAt(int dirFd, const std::string& root, std::uint32_t mask,
                        const Visitor& visitor, std::uint64_t rootTag) {
  if (dirFd < 0 || root.empty()) return false;
  return WalkOpened(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), root, mask, visitor,
                    rootTag);
}

bool TreeWalker::WalkOpened(int rootFd, const std::string& root, std::uint32_t mask,
                            const Visitor& visitor, std::uint64_t rootTag) {
  if (rootFd < 0) return false;
  const FileId rootId = posix::IdOfFd(rootFd);
  WalkState walk(root);
  posix::MountBoundary mounts(rootFd, walk.Path());
  if (!walk.PushRoot(rootFd, rootId, rootTag)) return false;

  Entry entry;
  entry.dirPath_ = &walk.Path();
  posix::Listing::Item item{};
  while (walk.Depth() > 0) {
    Frame& frame = walk.Top();
    if (!frame.listing.Next(item)) {
      walk.Pop();
      continue;
    }
    const bool hidden = posix::IsHiddenName(item.name);
    const std::uint32_t hiddenBit = hidden ? kAttrHidden : 0;
    unsigned char type = item.type;
    struct statx sx {};
    bool haveStat = false;
    // Only an unknown kind and a directory (whose mount must be the root's)
    // need the file system before the visitor asks.
    if (type == DT_UNKNOWN || type == DT_DIR) {
      if (type == DT_DIR && !PassesEntryFilter(hiddenBit | kAttrDirectory, mask)) continue;
      if (posix::StatAt(frame.fd, item.name.data(), sx) != 0) continue;
      haveStat = true;
      type = ListedType(sx.stx_mode);
    }
    if (type == DT_UNKNOWN) continue;  // a socket, FIFO or device
    const bool isDirectory = type == DT_DIR;
    if (!PassesEntryFilter(hiddenBit | (isDirectory ? kAttrDirectory : 0), mask)) continue;
    if (isDirectory && mounts.IsBeyond(sx, walk.Path(), item.name)) continue;

    entry.name_ = item.name;
    entry.dirFd_ = frame.fd;
    entry.depth_ = walk.Depth() - 1;
    entry.ordinal_ = ++frame.ordinal;
    entry.isDirectory_ = isDirectory;
    entry.isSymlink_ = type == DT_LNK;
    entry.statDone_ = haveStat;
    entry.statOk_ = haveStat;
    if (haveStat) entry.data_ = posix::DataOf(sx, hidden);
    entry.dirTag_ = frame.tag;
    entry.childTag_ = 0;

    const Action action = visitor(entry);
    if (action == Action::Leave) {
      walk.Pop();
    } else if (action == Action::Enter && isDirectory) {
      walk.Enter(item.name, entry.data_.id, entry.childTag_);
    }
  }
  return true;
}

FileId TreeWalker::RootId(const std::string& root) {
  if (root.empty()) return {};
  posix::UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.Valid() ? posix::IdOfFd(fd.Get()) : FileId{};
}

}  // namespace purgo::platform
