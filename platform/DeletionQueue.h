// SPDX-License-Identifier: GPL-3.0-or-later
// The deletions of one cleaning pass, made on worker threads.
//
// Deleting a file is nearly all kernel work (a move, an open, a lease, an
// unlink), and that work for files in different folders runs side by
// side: on two cores a pass takes about half the time it takes on one
// thread. Each worker keeps its own SafeDeleter for the whole pass, so
// every file gets every refusal DeleteFileSafely makes. The files given
// one after the other in one folder go to one worker, in the order given,
// so that the folder is opened once for them.
//
// Outcomes come back in the order the files were given, on the caller's
// thread, through the handler the queue was made with: from within Add
// (whatever is ready by then, and when too many files are in hand, enough
// to make room) and Finish. The handler may call Stop, and nothing else
// of the queue. One thread (the caller's) owns the queue.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/FileDelete.h"

namespace purgo::platform {

class DeletionQueue {
 public:
  struct Outcome {
    std::uint64_t tag = 0;  // as given to Add
    DeleteTarget target;    // as given to Add
    DeleteResult result = DeleteResult::Failed;
  };
  using Handler = std::function<void(Outcome& outcome)>;

  // The most files handed over and not yet handed back.
  static constexpr std::size_t kMaxInHand = 256;

  // `threads` 0: one per processor, at most 4. With a single thread (or
  // none to be had) every file is deleted within Add, on the caller's
  // thread, as a SafeDeleter would. A caller that waits is woken once
  // `handBackEvery` outcomes can go back (or all there will be): fewer
  // wake-ups for a pass without a window, a steadier flow for a window
  // that shows progress and takes Cancel.
  explicit DeletionQueue(Handler onOutcome, unsigned threads = 0,
                         std::size_t handBackEvery = kMaxInHand / 2);
  // Stops, and waits for the files being deleted; hands nothing back.
  ~DeletionQueue();
  DeletionQueue(const DeletionQueue&) = delete;
  DeletionQueue& operator=(const DeletionQueue&) = delete;

  // Hands over one file. A target's rootFd, when set, must stay open
  // until the file's outcome is handed back.
  void Add(DeleteTarget target, std::uint64_t tag, const DeleteOptions& options = {});
  // The files not yet begun are dropped, never deleted and never handed
  // back; those being deleted are finished by Finish. Add after Stop
  // drops what it is given.
  void Stop();
  // Waits for every file handed over, and hands back the outcomes.
  void Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace purgo::platform
