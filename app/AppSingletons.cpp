// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppSingletons.h"

namespace purgo {

TQelVolumeInfos* VolumeInfos = nullptr;
TAppConfigs* AppConfigs = nullptr;
TPGCAppOptions* AppOptions = nullptr;

}  // namespace purgo
