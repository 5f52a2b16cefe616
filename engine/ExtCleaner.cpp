// SPDX-License-Identifier: GPL-3.0-or-later
// The file-type cleaner's rules and its walk.
#include <algorithm>
#include <array>
#include <atomic>
#include <optional>

#include "engine/AppUtils.h"
#include "engine/PurgoCore.h"
#include "platform/AsciiText.h"
#include "platform/Folders.h"
#include "platform/TreeWalker.h"

namespace purgo {
namespace {

using platform::TreeWalker;

using platform::FoldAscii;

// True when `name` ends with `folded` (already folded), ASCII case ignored.
bool EndsWithFolded(std::string_view name, std::string_view folded) {
  if (folded.empty() || name.size() < folded.size()) return false;
  const char* n = name.data() + (name.size() - folded.size());
  for (std::size_t i = 0; i < folded.size(); ++i) {
    if (FoldAscii(n[i]) != folded[i]) return false;
  }
  return true;
}

// The endings of one scan, folded once, and indexed by their last byte so
// that a name is compared only with the endings that can match it. The
// lists keep the options' order, so the first matching ending still wins.
class EndingMatcher {
 public:
  explicit EndingMatcher(const TPGCExtScanOption& options) {
    for (int j = 0; j < options.ExtsCount(); ++j) {
      std::string folded = platform::FoldedAscii(TrimChars(options.Exts(j), " "));
      if (folded.empty()) continue;
      const auto last = static_cast<unsigned char>(folded.back());
      byLast_[last].push_back(static_cast<int>(folded_.size()));
      folded_.push_back(std::move(folded));
      stored_.push_back(options.Exts(j));
    }
  }

  // The stored text of the first matching ending, or null.
  const std::string* Match(std::string_view name) const {
    if (name.empty()) return nullptr;
    const auto last = static_cast<unsigned char>(FoldAscii(name.back()));
    for (int k : byLast_[last]) {
      const auto i = static_cast<std::size_t>(k);
      if (EndsWithFolded(name, folded_[i])) return &stored_[i];
    }
    return nullptr;
  }

