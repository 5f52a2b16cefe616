#include "platform/FileDelete.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

using posix::UniqueFd;

// Folders below the root: never through a link. O_PATH needs no read
// permission, only search, as a plain path lookup would.
constexpr int kComponentFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

// Opens the folder holding the final name of `t.path` and sets `name` to
// that final name; on failure returns the refusal.
std::optional<DeleteResult> OpenParent(const DeleteTarget& t, UniqueFd& dir, std::string& name) {
  const std::string& path = t.path;
  if (path.empty()) return DeleteResult::NotFound;
  if (path.back() == '/') return DeleteResult::NotAFile;
  const std::size_t lastSlash = path.rfind('/');
  const std::size_t nameStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
  name.assign(path, nameStart);
  if (IsDotName(name)) return DeleteResult::NotAFile;

  std::size_t rootEnd = std::min(t.rootLength, nameStart);
  if (rootEnd > 0 && path[rootEnd - 1] != '/' && path[rootEnd] != '/') {
    const std::size_t slash = path.rfind('/', rootEnd - 1);
    rootEnd = slash == std::string::npos ? 0 : slash + 1;
  }
  std::string root = path.substr(0, rootEnd);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.empty()) root = path.front() == '/' ? "/" : ".";

  dir.Reset(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!dir.Valid()) {
    return errno == ENOENT || errno == ENOTDIR ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  if (t.rootId.IsKnown() && posix::IdOfFd(dir.Get()) != t.rootId) return DeleteResult::PathChanged;

  std::string component;
  for (std::size_t pos = rootEnd; pos < nameStart;) {
    const std::size_t slash = path.find('/', pos);
    component.assign(path, pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    // A scan never produces these; followed, ".." would leave the root.
    if (IsDotName(component)) return DeleteResult::PathChanged;
    UniqueFd next(::openat(dir.Get(), component.c_str(), kComponentFlags));
    if (!next.Valid()) {
      if (errno == ENOENT) return DeleteResult::NotFound;
      // A link (ELOOP, or ENOTDIR under O_PATH) or a file where the scan
      // went through a folder.
      if (errno == ELOOP || errno == ENOTDIR) return DeleteResult::PathChanged;
      return DeleteResult::Failed;
    }
    dir = std::move(next);
  }
  return std::nullopt;
}

bool SameObject(const std::string& path, FileId id, bool followLinks) {
  struct stat st {};
  const int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  return rc == 0 && posix::IdOf(st) == id;
}

// The X authority file of the running session: $XAUTHORITY, or where X
// clients look without it. Both the name itself (possibly a link) and what
// it resolves to are protected.
bool IsSessionFile(FileId id) {
  std::string xauth;
  if (const char* v = std::getenv("XAUTHORITY"); v != nullptr && *v != '\0') {
    xauth = v;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    xauth = std::string(home) + "/.Xauthority";
  } else {
    return false;
  }
  return SameObject(xauth, id, false) || SameObject(xauth, id, true);
}

// A write lease on the file while alive. Nobody can open the file while it
// is held (an opener waits until it is released), so holding it from the
// in-use check to the unlink leaves no gap for a new user.
class WriteLease {
 public:
  WriteLease() = default;
  WriteLease(const WriteLease&) = delete;
  WriteLease& operator=(const WriteLease&) = delete;
  ~WriteLease() {
    if (held_) ::fcntl(fd_.Get(), F_SETLEASE, F_UNLCK);
  }

  // True when taken; errno tells why not. Breaking a lease signals its
  // holder, by default with SIGIO, whose default action ends the process;
  // SIGURG is ignored by default.
  bool Take(UniqueFd fd) {
    fd_ = std::move(fd);
    if (::fcntl(fd_.Get(), F_SETSIG, SIGURG) != 0) return false;
    held_ = ::fcntl(fd_.Get(), F_SETLEASE, F_WRLCK) == 0;
    return held_;
  }

 private:
  UniqueFd fd_;
  bool held_ = false;
};

enum class Use { Free, InUse, Changed, Gone };

// Whether the regular file `name` (relative to `dirFd`), whose identity is
// `id`, is open or mapped anywhere else. When free, `lease` keeps it so.
Use CheckUse(int dirFd, const char* name, FileId id, WriteLease& lease) {
  UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) {
    switch (errno) {
      case EWOULDBLOCK: return Use::InUse;  // another holder's lease stands
      case ENOENT: return Use::Gone;
      case ELOOP: return Use::Changed;
      default: return posix::AnyOtherProcessUses(id) ? Use::InUse : Use::Free;
    }
  }
  if (posix::IdOfFd(fd.Get()) != id) return Use::Changed;
  if (lease.Take(std::move(fd))) return Use::Free;
  if (errno == EAGAIN) return Use::InUse;
  // No lease here (not the owner, or a file system without leases).
  return posix::AnyOtherProcessUses(id) ? Use::InUse : Use::Free;
}

}  // namespace

