// SPDX-License-Identifier: GPL-3.0-or-later
// Services that the window layer provides to the core. Until the UI
// installs a hook, the core runs without one: draining the message queue
// does nothing and opening a document fails.
#pragma once

#include <functional>
#include <string>

namespace purgo::platform {

using ProcessMessagesHook = std::function<void()>;
using ShellOpenHook =
    std::function<bool(const std::string& file, const std::string& parameters, int showCmd)>;

// Installs (or, with an empty function, removes) the queue drain.
void SetProcessMessagesHook(ProcessMessagesHook hook);
// Drains the window message queue; long walks call it between entries.
void ProcessMessages();

void SetShellOpenHook(ShellOpenHook hook);
// Opens a file or address with the desktop's handler. False when no hook
// is installed or the hook fails.
bool ShellOpen(const std::string& file, const std::string& parameters, int showCmd);

}  // namespace purgo::platform
