// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "platform/AsciiText.h"
#include "platform/FileDelete.h"
#include "platform/FileIO.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Mounts.h"
#include "platform/PosixFiles.h"
#include "platform/TreeWalker.h"

namespace purgo::platform {
namespace {

// Every entry, hidden or not: a trash hides nothing from its owner.
constexpr std::uint32_t kEverything = 0xFFFFFFFFu;
constexpr std::string_view kInfoSuffix = ".trashinfo";
// A .trashinfo is a few lines; anything bigger is not one.
constexpr std::size_t kMaxInfoSize = 64 * 1024;

std::string WithDelimiter(std::string s) {
  if (s.empty() || s.back() != kPathDelimiter) s.push_back(kPathDelimiter);
  return s;
}

// A real directory (not a link to one) owned by this user.
bool IsOwnRealDirectory(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

FileId IdOfDirectory(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return posix::IdOf(st);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One trash directory, opened once and checked on the open descriptors.
// Everything done to the trash afterwards goes through these descriptors:
// another user who can rename things on the way (a shared $top/.Trash)
// cannot redirect it to a folder of ours.
struct OpenTrash {
  std::string path;  // ends in "/"
  posix::UniqueFd dir, files, info;
  FileId filesId, infoId;
  bool missing = false;  // no such trash directory: nothing to do
};

// Opens `name` of `base` as a directory without following a link; its
// status in `st`.
posix::UniqueFd OpenDirectoryAt(int base, const char* name, struct stat& st) {
  posix::UniqueFd fd(::openat(base, name, kDirFlags));
  if (fd.Valid() && ::fstat(fd.Get(), &st) != 0) fd.Reset();
  return fd;
}

// Opens the trash directory `trashDir` (ending in "/"). The folder holding
// it is opened as given, the trash itself without following a link, and
// it must belong to this user and be writable by nobody outside its group.
// A trash of the form ".../.Trash/<uid>/" is a per-user folder in a shared
// one: ".Trash" too is opened without following a link and must carry the
// sticky bit, so that nobody but its owner can rename this user's folder.
// False when the trash exists but cannot be trusted or opened.
bool Open(const std::string& trashDir, OpenTrash& t) {
  t.path = WithDelimiter(trashDir);
  std::string_view p(t.path);
  p.remove_suffix(1);
  const std::size_t slash = p.rfind('/');
  if (slash == std::string_view::npos) return false;
  const std::string last(p.substr(slash + 1));
  std::string parent(p.substr(0, slash));
  const std::string uid = std::to_string(::getuid());
  const bool perUser = last == uid && posix::LastComponent(parent) == ".Trash";
  if (perUser) parent.resize(parent.size() - std::string_view(".Trash").size());
  if (parent.empty()) parent = "/";
  // The home trash lies in this user's own data folder, which nobody else
  // can change: a user who made it a link to another disk meant that link.
  std::string lastName = last;
  if (!perUser && t.path == WithDelimiter(DataHome() + "Trash")) {
    parent = t.path;
    lastName = ".";
  }

  posix::UniqueFd base(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!base.Valid()) {
    t.missing = errno == ENOENT;
    return t.missing;
  }
  struct stat st {};
  if (perUser) {
    posix::UniqueFd shared = OpenDirectoryAt(base.Get(), ".Trash", st);
    if (!shared.Valid()) {
      t.missing = errno == ENOENT;
      return t.missing;
    }
    if ((st.st_mode & S_ISVTX) == 0) return false;
    base = std::move(shared);
  }
  t.dir = OpenDirectoryAt(base.Get(), lastName.c_str(), st);
  if (!t.dir.Valid()) {
    t.missing = errno == ENOENT;
    return t.missing;
  }
  if (st.st_uid != ::getuid() || (st.st_mode & S_IWOTH) != 0) return false;
  // files/ and info/ may be missing (an empty trash); anything else there
  // that is not a directory of this user is not ours to use.
  const auto openPart = [&](const char* name, posix::UniqueFd& fd, FileId& id) {
    fd = OpenDirectoryAt(t.dir.Get(), name, st);
    if (!fd.Valid()) return errno == ENOENT;
    id = posix::IdOf(st);
    return st.st_uid == ::getuid();
  };
  return openPart("files", t.files, t.filesId) && openPart("info", t.info, t.infoId);
}

// Total size of everything below the directory item `name` of files/.
std::uint64_t ContentSize(const OpenTrash& t, const std::string& name, FileId id) {
  struct stat st {};
  posix::UniqueFd item = OpenDirectoryAt(t.files.Get(), name.c_str(), st);
  if (!item.Valid() || posix::IdOf(st) != id) return 0;
  std::uint64_t total = 0;
  TreeWalker::WalkAt(
      item.Get(), t.path + "files/" + name, kEverything,
      [&total](TreeWalker::Entry& e) {
        if (e.IsDirectory()) return TreeWalker::Action::Enter;
        total += e.Data().size;
        return TreeWalker::Action::Continue;
      },
      0, TreeWalker::ReadAhead::FoldersAndFiles);
  return total;
}

std::string DisplayNameOf(const std::string& originalPath, const std::string& entryName) {
  const std::string_view last = posix::LastComponent(originalPath);
  if (last.empty() || last == "/") return entryName;
  return std::string(last);
}

// Makes the directory `name` of the open folder `dirFd` enterable and
// writable by its owner (a trashed read-only folder): its entries could not
// be removed otherwise. Changed by its name in that open folder, never
// through a link; only a folder of this user is changed.
void MakeDirectoryUsable(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return;
  if ((st.st_mode & S_IRWXU) == S_IRWXU || st.st_uid != ::getuid()) return;
  // Should it fail, the walk enters all the same and what it cannot remove
  // stays, as any entry the deletion refuses.
  if (::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW) != 0) return;
}

// Deletes everything below the open folder `dirFd` (whose path, ending in
// "/", is `root` and identity `rootId`), never following a link and never
// leaving it.
void EmptyFolder(int dirFd, const std::string& root, FileId rootId, SafeDeleter& deleter) {
  const DeleteOptions options{true};
  std::vector<DeleteTarget> dirs;
  // Emptying changes the folders as it goes (locked ones are unlocked
  // before they are entered): it reads them itself.
  TreeWalker::WalkAt(
      dirFd, root, kEverything,
      [&](TreeWalker::Entry& e) {
        const FileAttributeData& data = e.Data();
        DeleteTarget target{e.FullPath(), root.size(), rootId, data.id, data.stamp, dirFd, {}};
        if (e.IsDirectory()) {
          MakeDirectoryUsable(e.DirFd(), std::string(e.Name()).c_str());
          dirs.push_back(std::move(target));
          return TreeWalker::Action::Enter;
        }
        deleter.Delete(target, options);
        return TreeWalker::Action::Continue;
      },
      0, TreeWalker::ReadAhead::Off);
  // A directory comes before everything below it in the walk, so the
  // reverse order removes each one after its contents.
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) RemoveDirectorySafely(*it);
}

// A name of one entry of files/: anything else (a path, "..") could lead
// out of the trash.
bool IsEntryName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

TrashOutcome Refused(DeleteResult r) { return TrashOutcome{false, r}; }

// Deletes the folder item `item` of the opened trash with everything in
// it, when its name still leads to the folder listed.
TrashOutcome EmptyFolderItem(const OpenTrash& t, const TrashItem& item, SafeDeleter& deleter) {
  const std::string filesDir = t.path + "files/";
  const char* name = item.entryName.c_str();
  struct statx sx {};
  if (const int err = posix::StatAt(t.files.Get(), name, sx); err != 0) {
    return Refused(err == ENOENT ? DeleteResult::NotFound : DeleteResult::Failed);
  }
  // The stamp is checked before anything is unlocked or removed: both
  // change a folder's status change time.
  if (!S_ISDIR(sx.stx_mode) || posix::IdOf(sx) != item.data.id || !posix::StampMatches(item.data.stamp, sx)) {
    return Refused(DeleteResult::PathChanged);
  }
  MakeDirectoryUsable(t.files.Get(), name);
  struct stat st {};
  posix::UniqueFd dir = OpenDirectoryAt(t.files.Get(), name, st);
  if (!dir.Valid()) {
    if (errno == ENOENT) return Refused(DeleteResult::NotFound);
    return Refused(errno == ENOTDIR || errno == ELOOP ? DeleteResult::PathChanged : DeleteResult::Failed);
  }
  // Swapped between the look and the open: not the folder listed.
  if (posix::IdOf(st) != item.data.id) return Refused(DeleteResult::PathChanged);
  const std::string path = filesDir + item.entryName;
  EmptyFolder(dir.Get(), path + "/", item.data.id, deleter);
  const DeleteResult r =
      RemoveDirectorySafely(DeleteTarget{path, filesDir.size(), t.filesId, item.data.id, {}, t.files.Get(), {}});
  if (r == DeleteResult::Deleted) return TrashOutcome{true, std::nullopt};
  // A folder that kept part of its content stayed, not refused as a whole.
  if (r == DeleteResult::Failed) return TrashOutcome{};
  return Refused(r);
}

TrashOutcome EmptyItem(const OpenTrash& t, const TrashItem& item, SafeDeleter& deleter) {
  if (!IsEntryName(item.entryName)) return Refused(DeleteResult::PathChanged);
  if (!t.files.Valid()) return Refused(DeleteResult::NotFound);
  TrashOutcome outcome;
  if ((item.data.attributes & kAttrDirectory) != 0) {
    outcome = EmptyFolderItem(t, item, deleter);
  } else {
    const std::string filesDir = t.path + "files/";
    const DeleteTarget target{filesDir + item.entryName, filesDir.size(), t.filesId,
                              item.data.id,             item.data.stamp,  t.files.Get(), {}};
    const DeleteResult r = deleter.Delete(target, DeleteOptions{true});
    outcome = r == DeleteResult::Deleted ? TrashOutcome{true, std::nullopt} : Refused(r);
  }
  if (!outcome.deleted || !t.info.Valid()) return outcome;
  // An item trashed under the same name in the meantime owns the info now.
  struct stat st {};
  if (::fstatat(t.files.Get(), item.entryName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return outcome;
  const std::string infoDir = t.path + "info/";
  const DeleteTarget info{infoDir + item.entryName + std::string(kInfoSuffix), infoDir.size(), t.infoId, {}, {},
                          t.info.Get(), {}};
  DeleteFileSafely(info, DeleteOptions{true});
  return outcome;
}

}  // namespace

std::optional<std::string> ParseTrashInfo(std::string_view content) {
  bool inGroup = false;
  bool seenGroup = false;
  while (!content.empty()) {
    const std::size_t nl = content.find('\n');
    std::string_view line = content.substr(0, nl);
    content = nl == std::string_view::npos ? std::string_view() : content.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanks(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      // The info group must come first; any other group ends it.
      if (seenGroup && inGroup) return std::nullopt;
      if (line != "[Trash Info]") return std::nullopt;
      inGroup = seenGroup = true;
      continue;
    }
    if (!inGroup) return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || TrimBlanks(line.substr(0, eq)) != "Path") continue;
    const std::string_view value = TrimBlanks(line.substr(eq + 1));
    std::string decoded;
    decoded.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] != '%') {
        decoded.push_back(value[i]);
        continue;
      }
      if (i + 2 >= value.size()) return std::nullopt;
      const int hi = HexValue(value[i + 1]);
      const int lo = HexValue(value[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      const char c = static_cast<char>(hi * 16 + lo);
      if (c == '\0') return std::nullopt;
      decoded.push_back(c);
      i += 2;
    }
    if (decoded.empty()) return std::nullopt;
    return decoded;
  }
  return std::nullopt;
}

std::vector<std::string> TopDirectoryTrashes(const std::string& top) {
  std::vector<std::string> out;
  if (top.empty()) return out;
  const std::string base = WithDelimiter(top);
  const std::string uid = std::to_string(::getuid());
  // A shared .Trash is used only when it is a real directory whose sticky
  // bit stops users removing each other's folders. Checked again, on open
  // descriptors, whenever the trash is used.
  struct stat st {};
  const std::string shared = base + ".Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    const std::string mine = shared + "/" + uid;
    if (IsOwnRealDirectory(mine)) out.push_back(mine + "/");
  }
  const std::string own = base + ".Trash-" + uid;
  if (IsOwnRealDirectory(own)) out.push_back(own + "/");
  return out;
}

