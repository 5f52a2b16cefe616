// SPDX-License-Identifier: GPL-3.0-or-later
// Well-known folders. Every function honours the environment variable that
// the freedesktop specifications name for it, so tests can point each one
// into a sandbox. Results end in the delimiter unless empty; an empty result
// means "this platform has no such folder".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace purgo::platform {

// $TMPDIR when it names a directory, else "/tmp/".
std::string TempDirectory();

// The process's working directory; empty when it cannot be read (it was
// deleted, or is longer than the system allows).
std::string CurrentDirectory();

// The folder of the running executable. SetProgramDirectoryOverride makes
// it answer a fixed folder instead (tests); an empty override restores the
// real one.
std::string ProgramDirectory();
void SetProgramDirectoryOverride(const std::string& dir);
// The running executable's file name without its folder; empty when the
// system cannot tell.
std::string ProgramFileName();

// True when this process may create files in `dir` (its effective user;
// a read-only mount refuses even root).
bool IsWritableDirectory(const std::string& dir);

// Where the program keeps its files. Portable when the program folder
// holds a "Langs/" folder and this user may write to the program folder:
// everything then stays beside the executable, so a copy on a stick or a
// build tree carries its settings along. Installed otherwise: the user's
// files go to the XDG folders, the shipped ones are read from
// <prefix>/share/purgo/ (the executable sitting in <prefix>/bin/), or
// from beside the executable when a "Langs/" there shows a portable copy
// this user cannot write to. Every
// folder ends in the delimiter; a path is empty when its XDG home cannot
// be told (no $HOME and no password entry), and then nothing is kept.
struct ProgramLayout {
  bool portable = true;
  std::string programFolder;
  // Config/Config.ini beside the program, or $XDG_CONFIG_HOME/purgo/Config.ini.
  std::string configFile;
  // The folder of the options file: data/ beside the program, or
  // $XDG_DATA_HOME/purgo/.
  std::string dataFolder;
  // The packs that come with the program: Langs/ beside it, or
  // <prefix>/share/purgo/Langs/ (see above).
  std::string languageFolder;
  // The user's own packs, $XDG_DATA_HOME/purgo/Langs/; a pack there
  // replaces a shipped one of the same folder name. Empty when portable.
  std::string userLanguageFolder;
  // The user manual: manual.html beside the program (with its packs), or
  // <prefix>/share/doc/purgo/manual.html.
  std::string manualFile;
};
// The layout of the program folder (ProgramDirectory(), override included),
// decided anew at each call.
ProgramLayout CurrentProgramLayout();
// The same for any program folder.
ProgramLayout ProgramLayoutOf(const std::string& programFolder);
// Everything beside `programFolder`, whatever that folder holds.
ProgramLayout PortableLayoutOf(const std::string& programFolder);

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
// The package managers' download caches that exist here: apt's, dnf's
// (both its generations') and pacman's.
std::vector<std::string> PackageCacheFolders();
std::string FlashCookiesFolder();    // ~/.macromedia/Flash_Player/

}  // namespace purgo::platform
