#include "platform/DirReadAhead.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/FileSystem.h"

namespace purgo::platform::posix {

// What one walk's requests share: the rules for what a reader may open,
// and the count of requests not yet taken or dropped.
struct ReadAheadSession {
  MountFacts root;
  std::uint32_t mask = 0;
  bool fileData = false;
  std::atomic<std::size_t> outstanding{0};
  // The walk is over (or stopped): nothing more is read for it.
  std::atomic<bool> ended{false};

  // Takes a place in the window; false when it is full.
  bool Reserve() {
    std::size_t n = outstanding.load(std::memory_order_relaxed);
    while (n < ReadAhead::kWindow) {
      if (outstanding.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) return true;
    }
    return false;
  }
  void Release() { outstanding.fetch_sub(1, std::memory_order_relaxed); }
};

// One folder asked for. The walk and the readers share it; whoever lets
// go of it last releases what it holds.
class ReadAheadRequest {
 public:
  enum State : int { Queued, Reading, Done, Withdrawn };
  std::atomic<int> state{Queued};
  std::shared_ptr<UniqueFd> parent;
  std::string name;
  AheadKey key;
  std::uint64_t seq = 0;  // tells apart equal keys of two walks
  std::shared_ptr<ReadAheadSession> session;
  std::unique_ptr<AheadDir> result;  // written before Done; null when given up
};

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Withdraws a request nobody will take, and gives back its place.
void DropRequest(ReadAheadRequest& r) {
  int expected = ReadAheadRequest::Queued;
  // Withdrawn, it is no reader's: its parent's descriptor can go at once.
  if (r.state.compare_exchange_strong(expected, ReadAheadRequest::Withdrawn)) r.parent.reset();
  r.session->Release();
}

// The reader threads, shared by every walk of the process and never
// stopped. A folder takes tens of microseconds to read on a warm cache,
// about what waking a sleeping thread costs, so readers spin a little
// before they sleep. Requests are served in the walk's order, so that
// what the walk needs next is read first.
class Pool {
 public:
  static Pool& Instance() {
    // Left to the end of the process: threads blocked in a wait end with
    // it, and no walk outlives main.
    static Pool* pool = new Pool(ReadAhead::ReaderCount());
    return *pool;
  }

  void Queue(const AskedFolders& asked) {
    if (asked.empty()) return;
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& a : asked) {
        a.second->seq = ++seq_;
        queue_.emplace(std::make_pair(a.second->key, a.second->seq), a.second);
      }
      queued_.fetch_add(asked.size(), std::memory_order_release);
      wake = sleepers_ > 0;
    }
    if (wake) work_.notify_all();
  }

  // The first queued request in the walk's order, or null.
  std::shared_ptr<ReadAheadRequest> TryPop() {
    if (queued_.load(std::memory_order_acquire) == 0) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return nullptr;
    auto first = queue_.begin();
    std::shared_ptr<ReadAheadRequest> r = std::move(first->second);
    queue_.erase(first);
    queued_.fetch_sub(1, std::memory_order_relaxed);
    return r;
  }

  // Reads `r` on this thread unless someone else has begun or withdrawn it,
  // or its walk is over.
  void Process(ReadAheadRequest& r) {
    int expected = ReadAheadRequest::Queued;
    if (r.session->ended.load(std::memory_order_acquire)) {
      if (r.state.compare_exchange_strong(expected, ReadAheadRequest::Withdrawn)) r.parent.reset();
      return;
    }
    if (!r.state.compare_exchange_strong(expected, ReadAheadRequest::Reading)) return;
    thread_local std::unique_ptr<char[]> buffer(new char[Listing::kReadBufferSize]);
    std::unique_ptr<AheadDir> dir = Read(r, buffer.get());
    r.parent.reset();  // its folder is open now, or given up
    if (dir != nullptr) Queue(dir->asked);
    r.result = std::move(dir);
    r.state.store(ReadAheadRequest::Done, std::memory_order_release);
  }

 private:
  explicit Pool(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) std::thread([this] { Run(); }).detach();
  }

  void Run() {
    for (unsigned spins = 0;;) {
      if (std::shared_ptr<ReadAheadRequest> r = TryPop()) {
        Process(*r);
        spins = 0;
        continue;
      }
      if (++spins < 2000) {
        std::this_thread::yield();
        continue;
      }
      std::unique_lock<std::mutex> lock(mutex_);
      ++sleepers_;
      work_.wait(lock, [&] { return !queue_.empty(); });
      --sleepers_;
      spins = 0;
    }
  }

  // Opens the folder `name` of `parentFd` into `dir` when it is plainly a
  // directory on the root's mount, reached without a link; anything the
  // walk would have to weigh up is left to the walk.
  static bool Open(int parentFd, const char* name, const MountFacts& root, AheadDir& dir) {
    struct statx sx {};
    dir.fd = OpenFolderOnSameMount(parentFd, name);
    if (dir.fd >= 0) {
      if (StatAt(dir.fd, "", sx, kStatxFlags | AT_EMPTY_PATH) != 0) return false;
    } else if (errno != ENOSYS) {
      return false;
    } else {
      if (StatAt(parentFd, name, sx) != 0 || !S_ISDIR(sx.stx_mode)) return false;
      const MountFacts f = MountFactsOf(sx);
      if (!f.mountIdKnown || f.mountId != root.mountId || f.mountRoot) return false;
      dir.fd = ::openat(parentFd, name, kOpenFlags);
      if (dir.fd < 0 || IdOfFd(dir.fd) != IdOf(sx)) return false;
    }
    dir.id = IdOf(sx);
    return true;
  }

  // Reads one folder for a request, or gives it up; asks for its
  // sub-folders while the window has room. Touches nothing but the
  // request and what it creates.
  static std::unique_ptr<AheadDir> Read(const ReadAheadRequest& r, char* buffer) {
    const ReadAheadSession& s = *r.session;
    auto dir = std::make_unique<AheadDir>();
    dir->session = r.session;
    dir->key = r.key;
    if (!Open(r.parent->Get(), r.name.c_str(), s.root, *dir)) return nullptr;
    if (!dir->listing.Read(dir->fd, buffer) || dir->listing.Bytes() > ReadAhead::kMaxListingBytes) {
      return nullptr;
    }
    Listing::Item item{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < ReadAhead::kMaxStats && dir->listing.NextAt(pos, item); ++i) {
      const bool wanted = item.type == DT_DIR || item.type == DT_UNKNOWN || s.fileData;
      dir->stats.emplace_back();
      if (!wanted) continue;
      AheadStat& a = dir->stats.back();
      a.taken = true;
      a.ok = StatAt(dir->fd, item.name.data(), a.sx) == 0;
    }
    std::shared_ptr<UniqueFd> self;
    pos = 0;
    std::size_t raw = 0;
    // The walk reads deeper folders itself, and a walk that is over asks
    // for nothing more.
    if (r.key.size() >= ReadAhead::kMaxDepth || s.ended.load(std::memory_order_acquire)) {
      pos = dir->listing.Bytes();
    }
    for (std::size_t at = pos; dir->listing.NextAt(pos, item); at = pos, ++raw) {
      if (item.type != DT_DIR) continue;
      const std::uint32_t hidden = IsHiddenName(item.name) ? kAttrHidden : 0;
      if (!PassesEntryFilter(hidden | kAttrDirectory, s.mask)) continue;
      if (!r.session->Reserve()) {
        pos = at;  // the walk asks for this one and the rest itself
        break;
      }
      if (self == nullptr) self = std::make_shared<UniqueFd>(::fcntl(dir->fd, F_DUPFD_CLOEXEC, 0));
      auto child = std::make_shared<ReadAheadRequest>();
      child->parent = self;
      child->name.assign(item.name);
      child->key = r.key;
      child->key.push_back(static_cast<std::uint32_t>(raw));
      child->session = r.session;
      dir->asked.emplace_back(raw, std::move(child));
    }
    dir->askPos = pos;
    dir->askRaw = raw;
    return dir;
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::map<std::pair<AheadKey, std::uint64_t>, std::shared_ptr<ReadAheadRequest>> queue_;
  std::uint64_t seq_ = 0;  // under the lock
  std::atomic<std::size_t> queued_{0};
  std::size_t sleepers_ = 0;  // under the lock
};

}  // namespace

