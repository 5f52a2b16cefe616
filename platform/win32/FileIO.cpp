// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads and atomic replacement on Windows. A new file is
// written beside the old one, flushed, and moved over it in one step
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
// so a crash leaves the old file or the new one. Settings folders and
// files are never used through a junction or a symbolic link at their own
// level; who owns them is left to the access lists (see CurrentUserId).
#include "platform/FileIO.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/FileSystem.h"
#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace {

using win32::Handle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::atomic<bool> saidRefused{false};

void SayRefused(const std::string& path) {
  if (saidRefused.exchange(true)) return;
  std::fprintf(stderr, "purgo: %s is a link: settings are neither read from it nor written to it\n",
               path.c_str());
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

ReadStatus ReadOpen(HANDLE h, std::size_t maxSize, std::string& out) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size) || size.QuadPart < 0) return ReadStatus::Failed;
  if (static_cast<std::uint64_t>(size.QuadPart) > maxSize) return ReadStatus::TooLarge;
  try {
    out.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t got = 0;
    for (;;) {
      // The file may grow while it is read: one byte past the limit tells.
      if (got == out.size()) {
        if (out.size() > maxSize) break;
        out.resize(std::min(maxSize + 1, out.size() + 4096));
      }
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - got, 1u << 30));
      if (!::ReadFile(h, out.data() + got, want, &n, nullptr)) {
        out.clear();
        return ReadStatus::Failed;
      }
      if (n == 0) break;
      got += n;
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

