// SPDX-License-Identifier: GPL-3.0-or-later
// The sandbox on Windows: the same promise as on Linux, with the folders
// Windows programs look up (USERPROFILE, APPDATA, LOCALAPPDATA, TEMP)
// pointed into it, and no Recycle Bin listed at all (under Wine the bin is
// the Linux user's own Trash). Removal never follows a junction or a link.
#include "tests/Sandbox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/Folders.h"
#include "platform/Trash.h"
#include "platform/win32/WinFiles.h"

namespace purgo::test {
namespace {

using platform::win32::ApiPath;
using platform::win32::Wide;

const char* const kRedirected[] = {"HOME", "USERPROFILE", "APPDATA", "LOCALAPPDATA", "TEMP", "TMP",
                                   "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};

// A Unix path handed in by the build (under Wine, drive Z: is "/").
std::string WindowsPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  return p;
}

std::string SandboxBase() {
  if (const char* base = std::getenv("PURGO_TEST_TMP"); base != nullptr && *base != '\0') return WindowsPath(base);
  wchar_t buf[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, buf);
  return WindowsPath(platform::win32::Narrow(buf));
}

void MakeDirs(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    ::CreateDirectoryW(ApiPath(path.substr(0, at)).c_str(), nullptr);
  }
  ::CreateDirectoryW(ApiPath(path).c_str(), nullptr);
}

// Removes `path` and everything below it; a reparse point is removed
// itself, never entered.
void RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileW(path.c_str());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
      } while (::FindNextFileW(h, &found));
      ::FindClose(h);
    }
  }
  ::RemoveDirectoryW(path.c_str());
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace

Sandbox::Sandbox() {
  const std::string base = SandboxBase();
  MakeDirs(base);
  std::random_device rd;
  for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "\\purgo-test-%08x", rd());
    if (::CreateDirectoryW(ApiPath(base + name).c_str(), nullptr)) root_ = base + name;
  }
  if (root_.empty()) {
    ADD_FAILURE() << "cannot create a sandbox below " << base;
    std::abort();
  }
  const std::string home = root_ + "\\home";
  const std::map<std::string, std::string> targets = {
      {"HOME", home},
      {"USERPROFILE", home},
      {"APPDATA", home + "\\AppData\\Roaming"},
      {"LOCALAPPDATA", home + "\\AppData\\Local"},
      {"TEMP", root_ + "\\tmp"},
      {"TMP", root_ + "\\tmp"},
      {"XDG_CACHE_HOME", home + "\\.cache"},
      {"XDG_DATA_HOME", home + "\\.local\\share"},
      {"XDG_CONFIG_HOME", home + "\\.config"},
      {"XDG_RUNTIME_DIR", root_ + "\\run"},
      {"TMPDIR", root_ + "\\tmp"},
  };
  for (const char* name : kRedirected) {
    const char* old = std::getenv(name);
    savedEnv_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    MakeDirs(targets.at(name));
    ::setenv(name, targets.at(name).c_str(), 1);
  }
  MakeDirs(root_ + "\\program\\Langs");
  platform::SetProgramDirectoryOverride(root_ + "\\program\\");
  platform::SetTrashDirectoriesOverride(std::vector<std::string>{});
}

Sandbox::~Sandbox() {
  platform::SetProgramDirectoryOverride("");
  platform::SetTrashDirectoriesOverride(std::nullopt);
  for (const auto& [name, value] : savedEnv_) SetEnv(name, value);
  RemoveTree(ApiPath(root_));
}

std::string Sandbox::Path(const std::string& relative) const {
  std::string p = root_ + "\\" + relative;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
}

std::string Sandbox::MakeDir(const std::string& relative) {
  const std::string p = Path(relative);
  MakeDirs(p);
  EXPECT_NE(::GetFileAttributesW(ApiPath(p).c_str()), INVALID_FILE_ATTRIBUTES) << p;
  return p;
}

std::string Sandbox::MakeFile(const std::string& relative, const std::string& content) {
  const std::string p = Path(relative);
  MakeDirs(p.substr(0, p.rfind('\\')));
  HANDLE h = ::CreateFileW(ApiPath(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = h != INVALID_HANDLE_VALUE &&
                  ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                  written == content.size();
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  EXPECT_TRUE(ok) << "cannot write " << p;
  return p;
}

std::string Sandbox::MakeSymlink(const std::string& relative, const std::string& target) {
  const std::string p = Path(relative);
  MakeDirs(p.substr(0, p.rfind('\\')));
  const DWORD attributes = ::GetFileAttributesW(ApiPath(target).c_str());
  DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
  }
  std::wstring wideTarget = Wide(target);
  for (wchar_t& c : wideTarget) {
    if (c == L'/') c = L'\\';
  }
  EXPECT_TRUE(::CreateSymbolicLinkW(ApiPath(p).c_str(), wideTarget.c_str(), flags)) << "cannot link " << p;
  return p;
}

bool Sandbox::MakeReadOnly(const std::string& /*relative*/) {
  return false;  // Windows ignores the read-only attribute of folders
}

std::string ReadBytes(const std::string& path) {
  HANDLE h = ::CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buf[65536];
  DWORD n = 0;
  while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  ::CloseHandle(h);
  return out;
}

std::string Utf16Le(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

}  // namespace purgo::test