 private:
  std::vector<std::string> folded_;
  std::vector<std::string> stored_;
  std::array<std::vector<int>, 256> byLast_;
};

}  // namespace

// ---- TPGCExtScanOption -----------------------------------------------------

int TPGCExtScanOption::AddDir(std::string_view ADir, bool AIncludeSubDir) {
  std::string dir = TrimChars(ADir, " ");
  if (dir.empty()) return -1;
  for (std::size_t i = 0; i < FDirs.size(); ++i) {
    if (SamePathCompare(FDirs[i].dir, dir) == 0) {
      FDirs[i].includeSubDirs = AIncludeSubDir;
      return static_cast<int>(i);
    }
  }
  FDirs.push_back({std::move(dir), AIncludeSubDir});
  return DirsCount() - 1;
}

bool TPGCExtScanOption::DeleteDir(int AIndex) {
  if (AIndex < 0 || AIndex >= DirsCount()) return false;
  FDirs.erase(FDirs.begin() + AIndex);
  return true;
}

int TPGCExtScanOption::AddExt(std::string_view AExt) {
  std::string ext = TrimChars(AExt, " ");
  if (ext.empty()) return -1;
  for (std::size_t i = 0; i < FExts.size(); ++i) {
    if (SameTextCompare(FExts[i], ext) == 0) return static_cast<int>(i);
  }
  FExts.push_back(std::move(ext));
  return ExtsCount() - 1;
}

bool TPGCExtScanOption::DeleteExt(int AIndex) {
  if (AIndex < 0 || AIndex >= ExtsCount()) return false;
  FExts.erase(FExts.begin() + AIndex);
  return true;
}

std::string TPGCExtScanOption::Dirs(int AIndex) const {
  if (AIndex < 0 || AIndex >= DirsCount()) return {};
  return FDirs[static_cast<std::size_t>(AIndex)].dir;
}

bool TPGCExtScanOption::IncludeSubDirs(int AIndex) const {
  if (AIndex < 0 || AIndex >= DirsCount()) return false;
  return FDirs[static_cast<std::size_t>(AIndex)].includeSubDirs;
}

std::string TPGCExtScanOption::Exts(int AIndex) const {
  if (AIndex < 0 || AIndex >= ExtsCount()) return {};
  return FExts[static_cast<std::size_t>(AIndex)];
}

// ---- items -----------------------------------------------------------------

namespace {

// Bumped whenever a path item dies: a cached chain of item addresses is
// only trusted while none of them can have been reused.
std::atomic<std::uint64_t> gPathItemGeneration{0};

// The path built last on this thread and the items along it, so that the
// next path shares its folders instead of climbing the whole chain again.
struct PathCache {
  std::uint64_t generation = ~std::uint64_t{0};
  std::vector<const TPGCExtCleanerScanPathItem*> chain;  // chain[d] is at depth d
  std::vector<std::size_t> ends;  // path[0, ends[d]) is chain[d]'s path
  std::vector<const TPGCExtCleanerScanPathItem*> pending;
  std::string path;
};

thread_local PathCache tPathCache;

}  // namespace

TPGCExtCleanerScanPathItem::~TPGCExtCleanerScanPathItem() { ++gPathItemGeneration; }

std::string TPGCExtCleanerScanPathItem::Path() const {
  if (FParent == nullptr) return FName;
  PathCache& c = tPathCache;
  if (const std::uint64_t g = gPathItemGeneration.load(); c.generation != g) {
    c.generation = g;
    c.chain.clear();
    c.ends.clear();
  }
  // Climb to the nearest folder on the cached path (iteratively: a chain
  // may be thousands of folders long).
  c.pending.clear();
  const TPGCExtCleanerScanPathItem* p = this;
  while (p != nullptr && !(p->FDepth < c.chain.size() && c.chain[p->FDepth] == p)) {
    c.pending.push_back(p);
    p = p->FParent;
  }
  if (p == nullptr) {
    const TPGCExtCleanerScanPathItem* top = c.pending.back();
    c.pending.pop_back();
    c.path = AddPathDelimiter(top->FName);
    c.chain.assign(1, top);
    c.ends.assign(1, c.path.size());
  } else {
    c.chain.resize(p->FDepth + 1);
    c.ends.resize(p->FDepth + 1);
    c.path.resize(c.ends.back());
  }
  for (auto it = c.pending.rbegin(); it != c.pending.rend(); ++it) {
    c.path.append((*it)->FName).push_back(platform::kPathDelimiter);
    c.chain.push_back(*it);
    c.ends.push_back(c.path.size());
  }
  return c.path;
}

std::string TPGCExtCleanerScanFileItem::Path() const {
  return FPathItem != nullptr ? FPathItem->Path() : std::string();
}

std::string TPGCExtCleanerScanFileItem::FullFileName() const {
  std::string full = Path();
  if (!full.empty() && full.back() != platform::kPathDelimiter) full.push_back(platform::kPathDelimiter);
  return full.append(FFileName);
}

platform::DeleteTarget TPGCExtCleanerScanFileItem::Target() const {
  platform::DeleteTarget t;
  t.path = FullFileName();
  if (FPathItem != nullptr) {
    t.rootLength = FPathItem->RootLength();
    t.rootId = FPathItem->RootId();
  }
  t.fileId = FFileId;
  t.fileStamp = FFileStamp;
  return t;
}

// ---- the walk --------------------------------------------------------------

// One scan's walk of all directories. Sub-folders go through the same
// visited set as the top-level directories, so a folder reached twice (as
// its own entry and through its parent, or through a link given as a
// top-level directory) is walked once.
class TPGCExtCleaner::Walk {
 public:
  explicit Walk(TPGCExtCleaner& cleaner)
      : c_(cleaner), options_(*cleaner.FScanOptions), matcher_(std::make_shared<const EndingMatcher>(options_)), me_(platform::CurrentUserId()) {
    // Another user's folder is never entered, by the walk or its readers:
    // even root offers only its own files from a folder shared with others.
    callbacks_.mayEnter = [me = me_](std::string_view, std::size_t, std::optional<std::uint32_t> owner) {
      return !owner || *owner == me;
    };
    // The visitor asks for the attributes of matching files only. Readers
    // may still ask once the walk is over: the filter owns its matcher.
    callbacks_.wantsData = [matcher = matcher_](std::string_view name) { return matcher->Match(name) != nullptr; };
    if (c_.FOnScanError) {
      callbacks_.onError = [this](const std::string& folder, TreeWalker::Failure what, int error) {
        if (c_.FOnScanError) c_.FOnScanError(folder, what == TreeWalker::Failure::List, error);
      };
    }
  }

