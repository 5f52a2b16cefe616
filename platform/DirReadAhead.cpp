// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DirReadAhead.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/FileSystem.h"

namespace purgo::platform::posix {

// What one walk's jobs share: the rules for what a reader may open, and
// the number of jobs not yet over.
struct ReadAheadSession {
  MountFacts root;
  std::uint32_t mask = 0;
  bool fileData = false;
  TreeWalker::DataFilter wantsData;
  // Who owns a folder a reader opens with O_NOATIME.
  std::uint32_t me = 0;
  // Whether a listing's "." tells its folder (see OneDevicePerMount).
  bool idFromListing = false;
  // Jobs at once while folders read fast (a warm cache: readers then
  // compete with the walk for the cores), and while they read slowly (the
  // readers mostly wait for the disk, and more of them keep it busy).
  std::size_t maxJobsFast = 0;
  std::size_t maxJobsSlow = 0;
  // Whether a reader's last few folders made the disk read (a hint, set by
  // whichever reader looked last). Wall time would not tell: readers that
  // share the cores with each other take long on a warm cache too.
  std::atomic<bool> fromDisk{false};
  std::atomic<std::size_t> running{0};
  // The walk is over (or stopped): nothing more is read for it.
  std::atomic<bool> ended{false};
  // Descriptors ran short (for a reader or the walk): the walk's own opens
  // come first, so no more jobs for this walk.
  std::atomic<bool> starved{false};
  // A job ended with its queue full: it lay further ahead of the walk than
  // its share of the queue holds (read and cleared by the walk).
  std::atomic<bool> tooFar{false};
  // The walk's folder filter; readers list nothing it refuses.
  TreeWalker::EnterFilter mayEnter;
  // The core the walk last ran on (-1: unknown), written when it changes.
  std::atomic<int> walkCpu{-1};
};

// Jobs of every walk that may still hold a descriptor: given out and not
// yet over.
std::atomic<std::size_t> gLiveJobs{0};

// What the walks' jobs may hold, when a test has set it; 0: kMaxQueuedBytes.
std::atomic<std::size_t> gQueuedBytesForTesting{0};

// One sub-tree given to a reader. The walk and the reader share it; the
// queue and the flags below `mutex` are guarded by it.
class ReadAheadJob {
 public:
  std::shared_ptr<ReadAheadSession> session;
  // Taken by the reader when it starts (under `mutex`), or released by a
  // drop before it does: a job that never runs keeps no descriptor.
  std::shared_ptr<UniqueFd> parent;
  std::string name;
  std::size_t depth = 0;  // of the job's folder, as the walk's filter counts

  std::mutex mutex;
  std::deque<std::unique_ptr<AheadDir>> queue;
  std::size_t queuedBytes = 0;
  std::size_t maxBytes = 0;  // its share of what the walk's jobs may hold
  // Set by the walk; the reader stops before its next folder.
  std::atomic<bool> stopped{false};
  // The reader is done with the job, having listed its whole sub-tree
  // (`finished`) or not; `last` is the place of the last listing it
  // queued (under `mutex`): the folders after it are the walk's.
  std::atomic<bool> over{false};
  std::atomic<bool> finished{false};
  AheadKey last;

  // What a share (OfferShare) has besides: its reader asks from the end of
  // the listing backwards and may not come to a position the walk has
  // come to; the two tell each other where they are through `frontier`
  // and `walkAt` (each writes its own, then reads the other's, in one
  // order for both threads, so at most one of them asks for an item).
  struct Share {
    Listing listing;  // the reader's copy
    // By descending position; the walk's to read once the job is `over`.
    std::vector<AheadStat> stats;
    std::atomic<std::uint32_t> frontier{UINT32_MAX};  // the lowest position the reader came to
    std::atomic<std::uint32_t> walkAt{0};             // the walk asks for the positions below
    // The walk's own: whether it came to the reader, and the last of
    // `stats` it looked at.
    bool met = false;
    std::size_t next = 0;
  };
  std::unique_ptr<Share> share;

