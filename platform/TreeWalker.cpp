// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TreeWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>

#include "platform/DirReadAhead.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/PosixFiles.h"

namespace purgo::platform {

static_assert(TreeWalker::kMaxOpenDescriptors >=
                  TreeWalker::kMaxOpenDirs + posix::ReadAhead::kMaxJobs * posix::ReadAhead::kJobDescriptors,
              "the walk's levels, and what its readers' jobs hold");

namespace {

// Directories below the root are never reached through a link, and a
// descriptor must not leak into programs the user starts from the UI.
constexpr int kSubdirOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool OutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

// Failures that mean the entry is no longer the folder that was listed
// (gone, or replaced by a file or a link): passed over, as a swap is.
// (EXDEV: the name now leads to another mount.)
bool GoneOrSwapped(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP || error == EXDEV; }

// DT_* kind of a mode, or DT_UNKNOWN for the kinds that are never listed.
unsigned char ListedType(unsigned mode) {
  if (S_ISREG(mode)) return DT_REG;
  if (S_ISDIR(mode)) return DT_DIR;
  if (S_ISLNK(mode)) return DT_LNK;
  return DT_UNKNOWN;
}

// A folder's descriptor, shared with the readers listing below it (or
// taken over from the reader that opened it): closed by whoever lets go
// last.
using SharedFd = std::shared_ptr<posix::UniqueFd>;

SharedFd Share(int fd) { return fd < 0 ? nullptr : std::make_shared<posix::UniqueFd>(fd); }

struct Frame {
  posix::Listing listing;
  FileId id;
  int fd = -1;                 // -1 while evicted
  SharedFd held;               // owns fd
  std::size_t pathLength = 0;  // DirPath() of this level is path[0, pathLength)
  std::size_t ordinal = 0;
  std::uint64_t tag = 0;
  std::size_t raw = 0;  // items taken from the listing, filtered ones included
  // What readers took of this listing, by item position (may be shorter).
  std::vector<posix::AheadStat> stats;
  // Where offering this listing's folders to readers goes on.
  std::size_t offerPos = 0;
  std::size_t offerRaw = 0;
  // The job that lists this folder's sub-folders, from item `coverFrom`
  // on, and this folder's place in it (empty: the job is this folder's
  // own, given the rest of its listing).
  std::shared_ptr<posix::ReadAheadJob> job;
  posix::AheadKey key;
  std::size_t coverFrom = 0;
};

// The stack of directories being walked, their descriptors and the shared
// path buffer. Descriptors are bounded: when too many levels are open the
// shallowest one below the root is closed, and it is reopened (with an
// identity check) when the walk climbs back to it. The root stays open so
// that a reopen by path components always has a start.
class WalkState {
 public:
  WalkState(const std::string& root, std::uint32_t mask, const TreeWalker::Callbacks& callbacks)
      : path_(root),
        root_(root),
        mask_(mask),
        callbacks_(callbacks),
        buffer_(new char[posix::Listing::kReadBufferSize]) {
    if (path_.back() != kPathDelimiter) path_.push_back(kPathDelimiter);
  }
  ~WalkState() {
    for (std::size_t i = 0; i < depth_; ++i) {
      Release(frames_[i]);
      frames_[i].held.reset();
    }
  }

  void UseReaders(posix::ReadAhead* readers) { readers_ = readers; }

  // What a reader found of folder `raw` of the current listing, if one
  // has listed it.
  bool PeekAhead(std::size_t raw, posix::ReadAhead::Look& look) {
    if (readers_ == nullptr) return false;
    Frame& f = Top();
    if (!Covered(f, raw)) return false;
    ChildKey(f, raw, scratchKey_);
    return readers_->Peek(*f.job, scratchKey_, look);
  }

