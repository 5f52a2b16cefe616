#include "platform/FileDelete.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
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
// below it to open one by one, and the final name.
struct ParsedPath {
  std::string root;
  std::vector<std::string> folders;
  std::string name;
};

// Splits `t.path`; on failure returns the refusal.
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

  out.folders.clear();
  for (std::size_t pos = rootEnd; pos < nameStart;) {
    const std::size_t slash = path.find('/', pos);
    std::string component(path, pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    // A scan never produces these; followed, ".." would leave the root.
    if (IsDotName(component)) return DeleteResult::PathChanged;
    out.folders.push_back(std::move(component));
  }
  return std::nullopt;
}

std::optional<DeleteResult> OpenRoot(const std::string& root, FileId rootId, UniqueFd& dir) {
  dir.Reset(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!dir.Valid()) {
    return errno == ENOENT || errno == ENOTDIR ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  if (rootId.IsKnown() && posix::IdOfFd(dir.Get()) != rootId) return DeleteResult::PathChanged;
  return std::nullopt;
}

// Opens the folder `name` of `base`, never through a link.
std::optional<DeleteResult> OpenFolder(int base, const std::string& name, UniqueFd& out) {
  out.Reset(::openat(base, name.c_str(), kComponentFlags));
  if (out.Valid()) return std::nullopt;
  if (errno == ENOENT) return DeleteResult::NotFound;
  // A link (ELOOP, or ENOTDIR under O_PATH) or a file where the scan went
  // through a folder.
  if (errno == ELOOP || errno == ENOTDIR) return DeleteResult::PathChanged;
  return DeleteResult::Failed;
}

// Opens the folder holding the final name of `t.path` and sets `name` to
// that final name; on failure returns the refusal.
std::optional<DeleteResult> OpenParent(const DeleteTarget& t, UniqueFd& dir, std::string& name) {
  ParsedPath parsed;
  if (auto refused = ParsePath(t, parsed)) return refused;
  if (auto refused = OpenRoot(parsed.root, t.rootId, dir)) return refused;
  for (const std::string& folder : parsed.folders) {
    UniqueFd next;
    if (auto refused = OpenFolder(dir.Get(), folder, next)) return refused;
    dir = std::move(next);
  }
  name = std::move(parsed.name);
  return std::nullopt;
}

// The X authority file of the running session: $XAUTHORITY, or where X
// clients look without it. Both the name itself (possibly a link) and what
// it resolves to are protected; unknown ids where they do not exist.
struct SessionFiles {
  FileId name, resolved;
  bool Holds(FileId id) const {
    return (name.IsKnown() && name == id) || (resolved.IsKnown() && resolved == id);
  }
};

SessionFiles CurrentSessionFiles() {
  std::string xauth;
  if (const char* v = std::getenv("XAUTHORITY"); v != nullptr && *v != '\0') {
    xauth = v;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    xauth = std::string(home) + "/.Xauthority";
  } else {
    return {};
  }
  SessionFiles files;
  struct stat st {};
  if (::lstat(xauth.c_str(), &st) == 0) files.name = posix::IdOf(st);
  if (::stat(xauth.c_str(), &st) == 0) files.resolved = posix::IdOf(st);
  return files;
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

namespace {

// The checks and the unlink once the folder holding the name is open.
DeleteResult DeleteInFolder(int dirFd, const std::string& name, const DeleteTarget& target,
                            const DeleteOptions& options, const SessionFiles& session) {
  struct stat st {};
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  const bool regular = S_ISREG(st.st_mode);
  if (!regular && !S_ISLNK(st.st_mode)) return DeleteResult::NotAFile;
  const FileId id = posix::IdOf(st);
  if (target.fileId.IsKnown() && id != target.fileId) return DeleteResult::PathChanged;
  if (regular && (st.st_mode & S_IWUSR) == 0 && !options.allowReadOnly) {
    return DeleteResult::ReadOnly;
  }
  if (session.Holds(id)) return DeleteResult::Protected;

  WriteLease lease;
  if (regular) {
    switch (CheckUse(dirFd, name.c_str(), id, lease)) {
      case Use::Free: break;
      case Use::InUse: return DeleteResult::InUse;
      case Use::Changed: return DeleteResult::PathChanged;
      case Use::Gone: return DeleteResult::NotFound;
    }
  }
  if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
    return errno == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  return DeleteResult::Deleted;
}

// Folders kept open by a deleter at the most; deeper files are deleted
// with a fresh walk from the root.
constexpr std::size_t kMaxHeldFolders = 32;

}  // namespace

DeleteResult DeleteFileSafely(const DeleteTarget& target, const DeleteOptions& options) {
  UniqueFd dir;
  std::string name;
  if (auto refused = OpenParent(target, dir, name)) return *refused;
  return DeleteInFolder(dir.Get(), name, target, options, CurrentSessionFiles());
}

struct SafeDeleter::Impl {
  std::string root;
  FileId rootId;
  UniqueFd rootFd;
  std::vector<std::pair<std::string, UniqueFd>> folders;  // below the root, in path order
  SessionFiles session = CurrentSessionFiles();
};

SafeDeleter::SafeDeleter() : impl_(std::make_unique<Impl>()) {}
SafeDeleter::~SafeDeleter() = default;

DeleteResult SafeDeleter::Delete(const DeleteTarget& target, const DeleteOptions& options) {
  // A held folder may have been moved since it was opened; only the
  // recorded identity of the file makes deleting inside it certain.
  if (!target.fileId.IsKnown()) return DeleteFileSafely(target, options);
  ParsedPath parsed;
  if (auto refused = ParsePath(target, parsed)) return *refused;
  if (parsed.folders.size() > kMaxHeldFolders) return DeleteFileSafely(target, options);
  Impl& m = *impl_;
  if (!m.rootFd.Valid() || parsed.root != m.root || !(target.rootId == m.rootId)) {
    m.folders.clear();
    m.root.clear();
    if (auto refused = OpenRoot(parsed.root, target.rootId, m.rootFd)) return *refused;
    m.root = parsed.root;
    m.rootId = target.rootId;
  }
  std::size_t shared = 0;
  while (shared < parsed.folders.size() && shared < m.folders.size() &&
         m.folders[shared].first == parsed.folders[shared]) {
    ++shared;
  }
  m.folders.erase(m.folders.begin() + static_cast<std::ptrdiff_t>(shared), m.folders.end());
  for (std::size_t i = shared; i < parsed.folders.size(); ++i) {
    const int base = i == 0 ? m.rootFd.Get() : m.folders[i - 1].second.Get();
    UniqueFd next;
    if (auto refused = OpenFolder(base, parsed.folders[i], next)) return *refused;
    m.folders.emplace_back(parsed.folders[i], std::move(next));
  }
  const int dirFd = m.folders.empty() ? m.rootFd.Get() : m.folders.back().second.Get();
  return DeleteInFolder(dirFd, parsed.name, target, options, m.session);
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
