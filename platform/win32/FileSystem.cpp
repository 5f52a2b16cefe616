// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "platform/win32/WinFiles.h"

namespace purgo::platform {

std::optional<FileAttributeData> GetFileAttributes(const std::string& path) {
  if (path.empty()) return std::nullopt;
  // The object itself: a final link or junction is not followed.
  win32::Handle h(::CreateFileW(win32::ApiPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  win32::HandleFacts facts;
  if (!h.Valid() || !win32::QueryHandle(h.Get(), facts)) return std::nullopt;
  return facts.data;
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD a = ::GetFileAttributesW(win32::ApiPath(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DirectoryReadable(const std::string& path) {
  if (path.empty()) return false;
  win32::Handle h(::CreateFileW(win32::ApiPath(path).c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h.Valid() && DirectoryExists(path);
}

bool ForceDirectories(const std::string& path, unsigned /*mode*/) {
  if (path.empty()) return false;
  // Folders get the access their parent passes on: Windows has no mode.
  if (::CreateDirectoryW(win32::ApiPath(path).c_str(), nullptr)) return true;
  if (::GetLastError() == ERROR_PATH_NOT_FOUND) {
    for (std::size_t at = path.find_first_of("\\/", 1); at != std::string::npos;
         at = path.find_first_of("\\/", at + 1)) {
      if (at > 0 && path[at - 1] == ':') continue;  // the drive's root
      ::CreateDirectoryW(win32::ApiPath(path.substr(0, at)).c_str(), nullptr);
    }
    ::CreateDirectoryW(win32::ApiPath(path).c_str(), nullptr);
  }
  return DirectoryExists(path);
}

}  // namespace purgo::platform
