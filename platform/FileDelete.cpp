// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileDelete.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/openat2.h>
#include <sys/inotify.h>
#include <sys/random.h>
#include <sys/syscall.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

using posix::UniqueFd;

// Folders below the root: never through a link. O_PATH needs no read
// permission, only search, as a plain path lookup would.
constexpr int kComponentFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

// The pieces of a target's path: the root to open as given, the folders
// below it, each followed by one delimiter ("a/b/"), and the final name.
struct ParsedPath {
  std::string root;
  std::string_view below;  // into the target's path, or into `normalized`
  std::string normalized;
  std::string name;
};

// True when `folders` ("a/b/") has no empty, "." or ".." component: a
// single pass, however many components there are and however long.
bool HasOnlyPlainFolders(std::string_view folders) {
  const char* const data = folders.data();
  const std::size_t size = folders.size();
  for (std::size_t i = 0; i < size;) {
    const std::string_view rest = folders.substr(i);
    if (rest[0] == '/' || rest.starts_with("./") || rest.starts_with("../")) return false;
    // Short names are stepped over byte by byte, long ones by memchr.
    std::size_t j = i + 1;
    const std::size_t near = std::min(size, i + 16);
    while (j < near && data[j] != '/') ++j;
    if (j == near && j < size) {
      const void* slash = std::memchr(data + j, '/', size - j);
      j = slash == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(slash) - data);
    }
    i = j + 1;
  }
  return true;
}

