// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowOptions.h"

#include <cstdlib>
#include <cstring>

namespace purgo {
namespace {

// Options the window system reads from the command line (QGuiApplication,
// QApplication).
struct TWindowOption {
  const char* name;
  bool takesValue;
};
constexpr TWindowOption kWindowOptions[] = {
    {"platform", true},   {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},   {"qwindowtitle", true},  {"session", true},
    {"style", true},      {"stylesheet", true},         {"display", true},       {"geometry", true},
    {"qmljsdebugger", false}, {"reverse", false},       {"widgetcount", false},  {"nograb", false},
    {"dograb", false},
};

// How many arguments from argv[i] on are one window option (0: none).
int WindowOptionLength(int argc, const char* const* argv, int i) {
  const char* a = argv[i];
  if (a[0] != '-') return 0;
  a += a[1] == '-' ? 2 : 1;
  const char* eq = std::strchr(a, '=');
  const std::size_t len = eq != nullptr ? static_cast<std::size_t>(eq - a) : std::strlen(a);
  for (const TWindowOption& o : kWindowOptions) {
    if (std::strlen(o.name) != len || std::strncmp(o.name, a, len) != 0) continue;
    return o.takesValue && eq == nullptr && i + 1 < argc ? 2 : 1;
  }
  return 0;
}

}  // namespace

std::vector<std::string> OwnArguments(int argc, const char* const* argv) {
  int i = 1;
  while (i < argc) {
    const int n = WindowOptionLength(argc, argv, i);
    if (n == 0) break;
    i += n;
  }
  std::vector<std::string> own;
  for (; i < argc; ++i) own.emplace_back(argv[i]);
  return own;
}

bool WindowSystemGiven(int argc, const char* const* argv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return true;
  }
  for (int i = 1; i < argc;) {
    const int n = WindowOptionLength(argc, argv, i);
    if (n == 0) break;
    const char* a = argv[i] + (argv[i][1] == '-' ? 2 : 1);
    if (std::strncmp(a, "platform", 8) == 0 && (a[8] == '\0' || a[8] == '=')) return true;
    i += n;
  }
  return false;
}

}  // namespace purgo