  void Directory(const std::string& ADir, bool AIncludeSubDir, std::int32_t AInDays,
                 std::uint32_t AAttr) {
    if (c_.FForceStop) return;
    const std::string D = AddPathDelimiter(ADir);
    const platform::FileId rootId = TreeWalker::RootId(D);
    if (!FirstVisit(rootId)) return;
    const std::size_t top = Add(std::make_unique<TPGCExtCleanerScanPathItem>(
        ADir, NextId(), D.size(), rootId));
    inDays_ = AInDays;
    includeSub_ = AIncludeSubDir;
    if (AInDays > 0) now_ = GetSystemTimeAsFileTime();
    walking_.assign(1, top);
    TreeWalker::Walk(
        D, AAttr | platform::kAttrDirectory,
        [this](TreeWalker::Entry& e) { return Entry(e); }, top,
        AIncludeSubDir ? TreeWalker::ReadAhead::Folders : TreeWalker::ReadAhead::Off, callbacks_);
    FinishAll();
  }

  // Streaming: the identities of the top-level folders, the only folders
  // a walk below another one can reach a second time.
  void SetRoots(std::vector<platform::FileId> ids) { rootIds_ = std::move(ids); }

 private:
  // Whether the sub-folder `id` is walked: not when walked already. Items
  // kept, every folder's identity is remembered. Streaming, only the
  // top-level folders' are: without links followed and without other
  // mounts a folder is reached once through its parent, so a second
  // visit can only come from one top-level folder holding another (a
  // folder moved during the scan may then be walked twice: its files are
  // reported twice, and deleted once).
  bool FirstVisitBelow(platform::FileId id) {
    if (c_.FKeepItems || std::find(rootIds_.begin(), rootIds_.end(), id) != rootIds_.end()) {
      return FirstVisit(id);
    }
    return true;
  }

  // Streaming: frees the path items of the folders walked to their end.
  // The walk goes depth first and items are numbered as folders are
  // entered, so when an entry of folder `index` comes, every folder
  // entered after it and still open here is done (all of them at the end
  // of a walk).
  void FinishAfter(std::size_t index) {
    if (c_.FKeepItems) return;
    while (!walking_.empty() && walking_.back() > index) {
      c_.FScanPathItems[walking_.back()].reset();
      walking_.pop_back();
    }
  }
  void FinishAll() {
    FinishAfter(0);
    if (!c_.FKeepItems && !walking_.empty()) c_.FScanPathItems[walking_.back()].reset();
    walking_.clear();
  }

  // False when the folder was walked already. A folder that cannot be
  // identified (it cannot be opened) is not walked and never repeats.
  bool FirstVisit(platform::FileId id) {
    return !id.IsKnown() || c_.FVisitedDirs.Insert(id);
  }

  std::uint32_t NextId() const { return static_cast<std::uint32_t>(c_.FScanPathItems.size() + 1); }

  std::size_t Add(std::unique_ptr<TPGCExtCleanerScanPathItem> item) {
    c_.FScanPathItems.push_back(std::move(item));
    return c_.FScanPathItems.size() - 1;
  }

  TreeWalker::Action Entry(TreeWalker::Entry& e) {
    // The queue is drained at every 31st entry of each directory.
    if (e.Ordinal() % 31 == 0) ProcessMessages();
    const auto dirIndex = static_cast<std::size_t>(e.DirTag());
    FinishAfter(dirIndex);
    const TPGCExtCleanerScanPathItem* dirItem = c_.FScanPathItems[dirIndex].get();
    if (e.IsDirectory()) {
      // After a stop the rest of this listing is still collected, but no
      // further directory is entered.
      if (!includeSub_ || c_.FForceStop) return TreeWalker::Action::Continue;
      if (!e.HasData() || !FirstVisitBelow(e.Data().id)) return TreeWalker::Action::Continue;
      const std::size_t child = Add(std::make_unique<TPGCExtCleanerScanPathItem>(
          dirItem, std::string(e.Name()), NextId()));
      if (!c_.FKeepItems) walking_.push_back(child);
      e.SetChildTag(child);
      return TreeWalker::Action::Enter;
    }
    // The name decides first: most files do not match, and they need no
    // attribute query at all.
    const std::string* ext = matcher_->Match(e.Name());
    if (ext == nullptr) return TreeWalker::Action::Continue;
    const platform::FileAttributeData& data = e.Data();
    // Vanished since the listing: neither reported nor counted. Someone
    // else's file is not this user's to clean.
    if (!e.HasData() || data.owner != me_) return TreeWalker::Action::Continue;
    if (inDays_ > 0 && FileTimeDayDiff(now_, data.lastAccessTime) < inDays_) {
      return TreeWalker::Action::Continue;
    }
    // Not kept: one item serves every file in turn, for the event only.
    std::unique_ptr<TPGCExtCleanerScanFileItem> item =
        c_.FKeepItems || !passing_ ? std::make_unique<TPGCExtCleanerScanFileItem>(dirItem)
                                   : std::move(passing_);
    if (!c_.FKeepItems) *item = TPGCExtCleanerScanFileItem(dirItem);
    item->SetExt(*ext);
    item->SetFileName(std::string(e.Name()));
    item->SetFileAttribute(data.attributes);
    item->SetFileSize(data.size);
    item->SetModifiedTime(data.lastAccessTime);
    item->SetCreatedTime(data.creationTime);
    item->SetFileId(data.id);
    item->SetFileStamp(data.stamp);
    TPGCExtCleanerScanFileItem* raw = item.get();
    if (c_.FKeepItems) {
      c_.FScanFileItems.push_back(std::move(item));
    } else {
      passing_ = std::move(item);
    }
    ++c_.FScanTotalFilesCount;
    c_.FScanTotalFilesSize += static_cast<std::int64_t>(data.size);
    if (c_.FOnScanning) c_.FOnScanning(raw);
    return TreeWalker::Action::Continue;
  }

