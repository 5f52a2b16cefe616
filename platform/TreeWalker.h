// SPDX-License-Identifier: GPL-3.0-or-later
// Depth-first walk of a directory tree, in listing order, without recursion.
//
// The walk calls a visitor for every entry of every directory it lists; the
// visitor decides whether a directory entry is entered (walked completely
// before the next entry of its parent), whether the rest of the current
// listing is skipped, or whether the walk goes on. This is the shape both
// cleaners need: a folder event before its files, stop checks per entry.
//
// Guarantees:
//  - symbolic links are reported as files and never followed; a directory
//    that is replaced by a link between its listing and the walk's look
//    at its entry (just before the visitor sees it) is not entered, and
//    one replaced by another directory is walked with that directory's
//    entries, never with those a reader listed before;
//  - the walk never leaves the mount of its root (mount points below the
//    root, bind mounts included, are not reported; a btrfs subvolume that
//    is part of the same mount is walked);
//  - sockets, FIFOs and device nodes are not reported;
//  - depth is bounded by memory only: no recursion, and a bounded number of
//    open descriptors however deep the tree is;
//  - the root is opened as given (a root that is itself a link to a
//    directory is followed); nothing below it is;
//  - reader threads may list folders ahead of the walk (see ReadAhead),
//    but the visitor is called on the calling thread, in the same order,
//    with the same entries as without them; readers list only folders the
//    caller's filter lets the walk enter, and give way when the process
//    runs out of descriptors;
//  - a folder costs five system calls (one open, one look at its name, the
//    listing's two reads, one close) where its file system has one device
//    per mount and the process cannot act as any owner (one look more
//    otherwise); a reader's folder that the walk must reopen (for a file's
//    attributes the readers did not take, or to list below it) costs three
//    more: an open, a look at what was opened and a close;
//  - a folder that cannot be opened or listed is told to the caller's
//    error handler; folders passed over on purpose (another mount, a link,
//    swapped since the listing, refused by the filter) are not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace purgo::platform {

namespace posix {
struct AheadStat;
class ReadAheadJob;
}

class TreeWalker {
 public:
  enum class Action {
    Continue,  // go on with the next entry of this directory
    Enter,     // (directory entries only) walk it now, then go on
    Leave,     // skip the rest of this directory's listing
  };

  // One entry as seen by the visitor. Valid only during the visitor call.
  class Entry {
   public:
    std::string_view Name() const { return name_; }
    bool IsDirectory() const { return isDirectory_; }
    bool IsSymlink() const { return isSymlink_; }

    // Full path of the directory being listed, ending in the delimiter:
    // the root as given (with a delimiter added) followed by the names of
    // the directories entered below it.
    const std::string& DirPath() const { return *dirPath_; }
    // DirPath() + Name().
    std::string FullPath() const;
    // Levels below the root: 0 for the root's own entries.
    std::size_t Depth() const { return depth_; }
    // 1 for the first entry of a listing, 2 for the second, ...
    std::size_t Ordinal() const { return ordinal_; }

    // Attribute bits and the rest of the attribute data. The hidden and
    // directory bits are known from the listing; the first call to Data()
    // or Attributes() may query the file system. When the entry vanished
    // in the meantime, HasData() is false and Data() holds the listing's
    // knowledge only (hidden/directory/archive bits, everything else 0).
    std::uint32_t Attributes();
    const FileAttributeData& Data();
    bool HasData();

    // A number the visitor may attach to a directory it enters; DirTag()
    // reads it back for the entries of that directory. The root's tag is
    // the one given to Walk().
    std::uint64_t DirTag() const { return dirTag_; }
    void SetChildTag(std::uint64_t tag) { childTag_ = tag; }

    // The open directory being listed, for platform code that must act on
    // the entry by its name there rather than by its path. A folder a
    // reader listed is opened on the first call (-1 when it no longer is
    // the folder listed).
    int DirFd() const;

