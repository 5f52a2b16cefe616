// SPDX-License-Identifier: GPL-3.0-or-later
// Windows ends a windowed program through its window (WM_CLOSE,
// WM_QUERYENDSESSION), which the window layer handles itself: there is no
// descriptor to watch, and the console's Ctrl+C keeps its default action.
#include "platform/TerminationSignals.h"

namespace purgo::platform {

int TerminationSignalDescriptor() { return -1; }

void TakeTerminationSignals() {}

}  // namespace purgo::platform
