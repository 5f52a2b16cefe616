// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

using posix::UniqueFd;

// Reads the open regular file `fd` (whose fstat is `st`) whole.
ReadStatus ReadOpenFile(int fd, const struct stat& st, std::size_t maxSize, std::string& out);

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A name for the temporary file that no other writer picks: the process id
// and a per-process counter. A clash with a leftover of a crashed run is
// met by O_EXCL (or EEXIST from linkat) and the next number.
std::string TempName() {
  static std::atomic<unsigned> counter{0};
  return ".purgo-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

// Splits a path into its folder (with no trailing delimiter; "/" for the
// root, "." when there is none) and its last component.
void SplitPath(const std::string& path, std::string& dir, std::string& base) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    dir = ".";
    base = path;
  } else {
    dir = slash == 0 ? "/" : path.substr(0, slash);
    base = path.substr(slash + 1);
  }
}

// The file a write to `path` must replace: `path` itself, or the final
// target of a symbolic link. Empty when a link cannot be resolved.
std::string WriteTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// Writes `data` to a new, not yet visible file in `dirFd` and gives it the
// name `tmpName`. With `anonymous` the file is made with O_TMPFILE, so a
// crash before the link leaves nothing behind; otherwise it is created
// under its name at once.
bool WriteTempFile(int dirFd, std::string_view data, const struct stat* old, bool anonymous,
                   std::string& tmpName) {
  UniqueFd fd;
  if (anonymous) {
    fd.Reset(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd.Valid()) return false;
  } else {
    for (int attempt = 0; attempt < 100 && !fd.Valid(); ++attempt) {
      tmpName = TempName();
      fd.Reset(::openat(dirFd, tmpName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (!fd.Valid() && errno != EEXIST) return false;
    }
    if (!fd.Valid()) return false;
  }
  bool ok = WriteAll(fd.Get(), data);
  if (ok && old != nullptr) {
    ok = ::fchmod(fd.Get(), old->st_mode & 07777) == 0;
    // Keeping the owner matters only when another user's file is written
    // (as root); a refusal leaves the file ours, which is still readable.
    if (ok && (old->st_uid != ::geteuid() || old->st_gid != ::getegid())) {
      [[maybe_unused]] int ignored = ::fchown(fd.Get(), old->st_uid, old->st_gid);
    }
  }
  ok = ok && ::fsync(fd.Get()) == 0;
  bool named = !anonymous;
  if (ok && anonymous) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
    ok = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
      tmpName = TempName();
      if (::linkat(AT_FDCWD, self.c_str(), dirFd, tmpName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        ok = named = true;
        break;
      }
      if (errno != EEXIST) break;
    }
  }
  const int fdNumber = fd.Release();
  if (::close(fdNumber) != 0) ok = false;
  if (!ok && named) ::unlinkat(dirFd, tmpName.c_str(), 0);
  return ok;
}

// Writes `data` to a new file in the open folder `dirFd` and renames it to
// `name` there, when `stillSame` (if given) agrees at the last moment.
// `old` is the stat of the file it replaces, if any.
ReplaceOutcome ReplaceAtIf(int dirFd, const std::string& name, std::string_view data,
                           const struct stat* old, const std::function<bool()>* stillSame) {
  std::string tmpName;
  if (!WriteTempFile(dirFd, data, old, /*anonymous=*/true, tmpName)) {
    // O_TMPFILE is missing on some file systems, and linking through
    // /proc needs /proc: write under a visible temporary name instead.
    tmpName.clear();
    if (!WriteTempFile(dirFd, data, old, /*anonymous=*/false, tmpName)) return ReplaceOutcome::Failed;
  }
  if (stillSame != nullptr && !(*stillSame)()) {
    ::unlinkat(dirFd, tmpName.c_str(), 0);
    return ReplaceOutcome::Declined;
  }
  if (::renameat(dirFd, tmpName.c_str(), dirFd, name.c_str()) != 0) {
    ::unlinkat(dirFd, tmpName.c_str(), 0);
    return ReplaceOutcome::Failed;
  }
  // Makes the rename itself durable; file systems that cannot sync a
  // folder have renamed all the same.
  ::fsync(dirFd);
  return ReplaceOutcome::Replaced;
}

bool ReplaceAt(int dirFd, const std::string& name, std::string_view data, const struct stat* old) {
  return ReplaceAtIf(dirFd, name, data, old, nullptr) == ReplaceOutcome::Replaced;
}

}  // namespace

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