  bool StopAsked() const {
    return stopped.load(std::memory_order_relaxed) || session->ended.load(std::memory_order_relaxed) ||
           session->starved.load(std::memory_order_relaxed);
  }
};

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Whether a reader's O_NOATIME open of a folder tells that this user owns
// it. The kernel grants that open to the owner only, unless the thread may
// act as any owner (CAP_FOWNER: root). A reader needs that power for
// nothing, so it lets go of it for its own thread (capabilities are per
// thread; the walk's thread keeps its own): then root's readers learn the
// owner from the open too, and look at another owner's folder only.
bool LetGoOfActingAsAnyOwner() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  const std::uint32_t bit = 1u << (CAP_FOWNER % 32);
  if ((data[CAP_FOWNER / 32].effective & bit) == 0) return true;
  data[CAP_FOWNER / 32].effective &= ~bit;
  return ::syscall(SYS_capset, &header, data) == 0;
}
thread_local bool tOwnerByOpen = false;  // set by each reader as it starts

std::size_t SizeOf(const AheadDir& d) {
  return sizeof d + d.listing.Bytes() + d.stats.size() * sizeof(AheadStat) + d.key.size() * sizeof(std::uint32_t);
}

void Stop(ReadAheadJob& job) {
  std::lock_guard<std::mutex> lock(job.mutex);
  job.stopped.store(true, std::memory_order_relaxed);
}

// The reader threads, shared by every walk of the process and never
// stopped. An idle reader sleeps: one that spun waiting for work took
// the core the walk needed on a machine of two.
class Pool {
 public:
  static Pool& Instance() {
    // Left to the end of the process: threads blocked in a wait end with
    // it, and no walk outlives main.
    static Pool* pool = new Pool(ReadAhead::ReaderCount());
    return *pool;
  }

