#include "platform/TreeWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>

#include "platform/DirReadAhead.h"
#include "platform/FileSystem.h"
#include "platform/PosixFiles.h"

namespace purgo::platform {

static_assert(TreeWalker::kMaxOpenDescriptors >= TreeWalker::kMaxOpenDirs + 4 + 3 * posix::ReadAhead::kWindow,
              "the walk's levels, the duplicates of the levels it asks from, and three per request");

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
  std::size_t raw = 0;  // items taken from the listing, filtered ones included
  // What readers took of this listing, by item position (may be shorter).
  std::vector<posix::AheadStat> stats;
  // Folders of this listing asked of the readers, by item position
  // (ascending), and where the asking goes on.
  std::deque<std::pair<std::size_t, std::shared_ptr<posix::ReadAheadRequest>>> asked;
  std::size_t askPos = 0;
  std::size_t askRaw = 0;
  // A duplicate of fd that the readers share while they need it.
  std::shared_ptr<posix::UniqueFd> shared;
  posix::AheadKey key;  // where it stands in the walk's order
};

// The stack of directories being walked, their descriptors and the shared
// path buffer. Descriptors are bounded: when too many levels are open the
// shallowest one below the root is closed, and it is reopened (with an
// identity check) when the walk climbs back to it. The root stays open so
// that a reopen by path components always has a start.
class WalkState {
 public:
  WalkState(const std::string& root, std::uint32_t mask)
      : path_(root), mask_(mask), buffer_(new char[posix::Listing::kReadBufferSize]) {
    if (path_.back() != kPathDelimiter) path_.push_back(kPathDelimiter);
  }
  ~WalkState() {
    for (std::size_t i = 0; i < depth_; ++i) {
      DropAsked(frames_[i], SIZE_MAX);
      if (frames_[i].fd >= 0) ::close(frames_[i].fd);
    }
  }

  void UseReaders(posix::ReadAhead* readers) { readers_ = readers; }

  // The folder read ahead for item `raw` of the current listing, if it
  // was asked for; requests for earlier items are dropped.
  std::shared_ptr<posix::ReadAheadRequest> Claim(std::size_t raw) {
    Frame& f = Top();
    DropAsked(f, raw);
    if (f.asked.empty() || f.asked.front().first != raw) return nullptr;
    std::shared_ptr<posix::ReadAheadRequest> r = std::move(f.asked.front().second);
    f.asked.pop_front();
    return r;
  }
  std::unique_ptr<posix::AheadDir> Take(const std::shared_ptr<posix::ReadAheadRequest>& r) {
    return readers_->Take(r);
  }
  void Drop(const std::shared_ptr<posix::ReadAheadRequest>& r) { readers_->Drop(r); }

  // Asks the readers for the folders the walk will come to next: those
  // of the deepest listings first, in listing order, while there is room.
  void AskAhead() {
    if (readers_ == nullptr) return;
    const std::size_t lowest = depth_ > kAskLevels ? depth_ - kAskLevels : 0;
    // A level out of reach keeps no duplicate: their number stays bounded
    // however deep the walk goes.
    if (lowest > 0) frames_[lowest - 1].shared.reset();
    for (std::size_t level = depth_; level > lowest && readers_->HasRoom(); --level) {
      Frame& f = frames_[level - 1];
      if (f.fd < 0) continue;
      posix::Listing::Item item{};
      std::size_t pos = f.askPos, raw = f.askRaw;
      while (readers_->HasRoom() && f.listing.NextAt(pos, item)) {
        const std::size_t at = raw++;
        if (at < f.raw || item.type != DT_DIR) continue;  // passed already, or not a folder
        const std::uint32_t hidden = posix::IsHiddenName(item.name) ? kAttrHidden : 0;
        if (!PassesEntryFilter(hidden | kAttrDirectory, mask_)) continue;
        if (f.shared == nullptr) {
          f.shared = std::make_shared<posix::UniqueFd>(::fcntl(f.fd, F_DUPFD_CLOEXEC, 0));
        }
        posix::AheadKey key = f.key;
        key.push_back(static_cast<std::uint32_t>(at));
        std::shared_ptr<posix::ReadAheadRequest> r = readers_->Ask(f.shared, item.name, std::move(key));
        if (r == nullptr) break;
        f.asked.emplace_back(at, std::move(r));
      }
      f.askPos = pos;
      f.askRaw = raw;
      // Everything asked: the readers' requests keep the duplicate while
      // they need it.
      if (pos >= f.listing.Bytes()) f.shared.reset();
    }
  }
  WalkState(const WalkState&) = delete;
  WalkState& operator=(const WalkState&) = delete;

