// SPDX-License-Identifier: GPL-3.0-or-later
// setenv and unsetenv for the tests shared with Linux. The C runtime's
// _putenv_s changes the system's copy of the environment too, which the
// Win32 layer reads (GetEnvironmentVariableW). No system header here: this
// is included before everything, and <windows.h> defines macros over
// names of the platform layer.
#pragma once

#ifdef __cplusplus
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && std::getenv(name) != nullptr) return 0;
  return ::_putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable.
inline int unsetenv(const char* name) { return ::_putenv_s(name, "") == 0 ? 0 : -1; }
#endif
