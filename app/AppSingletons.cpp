// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppSingletons.h"

#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"

namespace purgo {

TQelVolumeInfos* VolumeInfos = nullptr;
TAppConfigs* AppConfigs = nullptr;
TPGCAppOptions* AppOptions = nullptr;

void CreateAppSingletons() {
  if (VolumeInfos == nullptr) VolumeInfos = new TQelVolumeInfos();
  CreateAppMultiFonts();
  CreateAppMultiLangs();
  if (AppConfigs == nullptr) AppConfigs = new TAppConfigs();
  if (AppOptions == nullptr) {
    AppOptions = new TPGCAppOptions(AppConfigs->DataPath(), VolumeInfos, AppConfigs->FolderMode());
  }
}

void FreeAppSingletons() {
  delete AppOptions;
  AppOptions = nullptr;
  delete AppConfigs;
  AppConfigs = nullptr;
  FreeAppMultiLangs();
  FreeAppMultiFonts();
  delete VolumeInfos;
  VolumeInfos = nullptr;
}

}  // namespace purgo
