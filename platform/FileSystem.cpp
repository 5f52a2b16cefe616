// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PosixFiles.h"

namespace purgo::platform {

std::optional<FileAttributeData> GetFileAttributes(const std::string& path) {
  if (path.empty()) return std::nullopt;
  struct statx sx {};
  if (posix::StatAt(AT_FDCWD, path.c_str(), sx) != 0) return std::nullopt;
  if (!posix::IsListedMode(sx.stx_mode)) return std::nullopt;
  return posix::DataOf(sx, posix::IsHiddenName(posix::LastComponent(path)));
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DirectoryReadable(const std::string& path) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool ForceDirectories(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  const auto m = static_cast<mode_t>(mode);
  if (::mkdir(path.c_str(), m) == 0) return true;
  if (errno == ENOENT) {
    // Create each missing ancestor in turn. Failures along the way need no
    // handling of their own: whatever stands in the way (a file, a missing
    // permission) leaves the final directory absent, which is the answer.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      if (path[slash - 1] == '/') continue;
      ::mkdir(path.substr(0, slash).c_str(), m);
    }
    ::mkdir(path.c_str(), m);
  }
  return DirectoryExists(path);
}

}  // namespace purgo::platform