// Splits `t.path`; on failure returns the refusal. Linear in the length of
// the path, however many folders it names.
std::optional<DeleteResult> ParsePath(const DeleteTarget& t, ParsedPath& out) {
  const std::string& path = t.path;
  if (path.empty()) return DeleteResult::NotFound;
  if (path.back() == '/') return DeleteResult::NotAFile;
  const std::size_t lastSlash = path.rfind('/');
  const std::size_t nameStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
  out.name.assign(path, nameStart);
  if (IsDotName(out.name)) return DeleteResult::NotAFile;

  std::size_t rootEnd = std::min(t.rootLength, nameStart);
  if (rootEnd > 0 && path[rootEnd - 1] != '/' && path[rootEnd] != '/') {
    const std::size_t slash = path.rfind('/', rootEnd - 1);
    rootEnd = slash == std::string::npos ? 0 : slash + 1;
  }
  out.root = path.substr(0, rootEnd);
  while (out.root.size() > 1 && out.root.back() == '/') out.root.pop_back();
  if (out.root.empty()) out.root = path.front() == '/' ? "/" : ".";

  out.below = {};
  out.normalized.clear();
  // Most paths have nothing to drop: one look for the rare pieces and one
  // copy keep a path thousands of folders deep cheap.
  const std::string_view folders(path.data() + rootEnd, nameStart - rootEnd);
  if (HasOnlyPlainFolders(folders)) {
    out.below = folders;
    return std::nullopt;
  }
  for (std::size_t pos = rootEnd; pos < nameStart;) {
    const std::size_t slash = path.find('/', pos);
    const std::string_view component(path.data() + pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    // A scan never produces these; followed, ".." would leave the root.
    if (IsDotName(component)) return DeleteResult::PathChanged;
    out.normalized.append(component).push_back('/');
  }
  out.below = out.normalized;
  return std::nullopt;
}

// The root of a target: the caller's open directory, or the root path
// opened as given (and then checked against the recorded identity).
struct RootDir {
  UniqueFd owned;
  int fd = -1;
};

std::optional<DeleteResult> OpenRoot(const DeleteTarget& t, const std::string& root, RootDir& dir) {
  if (t.rootFd >= 0) {
    dir.owned.Reset();
    dir.fd = t.rootFd;
  } else {
    dir.owned.Reset(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    dir.fd = dir.owned.Get();
    if (!dir.owned.Valid()) {
      return errno == ENOENT || errno == ENOTDIR ? DeleteResult::NotFound : DeleteResult::Failed;
    }
  }
  if (t.rootId.IsKnown() && posix::IdOfFd(dir.fd) != t.rootId) return DeleteResult::PathChanged;
  return std::nullopt;
}

// Opens the folder `name` of `base`, never through a link.
std::optional<DeleteResult> OpenFolder(int base, const char* name, UniqueFd& out) {
  out.Reset(::openat(base, name, kComponentFlags));
  if (out.Valid()) return std::nullopt;
  if (errno == ENOENT) return DeleteResult::NotFound;
  // A link (ELOOP, or ENOTDIR under O_PATH) or a file where the scan went
  // through a folder.
  if (errno == ELOOP || errno == ENOTDIR) return DeleteResult::PathChanged;
  return DeleteResult::Failed;
}

// Calls `step(name)` for each folder of `below` ("a/b/"), from `from` on;
// stops at the first refusal and returns it.
template <class Step>
std::optional<DeleteResult> ForEachFolder(std::string_view below, std::size_t from, Step&& step) {
  std::string component;
  for (std::size_t pos = from; pos < below.size();) {
    const std::size_t slash = below.find('/', pos);
    component.assign(below, pos, slash - pos);
    if (auto refused = step(component)) return refused;
    pos = slash + 1;
  }
  return std::nullopt;
}

// Paths below the root shorter than this are resolved in one call; longer
// ones go through the folders a deleter holds.
constexpr std::size_t kResolveInOneCall = 1024;

// False once the kernel turned down openat2 (older than 5.6, or filtered).
bool gOneCallWorks = true;

// Opens the folders `below` ("a/b/") of `rootFd`, none of them through a
// link or onto another mount; `out` stays empty when there are none. One
// call for an ordinary path, the kernel refusing every link on the way;
// folder by folder where that cannot be had.
std::optional<DeleteResult> OpenBelow(int rootFd, std::string_view below, UniqueFd& out) {
  out.Reset();
  if (below.empty()) return std::nullopt;
  if (gOneCallWorks && below.size() < kResolveInOneCall) {
    const std::string relative(below);
    open_how how {};
    how.flags = kComponentFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH | RESOLVE_NO_XDEV;
    for (int attempt = 0; attempt < 8; ++attempt) {
      const long fd = ::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
      if (fd >= 0) {
        out.Reset(static_cast<int>(fd));
        return std::nullopt;
      }
      // A rename elsewhere during the lookup: the kernel asks to retry.
      if (errno == EAGAIN) continue;
      if (errno == ENOSYS || errno == E2BIG || errno == EPERM) {
        gOneCallWorks = false;
        break;
      }
      if (errno == ENOENT) return DeleteResult::NotFound;
      // A link, a file where a folder was, another mount.
      if (errno == ELOOP || errno == ENOTDIR || errno == EXDEV) return DeleteResult::PathChanged;
      return DeleteResult::Failed;
    }
    if (gOneCallWorks) return DeleteResult::Failed;
  }
  return ForEachFolder(below, 0, [&](const std::string& folder) {
    UniqueFd next;
    auto r = OpenFolder(out.Valid() ? out.Get() : rootFd, folder.c_str(), next);
    out = std::move(next);
    return r;
  });
}

// The X authority file of the running session: $XAUTHORITY, or where X
// clients look without it. The file and every link met on the way to it
// are protected: a link in the chain deleted leaves the cookie where no
// client finds it any more, so no new window opens.
struct SessionFiles {
  std::vector<FileId> ids;
  uid_t euid = ::geteuid();
  // SIGIO is ignored for as long as whoever deletes with these lives, so
  // a broken lease needs no signal of its own (see QuietLeaseBreaks).
  bool quietLeaseBreaks = false;
  bool Holds(FileId id) const { return std::find(ids.begin(), ids.end(), id) != ids.end(); }
};

// The kernel's own bound on the links one lookup follows.
constexpr int kMaxSessionLinks = 40;

// Pushes the components of `path` onto `pending` so that the first one is
// taken next.
void PushComponents(std::string_view path, std::vector<std::string>& pending) {
  std::size_t end = path.size();
  while (end > 0) {
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    if (end > start) pending.emplace_back(path.substr(start, end - start));
    if (slash == std::string_view::npos) break;
    end = slash;
  }
}

// Resolves `path` name by name as the kernel does, recording every link
// met (in any folder on the way, or the name itself) and the file reached.
// A lookup that fails on the way keeps the links met so far.
std::vector<FileId> IdsOnTheWayTo(const std::string& path) {
  std::vector<FileId> ids;
  std::string at;  // the folder reached so far, spelled without links
  if (path.front() == '/') {
    at = "/";
  } else {
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (cwd == nullptr) return ids;
    at = cwd.get();
  }
  std::vector<std::string> pending;
  PushComponents(path, pending);
  int links = 0;
  struct stat last {};
  bool reached = false;
  while (!pending.empty()) {
    const std::string name = std::move(pending.back());
    pending.pop_back();
    if (name == ".") continue;
    if (name == "..") {
      // `at` holds no link, so its parent by name is its real parent.
      const std::size_t slash = at.rfind('/');
      at.resize(slash == 0 ? 1 : slash);
      continue;
    }
    std::string next = at == "/" ? "/" + name : at + "/" + name;
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) return ids;
    if (!S_ISLNK(st.st_mode)) {
      at = std::move(next);
      last = st;
      reached = true;
      continue;
    }
    ids.push_back(posix::IdOf(st));
    if (++links > kMaxSessionLinks) return ids;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return ids;
    target.resize(static_cast<std::size_t>(n));
    if (target.front() == '/') at = "/";
    PushComponents(target, pending);
    reached = false;
  }
  if (reached) ids.push_back(posix::IdOf(last));
  return ids;
}

SessionFiles CurrentSessionFiles() {
  std::string xauth;
  if (const char* v = std::getenv("XAUTHORITY"); v != nullptr && *v != '\0') {
    xauth = v;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    xauth = std::string(home) + "/.Xauthority";
  } else {
    return SessionFiles{};
  }
  SessionFiles files;
  files.ids = IdsOnTheWayTo(xauth);
  return files;
}

// Breaking a lease signals its holder, with SIGIO unless the lease names
// another signal, and SIGIO's default action ends the process. A deleter
// ignores SIGIO for as long as it lives when nobody else handles it,
// which saves naming SIGURG for every lease (a call per file); the leases
// it takes end before it does.
std::mutex gQuietMutex;
int gQuietUsers = 0;
bool gQuietSet = false;  // SIGIO was left at its default and ignored by us
bool gQuiet = false;  // SIGIO ignored, by us or before us

// True when SIGIO is ignored from now until the matching LoudLeaseBreaks.
bool QuietLeaseBreaks() {
  std::lock_guard<std::mutex> lock(gQuietMutex);
  if (gQuietUsers++ > 0) return gQuiet;
  struct sigaction now {};
  if (::sigaction(SIGIO, nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO) != 0) return false;
  if (now.sa_handler == SIG_DFL) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGIO, &ignore, nullptr) != 0) return false;
    gQuietSet = true;
  } else if (now.sa_handler != SIG_IGN) {
    return false;
  }
  gQuiet = true;
  return true;
}

void LoudLeaseBreaks() {
  std::lock_guard<std::mutex> lock(gQuietMutex);
  if (--gQuietUsers > 0) return;
  gQuiet = false;
  if (!gQuietSet) return;
  gQuietSet = false;
  // Put back only what was ours: someone may have installed a handler since.
  struct sigaction now {};
  if (::sigaction(SIGIO, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) == 0 &&
      now.sa_handler == SIG_IGN) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(SIGIO, &dfl, nullptr);
  }
}

