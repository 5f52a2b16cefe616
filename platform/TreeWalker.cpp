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
bool GoneOrSwapped(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP; }

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
  // The open folder, shared with the readers that list below it; -1 and
  // none while evicted, and for a folder a reader listed until the walk
  // needs it open.
  std::shared_ptr<posix::UniqueFd> held;
  int fd = -1;
  std::size_t pathLength = 0;  // DirPath() of this level is path[0, pathLength)
  std::size_t ordinal = 0;
  std::uint64_t tag = 0;
  std::size_t raw = 0;  // items taken from the listing, filtered ones included
  // What readers took of this listing, by ascending item position, and the
  // first of them not yet passed.
  std::vector<posix::AheadStat> stats;
  std::size_t statAt = 0;
  // Folders of this listing given to readers as jobs, by item position
  // (ascending), and where the offering goes on.
  std::deque<std::pair<std::size_t, std::shared_ptr<posix::ReadAheadJob>>> jobs;
  std::size_t offerPos = 0;
  std::size_t offerRaw = 0;
  // The job whose sub-tree holds this folder, and its place there.
  std::shared_ptr<posix::ReadAheadJob> job;
  posix::AheadKey key;
  // A reader taking the attributes of this folder's files from its end
  // (a large folder the walk listed itself).
  std::shared_ptr<posix::ReadAheadJob> share;
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
    for (std::size_t i = 0; i < depth_; ++i) Release(frames_[i]);
  }

  void UseReaders(posix::ReadAhead* readers) { readers_ = readers; }

  // The job given for item `raw` of the current listing, if any; jobs for
  // earlier items are dropped.
  std::shared_ptr<posix::ReadAheadJob> Claim(std::size_t raw) {
    Frame& f = Top();
    DropJobs(f, raw);
    if (f.jobs.empty() || f.jobs.front().first != raw) return nullptr;
    std::shared_ptr<posix::ReadAheadJob> job = std::move(f.jobs.front().second);
    f.jobs.pop_front();
    return job;
  }
  void Drop(const std::shared_ptr<posix::ReadAheadJob>& job) { readers_->Drop(*job); }

  // statx of the entry `name` of the current directory; 0 or the errno.
  // A folder a reader listed is not open. Its sub-folders (`folder`) are
  // then looked at from the nearest open ancestor, in one call; a link on
  // the way there would be followed, which is safe only because the walk
  // enters a folder a reader listed when it is the very one listed, and
  // opens others itself without links. Anything else opens it first.
  int StatEntry(const char* name, bool folder, struct statx& sx) {
    if (!folder && !OpenTop()) return ENOENT;
    const Frame& f = Top();
    if (f.fd >= 0) return posix::StatAt(f.fd, name, sx);
    std::size_t a = depth_ - 1;
    while (frames_[a].fd < 0) --a;  // the root is always open
    statPath_.assign(path_, frames_[a].pathLength, std::string::npos).append(name);
    if (statPath_.size() < kMaxPathInOneCall) return posix::StatAt(frames_[a].fd, statPath_.c_str(), sx);
    if (!OpenTop()) return ENOENT;
    return posix::StatAt(Top().fd, name, sx);
  }

  // Gives idle readers the folders the walk comes to last among the
  // `reach_` deepest levels: the shallowest level's first, so that a
  // reader lists a large sub-tree while the walk lists what comes before
  // it, but nearer once a job lay further ahead than its queue holds, and
  // further again each time the walk catches up with a reader. In the
  // walk's own listing the next folder is left to the walk, which reaches
  // it before a reader would be far into it. Listings a job covers are
  // left alone.
  void OfferJobs() {
    if (readers_ == nullptr) return;
    readers_->NoteWalkCpu();
    if (readers_->TookTooFar()) reach_ = std::max<std::size_t>(1, std::min(reach_, depth_) - 1);
    if (!readers_->WantsJob()) return;
    const std::size_t nearest = depth_ > reach_ ? depth_ - reach_ + 1 : 1;
    // Only the levels with listing left to offer are looked at: in a chain
    // thousands of levels deep, going over every level at every folder
    // made the walk quadratic in its depth.
    for (std::size_t i = 0; i < offering_.size();) {
      const std::size_t level = offering_[i];
      if (level < nearest) {
        ++i;
        continue;
      }
      Frame& f = frames_[level - 1];
      // A listing a job covers is the job's until its reader is done; then
      // what the reader left (it ended for want of room in its queue) may
      // go to another.
      const bool leftOver = Covered(f);
      if (leftOver && !posix::ReadAhead::Over(*f.job)) {
        ++i;
        continue;
      }
      bool next = level == depth_;
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
        if (leftOver) {
          ChildKey(f, at, scratchKey_);
          if (!posix::ReadAhead::LeftToWalk(*f.job, scratchKey_)) continue;
        }
        // A folder a reader listed is opened for the job's sake only now
        // that it has one to give.
        if (f.fd < 0 && !OpenLevel(level - 1)) {
          f.offerPos = before;
          f.offerRaw = at;
          break;
        }
        std::shared_ptr<posix::ReadAheadJob> job = readers_->Offer(f.held, item.name, level - 1);
        if (job == nullptr) {
          f.offerPos = before;
          f.offerRaw = at;
          return;
        }
        f.jobs.emplace_back(at, std::move(job));
        if (!readers_->WantsJob()) {
          f.offerPos = pos;
          f.offerRaw = raw;
          return;
        }
      }
      f.offerPos = pos;
      f.offerRaw = raw;
      // A listing does not change while its level lives: once offered to
      // its end, the level has nothing more for readers. (The walk's own
      // listing keeps its next folder.)
      if (!more && level != depth_) {
        offering_.erase(offering_.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
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

  // Takes ownership of `fd` in every case. `oneDevicePerMount`: the root's
  // file system has one device per mount, so that a folder's listing names
  // the folder itself ("."), and a folder the walk opens itself is known
  // without asking for its attributes.
  bool PushRoot(int fd, FileId id, std::uint64_t tag, bool oneDevicePerMount) {
    selfInoTells_ = oneDevicePerMount;
    return Push(std::make_shared<posix::UniqueFd>(fd), id, tag, nullptr, nullptr, {});
  }

  // Enters `name` of the current directory when it is still the directory
  // `expected` (it may have been swapped for another one or a link since
  // the listing); otherwise passes it over. `job` is the job given for it,
  // if any. A listing a reader made is used only when it is of the
  // directory `expected`, and the folder is then left closed until the
  // walk needs it; otherwise the walk opens and lists it itself.
  void Enter(std::string_view name, std::size_t raw, FileId expected, std::uint64_t tag,
             std::shared_ptr<posix::ReadAheadJob> job) {
    posix::AheadKey key;
    if (job == nullptr && Covered(Top())) {
      job = Top().job;
      ChildKey(Top(), raw, key);
    }
    std::unique_ptr<posix::AheadDir> ahead;
    if (job != nullptr) {
      ahead = readers_->Take(*job, key);
      if (ahead == nullptr && reach_ < kMaxReach) ++reach_;  // caught up: offer further ahead
      if (ahead == nullptr || ahead->id != expected) {
        ahead.reset();
        if (key.empty()) readers_->Drop(*job);
        job.reset();
      }
    }
    std::shared_ptr<posix::UniqueFd> fd;
    if (ahead == nullptr) {
      fd = OpenOwn(name);
      if (fd == nullptr) return;
    }
    const std::size_t before = path_.size();
    path_.append(name);
    path_.push_back(kPathDelimiter);
    if (!Push(std::move(fd), expected, tag, ahead.get(), std::move(job), std::move(key))) path_.resize(before);
  }

  // Ends the current listing and makes its parent current again. A parent
  // the walk closed is reopened through the child's "..", when the child
  // was open; when it cannot be reopened as the same directory, its
  // remaining entries are abandoned too, and so on upwards. A parent
  // reached from a closed child stays closed until the walk needs it.
  void Pop() {
    const std::size_t k = depth_ - 1;
    std::shared_ptr<posix::UniqueFd> child = std::move(frames_[k].held);
    const bool counted = frames_[k].fd >= 0;
    frames_[k].fd = -1;
    Release(frames_[k]);
    depth_ = k;
    while (child != nullptr && depth_ > 1 && frames_[depth_ - 1].fd < 0) {
      reopenError_ = 0;
      if (Reopen(depth_ - 1, child->Get())) break;
      // The rest of that listing is lost: an error unless the folder moved.
      if (reopenError_ != 0) Report({}, TreeWalker::Failure::Open, reopenError_);
      --depth_;
      Release(frames_[depth_]);
    }
    if (counted) --openCount_;
    while (!offering_.empty() && offering_.back() > depth_) offering_.pop_back();
    if (depth_ > 0) path_.resize(Top().pathLength);
  }

 private:
  // Whether a live job lists the sub-folders of `f` for the walk.
  static bool Covered(const Frame& f) {
    return f.job != nullptr && posix::ReadAhead::Covers(*f.job, f.key.size());
  }
  // The place in its job of item `raw` of `f`.
  static void ChildKey(const Frame& f, std::size_t raw, posix::AheadKey& key) {
    key = f.key;
    key.push_back(static_cast<std::uint32_t>(raw));
  }

  // Drops the jobs for items before `raw` (all: SIZE_MAX).
  void DropJobs(Frame& f, std::size_t raw) {
    while (!f.jobs.empty() && f.jobs.front().first < raw) {
      readers_->Drop(*f.jobs.front().second);
      f.jobs.pop_front();
    }
  }

  // The walk is done with this level: its jobs and, when the level is a
  // job's own folder, that job too are let go; so is its descriptor.
  void Release(Frame& f) {
    DropJobs(f, SIZE_MAX);
    if (f.job != nullptr && f.key.empty()) readers_->Drop(*f.job);
    f.job.reset();
    if (f.share != nullptr) {
      readers_->Drop(*f.share);
      f.share.reset();
      sharing_ = false;
    }
    if (f.fd >= 0) --openCount_;
    f.fd = -1;
    f.held.reset();
  }

 public:
  // Makes sure the current directory is open (a folder a reader listed is
  // not, nor one evicted); false when it no longer is the folder listed.
  bool OpenTop() {
    if (Top().fd >= 0) return true;
    reopenError_ = 0;
    if (Reopen(depth_ - 1, -1)) return true;
    if (reopenError_ != 0) Report({}, TreeWalker::Failure::Open, reopenError_);
    return false;
  }
  // The same for level `j`, quietly: the walk comes to its errors when it
  // goes on with that level.
  bool OpenLevel(std::size_t j) {
    if (frames_[j].fd >= 0) return true;
    if (openCount_ >= TreeWalker::kMaxOpenDirs) EvictOne(j);
    reopenError_ = 0;
    return Reopen(j, -1);
  }
  static int OpenTopFor(void* walk) {
    auto* self = static_cast<WalkState*>(walk);
    return self->OpenTop() ? self->Top().fd : -1;
  }

 private:

  // Opens the folder `name` of the current directory for the walk itself,
  // never through a link; null when it cannot be (told to the caller's
  // error handler unless the name no longer leads to a folder).
  std::shared_ptr<posix::UniqueFd> OpenOwn(std::string_view name) {
    if (!OpenTop()) return nullptr;
    const int parent = Top().fd;
    auto open = [&] {
      if (selfInoTells_) {
        // The same mount, or no folder: what Push's identity check asks.
        const int fd = posix::OpenFolderOnSameMount(parent, name.data());
        if (fd >= 0 || errno != ENOSYS) return fd;
        selfInoTells_ = false;
      }
      return ::openat(parent, name.data(), kSubdirOpenFlags);
    };
    int fd = open();
    if (fd < 0 && OutOfDescriptors(errno)) fd = OpenAgain(depth_ - 1, open);
    if (fd < 0) {
      const int error = errno;
      // EXDEV: another mount was put there since the listing.
      if (!GoneOrSwapped(error) && error != EXDEV) Report(name, TreeWalker::Failure::Open, error);
      return nullptr;
    }
    return std::make_shared<posix::UniqueFd>(fd);
  }

  // Takes `fd` in every case. A folder the walk opened itself (no `ahead`)
  // must turn out to be `id`, by its listing's "." entry where that tells,
  // or by its attributes; otherwise it is passed over as swapped.
  bool Push(std::shared_ptr<posix::UniqueFd> fd, FileId id, std::uint64_t tag, posix::AheadDir* ahead,
            std::shared_ptr<posix::ReadAheadJob> job, posix::AheadKey key) {
    if (frames_.size() == depth_) frames_.emplace_back();
    Frame& f = frames_[depth_];
    f.raw = f.offerPos = f.offerRaw = f.statAt = 0;
    f.stats.clear();
    if (ahead != nullptr) {
      f.listing = std::move(ahead->listing);
      f.stats = std::move(ahead->stats);
    } else if (!f.listing.Read(fd->Get(), buffer_.get())) {
      const int error = errno;
      f.listing.Clear();
      if (callbacks_.onError) {
        std::string folder = depth_ == 0 ? root_ : path_.substr(0, path_.size() - 1);
        callbacks_.onError(folder, TreeWalker::Failure::List, error);
      }
      return false;
    } else if (depth_ > 0 && !(selfInoTells_ && f.listing.SelfIno() == id.inode) &&
               posix::IdOfFd(fd->Get()) != id) {
      f.listing.Clear();
      return false;
    }
    f.job = std::move(job);
    f.key = std::move(key);
    if (fd != nullptr) {
      if (openCount_ >= TreeWalker::kMaxOpenDirs) EvictOne();
      f.fd = fd->Get();
      f.held = std::move(fd);
      ++openCount_;
      if (depth_ >= 1) lowestOpen_ = std::min(lowestOpen_, depth_);
    } else {
      f.fd = -1;
      f.held.reset();
    }
    // One share at a time: what it holds stays until the walk leaves the
    // folder, and a chain of large folders would hold one per level.
    if (ahead == nullptr && readers_ != nullptr && !sharing_ && f.listing.Bytes() >= posix::ReadAhead::kShareFrom) {
      f.share = readers_->OfferShare(f.held, f.listing);
      sharing_ = f.share != nullptr;
    }
    f.id = id;
    f.pathLength = path_.size();
    f.ordinal = 0;
    f.tag = tag;
    ++depth_;
    offering_.push_back(depth_);
    return true;
  }

  // Closes the shallowest open level below the root and below `below`.
  bool EvictOne(std::size_t below = SIZE_MAX) {
    for (std::size_t i = std::max<std::size_t>(lowestOpen_, 1); i < std::min(depth_, below); ++i) {
      if (frames_[i].fd >= 0) {
        frames_[i].held.reset();
        frames_[i].fd = -1;
        --openCount_;
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
    if (selfInoTells_ && j > a + 1 && frames_[j].pathLength - frames_[a].pathLength <= kMaxPathInOneCall) {
      // The whole way down in one call, never through a link or out of
      // the mount; the folder reached must be the one listed.
      component_.assign(path_, frames_[a].pathLength, frames_[j].pathLength - frames_[a].pathLength - 1);
      const int base = frames_[a].fd;
      int fd = posix::OpenFolderOnSameMount(base, component_.c_str());
      if (fd < 0 && OutOfDescriptors(errno)) {
        fd = OpenAgain(j, [&] { return posix::OpenFolderOnSameMount(base, component_.c_str()); });
      }
      if (fd >= 0 || errno != ENOSYS) {
        if (fd < 0 && !GoneOrSwapped(errno) && errno != EXDEV) reopenError_ = errno;
        posix::UniqueFd opened(fd);
        if (!opened.Valid() || posix::IdOfFd(opened.Get()) != f.id) return false;
        Reopened(j, opened.Release());
        return true;
      }
    }
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
    frames_[j].held = std::make_shared<posix::UniqueFd>(fd);
    frames_[j].fd = fd;
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
  std::string statPath_;
  std::uint32_t mask_;
  const TreeWalker::Callbacks& callbacks_;
  int reopenError_ = 0;  // why the last Reopen could not open a level
  bool selfInoTells_ = false;
  // Longest relative path given to the kernel in one call (PATH_MAX with
  // room to spare); longer ways go folder by folder.
  static constexpr std::size_t kMaxPathInOneCall = 4000;
  // How many of the deepest levels jobs are offered from.
  static constexpr std::size_t kMaxReach = 64;
  std::size_t reach_ = kMaxReach;
  std::unique_ptr<char[]> buffer_;
  posix::ReadAhead* readers_ = nullptr;
  posix::AheadKey scratchKey_;
  bool sharing_ = false;  // a level has a share
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
  if (aheadStat_ == nullptr && share_ != nullptr) aheadStat_ = posix::ReadAhead::TakeShared(*share_, sharePos_);
  if (aheadStat_ != nullptr) {
    statOk_ = aheadStat_->ok && (aheadStat_->sx.stx_mode & S_IFMT) == expected;
    sx = aheadStat_->sx;
  } else {
    const int dirFd = DirFd();
    statOk_ = dirFd >= 0 && posix::StatAt(dirFd, name_.data(), sx) == 0 && (sx.stx_mode & S_IFMT) == expected;
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

int TreeWalker::Entry::DirFd() const {
  if (dirFd_ < 0 && openDir_ != nullptr) dirFd_ = openDir_(walk_);
  return dirFd_;
}

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
  const bool oneDevicePerMount = posix::OneDevicePerMount(rootFd);
  if (ahead != ReadAhead::Off) {
    readers = std::make_unique<posix::ReadAhead>(mounts.Root(), oneDevicePerMount, mask,
                                                 ahead == ReadAhead::FoldersAndFiles,
                                                 callbacks.mayEnter, callbacks.wantsData);
    if (readers->Enabled()) walk.UseReaders(readers.get());
  }
  if (!walk.PushRoot(rootFd, rootId, rootTag, oneDevicePerMount)) return false;
  walk.OfferJobs();

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
    while (frame.statAt < frame.stats.size() && frame.stats[frame.statAt].pos < raw) ++frame.statAt;
    const posix::AheadStat* aheadStat =
        frame.statAt < frame.stats.size() && frame.stats[frame.statAt].pos == raw ? &frame.stats[frame.statAt] : nullptr;
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
      } else if (const int error = walk.StatEntry(item.name.data(), type == DT_DIR, sx); error != 0) {
        // A folder listed but not searchable leaves its sub-folders
        // unknown: an error, unless the walk would not go there anyway.
        if (type == DT_DIR && !GoneOrSwapped(error) && walk.MayEnter(item.name, walk.Depth() - 1, std::nullopt)) {
          walk.Report(item.name, Failure::Open, error);
        }
        continue;
      }
      haveStat = true;
      type = ListedType(sx.stx_mode);
    }
    if (type == DT_UNKNOWN) continue;  // a socket, FIFO or device
    const bool isDirectory = type == DT_DIR;
    if (!PassesEntryFilter(hiddenBit | (isDirectory ? kAttrDirectory : 0), mask)) continue;
    if (isDirectory && mounts.IsBeyond(sx, walk.Path(), item.name)) continue;
    if (isDirectory && !walk.MayEnter(item.name, walk.Depth() - 1, sx.stx_uid)) continue;

    entry.name_ = item.name;
    entry.dirFd_ = frame.fd;
    entry.openDir_ = &WalkState::OpenTopFor;
    entry.walk_ = &walk;
    entry.depth_ = walk.Depth() - 1;
    entry.ordinal_ = ++frame.ordinal;
    entry.isDirectory_ = isDirectory;
    entry.isSymlink_ = type == DT_LNK;
    entry.statDone_ = haveStat;
    entry.statOk_ = haveStat;
    entry.aheadStat_ = aheadStat;
    entry.share_ = frame.share.get();
    entry.sharePos_ = static_cast<std::uint32_t>(raw);
    if (haveStat) entry.data_ = posix::DataOf(sx, hidden);
    entry.dirTag_ = frame.tag;
    entry.childTag_ = 0;

    const Action action = visitor(entry);
    std::shared_ptr<posix::ReadAheadJob> job = isDirectory ? walk.Claim(raw) : nullptr;
    if (action == Action::Leave) {
      if (job != nullptr) walk.Drop(job);
      walk.Pop();
    } else if (action == Action::Enter && isDirectory) {
      walk.Enter(item.name, raw, entry.data_.id, entry.childTag_, std::move(job));
    } else if (job != nullptr) {
      walk.Drop(job);
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