  // Gives idle readers the rest of a listing: the folders the walk comes
  // to after the next one, deepest listing first (the next one the walk
  // reaches before a reader would be far into it). A reader lists them
  // and what is below them in the order the walk goes, so one job serves
  // many folders until the walk catches up with it: waking a reader is a
  // system call on each side. Listings a job covers are left alone.
  void OfferJobs() {
    if (readers_ == nullptr || !readers_->WantsJob()) return;
    bool next = true;
    // Only the levels with listing left to offer are looked at: in a chain
    // thousands of levels deep, going over every level at every folder
    // made the walk quadratic in its depth.
    for (std::size_t i = offering_.size(); i > 0; --i) {
      const std::size_t level = offering_[i - 1];
      Frame& f = frames_[level - 1];
      if (Live(f)) {
        next = false;  // the walk has read-ahead folders to go through first
        continue;
      }
      if (f.fd < 0) continue;
      posix::Listing::Item item{};
      std::size_t pos = f.offerPos, raw = f.offerRaw;
      bool more = true;
      for (std::size_t before = pos; (more = f.listing.NextAt(pos, item)); before = pos) {
        const std::size_t at = raw++;
        if (at < f.raw || item.type != DT_DIR) continue;  // passed already, or not a folder
        const std::uint32_t hidden = posix::IsHiddenName(item.name) ? kAttrHidden : 0;
        if (!PassesEntryFilter(hidden | kAttrDirectory, mask_)) continue;
        if (!MayEnter(item.name, level - 1, std::nullopt)) continue;
        if (next) {
          next = false;
          continue;
        }
        std::shared_ptr<posix::ReadAheadJob> job =
            readers_->Offer(f.held, f.listing, before, at, level - 1, f.id.device);
        if (job == nullptr) {
          f.offerPos = before;
          f.offerRaw = at;
          return;
        }
        if (f.job != nullptr && f.key.empty()) readers_->Drop(*f.job);  // one the walk caught up with
        f.job = std::move(job);
        f.key.clear();
        f.coverFrom = at;
        more = false;
        break;
      }
      f.offerPos = pos;
      f.offerRaw = raw;
      // A listing does not change while its level lives: once offered to
      // its end, the level has nothing more for readers.
      if (!more) offering_.erase(offering_.begin() + static_cast<std::ptrdiff_t>(i - 1));
      if (!readers_->WantsJob()) return;
    }
  }
  WalkState(const WalkState&) = delete;
  WalkState& operator=(const WalkState&) = delete;

  const std::string& Path() const { return path_; }
  std::size_t Depth() const { return depth_; }
  Frame& Top() { return frames_[depth_ - 1]; }

  bool MayEnter(std::string_view name, std::size_t depth, std::optional<std::uint32_t> owner) const {
    return !callbacks_.mayEnter || callbacks_.mayEnter(name, depth, owner);
  }

  // Tells the caller about the folder `name` of the current directory
  // (empty: the current directory itself).
  void Report(std::string_view name, TreeWalker::Failure what, int error) {
    if (!callbacks_.onError) return;
    std::string folder;
    if (depth_ == 0 || (name.empty() && depth_ == 1)) {
      folder = root_;
    } else {
      folder.assign(path_, 0, Top().pathLength);
      if (name.empty()) {
        folder.pop_back();
      } else {
        folder.append(name);
      }
    }
    callbacks_.onError(folder, what, error);
  }

  // Takes ownership of `fd` in every case.
  bool PushRoot(int fd, FileId id, std::uint64_t tag) {
    return Push(Share(fd), id, tag, nullptr, nullptr, {}, Check::None);
  }

