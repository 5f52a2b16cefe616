// SPDX-License-Identifier: GPL-3.0-or-later
// The well-known folders on Windows. Each honours the environment variable
// Windows itself sets for it (USERPROFILE, APPDATA, LOCALAPPDATA, TEMP), so
// that tests can point it into a sandbox; the shell answers when it is
// unset. The program keeps its files beside itself when it may write
// there (a portable copy), else under %APPDATA%\Purgo and
// %LOCALAPPDATA%\Purgo.
#include "platform/Folders.h"

#include <shlobj.h>

#include <cstdlib>
#include <mutex>

#include "platform/FileSystem.h"
#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace {

std::string WithDelimiter(std::string s) {
  if (!s.empty() && s.back() != '\\' && s.back() != '/') s.push_back(kPathDelimiter);
  return s;
}

// The process's environment as the system keeps it.
std::string Env(const wchar_t* name) {
  const DWORD need = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (need == 0) return {};
  std::wstring v(need, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(name, v.data(), need);
  if (n == 0 || n >= need) return {};
  v.resize(n);
  return win32::Narrow(v);
}

bool IsAbsolute(const std::string& p) {
  return (p.size() >= 3 && p[1] == ':' && (p[2] == '\\' || p[2] == '/')) ||
         (p.size() > 2 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/'));
}

bool IsDirectory(const std::string& p) { return DirectoryExists(p); }

std::string ShellFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
  return win32::Narrow(buf);
}

// An environment folder when set to a full path, else the shell's.
std::string KnownFolder(const wchar_t* variable, int csidl) {
  std::string v = Env(variable);
  if (!IsAbsolute(v)) v = ShellFolder(csidl);
  return v.empty() ? std::string() : WithDelimiter(v);
}

std::mutex& OverrideMutex() {
  static std::mutex m;
  return m;
}

std::string& ProgramDirOverride() {
  static std::string dir;
  return dir;
}

std::string ExecutablePath() {
  std::wstring buf(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return win32::Narrow(buf);
}

}  // namespace

std::string TempDirectory() {
  wchar_t buf[MAX_PATH + 2] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH + 1) return {};
  return WithDelimiter(win32::Narrow(std::wstring_view(buf, n)));
}

std::string CurrentDirectory() {
  const DWORD need = ::GetCurrentDirectoryW(0, nullptr);
  if (need == 0) return {};
  std::wstring buf(need, L'\0');
  const DWORD n = ::GetCurrentDirectoryW(need, buf.data());
  if (n == 0 || n >= need) return {};
  buf.resize(n);
  return win32::Narrow(buf);
}

std::string ProgramDirectory() {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    if (!ProgramDirOverride().empty()) return ProgramDirOverride();
  }
  const std::string exe = ExecutablePath();
  const std::size_t at = exe.find_last_of("\\/");
  return at == std::string::npos ? std::string() : exe.substr(0, at + 1);
}

std::string ProgramFileName() {
  const std::string exe = ExecutablePath();
  const std::size_t at = exe.find_last_of("\\/");
  return at == std::string::npos ? exe : exe.substr(at + 1);
}

void SetProgramDirectoryOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  ProgramDirOverride() = dir.empty() ? std::string() : WithDelimiter(dir);
}

std::string HomeDirectory() { return KnownFolder(L"USERPROFILE", CSIDL_PROFILE); }

std::uint32_t CurrentUserId() {
  // Windows keeps owners as security identifiers, and access lists decide
  // what a user may delete: every object counts as this user's here, and
  // what the lists refuse stays as a failed deletion.
  return 0;
}

std::string CacheHome() { return KnownFolder(L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA); }
std::string DataHome() { return KnownFolder(L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA); }
std::string ConfigHome() { return KnownFolder(L"APPDATA", CSIDL_APPDATA); }

std::string SpecialFolderPath(int csidl, bool create) {
  std::string dir;
  switch (csidl) {
    case CSIDL_PROFILE:
      dir = HomeDirectory();
      break;
    case CSIDL_APPDATA:
      dir = ConfigHome();
      break;
    case CSIDL_LOCAL_APPDATA:
      dir = DataHome();
      break;
    case CSIDL_RECENT:
      // Below the roaming folder, where the shell keeps it.
      dir = ConfigHome().empty() ? std::string() : ConfigHome() + "Microsoft\\Windows\\Recent\\";
      break;
    case CSIDL_INTERNET_CACHE:
      dir = DataHome().empty() ? std::string() : DataHome() + "Microsoft\\Windows\\INetCache\\";
      break;
    case CSIDL_DESKTOP:
    case CSIDL_PERSONAL:
    case CSIDL_WINDOWS:
      dir = ShellFolder(csidl);
      break;
    default:  // the Recycle Bin is no folder: see Trash.h; everything unknown
      return {};
  }
  if (dir.empty()) return {};
  dir = WithDelimiter(dir);
  if (create ? ForceDirectories(dir) : IsDirectory(dir)) return dir;
  return {};
}

std::vector<std::string> PackageCacheFolders() {
  // The downloads of Windows Update.
  const std::string windows = ShellFolder(CSIDL_WINDOWS);
  if (windows.empty()) return {};
  const std::string dir = WithDelimiter(windows) + "SoftwareDistribution\\Download\\";
  return IsDirectory(dir) ? std::vector<std::string>{dir} : std::vector<std::string>{};
}

std::string FlashCookiesFolder() {
  const std::string appData = ConfigHome();
  return appData.empty() ? std::string() : appData + "Macromedia\\Flash Player\\";
}

bool IsWritableDirectory(const std::string& dir) {
  if (!IsDirectory(dir)) return false;
  // Access lists, inheritance and virtualisation make asking unreliable:
  // a file is made, and removed at once.
  const std::wstring probe = win32::ApiPath(WithDelimiter(dir) + ".purgo-write-probe");
  win32::Handle h(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return h.Valid();
}

ProgramLayout PortableLayoutOf(const std::string& programFolder) {
  ProgramLayout layout;
  layout.programFolder = WithDelimiter(programFolder);
  const std::string& dir = layout.programFolder;
  layout.configFile = dir + "Config\\Config.ini";
  layout.dataFolder = dir + "data\\";
  layout.languageFolder = dir + "Langs\\";
  layout.manualFile = dir + "manual.html";
  return layout;
}

ProgramLayout ProgramLayoutOf(const std::string& programFolder) {
  const std::string dir = WithDelimiter(programFolder);
  const bool besideLangs = !dir.empty() && IsDirectory(dir + "Langs");
  if (besideLangs && IsWritableDirectory(dir)) return PortableLayoutOf(dir);
  // Installed (under Program Files, which users cannot write): the packs
  // and the manual stay beside the program, the user's files go to the
  // profile.
  ProgramLayout layout;
  layout.portable = false;
  layout.programFolder = dir;
  layout.languageFolder = dir + "Langs\\";
  layout.manualFile = dir + "manual.html";
  if (const std::string config = ConfigHome(); !config.empty()) {
    layout.configFile = config + "Purgo\\Config.ini";
  }
  if (const std::string data = DataHome(); !data.empty()) {
    layout.dataFolder = data + "Purgo\\";
    layout.userLanguageFolder = data + "Purgo\\Langs\\";
  }
  return layout;
}

ProgramLayout CurrentProgramLayout() { return ProgramLayoutOf(ProgramDirectory()); }

}  // namespace purgo::platform
