// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Folders.h"
#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

using posix::UniqueFd;

constexpr char kActivateRequest[] = "activate\n";
constexpr std::size_t kRecordSize = 8;

// A checking copy holds a shared lock for the moment of its look; a copy
// that registers at that very moment waits this long for it to pass.
constexpr int kLockAttempts = 50;
constexpr auto kLockRetryDelay = std::chrono::milliseconds(1);

// How long the first copy waits for the bytes of a request whose
// connection it has accepted.
constexpr int kRequestReadTimeoutMs = 200;

struct HeldBlock {
  UniqueFd lock;
  UniqueFd listener;
  // The socket file this process bound: only that one is removed.
  dev_t socketDevice = 0;
  ino_t socketInode = 0;
};

struct State {
  std::mutex mutex;
  std::map<std::string, HeldBlock> blocks;  // by lock file path
  ActivationHandler handler;
};

State& GlobalState() {
  static State state;
  return state;
}

std::string WithSlash(std::string s) {
  if (!s.empty() && s.back() != '/') s.push_back('/');
  return s;
}

bool IsPrivateDirectory(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// The folder of the blocks, ending in "/"; empty when there is no folder
// that only this user can write to.
std::string BlockDirectory() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    struct stat st {};
    if (::stat(runtime, &st) == 0 && IsPrivateDirectory(st)) return WithSlash(runtime);
  }
  const std::string dir = TempDirectory() + "purgo-" + std::to_string(::geteuid());
  ::mkdir(dir.c_str(), 0700);
  // Another user may have made the folder first, or planted a link.
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !IsPrivateDirectory(st)) return {};
  return dir + "/";
}

// The name as a file-name stem: letters, digits and "{}-_." stay, every
// other byte (and a leading ".") is percent-encoded; a stem that would be
// too long for a file name is a hash of the name instead.
std::string FileStem(const std::string& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '{' || c == '}' || c == '-' || c == '_' || (c == '.' && i > 0);
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  if (out.size() > 200) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : name) {
      h ^= static_cast<unsigned char>(c);
      h *= 1099511628211ull;
    }
    out = "hash-";
    for (int shift = 60; shift >= 0; shift -= 4) out.push_back(kHex[(h >> shift) & 0xF]);
  }
  return out;
}

struct BlockPaths {
  std::string dir;   // ends in "/"
  std::string lock;  // full path
  std::string socketName;
};

std::optional<BlockPaths> PathsOf(const std::string& name) {
  if (name.empty()) return std::nullopt;
  BlockPaths p;
  p.dir = BlockDirectory();
  if (p.dir.empty()) return std::nullopt;
  const std::string stem = FileStem(name);
  p.lock = p.dir + stem + ".lock";
  p.socketName = stem + ".sock";
  return p;
}

// The address of the socket `fileName` in `dir`. A path too long for a
// socket address is reached through the folder's descriptor, which
// `dirHold` keeps open while the address is used.
bool SocketAddress(const std::string& dir, const std::string& fileName, UniqueFd& dirHold,
                   sockaddr_un& addr, socklen_t& len) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::string path = dir + fileName;
  if (path.size() >= sizeof addr.sun_path) {
    dirHold.Reset(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dirHold.Valid()) return false;
    path = "/proc/self/fd/" + std::to_string(dirHold.Get()) + "/" + fileName;
    if (path.size() >= sizeof addr.sun_path) return false;
  }
  std::memcpy(addr.sun_path, path.data(), path.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

bool PeerIsThisUser(int fd) {
  struct ucred cred {};
  socklen_t len = sizeof cred;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

// A connection to the holder of the block, or an invalid descriptor.
UniqueFd ConnectToHolder(const std::string& name) {
  const std::optional<BlockPaths> p = PathsOf(name);
  if (!p) return {};
  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!sock.Valid()) return {};
  UniqueFd dirHold;
  sockaddr_un addr {};
  socklen_t len = 0;
  if (!SocketAddress(p->dir, p->socketName, dirHold, addr, len)) return {};
  // A full backlog (EAGAIN) means a holder that has taken no calls for a
  // long time: as good as no window.
  if (::connect(sock.Get(), reinterpret_cast<const sockaddr*>(&addr), len) != 0) return {};
  if (!PeerIsThisUser(sock.Get())) return {};
  return sock;
}

void EncodeRecord(const InstanceRecord& r, unsigned char* out) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<unsigned char>(r.mainWindow >> (8 * i));
    out[4 + i] = static_cast<unsigned char>(r.application >> (8 * i));
  }
}

