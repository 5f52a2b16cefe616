// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads and writes for the program's own settings files.
//
// Settings files are small; these helpers read one whole into memory and
// replace one whole, atomically: a crash or a kill at any moment leaves
// either the old file or the new one at the path, never a mixture.
#pragma once

#include <cstddef>
#include <functional>
#include <streambuf>
#include <string>
#include <string_view>

namespace purgo::platform {

// Settings files larger than this are not read at all: a real one is a few
// kilobytes, and reading a file of any size would let a damaged or hostile
// one exhaust memory. Such a file counts as unreadable (ReadStatus::TooLarge).
inline constexpr std::size_t kMaxSettingsFileSize = 16u * 1024u * 1024u;

enum class ReadStatus {
  Ok,        // the whole content was read
  Missing,   // nothing at the path (or a parent is missing)
  TooLarge,  // larger than the limit given; `out` is left empty
  Failed,    // exists but cannot be read (a directory, no permission, I/O error)
};

enum class FinalLink { Follow, Refuse };

// Reads the regular file at `path` into `out`. A final symbolic link is
// followed, or with FinalLink::Refuse makes the read fail.
ReadStatus ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out,
                         FinalLink finalLink = FinalLink::Follow);
// The same with `path` relative to the open directory `dirFd`.
ReadStatus ReadWholeFileAt(int dirFd, const std::string& path, std::size_t maxSize,
                           std::string& out, FinalLink finalLink = FinalLink::Follow);

// Everything `path` gives until its end, whatever it is (a file, a pipe
// such as /dev/fd/63, a terminal); the standard input when `path` is
// empty. Ok; TooLarge past `maxSize` (`out` then holds part of it);
// Failed, with `error` set to the errno of the open or read.
ReadStatus ReadToEnd(const std::string& path, std::size_t maxSize, std::string& out, int& error);

// A stream buffer that writes to the descriptor `fd` (borrowed) with
// write(2), so that a failure keeps its reason: a full disk can be
// reported, a reader that went away (| head) told apart.
class DescriptorOutputBuffer : public std::streambuf {
 public:
  explicit DescriptorOutputBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~DescriptorOutputBuffer() override { sync(); }
  DescriptorOutputBuffer(const DescriptorOutputBuffer&) = delete;
  DescriptorOutputBuffer& operator=(const DescriptorOutputBuffer&) = delete;
  // The errno of the first failed write; 0 while none failed.
  int Error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  int fd_;
  int error_ = 0;
  char buffer_[65536];
};

// True when `path` names a regular file (links followed).
bool FileExists(const std::string& path);

// Replaces the file at `path` with `data`: the bytes go to a new file in the
// same folder, are flushed to the disk, and the new file is then renamed
// over the old one. A path that is a symbolic link has its target replaced,
// so the link stays. An existing file keeps its permission bits (and, where
// allowed, its owner); a new one gets 0666 less the umask.
//
// Refused, with the old file untouched, when the folder does not exist or
// cannot be written, when the path names a directory, and when the existing
// file is read-only (its owner lacks write permission, as the Windows
// read-only attribute is mapped) or not writable by this user. On failure
// `error`, when given, receives "Unable to write to <path>".
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

// The program's own settings files (Config.ini, PGOOptions.xml) are read
// and written only through the calls below, never through the plain ones
// above.
//
// A settings folder is the last component of its path (".../purgo/",
// "Config/", "data/"); what lies above it is its base. The base may be
// reached through symbolic links (a home under /var/home, a ~/.config kept
// elsewhere), but the base, and a link naming it, must belong to this
// process's effective user. The settings folder and its files are opened
// without following any link and must belong to that user too. So a
// process that root starts with another user's HOME neither reads nor
// writes that user's settings, and whatever links that user planted lead
// nowhere. Such a refusal is said once per process on standard error; the
// process then runs on with its built-in settings.
enum class SettingsAccess {
  Ok,       // the folder is there and usable
  Missing,  // the folder (or a folder above it) does not exist
  Refused,  // a link, or another user's: neither read nor written
  Failed,   // cannot be opened (not a folder, no permission)
};

// Whether the folder `folder` may be used for settings. Its last
// `ownLevels` components are the program's own (never reached through a
// link and this user's); the rest is its base (see above).
SettingsAccess SettingsFolderAccess(const std::string& folder, int ownLevels = 1);

// Reads the settings file `path` into `out` (limit kMaxSettingsFileSize).
// A file, or a folder on the way, refused by the rules above reads as
// ReadStatus::Failed: it exists, but nothing of it may be taken.
ReadStatus ReadSettingsFile(const std::string& path, std::string& out);

// Replaces the settings file `path` as WriteFileAtomically does, but never
// through a link: the folder is opened as above and the new file is
// renamed into that very folder. With `createFolder`, missing folders on
// the way are made with `folderMode`, each inside a folder opened without
// following links, and only below a folder of this user. Refused, with
// `error` set to "Unable to write to <path>", when WriteFileAtomically
// would refuse, and when the file or a folder on the way is a link or
// another user's.
bool WriteSettingsFile(const std::string& path, std::string_view data, bool createFolder,
                       unsigned folderMode, std::string* error = nullptr);

// Opens the folder `path` by the rules of a settings base above: links on
// the way are followed, a link at its end only when this user made it, and
// the folder must be this user's. A descriptor (close-on-exec) the caller
// closes, or -1 with `access` telling why. Nothing is said on refusal.
int OpenUserFolder(const std::string& path, SettingsAccess& access);

enum class ReplaceOutcome {
  Replaced,  // the new content is in place
  Declined,  // `stillSame` said no: the old file is untouched
  Failed,    // the new file could not be written or renamed
};
// Replaces the file `name` of the open folder `dirFd` with `data` as
// WriteFileAtomically does (a new file in the same folder, flushed to the
// disk, with the old file's permission bits, renamed over the old one; a
// link at `name` is replaced, never followed), but asks `stillSame` right
// before the rename, when the new file is ready, and renames only on yes.
// So a file another program rewrote meanwhile is not overwritten by what
// was made from its old content.
ReplaceOutcome ReplaceFileAtIf(int dirFd, const std::string& name, std::string_view data,
                               const std::function<bool()>& stillSame);

// Lets the next refusal be said again, as in a new process (tests).
void ForgetSettingsRefusalSaid();

// True when the descriptor is a terminal (progress is drawn only there).
bool IsTerminal(int fd);

// The text every refused settings write reports.
std::string UnableToWriteMessage(const std::string& path);

}  // namespace purgo::platform
