// SPDX-License-Identifier: GPL-3.0-or-later
// The application-trace cleaner: the ten category operations over this
// platform's folders, the folder walk and the Trash listing.
#include <optional>
#include <string_view>

#include "engine/AppUtils.h"
#include "engine/PurgoCore.h"
#include "engine/QSClasses.h"
#include "engine/TraceKeepList.h"
#include "platform/FileDelete.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Trash.h"
#include "platform/TreeWalker.h"

namespace purgo {
namespace {

using platform::TreeWalker;

// Entry masks of the walks: 0x1B4 and 0xFFFC both lack only the hidden bit
// among those the entry filter looks at, so hidden files are not counted
// and hidden folders not entered, whatever else the category's mask says.
constexpr std::uint32_t kTempMask = 0x1B4;
constexpr std::uint32_t kFolderMask = 0xFFFC;

// The extension a category insists on: the name's part from its last ".",
// compared with its letter case.
bool HasExactExtension(std::string_view name, std::string_view ext) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.substr(dot) == ext;
}

std::string_view RequiredExtension(TPGCScanTypes AScanType) {
  if (AScanType == kScanPrefetch) return ".pf";
  if (AScanType == kScanFlashCookies) return ".sol";
  return {};
}

bool EndsWith(std::string_view name, std::string_view end) {
  return name.size() > end.size() && name.substr(name.size() - end.size()) == end;
}

// What the package caches hold besides packages (indexes, repository
// metadata, keys, locks) is the package manager's own state: only the
// packages themselves, with their signatures, are offered.
bool IsPackageFile(std::string_view name) {
  if (EndsWith(name, ".deb") || EndsWith(name, ".rpm")) return true;
  const std::size_t tar = name.find(".pkg.tar.");
  return tar != std::string_view::npos && tar > 0 && tar + 9 < name.size();
}

bool IsOfferedName(TPGCScanTypes AScanType, std::string_view name) {
  if (AScanType == kScanUpdateDownloads) return IsPackageFile(name);
  const std::string_view ext = RequiredExtension(AScanType);
  return ext.empty() || HasExactExtension(name, ext);
}

}  // namespace

const TPGCScanSimpleResult* TPGCAppCleaner::ScanSimpleResults(int AIndex) const {
  if (AIndex < 0 || AIndex >= ScanSimpleResultsCount()) return nullptr;
  return &FScanSimpleResults[static_cast<std::size_t>(AIndex)];
}

TPGCResult TPGCAppCleaner::DoScan(TPGCScanTypes AScanTypes) {
  return RunScan(
      [&] {
        // A handler of the begin event still sees the previous scan.
        if (FOnBeginScan) FOnBeginScan(this);
        FScanTypes = FIsRoughScan ? (kScanTempFiles | kScanInternetCache) : AScanTypes;
        BeginScanState();
        // A new tree: whoever kept the last one keeps it intact.
        FScanFolders = std::make_shared<TScanFolders>();
        ResetScanSimpleResults();
        TPGCResult result = kResultOk;
        for (int bit = 0; bit < kAppScanTypeCount; ++bit) {
          if ((FScanTypes & (1u << bit)) != 0) result = RunCategory(1u << bit);
        }
        return result;
      },
      FOnEndScan);
}

TPGCResult TPGCAppCleaner::RunCategory(TPGCScanTypes AScanType) {
  switch (AScanType) {
    case kScanTempFiles: return ScanTempFiles();
    case kScanInternetCache: return ScanInternetCache();
    case kScanRecycleBin: return ScanRecycleBin();
    case kScanRecentDocuments: return ScanRecentDocuments();
    case kScanPrefetch: return ScanPrefetch();
    case kScanDownloadedPrograms: return ScanDownloadedPrograms();
    case kScanUpdateDownloads: return ScanUpdateDownloads();
    case kScanOfficeSetup: return ScanOfficeSetup();
    case kScanMediaPlayerTemp: return ScanMediaPlayerTemp();
    case kScanFlashCookies: return ScanFlashCookies();
    default: return kResultOk;
  }
}

TPGCResult TPGCAppCleaner::DoNoGuard(TPGCScanTypes AScanTypes) { return RunNoGuard(AScanTypes); }

void TPGCAppCleaner::StopScan() { FForceStop = true; }

void TPGCAppCleaner::ResetScanSimpleResults() {
  FScanSimpleResults.clear();
  FScanSimpleResults.reserve(kAppScanTypeCount);
  for (int bit = 0; bit < kAppScanTypeCount; ++bit) FScanSimpleResults.emplace_back(1u << bit, 0, 0);
}

TPGCScanSimpleResult* TPGCAppCleaner::RecordOf(TPGCScanTypes AScanType) {
  for (auto& r : FScanSimpleResults) {
    if (r.ScanType == AScanType) return &r;
  }
  return nullptr;
}

