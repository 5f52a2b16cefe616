// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's options: parsed here, run by app/CommandLine. Plain
// C++ without Qt, so that `purgo-cli` links the core alone and `purgo`
// with options runs the very same code.
#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace purgo {

struct TParsedCommandLine {
  enum class TAction { Run, Help, Version, UsageError };
  TAction action = TAction::UsageError;
  // What to run (Run).
  TCommandLineRequest request;
  // One line on what is wrong, without the program's name (UsageError).
  std::string error;
};

// Reads the arguments that are purgo's own (after argv[0] and the leading
// window-system options; see OwnArguments) as bytes: a folder's name need
// not be UTF-8. Long options may be shortened to any prefix that names
// one alone; short ones may be grouped ("-0c id", "-fdir"). The request's
// terminal and progress flags are left for the caller to set.
TParsedCommandLine ParseCommandLine(const std::vector<std::string>& AArgs);

// The help text; `AProgram` is argv[0] as the user typed it.
std::string CommandLineHelp(const std::string& AProgram);

// Parses `AArgs` and runs them: help, version, a usage error (one line and
// a pointer to the help, on standard error) or the request itself, with
// the settings read as the window reads them and never written. Returns
// the exit status. `AProgram` is argv[0].
int RunCommandLine(const std::string& AProgram, const std::vector<std::string>& AArgs);

// For `purgo`: runs the command line when the arguments ask for it, that
// is when any argument follows the leading window-system options. True,
// with the exit status in `AExitCode`, after running it or refusing the
// arguments; false when the window is to start. The command line never
// creates a window, takes no part in the single instance and never writes
// a settings file.
bool RunCommandLine(int argc, char** argv, int& AExitCode);

}  // namespace purgo
