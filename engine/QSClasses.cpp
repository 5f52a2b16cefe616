// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/QSClasses.h"

#include "engine/AppUtils.h"

namespace purgo {

std::string GetSpecialFolderPath(int CSIDL, bool ACreate) {
  return AddPathDelimiter(platform::SpecialFolderPath(CSIDL, ACreate));
}

}  // namespace purgo
