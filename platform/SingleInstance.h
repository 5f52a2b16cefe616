// SPDX-License-Identifier: GPL-3.0-or-later
// The single-instance block: a named 8-byte record that lives exactly as
// long as the process that created it, as a Windows file mapping does, and
// a local channel through which a later copy asks the first one to show
// its window.
//
// On Linux a block named N is the file "N.lock" in $XDG_RUNTIME_DIR (or,
// when that is unset or not this user's, in a private folder
// "purgo-<uid>" under the temporary folder), held with an exclusive
// flock() by its creator, and holding the record; beside it, the Unix
// domain socket "N.sock" on which the creator listens. The kernel drops the
// lock when the creator ends in any way, SIGKILL included, so a crashed
// first copy never leaves later starts blocked or unguarded: a lock file
// that nobody holds is no block, whatever it contains. Characters of N
// that do not belong in a file name are percent-encoded, and a very long
// N is replaced by a hash of it.
//
// Everything here may be called from any thread; the activation handler
// runs on the thread that dispatches requests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace purgo::platform {

// The record, stored as 8 bytes, little-endian, no header.
struct InstanceRecord {
  std::uint32_t mainWindow = 0;   // 0 means that no copy owns the block
  std::uint32_t application = 0;  // any value that identifies the copy
};

// OpenFileMappingW + MapViewOfFile: the record of the live block `name`.
// Empty when no process holds such a block (never created, or its creator
// has ended). A block whose creator has not written the record yet reads
// as all zeros.
std::optional<InstanceRecord> OpenInstanceBlock(const std::string& name);

enum class CreateBlockResult {
  Created,        // this process now holds the block until it ends
  AlreadyExists,  // another process (or this one, earlier) holds it
  Failed,         // no private folder, or the file or socket was refused
};

// CreateFileMappingW + write: creates the block `name` holding `record`
// and starts listening for activation requests. The block lasts until
// ReleaseInstanceBlock or the end of the process.
CreateBlockResult CreateInstanceBlock(const std::string& name, const InstanceRecord& record);

// IsWindow, in effect: true when the holder of the block `name` accepts a
// connection on its socket (a process of this user, not necessarily one
// that is responsive).
bool InstanceAnswers(const std::string& name);

// The hand-over of a second copy: asks the holder of the block `name` to
// restore its main window if minimised, show it otherwise, and bring it to
// the front. Does not wait for the window. False when nobody answers.
bool RequestInstanceActivation(const std::string& name);

// What the first copy does with an activation request. The window layer
// installs it once the main window exists; an empty handler discards
// requests. Process-wide.
using ActivationHandler = std::function<void()>;
void SetActivationHandler(ActivationHandler handler);

// True when this process itself created the block `name`.
bool HoldsInstanceBlock(const std::string& name);

// The listening socket of the block `name` that this process created, or
// -1. The window layer watches it for readability (a socket notifier) and
// then calls DispatchActivationRequests.
int InstanceActivationSocket(const std::string& name);

// Stops taking activation requests for the block `name` (the block itself
// stays until the process ends): a copy started now finds nobody answering
// and starts on its own instead of being handed to a window that is
// closing.
void CloseInstanceActivation(const std::string& name);
// Ends the block `name` this process created, before the process ends:
// removes its socket and lock file (each only while the name still leads
// to the one this process made, never another copy's) and lets the lock
// go. Nothing when this process holds no such block.
void ReleaseInstanceBlock(const std::string& name);
// Serves the requests waiting on the block `name`: waits up to
// `timeoutMs` (0: not at all) for the first, then takes every pending
// connection and calls the handler once per activation request. Returns the
// number of activation requests served.
int DispatchActivationRequests(const std::string& name, int timeoutMs);

}  // namespace purgo::platform
