// SPDX-License-Identifier: GPL-3.0-or-later
// The cleaning engine: the base both cleaners share, the scan-type set, scan
// states, per-category results and the scanning events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/QSClasses.h"
#include "engine/ScanFolders.h"
#include "platform/FileDelete.h"
#include "platform/Platform.h"

namespace purgo {

// ---- scan-type set ---------------------------------------------------------
// Bit n selects category n. Bits 0 to 9 are the application-trace cleaner's
// categories, bit 10 the file-type cleaner's; higher bits mean nothing.
using TPGCScanTypes = std::uint32_t;

inline constexpr TPGCScanTypes kScanTempFiles = 1u << 0;
inline constexpr TPGCScanTypes kScanInternetCache = 1u << 1;
inline constexpr TPGCScanTypes kScanRecycleBin = 1u << 2;
inline constexpr TPGCScanTypes kScanRecentDocuments = 1u << 3;
inline constexpr TPGCScanTypes kScanPrefetch = 1u << 4;
inline constexpr TPGCScanTypes kScanDownloadedPrograms = 1u << 5;
inline constexpr TPGCScanTypes kScanUpdateDownloads = 1u << 6;
inline constexpr TPGCScanTypes kScanOfficeSetup = 1u << 7;
inline constexpr TPGCScanTypes kScanMediaPlayerTemp = 1u << 8;
inline constexpr TPGCScanTypes kScanFlashCookies = 1u << 9;
inline constexpr TPGCScanTypes kScanOtherFiles = 1u << 10;
// Number of defined categories; the application-trace cleaner owns the
// first kAppScanTypeCount of them.
inline constexpr int kScanTypeCount = 11;
inline constexpr int kAppScanTypeCount = 10;
// The scan type of an OnScanning event that reports a folder being entered.
inline constexpr TPGCScanTypes kScanTypeDirectory = 0;

// Result codes of the scan operations, of the Windows kind.
using TPGCResult = std::int32_t;
inline constexpr TPGCResult kResultOk = 0;     // S_OK
inline constexpr TPGCResult kResultFalse = 1;  // S_FALSE

enum TPGCScanStatus : std::uint8_t {
  vstNormal = 0,        // never scanned
  vstScanning = 1,
  vstScanFinished = 2,
};

// What one category found: a category value of the set, a count, bytes.
struct TPGCScanSimpleResult {
  TPGCScanSimpleResult(TPGCScanTypes AScanType, std::int32_t AFilesCount, std::int64_t AFileSize)
      : ScanType(AScanType), FilesCount(AFilesCount), FileSize(AFileSize) {}

  TPGCScanTypes ScanType;
  std::int32_t FilesCount;
  std::int64_t FileSize;
};

class TPGCBaseCleaner;
class TPGCExtCleanerScanFileItem;

// Events carry their receiver inside the callable.
using TNotifyEvent = std::function<void(TPGCBaseCleaner* Sender)>;
// A category value (or kScanTypeDirectory), the full path (a recycle-bin
// item's display name), the low 32 bits of the size, the last-access time
// (may be null) and the attribute bits.
using TPGCAppScanningEvent =
    std::function<void(TPGCScanTypes AScanType, const std::string& AFileName,
                       std::uint32_t dwFileSize, const platform::FileTime* AFileTime,
                       std::uint32_t dwFileAttribute)>;
// The item just found; the cleaner owns it.
using TPGCExtScanningEvent = std::function<void(TPGCExtCleanerScanFileItem* AScanItem)>;
// A folder a scan meant to walk but could not open, or opened but could not
// list (AOpened): its path (no final delimiter) and the errno. What it
// holds was not looked at.
using TPGCScanErrorEvent =
    std::function<void(const std::string& AFolder, bool AOpened, int AErrno)>;

// State and totals both cleaners share, and the three operations through
// which the pages and the progress dialog drive a cleaner. Everything runs
// on the user-interface thread: the stop flag is a plain field that a
// handler sets from inside the walk's message draining.
class TPGCBaseCleaner {
 public:
  TPGCBaseCleaner() = default;
  virtual ~TPGCBaseCleaner() = default;
  TPGCBaseCleaner(const TPGCBaseCleaner&) = delete;
  TPGCBaseCleaner& operator=(const TPGCBaseCleaner&) = delete;