std::string TPGCAppCleaner::CategoryFolder(TPGCScanTypes AScanType) const {
  switch (AScanType) {
    case kScanTempFiles: return GetTempDir();
    case kScanInternetCache: return GetSpecialFolderPath(CSIDL_INTERNET_CACHE, false);
    case kScanRecentDocuments: return GetSpecialFolderPath(CSIDL_RECENT, false);
    case kScanFlashCookies: return AddPathDelimiter(platform::FlashCookiesFolder());
    // Prefetch and downloaded program files have no counterpart here: like
    // a Windows without those folders, the categories find nothing.
    default: return {};
  }
}

std::vector<std::string> TPGCAppCleaner::RecycleBinFolders() const {
  return platform::TrashDirectories();
}

std::vector<std::string> TPGCAppCleaner::PackageCacheFolders() const {
  return platform::PackageCacheFolders();
}

TPGCResult TPGCAppCleaner::ScanFolderCategory(TPGCScanTypes AScanType, std::uint32_t AAttr) {
  if (FForceStop) return kResultOk;
  const std::string root = AddPathDelimiter(CategoryFolder(AScanType));
  if (!platform::DirectoryExists(root)) return kResultOk;
  WalkFolder(AScanType, root, AAttr);
  return kResultOk;
}

bool TPGCAppCleaner::SkipsTempFiles() const {
  return SamePathCompare(AddPathDelimiter(CategoryFolder(kScanTempFiles)), GetCurrentDir()) == 0;
}

TPGCResult TPGCAppCleaner::ScanTempFiles() {
  if (FForceStop || SkipsTempFiles()) return kResultOk;
  WalkFolder(kScanTempFiles, AddPathDelimiter(CategoryFolder(kScanTempFiles)), kTempMask);
  return kResultOk;
}

TPGCResult TPGCAppCleaner::ScanInternetCache() {
  return ScanFolderCategory(kScanInternetCache, kTempMask);
}

TPGCResult TPGCAppCleaner::ScanRecentDocuments() {
  return ScanFolderCategory(kScanRecentDocuments, kFolderMask);
}

TPGCResult TPGCAppCleaner::ScanPrefetch() { return ScanFolderCategory(kScanPrefetch, kFolderMask); }

TPGCResult TPGCAppCleaner::ScanDownloadedPrograms() {
  return ScanFolderCategory(kScanDownloadedPrograms, kFolderMask);
}

TPGCResult TPGCAppCleaner::ScanUpdateDownloads() {
  for (const std::string& folder : PackageCacheFolders()) {
    if (FForceStop) break;
    const std::string root = AddPathDelimiter(folder);
    if (platform::DirectoryExists(root)) WalkFolder(kScanUpdateDownloads, root, kFolderMask);
  }
  return kResultOk;
}

TPGCResult TPGCAppCleaner::ScanOfficeSetup() { return kResultFalse; }

TPGCResult TPGCAppCleaner::ScanMediaPlayerTemp() { return kResultFalse; }

TPGCResult TPGCAppCleaner::ScanFlashCookies() {
  return ScanFolderCategory(kScanFlashCookies, kFolderMask);
}

TPGCResult TPGCAppCleaner::ScanRecycleBin() {
  if (FForceStop) return kResultOk;
  // Without a handler nobody would see the items: they are not even
  // counted, and the (possibly slow) listing is skipped altogether.
  if (!FOnScanning) return kResultOk;
  for (const platform::TrashItem& item : platform::ListTrash(RecycleBinFolders())) {
    const auto size = static_cast<std::int64_t>(item.data.size);
    ++FScanTotalFilesCount;
    FScanTotalFilesSize += size;
    if (FIsRoughScan) continue;
    if (TPGCScanSimpleResult* record = RecordOf(kScanRecycleBin)) {
      ++record->FilesCount;
      record->FileSize += size;
    }
    // The handler may have been cleared by an earlier call.
    FReportSize = item.data.size;
    if (FOnScanning) {
      FOnScanning(kScanRecycleBin, item.displayName, static_cast<std::uint32_t>(item.data.size),
                  &item.data.lastAccessTime, item.data.attributes);
    }
  }
  return kResultOk;
}

bool TPGCAppCleaner::ReportedTarget(platform::DeleteTarget& ATarget) const {
  if (!FReporting) return false;
  FScanFolders->Target(FReportFile.folder, FReportFile.name, FReportFile.fileId,
                       FReportFile.fileStamp, ATarget);
  return true;
}

