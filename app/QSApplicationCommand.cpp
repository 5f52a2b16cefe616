// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QSApplicationCommand.h"

#include "engine/AppUtils.h"
#include "platform/SingleInstance.h"

namespace purgo {

namespace {

// Blanks in the widest sense: space and every control character.
std::string_view BlankChars() {
  static const std::string blanks = [] {
    std::string s;
    for (char c = 1; c <= ' '; ++c) s.push_back(c);
    return s;
  }();
  return blanks;
}

}  // namespace

TQelApplicationCommand::TQelApplicationCommand(const std::string& AInstanceGUID)
    : FInstanceGUID(TrimChars(AInstanceGUID, BlankChars())) {}

void TQelApplicationCommand::Execute() {
  if (FCheckSingleInstance && !FEverCheckSingleInstance && !FInstanceGUID.empty()) {
    CheckExistInstance();
  }
  if (FEverInitializeApplication) return;
  const bool started = InitializeApplication();
  FEverInitializeApplication = true;
  // Restoring, showing and raising happen in the first copy, which alone
  // can tell whether its window is minimised; a copy that no longer answers
  // is a window that no longer exists, and nothing is shown.
  if (FIsExistInstance && !started) platform::RequestInstanceActivation(FInstanceGUID);
}

void TQelApplicationCommand::CheckExistInstance() {
  FIsExistInstance = false;
  if (FInstanceGUID.empty()) return;
  // The block this process registered itself is no other copy: finding it
  // would make a first copy that checks again take itself for a second
  // one, and skip saving its settings.
  if (platform::HoldsInstanceBlock(FInstanceGUID)) return;
  const std::optional<platform::InstanceRecord> record = platform::OpenInstanceBlock(FInstanceGUID);
  if (!record || record->mainWindow == 0 || !platform::InstanceAnswers(FInstanceGUID)) return;
  FIsExistInstance = true;
  FEverCheckSingleInstance = true;
  FWndHandle = record->mainWindow;
  FInstanceHandle = record->application;
}

bool TQelApplicationCommand::RegisterSingleInstance(TQelWindowHandle AWnd,
                                                    TQelWindowHandle AInstanceHandle) {
  if (FInstanceGUID.empty()) return false;
  return platform::CreateInstanceBlock(FInstanceGUID, {AWnd, AInstanceHandle}) ==
         platform::CreateBlockResult::Created;
}

int TQelApplicationCommand::ActivationSocket() const {
  return FInstanceGUID.empty() ? -1 : platform::InstanceActivationSocket(FInstanceGUID);
}

int TQelApplicationCommand::ServeActivationRequests(int ATimeoutMs) {
  return FInstanceGUID.empty() ? 0 : platform::DispatchActivationRequests(FInstanceGUID, ATimeoutMs);
}

bool TQelApplicationCommand::InitializeApplication() { return false; }

}  // namespace purgo
