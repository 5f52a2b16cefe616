// SPDX-License-Identifier: GPL-3.0-or-later
// Reading folders ahead of a walk, on worker threads.
//
// The walk itself stays on its thread and sees everything in the same
// order; the readers only save it waiting. The walk hands a reader the
// rest of a listing it will come to later (a job): the reader lists those
// folders and the folders below them, depth first in listing order as the
// walk goes, and queues each listing with the folder's identity. Walk and
// reader then work on different parts of the tree at once, and one job
// serves until the walk catches up with it. A queued listing carries the
// reader's descriptor of its folder: the walk takes both once the name,
// looked at as the walk comes to it, still leads to the folder listed, so
// a folder is opened once in the scan, not once by each thread. What the
// queue lacks the walk reads itself. A walk that catches up with its
// reader stops it (the folder the reader is on then is wasted) and reads
// on alone, and the reader is given a listing further on.
//
// A reader tells whose a folder is as it opens it: it has let go of the
// power to act as any file's owner (CAP_FOWNER, which root has), so an
// open with O_NOATIME fails on a folder that is not its own. Where that
// power cannot be let go, or openat2 is missing, it takes the folder's
// attributes instead. Idle readers sleep; they learn whether folders come
// from the disk from their thread's block count, asked every few dozen
// folders and milliseconds, not at every folder.
//
// While folders come from the cache, readers compete with the walk for
// the cores, so no more jobs run at once than there are further cores;
// while they come from the disk, the threads mostly wait and up to
// kMaxJobs run, to keep the disk busy.
//
// Readers never delete, never follow a link, never open anything on
// another mount or anything the walk's filter would not let it enter, and
// keep no descriptor once a job is over. Descriptors are the walk's first:
// a reader that runs out of them ends its job and takes no more for that
// walk, and a walk that runs out has its readers let go of theirs
// (GiveWay) before it tries again. Bounds: at
// most kMaxJobs jobs run per walk (and one more waits, holding nothing
// but its parent's descriptor); a job goes at most kMaxJobDepth levels
// below its listing (one descriptor per level); the jobs of a walk hold at
// most kMaxQueuedBytes of listings the walk has not taken, and each job at
// most kMaxQueuedDirs of them with their descriptors (a reader waits for
// the walk beyond its share); a folder whose listing is
// larger than kMaxListingBytes is left to the walk, and at most kMaxStats
// attributes are taken per folder. So memory and descriptors do not grow
// with the tree, and a stopped walk leaves its readers with one folder to
// finish at most.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/PosixFiles.h"
#include "platform/TreeWalker.h"

