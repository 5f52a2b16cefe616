// SPDX-License-Identifier: GPL-3.0-or-later
// The names of the deletion's outcomes, the same on every platform.
#include "platform/FileDelete.h"

namespace purgo::platform {

const char* DeleteResultName(DeleteResult r) {
  switch (r) {
    case DeleteResult::Deleted: return "Deleted";
    case DeleteResult::NotFound: return "NotFound";
    case DeleteResult::NotAFile: return "NotAFile";
    case DeleteResult::ReadOnly: return "ReadOnly";
    case DeleteResult::InUse: return "InUse";
    case DeleteResult::PathChanged: return "PathChanged";
    case DeleteResult::Changed: return "Changed";
    case DeleteResult::Protected: return "Protected";
    case DeleteResult::OtherOwner: return "OtherOwner";
    case DeleteResult::Failed: return "Failed";
  }
  return "?";
}

}  // namespace purgo::platform