  // Runs a scan to its end or until stopped; the result code of the scan.
  virtual TPGCResult DoScan(TPGCScanTypes AScanTypes) = 0;
  // The same scan in clean mode, deleting what it reports (where the
  // subclass deletes at all). Clean mode lasts for this call only: a later
  // plain DoScan must never delete.
  virtual TPGCResult DoNoGuard(TPGCScanTypes AScanTypes) = 0;
  // Asks a running scan to stop; it notices at its next check.
  virtual void StopScan() = 0;

  bool IsNoGuard() const { return FIsNoGuard; }
  TPGCResult ScanResult() const { return FScanResult; }
  TPGCScanTypes ScanTypes() const { return FScanTypes; }
  TPGCScanStatus ScanStatus() const { return FScanStatus; }
  std::int64_t ScanTotalFilesSize() const { return FScanTotalFilesSize; }
  std::int32_t ScanTotalFilesCount() const { return FScanTotalFilesCount; }

  // The clean totals are never reset by a scan: whoever deletes files
  // resets them first and adds to them.
  std::int64_t CleanTotalFilesSize() const { return FCleanTotalFilesSize; }
  void SetCleanTotalFilesSize(std::int64_t v) { FCleanTotalFilesSize = v; }
  std::int32_t CleanTotalFilesCount() const { return FCleanTotalFilesCount; }
  void SetCleanTotalFilesCount(std::int32_t v) { FCleanTotalFilesCount = v; }
  bool ForceStop() const { return FForceStop; }
  void SetForceStop(bool v) { FForceStop = v; }
  // Stored and cleared at every scan start; no walk pauses.
  bool ForcePause() const { return FForcePause; }
  void SetForcePause(bool v) { FForcePause = v; }

  // Folders the walks could not open or list. The pages leave it unset:
  // they pass such folders over silently.
  const TPGCScanErrorEvent& OnScanError() const { return FOnScanError; }
  void SetOnScanError(TPGCScanErrorEvent e) { FOnScanError = std::move(e); }

 protected:
  // The resets every scan start makes: scanning state, stop and pause
  // cleared, scan totals zero.
  void BeginScanState();

  // Runs `scan` as the body of DoScan: whether it returns or throws, the
  // status becomes vstScanFinished and then `onEnd` is raised (an
  // exception then goes on to the caller).
  template <class Scan>
  TPGCResult RunScan(Scan&& scan, const TNotifyEvent& onEnd) {
    TPGCResult result = kResultOk;
    try {
      result = scan();
    } catch (...) {
      FinishScan(onEnd);
      throw;
    }
    FinishScan(onEnd);
    return result;
  }

  // DoNoGuard's shared body: clean mode around one DoScan call.
  TPGCResult RunNoGuard(TPGCScanTypes AScanTypes);

  TPGCResult FScanResult = kResultOk;
  TPGCScanTypes FScanTypes = 0;
  bool FIsNoGuard = false;
  TPGCScanStatus FScanStatus = vstNormal;
  std::int64_t FScanTotalFilesSize = 0;
  std::int32_t FScanTotalFilesCount = 0;
  std::int64_t FCleanTotalFilesSize = 0;
  std::int32_t FCleanTotalFilesCount = 0;
  bool FForceStop = false;
  bool FForcePause = false;
  TPGCScanErrorEvent FOnScanError;

 private:
  void FinishScan(const TNotifyEvent& onEnd);
};

// ---- the application-trace cleaner -----------------------------------------

// Finds the leftovers of the fixed categories (bits 0 to 9 of the scan-type
// set): for every file it adds to the totals and the category's record and
// raises OnScanning; in clean mode (DoNoGuard) it then deletes the file.
// Folders are never deleted, and the Trash is only listed here: emptying
// it is platform::EmptyTrashItems(), given the items a listing showed.
//
// Deleting what a scan reported: the page gets the file's full path from
// OnScanning, but a path alone may lead elsewhere by the time the user
// presses Clean (a folder on the way swapped for a link). Inside an
// OnScanning call for a file of a folder category, ReportedFile() tells
// where the scan found it: its folder in ScanFolders() (which knows the
// walk's root and its identity), its name and its identity. A page that
// keeps those and later deletes through the target ScanFolders() makes
// gets the same protection as clean mode, and keeps one folder and a name
// per file instead of a full path. Directory events and Trash items have
// no such record.
class TPGCAppCleaner : public TPGCBaseCleaner {
 public:
  TPGCAppCleaner() = default;
  ~TPGCAppCleaner() override = default;

