// SPDX-License-Identifier: GPL-3.0-or-later
// setenv and unsetenv for the tests shared with Linux. The change reaches
// both the C runtime's copy of the environment (getenv) and the system's
// (GetEnvironmentVariableW, which the Win32 layer reads).
#pragma once

#ifdef __cplusplus
#include <windows.h>

#include <cstdlib>
#include <string>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && std::getenv(name) != nullptr) return 0;
  if (::_putenv_s(name, value) != 0) return -1;
  const int nameLen = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  const int valueLen = ::MultiByteToWideChar(CP_UTF8, 0, value, -1, nullptr, 0);
  std::wstring wname(static_cast<std::size_t>(nameLen), L'\0'), wvalue(static_cast<std::size_t>(valueLen), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, name, -1, wname.data(), nameLen);
  ::MultiByteToWideChar(CP_UTF8, 0, value, -1, wvalue.data(), valueLen);
  return ::SetEnvironmentVariableW(wname.c_str(), wvalue.c_str()) ? 0 : -1;
}

inline int unsetenv(const char* name) {
  ::_putenv_s(name, "");
  const int nameLen = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  std::wstring wname(static_cast<std::size_t>(nameLen), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, name, -1, wname.data(), nameLen);
  return ::SetEnvironmentVariableW(wname.c_str(), nullptr) ? 0 : -1;
}
#endif
