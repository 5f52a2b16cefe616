// SPDX-License-Identifier: GPL-3.0-or-later
// purgo-cli: the command line alone, on the core and nothing of the
// windows, for machines without a desktop. It takes the same options as
// `purgo` with options and runs the same code; without any it has no
// window to start, so it says which mode to choose.
#include <string>
#include <vector>

#include "app/CommandLineArgs.h"
#include "app/WindowOptions.h"
#include "platform/ProgramArguments.h"

int main(int argc, char** argv) {
  // On Windows main's arguments are in the ANSI code page, which cannot
  // name every file: the platform reads them again as the system has them.
  const std::vector<std::string> args = purgo::platform::ProgramArguments(argc, argv);
  std::vector<const char*> argp;
  for (const std::string& a : args) argp.push_back(a.c_str());
  return purgo::RunCommandLine(args.empty() ? std::string("purgo-cli") : args.front(),
                               purgo::OwnArguments(static_cast<int>(argp.size()), argp.data()));
}