  // Runs every category whose bit is set (all of 0 to 9 in rough mode
  // restricted to the first two). The result is that of the last category
  // that ran, 0 when none ran.
  TPGCResult DoScan(TPGCScanTypes AScanTypes) override;
  TPGCResult DoNoGuard(TPGCScanTypes AScanTypes) override;
  void StopScan() override;

  // Rough mode: only the first two categories, files only add to the
  // totals (no records, no file events, no deletion).
  bool IsRoughScan() const { return FIsRoughScan; }
  // 10 after any scan, 0 before the first.
  int ScanSimpleResultsCount() const { return static_cast<int>(FScanSimpleResults.size()); }
  // The record at AIndex (categories 1, 2, 4, ... 512 in that order), or
  // null when AIndex is out of range. Owned by the cleaner; valid until the
  // next scan starts.
  const TPGCScanSimpleResult* ScanSimpleResults(int AIndex) const;

  const TPGCAppScanningEvent& OnScanning() const { return FOnScanning; }
  void SetOnScanning(TPGCAppScanningEvent e) { FOnScanning = std::move(e); }
  const TNotifyEvent& OnBeginScan() const { return FOnBeginScan; }
  void SetOnBeginScan(TNotifyEvent e) { FOnBeginScan = std::move(e); }
  const TNotifyEvent& OnEndScan() const { return FOnEndScan; }
  void SetOnEndScan(TNotifyEvent e) { FOnEndScan = std::move(e); }

  // The full size of the file or Trash item being reported (the event's
  // size keeps only the low 32 bits); valid during an OnScanning call.
  std::uint64_t ReportedFileSize() const { return FReportSize; }

  // Where the file being reported was found; non-null only during an
  // OnScanning call for a file of a folder category. The record and the
  // name it points to die with that call: copy what is kept.
  struct TReportedFile {
    TScanFolders::Folder folder = TScanFolders::kNoFolder;  // in ScanFolders()
    std::string_view name;
    platform::FileId fileId;
    platform::FileStamp fileStamp;
  };
  const TReportedFile* ReportedFile() const { return FReporting ? &FReportFile : nullptr; }
  // The folders of the files reported since the last scan started. A new
  // tree at every scan start: a holder may keep this one as long as it
  // needs (never null once a scan has started).
  std::shared_ptr<const TScanFolders> ScanFolders() const { return FScanFolders; }
  // The reported file's deletion target, built (full path included) into
  // ATarget; false outside such a call.
  bool ReportedTarget(platform::DeleteTarget& ATarget) const;

  // Started from inside the temporary folder, the program would offer its
  // own working files: the temporary-files category is then skipped and
  // finds nothing. True when that is the case for this process now.
  bool SkipsTempFiles() const;

  // The category operations, bits 0 to 9 in order. Each returns its result
  // code; all but the two that find nothing return 0.
  virtual TPGCResult ScanTempFiles();
  virtual TPGCResult ScanInternetCache();
  virtual TPGCResult ScanRecycleBin();
  virtual TPGCResult ScanRecentDocuments();
  virtual TPGCResult ScanPrefetch();
  virtual TPGCResult ScanDownloadedPrograms();
  virtual TPGCResult ScanUpdateDownloads();
  virtual TPGCResult ScanOfficeSetup();
  virtual TPGCResult ScanMediaPlayerTemp();
  virtual TPGCResult ScanFlashCookies();

 protected:
  // The root folder of a folder category (ending in the delimiter), or ""
  // when this machine has none. Tests and the benchmark point categories
  // elsewhere by overriding it.
  virtual std::string CategoryFolder(TPGCScanTypes AScanType) const;
  // The trash directories the recycle-bin category lists.
  virtual std::vector<std::string> RecycleBinFolders() const;
  // The package managers' caches the package-downloads category walks.
  virtual std::vector<std::string> PackageCacheFolders() const;

  bool FIsRoughScan = false;

 private:
  // The category operation of one bit of the set.
  TPGCResult RunCategory(TPGCScanTypes AScanType);
  // A folder category: stop check, existence check, then the walk.
  TPGCResult ScanFolderCategory(TPGCScanTypes AScanType, std::uint32_t AAttr);
  void WalkFolder(TPGCScanTypes AScanType, const std::string& APath, std::uint32_t AAttr);
  void ReportFile(TPGCScanTypes AScanType, std::uint64_t AFileSize,
                  const platform::FileTime& AFileTime, std::uint32_t dwFileAttribute);
  void ResetScanSimpleResults();
  TPGCScanSimpleResult* RecordOf(TPGCScanTypes AScanType);

