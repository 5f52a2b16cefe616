// SPDX-License-Identifier: GPL-3.0-or-later
// The drives, as Windows lists them: every root GetLogicalDriveStringsW
// gives, with its type, and the label, serial, name length, file system
// and space of those that answer. The system drive comes first, as "/"
// does on Linux. The mount-table parsers are Linux's and have no
// counterpart here.
#include "platform/Mounts.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace {

std::string SystemDrive() {
  wchar_t buf[MAX_PATH] = {};
  const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH);
  if (n < 3 || n >= MAX_PATH) return "C:\\";
  return win32::Narrow(std::wstring_view(buf, 3));
}

std::vector<std::wstring> DriveRoots() {
  std::vector<std::wstring> roots;
  const DWORD need = ::GetLogicalDriveStringsW(0, nullptr);
  if (need == 0) return roots;
  std::wstring buf(need + 1, L'\0');
  const DWORD n = ::GetLogicalDriveStringsW(need, buf.data());
  if (n == 0 || n > need) return roots;
  for (const wchar_t* p = buf.c_str(); *p != L'\0'; p += std::wcslen(p) + 1) roots.emplace_back(p);
  return roots;
}

bool SameDrive(const std::string& a, const std::string& b) {
  return a.size() >= 2 && b.size() >= 2 && (a[0] | 0x20) == (b[0] | 0x20) && a[1] == b[1];
}

VolumeData Probe(const std::wstring& root) {
  VolumeData v;
  // A drive's root keeps its delimiter ("C:\\"), as "/" does.
  v.mountPoint = win32::Narrow(root);
  v.driveType = ::GetDriveTypeW(root.c_str());
  // A removable or network drive may have nothing in it or nobody
  // answering: the system is not to ask the user to insert a disk.
  const UINT old = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  wchar_t label[MAX_PATH + 1] = {}, fs[MAX_PATH + 1] = {};
  DWORD serial = 0, maxName = 0, flags = 0;
  if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, &maxName, &flags, fs, MAX_PATH + 1)) {
    ULARGE_INTEGER avail{}, total{}, free{};
    if (::GetDiskFreeSpaceExW(root.c_str(), &avail, &total, &free)) {
      v.infoValid = true;
      v.label = win32::Narrow(label);
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(serial));
      v.serialNumber = hex;
      v.maxFileNameLength = maxName;
      v.fileSystemName = win32::Narrow(fs);
      v.totalSpace = static_cast<std::int64_t>(total.QuadPart);
      v.freeSpace = static_cast<std::int64_t>(free.QuadPart);
      v.availSpace = static_cast<std::int64_t>(avail.QuadPart);
    }
  }
  ::SetErrorMode(old);
  return v;
}

}  // namespace

std::vector<VolumeData> ListVolumes() {
  const std::string system = SystemDrive();
  std::vector<VolumeData> out;
  for (const std::wstring& root : DriveRoots()) {
    const UINT type = ::GetDriveTypeW(root.c_str());
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) continue;
    VolumeData v = Probe(root);
    if (SameDrive(v.mountPoint, system)) {
      out.insert(out.begin(), std::move(v));
    } else {
      out.push_back(std::move(v));
    }
  }
  return out;
}

std::vector<std::string> ListMountPoints() {
  std::vector<std::string> out;
  for (const std::wstring& root : DriveRoots()) {
    const UINT type = ::GetDriveTypeW(root.c_str());
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) continue;
    out.push_back(win32::Narrow(root));
  }
  return out;
}

std::vector<std::string> ListAllMountPoints() { return ListMountPoints(); }

std::string SystemVolumeName() { return SystemDrive(); }

}  // namespace purgo::platform
