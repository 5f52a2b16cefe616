// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's list of recently used documents: the freedesktop bookmark
// file $XDG_DATA_HOME/recently-used.xbel, which GTK and GNOME programs, and
// newer KDE ones, keep up to date.
//
// Its entries are references to documents. Cleaning one takes the entry out
// of the list and never touches the document. The list is edited as bytes:
// the <bookmark> elements removed are cut out, and everything else in the
// file (the other entries, comments, the declaration, the way it is laid
// out) stays as it was, byte for byte. The list is rewritten atomically
// (a new file in the same folder, flushed, renamed over the old one), only
// while it is this user's and never through a symbolic link.
//
// The programs that keep the list rewrite it whenever a document is opened,
// so it may change between a scan and the cleaning. Cleaning reads it again
// and removes only the listed entries that are still there unchanged (same
// address, same modified and visited stamps); an entry used again since
// stays, and an entry already gone is reported as such. A list replaced
// while Purgo writes its own version is read and merged again, and after a
// few such turns left alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace purgo::platform {

// Lists larger than this are not read: a real one is well below a
// megabyte, and one of any size would let a damaged file exhaust memory.
inline constexpr std::size_t kMaxRecentListSize = 64u * 1024u * 1024u;

// One entry of the list.
struct RecentEntry {
  std::string href;      // the document's address, as the list has it (XML escapes undone)
  std::string modified;  // the entry's stamps, as written; with the address they
  std::string visited;   // tell one state of the entry from another
  std::string name;      // the document's name: the address's last part, %-escapes undone
  std::string where;     // where it was: the folder for a local file, else the address up to the name
  std::uint64_t size = 0;  // bytes the entry takes in the list
};

enum class RecentListStatus {
  Ok,          // read (or rewritten)
  Missing,     // there is no list
  TooLarge,    // larger than kMaxRecentListSize: not read
  Malformed,   // not a bookmark list that can be read safely: nothing listed
  Link,        // the list is a symbolic link: never read or written through
  OtherOwner,  // the list or its folder is another user's (or a link another user made)
  ReadOnly,    // the list is read-only: its entries are listed, never removed
  Busy,        // the list changed at every attempt to rewrite it
  Failed,      // cannot be opened, read or written
};

struct RecentList {
  std::string path;
  RecentListStatus status = RecentListStatus::Missing;
  std::vector<RecentEntry> entries;  // in the list's order; empty unless Ok
};

// $XDG_DATA_HOME/recently-used.xbel (~/.local/share/ by default); empty
// when no data folder can be told.
std::string RecentListPath();

RecentList ReadRecentList(const std::string& path);

enum class RecentOutcome {
  Removed,  // taken out of the list
  Gone,     // no longer in the list (or the list is gone)
  Changed,  // still in the list but used again since it was listed: kept
  Refused,  // the list could not be rewritten: see the result's status
};

struct RecentRemoval {
  RecentListStatus status = RecentListStatus::Ok;
  std::vector<RecentOutcome> outcomes;  // one per entry asked for, in order
};

// Takes `entries` (as ReadRecentList gave them) out of the list at `path`.
RecentRemoval RemoveRecentEntries(const std::string& path, std::span<const RecentEntry> entries);

// ---- the parts, for tests and fuzzing --------------------------------------

// Where one entry lies in the list's bytes: the element itself, and what
// cleaning cuts (the element, and its line when it stands alone on it).
struct RecentEntrySpan {
  std::size_t begin = 0, end = 0;
  std::size_t cutBegin = 0, cutEnd = 0;
};

// The entries of a list's bytes with their places. False, with nothing
// filled in, when the bytes are not a well-formed <xbel> document.
bool ParseRecentList(std::string_view bytes, std::vector<RecentEntry>& entries,
                     std::vector<RecentEntrySpan>& spans);

// `bytes` without the cut ranges of the spans given (ascending, apart).
std::string CutRecentEntries(std::string_view bytes, std::span<const RecentEntrySpan> spans);

}  // namespace purgo::platform