  std::vector<TPGCScanSimpleResult> FScanSimpleResults;
  TPGCAppScanningEvent FOnScanning;
  TNotifyEvent FOnBeginScan;
  TNotifyEvent FOnEndScan;
  std::shared_ptr<TScanFolders> FScanFolders;
  // Builds the paths the events carry, apart from whatever a handler
  // builds through ScanFolders() meanwhile.
  TScanFolders::TPathBuilder FEventPaths;
  TReportedFile FReportFile;
  platform::DeleteTarget FDeleteTarget;  // clean mode's, reused
  std::uint64_t FReportSize = 0;
  bool FReporting = false;
  platform::SafeDeleter* FDeleter = nullptr;  // during a walk in clean mode
};

// ---- the file-type cleaner's rules -----------------------------------------

// The rule set of one file-type scan: directories (each with its own
// include-sub-folders flag), name endings, the attribute mask and the day
// limits. Texts are kept exactly as trimmed; the endings never hold two
// entries equal without regard to ASCII case, the directories never two
// that name the same path.
class TPGCExtScanOption {
 public:
  int ExtsCount() const { return static_cast<int>(FExts.size()); }
  int DirsCount() const { return static_cast<int>(FDirs.size()); }

  // Files younger than this many days are passed over; 0 or less: no limit.
  std::int32_t IgnoreInDays() const { return FIgnoreInDays; }
  void SetIgnoreInDays(std::int32_t v) { FIgnoreInDays = v; }
  // Stored only; no walk reads it.
  std::int32_t IgnoreOutofDays() const { return FIgnoreOutDays; }
  void SetIgnoreOutofDays(std::int32_t v) { FIgnoreOutDays = v; }
  // Only the hidden (2) and system (4) bits select anything in the walk.
  // Writing 0 stores 31.
  std::uint32_t FileAttribute() const { return FFileAttribute; }
  void SetFileAttribute(std::uint32_t v) { FFileAttribute = v == 0 ? 31u : v; }

  // Index of the directory (trimmed of blanks): an existing entry naming
  // the same path (by this platform's rules: exactly on Linux) gets the new
  // flag and keeps its text; -1 for a blank text.
  int AddDir(std::string_view ADir, bool AIncludeSubDir);
  bool DeleteDir(int AIndex);
  void ClearDirs() { FDirs.clear(); }
  // Index of the ending (trimmed of blanks); an existing equal entry is
  // returned unchanged; -1 for a blank text.
  int AddExt(std::string_view AExt);
  bool DeleteExt(int AIndex);
  void ClearExts() { FExts.clear(); }

  // Empty / false when AIndex is out of range.
  std::string Dirs(int AIndex) const;
  bool IncludeSubDirs(int AIndex) const;
  std::string Exts(int AIndex) const;

 private:
  struct TDirEntry {
    std::string dir;
    bool includeSubDirs;
  };
  std::int32_t FIgnoreInDays = 0;
  std::int32_t FIgnoreOutDays = 0;
  std::uint32_t FFileAttribute = 0xFFFC;
  std::vector<std::string> FExts;
  std::vector<TDirEntry> FDirs;
};

// ---- the file-type cleaner ------------------------------------------------

// A directory the file-type walk visited. A sub-folder keeps only its own
// name and its parent, so that a scan of a deep tree costs memory in
// proportion to its folders, not to the length of their paths.
class TPGCExtCleanerScanPathItem {
 public:
  // A top-level directory.
  TPGCExtCleanerScanPathItem(std::string APath, std::uint32_t AID, std::size_t ARootLength,
                             platform::FileId ARootId)
      : FName(std::move(APath)), FID(AID), FRootLength(ARootLength), FRootId(ARootId) {}
  // The sub-folder `AName` of `AParent` (which must outlive it).
  TPGCExtCleanerScanPathItem(const TPGCExtCleanerScanPathItem* AParent, std::string AName,
                             std::uint32_t AID)
      : FParent(AParent), FName(std::move(AName)), FID(AID), FDepth(AParent->FDepth + 1),
        FRootLength(AParent->FRootLength), FRootId(AParent->FRootId) {}
  ~TPGCExtCleanerScanPathItem();
  TPGCExtCleanerScanPathItem(const TPGCExtCleanerScanPathItem&) = delete;
  TPGCExtCleanerScanPathItem& operator=(const TPGCExtCleanerScanPathItem&) = delete;

