#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

using posix::UniqueFd;

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

}  // namespace

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

std::string UnableToWriteMessage(const std::string& path) { return "Unable to write to " + path; }

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
      const ssize_t n = ::read(fd.Get(), out.data() + got, out.size() - got);
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

  std::string tmpName;
  const struct stat* oldStat = exists ? &old : nullptr;
  if (!WriteTempFile(dirFd.Get(), data, oldStat, /*anonymous=*/true, tmpName)) {
    // O_TMPFILE is missing on some file systems, and linking through
    // /proc needs /proc: write under a visible temporary name instead.
    tmpName.clear();
    if (!WriteTempFile(dirFd.Get(), data, oldStat, /*anonymous=*/false, tmpName)) return fail();
  }
  if (::renameat(dirFd.Get(), tmpName.c_str(), dirFd.Get(), base.c_str()) != 0) {
    ::unlinkat(dirFd.Get(), tmpName.c_str(), 0);
    return fail();
  }
  // Makes the rename itself durable; file systems that cannot sync a
  // folder have renamed all the same.
  ::fsync(dirFd.Get());
  return true;
}

}  // namespace purgo::platform