namespace {

std::optional<std::vector<std::string>>& TrashOverride() {
  static std::optional<std::vector<std::string>> dirs;
  return dirs;
}

}  // namespace

void SetTrashDirectoriesOverride(std::optional<std::vector<std::string>> dirs) {
  TrashOverride() = std::move(dirs);
}

std::vector<std::string> TrashDirectories() {
  if (const auto& given = TrashOverride()) {
    std::vector<std::string> out;
    for (const std::string& d : *given) {
      if (IdOfDirectory(d).IsKnown()) out.push_back(WithDelimiter(d));
    }
    return out;
  }
  std::vector<std::string> out;
  std::vector<FileId> seen;
  auto add = [&](const std::string& dir) {
    const FileId id = IdOfDirectory(dir);
    if (!id.IsKnown() || std::find(seen.begin(), seen.end(), id) != seen.end()) return;
    seen.push_back(id);
    out.push_back(WithDelimiter(dir));
  };
  if (const std::string data = DataHome(); !data.empty()) add(data + "Trash");
  // Only the mount points: nothing here may wait on a volume (a dead
  // network mount would hang a scan of the Trash).
  for (const std::string& top : ListMountPoints()) {
    for (const std::string& dir : TopDirectoryTrashes(top)) add(dir);
  }
  return out;
}

