// SPDX-License-Identifier: GPL-3.0-or-later
// The program's arguments as the core keeps strings.
#pragma once

#include <string>
#include <vector>

namespace purgo::platform {

// argv[0] and the arguments after it. Here they are the bytes the program
// was given, as main received them. On Windows they are read again from
// the command line in UTF-16 (main's are in the ANSI code page, which
// cannot hold every name) and kept as UTF-8, unpaired surrogates
// included.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace purgo::platform
