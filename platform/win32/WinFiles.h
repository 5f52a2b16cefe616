// SPDX-License-Identifier: GPL-3.0-or-later
// Building blocks shared by the listing, the tree walk and the deletion on
// Windows. Internal to platform/ (and its tests): it exposes Windows types.
//
// Names are UTF-16 at the API and UTF-8 inside the core. NTFS names are
// sequences of 16-bit units that need not be valid UTF-16, so the
// conversion is the generalised UTF-8 (WTF-8): a surrogate without its
// partner is written as the three bytes UTF-8 would use for its value, and
// read back to the same unit. Every name the system gives survives a round
// trip; a byte string that was never a Windows name (stray bytes from a
// hand-written list) has each bad byte read as U+FFFD, so it names no file
// rather than another one.
#pragma once

#include <windows.h>
#include <winternl.h>

// The platform layer has functions of these names; the API's own are
// called by their wide names.
#undef DeleteFile
#undef GetFileAttributes

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace purgo::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The path as the wide API takes it: delimiters made "\", and a full path
// ("C:\...", "\\server\share\...") given the "\\?\" prefix, so that no
// length limit applies and no name is altered on the way (trailing dots
// and spaces stay part of a name). Relative paths are left as they are.
std::wstring ApiPath(std::string_view path);

// Owns one handle; empty when invalid.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = o.h_;
      o.h_ = nullptr;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }

  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != nullptr; }
  void Reset() {
    if (h_ != nullptr) ::CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// Opens `name`, one component, inside the open folder `dir`, without
// following a reparse point at it (a link or junction is opened itself).
// Nothing above `dir` is looked up by name again. Names are matched
// without regard to case, as the Win32 API matches them. The NT status.
NTSTATUS OpenAt(HANDLE dir, std::wstring_view name, ACCESS_MASK access, ULONG share, ULONG options,
                Handle& out);

// The Win32 error code of an NT status.
DWORD ErrorOfStatus(NTSTATUS status);
// The errno value callers report for a Win32 error code.
int ErrnoOf(DWORD error);

// A reparse point that stands for another name (a symbolic link, a
// junction, a mount point): opening through it reaches something else.
// Other reparse points (cloud placeholders, deduplicated files) are the
// files and folders they look like.
bool IsLinkLike(DWORD attributes, DWORD reparseTag);

// What one open object tells about itself.
struct HandleFacts {
  FileAttributeData data;
  DWORD attributes = 0;  // the system's own bits
  DWORD reparseTag = 0;
  bool directory = false;  // a folder, not a link to one
  bool link = false;
};
bool QueryHandle(HANDLE h, HandleFacts& out);

// The attribute data of an object from the system's figures. A link is
// reported as a file, as on Linux: its directory bit is dropped.
FileAttributeData DataOf(DWORD attributes, DWORD reparseTag, std::int64_t creation,
                         std::int64_t lastAccess, std::int64_t lastWrite, std::uint64_t size,
                         FileId id);

// One entry of a folder's listing.
struct RawEntry {
  std::string name;
  FileAttributeData data;
  bool directory = false;
  bool link = false;
};
// Every entry of the open folder `dir` ("." and ".." left out), with
// identities taken from `volumeSerial` and the file ids the listing gives.
// False, with `error` set to the Win32 code, when it cannot be read in
// full.
bool ReadListing(HANDLE dir, std::uint32_t volumeSerial, std::vector<RawEntry>& out, DWORD& error);

// Splits a path into its components at "\" and "/" (empty ones dropped).
std::vector<std::string_view> Components(std::string_view path);

}  // namespace purgo::platform::win32