  // Enters `name` of the current directory when it is still the directory
  // `expected` (it may have been swapped for another one or a link since
  // the listing, or while the visitor looked at it); otherwise passes it
  // over. `job` is the job given for it, if any. A listing a reader made is
  // used only when the name, looked at now, still leads to the directory
  // listed; the reader's descriptor comes with it, so the folder is not
  // opened again. A folder the walk opens itself is told by its listing's
  // "." entry where that can be trusted, by its attributes otherwise.
  void Enter(std::string_view name, std::size_t raw, FileId expected, std::uint64_t tag) {
    posix::AheadKey key;
    std::shared_ptr<posix::ReadAheadJob> job;
    std::unique_ptr<posix::AheadDir> ahead;
    if (readers_ != nullptr && Covered(Top(), raw)) {
      job = Top().job;
      ChildKey(Top(), raw, key);
      ahead = readers_->Take(*job, key);
      if (ahead == nullptr || ahead->id != expected || ahead->fd == nullptr) {
        ahead.reset();
        job.reset();
      }
    }
    const std::size_t before = path_.size();
    if (ahead != nullptr) {
      struct statx sx {};
      const int error = posix::StatAt(Top().fd, name.data(), sx);
      if (error != 0 || posix::IdOf(sx) != expected) {
        if (error != 0 && !GoneOrSwapped(error)) Report(name, TreeWalker::Failure::Open, error);
        return;
      }
      path_.append(name);
      path_.push_back(kPathDelimiter);
      if (!Push(std::move(ahead->fd), expected, tag, ahead.get(), std::move(job), std::move(key), Check::None)) {
        path_.resize(before);
      }
      return;
    }
    // No job is left here: a reader's listing comes with its descriptor.
    bool beneath = true;  // opened on the walk's mount, no link followed
    const auto open = [&] {
      int fd = posix::OpenFolderOnSameMount(Top().fd, name.data());
      if (fd < 0 && errno == ENOSYS) {
        beneath = false;
        fd = ::openat(Top().fd, name.data(), kSubdirOpenFlags);
      }
      return fd;
    };
    int got = open();
    if (got < 0 && OutOfDescriptors(errno)) got = OpenAgain(depth_ - 1, open);
    if (got < 0) {
      if (!GoneOrSwapped(errno)) Report(name, TreeWalker::Failure::Open, errno);
      return;
    }
    path_.append(name);
    path_.push_back(kPathDelimiter);
    if (!Push(Share(got), expected, tag, nullptr, nullptr, {}, beneath ? Check::Listing : Check::Attributes)) {
      path_.resize(before);
    }
  }

  // Ends the current listing and makes its parent current again. When the
  // parent cannot be reopened as the same directory, its remaining entries
  // are abandoned too, and so on upwards.
  void Pop() {
    const std::size_t k = depth_ - 1;
    Release(frames_[k]);
    SharedFd child = std::move(frames_[k].held);
    const int childFd = frames_[k].fd;
    frames_[k].fd = -1;
    depth_ = k;
    while (depth_ > 1 && frames_[depth_ - 1].fd < 0) {
      reopenError_ = 0;
      if (Reopen(depth_ - 1, child != nullptr ? childFd : -1)) break;
      // The rest of that listing is lost: an error unless the folder moved.
      if (reopenError_ != 0) Report({}, TreeWalker::Failure::Open, reopenError_);
      CloseCounted(child);
      --depth_;
      Release(frames_[depth_]);
    }
    CloseCounted(child);
    while (!offering_.empty() && offering_.back() > depth_) offering_.pop_back();
    if (depth_ > 0) path_.resize(Top().pathLength);
  }

 private:
  // Whether a job lists sub-folders of `f` for the walk, and whether it
  // lists sub-folder `raw`.
  static bool Live(const Frame& f) {
    return f.job != nullptr && posix::ReadAhead::Covers(*f.job, f.key.size());
  }
  static bool Covered(const Frame& f, std::size_t raw) { return raw >= f.coverFrom && Live(f); }
  // The place in its job of item `raw` of `f`.
  static void ChildKey(const Frame& f, std::size_t raw, posix::AheadKey& key) {
    key = f.key;
    key.push_back(static_cast<std::uint32_t>(raw));
  }

  // The walk is done with this level: when the level is a job's own
  // folder, that job is let go.
  void Release(Frame& f) {
    if (f.job != nullptr && f.key.empty()) readers_->Drop(*f.job);
    f.job.reset();
  }

  // How Push makes sure `fd` is the folder `id`: it is known already, or
  // the listing's "." entry tells (for a folder opened on the walk's own
  // mount), or its attributes do.
  enum class Check { None, Listing, Attributes };