  void Queue(std::shared_ptr<ReadAheadJob> job) {
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
      wake = sleepers_ > 0;
    }
    if (wake) work_.notify_one();
  }

 private:
  explicit Pool(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) std::thread([this] { Run(); }).detach();
  }

  std::shared_ptr<ReadAheadJob> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (jobs_.empty()) {
      ++sleepers_;
      work_.wait(lock, [&] { return !jobs_.empty(); });
      --sleepers_;
    }
    std::shared_ptr<ReadAheadJob> job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
  }

  void Run() {
    ::pthread_setname_np(::pthread_self(), "purgo-reader");
    tOwnerByOpen = LetGoOfActingAsAnyOwner();
    CoreWatch cores;
    std::unique_ptr<char[]> buffer(new char[Listing::kReadBufferSize]);
    DiskWatch watch;
    for (;;) {
      std::shared_ptr<ReadAheadJob> job = Pop();
      if (job->share != nullptr) {
        WorkShare(*job, cores);
      } else {
        Work(*job, buffer.get(), watch, cores);
      }
      job->over.store(true, std::memory_order_release);
      if (job->share != nullptr) job->over.notify_all();
      job->session->running.fetch_sub(1, std::memory_order_release);
      gLiveJobs.fetch_sub(1, std::memory_order_release);
    }
  }

  // Opens the folder `name` of `parentFd` when it is plainly a directory on
  // the root's mount, reached without a link, that the walk's filter lets
  // it enter; anything the walk would have to weigh up is left to the walk.
  // `id` is set when the attributes of what was opened were asked for;
  // `error`: the errno of a failed open.
  static UniqueFd Open(int parentFd, const char* name, const ReadAheadSession& s, std::size_t depth,
                       FileId& id, int& error) {
    error = 0;
    struct statx sx {};
    bool filtered = false;
    if (s.mayEnter && tOwnerByOpen) {
      // Opened without touching its access time only by its owner: the
      // open that lists the folder tells the owner too, and only a folder
      // of another owner needs a look at its attributes.
      UniqueFd fd(OpenFolderOnSameMount(parentFd, name, O_NOATIME));
      if (fd.Valid()) return s.mayEnter(name, depth, s.me) ? std::move(fd) : UniqueFd();
      if (errno == EPERM) {
        // Another owner's, when it was looked at: the folder opened next may
        // not be that one, so its identity is taken from what is opened.
        if (StatAt(parentFd, name, sx) != 0 || !s.mayEnter(name, depth, sx.stx_uid)) return {};
        filtered = true;
      } else if (errno != ENOSYS) {
        error = errno;
        return {};
      }
    }
    UniqueFd fd(OpenFolderOnSameMount(parentFd, name));
    if (fd.Valid()) {
      if (s.mayEnter && !filtered) {
        if (StatAt(fd.Get(), "", sx, kStatxFlags | AT_EMPTY_PATH) != 0) return {};
        if (!s.mayEnter(name, depth, sx.stx_uid)) return {};
        id = IdOf(sx);
      }
      return fd;
    }
    if (errno != ENOSYS) {
      error = errno;
      return {};
    }
    if (StatAt(parentFd, name, sx) != 0 || !S_ISDIR(sx.stx_mode)) return {};
    const MountFacts f = MountFactsOf(sx);
    if (!f.mountIdKnown || f.mountId != s.root.mountId || f.mountRoot) return {};
    if (s.mayEnter && !s.mayEnter(name, depth, sx.stx_uid)) return {};
    fd = UniqueFd(::openat(parentFd, name, kOpenFlags));
    if (!fd.Valid()) error = errno;
    if (!fd.Valid() || IdOfFd(fd.Get()) != IdOf(sx)) return {};
    id = IdOf(sx);
    return fd;
  }

  // Hands a listing to the walk, waiting while the job holds too much the
  // walk has not taken. False when the job was stopped.
  static bool Publish(ReadAheadJob& job, std::unique_ptr<AheadDir> dir) {
    const std::size_t size = SizeOf(*dir);
    std::unique_lock<std::mutex> lock(job.mutex);
    if (job.queuedBytes > 0 && job.queuedBytes + size > job.maxBytes) {
      // Waiting for the walk would hold a reader, and its share of the
      // cores, while the walk reads alone: the job ends here (what it
      // queued stays for the walk) and the next one lies nearer.
      job.session->tooFar.store(true, std::memory_order_relaxed);
      return false;
    }
    if (job.StopAsked()) return false;
    job.queuedBytes += size;
    job.last = dir->key;
    job.queue.push_back(std::move(dir));
    return true;
  }

  struct Level {
    UniqueFd fd;
    Listing listing;  // the reader's own copy: the walk may take the queued one at once
    std::size_t pos = 0;
    std::uint32_t raw = 0;
  };

  // Lists the folder `name` of `parentFd` for `key` and queues it; the
  // folder becomes the deepest level when the job goes below it. A folder
  // the walk's filter refuses is neither listed nor, when its name alone
  // decides, opened. False when the job is to end.
  static bool ReadOne(ReadAheadJob& job, int parentFd, const char* name, AheadKey& key,
                      std::vector<Level>& levels, char* buffer) {
    ReadAheadSession& s = *job.session;
    const std::size_t depth = job.depth + key.size();
    if (s.mayEnter && !s.mayEnter(name, depth, std::nullopt)) return true;
    auto dir = std::make_unique<AheadDir>();
    int error = 0;
    UniqueFd fd = Open(parentFd, name, s, depth, dir->id, error);
    if (error == EMFILE || error == ENFILE) {
      // Out of descriptors: the walk needs them more. Ending the job gives
      // back every one it holds.
      s.starved.store(true, std::memory_order_relaxed);
      return false;
    }
    if (!fd.Valid()) return true;
    if (!dir->listing.Read(fd.Get(), buffer, ReadAhead::kMaxListingBytes)) return true;
    if (!dir->id.IsKnown()) {
      // On the root's mount of a file system of one device per mount, the
      // listing's "." names the folder; elsewhere its attributes do.
      if (s.idFromListing && dir->listing.SelfIno() != 0) {
        dir->id = FileId{s.root.device, dir->listing.SelfIno()};
      } else {
        dir->id = IdOfFd(fd.Get());
        if (!dir->id.IsKnown()) return true;
      }
    }
    if (s.fileData || s.wantsData) {
      Listing::Item item{};
      std::size_t pos = 0;
      for (std::uint32_t at = 0; dir->stats.size() < ReadAhead::kMaxStats && dir->listing.NextAt(pos, item); ++at) {
        // The walk takes a folder's attributes when it comes to it.
        if (item.type == DT_DIR || (!s.fileData && !s.wantsData(item.name))) continue;
        if (!PassesEntryFilter(IsHiddenName(item.name) ? kAttrHidden : 0, s.mask)) continue;
        AheadStat& a = dir->stats.emplace_back();
        a.pos = at;
        a.ok = StatAt(fd.Get(), item.name.data(), a.sx) == 0;
      }
    }
    dir->key = key;
    // Copy-constructed: an assignment here draws a false -Wrestrict
    // warning from GCC 12's optimizer.
    Listing own = key.size() < ReadAhead::kMaxJobDepth ? Listing(dir->listing) : Listing();
    if (!Publish(job, std::move(dir))) return false;
    if (key.size() < ReadAhead::kMaxJobDepth) levels.push_back({std::move(fd), std::move(own)});
    return true;
  }

  // Blocks this thread has read from the disk so far.
  static long BlocksRead() {
    struct rusage usage {};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
  }

  // One reader's count of its folders; every 64th tells the session of
  // the job at hand whether the last 64 came from the disk.
  class DiskWatch {
   public:
    DiskWatch() : blocks_(BlocksRead()) {}
    void Folder(ReadAheadSession& s) {
      if (++folders_ % 64 != 0) return;
      const long now = BlocksRead();
      s.fromDisk.store(now != blocks_, std::memory_order_relaxed);
      blocks_ = now;
    }

   private:
    long blocks_;
    unsigned folders_ = 0;
  };

  // Keeps a reader off the core the walk runs on. Some kernels pack a
  // process's busy threads onto one core and move neither: the walk and a
  // reader then take turns there while the other core idles (seen on a
  // 2-core VM, for a third of a scan). A reader that finds itself on the
  // walk's core moves away, and is free again at once: no lasting pin,
  // nothing taken from a user's own limits. At most one move per
  // kFoldersPerMove folders, whatever the kernel does after.
  class CoreWatch {
   public:
    CoreWatch() {
      CPU_ZERO(&allowed_);
      usable_ = ::sched_getaffinity(0, sizeof allowed_, &allowed_) == 0 && CPU_COUNT(&allowed_) > 1;
    }
    void Folder(const ReadAheadSession& s) {
      if (!usable_) return;
      if (folders_ < kFoldersPerMove) {
        ++folders_;
        return;
      }
      const int walk = s.walkCpu.load(std::memory_order_relaxed);
      if (walk < 0 || walk >= CPU_SETSIZE || ::sched_getcpu() != walk) return;
      const auto cpu = static_cast<std::size_t>(walk);
      if (!CPU_ISSET(cpu, &allowed_)) return;
      folders_ = 0;
      cpu_set_t others = allowed_;
      CPU_CLR(cpu, &others);
      if (::sched_setaffinity(0, sizeof others, &others) == 0) ::sched_setaffinity(0, sizeof allowed_, &allowed_);
    }

   private:
    static constexpr unsigned kFoldersPerMove = 64;
    cpu_set_t allowed_;
    bool usable_ = false;
    unsigned folders_ = kFoldersPerMove;
  };

  // A share: the wanted files' attributes from the end of the listing
  // backwards, until the walk comes near or the share holds its most.
  static void WorkShare(ReadAheadJob& job, CoreWatch& cores) {
    const ReadAheadSession& s = *job.session;
    ReadAheadJob::Share& share = *job.share;
    std::shared_ptr<UniqueFd> folder;
    {
      std::lock_guard<std::mutex> lock(job.mutex);
      folder = std::move(job.parent);
    }
    if (folder == nullptr || job.StopAsked()) return;
    cores.Folder(s);
    // The items the walk will ask about, by position and place in the
    // listing (the walk takes folders' attributes, and those of an item of
    // unknown kind, itself).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> wanted;
    Listing::Item item{};
    std::size_t pos = 0;
    for (std::uint32_t at = 0;; ++at) {
      const std::size_t before = pos;
      if (!share.listing.NextAt(pos, item)) break;
      if (item.type == DT_DIR || item.type == DT_UNKNOWN || (!s.fileData && !s.wantsData(item.name))) continue;
      if (!PassesEntryFilter(IsHiddenName(item.name) ? kAttrHidden : 0, s.mask)) continue;
      wanted.emplace_back(at, static_cast<std::uint32_t>(before));
    }
    for (std::size_t i = wanted.size(); i-- > 0 && share.stats.size() < ReadAhead::kMaxSharedStats;) {
      if (job.StopAsked()) return;
      const std::uint32_t at = wanted[i].first;
      share.frontier.store(at, std::memory_order_seq_cst);
      if (share.walkAt.load(std::memory_order_seq_cst) > at) return;
      std::size_t place = wanted[i].second;
      share.listing.NextAt(place, item);
      AheadStat& a = share.stats.emplace_back();
      a.pos = at;
      a.ok = StatAt(folder->Get(), item.name.data(), a.sx) == 0;
    }
  }

  // The job's sub-tree, depth first in listing order, as the walk goes.
  static void Work(ReadAheadJob& job, char* buffer, DiskWatch& watch, CoreWatch& cores) {
    const ReadAheadSession& s = *job.session;
    std::vector<Level> levels;
    levels.reserve(ReadAhead::kMaxJobDepth + 1);
    AheadKey key;
    std::shared_ptr<UniqueFd> parent;
    {
      std::lock_guard<std::mutex> lock(job.mutex);
      parent = std::move(job.parent);
    }
    if (parent == nullptr || job.StopAsked()) return;
    cores.Folder(s);
    const bool more = ReadOne(job, parent->Get(), job.name.c_str(), key, levels, buffer);
    parent.reset();
    if (!more) return;
    Listing::Item item{};
    while (!levels.empty() && !job.StopAsked()) {
      Level& level = levels.back();
      bool found = false;
      std::uint32_t at = 0;
      while (level.listing.NextAt(level.pos, item)) {
        at = level.raw++;
        if (item.type != DT_DIR) continue;
        const std::uint32_t hidden = IsHiddenName(item.name) ? kAttrHidden : 0;
        if (PassesEntryFilter(hidden | kAttrDirectory, s.mask)) {
          found = true;
          break;
        }
      }
      if (!found) {
        levels.pop_back();
        if (!key.empty()) key.pop_back();
        continue;
      }
      const std::size_t depth = levels.size();
      key.push_back(at);
      watch.Folder(*job.session);
      cores.Folder(s);
      if (!ReadOne(job, level.fd.Get(), item.name.data(), key, levels, buffer)) return;
      if (levels.size() == depth) key.pop_back();  // not gone below it
    }
    if (levels.empty()) job.finished.store(true, std::memory_order_relaxed);
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<std::shared_ptr<ReadAheadJob>> jobs_;
  std::size_t sleepers_ = 0;  // under the lock
};

