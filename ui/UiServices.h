// SPDX-License-Identifier: GPL-3.0-or-later
// The services the windows give the core: draining the message queue
// from inside long walks, and opening documents and addresses with the
// desktop's handler.
#pragma once

namespace purgo {

// Installs both hooks; needs the application object.
void InstallUiServices();

}  // namespace purgo
