// The stand-in progress window's Ctrl-C handling when windows of several
// threads are open at once.
#include <signal.h>

#include <future>
#include <thread>

#include "support/Fixture.h"

namespace qvx::test {
namespace {

#if !defined(_WIN32)
using ProgressTest = QvxTest;

bool InterruptHandlerInstalled() {
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  return current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN;
}

// One thread's window closing must not take the handler from another
// thread's window that is still open: Ctrl-C then still cancels that one,
// and the handler goes only when the last window closes.
TEST_F(ProgressTest, WindowsOfTwoThreadsShareTheInterruptHandler) {
  QvxComSetProgressHandler(nullptr, nullptr);  // the default window on both threads
  ASSERT_FALSE(InterruptHandlerInstalled());
  std::promise<void> secondOpen, interrupted;
  std::promise<BOOL> secondAnswer;
  std::thread second([&] {
    PercentDlgOpen(0, 0, 0);
    secondOpen.set_value();
    interrupted.get_future().wait();
    secondAnswer.set_value(PercentProgress(1, 2, 0, 100, TRUE));
    PercentDlgClose();
  });
  ASSERT_TRUE(PercentDlgOpen(0, 0, 0));
  secondOpen.get_future().wait();
  PercentDlgClose();
  const bool stillInstalled = InterruptHandlerInstalled();
  EXPECT_TRUE(stillInstalled);
  if (stillInstalled) raise(SIGINT);  // without the handler this would end the program
  interrupted.set_value();
  EXPECT_EQ(secondAnswer.get_future().get(), stillInstalled ? FALSE : TRUE);
  second.join();
  EXPECT_FALSE(InterruptHandlerInstalled());
  // A new window starts uncancelled.
  ASSERT_TRUE(PercentDlgOpen(0, 0, 0));
  EXPECT_TRUE(PercentProgress(0, 1, 0, 100, TRUE));
  PercentDlgClose();
}
#endif

}  // namespace
}  // namespace qvx::test