// A write lease on an open file, until that file is closed. Nobody can
// open the file while it is held (an opener waits until it is released),
// so holding it from the in-use check to the unlink leaves no gap for a
// new user.
class WriteLease {
 public:
  // `quiet`: SIGIO is ignored for longer than this lease lives.
  explicit WriteLease(bool quiet = false) : quiet_(quiet) {}
  WriteLease(const WriteLease&) = delete;
  WriteLease& operator=(const WriteLease&) = delete;
  // Closing the file ends the lease: nothing to undo here.
  ~WriteLease() = default;

  // Takes the lease on the open file `fd`, which must stay open for as
  // long as this lives. True when taken; errno tells why not. Breaking a
  // lease signals its holder, by default with SIGIO, whose default action
  // ends the process; SIGURG is ignored by default.
  bool Take(int fd) {
    fd_ = fd;
    if (!quiet_ && ::fcntl(fd_, F_SETSIG, SIGURG) != 0) return false;
    held_ = ::fcntl(fd_, F_SETLEASE, F_WRLCK) == 0;
    return held_;
  }

  // True once someone asked to open the file: their open is waiting for
  // the lease, and a file unlinked now would reach them empty-handed.
  bool Broken() const { return held_ && ::fcntl(fd_, F_GETLEASE) != F_WRLCK; }

 private:
  int fd_ = -1;
  bool quiet_ = false;
  bool held_ = false;
};

enum class Use { Free, InUse, Changed, Gone };

// Whether the regular file `name` (relative to `dirFd`), found as `sx`, is
// open or mapped anywhere else, as the user `euid` can tell. `held`
// receives the file opened (when it could be) and `opened` what it is;
// when free, `lease` keeps it so.
Use CheckUse(int dirFd, const char* name, const struct statx& sx, const FileStamp& stamp,
             uid_t euid, UniqueFd& held, struct statx& opened, WriteLease& lease) {
  const FileId id = posix::IdOf(sx);
  const bool root = euid == 0;
  // Only the owner (or root) may lease a file, and only root sees every
  // process: another user's file cannot be shown to be free.
  if (!root && sx.stx_uid != euid) return Use::InUse;
  // Nobody but the owner and root can open a file without group or other
  // permissions; the processes that could hold it are then all visible.
  const bool privateFile = (sx.stx_mode & 0066) == 0;
  held.Reset(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!held.Valid()) {
    switch (errno) {
      case EWOULDBLOCK: return Use::InUse;  // another holder's lease stands
      case ENOENT: return Use::Gone;
      case ELOOP: return Use::Changed;
      default:
        if (!root && !privateFile) return Use::InUse;
        return posix::AnyOtherProcessUses(id) ? Use::InUse : Use::Free;
    }
  }
  if (posix::StatAt(held.Get(), "", opened, AT_EMPTY_PATH | AT_STATX_DONT_SYNC) != 0 ||
      posix::IdOf(opened) != id || !posix::StampMatches(stamp, opened)) {
    return Use::Changed;
  }
  if (lease.Take(held.Get())) return Use::Free;
  if (errno == EAGAIN) return Use::InUse;
  // No lease on this file system: the processes tell, as far as they can
  // be seen.
  if (!root && !privateFile) return Use::InUse;
  return posix::AnyOtherProcessUses(id) ? Use::InUse : Use::Free;
}

DeleteStageHook gStageHook = nullptr;
void* gStageContext = nullptr;

void AtStage(DeleteStage stage, int heldFd) {
  if (gStageHook != nullptr) gStageHook(stage, heldFd, gStageContext);
}

}  // namespace

void SetDeleteStageHookForTesting(DeleteStageHook hook, void* context) {
  gStageHook = hook;
  gStageContext = context;
}

DeleteResult DeleteFileSafely(const DeleteTarget& target) {
  return DeleteFileSafely(target, DeleteOptions{});
}

namespace {

// Where a regular file waits, in its own folder, between leaving its name
// and being unlinked. The fixed start tells such a file apart should the
// program end in between (the rest is the file's own name, as far as it
// fits); the random part keeps anyone from preparing the name in advance.
constexpr std::string_view kPrivatePrefix = ".purgo-deleting-";

// The ChaCha20 block function (RFC 8439): 64 bytes of key stream for
// one block counter.
void ChaChaBlock(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[16]) {
  std::uint32_t x[16] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574, key[0], key[1], key[2],
                         key[3], key[4], key[5], key[6], key[7], static_cast<std::uint32_t>(counter),
                         static_cast<std::uint32_t>(counter >> 32), 0, 0};
  std::uint32_t in[16];
  std::memcpy(in, x, sizeof x);
  const auto rotl = [](std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); };
  const auto quarter = [&](int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = rotl(x[d] ^ x[a], 16);
    x[c] += x[d]; x[b] = rotl(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = rotl(x[d] ^ x[a], 8);
    x[c] += x[d]; x[b] = rotl(x[b] ^ x[c], 7);
  };
  for (int round = 0; round < 10; ++round) {
    quarter(0, 4, 8, 12); quarter(1, 5, 9, 13); quarter(2, 6, 10, 14); quarter(3, 7, 11, 15);
    quarter(0, 5, 10, 15); quarter(1, 6, 11, 12); quarter(2, 7, 8, 13); quarter(3, 4, 9, 14);
  }
  for (int i = 0; i < 16; ++i) out[i] = x[i] + in[i];
}

// Random bits for private names: a key drawn from the kernel once per
// thread, then ChaCha20's key stream. Nobody who sees earlier names can
// tell the next one, and a file costs no system call for it.
std::uint64_t RandomBits() {
  static thread_local std::uint32_t key[8];
  static thread_local bool keyed = false;
  static thread_local std::uint64_t counter = 0;
  static thread_local std::uint32_t block[16];
  static thread_local int left = 0;
  if (!keyed) {
    if (::getrandom(key, sizeof key, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof key)) {
      // No entropy yet (early boot): still unlikely to be met by chance,
      // and the rename never replaces a name that exists.
      static thread_local std::uint64_t fallback = 0;
      return (static_cast<std::uint64_t>(::getpid()) << 32) ^
             static_cast<std::uint64_t>(std::time(nullptr)) ^ (++fallback * 0x9E3779B97F4A7C15ULL);
    }
    keyed = true;
  }
  if (left == 0) {
    ChaChaBlock(key, counter++, block);
    left = 8;
  }
  --left;
  return (static_cast<std::uint64_t>(block[2 * left]) << 32) | block[2 * left + 1];
}

