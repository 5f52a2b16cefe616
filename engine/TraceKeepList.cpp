// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TraceKeepList.h"

#include <array>

#include "platform/AsciiText.h"
#include "platform/Platform.h"

namespace purgo {
namespace {

constexpr std::array kTemp = {
    TKeepRule{".X11-unix", "display sockets"},
    TKeepRule{".ICE-unix", "session-manager sockets"},
    TKeepRule{".XIM-unix", "input-method sockets"},
    TKeepRule{".font-unix", "font-server sockets"},
    TKeepRule{".Test-unix", "X test sockets"},
    TKeepRule{".X*-lock", "display locks: a second X server would take the display"},
    TKeepRule{"xauth*", "the session cookie: without it no new window opens"},
    TKeepRule{"systemd-private-*", "services' private temporary folders"},
    TKeepRule{"snap-private-tmp", "snaps' private temporary folders"},
    TKeepRule{"snap.*", "snaps' private temporary folders"},
    TKeepRule{"ssh-*", "SSH agent sockets"},
    TKeepRule{"tmux-*", "terminal multiplexer sockets"},
    TKeepRule{".s.PGSQL.*", "database sockets and their locks"},
    TKeepRule{"hsperfdata_*", "Java virtual machines' data"},
    TKeepRule{"krb5cc*", "Kerberos tickets (a plain file)"},
    TKeepRule{"kde-*", "KDE's IPC folders"},
    TKeepRule{"ksocket-*", "KDE's sockets"},
    TKeepRule{"kdesudo-*", "KDE's sudo helper"},
    TKeepRule{"pulse-*", "the sound server's folders"},
    TKeepRule{".wine-*", "Wine servers' folders"},
    TKeepRule{".vbox-*-ipc", "VirtualBox IPC"},
    TKeepRule{"orbit-*", "ORBit IPC"},
    TKeepRule{"gconfd-*", "GConf daemon state"},
    TKeepRule{".truecrypt_aux_mnt*", "mounted encrypted volumes"},
    TKeepRule{"lost+found", "file-system recovery"},
    TKeepRule{"aquota.*", "disk quota files"},
    TKeepRule{"quota.*", "disk quota files"},
};

constexpr std::array kCache = {
    TKeepRule{"doc", "the document portal's mount: never entered"},
    TKeepRule{"ibus", "input-method user dictionaries"},
    TKeepRule{"obexd", "the Bluetooth receive folder"},
    TKeepRule{"evolution", "mail data"},
    TKeepRule{"wallpaper", "the current wallpaper"},
    TKeepRule{"gnome-control-center", "the current wallpaper"},
    TKeepRule{"kwin", "the running window manager's cache"},
    TKeepRule{"plasmashell", "the running desktop shell's cache"},
    TKeepRule{"*.kcache", "the running desktop's caches"},
    TKeepRule{"drkonqi", "the crash handler's data"},
    TKeepRule{"qtshadercache-*", "shaders of running Qt programs"},
    TKeepRule{"mesa_shader_cache*", "shaders of running programs"},
};

constexpr std::array kAnywhere = {
    TKeepRule{"*.lock", "a lock: its program relies on it"},
    TKeepRule{"*-lock", "a lock: its program relies on it"},
    TKeepRule{"lock", "a lock: its program relies on it"},
    TKeepRule{"LOCK", "a lock: its program relies on it"},
    TKeepRule{"*.pid", "a running program's process id"},
    TKeepRule{"pid", "a running program's process id"},
};

// A package manager writes its downloads here before it checks and
// installs them; a half-written package is not a leftover. The names come
// from apt (partial/), pacman (download-*/ and *.part) and librepo (*.part).
constexpr std::array kPackages = {
    TKeepRule{"partial", "apt's downloads under way"},
    TKeepRule{"download-*", "pacman's downloads under way"},
    TKeepRule{"*.part", "a download under way"},
};

// Names are told apart by letter case where the file system does: here,
// not where paths have "\\" (Windows names differ in ASCII case alone).
bool SameLetter(char a, char b) {
  if constexpr (platform::kPathDelimiter == '\\') return platform::FoldAscii(a) == platform::FoldAscii(b);
  return a == b;
}

bool AnyMatches(std::span<const TKeepRule> rules, std::string_view name) {
  for (const TKeepRule& r : rules) {
    if (KeepPatternMatches(r.pattern, name)) return true;
  }
  return false;
}

}  // namespace

const std::span<const TKeepRule> kKeepInTempFolder(kTemp);
const std::span<const TKeepRule> kKeepInCache(kCache);
const std::span<const TKeepRule> kKeepAnywhere(kAnywhere);
const std::span<const TKeepRule> kKeepInPackageCaches(kPackages);

bool KeepPatternMatches(std::string_view pattern, std::string_view name) {
  // Iterative glob with one remembered star: linear for these patterns.
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() && SameLetter(pattern[p], name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsKeptOut(TPGCScanTypes category, std::size_t depth, std::string_view name) {
  if (category == kScanUpdateDownloads) return AnyMatches(kKeepInPackageCaches, name);
  if (category != kScanTempFiles && category != kScanInternetCache) return false;
  if (AnyMatches(kKeepAnywhere, name)) return true;
  if (depth != 0) return false;
  return AnyMatches(category == kScanTempFiles ? kKeepInTempFolder : kKeepInCache, name);
}

}  // namespace purgo
