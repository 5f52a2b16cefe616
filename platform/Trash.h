// The freedesktop Trash: listing its items and emptying it.
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
// outside the trash.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  // The entry's own attribute data (a link's, not its target's). For a
  // directory item, size is the total size of everything below it.
  FileAttributeData data;
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

// Deletes every item of the given trash directories (links as links,
// read-only files too, since the user asked for the whole trash to go),
// every .trashinfo file and the directorysizes cache. True only when every
// one of them ends with an empty files/ and no .trashinfo left; a trash
// directory that does not exist counts as empty.
bool EmptyTrash(const std::vector<std::string>& trashDirs);

// The same over every trash of this user (TrashDirectories()): what the
// application-traces page calls to empty the recycle bin.
std::vector<TrashItem> ListTrash();
bool EmptyTrash();

// The percent-decoded Path= of a .trashinfo text; empty when the text is
// not a trash info (no "[Trash Info]" group first, no Path= key in it, a
// bad escape, or a decoded NUL byte).
std::optional<std::string> ParseTrashInfo(std::string_view content);

}  // namespace purgo::platform