  // A top-level directory exactly as stored in the options; a sub-folder's
  // full path with a trailing delimiter. Built on each call, from the path
  // built last where they share folders, so that calls in scan order cost
  // the length of the result, not the depth of the folder.
  std::string Path() const;
  // The folder's own name (a top-level directory: its text as stored).
  const std::string& Name() const { return FName; }
  // Null for a top-level directory.
  const TPGCExtCleanerScanPathItem* Parent() const { return FParent; }
  // The number of path items right after this one was added (1 for the
  // first of a scan).
  std::uint32_t ID() const { return FID; }
  // The top-level directory this one was reached from: the length of its
  // text with a delimiter (a prefix of every path below it) and its
  // identity when the walk opened it. Deletions resolve that prefix as the
  // scan did and follow nothing below it.
  std::size_t RootLength() const { return FRootLength; }
  platform::FileId RootId() const { return FRootId; }

 private:
  const TPGCExtCleanerScanPathItem* FParent = nullptr;
  std::string FName;
  std::uint32_t FID;
  std::uint32_t FDepth = 0;  // folders above it up to its top-level directory
  std::size_t FRootLength;
  platform::FileId FRootId;
};

// A file the file-type walk found. Owned by the cleaner.
class TPGCExtCleanerScanFileItem {
 public:
  explicit TPGCExtCleanerScanFileItem(const TPGCExtCleanerScanPathItem* APathItem)
      : FPathItem(APathItem) {}

  // The ending (as stored in the options) that matched.
  const std::string& Ext() const { return FExt; }
  void SetExt(std::string v) { FExt = std::move(v); }
  // The name without its directory, as the file system's bytes.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string v) { FFileName = std::move(v); }
  std::uint32_t FileAttribute() const { return FFileAttribute; }
  void SetFileAttribute(std::uint32_t v) { FFileAttribute = v; }
  std::uint64_t FileSize() const { return FFileSize; }
  void SetFileSize(std::uint64_t v) { FFileSize = v; }
  // The last-access time (not the last-write time).
  platform::FileTime ModifiedTime() const { return FModifiedTime; }
  void SetModifiedTime(platform::FileTime v) { FModifiedTime = v; }
  platform::FileTime CreatedTime() const { return FCreatedTime; }
  void SetCreatedTime(platform::FileTime v) { FCreatedTime = v; }
  // The file's identity when found; unknown for an item made by hand.
  platform::FileId FileId() const { return FFileId; }
  void SetFileId(platform::FileId v) { FFileId = v; }
  // What tells this file from a later one given the same identity.
  platform::FileStamp FileStamp() const { return FFileStamp; }
  void SetFileStamp(platform::FileStamp v) { FFileStamp = v; }

  const TPGCExtCleanerScanPathItem* PathItem() const { return FPathItem; }
  // The path item's Path, empty without one.
  std::string Path() const;
  // AddPathDelimiter(Path()) + FileName().
  std::string FullFileName() const;
  // What deleting this file safely needs: the full name, the walk's root
  // (resolved as at scan time, nothing below it followed) and both
  // identities. Pass it to platform::DeleteFileSafely.
  platform::DeleteTarget Target() const;

 private:
  std::string FExt;
  const TPGCExtCleanerScanPathItem* FPathItem;  // not owned
  std::string FFileName;
  std::uint32_t FFileAttribute = 0;
  std::uint64_t FFileSize = 0;
  platform::FileTime FModifiedTime;
  platform::FileTime FCreatedTime;
  platform::FileId FFileId;
  platform::FileStamp FFileStamp;
};

enum TSortType : unsigned char {
  stFileName = 0,
  stExt = 1,
  stFileAttribute = 2,
  stCreatedTime = 3,
  stModifiedTime = 4,
};

// A set of file identities, flat: one scan adds one per folder, and a
// node per identity (as a standard set keeps) costs the walk more than
// the look-up. Unknown identities are not kept.
class TFileIdSet {
 public:
  // True when `AId` was not in the set (it is now).
  bool Insert(const platform::FileId& AId);
  void Clear();