std::string UnableToWriteMessage(const std::string& path) { return "Unable to write to " + path; }

ReadStatus ReadToEnd(const std::string& path, std::size_t maxSize, std::string& out, int& error) {
  out.clear();
  error = 0;
  const int fd = path.empty() ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = errno;
    return ReadStatus::Failed;
  }
  ReadStatus status = ReadStatus::Ok;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = errno;
      status = ReadStatus::Failed;
    }
    if (got <= 0) break;
    if (out.size() + static_cast<std::size_t>(got) > maxSize) {
      status = ReadStatus::TooLarge;
      break;
    }
    out.append(buffer, static_cast<std::size_t>(got));
  }
  if (!path.empty()) ::close(fd);
  return status;
}

int DescriptorOutputBuffer::sync() {
  const char* p = pbase();
  while (error_ == 0 && p < pptr()) {
    const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      break;
    }
    p += n;
  }
  setp(buffer_, buffer_ + sizeof buffer_);
  return error_ == 0 ? 0 : -1;
}

ReadStatus ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out,
                         FinalLink finalLink) {
  return ReadWholeFileAt(AT_FDCWD, path, maxSize, out, finalLink);
}

ReadStatus ReadWholeFileAt(int dirFd, const std::string& path, std::size_t maxSize,
                           std::string& out, FinalLink finalLink) {
  out.clear();
  if (path.empty()) return ReadStatus::Missing;
  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open.
  const int noFollow = finalLink == FinalLink::Refuse ? O_NOFOLLOW : 0;
  UniqueFd fd(::openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | noFollow));
  if (!fd.Valid()) {
    return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadStatus::Failed;
  return ReadOpenFile(fd.Get(), st, maxSize, out);
}

namespace {

ReadStatus ReadOpenFile(int fd, const struct stat& st, std::size_t maxSize, std::string& out) {
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxSize) {
    return ReadStatus::TooLarge;
  }
  try {
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    // The file may grow while it is read; one byte past the limit is
    // enough to know it is too large.
    for (;;) {
      if (got == out.size()) {
        if (out.size() > maxSize) break;
        out.resize(std::min(maxSize + 1, out.size() + 4096));
      }
      const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        out.clear();
        return ReadStatus::Failed;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    if (got > maxSize) {
      out.clear();
      return ReadStatus::TooLarge;
    }
  } catch (const std::bad_alloc&) {
    out.clear();
    out.shrink_to_fit();
    return ReadStatus::Failed;
  }
  return ReadStatus::Ok;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
  auto fail = [&]() {
    if (error != nullptr) *error = UnableToWriteMessage(path);
    return false;
  };
  if (path.empty() || path.back() == '/') return fail();
  const std::string target = WriteTarget(path);
  if (target.empty()) return fail();

  struct stat old {};
  bool exists = false;
  if (::stat(target.c_str(), &old) == 0) {
    exists = true;
    // The replacement would only need the folder to be writable; the file's
    // own protection is what the user set, and it must hold.
    if (!S_ISREG(old.st_mode) || (old.st_mode & S_IWUSR) == 0) return fail();
    if (::access(target.c_str(), W_OK) != 0) return fail();
  } else if (errno != ENOENT) {
    return fail();
  }

  std::string dir, base;
  SplitPath(target, dir, base);
  if (base.empty() || base == "." || base == "..") return fail();
  UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd.Valid()) return fail();
  return ReplaceAt(dirFd.Get(), base, data, exists ? &old : nullptr) || fail();
}

// ---- settings files ------------------------------------------------------

