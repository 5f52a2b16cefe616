#include "platform/Trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A real directory (not a link to one); its identity in `id`.
bool IsRealDirectory(const std::string& path, FileId* id = nullptr, bool ownedByMe = false) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (ownedByMe && st.st_uid != ::getuid()) return false;
  if (id != nullptr) *id = posix::IdOf(st);
  return true;
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

// The names in a directory, everything the system lists but "." and "..".
// Empty when it cannot be read.
std::vector<std::string> RawNames(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  return names;
}

// Total size of everything below the directory `dir`.
std::uint64_t ContentSize(const std::string& dir) {
  std::uint64_t total = 0;
  TreeWalker::Walk(dir, kEverything, [&total](TreeWalker::Entry& e) {
    if (e.IsDirectory()) return TreeWalker::Action::Enter;
    total += e.Data().size;
    return TreeWalker::Action::Continue;
  });
  return total;
}

std::string DisplayNameOf(const std::string& originalPath, const std::string& entryName) {
  const std::string_view last = posix::LastComponent(originalPath);
  if (last.empty() || last == "/") return entryName;
  return std::string(last);
}

// Lets the walk into a directory the owner locked (a trashed read-only
// folder): its entries could not be removed otherwise.
void MakeDirectoryUsable(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  if ((st.st_mode & S_IRWXU) == S_IRWXU) return;
  ::fchmodat(AT_FDCWD, path.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW);
}

// Deletes everything below `filesDir` (ending in the delimiter), never
// following a link and never leaving it.
void EmptyFilesFolder(const std::string& filesDir, FileId rootId) {
  const DeleteOptions options{true};
  SafeDeleter deleter;
  std::vector<DeleteTarget> dirs;
  TreeWalker::Walk(filesDir, kEverything, [&](TreeWalker::Entry& e) {
    DeleteTarget target{e.FullPath(), filesDir.size(), rootId, e.Data().id};
    if (e.IsDirectory()) {
      MakeDirectoryUsable(target.path);
      dirs.push_back(std::move(target));
      return TreeWalker::Action::Enter;
    }
    deleter.Delete(target, options);
    return TreeWalker::Action::Continue;
  });
  // A directory comes before everything below it in the walk, so the
  // reverse order removes each one after its contents.
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) RemoveDirectorySafely(*it);
}

bool EmptyOneTrash(const std::string& trashDir) {
  struct stat st {};
  if (::stat(trashDir.c_str(), &st) != 0) return errno == ENOENT;
  const std::string filesDir = trashDir + "files/";
  const std::string infoDir = trashDir + "info/";
  const FileId trashId = posix::IdOf(st);
  FileId filesId;
  const bool haveFiles = IsRealDirectory(trashDir + "files", &filesId);
  if (haveFiles) EmptyFilesFolder(filesDir, filesId);

  FileId infoId;
  if (IsRealDirectory(trashDir + "info", &infoId)) {
    const DeleteOptions options{true};
    TreeWalker::Walk(infoDir, kEverything, [&](TreeWalker::Entry& e) {
      if (!e.IsDirectory() && EndsWith(e.Name(), kInfoSuffix)) {
        DeleteFileSafely(DeleteTarget{e.FullPath(), infoDir.size(), infoId, e.Data().id}, options);
      }
      return TreeWalker::Action::Continue;
    });
  }
  DeleteFileSafely(DeleteTarget{trashDir + "directorysizes", trashDir.size(), trashId, {}},
                   DeleteOptions{true});

  // A files/ that is a link (or anything but a directory) is not ours to
  // follow: the trash then cannot end empty.
  struct stat fst {};
  if (::lstat((trashDir + "files").c_str(), &fst) == 0 && !haveFiles) return false;
  if (haveFiles && !RawNames(filesDir).empty()) return false;
  for (const std::string& n : RawNames(infoDir)) {
    if (EndsWith(n, kInfoSuffix)) return false;
  }
  return ::lstat((trashDir + "directorysizes").c_str(), &fst) != 0;
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
  // A shared .Trash is trusted only when nobody can have swapped it: a
  // real directory whose sticky bit stops users removing each other's
  // folders. Otherwise it is not used at all.
  struct stat st {};
  const std::string shared = base + ".Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    const std::string mine = shared + "/" + uid;
    if (IsRealDirectory(mine, nullptr, true)) out.push_back(mine + "/");
  }
  const std::string own = base + ".Trash-" + uid;
  if (IsRealDirectory(own, nullptr, true)) out.push_back(own + "/");
  return out;
}

std::vector<std::string> TrashDirectories() {
  std::vector<std::string> out;
  std::vector<FileId> seen;
  auto add = [&](const std::string& dir) {
    const FileId id = IdOfDirectory(dir);
    if (!id.IsKnown() || std::find(seen.begin(), seen.end(), id) != seen.end()) return;
    seen.push_back(id);
    out.push_back(WithDelimiter(dir));
  };
  if (const std::string data = DataHome(); !data.empty()) add(data + "Trash");
  for (const VolumeData& v : ListVolumes()) {
    for (const std::string& dir : TopDirectoryTrashes(v.mountPoint)) add(dir);
  }
  return out;
}

std::vector<TrashItem> ListTrash(const std::vector<std::string>& trashDirs) {
  std::vector<TrashItem> items;
  for (const std::string& given : trashDirs) {
    const std::string trashDir = WithDelimiter(given);
    if (!IsRealDirectory(trashDir + "files")) continue;
    const std::string filesDir = trashDir + "files/";
    const std::size_t first = items.size();
    TreeWalker::Walk(filesDir, kEverything, [&](TreeWalker::Entry& e) {
      TrashItem item;
      item.trashDir = trashDir;
      item.entryName = std::string(e.Name());
      item.data = e.Data();
      if (e.HasData()) items.push_back(std::move(item));
      return TreeWalker::Action::Continue;
    });
    for (std::size_t i = first; i < items.size(); ++i) {
      TrashItem& item = items[i];
      if ((item.data.attributes & kAttrDirectory) != 0) {
        item.data.size = ContentSize(filesDir + item.entryName);
      }
      if (std::string info; ReadWholeFile(trashDir + "info/" + item.entryName + std::string(kInfoSuffix),
                                           kMaxInfoSize, info, FinalLink::Refuse) == ReadStatus::Ok) {
        if (auto path = ParseTrashInfo(info)) item.originalPath = std::move(*path);
      }
      item.displayName = DisplayNameOf(item.originalPath, item.entryName);
    }
  }
  return items;
}

bool EmptyTrash(const std::vector<std::string>& trashDirs) {
  bool allEmpty = true;
  for (const std::string& dir : trashDirs) {
    if (!EmptyOneTrash(WithDelimiter(dir))) allEmpty = false;
  }
  return allEmpty;
}

std::vector<TrashItem> ListTrash() { return ListTrash(TrashDirectories()); }

bool EmptyTrash() { return EmptyTrash(TrashDirectories()); }

}  // namespace purgo::platform