  const std::string& Path() const { return path_; }
  std::size_t Depth() const { return depth_; }
  Frame& Top() { return frames_[depth_ - 1]; }

  // Takes ownership of `fd` in every case.
  bool PushRoot(int fd, FileId id, std::uint64_t tag) { return Push(fd, id, tag, nullptr, {}); }

  // Enters `name` of the current directory when it is still the directory
  // `expected` (it may have been swapped for another one or a link since
  // the listing); otherwise passes it over. `ahead` is what a reader made
  // of it, if anything: used only when it is that same directory.
  void Enter(std::string_view name, std::size_t raw, FileId expected, std::uint64_t tag,
             std::unique_ptr<posix::AheadDir> ahead) {
    int fd = -1;
    // A reader opened the folder a while ago: it is used only when the name
    // still leads to it now, as an open made now would.
    struct statx now {};
    if (ahead != nullptr && ahead->fd >= 0 && ahead->id == expected &&
        posix::StatAt(Top().fd, name.data(), now) == 0 && posix::IdOf(now) == expected) {
      fd = ahead->fd;
      ahead->fd = -1;
    } else {
      ahead.reset();
      fd = ::openat(Top().fd, name.data(), kSubdirOpenFlags);
      if (fd < 0) return;
      if (posix::IdOfFd(fd) != expected) {
        ::close(fd);
        return;
      }
    }
    const std::size_t before = path_.size();
    path_.append(name);
    path_.push_back(kPathDelimiter);
    posix::AheadKey key;
    if (readers_ != nullptr && ahead == nullptr) {
      key = Top().key;
      key.push_back(static_cast<std::uint32_t>(raw));
    }
    if (!Push(fd, expected, tag, ahead.get(), std::move(key))) path_.resize(before);
  }

  // Ends the current listing and makes its parent current again. When the
  // parent cannot be reopened as the same directory, its remaining entries
  // are abandoned too, and so on upwards.
  void Pop() {
    const std::size_t k = depth_ - 1;
    DropAsked(frames_[k], SIZE_MAX);
    frames_[k].shared.reset();
    int childFd = frames_[k].fd;
    frames_[k].fd = -1;
    depth_ = k;
    while (depth_ > 1 && frames_[depth_ - 1].fd < 0) {
      if (Reopen(depth_ - 1, childFd)) break;
      CloseCounted(childFd);
      childFd = -1;
      --depth_;
      DropAsked(frames_[depth_], SIZE_MAX);
    }
    CloseCounted(childFd);
    if (depth_ > 0) path_.resize(Top().pathLength);
  }

 private:
  // Levels whose folders are asked for ahead, counting from the deepest.
  static constexpr std::size_t kAskLevels = 4;

  // Drops the requests for items before `raw` (all: SIZE_MAX).
  void DropAsked(Frame& f, std::size_t raw) {
    while (!f.asked.empty() && f.asked.front().first < raw) {
      readers_->Drop(f.asked.front().second);
      f.asked.pop_front();
    }
  }