const char* DeleteResultName(DeleteResult r) {
  switch (r) {
    case DeleteResult::Deleted: return "Deleted";
    case DeleteResult::NotFound: return "NotFound";
    case DeleteResult::NotAFile: return "NotAFile";
    case DeleteResult::ReadOnly: return "ReadOnly";
    case DeleteResult::InUse: return "InUse";
    case DeleteResult::PathChanged: return "PathChanged";
    case DeleteResult::Protected: return "Protected";
    case DeleteResult::Failed: return "Failed";
  }
  return "?";
}

DeleteResult DeleteFileSafely(const DeleteTarget& target) {
  return DeleteFileSafely(target, DeleteOptions{});
}

DeleteResult DeleteFileSafely(const DeleteTarget& target, const DeleteOptions& options) {
  UniqueFd dir;
  std::string name;
  if (auto refused = OpenParent(target, dir, name)) return *refused;

  struct stat st {};
  if (::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  const bool regular = S_ISREG(st.st_mode);
  if (!regular && !S_ISLNK(st.st_mode)) return DeleteResult::NotAFile;
  const FileId id = posix::IdOf(st);
  if (target.fileId.IsKnown() && id != target.fileId) return DeleteResult::PathChanged;
  if (regular && (st.st_mode & S_IWUSR) == 0 && !options.allowReadOnly) {
    return DeleteResult::ReadOnly;
  }
  if (IsSessionFile(id)) return DeleteResult::Protected;

  WriteLease lease;
  if (regular) {
    switch (CheckUse(dir.Get(), name.c_str(), id, lease)) {
      case Use::Free: break;
      case Use::InUse: return DeleteResult::InUse;
      case Use::Changed: return DeleteResult::PathChanged;
      case Use::Gone: return DeleteResult::NotFound;
    }
  }
  if (::unlinkat(dir.Get(), name.c_str(), 0) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  return DeleteResult::Deleted;
}

DeleteResult RemoveDirectorySafely(const DeleteTarget& target) {
  UniqueFd dir;
  std::string name;
  if (auto refused = OpenParent(target, dir, name)) return *refused;
  struct stat st {};
  if (::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  if (!S_ISDIR(st.st_mode)) return DeleteResult::NotAFile;
  if (target.fileId.IsKnown() && posix::IdOf(st) != target.fileId) return DeleteResult::PathChanged;
  if (::unlinkat(dir.Get(), name.c_str(), AT_REMOVEDIR) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  return DeleteResult::Deleted;
}

bool DeleteFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  DeleteTarget target{path, slash == std::string::npos ? 0 : slash + 1, {}, {}};
  return DeleteFileSafely(target) == DeleteResult::Deleted;
}

bool IsFileInUse(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  WriteLease lease;
  return CheckUse(AT_FDCWD, path.c_str(), posix::IdOf(st), lease) == Use::InUse;
}

}  // namespace purgo::platform
