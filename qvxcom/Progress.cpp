// Progress window of the stand-in sibling library.
//
// The stand-in shows no window: the default handler draws a text bar on
// standard error when that is a terminal (a console on Windows) and the
// window was opened, and answers "cancel" once the user has pressed Ctrl-C
// while the window was open. Tests and tools install their own handlers per
// thread.
//
// Handlers and the window belong to the thread; the interrupt handler is the
// process's. It is installed when the first default window opens and put
// back when the last one closes (counted under a lock), so windows of
// several threads never undo each other's handler, and Ctrl-C cancels every
// window open at the time.
#if defined(_WIN32)
#include <io.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>

#include "platform/QvxCom.h"

namespace {

struct ProgressState {
  QvxProgressHandler progress = nullptr;
  void* progressContext = nullptr;
  QvxDlgOpenHandler open = nullptr;
  void* openContext = nullptr;
  bool windowOpen = false;
  bool holdsInterrupt = false;  // this window counts among the interrupt's users
  int lastPercent = -1;
};

thread_local ProgressState g_state;

std::atomic<bool> g_interrupted{false};
// Guarded by InterruptMutex(): open default windows, and whether the
// handler went in.
int g_interruptUsers = 0;
bool g_handlerInstalled = false;

// Made in static storage on first use and never destroyed, so windows
// closing while the process exits can still take it; no heap block is
// left behind when the library is unloaded.
std::mutex& InterruptMutex() {
  alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
  static std::mutex* mutex = new (storage) std::mutex;
  return *mutex;
}

#if defined(_WIN32)
// Console control handler: Ctrl-C is taken as "cancel" and goes no further;
// every other event (Ctrl-Break, closing the console) keeps its usual effect.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT) return FALSE;
  g_interrupted.store(true);
  return TRUE;
}

void InstallInterruptHandler() {
  if (g_handlerInstalled) return;
  if (SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) g_handlerInstalled = true;
  g_interrupted.store(false);
}

void RestoreInterruptHandler() {
  if (!g_handlerInstalled) return;
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  g_handlerInstalled = false;
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// Consoles need not understand escape sequences: the bar ("[" 40 marks "] "
// and "nnn%", 47 characters) is blanked with spaces.
void ClearBar() { std::fprintf(stderr, "\r%47s\r", ""); }
#else
struct sigaction g_previousAction;

void OnInterrupt(int) { g_interrupted.store(true); }

void InstallInterruptHandler() {
  if (g_handlerInstalled) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGINT, &action, &g_previousAction) == 0) g_handlerInstalled = true;
  g_interrupted.store(false);
}

void RestoreInterruptHandler() {
  if (!g_handlerInstalled) return;
  sigaction(SIGINT, &g_previousAction, nullptr);
  g_handlerInstalled = false;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

void ClearBar() { std::fputs("\r\033[K", stderr); }
#endif

void DrawBar(int percent) {
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
  std::fflush(stderr);
}

BOOL DefaultProgress(int done, int total, int percentFrom, int percentTo) {
  if (g_interrupted.load()) return FALSE;
  if (!g_state.windowOpen || !StderrIsTerminal()) return TRUE;
  const long long span = static_cast<long long>(percentTo) - percentFrom;
  long long percent = percentFrom;
  if (total > 0) percent += span * done / total;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (percent != g_state.lastPercent) {
    g_state.lastPercent = static_cast<int>(percent);
    DrawBar(g_state.lastPercent);
  }
  return TRUE;
}

}  // namespace

extern "C" {

namespace {

void TakeInterrupt() {
  if (g_state.holdsInterrupt) return;
  std::lock_guard<std::mutex> guard(InterruptMutex());
  if (g_interruptUsers++ == 0) InstallInterruptHandler();
  g_state.holdsInterrupt = true;
}

void ReleaseInterrupt() {
  if (!g_state.holdsInterrupt) return;
  std::lock_guard<std::mutex> guard(InterruptMutex());
  if (--g_interruptUsers == 0) RestoreInterruptHandler();
  g_state.holdsInterrupt = false;
}

}  // namespace

BOOL WINAPI PercentDlgOpen(DWORD arg1, DWORD arg2, DWORD arg3) {
  if (g_state.open && !g_state.open(g_state.openContext, arg1, arg2, arg3)) return FALSE;
  g_state.windowOpen = true;
  g_state.lastPercent = -1;
  if (!g_state.progress) TakeInterrupt();
  return TRUE;
}

BOOL WINAPI PercentProgress(int done, int total, int percentFrom, int percentTo, BOOL noDialog) {
  if (g_state.progress)
    return g_state.progress(g_state.progressContext, done, total, percentFrom, percentTo, noDialog);
  return DefaultProgress(done, total, percentFrom, percentTo);
}

void WINAPI PercentDlgClose(void) {
  if (g_state.windowOpen && g_state.lastPercent >= 0 && StderrIsTerminal()) {
    ClearBar();
    std::fflush(stderr);
  }
  g_state.windowOpen = false;
  g_state.lastPercent = -1;
  ReleaseInterrupt();
}

void WINAPI QvxComSetProgressHandler(QvxProgressHandler handler, void* context) {
  g_state.progress = handler;
  g_state.progressContext = context;
}

void WINAPI QvxComSetDlgOpenHandler(QvxDlgOpenHandler handler, void* context) {
  g_state.open = handler;
  g_state.openContext = context;
}

BOOL WINAPI QvxComDlgIsOpen(void) { return g_state.windowOpen ? TRUE : FALSE; }

}  // extern "C"