 private:
  std::vector<platform::FileId> FSlots;  // a power of two long; unknown: free
  std::size_t FCount = 0;
};

// Walks the directories of its options and keeps one item per file whose
// name ends with one of the endings (ASCII case ignored, no wildcards),
// subject to the attribute mask and the lower age limit, and one item per
// directory visited. It deletes nothing: the page deletes the files it
// keeps ticked, through each item's Target().
class TPGCExtCleaner : public TPGCBaseCleaner {
 public:
  TPGCExtCleaner();
  ~TPGCExtCleaner() override;

  // The argument is not used; the result is always 0.
  TPGCResult DoScan(TPGCScanTypes AScanTypes) override;
  // Sets clean mode for the call; the walk deletes nothing all the same.
  TPGCResult DoNoGuard(TPGCScanTypes AScanTypes) override;
  void StopScan() override;

  // Whether a scan keeps an item per file (the default). A caller that
  // only streams what it finds turns it off: each item then lives for
  // its OnScanning call only and ScanFileItemsCount() stays 0; a folder's
  // path item lives until its walk is done (ScanPathItems() is null for
  // it then), and only the top-level folders' identities are remembered.
  // Memory then follows the depth of the tree, not its files or folders.
  bool KeepItems() const { return FKeepItems; }
  void SetKeepItems(bool v) { FKeepItems = v; }

  TPGCExtScanOption* ScanOptions() { return FScanOptions.get(); }
  const TPGCExtScanOption* ScanOptions() const { return FScanOptions.get(); }

  int ScanFileItemsCount() const { return static_cast<int>(FScanFileItems.size()); }
  int ScanPathItemsCount() const { return static_cast<int>(FScanPathItems.size()); }
  // Null when out of range. Items stay valid until the next scan start,
  // ClearScanItem, DeleteScanItem of that item, or destruction.
  TPGCExtCleanerScanFileItem* ScanFileItems(int AIndex) const;
  TPGCExtCleanerScanPathItem* ScanPathItems(int AIndex) const;

  // Removes and frees AItem when it is one of the file items (the file on
  // disk, the path items and the totals stay); false otherwise.
  bool DeleteScanItem(const TPGCExtCleanerScanFileItem* AItem);
  // Removes and frees every file item; path items and totals stay.
  void ClearScanItem();

  // Each sets its sort type and sorts at once, whatever Sorted is.
  void SortByFileName();
  void SortByExt();
  void SortByFileAttribute();
  void SortByCreatedTime();
  void SortByModifiedTime();

  // Changing the type or direction re-sorts when Sorted is true; turning
  // Sorted on sorts. A scan does not re-sort.
  TSortType SortType() const { return FSortType; }
  void SetSortType(TSortType v);
  TQelSortDirection SortDirection() const { return FSortDirection; }
  void SetSortDirection(TQelSortDirection v);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool v);

  const TPGCExtScanningEvent& OnScanning() const { return FOnScanning; }
  void SetOnScanning(TPGCExtScanningEvent e) { FOnScanning = std::move(e); }
  const TNotifyEvent& OnBeginScan() const { return FOnBeginScan; }
  void SetOnBeginScan(TNotifyEvent e) { FOnBeginScan = std::move(e); }
  const TNotifyEvent& OnEndScan() const { return FOnEndScan; }
  void SetOnEndScan(TNotifyEvent e) { FOnEndScan = std::move(e); }

  // True when the name part of AFileName (after its last delimiter) ends
  // with AExt trimmed of blanks, ASCII letters compared without regard to
  // case. No character is a wildcard; an empty name or ending never
  // matches.
  static bool MatchExt(std::string_view AFileName, std::string_view AExt);

 private:
  class Walk;
  friend class Walk;

  TPGCResult ScanAllDirs();
  void SortItems();

  std::vector<std::unique_ptr<TPGCExtCleanerScanFileItem>> FScanFileItems;
  std::vector<std::unique_ptr<TPGCExtCleanerScanPathItem>> FScanPathItems;
  // Identity of every directory walked: a directory is walked at most once
  // per scan however it is reached, and two folders whose names differ
  // only in letter case are two folders.
  TFileIdSet FVisitedDirs;
  bool FKeepItems = true;
  bool FSorted = false;
  TSortType FSortType = stFileName;
  TQelSortDirection FSortDirection = vsdINC;
  std::unique_ptr<TPGCExtScanOption> FScanOptions;
  TPGCExtScanningEvent FOnScanning;
  TNotifyEvent FOnBeginScan;
  TNotifyEvent FOnEndScan;
};

}  // namespace purgo
