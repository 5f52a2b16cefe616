// SPDX-License-Identifier: GPL-3.0-or-later
// delete-race: how often an open that races the deletion of its file
// receives the file already unlinked.
//
//   delete-race DIR [SECONDS] [OPENERS]
//
// OPENERS processes (default 1) open DIR/race.log for appending, blocking,
// over and over, while this process creates the file and deletes it
// through DeleteFileSafely, again and again, for SECONDS (default 10).
// Each deletion names the file as a scan would have recorded it (its
// identity and stamp). Each open that succeeds is counted, and so is one that waited (took
// longer than 100 µs: it met the deletion's lease) and one whose file had
// no name left. One JSON line:
//   {"opens":N,"waited":W,"unlinked":U,"deleted":D,"in_use":I,"other":O}
// DIR must exist and be a folder of this user; the file is removed at the
// end.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileDelete.h"
#include "platform/FileSystem.h"

namespace {

struct Counts {
  std::atomic<long> opens, waited, unlinked;
  std::atomic<bool> stop;
};

void Open(const std::string& file, Counts& counts) {
  using Clock = std::chrono::steady_clock;
  while (!counts.stop.load()) {
    const auto start = Clock::now();
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) continue;
    if (Clock::now() - start > std::chrono::microseconds(100)) counts.waited.fetch_add(1);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_nlink == 0) counts.unlinked.fetch_add(1);
    counts.opens.fetch_add(1);
    ::close(fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using purgo::platform::DeleteResult;
  if (argc < 2) {
    std::fprintf(stderr, "usage: delete-race DIR [SECONDS] [OPENERS]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long seconds = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 10;
  const long openers = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 1;
  const std::string file = dir + "/race.log";
  void* shared = ::mmap(nullptr, sizeof(Counts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                        -1, 0);
  if (shared == MAP_FAILED) return 1;
  auto* counts = new (shared) Counts{};
  std::vector<pid_t> children;
  for (long i = 0; i < openers; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      Open(file, *counts);
      ::_exit(0);
    }
    if (pid > 0) children.push_back(pid);
  }
  long deleted = 0, inUse = 0, other = 0;
  purgo::platform::DeleteTarget target{file, dir.size() + 1, {}, {}, {}, -1, {}};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
    // What a scan would have recorded of the file.
    const std::optional<purgo::platform::FileAttributeData> seen = purgo::platform::GetFileAttributes(file);
    target.fileId = seen ? seen->id : purgo::platform::FileId{};
    target.fileStamp = seen ? seen->stamp : purgo::platform::FileStamp{};
    switch (purgo::platform::DeleteFileSafely(target)) {
      case DeleteResult::Deleted: ++deleted; break;
      case DeleteResult::InUse: ++inUse; break;
      default: ++other; break;
    }
  }
  counts->stop.store(true);
  for (const pid_t pid : children) ::waitpid(pid, nullptr, 0);
  ::unlink(file.c_str());
  std::printf("{\"opens\":%ld,\"waited\":%ld,\"unlinked\":%ld,\"deleted\":%ld,\"in_use\":%ld,"
              "\"other\":%ld}\n",
              counts->opens.load(), counts->waited.load(), counts->unlinked.load(), deleted, inUse,
              other);
  return 0;
}