  // Takes ownership of `fd` in every case. False when the folder is not
  // walked: it could not be listed (told to the caller), or it is not `id`
  // (passed over).
  bool Push(SharedFd fd, FileId id, std::uint64_t tag, posix::AheadDir* ahead,
            std::shared_ptr<posix::ReadAheadJob> job, posix::AheadKey key, Check check) {
    if (fd == nullptr) return false;
    if (frames_.size() == depth_) frames_.emplace_back();
    Frame& f = frames_[depth_];
    f.raw = f.offerPos = f.offerRaw = 0;
    f.stats.clear();
    if (ahead != nullptr) {
      f.listing = std::move(ahead->listing);
      f.stats = std::move(ahead->stats);
    } else if (const bool listed = f.listing.Read(fd->Get(), buffer_.get()); !listed || !IsFolder(*fd, f.listing, id, check)) {
      const int error = errno;
      // A folder swapped since it was looked at is passed over, however
      // its listing went.
      const bool swapped = check != Check::None && (listed || posix::IdOfFd(fd->Get()) != id);
      fd.reset();
      f.listing.Clear();
      if (swapped) return false;
      if (callbacks_.onError) {
        std::string folder = depth_ == 0 ? root_ : path_.substr(0, path_.size() - 1);
        callbacks_.onError(folder, TreeWalker::Failure::List, error);
      }
      return false;
    }
    f.job = std::move(job);
    f.key = std::move(key);
    f.coverFrom = 0;
    if (openCount_ >= TreeWalker::kMaxOpenDirs) EvictOne();
    f.fd = fd->Get();
    f.held = std::move(fd);
    f.id = id;
    f.pathLength = path_.size();
    f.ordinal = 0;
    f.tag = tag;
    if (depth_ >= 1) lowestOpen_ = std::min(lowestOpen_, depth_);
    ++openCount_;
    ++depth_;
    offering_.push_back(depth_);
    return true;
  }

  // Whether the open `fd`, listed as `listing`, is the folder `id`. The
  // "." entry answers for a folder opened beneath the walk's mount on the
  // device of its parent: there, no other folder has its number. Anywhere
  // else, and where the entry is missing or disagrees, the attributes do.
  bool IsFolder(const posix::UniqueFd& fd, const posix::Listing& listing, FileId id, Check check) const {
    if (check == Check::None) return true;
    if (check == Check::Listing && depth_ > 0 && id.device == frames_[depth_ - 1].id.device && listing.SelfIno() == id.inode) {
      return true;
    }
    return posix::IdOfFd(fd.Get()) == id;
  }

  // Closes the shallowest open level below the root and below `below`.
  bool EvictOne(std::size_t below = SIZE_MAX) {
    for (std::size_t i = std::max<std::size_t>(lowestOpen_, 1); i < std::min(depth_, below); ++i) {
      if (frames_[i].fd >= 0) {
        CloseCounted(frames_[i].held);
        frames_[i].fd = -1;
        lowestOpen_ = i + 1;
        return true;
      }
    }
    return false;
  }

  // `open` failed for want of descriptors. The readers give theirs back
  // first; then the walk closes its own shallowest levels below `keep`
  // (they are reopened on the way back) one at a time until it works. The
  // result of the last try, with its errno.
  template <class Open>
  int OpenAgain(std::size_t keep, const Open& open) {
    if (readers_ != nullptr) {
      readers_->GiveWay();
      const int fd = open();
      if (fd >= 0 || !OutOfDescriptors(errno)) return fd;
    }
    while (EvictOne(keep)) {
      const int fd = open();
      if (fd >= 0 || !OutOfDescriptors(errno)) return fd;
    }
    errno = EMFILE;
    return -1;
  }

  // Lets go of one of the walk's own levels (a reader still listing below
  // it may hold the descriptor a little longer).
  void CloseCounted(SharedFd& fd) {
    if (fd == nullptr) return;
    fd.reset();
    --openCount_;
  }