void TPGCAppCleaner::WalkFolder(TPGCScanTypes AScanType, const std::string& APath,
                                std::uint32_t AAttr) {
  // A category run on its own, outside DoScan.
  if (FScanFolders == nullptr) FScanFolders = std::make_shared<TScanFolders>();
  TScanFolders& folders = *FScanFolders;
  // The folder of each level of the walk: an entry at depth d lies in
  // levels[d].
  std::vector<TScanFolders::Folder> levels{folders.AddRoot(APath, TreeWalker::RootId(APath))};
  platform::SafeDeleter deleter;
  struct Deleting {
    platform::SafeDeleter*& slot;
    ~Deleting() { slot = nullptr; }
  } deleting{FDeleter};
  FDeleter = &deleter;
  // What belongs to someone else is never offered, in any category (root
  // with a user's HOME must not empty that user's folders), and nobody
  // else's folder is entered. The temporary folder and the cache are also
  // shared with the running session: what keeps the desktop running there
  // is never offered either. The walk and its readers decide on folders
  // alike, by this filter.
  const std::uint32_t me = platform::CurrentUserId();
  TreeWalker::Callbacks callbacks;
  callbacks.mayEnter = [AScanType, me](std::string_view name, std::size_t depth,
                                       std::optional<std::uint32_t> owner) {
    return (!owner || *owner == me) && !IsKeptOut(AScanType, depth, name);
  };
  if (FOnScanError) {
    callbacks.onError = [this](const std::string& folder, TreeWalker::Failure what, int error) {
      if (FOnScanError) FOnScanError(folder, what == TreeWalker::Failure::List, error);
    };
  }
  TreeWalker::Walk(APath, AAttr, [&](TreeWalker::Entry& e) {
    ProcessMessages();
    // Every level notices a stop at its next entry, so the whole walk
    // unwinds without looking at anything more.
    if (FForceStop) return TreeWalker::Action::Leave;
    if (!e.IsDirectory() && IsKeptOut(AScanType, e.Depth(), e.Name())) return TreeWalker::Action::Continue;
    if (e.IsDirectory()) {
      levels.resize(e.Depth() + 1);
      levels.push_back(folders.AddFolder(levels[e.Depth()], e.Name()));
      if (FOnScanning) {
        FOnScanning(kScanTypeDirectory, FEventPaths.Path(folders, levels.back()), 0, nullptr, 0);
      }
      return TreeWalker::Action::Enter;
    }
    if (!IsOfferedName(AScanType, e.Name())) return TreeWalker::Action::Continue;
    const platform::FileAttributeData& data = e.Data();
    // Gone since the listing: nothing to count or delete.
    if (!e.HasData()) return TreeWalker::Action::Continue;
    if (data.owner != me) return TreeWalker::Action::Continue;
    ++FScanTotalFilesCount;
    FScanTotalFilesSize += static_cast<std::int64_t>(data.size);
    if (FIsRoughScan) return TreeWalker::Action::Continue;
    if (TPGCScanSimpleResult* record = RecordOf(AScanType)) {
      ++record->FilesCount;
      record->FileSize += static_cast<std::int64_t>(data.size);
    }
    FReportFile = {levels[e.Depth()], e.Name(), data.id, data.stamp};
    ReportFile(AScanType, data.size, data.lastAccessTime, data.attributes);
    return TreeWalker::Action::Continue;
  }, 0, TreeWalker::ReadAhead::FoldersAndFiles, callbacks);
}

void TPGCAppCleaner::ReportFile(TPGCScanTypes AScanType, std::uint64_t AFileSize,
                                const platform::FileTime& AFileTime,
                                std::uint32_t dwFileAttribute) {
  if (FOnScanning) {
    // A copy of the time: the handler gets a pointer it may keep for the
    // call without it changing under the deletion below.
    const platform::FileTime time = AFileTime;
    FReportSize = AFileSize;
    struct Reporting {
      bool& flag;
      ~Reporting() { flag = false; }
    } reporting{FReporting};
    FReporting = true;
    FOnScanning(AScanType, FEventPaths.FullPath(*FScanFolders, FReportFile.folder, FReportFile.name),
                static_cast<std::uint32_t>(AFileSize), &time, dwFileAttribute);
  }
  // A handler that asked to stop has also asked that this file stay.
  if (!FIsNoGuard || FDeleter == nullptr || FForceStop) return;
  // Deleted only where the scan found it: a folder below the category's
  // root swapped for a link since the listing makes the deletion refuse.
  FScanFolders->Target(FReportFile.folder, FReportFile.name, FReportFile.fileId,
                       FReportFile.fileStamp, FDeleteTarget);
  if (FDeleter->Delete(FDeleteTarget) == platform::DeleteResult::Deleted) {
    ++FCleanTotalFilesCount;
    FCleanTotalFilesSize += static_cast<std::int64_t>(AFileSize);
  }
}

}  // namespace purgo