std::string PrivateName(const std::string& name, bool withName) {
  const std::uint64_t r = RandomBits();
  char random[17];
  std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(r));
  std::string out(kPrivatePrefix);
  out.append(random);
  if (withName) {
    out.push_back('-');
    out.append(name, 0, std::min(name.size(), static_cast<std::size_t>(NAME_MAX) - out.size()));
  }
  return out;
}

// The last look at the name and the unlink, for what is not taken off its
// name first (a link, whose opener reaches its target, not the link; a
// file system that cannot rename without replacing).
DeleteResult UnlinkByName(int dirFd, const std::string& name, FileId id, int heldFd,
                          const WriteLease& lease) {
  struct stat byName {};
  if (::fstatat(dirFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  if (posix::IdOf(byName) != id) return DeleteResult::PathChanged;
  AtStage(DeleteStage::BeforeRemoval, heldFd);
  if (lease.Broken()) return DeleteResult::InUse;
  AtStage(DeleteStage::BeforeUnlink, heldFd);
  if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  // The held object must have lost the link just removed; if it did not,
  // the name named something else by then.
  struct stat after {};
  if (::fstat(heldFd, &after) != 0 || after.st_nlink >= byName.st_nlink) {
    return DeleteResult::PathChanged;
  }
  return DeleteResult::Deleted;
}

// Moves `name` to a fresh private name in the same folder, never over an
// existing one, and sets `hidden` to it. Returns 0 or the rename's errno.
int MoveToPrivateName(int dirFd, const std::string& name, std::string& hidden) {
  bool withName = true;
  int err = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    hidden = PrivateName(name, withName);
    if (::renameat2(dirFd, name.c_str(), dirFd, hidden.c_str(), RENAME_NOREPLACE) == 0) return 0;
    err = errno;
    if (err == ENAMETOOLONG && withName) {
      withName = false;
    } else if (err != EEXIST) {
      break;
    }
  }
  return err;
}

// Unlinks the leased regular file `name`. An opener waiting for the lease
// gets the file once the lease is let go, so a file unlinked then would
// reach it already gone (a logger appending to it loses what it writes).
// The file is therefore first moved to a private name: an open that looks
// the name up from then on finds nothing, and one that looked it up
// before and now waits shows as a broken lease, after which the file goes
// back to its name and stays. What remains is an open that looked the
// name up before the move and reaches the lease only after the last look
// at it, microseconds later.
DeleteResult UnlinkLeased(int dirFd, const std::string& name, FileId id, int heldFd,
                          const WriteLease& lease) {
  AtStage(DeleteStage::BeforeRemoval, heldFd);
  std::string hidden;
  const int err = MoveToPrivateName(dirFd, name, hidden);
  if (err == EINVAL || err == ENOSYS) return UnlinkByName(dirFd, name, id, heldFd, lease);
  if (err != 0) return err == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;

  // Never over a file that took the name meanwhile: then what was moved
  // stays under the private name.
  const auto putBack = [&] {
    ::renameat2(dirFd, hidden.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE);
  };
  struct stat moved {};
  if (::fstatat(dirFd, hidden.c_str(), &moved, AT_SYMLINK_NOFOLLOW) != 0) {
    // Moved on by someone who listed the folder: no longer ours to touch.
    return errno == ENOENT ? DeleteResult::PathChanged : DeleteResult::Failed;
  }
  // The name was given to another file since the checks: that one goes back.
  if (posix::IdOf(moved) != id) {
    putBack();
    return DeleteResult::PathChanged;
  }
  AtStage(DeleteStage::Hidden, heldFd);
  if (lease.Broken()) {
    putBack();
    return DeleteResult::InUse;
  }
  AtStage(DeleteStage::BeforeUnlink, heldFd);
  if (::unlinkat(dirFd, hidden.c_str(), 0) != 0) {
    const int unlinkErr = errno;
    if (unlinkErr == ENOENT) return DeleteResult::PathChanged;
    putBack();
    return DeleteResult::Failed;
  }
  // The private name can be found by listing the folder: the held file
  // must have lost the link just removed, or something else was unlinked.
  struct stat after {};
  if (::fstat(heldFd, &after) != 0 || after.st_nlink >= moved.st_nlink) {
    return DeleteResult::PathChanged;
  }
  return DeleteResult::Deleted;
}

// Whether a regular file is moved to a private name before its unlink.
// A rename costs time that grows with the depth of the folder (measured:
// 11 us one folder down, 46 us 3,000 down), so a file whose path below
// the root is too long for the one-call lookup (hundreds of folders down)
// is unlinked by its name, as a link is: a pass over such a tree would
// otherwise take several times as long.
enum class Hide { Yes, No };

// The checks and the unlink once the folder holding the name is open.
DeleteResult DeleteInFolder(int dirFd, const std::string& name, const DeleteTarget& target,
                            const DeleteOptions& options, const SessionFiles& session,
                            Hide hide = Hide::Yes) {
  struct statx sx {};
  if (const int err = posix::StatAt(dirFd, name.c_str(), sx); err != 0) {
    return err == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  const bool regular = S_ISREG(sx.stx_mode);
  if (!regular && !S_ISLNK(sx.stx_mode)) return DeleteResult::NotAFile;
  const FileId id = posix::IdOf(sx);
  if (target.fileId.IsKnown() && id != target.fileId) return DeleteResult::PathChanged;
  // Before the stamp, which holds the size where the file system records
  // no birth time: a file written since is told as such either way.
  if (target.size && sx.stx_size != *target.size) return DeleteResult::Changed;
  if (!posix::StampMatches(target.fileStamp, sx)) return DeleteResult::PathChanged;
  // Another user's file stays, whoever runs the cleaner (root included).
  if (sx.stx_uid != session.euid) return DeleteResult::OtherOwner;
  if (regular && (sx.stx_mode & S_IWUSR) == 0 && !options.allowReadOnly) {
    return DeleteResult::ReadOnly;
  }
  if (session.Holds(id)) return DeleteResult::Protected;

  // The object itself stays open until after the unlink, so that what the
  // unlink removed can be told afterwards.
  UniqueFd held;
  WriteLease lease(session.quietLeaseBreaks);
  uid_t owner = sx.stx_uid;
  if (regular) {
    struct statx opened {};
    switch (CheckUse(dirFd, name.c_str(), sx, target.fileStamp, session.euid, held, opened, lease)) {
      case Use::Free: break;
      case Use::InUse: return DeleteResult::InUse;
      case Use::Changed: return DeleteResult::PathChanged;
      case Use::Gone: return DeleteResult::NotFound;
    }
    if (held.Valid()) owner = opened.stx_uid;
    // Written between the first look and the lease: nobody can write it
    // now without breaking the lease, so this size is the one deleted.
    if (target.size && held.Valid()) {
      struct stat now {};
      if (::fstat(held.Get(), &now) != 0) return DeleteResult::Failed;
      if (static_cast<std::uint64_t>(now.st_size) != *target.size) return DeleteResult::Changed;
    }
  }
  if (!held.Valid()) {
    held.Reset(::openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!held.Valid()) return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
    struct stat st {};
    if (::fstat(held.Get(), &st) != 0 || posix::IdOf(st) != id) return DeleteResult::PathChanged;
    owner = st.st_uid;
  }
  // The owner once more, on the object held: the name may have been
  // given to another file since the first look.
  if (owner != session.euid) return DeleteResult::OtherOwner;
  AtStage(DeleteStage::AfterUseCheck, held.Get());
  return regular && hide == Hide::Yes ? UnlinkLeased(dirFd, name, id, held.Get(), lease)
                                      : UnlinkByName(dirFd, name, id, held.Get(), lease);
}

// Whether nobody but this user (and root) can change the names in the
// folder `dirFd`: it is ours or root's, and nobody else may write to it,
// or the sticky bit keeps others off names that are not theirs. Only there
// does the short deletion below run; in a folder others may write to,
// the longer one keeps its look at the private name before the unlink and
// at the file held after it.
bool OnlyWeRename(int dirFd, uid_t euid) {
  struct statx sx {};
  if (posix::StatAt(dirFd, "", sx, AT_EMPTY_PATH | AT_STATX_DONT_SYNC) != 0) return false;
  if (sx.stx_uid != euid && sx.stx_uid != 0) return false;
  return (sx.stx_mode & 0022) == 0 || (sx.stx_mode & S_ISVTX) != 0;
}

// The deletion in a folder where only this user renames: the name is moved
// to a private one first, and every check is made on the file opened
// there, under its lease. An open that looks the name up from the move on
// finds nothing; one that looked it up before and reached the file before
// the lease makes the lease fail, and the file goes back to its name.
// Nothing else can change the private name (only this user renames here),
// so the object unlinked is the one checked. Common case: rename, open,
// statx, lease, unlink, close. Returns nothing when a case of its own
// calls for the longer deletion (a link, a file it may not open, a rename
// the folder refuses); the name is then back where it was.
std::optional<DeleteResult> DeleteHidden(int dirFd, const std::string& name,
                                         const DeleteTarget& target, const DeleteOptions& options,
                                         const SessionFiles& session) {
  // Only a file the scan identified is moved before it is looked at: the
  // identity recorded tells the session's own files without a look, and
  // tells afterwards whether what was moved is that file.
  if (!target.fileId.IsKnown()) return std::nullopt;
  if (session.Holds(target.fileId)) return DeleteResult::Protected;
  AtStage(DeleteStage::BeforeRemoval, -1);
  std::string hidden;
  const int err = MoveToPrivateName(dirFd, name, hidden);
  if (err == ENOENT) return DeleteResult::NotFound;
  // A sticky folder refusing another user's file, a mount point, a file
  // system without RENAME_NOREPLACE: the longer way tells which.
  if (err != 0) return std::nullopt;

  // Never over a file that took the name meanwhile: then what was moved
  // stays under the private name, whole.
  const auto putBack = [&](DeleteResult why) {
    ::renameat2(dirFd, hidden.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE);
    return why;
  };
  UniqueFd held(::openat(dirFd, hidden.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!held.Valid()) {
    const int openErr = errno;
    if (openErr == EWOULDBLOCK) return putBack(DeleteResult::InUse);  // another holder's lease
    if (openErr == ENOENT) return DeleteResult::PathChanged;          // moved on: not ours now
    putBack(DeleteResult::Failed);
    return std::nullopt;  // a link, a file this user may not read
  }
  AtStage(DeleteStage::Hidden, held.Get());
  struct statx sx {};
  if (posix::StatAt(held.Get(), "", sx, AT_EMPTY_PATH | AT_STATX_DONT_SYNC) != 0) {
    return putBack(DeleteResult::Failed);
  }
  if (!S_ISREG(sx.stx_mode)) return putBack(DeleteResult::NotAFile);
  const FileId id = posix::IdOf(sx);
  if (target.fileId.IsKnown() && id != target.fileId) return putBack(DeleteResult::PathChanged);
  if (target.size && sx.stx_size != *target.size) return putBack(DeleteResult::Changed);
  if (!posix::StampMatches(target.fileStamp, sx)) return putBack(DeleteResult::PathChanged);
  if (sx.stx_uid != session.euid) return putBack(DeleteResult::OtherOwner);
  if ((sx.stx_mode & S_IWUSR) == 0 && !options.allowReadOnly) return putBack(DeleteResult::ReadOnly);
  if (session.Holds(id)) return putBack(DeleteResult::Protected);
  // The lease last, right before the unlink: an opener that reaches the
  // file between the two waits for the lease and receives it unlinked,
  // so nothing may stand between them. A writer that had it open makes
  // the lease fail; one that wrote and let go since the look did so
  // before the deletion began, as far as anyone can tell.
  WriteLease lease(session.quietLeaseBreaks);
  if (!lease.Take(held.Get())) {
    if (errno == EAGAIN) return putBack(DeleteResult::InUse);
    // No lease on this file system: the processes tell, as far as they
    // can be seen.
    const bool privateFile = (sx.stx_mode & 0066) == 0;
    if ((session.euid != 0 && !privateFile) || posix::AnyOtherProcessUses(id)) {
      return putBack(DeleteResult::InUse);
    }
  }
  AtStage(DeleteStage::AfterUseCheck, held.Get());
  AtStage(DeleteStage::BeforeUnlink, held.Get());
  if (::unlinkat(dirFd, hidden.c_str(), 0) != 0) {
    if (errno == ENOENT) return DeleteResult::PathChanged;
    return putBack(DeleteResult::Failed);
  }
  return DeleteResult::Deleted;
}

// The checks and the unlink in an open folder: the short way where only
// this user renames, the longer one elsewhere and for what the short way
// leaves to it.
DeleteResult DeleteInOpenFolder(int dirFd, bool onlyWeRename, const std::string& name,
                                const DeleteTarget& target, const DeleteOptions& options,
                                const SessionFiles& session) {
  if (onlyWeRename) {
    if (auto done = DeleteHidden(dirFd, name, target, options, session)) return *done;
  }
  return DeleteInFolder(dirFd, name, target, options, session, Hide::Yes);
}

// The folder holding the final name of a target, opened afresh: the root
// as given, the folders below it without following links.
struct HoldingFolder {
  ParsedPath parsed;
  RootDir root;
  UniqueFd below;
  int Fd() const { return below.Valid() ? below.Get() : root.fd; }
};

std::optional<DeleteResult> OpenHoldingFolder(const DeleteTarget& target, HoldingFolder& out) {
  if (auto refused = ParsePath(target, out.parsed)) return refused;
  if (auto refused = OpenRoot(target, out.parsed.root, out.root)) return refused;
  return OpenBelow(out.root.fd, out.parsed.below, out.below);
}

}  // namespace

DeleteResult DeleteFileSafely(const DeleteTarget& target, const DeleteOptions& options) {
  HoldingFolder folder;
  if (auto refused = OpenHoldingFolder(target, folder)) return *refused;
  const SessionFiles session = CurrentSessionFiles();
  if (folder.parsed.below.size() >= kResolveInOneCall) {
    return DeleteInFolder(folder.Fd(), folder.parsed.name, target, options, session, Hide::No);
  }
  return DeleteInOpenFolder(folder.Fd(), OnlyWeRename(folder.Fd(), session.euid), folder.parsed.name,
                            target, options, session);
}

namespace {

// Held folders keep a descriptor only while few enough are open; the
// others are reopened from a neighbour (by name downwards, by ".." upwards,
// each step checked against the identity it had).
constexpr std::size_t kMaxOpenHeld = 64;
// The outermost held folders stay open and are checked by name for every
// file (a look per folder is cheaper than a watch for the few folders of
// an ordinary path); deeper ones are watched, so that a file thousands of
// folders down costs no more than one near the root.
constexpr std::size_t kCheckedLevels = 16;
constexpr std::uint32_t kWatchMask = IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

}  // namespace

struct SafeDeleter::Impl {
  struct Level {
    std::size_t end = 0;  // `held` up to here names this folder (with its "/")
    FileId id;
    int watch = -1;
    UniqueFd fd;
  };

  std::string root;
  FileId rootId;
  int externalRoot = -1;
  RootDir rootDir;
  FileId rootDirId;  // what rootDir is: an open folder stays the same one
  std::string held;            // the held folders below the root, "a/b/"
  std::vector<Level> levels;   // one per folder of `held`, outermost first
  std::set<std::size_t> open;  // levels with a descriptor
  std::unordered_map<int, std::size_t> byWatch;
  std::string component;
  UniqueFd inotify{::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
  SessionFiles session = CurrentSessionFiles();

  // The folder of the last ordinary path, opened for it and reused for
  // the files after it in the same folder, but only for a short while: a
  // folder moved or swapped for a link during a pass is noticed when it is
  // next opened, as one changed between scan and clean always is.
  struct Folder {
    bool valid = false;
    std::string below;  // its path below the root, "a/b/"
    UniqueFd fd;
    bool onlyWeRename = false;
    std::chrono::steady_clock::time_point opened;
  } folder;
  std::chrono::steady_clock::time_point rootChecked;  // the root path last resolved
  static constexpr std::chrono::milliseconds kFolderReuse{20};

  Impl() { session.quietLeaseBreaks = QuietLeaseBreaks(); }
  ~Impl() { LoudLeaseBreaks(); }

  // Drops level `from` and everything below it.
  void Truncate(std::size_t from) {
    if (from > levels.size()) return;
    while (levels.size() > from) {
      Level& l = levels.back();
      if (l.watch >= 0) {
        ::inotify_rm_watch(inotify.Get(), l.watch);
        byWatch.erase(l.watch);
      }
      open.erase(levels.size() - 1);
      levels.pop_back();
    }
    held.resize(from == 0 ? 0 : levels[from - 1].end);
  }

  void ResetRoot() {
    folder = Folder{};
    Truncate(0);
    root.clear();
    rootId = {};
    externalRoot = -1;
    rootDir = RootDir{};
    rootDirId = {};
  }

  // Reads what happened to the watched folders since the last call; a
  // folder moved or removed is dropped with everything below it.
  void DrainEvents() {
    if (byWatch.empty()) return;  // nothing watched: nothing to read
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(inotify.Get(), buffer, sizeof buffer);
      if (got <= 0) return;
      for (std::size_t off = 0; off < static_cast<std::size_t>(got);) {
        inotify_event ev {};
        std::memcpy(&ev, buffer + off, sizeof ev);
        off += sizeof ev + ev.len;
        if ((ev.mask & IN_Q_OVERFLOW) != 0) {
          Truncate(0);
          continue;
        }
        if (auto it = byWatch.find(ev.wd); it != byWatch.end()) Truncate(it->second);
      }
    }
  }

  int FdOf(std::size_t level) const {
    return level == 0 ? rootDir.fd : levels[level - 1].fd.Get();
  }

  void Opened(std::size_t index, UniqueFd fd) {
    levels[index].fd = std::move(fd);
    open.insert(index);
    while (open.size() > kMaxOpenHeld) {
      // The one farthest from where the pass works: the outermost watched
      // one, unless that is the one just opened.
      const auto first = open.lower_bound(kCheckedLevels);
      if (first == open.end()) break;
      const auto victim = *first == index ? std::prev(open.end()) : first;
      if (*victim == index || *victim < kCheckedLevels) break;
      levels[*victim].fd.Reset();
      open.erase(victim);
    }
  }

  // A descriptor for held level `index`, reopened from the nearest open
  // neighbour when needed. False when a step does not land on the folder
  // it held.
  bool EnsureOpen(std::size_t index) {
    if (levels[index].fd.Valid()) return true;
    // Open levels nearest below (deeper) and above (outer) this one.
    const auto below = open.upper_bound(index);
    const auto above = below;
    const std::size_t fromAbove =
        above == open.begin() ? index + 1 : index - *std::prev(above);
    const std::size_t fromBelow = below == open.end() ? SIZE_MAX : *below - index;
    if (fromBelow < fromAbove) {
      for (std::size_t i = *below; i > index; --i) {
        UniqueFd up(::openat(levels[i].fd.Get(), "..", kComponentFlags));
        if (!up.Valid() || posix::IdOfFd(up.Get()) != levels[i - 1].id) return false;
        Opened(i - 1, std::move(up));
      }
      return true;
    }
    std::size_t start = above == open.begin() ? 0 : *std::prev(above) + 1;
    for (std::size_t i = start; i <= index; ++i) {
      if (levels[i].fd.Valid()) continue;
      const std::size_t nameStart = i == 0 ? 0 : levels[i - 1].end;
      const std::string name = held.substr(nameStart, levels[i].end - nameStart - 1);
      UniqueFd fd(::openat(i == 0 ? rootDir.fd : levels[i - 1].fd.Get(), name.c_str(),
                           kComponentFlags));
      if (!fd.Valid() || posix::IdOfFd(fd.Get()) != levels[i].id) return false;
      Opened(i, std::move(fd));
    }
    return true;
  }

  // Drops the outer folders (and all below them) whose names no longer
  // lead to them from their parents.
  void CheckOuterLevels() {
    const std::size_t n = std::min(levels.size(), kCheckedLevels);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t start = i == 0 ? 0 : levels[i - 1].end;
      component.assign(held, start, levels[i].end - start - 1);
      struct stat st {};
      if (::fstatat(FdOf(i), component.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          posix::IdOf(st) != levels[i].id) {
        Truncate(i);
        return;
      }
    }
  }

  // Adds `name` of the deepest held folder (or the root) as a held level:
  // an outer one as it is, a deeper one when it can be watched. `fd` is the
  // folder just opened.
  bool Hold(const std::string& name, int base, UniqueFd& fd) {
    if (levels.size() < kCheckedLevels) {
      held.append(name).push_back('/');
      levels.push_back(Level{held.size(), posix::IdOfFd(fd.Get()), -1, UniqueFd()});
      Opened(levels.size() - 1, std::move(fd));
      return true;
    }
    if (!inotify.Valid()) return false;
    const std::string proc = "/proc/self/fd/" + std::to_string(fd.Get());
    const int watch = ::inotify_add_watch(inotify.Get(), proc.c_str(), kWatchMask);
    if (watch < 0) return false;
    // Moved between the open and the watch: the watch would not tell.
    struct stat st {};
    const FileId id = posix::IdOfFd(fd.Get());
    if (byWatch.count(watch) != 0 || ::fstatat(base, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        posix::IdOf(st) != id) {
      if (byWatch.count(watch) == 0) ::inotify_rm_watch(inotify.Get(), watch);
      return false;
    }
    held.append(name).push_back('/');
    levels.push_back(Level{held.size(), id, watch, UniqueFd()});
    byWatch.emplace(watch, levels.size() - 1);
    Opened(levels.size() - 1, std::move(fd));
    return true;
  }
};

SafeDeleter::SafeDeleter() : impl_(std::make_unique<Impl>()) {}
SafeDeleter::~SafeDeleter() = default;

DeleteResult SafeDeleter::Delete(const DeleteTarget& target, const DeleteOptions& options) {
  // A held folder may have been moved since it was opened; only the
  // recorded identity of the file makes deleting inside it certain.
  if (!target.fileId.IsKnown()) return DeleteFileSafely(target, options);
  ParsedPath parsed;
  if (auto refused = ParsePath(target, parsed)) return *refused;
  Impl& m = *impl_;

  // The root: the same one as before only while it still resolves to the
  // folder opened for it.
  bool sameRoot = m.rootDir.fd >= 0 && target.rootFd == m.externalRoot && target.rootId == m.rootId;
  const bool ordinary = parsed.below.size() < kResolveInOneCall && gOneCallWorks;
  const auto now = std::chrono::steady_clock::now();
  // The next file of the folder just opened: nothing to look up.
  if (ordinary && sameRoot && m.folder.valid && (target.rootFd >= 0 || parsed.root == m.root) &&
      parsed.below == m.folder.below && now - m.folder.opened < Impl::kFolderReuse) {
    return DeleteInOpenFolder(m.folder.fd.Valid() ? m.folder.fd.Get() : m.rootDir.fd,
                              m.folder.onlyWeRename, parsed.name, target, options, m.session);
  }
  m.folder = Impl::Folder{};
  // A root looked at a moment ago still leads where it did, as the folder
  // opened then does.
  if (sameRoot && target.rootFd < 0 && now - m.rootChecked >= Impl::kFolderReuse) {
    struct stat st {};
    sameRoot = parsed.root == m.root && ::stat(m.root.c_str(), &st) == 0 &&
               posix::IdOf(st) == m.rootDirId;
    m.rootChecked = now;
  } else if (sameRoot && target.rootFd < 0) {
    sameRoot = parsed.root == m.root;
  }
  if (!sameRoot) {
    m.ResetRoot();
    if (auto refused = OpenRoot(target, parsed.root, m.rootDir)) {
      m.rootDir = RootDir{};
      return *refused;
    }
    m.root = parsed.root;
    m.rootId = target.rootId;
    m.externalRoot = target.rootFd;
    m.rootDirId = posix::IdOfFd(m.rootDir.fd);
    m.rootChecked = now;
  }

  // An ordinary path's folder is looked up in one call that refuses every
  // link, and serves the files right after it in the same folder.
  if (ordinary) {
    UniqueFd dir;
    if (auto refused = OpenBelow(m.rootDir.fd, parsed.below, dir)) return *refused;
    if (gOneCallWorks) {
      Impl::Folder& f = m.folder;
      f.fd = std::move(dir);
      f.below.assign(parsed.below);
      f.onlyWeRename = OnlyWeRename(f.fd.Valid() ? f.fd.Get() : m.rootDir.fd, m.session.euid);
      f.opened = now;
      f.valid = true;
      return DeleteInOpenFolder(f.fd.Valid() ? f.fd.Get() : m.rootDir.fd, f.onlyWeRename,
                                parsed.name, target, options, m.session);
    }
    // Resolved folder by folder after all (openat2 turned down): nothing
    // held, as before.
    const int dirFd = dir.Valid() ? dir.Get() : m.rootDir.fd;
    return DeleteInOpenFolder(dirFd, OnlyWeRename(dirFd, m.session.euid), parsed.name, target,
                              options, m.session);
  }

  m.DrainEvents();
  // Keep the held folders this path shares with the last one.
  // Usually the held folders are all shared: one comparison tells.
  const std::size_t common =
      parsed.below.starts_with(m.held)
          ? m.held.size()
          : static_cast<std::size_t>(std::mismatch(parsed.below.begin(), parsed.below.end(),
                                                   m.held.begin(), m.held.end()).first -
                                     parsed.below.begin());
  std::size_t shared = 0;
  {
    // Levels are in increasing `end` order: find how many end within the
    // common part.
    std::size_t lo = 0, hi = m.levels.size();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (m.levels[mid].end <= common) lo = mid + 1; else hi = mid;
    }
    shared = lo;
  }
  m.Truncate(shared);
  m.CheckOuterLevels();
  // A neighbour that no longer leads to its folder means the tree is being
  // changed under the pass: start again from the root.
  if (!m.levels.empty() && !m.EnsureOpen(m.levels.size() - 1)) m.Truncate(0);

  // The rest of the way, opened by name, never through a link; held where
  // it can be watched, otherwise opened for this file only.
  UniqueFd transient;
  auto refused = ForEachFolder(parsed.below, m.held.size(), [&](const std::string& folder) {
    const int base = transient.Valid() ? transient.Get() : m.FdOf(m.levels.size());
    UniqueFd next;
    if (auto r = OpenFolder(base, folder.c_str(), next)) return r;
    if (transient.Valid() || !m.Hold(folder, base, next)) transient = std::move(next);
    return std::optional<DeleteResult>();
  });
  if (refused) return *refused;
  const int dirFd = transient.Valid() ? transient.Get() : m.FdOf(m.levels.size());
  return DeleteInFolder(dirFd, parsed.name, target, options, m.session,
                        parsed.below.size() < kResolveInOneCall ? Hide::Yes : Hide::No);
}

DeleteResult RemoveDirectorySafely(const DeleteTarget& target) {
  HoldingFolder folder;
  if (auto refused = OpenHoldingFolder(target, folder)) return *refused;
  const int dirFd = folder.Fd();
  const ParsedPath& parsed = folder.parsed;
  struct stat st {};
  if (::fstatat(dirFd, parsed.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  if (!S_ISDIR(st.st_mode)) return DeleteResult::NotAFile;
  if (target.fileId.IsKnown() && posix::IdOf(st) != target.fileId) return DeleteResult::PathChanged;
  if (::unlinkat(dirFd, parsed.name.c_str(), AT_REMOVEDIR) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  return DeleteResult::Deleted;
}

bool DeleteFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  DeleteTarget target{path, slash == std::string::npos ? 0 : slash + 1, {}, {}, {}, -1, {}};
  return DeleteFileSafely(target) == DeleteResult::Deleted;
}

bool IsFileInUse(const std::string& path) {
  struct statx sx {};
  if (path.empty() || posix::StatAt(AT_FDCWD, path.c_str(), sx) != 0 || !S_ISREG(sx.stx_mode)) {
    return false;
  }
  UniqueFd held;
  struct statx opened {};
  WriteLease lease;
  return CheckUse(AT_FDCWD, path.c_str(), sx, {}, ::geteuid(), held, opened, lease) == Use::InUse;
}

}  // namespace purgo::platform
