#include "cli/Interrupt.h"

#include <signal.h>
#include <unistd.h>

#include "cli/ImageFile.h"

namespace qvx::cli {

namespace {

volatile sig_atomic_t g_interrupted = 0;

// Only async-signal-safe calls: unlink inside RemovePendingTempFiles, _exit.
void OnSignal(int signal) {
  g_interrupted = 1;
  RemovePendingTempFiles();
  _exit(128 + signal);
}

}  // namespace

void WatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return g_interrupted != 0; }

}  // namespace qvx::cli