// The object at `path` itself, a final link not followed.
bool FactsOf(const std::string& path, win32::HandleFacts& facts, DWORD& error) {
  Handle h(::CreateFileW(win32::ApiPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.Valid()) {
    error = ::GetLastError();
    return false;
  }
  error = 0;
  return win32::QueryHandle(h.Get(), facts);
}

// Where a link at `path` leads, so that replacing the file keeps the link.
std::string LinkTarget(const std::string& path) {
  Handle h(::CreateFileW(win32::ApiPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.Valid()) return {};
  std::wstring buf(32768, L'\0');
  const DWORD n = ::GetFinalPathNameByHandleW(h.Get(), buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return win32::Narrow(buf);
}

std::string TempNameBeside(const std::string& path) {
  std::size_t at = path.size();
  while (at > 0 && !IsDelimiter(path[at - 1])) --at;
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  char name[64];
  std::snprintf(name, sizeof name, ".purgo-%08x%04x.tmp", rd(), counter.fetch_add(1) & 0xFFFFu);
  return path.substr(0, at) + name;
}

bool Replace(const std::string& target, std::string_view data) {
  const std::string temp = TempNameBeside(target);
  const std::wstring wideTemp = win32::ApiPath(temp);
  {
    Handle h(::CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) return false;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
      ok = ::WriteFile(h.Get(), data.data() + done, want, &n, nullptr) && n > 0;
      done += n;
    }
    if (!ok || !::FlushFileBuffers(h.Get())) {
      h.Reset();
      ::DeleteFileW(wideTemp.c_str());
      return false;
    }
  }
  if (!::MoveFileExW(wideTemp.c_str(), win32::ApiPath(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(wideTemp.c_str());
    return false;
  }
  return true;
}

bool SplitSettingsPath(const std::string& path, std::string& dir, std::string& name) {
  std::size_t at = path.size();
  while (at > 0 && !IsDelimiter(path[at - 1])) --at;
  if (at == 0 || at == path.size()) return false;
  dir = path.substr(0, at);
  name = path.substr(at);
  return name != "." && name != "..";
}

}  // namespace

bool IsTerminal(int fd) { return ::_isatty(fd) != 0; }

std::string UnableToWriteMessage(const std::string& path) { return "Unable to write to " + path; }

ReadStatus ReadToEnd(const std::string& path, std::size_t maxSize, std::string& out, int& error) {
  out.clear();
  error = 0;
  int fd = 0;
  if (path.empty()) {
    ::_setmode(0, _O_BINARY);
  } else {
    fd = ::_wopen(win32::ApiPath(path).c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
      error = errno;
      return ReadStatus::Failed;
    }
  }
  ReadStatus status = ReadStatus::Ok;
  char buffer[65536];
  for (;;) {
    const int got = ::_read(fd, buffer, sizeof buffer);
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
  if (!path.empty()) ::_close(fd);
  return status;
}

int DescriptorOutputBuffer::sync() {
  // The bytes as written, as on Linux: no "\r" before each "\n".
  ::_setmode(fd_, _O_BINARY);
  const char* p = pbase();
  while (error_ == 0 && p < pptr()) {
    const int n = ::_write(fd_, p, static_cast<unsigned>(std::min<std::ptrdiff_t>(pptr() - p, 1 << 30)));
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      break;
    }
    p += n;
  }
  setp(buffer_, buffer_ + sizeof buffer_);
  return error_ == 0 ? 0 : -1;
}

ReadStatus ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out, FinalLink finalLink) {
  out.clear();
  if (path.empty()) return ReadStatus::Missing;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (finalLink == FinalLink::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  Handle h(::CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags,
                         nullptr));
  if (!h.Valid()) {
    const DWORD e = ::GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing : ReadStatus::Failed;
  }
  win32::HandleFacts facts;
  if (!win32::QueryHandle(h.Get(), facts) || facts.directory || facts.link) return ReadStatus::Failed;
  return ReadOpen(h.Get(), maxSize, out);
}

ReadStatus ReadWholeFileAt(int /*dirFd*/, const std::string& /*path*/, std::size_t /*maxSize*/, std::string& out,
                           FinalLink /*finalLink*/) {
  out.clear();
  return ReadStatus::Failed;  // folders are not descriptors here
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = ::GetFileAttributesW(win32::ApiPath(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
  auto fail = [&]() {
    if (error != nullptr) *error = UnableToWriteMessage(path);
    return false;
  };
  if (path.empty() || IsDelimiter(path.back())) return fail();
  std::string target = path;
  win32::HandleFacts facts;
  DWORD e = 0;
  if (FactsOf(path, facts, e)) {
    if (facts.link) {
      target = LinkTarget(path);
      if (target.empty() || !FactsOf(target, facts, e)) return fail();
    }
    // The file's own protection is what the user set, and it must hold.
    if (facts.directory || (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0) return fail();
  } else if (e != ERROR_FILE_NOT_FOUND) {
    return fail();
  }
  return Replace(target, data) || fail();
}

ReplaceOutcome ReplaceFileAtIf(int /*dirFd*/, const std::string& /*name*/, std::string_view /*data*/,
                               const std::function<bool()>& /*stillSame*/) {
  return ReplaceOutcome::Failed;  // folders are not descriptors here
}

int OpenUserFolder(const std::string& /*path*/, SettingsAccess& access) {
  access = SettingsAccess::Failed;  // folders are not descriptors here
  return -1;
}

void ForgetSettingsRefusalSaid() { saidRefused = false; }

SettingsAccess SettingsFolderAccess(const std::string& folder, int ownLevels) {
  if (folder.empty()) return SettingsAccess::Missing;
  // The program's own levels are used only as real folders.
  std::string level = folder;
  while (!level.empty() && IsDelimiter(level.back())) level.pop_back();
  for (int i = 0; i < ownLevels && !level.empty(); ++i) {
    win32::HandleFacts facts;
    DWORD e = 0;
    if (!FactsOf(level, facts, e)) {
      return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? SettingsAccess::Missing
                                                                     : SettingsAccess::Failed;
    }
    if (facts.link) {
      SayRefused(level);
      return SettingsAccess::Refused;
    }
    if (!facts.directory) return SettingsAccess::Failed;
    std::size_t at = level.size();
    while (at > 0 && !IsDelimiter(level[at - 1])) --at;
    level.resize(at > 0 ? at - 1 : 0);
  }
  return SettingsAccess::Ok;
}

ReadStatus ReadSettingsFile(const std::string& path, std::string& out) {
  out.clear();
  std::string dir, name;
  if (!SplitSettingsPath(path, dir, name)) return ReadStatus::Missing;
  switch (SettingsFolderAccess(dir, 1)) {
    case SettingsAccess::Ok: break;
    case SettingsAccess::Missing: return ReadStatus::Missing;
    case SettingsAccess::Refused:
    case SettingsAccess::Failed: return ReadStatus::Failed;
  }
  win32::HandleFacts facts;
  DWORD e = 0;
  if (FactsOf(path, facts, e) && facts.link) {
    SayRefused(path);
    return ReadStatus::Failed;
  }
  return ReadWholeFile(path, kMaxSettingsFileSize, out, FinalLink::Refuse);
}

bool WriteSettingsFile(const std::string& path, std::string_view data, bool createFolder, unsigned folderMode,
                       std::string* error) {
  auto fail = [&]() {
    if (error != nullptr) *error = UnableToWriteMessage(path);
    return false;
  };
  std::string dir, name;
  if (!SplitSettingsPath(path, dir, name)) return fail();
  SettingsAccess access = SettingsFolderAccess(dir, 1);
  if (access == SettingsAccess::Missing && createFolder && ForceDirectories(dir, folderMode)) {
    access = SettingsFolderAccess(dir, 1);
  }
  if (access != SettingsAccess::Ok) return fail();
  win32::HandleFacts facts;
  DWORD e = 0;
  if (FactsOf(path, facts, e)) {
    // A link is replaced by nothing and written through by nothing.
    if (facts.link) {
      SayRefused(path);
      return fail();
    }
    if (facts.directory || (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0) return fail();
  } else if (e != ERROR_FILE_NOT_FOUND) {
    return fail();
  }
  return Replace(path, data) || fail();
}

}  // namespace purgo::platform