// How many readers the process has, and how many of them work at once
// while folders come from the cache. Decided once: the pool is made once.
struct ReaderPlan {
  std::size_t readers = 0;
  std::size_t fast = 0;
};

const ReaderPlan& Plan() {
  static const ReaderPlan plan = [] {
    ReaderPlan p;
    if (const char* given = std::getenv("PURGO_WALK_THREADS"); given != nullptr && *given != '\0') {
      std::size_t n = 0;
      const char* end = given + std::char_traits<char>::length(given);
      if (std::from_chars(given, end, n).ptr == end && n >= 1) {
        p.readers = p.fast = std::min<std::size_t>(n, 64) - 1;
        return p;
      }
    }
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores > 1) {
      p.readers = ReadAhead::kMaxJobs;
      p.fast = std::min<std::size_t>(cores - 1, ReadAhead::kMaxJobs);
    }
    return p;
  }();
  return plan;
}

}  // namespace

std::size_t ReadAhead::ReaderCount() { return Plan().readers; }

ReadAhead::ReadAhead(const MountFacts& root, bool idFromListing, std::uint32_t mask, bool fileData,
                     TreeWalker::EnterFilter mayEnter, TreeWalker::DataFilter wantsData)
    : session_(std::make_shared<ReadAheadSession>()), enabled_(root.mountIdKnown && Plan().readers > 0) {
  session_->root = root;
  session_->mask = mask;
  session_->fileData = fileData;
  session_->mayEnter = std::move(mayEnter);
  session_->wantsData = std::move(wantsData);
  session_->idFromListing = idFromListing;
  // The kernel weighs an O_NOATIME open against the file-system user,
  // which follows the effective one.
  session_->me = ::geteuid();
  session_->maxJobsSlow = std::min(Plan().readers, kMaxJobs);
  session_->maxJobsFast = std::min(Plan().fast, session_->maxJobsSlow);
}