  bool Push(int fd, FileId id, std::uint64_t tag, posix::AheadDir* ahead, posix::AheadKey key) {
    if (frames_.size() == depth_) frames_.emplace_back();
    Frame& f = frames_[depth_];
    f.raw = f.askPos = f.askRaw = 0;
    f.stats.clear();
    f.shared.reset();
    f.key = std::move(key);
    if (ahead != nullptr) {
      f.listing = std::move(ahead->listing);
      f.stats = std::move(ahead->stats);
      // The reader asked for sub-folders already: the walk takes them over.
      f.asked.assign(std::make_move_iterator(ahead->asked.begin()), std::make_move_iterator(ahead->asked.end()));
      ahead->asked.clear();
      f.askPos = ahead->askPos;
      f.askRaw = ahead->askRaw;
      f.key = std::move(ahead->key);
    } else if (!f.listing.Read(fd, buffer_.get())) {
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
  std::uint32_t mask_;
  std::unique_ptr<char[]> buffer_;
  posix::ReadAhead* readers_ = nullptr;
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
  if (aheadStat_ != nullptr) {
    statOk_ = aheadStat_->ok && (aheadStat_->sx.stx_mode & S_IFMT) == expected;
    sx = aheadStat_->sx;
  } else {
    statOk_ = posix::StatAt(dirFd_, name_.data(), sx) == 0 && (sx.stx_mode & S_IFMT) == expected;
  }
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
                      std::uint64_t rootTag, ReadAhead ahead) {
  if (root.empty()) return false;
  return WalkOpened(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), root, mask, visitor,
                    rootTag, ahead);
}

bool TreeWalker::WalkAt(int dirFd, const std::string& root, std::uint32_t mask,
                        const Visitor& visitor, std::uint64_t rootTag, ReadAhead ahead) {
  if (dirFd < 0 || root.empty()) return false;
  return WalkOpened(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), root, mask, visitor,
                    rootTag, ahead);
}

bool TreeWalker::WalkOpened(int rootFd, const std::string& root, std::uint32_t mask,
                            const Visitor& visitor, std::uint64_t rootTag, ReadAhead ahead) {
  if (rootFd < 0) return false;
  const FileId rootId = posix::IdOfFd(rootFd);
  // Declared before the walk: its requests are dropped before it goes.
  std::unique_ptr<posix::ReadAhead> readers;
  WalkState walk(root, mask);
  posix::MountBoundary mounts(rootFd, walk.Path());
  if (ahead != ReadAhead::Off) {
    readers = std::make_unique<posix::ReadAhead>(mounts.Root(), mask, ahead == ReadAhead::FoldersAndFiles);
    if (readers->Enabled()) walk.UseReaders(readers.get());
  }
  if (!walk.PushRoot(rootFd, rootId, rootTag)) return false;
  walk.AskAhead();

  Entry entry;
  entry.dirPath_ = &walk.Path();
  posix::Listing::Item item{};
  while (walk.Depth() > 0) {
    Frame& frame = walk.Top();
    if (!frame.listing.Next(item)) {
      walk.Pop();
      continue;
    }
    const std::size_t raw = frame.raw++;
    const posix::AheadStat* aheadStat =
        raw < frame.stats.size() && frame.stats[raw].taken ? &frame.stats[raw] : nullptr;
    const bool hidden = posix::IsHiddenName(item.name);
    const std::uint32_t hiddenBit = hidden ? kAttrHidden : 0;
    unsigned char type = item.type;
    struct statx sx {};
    bool haveStat = false;
    // Only an unknown kind and a directory (whose mount must be the root's)
    // need the file system before the visitor asks.
    if (type == DT_UNKNOWN || type == DT_DIR) {
      if (type == DT_DIR && !PassesEntryFilter(hiddenBit | kAttrDirectory, mask)) continue;
      if (aheadStat != nullptr) {
        if (!aheadStat->ok) continue;
        sx = aheadStat->sx;
      } else if (posix::StatAt(frame.fd, item.name.data(), sx) != 0) {
        continue;
      }
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
    entry.aheadStat_ = aheadStat;
    if (haveStat) entry.data_ = posix::DataOf(sx, hidden);
    entry.dirTag_ = frame.tag;
    entry.childTag_ = 0;

    const Action action = visitor(entry);
    std::shared_ptr<posix::ReadAheadRequest> asked = isDirectory ? walk.Claim(raw) : nullptr;
    if (action == Action::Leave) {
      if (asked != nullptr) walk.Drop(asked);
      walk.Pop();
    } else if (action == Action::Enter && isDirectory) {
      walk.Enter(item.name, raw, entry.data_.id, entry.childTag_, asked != nullptr ? walk.Take(asked) : nullptr);
    } else if (asked != nullptr) {
      walk.Drop(asked);
    }
    walk.AskAhead();
  }
  return true;
}

FileId TreeWalker::RootId(const std::string& root) {
  if (root.empty()) return {};
  posix::UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.Valid() ? posix::IdOfFd(fd.Get()) : FileId{};
}

}  // namespace purgo::platform
