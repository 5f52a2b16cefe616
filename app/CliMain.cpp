// SPDX-License-Identifier: GPL-3.0-or-later
// purgo-cli: the command line alone, on the core and nothing of the
// windows, for machines without a desktop. It takes the same options as
// `purgo` with options and runs the same code; without any it has no
// window to start, so it says which mode to choose.
#include <string>
#include <vector>

#include "app/CommandLineArgs.h"
#include "app/WindowOptions.h"

int main(int argc, char** argv) {
  return purgo::RunCommandLine(argc > 0 ? std::string(argv[0]) : std::string("purgo-cli"),
                               purgo::OwnArguments(argc, argv));
}