ReadAhead::~ReadAhead() { session_->ended.store(true, std::memory_order_release); }

std::size_t ReadAhead::MostJobs() const {
  return session_->fromDisk.load(std::memory_order_relaxed) ? session_->maxJobsSlow : session_->maxJobsFast;
}

bool ReadAhead::WantsJob() const {
  return enabled_ && !session_->starved.load(std::memory_order_relaxed) &&
         session_->running.load(std::memory_order_acquire) < MostJobs();
}

std::shared_ptr<ReadAheadJob> ReadAhead::Offer(std::shared_ptr<UniqueFd> parent, std::string_view name,
                                               std::size_t depth) {
  if (!WantsJob() || parent == nullptr || !parent->Valid()) return nullptr;
  auto job = std::make_shared<ReadAheadJob>();
  job->session = session_;
  job->parent = std::move(parent);
  job->name.assign(name);
  job->depth = depth;
  const std::size_t queued = gQueuedBytesForTesting.load(std::memory_order_relaxed);
  job->maxBytes = (queued != 0 ? queued : kMaxQueuedBytes) / MostJobs();
  Start(job);
  return job;
}

void ReadAhead::Start(const std::shared_ptr<ReadAheadJob>& job) {
  session_->running.fetch_add(1, std::memory_order_relaxed);
  gLiveJobs.fetch_add(1, std::memory_order_relaxed);
  if (jobs_.size() >= 64) {
    std::erase_if(jobs_, [](const std::weak_ptr<ReadAheadJob>& j) { return j.expired(); });
  }
  jobs_.push_back(job);
  Pool::Instance().Queue(job);
}

