// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop Trash: listing its items and deleting the items listed.
//
// A trash directory holds "files/" (the trashed files and folders, one
// entry per item), "info/" (one "<entry>.trashinfo" per item, telling where
// it came from) and possibly a "directorysizes" cache. This user's trash
// directories are the home trash ($XDG_DATA_HOME/Trash) and, on each
// mounted volume, $top/.Trash/$uid (used only when $top/.Trash is a real
// directory with the sticky bit, never a link) and $top/.Trash-$uid.
//
// Nothing here follows a symbolic link below a trash directory: a trashed
// link is listed and deleted as a link, and emptying never touches anything
// outside the trash. Emptying deletes what a listing showed, never "whatever
// is in the trash now": an item trashed after the listing was never seen by
// the user and stays.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDelete.h"
#include "platform/Platform.h"

namespace purgo::platform {

struct TrashItem {
  std::string trashDir;     // the trash directory holding it, ending in "/"
  std::string entryName;    // its name in files/, exact bytes
  // The original name (the last component of the .trashinfo's Path=,
  // percent-decoded); the entry name when the info file is missing or
  // malformed.
  std::string displayName;
  std::string originalPath;  // the decoded Path=, empty when unknown
  // The entry's own attribute data (a link's, not its target's), taken
  // when it was listed: its id and stamp are what emptying checks the
  // entry against. For a directory item, size is the total size of
  // everything below it.
  FileAttributeData data;
};

// What became of one listed item when the Trash was emptied.
struct TrashOutcome {
  // The item, with everything in it, is gone; so is its .trashinfo.
  bool deleted = false;
  // Why the item stayed, when a deletion refused it as a whole (it was
  // replaced or moved since the listing, it is held open, ...). Empty for
  // an item that was deleted, a folder that kept part of its content, or
  // an item of a trash directory that can no longer be trusted.
  std::optional<DeleteResult> refusal;
};

// This user's existing trash directories, each ending in "/": the home
// trash first, then those of the mounted volumes, each directory once.
std::vector<std::string> TrashDirectories();

// Tests keep every trash operation inside their sandbox: while an override
// is set, TrashDirectories() gives exactly those that exist of it. An
// empty optional removes it.
void SetTrashDirectoriesOverride(std::optional<std::vector<std::string>> dirs);

// The trash directories of the volume mounted at `top` that exist and may
// be used: $top/.Trash/$uid when $top/.Trash is a sticky directory that is
// not a link, and $top/.Trash-$uid; each must be a directory owned by this
// user and not a link.
std::vector<std::string> TopDirectoryTrashes(const std::string& top);

// Every item of the given trash directories, in directory order and then
// in listing order. Unreadable trashes or entries are passed over.
std::vector<TrashItem> ListTrash(const std::vector<std::string>& trashDirs);

// Every item of this user's trashes (TrashDirectories()).
std::vector<TrashItem> ListTrash();

// Deletes the listed items, one outcome per item in the same order: each
// one only while its name in files/ still leads, without a link, to the
// object listed (same id and stamp). Links go as links, read-only files
// too (the user asked for the items to go). A folder item goes with
// everything in it, its own locked folders unlocked on the way, nothing
// below it followed. A deleted item's .trashinfo goes with it; an item
// that stays keeps its own, so that it can still be restored. Nothing that
// was not listed is touched: items trashed since, .trashinfo files without
// an item (a program trashing a file writes the info first). The
// directorysizes cache goes when a folder item did.
std::vector<TrashOutcome> EmptyTrashItems(const std::vector<TrashItem>& listed);

// The percent-decoded Path= of a .trashinfo text; empty when the text is
// not a trash info (no "[Trash Info]" group first, no Path= key in it, a
// bad escape, or a decoded NUL byte).
std::optional<std::string> ParseTrashInfo(std::string_view content);

}  // namespace purgo::platform
