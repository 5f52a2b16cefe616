// SPDX-License-Identifier: GPL-3.0-or-later
// The options file reader on arbitrary documents.
//
// Beyond not crashing: whatever a load made of the input must survive a
// save and a second load unchanged, so the bytes of the second save equal
// those of the first.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/AppOptions.h"
#include "engine/VolumeInfos.h"
#include "platform/Mounts.h"

namespace {

purgo::TQelVolumeInfos& Volumes() {
  static purgo::TQelVolumeInfos volumes([] {
    purgo::platform::VolumeData root, usb;
    root.mountPoint = "/";
    root.driveType = purgo::platform::DRIVE_FIXED;
    root.infoValid = true;
    usb.mountPoint = "/media/usb";
    usb.driveType = purgo::platform::DRIVE_REMOVABLE;
    return std::vector<purgo::platform::VolumeData>{root, usb};
  });
  return volumes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  purgo::TPGCAppOptions first("/nonexistent/data", &Volumes());
  first.LoadFromXMLBytes(bytes);
  const std::string saved = first.SaveToXMLBytes();

  purgo::TPGCAppOptions second("/nonexistent/data", &Volumes());
  if (!second.LoadFromXMLBytes(saved)) std::abort();
  if (second.SaveToXMLBytes() != saved) std::abort();
  return 0;
}
