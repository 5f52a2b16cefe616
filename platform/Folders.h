// Well-known folders. Every function honours the environment variable that
// the freedesktop specifications name for it, so tests can point each one
// into a sandbox. Results end in the delimiter unless empty; an empty result
// means "this platform has no such folder".
#pragma once

#include <cstdint>
#include <string>

namespace purgo::platform {

// $TMPDIR when it names a directory, else "/tmp/".
std::string TempDirectory();

// The process's working directory; empty when it cannot be read (it was
// deleted, or is longer than the system allows).
std::string CurrentDirectory();

// The folder of the running executable. SetProgramDirectoryOverride makes
// it answer a fixed folder instead (tests, a later installed layout);
// an empty override restores the real one.
std::string ProgramDirectory();
void SetProgramDirectoryOverride(const std::string& dir);
// The running executable's file name without its folder; empty when the
// system cannot tell.
std::string ProgramFileName();

// $HOME, else the password database's entry for this user.
std::string HomeDirectory();
// The user this process acts as (its effective user id).
std::uint32_t CurrentUserId();
// $XDG_CACHE_HOME / $XDG_DATA_HOME / $XDG_CONFIG_HOME when set to an
// absolute path, else ~/.cache/, ~/.local/share/, ~/.config/.
std::string CacheHome();
std::string DataHome();
std::string ConfigHome();

// The Windows shell folders that the program asks for, mapped to Linux.
enum : int {
  CSIDL_DESKTOP = 0x00,
  CSIDL_PERSONAL = 0x05,
  CSIDL_RECENT = 0x08,          // $XDG_DATA_HOME/RecentDocuments/
  CSIDL_BITBUCKET = 0x0A,       // the home trash: $XDG_DATA_HOME/Trash/
  CSIDL_APPDATA = 0x1A,         // $XDG_CONFIG_HOME
  CSIDL_LOCAL_APPDATA = 0x1C,   // $XDG_DATA_HOME
  CSIDL_INTERNET_CACHE = 0x20,  // $XDG_CACHE_HOME
  CSIDL_WINDOWS = 0x24,         // none
  CSIDL_PROFILE = 0x28,         // $HOME
};

// SHGetSpecialFolderPathW. Empty for an unknown id, for a folder this
// platform lacks, and (unless `create`) for a folder that does not exist.
std::string SpecialFolderPath(int csidl, bool create);

// Folders of the application-trace categories that have no CSIDL of their
// own here. Empty when the machine has none of them.
std::string PackageCacheFolder();    // first of apt, pacman, dnf caches
std::string FlashCookiesFolder();    // ~/.macromedia/Flash_Player/

}  // namespace purgo::platform
