// SPDX-License-Identifier: GPL-3.0-or-later
// floor-walk: the least a walk of a tree can ask of the kernel, kept as the
// yardstick for purgo-bench's scans. Per folder it opens, lists and closes
// (openat, getdents64 until it returns 0, close) and nothing else: no
// attributes, no checks, links told apart by the listing's type alone.
//
//   floor-walk DIR    prints the number of folders and of other entries
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

long folders = 0, entries = 0;

// Depth first; one descriptor per level, which the benchmark trees allow.
void Walk(int parent, const char* name, std::vector<char>& buffer) {
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  ++folders;
  std::vector<std::string> below;
  for (;;) {
    const long got = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    for (long off = 0; off < got;) {
      const auto* d = reinterpret_cast<const struct dirent64*>(buffer.data() + off);
      off += d->d_reclen;
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      if (d->d_type == DT_DIR) {
        below.emplace_back(d->d_name);
      } else {
        ++entries;
      }
    }
  }
  for (const std::string& b : below) Walk(fd, b.c_str(), buffer);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: floor-walk DIR\n");
    return 2;
  }
  std::vector<char> buffer(64 * 1024);
  Walk(AT_FDCWD, argv[1], buffer);
  std::printf("{\"folders\":%ld,\"entries\":%ld}\n", folders, entries);
  return folders > 0 ? 0 : 1;
}
