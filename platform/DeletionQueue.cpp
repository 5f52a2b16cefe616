// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DeletionQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace purgo::platform {

namespace {

constexpr unsigned kMaxThreads = 4;

std::string_view FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind(kPathDelimiter);
  return slash == std::string::npos ? std::string_view() : std::string_view(path).substr(0, slash + 1);
}

}  // namespace

struct DeletionQueue::Impl {
  struct Item {
    std::uint64_t seq = 0;
    DeleteOptions options;
    Outcome outcome;
  };
  // Files of one folder, given one after the other: one worker takes
  // them all, and files of that folder added while it works join them.
  struct Run {
    std::string folder;
    std::deque<Item> items;
    bool taken = false;
  };
  struct Slot {
    bool ready = false;
    bool dropped = false;  // by Stop, before it was begun: never handed back
    Outcome outcome;
  };

  Handler onOutcome;
  std::size_t handBackEvery = 1;
  std::mutex mutex;
  std::condition_variable work;      // workers wait here for a run
  std::condition_variable handBack;  // the caller waits here for outcomes
  std::list<Run> runs;               // in the order given; a taken run leaves when empty
  std::deque<Slot> slots;            // one per file in hand, from `firstSeq` on
  std::uint64_t firstSeq = 0;
  std::size_t readyAtFront = 0;  // slots ready from the front, without a gap
  std::size_t begun = 0;         // files being deleted right now
  bool callerWaits = false;
  bool stopped = false;
  bool quit = false;
  std::vector<std::thread> threads;
  std::optional<SafeDeleter> inlineDeleter;  // when there are no workers

  // The caller's condition: enough to hand back, or all that will come.
  bool MayHandBack() const {
    return readyAtFront >= std::min(handBackEvery, slots.size()) ||
           (readyAtFront > 0 && begun == 0 && NoRunWaiting());
  }
  bool NoRunWaiting() const {
    return std::none_of(runs.begin(), runs.end(), [](const Run& r) { return !r.items.empty(); });
  }

  void Store(Item& item) {
    Slot& slot = slots[item.seq - firstSeq];
    slot.outcome = std::move(item.outcome);
    slot.ready = true;
    CountReadyAtFront();
  }
  void CountReadyAtFront() {
    while (readyAtFront < slots.size() && slots[readyAtFront].ready) ++readyAtFront;
  }

  void Worker() {
    SafeDeleter deleter;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      auto run = runs.end();
      work.wait(lock, [&] {
        run = std::find_if(runs.begin(), runs.end(), [](const Run& r) { return !r.taken; });
        return quit || run != runs.end();
      });
      if (run == runs.end()) return;
      run->taken = true;
      while (!run->items.empty()) {
        Item item = std::move(run->items.front());
        run->items.pop_front();
        ++begun;
        lock.unlock();
        try {
          item.outcome.result = deleter.Delete(item.outcome.target, item.options);
        } catch (const std::exception&) {
          item.outcome.result = DeleteResult::Failed;  // out of memory: passed over, not deleted
        }
        lock.lock();
        --begun;
        Store(item);
        if (callerWaits && MayHandBack()) handBack.notify_one();
      }
      runs.erase(run);
      if (callerWaits && MayHandBack()) handBack.notify_one();
    }
  }

  // Hands back the outcomes ready at the front, in order, with the lock
  // let go while the handler runs.
  void HandBackReady(std::unique_lock<std::mutex>& lock) {
    while (readyAtFront > 0) {
      std::vector<Outcome> out;
      out.reserve(readyAtFront);
      for (; readyAtFront > 0; --readyAtFront) {
        if (!slots.front().dropped) out.push_back(std::move(slots.front().outcome));
        slots.pop_front();
        ++firstSeq;
      }
      lock.unlock();
      for (Outcome& o : out) onOutcome(o);
      lock.lock();
    }
  }

  // Waits until outcomes can go back, and hands them back; `untilEmpty`
  // goes on until nothing is in hand.
  void Drain(std::unique_lock<std::mutex>& lock, bool untilEmpty) {
    do {
      callerWaits = true;
      handBack.wait(lock, [&] { return slots.empty() || MayHandBack(); });
      callerWaits = false;
      HandBackReady(lock);
    } while (untilEmpty && !slots.empty());
  }
};

DeletionQueue::DeletionQueue(Handler onOutcome, unsigned threads, std::size_t handBackEvery)
    : impl_(std::make_unique<Impl>()) {
  impl_->onOutcome = std::move(onOutcome);
  impl_->handBackEvery = std::clamp<std::size_t>(handBackEvery, 1, kMaxInHand / 2);
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1U, kMaxThreads);
  if (threads > 1) {
    try {
      for (unsigned i = 0; i < threads; ++i) impl_->threads.emplace_back([this] { impl_->Worker(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked for still share the work; none, and the
      // caller's thread deletes.
    }
  }
  if (impl_->threads.empty()) impl_->inlineDeleter.emplace();
}

DeletionQueue::~DeletionQueue() {
  Stop();
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->quit = true;
  }
  impl_->work.notify_all();
  for (std::thread& t : impl_->threads) t.join();
}

void DeletionQueue::Add(DeleteTarget target, std::uint64_t tag, const DeleteOptions& options) {
  Impl& q = *impl_;
  if (q.inlineDeleter) {
    if (q.stopped) return;
    Outcome o{tag, std::move(target), DeleteResult::Failed};
    o.result = q.inlineDeleter->Delete(o.target, options);
    q.onOutcome(o);
    return;
  }
  std::unique_lock<std::mutex> lock(q.mutex);
  if (q.stopped) return;
  Impl::Item item{q.firstSeq + q.slots.size(), options, Outcome{tag, std::move(target), DeleteResult::Failed}};
  q.slots.emplace_back();
  const std::string_view folder = FolderOf(item.outcome.target.path);
  if (!q.runs.empty() && q.runs.back().folder == folder) {
    q.runs.back().items.push_back(std::move(item));
  } else {
    Impl::Run run;
    run.folder.assign(folder);
    run.items.push_back(std::move(item));
    q.runs.push_back(std::move(run));
    q.work.notify_one();
  }
  if (q.slots.size() >= kMaxInHand) {
    q.Drain(lock, false);
  } else {
    q.HandBackReady(lock);
  }
}

void DeletionQueue::Stop() {
  Impl& q = *impl_;
  std::lock_guard<std::mutex> lock(q.mutex);
  q.stopped = true;
  for (auto run = q.runs.begin(); run != q.runs.end();) {
    for (const Impl::Item& item : run->items) {
      Impl::Slot& slot = q.slots[item.seq - q.firstSeq];
      slot.ready = slot.dropped = true;
    }
    run->items.clear();
    run = run->taken ? std::next(run) : q.runs.erase(run);
  }
  q.CountReadyAtFront();
}

void DeletionQueue::Finish() {
  Impl& q = *impl_;
  if (q.inlineDeleter) return;
  std::unique_lock<std::mutex> lock(q.mutex);
  q.Drain(lock, true);
}

}  // namespace purgo::platform