std::vector<TrashItem> ListTrash(const std::vector<std::string>& trashDirs) {
  std::vector<TrashItem> items;
  for (const std::string& given : trashDirs) {
    OpenTrash t;
    if (!Open(given, t) || !t.files.Valid()) continue;
    const std::string filesDir = t.path + "files/";
    const std::size_t first = items.size();
    TreeWalker::WalkAt(
        t.files.Get(), filesDir, kEverything,
        [&](TreeWalker::Entry& e) {
          TrashItem item;
          item.trashDir = t.path;
          item.entryName = std::string(e.Name());
          item.data = e.Data();
          if (e.HasData()) items.push_back(std::move(item));
          return TreeWalker::Action::Continue;
        },
        0, TreeWalker::ReadAhead::Off);
    for (std::size_t i = first; i < items.size(); ++i) {
      TrashItem& item = items[i];
      if ((item.data.attributes & kAttrDirectory) != 0) {
        item.data.size = ContentSize(t, item.entryName, item.data.id);
      }
      std::string info;
      if (t.info.Valid() &&
          ReadWholeFileAt(t.info.Get(), item.entryName + std::string(kInfoSuffix), kMaxInfoSize,
                          info, FinalLink::Refuse) == ReadStatus::Ok) {
        if (auto path = ParseTrashInfo(info)) item.originalPath = std::move(*path);
      }
      item.displayName = DisplayNameOf(item.originalPath, item.entryName);
    }
  }
  return items;
}