namespace {

bool Mine(const struct stat& st) { return st.st_uid == ::geteuid(); }

// Said once per process, however many reads and writes are refused: the
// window saves at every language change and at exit.
std::atomic<bool> saidRefused{false};

void SayRefused(const std::string& path) {
  if (saidRefused.exchange(true)) return;
  const std::string line = "purgo: " + path +
                           " is a link or belongs to another user: not read or written; "
                           "built-in settings are used\n";
  [[maybe_unused]] const ssize_t ignored = ::write(2, line.data(), line.size());
}

// A folder opened for settings, or why not.
struct OpenedFolder {
  SettingsAccess access = SettingsAccess::Failed;
  UniqueFd fd;
};

OpenedFolder Result(SettingsAccess access) {
  OpenedFolder f;
  f.access = access;
  return f;
}

// Opens the folder `name` of `dirFd` without following a link; it must be
// this user's.
OpenedFolder OpenOwnFolder(int dirFd, const std::string& name) {
  OpenedFolder f;
  f.fd.Reset(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!f.fd.Valid()) {
    if (errno == ENOENT) return Result(SettingsAccess::Missing);
    struct stat st {};
    const bool link = errno == ELOOP || (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                         S_ISLNK(st.st_mode));
    return Result(link ? SettingsAccess::Refused : SettingsAccess::Failed);
  }
  struct stat st {};
  if (::fstat(f.fd.Get(), &st) != 0) return Result(SettingsAccess::Failed);
  f.access = Mine(st) ? SettingsAccess::Ok : SettingsAccess::Refused;
  return f;
}

// Opens a base folder by its path. Links on the way are followed; a link
// at the end only when this user made it. The folder must be this user's.
OpenedFolder OpenBaseFolder(const std::string& path) {
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) {
    return Result(errno == ENOENT || errno == ENOTDIR ? SettingsAccess::Missing : SettingsAccess::Failed);
  }
  if (!S_ISLNK(named.st_mode)) return OpenOwnFolder(AT_FDCWD, path);
  if (!Mine(named)) return Result(SettingsAccess::Refused);
  OpenedFolder f;
  f.fd.Reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!f.fd.Valid()) {
    return Result(errno == ENOENT ? SettingsAccess::Missing : SettingsAccess::Failed);
  }
  struct stat st {};
  if (::fstat(f.fd.Get(), &st) != 0) return Result(SettingsAccess::Failed);
  f.access = Mine(st) ? SettingsAccess::Ok : SettingsAccess::Refused;
  return f;
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> out;
  for (std::size_t begin = 0; begin < path.size();) {
    std::size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    if (end > begin) out.push_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return out;
}

std::string Joined(bool absolute, const std::vector<std::string>& parts, std::size_t count) {
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out.push_back('/');
    out += parts[i];
  }
  return out.empty() ? "." : out;
}

// Opens `folder` by the rules in FileIO.h; with `create` missing folders
// are made with `mode`, each by mkdirat in a folder opened as above and
// then opened without following a link.
OpenedFolder OpenSettingsFolder(const std::string& folder, int ownLevels, bool create, mode_t mode) {
  const std::vector<std::string> parts = Components(folder);
  const bool absolute = !folder.empty() && folder.front() == '/';
  const std::size_t own = std::min(parts.size(), static_cast<std::size_t>(std::max(ownLevels, 0)));
  const std::size_t baseCount = parts.size() - own;

  // The base, or, when it is missing and may be made, the nearest folder
  // above it that exists; the rest is made below that one.
  std::size_t opened = baseCount;
  OpenedFolder cur = OpenBaseFolder(Joined(absolute, parts, opened));
  while (cur.access == SettingsAccess::Missing && create && opened > 0) {
    --opened;
    cur = OpenBaseFolder(Joined(absolute, parts, opened));
  }
  for (std::size_t i = opened; i < parts.size() && cur.access == SettingsAccess::Ok; ++i) {
    OpenedFolder next = OpenOwnFolder(cur.fd.Get(), parts[i]);
    if (next.access == SettingsAccess::Missing && create) {
      if (::mkdirat(cur.fd.Get(), parts[i].c_str(), mode) != 0 && errno != EEXIST) {
        return Result(SettingsAccess::Failed);
      }
      next = OpenOwnFolder(cur.fd.Get(), parts[i]);
    }
    cur = std::move(next);
  }
  return cur;
}