static_assert(ReadAhead::kShareUpTo < UINT32_MAX, "places and positions in a shared listing fit 32 bits");

std::shared_ptr<ReadAheadJob> ReadAhead::OfferShare(std::shared_ptr<UniqueFd> folder, const Listing& listing) {
  // One reader more than the cores leave room for: it shares the walk's
  // own work, and stops where the walk comes to it.
  if (!enabled_ || session_->starved.load(std::memory_order_relaxed) ||
      (!session_->fileData && !session_->wantsData) || folder == nullptr || !folder->Valid() ||
      listing.Bytes() > kShareUpTo || session_->running.load(std::memory_order_acquire) > MostJobs()) {
    return nullptr;
  }
  auto job = std::make_shared<ReadAheadJob>();
  job->session = session_;
  job->parent = std::move(folder);
  job->share = std::make_unique<ReadAheadJob::Share>();
  job->share->listing = Listing(listing);
  Start(job);
  return job;
}

const AheadStat* ReadAhead::TakeShared(ReadAheadJob& job, std::uint32_t pos) {
  ReadAheadJob::Share& share = *job.share;
  if (!share.met) {
    share.walkAt.store(pos + 1, std::memory_order_seq_cst);
    if (pos < share.frontier.load(std::memory_order_seq_cst)) return nullptr;
    // The reader came this far: it stops before its next item, and what
    // it took is the walk's.
    share.met = true;
    job.stopped.store(true, std::memory_order_relaxed);
    job.over.wait(false, std::memory_order_acquire);
    share.next = share.stats.size();
  }
  while (share.next > 0 && share.stats[share.next - 1].pos < pos) --share.next;
  if (share.next > 0 && share.stats[share.next - 1].pos == pos) return &share.stats[share.next - 1];
  return nullptr;
}

