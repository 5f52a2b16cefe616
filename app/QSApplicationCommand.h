// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up command: decides whether this process is the first running
// copy of the program and, if so, builds the application once. A later
// copy hands over to the first and builds nothing.
#pragma once

#include <cstdint>
#include <string>

namespace purgo {

// A window handle as the single-instance record stores it: 32 bits. The
// window layer picks the values (any nonzero value identifying its main
// window); nothing but the record reads them.
using TQelWindowHandle = std::uint32_t;

class TQelApplicationCommand {
 public:
  // AInstanceGUID names the single-instance block; blanks at both ends do
  // not count. An empty name disables the guard.
  explicit TQelApplicationCommand(const std::string& AInstanceGUID);
  virtual ~TQelApplicationCommand() = default;
  TQelApplicationCommand(const TQelApplicationCommand&) = delete;
  TQelApplicationCommand& operator=(const TQelApplicationCommand&) = delete;

  // The single entry point, called once by the main sequence: checks for
  // another copy (at most once per object, when enabled), runs
  // InitializeApplication at most once, and when another copy was found
  // and nothing was started, asks that copy to restore its main window and
  // bring it to the front. A copy that vanished meanwhile gets no request.
  void Execute();

  // Looks for a running copy: sets ExistInstance, and when one is found
  // WndHandle and InstanceHandle from its record. A block whose window
  // field is 0, or whose holder no longer answers, counts as no copy.
  void CheckExistInstance();

  // Creates the block holding (AWnd, AInstanceHandle) and starts taking
  // activation requests. True when this process now owns the block, which
  // it keeps until it ends; false when another copy registered first or
  // the block cannot be made (the program then runs unguarded). AWnd must
  // not be 0, or later copies will not see this one.
  bool RegisterSingleInstance(TQelWindowHandle AWnd, TQelWindowHandle AInstanceHandle);

  bool ExistInstance() const { return FIsExistInstance; }
  bool EnableCheckSingleInstance() const { return FCheckSingleInstance; }
  void SetEnableCheckSingleInstance(bool AValue) { FCheckSingleInstance = AValue; }
  const std::string& InstanceGUID() const { return FInstanceGUID; }
  TQelWindowHandle InstanceHandle() const { return FInstanceHandle; }
  TQelWindowHandle WndHandle() const { return FWndHandle; }

  // For the window layer of a registered first copy: the descriptor to
  // watch for requests (-1 before registration), and the call that serves
  // them, waiting up to ATimeoutMs for the first. Each activation request
  // reaches the handler installed with platform::SetActivationHandler.
  // Returns the number of requests served.
  int ActivationSocket() const;
  int ServeActivationRequests(int ATimeoutMs = 0);

 protected:
  // Builds the application. True when this process started it, false when
  // it did nothing (the base class does nothing).
  virtual bool InitializeApplication();

 private:
  bool FIsExistInstance = false;
  bool FCheckSingleInstance = true;
  std::string FInstanceGUID;
  TQelWindowHandle FInstanceHandle = 0;
  TQelWindowHandle FWndHandle = 0;
  bool FEverCheckSingleInstance = false;
  bool FEverInitializeApplication = false;
};

}  // namespace purgo