  // Reopens level `j` through "..", of its child when that is at hand, else
  // by the path components below the nearest open ancestor. Every step
  // must land on the directory the walk saw there.
  bool Reopen(std::size_t j, int childFd) {
    Frame& f = frames_[j];
    if (childFd >= 0) {
      int fd = ::openat(childFd, "..", kSubdirOpenFlags);
      if (fd < 0 && OutOfDescriptors(errno)) fd = OpenAgain(j, [&] { return ::openat(childFd, "..", kSubdirOpenFlags); });
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
      int opened = ::openat(base, component_.c_str(), kSubdirOpenFlags);
      if (opened < 0 && OutOfDescriptors(errno)) {
        opened = OpenAgain(j, [&] { return ::openat(base, component_.c_str(), kSubdirOpenFlags); });
      }
      if (opened < 0 && !GoneOrSwapped(errno)) reopenError_ = errno;
      posix::UniqueFd next(opened);
      if (!next.Valid() || posix::IdOfFd(next.Get()) != frames_[m].id) return false;
      current = std::move(next);
      base = current.Get();
    }
    Reopened(j, current.Release());
    return true;
  }

  void Reopened(std::size_t j, int fd) {
    frames_[j].fd = fd;
    frames_[j].held = Share(fd);
    ++openCount_;
    lowestOpen_ = std::min(lowestOpen_, j);
  }

