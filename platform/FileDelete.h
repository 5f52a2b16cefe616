// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting one file, with the refusals a Windows DeleteFileW would make.
//
// A cleaner must never delete anything but the file the user saw. So the
// deletion refuses (and changes nothing on disk) when:
//  - the path names a directory, a socket, FIFO or device, or nothing;
//  - the file belongs to another user than the one running (root too:
//    a cleaner started as root must not empty other users' folders);
//  - the file is read-only (its owner has no write permission);
//  - a running process holds the file open or mapped (the Linux
//    counterpart of a locked file);
//  - the path leads somewhere else than where the scan found the file: a
//    directory below the scanned root was replaced by a symbolic link, or
//    the name now names another file;
//  - the file is one the desktop session depends on ($XAUTHORITY, or a
//    link on the way to it).
// A symbolic link is deleted as a link; its target is never touched.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace purgo::platform {

enum class DeleteResult {
  Deleted,
  NotFound,      // nothing there any more, or a folder on the way is gone
  NotAFile,      // a directory, socket, FIFO or device
  ReadOnly,
  InUse,
  PathChanged,   // a link or another object where the scan saw the file
  Changed,       // the same file, but not of the size recorded: written since
  Protected,     // the session's X authority file, or a link leading to it
  OtherOwner,    // the file belongs to another user
  Failed,        // the system refused (permissions, read-only volume, ...)
};

const char* DeleteResultName(DeleteResult r);

// Where a scan found a file. `path` is the full path; its first `rootLength`
// bytes are the root as the user or the platform gave it, which resolves as
// it did at scan time (links in it are followed, and when `rootId` is known
// the resolved root must still be that directory). Every component below
// the root is opened without following links. When `fileId` is known the
// final name must still name that file.
//
// The root never includes the final name: a `rootLength` reaching past the
// last delimiter stops at it, and one ending inside a component is cut back
// to the delimiter before that component (so less is followed, never more).
// A `rootLength` of 0 follows nothing: an absolute path is opened from "/",
// a relative one from the working directory. "." and ".." below the root
// are refused as PathChanged, a path ending in a delimiter as NotAFile.
//
// `fileStamp`, when known, must still match too: ext4 gives a freed inode
// number to the next file created, so a file deleted and created anew
// under the same name between scan and clean can carry the old identity.
//
// `size`, when set, must be the file's size still, checked again on the
// file held under its lease: a list someone reviewed named a file of that
// size, and a file written since is not the one reviewed.
//
// `rootFd`, when not -1, is an open directory that stands for the root
// instead of resolving `path`'s first `rootLength` bytes: the caller has
// opened and checked it and keeps it open for as long as the target is
// used. The path's root part then only serves messages.
struct DeleteTarget {
  std::string path;
  std::size_t rootLength = 0;
  FileId rootId;
  FileId fileId;
  FileStamp fileStamp;
  int rootFd = -1;  // borrowed, never closed here
  std::optional<std::uint64_t> size;
};

DeleteResult DeleteFileSafely(const DeleteTarget& target);

// Refusals a caller may lift. Emptying the Trash deletes read-only files
// too: the user asked for everything in it to go.
struct DeleteOptions {
  bool allowReadOnly = false;
};
DeleteResult DeleteFileSafely(const DeleteTarget& target, const DeleteOptions& options);

// Deletes the files of one cleaning pass. Each file gets every refusal of
// DeleteFileSafely, and the cost of a file does not grow with the depth of
// the tree. The root is opened once per pass (and again whenever its path
// no longer leads to it, looked at whenever a folder is opened and at
// least every 20 ms). An ordinary path's folder is looked up in one call
// in which the kernel refuses every link and every other mount, and then
// serves the files right after it in the same folder for up to 20 ms: a
// folder moved or swapped during the pass is noticed when it is next
// opened, a run of files in one folder costs one lookup. Where only this
// user renames in the folder, a file then costs six calls. A path too long for that (thousands of folders deep)
// goes through folders the deleter holds from the file before, which it
// uses only while their path still leads to them: the outer ones are
// checked by name for every file, the deeper ones are watched (inotify)
// for being moved or removed, and a folder that was is dropped with
// everything below it and reopened by name, without following links. A
// folder swapped for a link since the scan is therefore always refused
// as PathChanged. The session file is looked up once: keep a deleter for
// one pass, not longer.
class SafeDeleter {
 public:
  SafeDeleter();
  ~SafeDeleter();
  SafeDeleter(const SafeDeleter&) = delete;
  SafeDeleter& operator=(const SafeDeleter&) = delete;

  DeleteResult Delete(const DeleteTarget& target, const DeleteOptions& options = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Removes the empty directory `target.path` (no trailing delimiter) with
// the same path rules as DeleteFileSafely: the root resolves as given,
// nothing below it is followed, and a known fileId must still match. A
// directory that is not empty is refused as Failed, a link or file as
// NotAFile.
DeleteResult RemoveDirectorySafely(const DeleteTarget& target);

// DeleteFileW: the file's own folder is the root (resolved as given), the
// final component is never followed. True only when the file is gone.
bool DeleteFile(const std::string& path);

// True when the file may be in use: some running process holds it open or
// has it mapped, or this user cannot tell (another user's file, which a
// user other than root can neither lease nor see the processes of). Exposed
// for tests and for callers that want to show why a file stayed.
bool IsFileInUse(const std::string& path);

// What is left, on Linux, between the last check and the unlink: the
// system has no "unlink this name if it still names that file, and only
// if nobody is opening it". The deletion holds a regular file open under
// a write lease and moves it to a private name in its folder, so that an
// open that looks the name up from then on finds nothing; it then checks
// that the private name names the file held and that nobody has asked to
// open it (a broken lease), and puts the file back under its name when
// either fails. After the unlink it checks that the object it held lost
// its link; if another object was unlinked instead (the private name
// swapped within those microseconds, which needs write access to the
// folder), the result is PathChanged, never Deleted. A link is not moved
// (opening it reaches its target, never the link), nor a file whose path
// below the root is too long for the one-call lookup (a rename there
// costs time that grows with the depth).
//
// In a folder where only this user (or root) can rename, because nobody
// else may write to it or a sticky bit keeps others off this user's
// names, the order is shorter: the name is moved to the private one
// first, and the file is opened there, leased and looked at (identity,
// stamp, size, owner, mode) before the unlink; anything wrong puts it back
// under its name (never over a name taken meanwhile). An opener that
// looked the name up before the move and reaches the file before the
// lease makes the lease fail, so the file goes back and stays; nobody else
// can touch the private name, so what is unlinked is what was checked.
//
// Tests reach the moments in between here: BeforeRemoval while the file
// still has its name (heldFd -1 on the shorter way, where nothing is held
// yet), Hidden under the private name (before the last look at the lease;
// on the shorter way right after the open, before the lease),
// AfterUseCheck once the file is held and checked, BeforeUnlink right
// before the unlink.
enum class DeleteStage { AfterUseCheck, BeforeRemoval, Hidden, BeforeUnlink };
using DeleteStageHook = void (*)(DeleteStage stage, int heldFd, void* context);
void SetDeleteStageHookForTesting(DeleteStageHook hook, void* context);

}  // namespace purgo::platform
