// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting one file on Windows, with the refusals of the POSIX deletion
// made by Windows means.
//
// The root of the scan is opened as given (links in it followed) and must
// still be the folder the scan saw. Below it every folder is opened inside
// the one before, by handle, without following reparse points, and held
// without FILE_SHARE_DELETE: while the deletion runs, nobody can rename,
// move or remove a folder on the way, so the path cannot be turned into a
// junction or a link between the checks and the deletion. A folder on the
// way that is a junction, a symbolic link or another volume's is refused
// as PathChanged.
//
// The file itself is opened without following a reparse point (a link is
// deleted as a link, its target untouched) and with a share mode of none:
// when any other process holds it open for reading, writing or deleting
// the open fails with a sharing violation, and the file stays (InUse).
// Opened that way nobody else can open it either until the deletion is
// done, so the checks (file id and volume serial, creation time, size, the
// read-only attribute) hold up to the deletion, which goes through the
// same handle: the disposition is set on it and the file is gone when it
// is closed. A file mapped into some process cannot be deleted and stays
// as in use.
//
// Folders are handles here, not descriptors: DeleteTarget::rootFd is not
// used (callers on Windows give none), and the root is resolved from its
// path and checked against its recorded identity.
#include "platform/FileDelete.h"

#include <atomic>

#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace {

using win32::Handle;

// The NT status values this code tells apart (ntstatus.h would clash with
// the Win32 headers).
constexpr auto kStatus = [](unsigned long v) { return static_cast<NTSTATUS>(v); };
const NTSTATUS kNotFound = kStatus(0xC0000034);        // STATUS_OBJECT_NAME_NOT_FOUND
const NTSTATUS kPathNotFound = kStatus(0xC000003A);    // STATUS_OBJECT_PATH_NOT_FOUND
const NTSTATUS kDeletePending = kStatus(0xC0000056);   // STATUS_DELETE_PENDING
const NTSTATUS kSharing = kStatus(0xC0000043);         // STATUS_SHARING_VIOLATION
const NTSTATUS kCannotDelete = kStatus(0xC0000121);    // STATUS_CANNOT_DELETE
const NTSTATUS kNotADirectory = kStatus(0xC0000103);   // STATUS_NOT_A_DIRECTORY
const NTSTATUS kFileIsADirectory = kStatus(0xC00000BA);  // STATUS_FILE_IS_A_DIRECTORY

constexpr ULONG kFileDispositionInformation = 13;

std::atomic<DeleteStageHook> stageHook{nullptr};
std::atomic<void*> stageContext{nullptr};

void Stage(DeleteStage s) {
  if (DeleteStageHook hook = stageHook.load()) hook(s, -1, stageContext.load());
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

DeleteResult OfOpenStatus(NTSTATUS status) {
  if (status == kNotFound || status == kPathNotFound || status == kDeletePending) return DeleteResult::NotFound;
  if (status == kSharing) return DeleteResult::InUse;
  if (status == kNotADirectory) return DeleteResult::PathChanged;
  return DeleteResult::Failed;
}

bool StampMatches(const FileStamp& recorded, const FileStamp& now) {
  if (!recorded.IsKnown()) return true;
  if (recorded.birth != 0) return recorded.birth == now.birth;
  return recorded.change == now.change && recorded.size == now.size;
}

// Where the root part of `path` ends: at most its last delimiter, never
// inside a component.
std::size_t RootEnd(const std::string& path, std::size_t rootLength) {
  std::size_t last = path.size();
  while (last > 0 && !IsDelimiter(path[last - 1])) --last;
  std::size_t end = std::min(rootLength, last);
  if (end > 0 && end < path.size() && !IsDelimiter(path[end - 1])) {
    while (end > 0 && !IsDelimiter(path[end - 1])) --end;
  }
  return end;
}

// The root of a path given no root: its drive or share, else the working
// directory.
std::size_t ImplicitRoot(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsDelimiter(path[2])) return 3;
  if (path.size() > 2 && IsDelimiter(path[0]) && IsDelimiter(path[1])) {
    std::size_t at = path.find_first_of("\\/", 2);                     // after the server
    if (at != std::string::npos) at = path.find_first_of("\\/", at + 1);  // after the share
    return at == std::string::npos ? 0 : at + 1;
  }
  return 0;
}

// The folder that holds the target's last component, reached as the rules
// above say, and that component's name.
struct Parent {
  Handle root;
  std::vector<Handle> chain;  // the folders below the root, held
  std::wstring name;
  std::uint32_t serial = 0;

  HANDLE Folder() const { return chain.empty() ? root.Get() : chain.back().Get(); }
};

DeleteResult OpenParent(const DeleteTarget& t, Parent& out) {
  const std::string& path = t.path;
  if (path.empty()) return DeleteResult::NotFound;
  if (IsDelimiter(path.back())) return DeleteResult::NotAFile;
  std::size_t rootEnd = RootEnd(path, t.rootLength);
  if (rootEnd == 0) rootEnd = ImplicitRoot(path);
  const std::string root = rootEnd == 0 ? std::string(".") : path.substr(0, rootEnd);

  out.root = Handle(::CreateFileW(win32::ApiPath(root).c_str(),
                                  FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!out.root.Valid()) {
    const DWORD e = ::GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? DeleteResult::NotFound : DeleteResult::Failed;
  }
  win32::HandleFacts facts;
  if (!win32::QueryHandle(out.root.Get(), facts)) return DeleteResult::Failed;
  if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteResult::PathChanged;
  if (t.rootId.IsKnown() && facts.data.id != t.rootId) return DeleteResult::PathChanged;
  out.serial = static_cast<std::uint32_t>(facts.data.id.device);

  const std::vector<std::string_view> parts = win32::Components(std::string_view(path).substr(rootEnd));
  if (parts.empty()) return DeleteResult::NotAFile;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i] == "." || parts[i] == "..") return DeleteResult::PathChanged;
    // A colon names a stream of a file ("a.tmp:x"), which no listing
    // gives: nothing a scan found.
    if (parts[i].find(':') != std::string_view::npos) return DeleteResult::PathChanged;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    Handle dir;
    // Without FILE_SHARE_DELETE: the folder can be neither renamed nor
    // removed while it is held.
    const NTSTATUS status = win32::OpenAt(out.Folder(), win32::Wide(parts[i]),
                                          FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, 0, dir);
    if (status < 0) return OfOpenStatus(status);
    win32::HandleFacts f;
    if (!win32::QueryHandle(dir.Get(), f)) return DeleteResult::Failed;
    if (!f.directory || f.data.id.device != out.serial) return DeleteResult::PathChanged;
    out.chain.push_back(std::move(dir));
  }
  out.name = win32::Wide(parts.back());
  return DeleteResult::Deleted;
}

