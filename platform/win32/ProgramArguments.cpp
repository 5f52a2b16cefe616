// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramArguments.h"

#include "platform/win32/WinFiles.h"

#include <shellapi.h>

namespace purgo::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide == nullptr) {
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  for (int i = 0; i < count; ++i) args.push_back(win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

}  // namespace purgo::platform
