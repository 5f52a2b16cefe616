// SPDX-License-Identifier: GPL-3.0-or-later
// Types shared by the platform layer and everything above it.
//
// The engine is written against the vocabulary of the Windows file system
// (attribute bits, FILETIME, drive types); this header gives those values a
// home that needs no operating-system header, so the engine can include it
// on any platform.
#pragma once

#include <cstdint>

namespace purgo::platform {

// The path delimiter of this platform. Every path helper takes it from here.
#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif

// Windows FILETIME: 100-ns intervals since 1601-01-01 UTC, as two halves.
// An all-zero value means "no time recorded".
struct FileTime {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;

  constexpr std::uint64_t Value() const {
    return (std::uint64_t{dwHighDateTime} << 32) | dwLowDateTime;
  }
  static constexpr FileTime FromValue(std::uint64_t v) {
    return FileTime{static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32)};
  }
  constexpr bool IsZero() const { return dwLowDateTime == 0 && dwHighDateTime == 0; }
  friend constexpr bool operator==(FileTime a, FileTime b) = default;
};

// Windows attribute bits as the listing reports them. On Linux only
// read-only, hidden, directory, archive and normal are ever produced; the
// others exist because masks handed in by callers mention them.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kAttrTemporary = 0x100;
inline constexpr std::uint32_t kAttrEncrypted = 0x4000;

// Identity of a file system object: device and inode. A default-constructed
// id is "unknown" and matches nothing.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  constexpr bool IsKnown() const { return device != 0 || inode != 0; }
  friend constexpr bool operator==(const FileId&, const FileId&) = default;
};

// What tells a file from a later one that reuses its device and inode
// numbers (ext4 hands a freed inode number to the next new file at once):
// the birth time where the file system records it, otherwise the status
// change time together with the size. Times are nanoseconds since the Unix
// epoch. All zero: unknown, matches anything.
struct FileStamp {
  std::uint64_t birth = 0;   // 0 when the file system records none
  std::uint64_t change = 0;  // only set when birth is unknown
  std::uint64_t size = 0;    // only set when birth is unknown

  constexpr bool IsKnown() const { return birth != 0 || change != 0; }
  friend constexpr bool operator==(const FileStamp&, const FileStamp&) = default;
};

// What GetFileAttributesExW / a listing entry reports about one object.
struct FileAttributeData {
  std::uint32_t attributes = 0;
  FileTime creationTime;    // birth time where recorded, else status change
  FileTime lastAccessTime;  // zero when the file system records none
  FileTime lastWriteTime;
  std::uint64_t size = 0;   // a symbolic link's own size, a directory's 0
  FileId id;
  FileStamp stamp;
  std::uint32_t owner = 0;  // the owning user's id
};

}  // namespace purgo::platform
