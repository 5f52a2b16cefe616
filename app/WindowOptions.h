// SPDX-License-Identifier: GPL-3.0-or-later
// Which arguments of a start belong to the window system and which to
// purgo's own command line. Kept apart from the option parser (which
// needs Qt) so that the rule can be checked on its own.
#pragma once

#include <string>
#include <vector>

namespace purgo {

// The arguments after argv[0] that are purgo's own. Only leading
// arguments are the window system's options (-platform, -style, ..., with
// their values): from the first argument that is not one of them, every
// argument is purgo's, so that a value such as the folder "-platform"
// after -f stays a value. Empty when the window is to start.
std::vector<std::string> OwnArguments(int argc, const char* const* argv);

// Whether a window can be had at all: a display named by DISPLAY or
// WAYLAND_DISPLAY, or a platform chosen by QT_QPA_PLATFORM or -platform
// (offscreen, vnc ...). Without one Qt would abort; the program says so
// instead.
bool WindowSystemGiven(int argc, const char* const* argv);

}  // namespace purgo
