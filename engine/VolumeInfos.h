// SPDX-License-Identifier: GPL-3.0-or-later
// The mounted volumes, as the default folder list of the file-type cleaner
// proposes them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Mounts.h"

namespace purgo {

class TQelVolumeInfo {
 public:
  // The name is the mount point; a trailing "/" marks a volume whose
  // information could not be read (a drive without a medium, a mount
  // this user may not enter). "/" itself is always "/".
  explicit TQelVolumeInfo(const platform::VolumeData& AData);

  std::uint32_t DriveType() const { return FDriveType; }
  const std::string& VolumeName() const { return FVolumeName; }
  const std::string& VolumeLabel() const { return FVolumeLabel; }
  const std::string& SerialNumber() const { return FSerialNumber; }
  std::uint32_t MaxFileNameLength() const { return FMaxFileNameLength; }
  const std::string& FileSystemName() const { return FFileSystemName; }
  std::int64_t TotalSpace() const { return FTotalSpace; }
  std::int64_t FreeSpace() const { return FFreeSpace; }
  std::int64_t AvailSpace() const { return FAvailSpace; }

 private:
  std::uint32_t FDriveType = platform::DRIVE_UNKNOWN;
  std::string FVolumeName;
  std::string FVolumeLabel;
  std::string FSerialNumber;
  std::uint32_t FMaxFileNameLength = 0;
  std::string FFileSystemName;
  std::int64_t FTotalSpace = 0;
  std::int64_t FFreeSpace = 0;
  std::int64_t FAvailSpace = 0;
};

class TQelVolumeInfos {
 public:
  using VolumeSource = std::function<std::vector<platform::VolumeData>()>;

  // Lists the volumes at once. The source is the mount table unless a
  // test hands in another.
  TQelVolumeInfos();
  explicit TQelVolumeInfos(VolumeSource ASource);

  TQelVolumeInfos(const TQelVolumeInfos&) = delete;
  TQelVolumeInfos& operator=(const TQelVolumeInfos&) = delete;
  ~TQelVolumeInfos() = default;

  // Rebuilds the list. When the source finds no volume at all or fails,
  // the previous list stays: an empty answer says more about the source
  // than about the machine. Never throws.
  void Refresh();

  // Count and Volumes do not lock: the lock keeps two refreshes apart, and
  // pointers from Volumes are valid only until the next refresh.
  int Count() const { return static_cast<int>(FVolumes.size()); }
  // AIndex is clamped into 0..Count()-1. An empty list has no valid index
  // and gives nullptr; callers test Count() first.
  const TQelVolumeInfo* Volumes(int AIndex) const;

 private:
  VolumeSource FSource;
  std::vector<std::unique_ptr<TQelVolumeInfo>> FVolumes;
  std::mutex FCritSec;
};

}  // namespace purgo