InstanceRecord DecodeRecord(const unsigned char* in) {
  InstanceRecord r;
  for (int i = 0; i < 4; ++i) {
    r.mainWindow |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    r.application |= static_cast<std::uint32_t>(in[4 + i]) << (8 * i);
  }
  return r;
}

// Created when the lock is taken, AlreadyExists when another holder
// keeps it, Failed on any other error.
CreateBlockResult TakeExclusiveLock(int fd) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return CreateBlockResult::Created;
    if (errno != EWOULDBLOCK && errno != EINTR) return CreateBlockResult::Failed;
    std::this_thread::sleep_for(kLockRetryDelay);
  }
  return CreateBlockResult::AlreadyExists;
}

// Reads one request from an accepted connection: up to the line end, the
// peer's end, or the timeout.
std::string ReadRequest(int fd) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestReadTimeoutMs);
  char buf[64];
  while (text.size() < sizeof kActivateRequest && text.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

std::optional<InstanceRecord> OpenInstanceBlock(const std::string& name) {
  const std::optional<BlockPaths> p = PathsOf(name);
  if (!p) return std::nullopt;
  UniqueFd fd(::open(p->lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.Valid()) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    return std::nullopt;
  }
  // A lock nobody holds is a file left by a copy that has ended.
  if (::flock(fd.Get(), LOCK_SH | LOCK_NB) == 0) {
    ::flock(fd.Get(), LOCK_UN);
    return std::nullopt;
  }
  if (errno != EWOULDBLOCK) return std::nullopt;
  unsigned char bytes[kRecordSize] = {};
  if (::pread(fd.Get(), bytes, kRecordSize, 0) != static_cast<ssize_t>(kRecordSize)) {
    return InstanceRecord{};
  }
  return DecodeRecord(bytes);
}

CreateBlockResult CreateInstanceBlock(const std::string& name, const InstanceRecord& record) {
  const std::optional<BlockPaths> p = PathsOf(name);
  if (!p) return CreateBlockResult::Failed;
  State& state = GlobalState();
  std::lock_guard guard(state.mutex);
  if (state.blocks.count(p->lock) != 0) return CreateBlockResult::AlreadyExists;

  HeldBlock block;
  // A holder that ends its block removes the lock file while it holds it:
  // a lock taken on a file no longer under the name is no block, and the
  // name is opened again.
  for (int attempt = 0;; ++attempt) {
    block.lock.Reset(::open(p->lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!block.lock.Valid()) return CreateBlockResult::Failed;
    struct stat st {};
    if (::fstat(block.lock.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      return CreateBlockResult::Failed;
    }
    if (const CreateBlockResult locked = TakeExclusiveLock(block.lock.Get());
        locked != CreateBlockResult::Created) {
      return locked;
    }
    struct stat named {};
    if (::lstat(p->lock.c_str(), &named) == 0 && named.st_dev == st.st_dev && named.st_ino == st.st_ino) break;
    if (attempt == 8) return CreateBlockResult::Failed;
  }

  // Holding the lock makes the socket name ours: whatever is there was
  // left by a copy that has ended.
  block.listener.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!block.listener.Valid()) return CreateBlockResult::Failed;
  UniqueFd dirHold;
  sockaddr_un addr {};
  socklen_t len = 0;
  if (!SocketAddress(p->dir, p->socketName, dirHold, addr, len)) return CreateBlockResult::Failed;
  ::unlink(addr.sun_path);
  if (::bind(block.listener.Get(), reinterpret_cast<const sockaddr*>(&addr), len) != 0 ||
      ::listen(block.listener.Get(), SOMAXCONN) != 0) {
    return CreateBlockResult::Failed;
  }
  if (struct stat bound {}; ::lstat(addr.sun_path, &bound) == 0) {
    block.socketDevice = bound.st_dev;
    block.socketInode = bound.st_ino;
  }

  // Readers see either no record (all zeros: no copy yet) or all of it,
  // never the record of a copy that has ended.
  unsigned char bytes[kRecordSize];
  EncodeRecord(record, bytes);
  if (::ftruncate(block.lock.Get(), 0) != 0 ||
      ::pwrite(block.lock.Get(), bytes, kRecordSize, 0) != static_cast<ssize_t>(kRecordSize)) {
    return CreateBlockResult::Failed;
  }
  state.blocks.emplace(p->lock, std::move(block));
  return CreateBlockResult::Created;
}

bool InstanceAnswers(const std::string& name) { return ConnectToHolder(name).Valid(); }

bool RequestInstanceActivation(const std::string& name) {
  UniqueFd sock = ConnectToHolder(name);
  if (!sock.Valid()) return false;
  const std::size_t size = sizeof kActivateRequest - 1;
  return ::send(sock.Get(), kActivateRequest, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

void SetActivationHandler(ActivationHandler handler) {
  State& state = GlobalState();
  std::lock_guard guard(state.mutex);
  state.handler = std::move(handler);
}

int InstanceActivationSocket(const std::string& name) {
  const std::optional<BlockPaths> p = PathsOf(name);
  if (!p) return -1;
  State& state = GlobalState();
  std::lock_guard guard(state.mutex);
  const auto it = state.blocks.find(p->lock);
  return it == state.blocks.end() ? -1 : it->second.listener.Get();
}

bool HoldsInstanceBlock(const std::string& name) { return InstanceActivationSocket(name) >= 0; }

void CloseInstanceActivation(const std::string& name) {
  const std::optional<BlockPaths> p = PathsOf(name);
  if (!p) return;
  State& state = GlobalState();
  std::lock_guard guard(state.mutex);
  if (const auto it = state.blocks.find(p->lock); it != state.blocks.end()) it->second.listener.Reset();
}

void ReleaseInstanceBlock(const std::string& name) {
  const std::optional<BlockPaths> p = PathsOf(name);
  if (!p) return;
  State& state = GlobalState();
  std::lock_guard guard(state.mutex);
  const auto it = state.blocks.find(p->lock);
  if (it == state.blocks.end()) return;
  HeldBlock& block = it->second;
  // Each name goes only while it still names what this process made:
  // another copy may have taken it over since (after a failed look, or
  // by a user removing the files by hand).
  UniqueFd dirHold;
  sockaddr_un addr {};
  socklen_t len = 0;
  struct stat st {};
  if (block.socketInode != 0 && SocketAddress(p->dir, p->socketName, dirHold, addr, len) &&
      ::lstat(addr.sun_path, &st) == 0 && S_ISSOCK(st.st_mode) && st.st_dev == block.socketDevice &&
      st.st_ino == block.socketInode) {
    ::unlink(addr.sun_path);
  }
  struct stat held {};
  if (::fstat(block.lock.Get(), &held) == 0 && ::lstat(p->lock.c_str(), &st) == 0 && st.st_dev == held.st_dev &&
      st.st_ino == held.st_ino) {
    // Still under the lock: a copy starting now either sees no file or
    // takes the lock of a new one.
    ::unlink(p->lock.c_str());
  }
  state.blocks.erase(it);
}

int DispatchActivationRequests(const std::string& name, int timeoutMs) {
  const int listener = InstanceActivationSocket(name);
  if (listener < 0) return 0;
  if (timeoutMs > 0) {
    pollfd pfd{listener, POLLIN, 0};
    while (::poll(&pfd, 1, timeoutMs) < 0 && errno == EINTR) {
    }
  }
  int served = 0;
  for (;;) {
    UniqueFd conn(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!conn.Valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      break;
    }
    // A bare connection is another copy's look (InstanceAnswers).
    if (!PeerIsThisUser(conn.Get()) || ReadRequest(conn.Get()) != kActivateRequest) continue;
    ++served;
    ActivationHandler handler;
    {
      State& state = GlobalState();
      std::lock_guard guard(state.mutex);
      handler = state.handler;
    }
    if (handler) handler();
  }
  return served;
}

}  // namespace purgo::platform
