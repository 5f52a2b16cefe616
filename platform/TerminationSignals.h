// SPDX-License-Identifier: GPL-3.0-or-later
// Ending the program as the user would when the session ends or someone
// asks it to (SIGTERM, SIGINT, SIGHUP): the signals are turned into
// readable bytes on a descriptor that the window layer watches, so that
// the program closes its window and saves its settings from its own loop.
#pragma once

namespace purgo::platform {

// Installs the handlers once and returns the descriptor to watch; -1 when
// it cannot be made (the signals then keep their default action).
int TerminationSignalDescriptor();
// Reads what the handlers wrote, after the descriptor became readable.
void TakeTerminationSignals();

}  // namespace purgo::platform
