// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/FileSystem.h"

namespace purgo::platform {
namespace {

std::string WithDelimiter(std::string s) {
  if (!s.empty() && s.back() != kPathDelimiter) s.push_back(kPathDelimiter);
  return s;
}

// An environment variable's value when it is set to an absolute path; the
// XDG base directory specification says relative values are to be ignored.
std::string AbsoluteEnv(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || v[0] != '/') return {};
  return v;
}

bool IsDirectory(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::mutex& OverrideMutex() {
  static std::mutex m;
  return m;
}

std::string& ProgramDirOverride() {
  static std::string dir;
  return dir;
}

// The running executable's full path; empty when the system cannot tell.
std::string ExecutablePath() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

}  // namespace

std::string TempDirectory() {
  std::string tmp = AbsoluteEnv("TMPDIR");
  if (!tmp.empty() && IsDirectory(tmp)) return WithDelimiter(tmp);
  return "/tmp/";
}

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  for (;;) {
    if (::getcwd(buf.data(), buf.size()) != nullptr) return WithDelimiter(buf.data());
    if (errno != ERANGE || buf.size() >= (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

std::string ProgramDirectory() {
  {
    std::lock_guard lock(OverrideMutex());
    if (!ProgramDirOverride().empty()) return ProgramDirOverride();
  }
  const std::string exe = ExecutablePath();
  const std::size_t slash = exe.rfind(kPathDelimiter);
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

std::string ProgramFileName() {
  const std::string exe = ExecutablePath();
  return exe.substr(exe.rfind(kPathDelimiter) + 1);
}

void SetProgramDirectoryOverride(const std::string& dir) {
  std::lock_guard lock(OverrideMutex());
  ProgramDirOverride() = WithDelimiter(dir);
}

std::string HomeDirectory() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return WithDelimiter(home);
  std::vector<char> buf(16384);
  struct passwd pw {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr && result->pw_dir[0] == '/') {
    return WithDelimiter(result->pw_dir);
  }
  return {};
}

namespace {

std::string XdgHome(const char* variable, const char* fallbackBelowHome) {
  std::string dir = AbsoluteEnv(variable);
  if (!dir.empty()) return WithDelimiter(dir);
  std::string home = HomeDirectory();
  if (home.empty()) return {};
  return home + fallbackBelowHome;
}

}  // namespace

std::string CacheHome() { return XdgHome("XDG_CACHE_HOME", ".cache/"); }
std::string DataHome() { return XdgHome("XDG_DATA_HOME", ".local/share/"); }
std::string ConfigHome() { return XdgHome("XDG_CONFIG_HOME", ".config/"); }

std::string SpecialFolderPath(int csidl, bool create) {
  std::string dir;
  switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_PERSONAL:
    case CSIDL_PROFILE:
      dir = HomeDirectory();
      break;
    case CSIDL_RECENT:
      dir = DataHome().empty() ? std::string() : DataHome() + "RecentDocuments/";
      break;
    case CSIDL_BITBUCKET:
      dir = DataHome().empty() ? std::string() : DataHome() + "Trash/";
      break;
    case CSIDL_APPDATA:
      dir = ConfigHome();
      break;
    case CSIDL_LOCAL_APPDATA:
      dir = DataHome();
      break;
    case CSIDL_INTERNET_CACHE:
      dir = CacheHome();
      break;
    default:  // CSIDL_WINDOWS and everything unknown
      return {};
  }
  if (dir.empty()) return {};
  if (create ? ForceDirectories(dir) : IsDirectory(dir)) return dir;
  return {};
}

std::vector<std::string> PackageCacheFolders() {
  std::vector<std::string> out;
  for (const char* dir : {"/var/cache/apt/archives/", "/var/cache/dnf/", "/var/cache/libdnf5/",
                          "/var/cache/pacman/pkg/"}) {
    if (IsDirectory(dir)) out.emplace_back(dir);
  }
  return out;
}

std::string FlashCookiesFolder() {
  std::string home = HomeDirectory();
  return home.empty() ? std::string() : home + ".macromedia/Flash_Player/";
}

bool IsWritableDirectory(const std::string& dir) {
  return IsDirectory(dir) && ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

ProgramLayout PortableLayoutOf(const std::string& programFolder) {
  ProgramLayout layout;
  layout.programFolder = WithDelimiter(programFolder);
  const std::string& dir = layout.programFolder;
  layout.configFile = dir + "Config/Config.ini";
  layout.dataFolder = dir + "data/";
  layout.languageFolder = dir + "Langs/";
  layout.manualFile = dir + "manual.html";
  return layout;
}

ProgramLayout ProgramLayoutOf(const std::string& programFolder) {
  const std::string dir = WithDelimiter(programFolder);
  const bool besideLangs = !dir.empty() && IsDirectory(dir + "Langs");
  if (besideLangs && IsWritableDirectory(dir)) return PortableLayoutOf(dir);
  ProgramLayout layout;
  layout.portable = false;
  layout.programFolder = dir;
  // <prefix>/bin/ -> <prefix>/: the parent, not "bin/../", so that paths
  // shown to the user read plainly.
  std::string prefix = dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dir;
  const std::size_t slash = prefix.rfind(kPathDelimiter);
  prefix = slash == std::string::npos ? std::string() : prefix.substr(0, slash + 1);
  if (besideLangs) {
    // A portable copy this user cannot write to (unpacked by root into
    // /opt, on a read-only medium) still ships its packs beside itself.
    layout.languageFolder = dir + "Langs/";
    layout.manualFile = dir + "manual.html";
  } else if (!prefix.empty()) {
    layout.languageFolder = prefix + "share/purgo/Langs/";
    layout.manualFile = prefix + "share/doc/purgo/manual.html";
  }
  if (const std::string config = ConfigHome(); !config.empty()) {
    layout.configFile = config + "purgo/Config.ini";
  }
  if (const std::string data = DataHome(); !data.empty()) {
    layout.dataFolder = data + "purgo/";
    layout.userLanguageFolder = data + "purgo/Langs/";
  }
  return layout;
}

ProgramLayout CurrentProgramLayout() { return ProgramLayoutOf(ProgramDirectory()); }

std::uint32_t CurrentUserId() { return static_cast<std::uint32_t>(::geteuid()); }

}  // namespace purgo::platform
