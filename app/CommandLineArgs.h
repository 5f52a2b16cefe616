// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command-line options, read before any application object
// exists. Needs Qt (QCommandLineParser): it belongs to the program, not to
// the core, which runs the request (app/CommandLine).
#pragma once

namespace purgo {

// Runs the command line when the arguments ask for it: any argument after
// the leading window-system options (-platform, -style, ... which go to
// the window; see OwnArguments) does. Returns true with the exit status in `AExitCode` after
// running it or refusing the arguments; false when the window is to start.
// The command line never creates a window, takes no part in the single
// instance and never writes a settings file.
bool RunCommandLine(int argc, char** argv, int& AExitCode);

}  // namespace purgo
