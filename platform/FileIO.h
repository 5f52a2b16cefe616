// Whole-file reads and writes for the program's own settings files.
//
// Settings files are small; these helpers read one whole into memory and
// replace one whole, atomically: a crash or a kill at any moment leaves
// either the old file or the new one at the path, never a mixture.
#pragma once

#include <cstddef>
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

// True when the descriptor is a terminal (progress is drawn only there).
bool IsTerminal(int fd);

// The text every refused settings write reports.
std::string UnableToWriteMessage(const std::string& path);

}  // namespace purgo::platform
