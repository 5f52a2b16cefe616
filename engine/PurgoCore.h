// The cleaning engine: the base both cleaners share, the scan-type set, scan
// states, per-category results and the scanning events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

 private:
  void FinishScan(const TNotifyEvent& onEnd);
};

}  // namespace purgo
