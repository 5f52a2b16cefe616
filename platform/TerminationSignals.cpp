// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <initializer_list>

namespace purgo::platform {
namespace {

int gPair[2] = {-1, -1};

void OnTerminate(int) {
  const char c = 1;
  // Nothing else is safe in a signal handler; the loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(gPair[1], &c, 1);
}

}  // namespace

int TerminationSignalDescriptor() {
  if (gPair[0] >= 0) return gPair[0];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPair) != 0) {
    gPair[0] = gPair[1] = -1;
    return -1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnTerminate;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
  return gPair[0];
}

void TakeTerminationSignals() {
  char buffer[64];
  if (gPair[0] < 0) return;
  while (::read(gPair[0], buffer, sizeof buffer) > 0) {
  }
}

}  // namespace purgo::platform