std::vector<TrashItem> ListTrash() { return ListTrash(TrashDirectories()); }

std::vector<TrashOutcome> EmptyTrashItems(const std::vector<TrashItem>& listed) {
  std::vector<TrashOutcome> outcomes(listed.size());
  struct Trash {
    OpenTrash open;
    bool usable = false;
    bool folderDeleted = false;
  };
  // Each trash is opened (and checked) once for the whole pass.
  std::map<std::string, Trash> trashes;
  SafeDeleter deleter;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const TrashItem& item = listed[i];
    auto [it, added] = trashes.try_emplace(WithDelimiter(item.trashDir));
    Trash& trash = it->second;
    if (added) trash.usable = Open(it->first, trash.open);
    if (!trash.usable) continue;  // stays: the trash cannot be trusted now
    if (trash.open.missing) {
      outcomes[i] = Refused(DeleteResult::NotFound);
      continue;
    }
    outcomes[i] = EmptyItem(trash.open, item, deleter);
    if (outcomes[i].deleted && (item.data.attributes & kAttrDirectory) != 0) trash.folderDeleted = true;
  }
  // The sizes cached for folder items: stale once one went, and any program
  // that wants them computes them anew.
  for (auto& [path, trash] : trashes) {
    if (!trash.folderDeleted) continue;
    const DeleteTarget sizes{path + "directorysizes", path.size(), {}, {}, {}, trash.open.dir.Get(), {}};
    DeleteFileSafely(sizes, DeleteOptions{true});
  }
  return outcomes;
}

}  // namespace purgo::platform