AheadDir::~AheadDir() {
  for (auto& [raw, r] : asked) DropRequest(*r);
  if (fd >= 0) ::close(fd);
}

std::size_t ReadAhead::ReaderCount() {
  if (const char* given = std::getenv("PURGO_WALK_THREADS"); given != nullptr && *given != '\0') {
    std::size_t n = 0;
    const char* end = given + std::char_traits<char>::length(given);
    if (std::from_chars(given, end, n).ptr == end && n >= 1) return std::min<std::size_t>(n, 64) - 1;
  }
  // Measured on two cores, readers do not yet make either scan reliably
  // faster, warm or cold: until they do, the walk reads alone unless asked.
  return 0;
}

ReadAhead::ReadAhead(const MountFacts& root, std::uint32_t mask, bool fileData)
    : session_(std::make_shared<ReadAheadSession>()), enabled_(root.mountIdKnown && ReaderCount() > 0) {
  session_->root = root;
  session_->mask = mask;
  session_->fileData = fileData;
}

ReadAhead::~ReadAhead() { session_->ended.store(true, std::memory_order_release); }

bool ReadAhead::HasRoom() const {
  return enabled_ && session_->outstanding.load(std::memory_order_relaxed) < kWindow;
}

std::shared_ptr<ReadAheadRequest> ReadAhead::Ask(const std::shared_ptr<UniqueFd>& parent, std::string_view name,
                                                 AheadKey key) {
  if (!enabled_ || key.size() > kMaxDepth || parent == nullptr || !parent->Valid() || !session_->Reserve()) {
    return nullptr;
  }
  auto r = std::make_shared<ReadAheadRequest>();
  r->parent = parent;
  r->name.assign(name);
  r->key = std::move(key);
  r->session = session_;
  Pool::Instance().Queue({{0, r}});
  return r;
}

std::unique_ptr<AheadDir> ReadAhead::Take(const std::shared_ptr<ReadAheadRequest>& request) {
  ReadAheadRequest& r = *request;
  r.session->Release();
  Pool& pool = Pool::Instance();
  pool.Process(r);  // unless a reader has begun it
  for (unsigned spins = 0; r.state.load(std::memory_order_acquire) != ReadAheadRequest::Done; ++spins) {
    if (std::shared_ptr<ReadAheadRequest> other = pool.TryPop()) {
      pool.Process(*other);
    } else if (spins > 64) {
      std::this_thread::yield();
    }
  }
  return std::move(r.result);
}

void ReadAhead::Drop(const std::shared_ptr<ReadAheadRequest>& request) { DropRequest(*request); }

}  // namespace purgo::platform::posix