  std::deque<Frame> frames_;  // reused across levels; a deque keeps references stable
  std::size_t depth_ = 0;
  std::size_t openCount_ = 0;
  // Levels, ascending, whose listings may still hold folders to offer
  // readers.
  std::vector<std::size_t> offering_;
  std::size_t lowestOpen_ = 1;  // levels [1, lowestOpen_) are known to be closed
  std::string path_;
  std::string root_;  // as given, for errors about it
  std::string component_;
  std::uint32_t mask_;
  const TreeWalker::Callbacks& callbacks_;
  int reopenError_ = 0;  // why the last Reopen could not open a level
  std::unique_ptr<char[]> buffer_;
  posix::ReadAhead* readers_ = nullptr;
  posix::AheadKey scratchKey_;
};

}  // namespace

std::string TreeWalker::Entry::FullPath() const {
  std::string full;
  full.reserve(dirPath_->size() + name_.size());
  full.append(*dirPath_).append(name_);
  return full;
}

FileId TreeWalker::Entry::Id() const { return statDone_ ? data_.id : aheadId_; }

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

namespace {

// Opens a walk's root; readers of an earlier walk that still hold
// descriptors get the time to give them back. A root that cannot be opened
// is an error unless it is not there or no directory.
template <class Open>
int OpenRoot(const std::string& root, const TreeWalker::Callbacks& callbacks, const Open& open) {
  int fd = open();
  if (fd < 0 && OutOfDescriptors(errno)) {
    posix::ReadAhead::WaitForIdleReaders();
    fd = open();
  }
  if (fd < 0 && errno != ENOENT && errno != ENOTDIR && callbacks.onError) {
    callbacks.onError(root, TreeWalker::Failure::Open, errno);
  }
  return fd;
}

}  // namespace

bool TreeWalker::Walk(const std::string& root, std::uint32_t mask, const Visitor& visitor,
                      std::uint64_t rootTag, ReadAhead ahead, const Callbacks& callbacks) {
  if (root.empty()) return false;
  const int fd = OpenRoot(root, callbacks, [&] { return ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  return WalkOpened(fd, root, mask, visitor, rootTag, ahead, callbacks);
}

bool TreeWalker::WalkAt(int dirFd, const std::string& root, std::uint32_t mask,
                        const Visitor& visitor, std::uint64_t rootTag, ReadAhead ahead,
                        const Callbacks& callbacks) {
  if (dirFd < 0 || root.empty()) return false;
  const int fd = OpenRoot(root, callbacks, [&] { return ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  return WalkOpened(fd, root, mask, visitor, rootTag, ahead, callbacks);
}

bool TreeWalker::WalkOpened(int rootFd, const std::string& root, std::uint32_t mask,
                            const Visitor& visitor, std::uint64_t rootTag, ReadAhead ahead,
                            const Callbacks& callbacks) {
  if (rootFd < 0) return false;
  const FileId rootId = posix::IdOfFd(rootFd);
  // Declared before the walk: its requests are dropped before it goes.
  std::unique_ptr<posix::ReadAhead> readers;
  WalkState walk(root, mask, callbacks);
  posix::MountBoundary mounts(rootFd, walk.Path());
  if (ahead != ReadAhead::Off) {
    readers = std::make_unique<posix::ReadAhead>(mounts.Root(), mask, ahead == ReadAhead::FoldersAndFiles,
                                                 callbacks.mayEnter, callbacks.wantsData);
    if (readers->Enabled()) walk.UseReaders(readers.get());
  }
  if (!walk.PushRoot(rootFd, rootId, rootTag)) return false;
  walk.OfferJobs();
  const std::uint32_t me = CurrentUserId();

  Entry entry;
  entry.dirPath_ = &walk.Path();
  posix::Listing::Item item{};
  while (walk.Depth() > 0) {
    Frame& frame = walk.Top();
    if (!frame.listing.Next(item)) {
      walk.Pop();
      walk.OfferJobs();
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
    // A folder a reader has listed: whose it is and where it is mounted
    // the reader's open told, and Enter looks at its name again.
    bool listedAhead = false;
    posix::ReadAhead::Look look;
    // Only an unknown kind and a directory (whose mount must be the root's)
    // need the file system before the visitor asks.
    if (type == DT_UNKNOWN || type == DT_DIR) {
      if (type == DT_DIR && !PassesEntryFilter(hiddenBit | kAttrDirectory, mask)) continue;
      // A folder its name alone keeps out is not looked at (readers neither
      // open nor list it either).
      if (type == DT_DIR && !walk.MayEnter(item.name, walk.Depth() - 1, std::nullopt)) continue;
      if (aheadStat != nullptr) {
        if (!aheadStat->ok) continue;
        sx = aheadStat->sx;
      } else if (type == DT_DIR && walk.PeekAhead(raw, look)) {
        listedAhead = !look.statKnown;
        sx = look.sx;  // as the reader found it on opening it
      } else if (posix::StatAt(frame.fd, item.name.data(), sx) != 0) {
        // A folder listed but not searchable leaves its sub-folders
        // unknown: an error, unless the walk would not go there anyway.
        const int error = errno;
        if (type == DT_DIR && error != ENOENT) {
          walk.Report(item.name, Failure::Open, error);
        }
        continue;
      }
      if (!listedAhead) {
        haveStat = true;
        type = ListedType(sx.stx_mode);
      }
    }
    if (type == DT_UNKNOWN) continue;  // a socket, FIFO or device
    const bool isDirectory = type == DT_DIR;
    if (!PassesEntryFilter(hiddenBit | (isDirectory ? kAttrDirectory : 0), mask)) continue;
    if (isDirectory && !listedAhead && mounts.IsBeyond(sx, walk.Path(), item.name)) continue;
    if (isDirectory && !walk.MayEnter(item.name, walk.Depth() - 1, listedAhead ? me : sx.stx_uid)) continue;

    entry.name_ = item.name;
    entry.dirFd_ = frame.fd;
    entry.depth_ = walk.Depth() - 1;
    entry.ordinal_ = ++frame.ordinal;
    entry.isDirectory_ = isDirectory;
    entry.isSymlink_ = type == DT_LNK;
    entry.statDone_ = haveStat;
    entry.statOk_ = haveStat;
    entry.aheadStat_ = aheadStat;
    entry.aheadId_ = listedAhead ? look.id : FileId{};
    if (haveStat) entry.data_ = posix::DataOf(sx, hidden);
    entry.dirTag_ = frame.tag;
    entry.childTag_ = 0;

    const Action action = visitor(entry);
    if (action == Action::Leave) {
      walk.Pop();
    } else if (action == Action::Enter && isDirectory) {
      walk.Enter(item.name, raw, entry.Id(), entry.childTag_);
    }
    if (isDirectory || action == Action::Leave) walk.OfferJobs();
  }
  return true;
}

FileId TreeWalker::RootId(const std::string& root) {
  if (root.empty()) return {};
  posix::UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.Valid() ? posix::IdOfFd(fd.Get()) : FileId{};
}

}  // namespace purgo::platform
