// SPDX-License-Identifier: GPL-3.0-or-later
// Single-object file system queries and one-directory listings.
//
// Paths are byte strings exactly as the file system holds them; nothing here
// assumes UTF-8. None of these functions throws: failures come back as
// false, an empty optional or an empty result.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace purgo::platform {

// The entry filter of every listing: an entry is passed over when it
// carries the hidden, system or directory bit and that bit is absent from
// the mask. Other bits of the mask select nothing.
constexpr bool PassesEntryFilter(std::uint32_t attributes, std::uint32_t mask) {
  constexpr std::uint32_t kFiltered = kAttrHidden | kAttrSystem | kAttrDirectory;
  return (attributes & kFiltered & ~mask) == 0;
}

// GetFileAttributesExW: the object the path names, a final symbolic link
// itself rather than its target. Empty when the path names nothing, or
// names a socket, FIFO or device (which the listing never reports either).
std::optional<FileAttributeData> GetFileAttributes(const std::string& path);

// True when the path names a directory, following symbolic links (a
// configured folder that is a link to a directory counts).
bool DirectoryExists(const std::string& path);

// True when the directory can be opened for listing (links followed).
bool DirectoryReadable(const std::string& path);

// Creates the directory and every missing parent, each with `mode` (before
// umask; 0700 keeps a user's settings folders private). Folders that exist
// keep their mode. True when the directory exists afterwards.
bool ForceDirectories(const std::string& path, unsigned mode = 0777);

struct DirEntry {
  std::string name;
  FileAttributeData data;
};

// FindFirstFileW/FindNextFileW over one directory: every entry that passes
// the entry filter, in the order the file system lists them, without "."
// and "..", without sockets, FIFOs and devices, and without directories
// that are mount points (another file system, or a bind mount that could
// show a folder twice or loop back to an ancestor). Symbolic links are
// reported as files. Returns false, with `out` empty, when the directory
// cannot be opened.
bool ListDirectory(const std::string& dir, std::uint32_t mask, std::vector<DirEntry>& out);

}  // namespace purgo::platform
