// SPDX-License-Identifier: GPL-3.0-or-later
// The single-instance block on Windows: a named file mapping of 8 bytes in
// the session's namespace ("Local\"), which the system removes when its
// last handle goes, so a crashed first copy leaves nothing behind. The
// hand-over is the window's own: a second copy restores the window whose
// handle the record holds and brings it to the front. No socket is
// involved, so there are no requests to dispatch.
#include "platform/SingleInstance.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/win32/WinFiles.h"

namespace purgo::platform {
namespace {

struct Block {
  HANDLE mapping = nullptr;
  void* view = nullptr;
  bool answering = true;
};

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, Block>& Blocks() {
  static std::map<std::string, Block> blocks;
  return blocks;
}
ActivationHandler& Handler() {
  static ActivationHandler handler;
  return handler;
}

std::wstring MappingName(const std::string& name) {
  // Backslashes would name a namespace; anything else is allowed.
  std::wstring w = win32::Wide(name);
  for (wchar_t& c : w) {
    if (c == L'\\') c = L'_';
  }
  return L"Local\\" + w;
}

InstanceRecord Decode(const void* view) {
  unsigned char b[8];
  std::memcpy(b, view, sizeof b);
  InstanceRecord r;
  r.mainWindow = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
  r.application = b[4] | (b[5] << 8) | (b[6] << 16) | (std::uint32_t{b[7]} << 24);
  return r;
}

HWND WindowOf(const InstanceRecord& r) {
  // Window handles are 32-bit values even in 64-bit processes.
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(r.mainWindow));
}

}  // namespace

std::optional<InstanceRecord> OpenInstanceBlock(const std::string& name) {
  HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, MappingName(name).c_str());
  if (mapping == nullptr) return std::nullopt;
  const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 8);
  std::optional<InstanceRecord> r;
  if (view != nullptr) {
    r = Decode(view);
    ::UnmapViewOfFile(view);
  }
  ::CloseHandle(mapping);
  return r;
}

CreateBlockResult CreateInstanceBlock(const std::string& name, const InstanceRecord& record) {
  std::lock_guard<std::mutex> lock(Mutex());
  if (Blocks().count(name) != 0) return CreateBlockResult::AlreadyExists;
  HANDLE mapping =
      ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, MappingName(name).c_str());
  if (mapping == nullptr) return CreateBlockResult::Failed;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mapping);
    return CreateBlockResult::AlreadyExists;
  }
  void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 8);
  if (view == nullptr) {
    ::CloseHandle(mapping);
    return CreateBlockResult::Failed;
  }
  const unsigned char b[8] = {
      static_cast<unsigned char>(record.mainWindow), static_cast<unsigned char>(record.mainWindow >> 8),
      static_cast<unsigned char>(record.mainWindow >> 16), static_cast<unsigned char>(record.mainWindow >> 24),
      static_cast<unsigned char>(record.application), static_cast<unsigned char>(record.application >> 8),
      static_cast<unsigned char>(record.application >> 16), static_cast<unsigned char>(record.application >> 24)};
  std::memcpy(view, b, sizeof b);
  Blocks()[name] = Block{mapping, view, true};
  return CreateBlockResult::Created;
}

bool InstanceAnswers(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(Mutex());
    auto it = Blocks().find(name);
    if (it != Blocks().end()) return it->second.answering && ::IsWindow(WindowOf(Decode(it->second.view)));
  }
  const std::optional<InstanceRecord> r = OpenInstanceBlock(name);
  return r && r->mainWindow != 0 && ::IsWindow(WindowOf(*r));
}

bool RequestInstanceActivation(const std::string& name) {
  if (!InstanceAnswers(name)) return false;
  const std::optional<InstanceRecord> r = OpenInstanceBlock(name);
  if (!r) return false;
  const HWND window = WindowOf(*r);
  ::ShowWindow(window, ::IsIconic(window) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(window);
  return true;
}

void SetActivationHandler(ActivationHandler handler) {
  std::lock_guard<std::mutex> lock(Mutex());
  Handler() = std::move(handler);
}

bool HoldsInstanceBlock(const std::string& name) {
  std::lock_guard<std::mutex> lock(Mutex());
  return Blocks().count(name) != 0;
}

int InstanceActivationSocket(const std::string& /*name*/) { return -1; }

void CloseInstanceActivation(const std::string& name) {
  std::lock_guard<std::mutex> lock(Mutex());
  auto it = Blocks().find(name);
  if (it == Blocks().end()) return;
  // A copy started now finds no window to hand over to and starts alone.
  it->second.answering = false;
  std::memset(it->second.view, 0, 4);
}

void ReleaseInstanceBlock(const std::string& name) {
  std::lock_guard<std::mutex> lock(Mutex());
  auto it = Blocks().find(name);
  if (it == Blocks().end()) return;
  ::UnmapViewOfFile(it->second.view);
  ::CloseHandle(it->second.mapping);
  Blocks().erase(it);
}

int DispatchActivationRequests(const std::string& /*name*/, int /*timeoutMs*/) { return 0; }

}  // namespace purgo::platform
