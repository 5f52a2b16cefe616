// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide objects of the program, created by the start-up in a
// fixed order and freed in reverse (the string table and the font
// registry keep their own, in i18n/). Null until created.
#pragma once

#include "app/AppConfigs.h"
#include "app/AppOptions.h"
#include "engine/VolumeInfos.h"

namespace purgo {

extern TQelVolumeInfos* VolumeInfos;
extern TAppConfigs* AppConfigs;
extern TPGCAppOptions* AppOptions;

// Creates the process-wide objects in their order, each only once, and
// frees them in reverse. The window and the command line share them.
void CreateAppSingletons();
void FreeAppSingletons();

}  // namespace purgo
