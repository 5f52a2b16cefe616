// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/VolumeInfos.h"

#include <utility>

#include "platform/Platform.h"

namespace purgo {
namespace {

std::string NameOf(const platform::VolumeData& data) {
  constexpr char kDelimiter = platform::kPathDelimiter;
  std::string name = data.mountPoint;
  // Stripping the delimiter of the file-system root would leave no name,
  // and a drive's ("C:\\") a name relative to that drive's working folder.
  if (data.infoValid) {
    while (name.size() > 1 && name.back() == kDelimiter && name[name.size() - 2] != ':') name.pop_back();
  } else if (name.empty() || name.back() != kDelimiter) {
    name.push_back(kDelimiter);
  }
  return name;
}

}  // namespace

TQelVolumeInfo::TQelVolumeInfo(const platform::VolumeData& AData)
    : FDriveType(AData.driveType), FVolumeName(NameOf(AData)) {
  if (!AData.infoValid) return;
  FVolumeLabel = AData.label;
  FSerialNumber = AData.serialNumber;
  FMaxFileNameLength = AData.maxFileNameLength;
  FFileSystemName = AData.fileSystemName;
  FTotalSpace = AData.totalSpace;
  FFreeSpace = AData.freeSpace;
  FAvailSpace = AData.availSpace;
}

TQelVolumeInfos::TQelVolumeInfos() : TQelVolumeInfos(&platform::ListVolumes) {}

TQelVolumeInfos::TQelVolumeInfos(VolumeSource ASource) : FSource(std::move(ASource)) {
  Refresh();
}

void TQelVolumeInfos::Refresh() {
  std::lock_guard<std::mutex> lock(FCritSec);
  try {
    if (!FSource) return;
    const std::vector<platform::VolumeData> found = FSource();
    if (found.empty()) return;
    // Built aside and swapped in, so a failure half-way leaves the old list.
    std::vector<std::unique_ptr<TQelVolumeInfo>> volumes;
    volumes.reserve(found.size());
    for (const platform::VolumeData& data : found) {
      volumes.push_back(std::make_unique<TQelVolumeInfo>(data));
    }
    FVolumes.swap(volumes);
  } catch (...) {
  }
}

const TQelVolumeInfo* TQelVolumeInfos::Volumes(int AIndex) const {
  if (FVolumes.empty()) return nullptr;
  if (AIndex < 0) return FVolumes.front().get();
  if (AIndex >= Count()) return FVolumes.back().get();
  return FVolumes[static_cast<std::size_t>(AIndex)].get();
}

}  // namespace purgo
