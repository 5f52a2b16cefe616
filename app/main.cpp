// SPDX-License-Identifier: GPL-3.0-or-later
// Purgo: the main sequence. Options on the command line run the scripted
// front end instead of the window. Otherwise the process-wide objects are
// created in their order, the start-up command runs (in a later copy it only hands over to
// the first), the message loop runs until the main window closes, the
// settings are saved, and the objects are freed in reverse.
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/AppCommand.h"
#include "app/CommandLineArgs.h"
#include "app/WindowOptions.h"
#include "platform/TerminationSignals.h"
#include "ui/PGCForm.h"

namespace {

// Logout, SIGTERM and Ctrl+C close the window as the user would, so the
// settings are saved as at any other end.
void CloseOnTermination(QApplication& app) {
  const int fd = purgo::platform::TerminationSignalDescriptor();
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, [&app] {
    purgo::platform::TakeTerminationSignals();
    if (purgo::frmPGC != nullptr) {
      purgo::frmPGC->close();
    } else {
      app.quit();
    }
  });
}

// With PURGO_BENCH_STARTUP set, the program reports on standard error how
// long it took from entering main to the main window shown and how long
// the final save took, and closes itself once shown (bench/startup).
bool BenchStartup() {
  const char* v = std::getenv("PURGO_BENCH_STARTUP");
  return v != nullptr && *v != '\0';
}

double MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  // The command line runs before anything of the window exists.
  if (int code = 0; purgo::RunCommandLine(argc, argv, code)) return code;
  if (!purgo::WindowSystemGiven(argc, argv)) {
    std::fputs("purgo: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
               "use 'purgo --help' for the command line\n",
               stderr);
    return 1;
  }
  // Caught from here on: a signal that comes while the window is being made
  // (this copy already answers later starts) closes it once the loop runs,
  // instead of killing the program before it could save.
  purgo::platform::TerminationSignalDescriptor();
  purgo::CreateAppSingletons();
  int code = 0;
  {
    purgo::TAppCommand command(argc, argv);
    command.Execute();
    if (QApplication* app = command.Application()) {
      CloseOnTermination(*app);
      if (BenchStartup()) {
        // Runs once the loop has handled the show and the first paint.
        QTimer::singleShot(0, app, [start] {
          std::fprintf(stderr, "startup-ms %.1f\n", MsSince(start));
          if (purgo::frmPGC != nullptr) purgo::frmPGC->close();
        });
      }
      code = app->exec();
      const auto saving = std::chrono::steady_clock::now();
      purgo::SaveAppSettings();
      if (BenchStartup()) std::fprintf(stderr, "save-ms %.1f\n", MsSince(saving));
    }
  }
  purgo::FreeAppSingletons();
  return code;
}