namespace purgo::platform::posix {

// The attributes of one listed name, as statx gave them.
struct AheadStat {
  bool taken = false;  // a reader asked; otherwise the walk must
  bool ok = false;     // statx succeeded
  struct statx sx {};
};

// Where a folder stands in a job: the positions of its folders in their
// listings from the job's folder down (empty for that folder itself).
// Listings are queued in the order of these keys.
using AheadKey = std::vector<std::uint32_t>;

// A folder a reader listed, owned by whoever took it.
struct AheadDir {
  // Of the directory listed: its number from the listing's "." entry on
  // the device of the job's folder (a folder on a device of its own, a
  // btrfs subvolume, then fails the walk's check and is read again), or
  // from its attributes when the reader took them.
  FileId id;
  bool statKnown = false;  // sx holds the attributes
  struct statx sx {};      // its attributes as the reader opened it
  // The directory listed, open; shared with the reader while it lists the
  // folders below, so whoever lets go last closes it.
  std::shared_ptr<UniqueFd> fd;
  Listing listing;
  // The attributes of the listed files, by item position, counting every
  // item; only for walks that want them all, and may be shorter.
  std::vector<AheadStat> stats;
  AheadKey key;
};

class ReadAheadJob;
struct ReadAheadSession;

// The readers one walk uses. Only the walk's thread calls it.
class ReadAhead {
 public:
  // `root`: the mount facts of the walk's root; `mask`: its entry filter;
  // `fileData`: readers take the attributes of files too (for a walk that
  // wants them all); `mayEnter`: the walk's folder filter (may be empty),
  // asked on the readers' threads; `wantsData`: the files whose attributes
  // the walk will want (may be empty), taken by readers while folders come
  // from the disk.
  ReadAhead(const MountFacts& root, std::uint32_t mask, bool fileData,
            TreeWalker::EnterFilter mayEnter = {}, TreeWalker::DataFilter wantsData = {});
  // Stops every job of this walk.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // False when this process reads with the walk's thread alone.
  bool Enabled() const { return enabled_; }
  // True when a reader could take another job now.
  bool WantsJob() const;
  // Gives the readers the folders of `listing`, the listing of `parent`
  // (the walk's descriptor, shared: the walk may let go of it meanwhile),
  // from item `raw` (at byte `pos`) to its end, each with the folders
  // below it. Keys start with the item's position in `listing`. `depth` is
  // those folders' as the filter counts it, `device` the parent's. Null
  // when no job is wanted.
  std::shared_ptr<ReadAheadJob> Offer(std::shared_ptr<UniqueFd> parent, const Listing& listing,
                                      std::size_t pos, std::size_t raw, std::size_t depth,
                                      std::uint64_t device);
  // The listing of the folder at `key` in `job`, when the reader listed it;
  // listings queued before it are the walk's no longer and are released.
  // Null when the walk must read it; when that is because the walk has
  // caught up with the reader, the job is stopped.
  std::unique_ptr<AheadDir> Take(ReadAheadJob& job, const AheadKey& key);
  // What the reader found of the folder at `key` in `job`, if it has come
  // to it: its identity, and the attributes when it took them; listings
  // queued before it are released as by Take. When it has not and nothing
  // is queued, the walk has caught up and opens the folder itself: the job
  // is stopped, so that the reader does not open it too.
  struct Look {
    FileId id;
    bool statKnown = false;
    struct statx sx {};
  };
  bool Peek(ReadAheadJob& job, const AheadKey& key, Look& look);
  // The walk is done with the job's sub-tree (or passes it over): the
  // reader stops and what it queued is released.
  void Drop(ReadAheadJob& job);
  // Whether the job may still queue listings of the folders below the
  // folder at depth `depth` of it (0: the job's own listing; not stopped,
  // not too deep).
  static bool Covers(const ReadAheadJob& job, std::size_t depth);

  // The walk has run out of descriptors: this walk's readers take no more
  // jobs, the running ones stop before their next folder (the walk drops
  // the jobs it holds first, so none waits for it), and this returns once
  // no reader of any walk holds a descriptor, or after `most`.
  void GiveWay(std::chrono::milliseconds most = kGiveWayWait);
  // The same wait without a walk's readers, for a walk about to start.
  static void WaitForIdleReaders(std::chrono::milliseconds most = kGiveWayWait);
  static constexpr std::chrono::milliseconds kGiveWayWait{500};

  static constexpr std::size_t kMaxJobs = 8;
  static constexpr std::size_t kMaxJobDepth = 24;
  // Listings a walk's jobs may hold that the walk has not taken, shared
  // out among as many jobs as may run at once.
  static constexpr std::size_t kMaxQueuedBytes = 2 * 1024 * 1024;
  // Listings (each with its folder's descriptor) one job may hold that the
  // walk has not taken.
  static constexpr std::size_t kMaxQueuedDirs = 64;
  static constexpr std::size_t kMaxListingBytes = 64 * 1024;
  static constexpr std::size_t kMaxStats = 256;
  // Descriptors one job holds at the most: one per level, its parent's and
  // those of the listings queued.
  static constexpr std::size_t kJobDescriptors = kMaxJobDepth + 2 + kMaxQueuedDirs;

  // Reader threads besides the walk's own: PURGO_WALK_THREADS - 1 when
  // that is set (1 means the walk's thread alone, at most 64; as many jobs
  // then run at once, up to kMaxJobs, from the cache or not), otherwise
  // kMaxJobs, of which one per further core works while folders come from
  // the cache. None on a machine of one core. Read once per process.
  static std::size_t ReaderCount();

 private:
  std::size_t MostJobs() const;

  std::shared_ptr<ReadAheadSession> session_;
  std::vector<std::weak_ptr<ReadAheadJob>> jobs_;  // given out, for GiveWay
  bool enabled_;
};

}  // namespace purgo::platform::posix
