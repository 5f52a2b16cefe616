// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Hooks.h"

#include <utility>

namespace purgo::platform {
namespace {

ProcessMessagesHook& MessagesHook() {
  static ProcessMessagesHook hook;
  return hook;
}

ShellOpenHook& OpenHook() {
  static ShellOpenHook hook;
  return hook;
}

}  // namespace

void SetProcessMessagesHook(ProcessMessagesHook hook) { MessagesHook() = std::move(hook); }

void ProcessMessages() {
  // Copy first: a handler run from the queue may install another hook.
  if (ProcessMessagesHook hook = MessagesHook()) hook();
}

void SetShellOpenHook(ShellOpenHook hook) { OpenHook() = std::move(hook); }

bool ShellOpen(const std::string& file, const std::string& parameters, int showCmd) {
  if (ShellOpenHook hook = OpenHook()) return hook(file, parameters, showCmd);
  return false;
}

}  // namespace purgo::platform
