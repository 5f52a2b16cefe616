// SPDX-License-Identifier: GPL-3.0-or-later
// The walk on Windows. Every folder below the root is opened inside its
// parent's open handle, never by its path, with reparse points not
// followed: a junction, a directory symbolic link or a mounted volume met
// below the root is reported as a file (a link) and never entered, and a
// folder swapped for one between its listing and its entry is passed
// over. A folder is entered only while it is the one listed (same file id)
// on the root's volume. Listings come whole from the open folder, names
// with the attributes, times, sizes and file ids, so a walk asks nothing
// more per entry. Windows gives a process millions of handles, so every
// level of the walk keeps its own open: no folder is looked up by name
// twice. Reading ahead on other threads is a POSIX optimisation; here the
// walk reads alone, whatever is asked.
#include "platform/TreeWalker.h"

#include <cerrno>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace {

using win32::Handle;
using win32::RawEntry;

constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Level {
  Handle dir;
  std::size_t pathLength = 0;  // of the walk's path up to this folder's delimiter
  std::vector<RawEntry> entries;
  std::size_t next = 0;
  std::size_t ordinal = 0;
  std::uint64_t tag = 0;
};

Handle OpenRoot(const std::string& root, DWORD& error) {
  Handle h(::CreateFileW(win32::ApiPath(root).c_str(), kListAccess | SYNCHRONIZE, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  error = h.Valid() ? 0 : ::GetLastError();
  return h;
}

}  // namespace

std::string TreeWalker::Entry::FullPath() const {
  std::string p = *dirPath_;
  p.append(name_);
  return p;
}

// The listing gave everything: nothing is asked later.
const FileAttributeData& TreeWalker::Entry::Data() { return data_; }
std::uint32_t TreeWalker::Entry::Attributes() { return data_.attributes; }
bool TreeWalker::Entry::HasData() { return statOk_; }
int TreeWalker::Entry::DirFd() const { return dirFd_; }

bool TreeWalker::Walk(const std::string& root, std::uint32_t mask, const Visitor& visitor,
                      std::uint64_t rootTag, ReadAhead /*ahead*/, const Callbacks& callbacks) {
  if (root.empty()) return false;
  DWORD error = 0;
  Handle rootDir = OpenRoot(root, error);
  win32::HandleFacts facts;
  if (!rootDir.Valid() || !win32::QueryHandle(rootDir.Get(), facts) ||
      (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                        error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME || error == 0;
    if (!absent && callbacks.onError) callbacks.onError(root, Failure::Open, win32::ErrnoOf(error));
    return false;
  }
  const auto serial = static_cast<std::uint32_t>(facts.data.id.device);

  std::string path = root;
  if (path.back() != '\\' && path.back() != '/') path.push_back(kPathDelimiter);

  std::vector<Level> levels;
  {
    Level top;
    top.pathLength = path.size();
    top.tag = rootTag;
    if (!win32::ReadListing(rootDir.Get(), serial, top.entries, error)) {
      if (callbacks.onError) callbacks.onError(root, Failure::List, win32::ErrnoOf(error));
      return true;
    }
    top.dir = std::move(rootDir);
    levels.push_back(std::move(top));
  }

  Entry entry;
  entry.dirPath_ = &path;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next >= level.entries.size()) {
      levels.pop_back();
      if (!levels.empty()) path.resize(levels.back().pathLength);
      continue;
    }
    RawEntry& raw = level.entries[level.next++];
    const std::size_t depth = levels.size() - 1;
    if (!PassesEntryFilter(raw.data.attributes, mask)) continue;
    if (raw.directory && callbacks.mayEnter && !callbacks.mayEnter(raw.name, depth, raw.data.owner)) continue;

    entry.name_ = raw.name;
    entry.depth_ = depth;
    entry.ordinal_ = ++level.ordinal;
    entry.isDirectory_ = raw.directory;
    entry.isSymlink_ = raw.link;
    entry.statDone_ = true;
    entry.statOk_ = true;
    entry.data_ = raw.data;
    entry.dirTag_ = level.tag;
    entry.childTag_ = 0;

    const Action action = visitor(entry);
    if (action == Action::Leave) {
      levels.pop_back();
      if (!levels.empty()) path.resize(levels.back().pathLength);
      continue;
    }
    if (action != Action::Enter || !raw.directory) continue;

    Handle child;
    const NTSTATUS status = win32::OpenAt(level.dir.Get(), win32::Wide(raw.name), kListAccess, kShareAll,
                                          FILE_DIRECTORY_FILE, child);
    const std::string folder = path + raw.name;
    if (status < 0) {
      const DWORD e = win32::ErrorOfStatus(status);
      // Gone, or no longer a folder: swapped since the listing, passed over.
      const bool swapped = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY;
      if (!swapped && callbacks.onError) callbacks.onError(folder, Failure::Open, win32::ErrnoOf(e));
      continue;
    }
    // A link, another volume's folder or another folder in its place is
    // passed over. (A file system without file ids, FAT, lists 0: the
    // volume is checked all the same.)
    win32::HandleFacts now;
    if (!win32::QueryHandle(child.Get(), now) || !now.directory || now.data.id.device != serial ||
        (raw.data.id.inode != 0 && now.data.id != raw.data.id)) {
      continue;
    }
    Level next;
    next.pathLength = folder.size() + 1;
    next.tag = entry.childTag_;
    if (!win32::ReadListing(child.Get(), serial, next.entries, error)) {
      if (callbacks.onError) callbacks.onError(folder, Failure::List, win32::ErrnoOf(error));
      continue;
    }
    next.dir = std::move(child);
    path = folder;
    path.push_back(kPathDelimiter);
    levels.push_back(std::move(next));
  }
  return true;
}

bool TreeWalker::WalkAt(int /*dirFd*/, const std::string& /*root*/, std::uint32_t /*mask*/,
                        const Visitor& /*visitor*/, std::uint64_t /*rootTag*/, ReadAhead /*ahead*/,
                        const Callbacks& /*callbacks*/) {
  return false;  // no descriptors for folders on Windows: callers walk by path
}

FileId TreeWalker::RootId(const std::string& root) {
  if (root.empty()) return {};
  DWORD error = 0;
  Handle h = OpenRoot(root, error);
  win32::HandleFacts facts;
  if (!h.Valid() || !win32::QueryHandle(h.Get(), facts)) return {};
  return facts.data.id;
}

}  // namespace purgo::platform
