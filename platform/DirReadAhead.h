// Reading folders ahead of a walk, on worker threads.
//
// The walk itself stays on its thread and sees everything in the same
// order; the readers only save it waiting. Given a folder of a directory
// the walk holds open, a reader opens it only when it is a directory on
// the walk's own mount reached without a link, lists it, takes the
// attributes the walk will ask for, and asks in turn for its sub-folders,
// ahead of the folders asked before: the readers go down the tree in the
// order the walk will. The walk checks each result as it checks its own
// opens (the name still leads to the same directory), or does the work
// itself when no reader has begun it.
//
// Readers never delete, never follow a link, never open anything on
// another mount. A walk keeps at most kWindow folders asked for and not
// yet taken or dropped, each holding at most three descriptors (the
// folder, its parent's and its own duplicate for the sub-folders asked); a listing too large to hold ahead is given up
// (the walk reads it itself), and at most kMaxStats attributes are taken
// per folder, so memory does not grow with the tree. A dropped request
// that a reader has begun ends with that one folder.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/PosixFiles.h"

namespace purgo::platform::posix {

// The attributes of one listed name, as statx gave them.
struct AheadStat {
  bool taken = false;  // a reader asked; otherwise the walk must
  bool ok = false;     // statx succeeded
  struct statx sx {};
};

class ReadAheadRequest;
struct ReadAheadSession;
// Where a folder stands in the walk's order: the positions of its folders
// in their listings from the root down. Folders are read in this order.
using AheadKey = std::vector<std::uint32_t>;
using AskedFolders = std::vector<std::pair<std::size_t, std::shared_ptr<ReadAheadRequest>>>;

// A folder read ahead. Owned by whoever took it; requests it still holds
// are dropped with it.
struct AheadDir {
  AheadDir() = default;
  ~AheadDir();
  AheadDir(const AheadDir&) = delete;
  AheadDir& operator=(const AheadDir&) = delete;

  int fd = -1;  // the open directory (O_NOFOLLOW); -1 when not read
  FileId id;
  Listing listing;
  // By position in the listing, counting every item; may be shorter.
  std::vector<AheadStat> stats;
  // Sub-folders the reader asked for, by item position (ascending), and
  // where in the listing it stopped asking.
  AskedFolders asked;
  std::size_t askPos = 0;
  std::size_t askRaw = 0;
  AheadKey key;
  std::shared_ptr<ReadAheadSession> session;
};

// The readers one walk uses. Only the walk's thread calls it.
class ReadAhead {
 public:
  // `root`: the mount facts of the walk's root; `mask`: its entry filter;
  // `fileData`: readers take the attributes of files too (for a walk that
  // wants them all).
  ReadAhead(const MountFacts& root, std::uint32_t mask, bool fileData);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // False when this process reads with the walk's thread alone.
  bool Enabled() const { return enabled_; }
  bool HasRoom() const;
  // Asks for the folder `name` of the directory `parent`, a duplicate of
  // the walk's descriptor (the walk may close its own meanwhile) shared
  // until the readers are done with it. Null when there is no room.
  std::shared_ptr<ReadAheadRequest> Ask(const std::shared_ptr<UniqueFd>& parent, std::string_view name,
                                        AheadKey key);
  // The folder read for `request`. When no reader has begun it the walk's
  // thread reads it now; while a reader is on it, the walk's thread reads
  // other folders asked for instead of waiting idle. Null when the folder
  // was given up.
  std::unique_ptr<AheadDir> Take(const std::shared_ptr<ReadAheadRequest>& request);
  // The folder will not be entered: whatever was read is released.
  void Drop(const std::shared_ptr<ReadAheadRequest>& request);

  static constexpr std::size_t kWindow = 24;
  static constexpr std::size_t kMaxListingBytes = 64 * 1024;
  static constexpr std::size_t kMaxStats = 256;
  // Folders deeper than this are read by the walk alone (their places in
  // the order would grow with the depth).
  static constexpr std::size_t kMaxDepth = 256;

  // Readers besides the walk's own thread: PURGO_WALK_THREADS - 1 when
  // that is set (1 means the walk's thread alone, at most 64), otherwise
  // none for now.
  static std::size_t ReaderCount();

 private:
  std::shared_ptr<ReadAheadSession> session_;
  bool enabled_;
};

}  // namespace purgo::platform::posix
