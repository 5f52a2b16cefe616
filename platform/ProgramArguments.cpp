// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramArguments.h"

namespace purgo::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

}  // namespace purgo::platform