   private:
    friend class TreeWalker;
    std::string_view name_;
    const std::string* dirPath_ = nullptr;
    mutable int dirFd_ = -1;
    int (*openDir_)(void*) = nullptr;  // opens the folder listed, when dirFd_ is -1
    void* walk_ = nullptr;
    std::size_t depth_ = 0;
    std::size_t ordinal_ = 0;
    bool isDirectory_ = false;
    bool isSymlink_ = false;
    bool statDone_ = false;
    bool statOk_ = false;
    const posix::AheadStat* aheadStat_ = nullptr;  // a reader's statx of this entry
    // The reader that may take it yet (in a large folder), and the entry's
    // position in the listing.
    posix::ReadAheadJob* share_ = nullptr;
    std::uint32_t sharePos_ = 0;
    FileAttributeData data_;
    std::uint64_t dirTag_ = 0;
    std::uint64_t childTag_ = 0;
  };

  using Visitor = std::function<Action(Entry&)>;

  // What reader threads may do ahead of the walk (see DirReadAhead.h):
  // nothing, list the folders it will likely enter, or also take the
  // attributes of every file (for a visitor that asks for them all). The
  // visitor sees the same entries in the same order whatever is chosen.
  enum class ReadAhead { Off, Folders, FoldersAndFiles };

  // Whether a folder below the root may be entered at all: its name, its
  // depth (as Entry::Depth() of its entry) and its owner. A refused folder
  // is never shown to the visitor. Readers ask it too, from their own
  // threads: first before they open a folder, when the owner is not known
  // yet, and again with the owner from their statx of the open folder
  // before they list it. So it must be thread-safe, and its answer must
  // depend on its arguments only.
  using EnterFilter =
      std::function<bool(std::string_view name, std::size_t depth, std::optional<std::uint32_t> owner)>;

  // What could not be done to a folder the walk meant to enter.
  enum class Failure { Open, List };
  // Called on the walk's thread with the folder's path (no final
  // delimiter; the root as given for the root) and the errno.
  using ErrorHandler = std::function<void(const std::string& path, Failure what, int error)>;

  // The files (by name) whose Data() the visitor will ask for: readers
  // take those attributes with the listing, so the walk need not open the
  // folder to ask. Asked on the readers' threads: it must be thread-safe
  // and depend on the name only. Readers keep a copy of it (as of the
  // folder filter) and may ask it after Walk() returns: it must own what
  // it refers to.
  using DataFilter = std::function<bool(std::string_view name)>;

  struct Callbacks {
    EnterFilter mayEnter;   // none: every folder
    ErrorHandler onError;   // none: failures pass silently
    DataFilter wantsData;   // none: the walk takes what the visitor asks
  };

  // Walks `root` with the entry filter of `mask` (see PassesEntryFilter).
  // Returns false when the root cannot be opened as a directory; the
  // visitor is then never called, and `callbacks.onError` hears of it
  // unless the root does not exist or is no directory. Directories below
  // the root that cannot be opened or listed are passed over and told to
  // `callbacks.onError`.
  static bool Walk(const std::string& root, std::uint32_t mask, const Visitor& visitor,
                   std::uint64_t rootTag = 0, ReadAhead ahead = ReadAhead::Folders,
                   const Callbacks& callbacks = {});

  // The same walk of the open directory `dirFd` (not consumed; any open
  // mode, O_PATH included), whose path for DirPath() is `root`. Nothing is
  // resolved by name above it: the caller has checked that directory.
  static bool WalkAt(int dirFd, const std::string& root, std::uint32_t mask,
                     const Visitor& visitor, std::uint64_t rootTag = 0,
                     ReadAhead ahead = ReadAhead::Folders, const Callbacks& callbacks = {});

  // Identity of `root` as Walk() would open it (following a link in the
  // root itself). Unknown when it cannot be opened.
  static FileId RootId(const std::string& root);

  // Descriptors kept open per walk at the most; deeper levels are reopened
  // from their children ("..") with an identity check when the walk comes
  // back to them. Exposed for tests.
  static constexpr std::size_t kMaxOpenDirs = 48;
  // All the descriptors a walk may hold at once, its readers' included.
  static constexpr std::size_t kMaxOpenDescriptors = kMaxOpenDirs + 8 * (24 + 2);

 private:
  // Takes `rootFd` (may be -1: the walk then fails).
  static bool WalkOpened(int rootFd, const std::string& root, std::uint32_t mask,
                         const Visitor& visitor, std::uint64_t rootTag, ReadAhead ahead,
                         const Callbacks& callbacks);
};

}  // namespace purgo::platform