// The settings file's folder and name; false when it has no name.
bool SplitSettingsPath(const std::string& path, std::string& dir, std::string& name) {
  if (path.empty() || path.back() == '/') return false;
  SplitPath(path, dir, name);
  return name != "." && name != "..";
}

}  // namespace

void ForgetSettingsRefusalSaid() { saidRefused = false; }

int OpenUserFolder(const std::string& path, SettingsAccess& access) {
  if (path.empty()) {
    access = SettingsAccess::Missing;
    return -1;
  }
  OpenedFolder f = OpenBaseFolder(path);
  access = f.access;
  return f.access == SettingsAccess::Ok ? f.fd.Release() : -1;
}

ReplaceOutcome ReplaceFileAtIf(int dirFd, const std::string& name, std::string_view data,
                               const std::function<bool()>& stillSame) {
  struct stat old {};
  const bool exists = ::fstatat(dirFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  // A link's mode says nothing of the file it would become.
  const bool keepMode = exists && S_ISREG(old.st_mode);
  return ReplaceAtIf(dirFd, name, data, keepMode ? &old : nullptr, &stillSame);
}

SettingsAccess SettingsFolderAccess(const std::string& folder, int ownLevels) {
  if (folder.empty()) return SettingsAccess::Missing;
  const OpenedFolder f = OpenSettingsFolder(folder, ownLevels, /*create=*/false, 0);
  if (f.access == SettingsAccess::Refused) SayRefused(folder);
  return f.access;
}

ReadStatus ReadSettingsFile(const std::string& path, std::string& out) {
  out.clear();
  std::string dir, name;
  if (!SplitSettingsPath(path, dir, name)) return ReadStatus::Missing;
  const OpenedFolder folder = OpenSettingsFolder(dir, 1, /*create=*/false, 0);
  switch (folder.access) {
    case SettingsAccess::Ok:
      break;
    case SettingsAccess::Missing:
      return ReadStatus::Missing;
    case SettingsAccess::Refused:
      SayRefused(dir);
      return ReadStatus::Failed;
    case SettingsAccess::Failed:
      return ReadStatus::Failed;
  }
  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open.
  UniqueFd fd(::openat(folder.fd.Get(), name.c_str(),
                       O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  if (!fd.Valid()) {
    if (errno == ENOENT) return ReadStatus::Missing;
    if (errno == ELOOP) SayRefused(path);
    return ReadStatus::Failed;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadStatus::Failed;
  if (!Mine(st)) {
    SayRefused(path);
    return ReadStatus::Failed;
  }
  return ReadOpenFile(fd.Get(), st, kMaxSettingsFileSize, out);
}

bool WriteSettingsFile(const std::string& path, std::string_view data, bool createFolder,
                       unsigned folderMode, std::string* error) {
  auto fail = [&]() {
    if (error != nullptr) *error = UnableToWriteMessage(path);
    return false;
  };
  std::string dir, name;
  if (!SplitSettingsPath(path, dir, name)) return fail();
  const OpenedFolder folder = OpenSettingsFolder(dir, 1, createFolder, static_cast<mode_t>(folderMode));
  if (folder.access == SettingsAccess::Refused) SayRefused(dir);
  if (folder.access != SettingsAccess::Ok) return fail();

  struct stat old {};
  bool exists = false;
  if (::fstatat(folder.fd.Get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
    exists = true;
    // A link is replaced by nothing and written through by nothing: it may
    // be a user's own, or one planted for someone else to follow.
    if (S_ISLNK(old.st_mode) || (S_ISREG(old.st_mode) && !Mine(old))) {
      SayRefused(path);
      return fail();
    }
    // The file's own protection is what the user set, and it must hold.
    if (!S_ISREG(old.st_mode) || (old.st_mode & S_IWUSR) == 0) return fail();
    if (::faccessat(folder.fd.Get(), name.c_str(), W_OK, AT_EACCESS) != 0) return fail();
  } else if (errno != ENOENT) {
    return fail();
  }
  return ReplaceAt(folder.fd.Get(), name, data, exists ? &old : nullptr) || fail();
}


}  // namespace purgo::platform
