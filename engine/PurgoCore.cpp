// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PurgoCore.h"

namespace purgo {

void TPGCBaseCleaner::BeginScanState() {
  FScanStatus = vstScanning;
  FForceStop = false;
  FForcePause = false;
  FScanTotalFilesCount = 0;
  FScanTotalFilesSize = 0;
}

void TPGCBaseCleaner::FinishScan(const TNotifyEvent& onEnd) {
  FScanStatus = vstScanFinished;
  if (onEnd) onEnd(this);
}

TPGCResult TPGCBaseCleaner::RunNoGuard(TPGCScanTypes AScanTypes) {
  // Clean mode deletes files; leaving it switched on would make the next
  // plain scan delete too, so it is switched off again however the scan ends.
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{FIsNoGuard};
  FIsNoGuard = true;
  return DoScan(AScanTypes);
}

}  // namespace purgo