  std::unique_ptr<TPGCExtCleanerScanFileItem> passing_;  // the item shown, when not kept
  std::vector<std::size_t> walking_;  // streaming: the folders entered and not yet done
  std::vector<platform::FileId> rootIds_;

  TPGCExtCleaner& c_;
  const TPGCExtScanOption& options_;
  std::shared_ptr<const EndingMatcher> matcher_;
  std::int32_t inDays_ = 0;
  bool includeSub_ = false;
  platform::FileTime now_;
  std::uint32_t me_;
  TreeWalker::Callbacks callbacks_;
};

// ---- TFileIdSet ------------------------------------------------------------

bool TFileIdSet::Insert(const platform::FileId& AId) {
  if (!AId.IsKnown()) return false;
  // At most half full: a look-up meets a free slot within a few steps.
  if ((FCount + 1) * 2 > FSlots.size()) {
    std::vector<platform::FileId> old(std::max<std::size_t>(FSlots.size() * 2, 1024));
    old.swap(FSlots);
    FCount = 0;
    for (const platform::FileId& id : old) {
      if (id.IsKnown()) Insert(id);
    }
  }
  const std::size_t mask = FSlots.size() - 1;
  std::uint64_t h = (AId.inode ^ (AId.device * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
  for (std::size_t i = static_cast<std::size_t>(h ^ (h >> 29)) & mask;; i = (i + 1) & mask) {
    if (FSlots[i] == AId) return false;
    if (!FSlots[i].IsKnown()) {
      FSlots[i] = AId;
      ++FCount;
      return true;
    }
  }
}

void TFileIdSet::Clear() {
  FSlots.clear();
  FSlots.shrink_to_fit();
  FCount = 0;
}

// ---- TPGCExtCleaner --------------------------------------------------------

TPGCExtCleaner::TPGCExtCleaner() : FScanOptions(std::make_unique<TPGCExtScanOption>()) {}

TPGCExtCleaner::~TPGCExtCleaner() = default;

TPGCResult TPGCExtCleaner::DoScan(TPGCScanTypes) {
  BeginScanState();
  FScanResult = kResultOk;
  // File items point into the path items: free them first.
  FScanFileItems.clear();
  FScanPathItems.clear();
  FVisitedDirs.Clear();
  return RunScan(
      [&] {
        if (FOnBeginScan) FOnBeginScan(this);
        return ScanAllDirs();
      },
      FOnEndScan);
}

TPGCResult TPGCExtCleaner::DoNoGuard(TPGCScanTypes AScanTypes) { return RunNoGuard(AScanTypes); }

void TPGCExtCleaner::StopScan() { FForceStop = true; }

TPGCResult TPGCExtCleaner::ScanAllDirs() {
  if (FForceStop) return kResultOk;
  // Folders must always pass the entry filter; the option keeps the
  // widened mask.
  FScanOptions->SetFileAttribute(FScanOptions->FileAttribute() | platform::kAttrDirectory |
                                 platform::kAttrTemporary);
  Walk walk(*this);
  if (!FKeepItems) {
    std::vector<platform::FileId> roots;
    for (int i = 0; i < FScanOptions->DirsCount(); ++i) {
      roots.push_back(TreeWalker::RootId(AddPathDelimiter(FScanOptions->Dirs(i))));
    }
    walk.SetRoots(std::move(roots));
  }
  for (int i = 0; i < FScanOptions->DirsCount() && !FForceStop; ++i) {
    walk.Directory(FScanOptions->Dirs(i), FScanOptions->IncludeSubDirs(i),
                   FScanOptions->IgnoreInDays(), FScanOptions->FileAttribute());
  }
  return kResultOk;
}

bool TPGCExtCleaner::MatchExt(std::string_view AFileName, std::string_view AExt) {
  const std::size_t slash = AFileName.rfind(platform::kPathDelimiter);
  const std::string_view name =
      slash == std::string_view::npos ? AFileName : AFileName.substr(slash + 1);
  const std::string folded = platform::FoldedAscii(TrimChars(AExt, " "));
  return !name.empty() && EndsWithFolded(name, folded);
}

TPGCExtCleanerScanFileItem* TPGCExtCleaner::ScanFileItems(int AIndex) const {
  if (AIndex < 0 || AIndex >= ScanFileItemsCount()) return nullptr;
  return FScanFileItems[static_cast<std::size_t>(AIndex)].get();
}

TPGCExtCleanerScanPathItem* TPGCExtCleaner::ScanPathItems(int AIndex) const {
  if (AIndex < 0 || AIndex >= ScanPathItemsCount()) return nullptr;
  return FScanPathItems[static_cast<std::size_t>(AIndex)].get();
}

bool TPGCExtCleaner::DeleteScanItem(const TPGCExtCleanerScanFileItem* AItem) {
  auto it = std::find_if(FScanFileItems.begin(), FScanFileItems.end(),
                         [AItem](const auto& p) { return p.get() == AItem; });
  if (AItem == nullptr || it == FScanFileItems.end()) return false;
  FScanFileItems.erase(it);
  return true;
}

void TPGCExtCleaner::ClearScanItem() { FScanFileItems.clear(); }

void TPGCExtCleaner::SortByFileName() {
  FSortType = stFileName;
  SortItems();
}

void TPGCExtCleaner::SortByExt() {
  FSortType = stExt;
  SortItems();
}

void TPGCExtCleaner::SortByFileAttribute() {
  FSortType = stFileAttribute;
  SortItems();
}

void TPGCExtCleaner::SortByCreatedTime() {
  FSortType = stCreatedTime;
  SortItems();
}

void TPGCExtCleaner::SortByModifiedTime() {
  FSortType = stModifiedTime;
  SortItems();
}

void TPGCExtCleaner::SetSortType(TSortType v) {
  if (v == FSortType) return;
  FSortType = v;
  if (FSorted) SortItems();
}

void TPGCExtCleaner::SetSortDirection(TQelSortDirection v) {
  if (v == FSortDirection) return;
  FSortDirection = v;
  if (FSorted) SortItems();
}

void TPGCExtCleaner::SetSorted(bool v) {
  if (v == FSorted) return;
  FSorted = v;
  if (FSorted) SortItems();
}

void TPGCExtCleaner::SortItems() {
  // The established order of the list: names, endings and attributes come
  // largest first in the increasing direction, times oldest first.
  using Item = std::unique_ptr<TPGCExtCleanerScanFileItem>;
  auto key = [this](const Item& a, const Item& b) -> int {
    switch (FSortType) {
      case stFileName: return -SameTextCompare(a->FileName(), b->FileName());
      case stExt: return -SameTextCompare(a->Ext(), b->Ext());
      case stFileAttribute:
        return a->FileAttribute() == b->FileAttribute() ? 0
               : a->FileAttribute() > b->FileAttribute() ? -1
                                                          : 1;
      case stCreatedTime: {
        const std::uint64_t x = a->CreatedTime().Value(), y = b->CreatedTime().Value();
        return x == y ? 0 : x < y ? -1 : 1;
      }
      case stModifiedTime: {
        const std::uint64_t x = a->ModifiedTime().Value(), y = b->ModifiedTime().Value();
        return x == y ? 0 : x < y ? -1 : 1;
      }
    }
    return 0;
  };
  const bool increasing = FSortDirection == vsdINC;
  std::sort(FScanFileItems.begin(), FScanFileItems.end(), [&](const Item& a, const Item& b) {
    const int k = key(a, b);
    return increasing ? k < 0 : k > 0;
  });
}

}  // namespace purgo