void ReadAhead::GiveWay(std::chrono::milliseconds most) {
  session_->starved.store(true, std::memory_order_relaxed);
  for (const std::weak_ptr<ReadAheadJob>& j : jobs_) {
    if (std::shared_ptr<ReadAheadJob> job = j.lock()) {
      Stop(*job);
      std::lock_guard<std::mutex> lock(job->mutex);
      job->parent.reset();
    }
  }
  jobs_.clear();
  WaitForIdleReaders(most);
}

void ReadAhead::WaitForIdleReaders(std::chrono::milliseconds most) {
  const auto until = std::chrono::steady_clock::now() + most;
  while (gLiveJobs.load(std::memory_order_acquire) != 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

namespace {

std::unique_ptr<AheadDir> PopFront(ReadAheadJob& job) {
  std::unique_ptr<AheadDir> dir = std::move(job.queue.front());
  job.queue.pop_front();
  job.queuedBytes -= SizeOf(*dir);
  return dir;
}

// Releases the listings queued before `key`: folders the walk passed over.
void DropBefore(ReadAheadJob& job, const AheadKey& key) {
  while (!job.queue.empty() && job.queue.front()->key < key) PopFront(job);
}

}  // namespace

std::unique_ptr<AheadDir> ReadAhead::Take(ReadAheadJob& job, const AheadKey& key) {
  std::lock_guard<std::mutex> lock(job.mutex);
  DropBefore(job, key);
  if (!job.queue.empty() && job.queue.front()->key == key) return PopFront(job);
  // Either the reader could not list it, or the walk has caught up with
  // the reader: then the walk reads on by itself, and the reader, stopped
  // (under the lock, so it queues nothing more), is better used further on.
  if (job.queue.empty()) job.stopped.store(true, std::memory_order_relaxed);
  return nullptr;
}

void ReadAhead::Drop(ReadAheadJob& job) {
  Stop(job);
  std::lock_guard<std::mutex> lock(job.mutex);
  job.queue.clear();
  job.queuedBytes = 0;
  job.parent.reset();
}

bool ReadAhead::TookTooFar() {
  // Asked at every folder entry: a write only when there is news keeps the
  // line the readers share from going back and forth between cores.
  return session_->tooFar.load(std::memory_order_relaxed) &&
         session_->tooFar.exchange(false, std::memory_order_relaxed);
}

void ReadAhead::NoteWalkCpu() {
  const int cpu = ::sched_getcpu();
  if (session_->walkCpu.load(std::memory_order_relaxed) != cpu) {
    session_->walkCpu.store(cpu, std::memory_order_relaxed);
  }
}

bool ReadAhead::LeftToWalk(ReadAheadJob& job, const AheadKey& key) {
  if (!job.over.load(std::memory_order_acquire) || job.finished.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lock(job.mutex);
  return job.last < key;
}

void ReadAhead::SetMaxQueuedBytesForTesting(std::size_t bytes) {
  gQueuedBytesForTesting.store(bytes, std::memory_order_relaxed);
}

bool ReadAhead::Over(const ReadAheadJob& job) { return job.over.load(std::memory_order_acquire); }

bool ReadAhead::Covers(const ReadAheadJob& job, std::size_t depth) {
  return depth < kMaxJobDepth && !job.stopped.load(std::memory_order_relaxed);
}

}  // namespace purgo::platform::posix
