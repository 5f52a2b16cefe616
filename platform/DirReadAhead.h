// SPDX-License-Identifier: GPL-3.0-or-later
// Reading folders ahead of a walk, on worker threads.
//
// The walk itself stays on its thread and sees everything in the same
// order; the readers only save it waiting. The walk hands a reader a whole
// sub-tree it will come to later (a job): the reader lists that folder and
// the folders below it, depth first in listing order as the walk goes, and
// queues each listing with the folder's attributes and those of the files
// the visitor will ask for. Walk and reader then work on different parts
// of the tree at once. When the walk enters a folder of the sub-tree it
// takes the listing from the queue when it is of the directory the walk
// saw, and opens the folder only if it must (to read a folder the reader
// did not, or to ask for what the reader did not take): a folder is
// opened, looked at and listed once, by whichever thread comes first.
// What the queue lacks the walk reads itself. A walk that catches up with its reader stops it (the folder the
// reader is on then is wasted) and reads on alone, and the reader is given
// a sub-tree further on. Idle readers sleep.
//
// A folder of kShareFrom bytes of listing or more that the walk lists
// itself (readers take none over kMaxListingBytes) is shared: a reader
// asks for the attributes the walk will want from the listing's end
// backwards while the walk asks from its start, and both stop where they
// meet, so that each file is asked about once.
// A share holds a copy of the listing (kShareUpTo at most) and at most
// kMaxSharedStats attributes, and a walk has one share at a time.
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
// most kMaxJobs jobs per walk; a job goes at most kMaxJobDepth levels
// below its folder (one descriptor per level); the jobs of a walk hold at
// most kMaxQueuedBytes of listings the walk has not taken (a job that
// would pass its share ends there, and the next lies nearer the walk); a
// folder whose listing is
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
  std::uint32_t pos = 0;  // the item's position in its listing, counting every item
  bool ok = false;        // statx succeeded
  struct statx sx {};
};

// Where a folder stands in a job: the positions of its folders in their
// listings from the job's folder down (empty for that folder itself).
// Listings are queued in the order of these keys.
using AheadKey = std::vector<std::uint32_t>;

// A folder a reader listed, owned by whoever took it.
struct AheadDir {
  FileId id;  // of the directory listed
  Listing listing;
  // The attributes the reader took of listed files, by ascending position:
  // all of them for a walk that wants them all, else those the walk's data
  // filter names; the walk asks for the rest itself.
  std::vector<AheadStat> stats;
  AheadKey key;
};

class ReadAheadJob;
struct ReadAheadSession;

// The readers one walk uses. Only the walk's thread calls it.
class ReadAhead {
 public:
  // `root`: the mount facts of the walk's root; `idFromListing`: whether a
  // listing's "." tells the folder (see OneDevicePerMount); `mask`: the
  // walk's entry filter;
  // `fileData`: readers take the attributes of every file (for a walk that
  // wants them all); `wantsData`: otherwise of the files it names (may be
  // empty: none); `mayEnter`: the walk's folder filter (may be empty).
  // Both filters are asked on the readers' threads.
  ReadAhead(const MountFacts& root, bool idFromListing, std::uint32_t mask, bool fileData,
            TreeWalker::EnterFilter mayEnter = {}, TreeWalker::DataFilter wantsData = {});
  // Stops every job of this walk.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // False when this process reads with the walk's thread alone.
  bool Enabled() const { return enabled_; }
  // True when a reader could take another job now.
  bool WantsJob() const;
  // Gives the readers the sub-tree of the folder `name` of `parent`, the
  // walk's own descriptor of that folder, shared (the walk may let go of
  // it meanwhile); `depth` is that folder's as the filter counts it. Null
  // when no job is wanted.
  std::shared_ptr<ReadAheadJob> Offer(std::shared_ptr<UniqueFd> parent, std::string_view name,
                                      std::size_t depth);
  // The listing of the folder at `key` in `job`, when the reader listed it;
  // listings queued before it are the walk's no longer and are released.
  // Null when the walk must read it; when that is because the walk has
  // caught up with the reader, the job is stopped.
  std::unique_ptr<AheadDir> Take(ReadAheadJob& job, const AheadKey& key);
  // The walk is done with the job's sub-tree (or passes it over): the
  // reader stops and what it queued is released. For a share: the walk
  // leaves the folder, and the reader stops.
  void Drop(ReadAheadJob& job);

  // A folder the walk listed itself, too large for a reader to have taken
  // its files' attributes with the listing: a reader asks for the wanted
  // ones from the listing's end backwards while the walk goes on from its
  // start (a share), until the two meet. `folder` is the walk's own
  // descriptor, shared; the reader works on a copy of `listing`. Null when
  // no reader is free or the walk wants no files' attributes.
  std::shared_ptr<ReadAheadJob> OfferShare(std::shared_ptr<UniqueFd> folder, const Listing& listing);
  // The attributes of the item at `pos` of a shared folder, asked in
  // ascending order, when the reader took them; null when the walk must
  // ask itself. Once the walk comes to where the reader is, it waits for
  // the reader to stop (the statx in hand at the most) and asks no more.
  static const AheadStat* TakeShared(ReadAheadJob& share, std::uint32_t pos);
  // Listings from this size on are shared, up to kShareUpTo: a larger one
  // is left to the walk alone, since its copy would double what the walk
  // holds for a folder that may have been made to exhaust memory.
  static constexpr std::size_t kShareFrom = 32 * 1024;
  static constexpr std::size_t kShareUpTo = 4 * 1024 * 1024;
  // Attributes one share takes at the most.
  static constexpr std::size_t kMaxSharedStats = 8192;
  // Whether a job ended since the last call because its queue was full:
  // it lay further ahead of the walk than its share of the queue holds.
  bool TookTooFar();
  // Tells the readers which core the walk is on, so that they keep off it.
  // Meant for every folder: no system call, and a write only when the
  // walk has moved.
  void NoteWalkCpu();
  // Whether the job's reader is done with it; and, when it is, whether it
  // left the folder at `key` to the walk (it ended before coming to it,
  // for want of room in its queue).
  static bool Over(const ReadAheadJob& job);
  static bool LeftToWalk(ReadAheadJob& job, const AheadKey& key);
  // Whether the job may still queue listings of the folders below the
  // folder at depth `depth` of it (not stopped, not too deep).
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
  // Lets a test fill the queues with a small tree (0: kMaxQueuedBytes
  // again). Jobs given out later use it.
  static void SetMaxQueuedBytesForTesting(std::size_t bytes);
  static constexpr std::size_t kMaxListingBytes = 64 * 1024;
  static constexpr std::size_t kMaxStats = 256;
  // Descriptors one job holds at the most: one per level and its parent's.
  static constexpr std::size_t kJobDescriptors = kMaxJobDepth + 2;

  // Reader threads besides the walk's own: PURGO_WALK_THREADS - 1 when
  // that is set (1 means the walk's thread alone, at most 64; as many jobs
  // then run at once, up to kMaxJobs, from the cache or not), otherwise
  // kMaxJobs, of which one per further core works while folders come from
  // the cache. None on a machine of one core. Read once per process.
  static std::size_t ReaderCount();

 private:
  std::size_t MostJobs() const;
  // Counts the job as running and gives it to the readers.
  void Start(const std::shared_ptr<ReadAheadJob>& job);

  std::shared_ptr<ReadAheadSession> session_;
  std::vector<std::weak_ptr<ReadAheadJob>> jobs_;  // given out, for GiveWay
  bool enabled_;
};

}  // namespace purgo::platform::posix