DeleteResult Dispose(HANDLE h) {
  IO_STATUS_BLOCK io{};
  BOOLEAN del = TRUE;
  const NTSTATUS status =
      ::NtSetInformationFile(h, &io, &del, sizeof del, static_cast<FILE_INFORMATION_CLASS>(kFileDispositionInformation));
  if (status >= 0) return DeleteResult::Deleted;
  // Read-only was looked at before: what cannot be deleted now is mapped.
  if (status == kCannotDelete || status == kSharing) return DeleteResult::InUse;
  return DeleteResult::Failed;  // a folder not empty, access denied, a read-only volume
}

}  // namespace

DeleteResult DeleteFileSafely(const DeleteTarget& target) { return DeleteFileSafely(target, DeleteOptions{}); }

DeleteResult DeleteFileSafely(const DeleteTarget& target, const DeleteOptions& options) {
  Parent parent;
  if (const DeleteResult r = OpenParent(target, parent); r != DeleteResult::Deleted) return r;

  Handle file;
  const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | (options.allowReadOnly ? FILE_WRITE_ATTRIBUTES : 0);
  // No sharing at all: an open by anyone else, before or after, is a
  // sharing violation.
  NTSTATUS status = win32::OpenAt(parent.Folder(), parent.name, access, 0, FILE_NON_DIRECTORY_FILE, file);
  if (status == kFileIsADirectory) {
    // A folder, or a junction or directory link, which goes as a link.
    status = win32::OpenAt(parent.Folder(), parent.name, access, 0, 0, file);
  }
  if (status < 0) return OfOpenStatus(status);
  win32::HandleFacts facts;
  if (!win32::QueryHandle(file.Get(), facts)) return DeleteResult::Failed;
  if (facts.directory) return DeleteResult::NotAFile;
  if (facts.data.id.device != parent.serial) return DeleteResult::PathChanged;
  if (target.fileId.IsKnown() && facts.data.id != target.fileId) return DeleteResult::PathChanged;
  if (!StampMatches(target.fileStamp, facts.data.stamp)) return DeleteResult::PathChanged;
  if (target.size && *target.size != facts.data.size) return DeleteResult::Changed;
  Stage(DeleteStage::AfterUseCheck);
  if ((facts.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    if (!options.allowReadOnly) return DeleteResult::ReadOnly;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = facts.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic)) return DeleteResult::Failed;
  }
  Stage(DeleteStage::BeforeRemoval);
  Stage(DeleteStage::BeforeUnlink);
  return Dispose(file.Get());
}

struct SafeDeleter::Impl {};

SafeDeleter::SafeDeleter() : impl_(std::make_unique<Impl>()) {}
SafeDeleter::~SafeDeleter() = default;

// Each file is reached afresh from its root: the folders held for one file
// pin its path, and holding them longer would keep others from renaming
// them for the whole pass.
DeleteResult SafeDeleter::Delete(const DeleteTarget& target, const DeleteOptions& options) {
  return DeleteFileSafely(target, options);
}

DeleteResult RemoveDirectorySafely(const DeleteTarget& target) {
  Parent parent;
  if (const DeleteResult r = OpenParent(target, parent); r != DeleteResult::Deleted) return r;
  Handle dir;
  const NTSTATUS status =
      win32::OpenAt(parent.Folder(), parent.name, DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, 0, 0, dir);
  if (status < 0) return OfOpenStatus(status);
  win32::HandleFacts facts;
  if (!win32::QueryHandle(dir.Get(), facts)) return DeleteResult::Failed;
  if (!facts.directory) return DeleteResult::NotAFile;
  if (facts.data.id.device != parent.serial) return DeleteResult::PathChanged;
  if (target.fileId.IsKnown() && facts.data.id != target.fileId) return DeleteResult::PathChanged;
  return Dispose(dir.Get()) == DeleteResult::Deleted ? DeleteResult::Deleted : DeleteResult::Failed;
}

bool DeleteFile(const std::string& path) {
  DeleteTarget t;
  t.path = path;
  std::size_t last = path.size();
  while (last > 0 && !IsDelimiter(path[last - 1])) --last;
  t.rootLength = last;
  return DeleteFileSafely(t) == DeleteResult::Deleted;
}

bool IsFileInUse(const std::string& path) {
  // Asking for DELETE with no sharing conflicts with every other open that
  // reads, writes or deletes, whatever that open shares.
  Handle h(::CreateFileW(win32::ApiPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (h.Valid()) return false;
  const DWORD e = ::GetLastError();
  return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED;
}

void SetDeleteStageHookForTesting(DeleteStageHook hook, void* context) {
  stageContext.store(context);
  stageHook.store(hook);
}

}  // namespace purgo::platform
