// Effects called from several threads at once on pictures of their own:
// each thread gets the same pictures as a lone caller, its own progress
// reports through its own window, and its own error status.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

using ThreadsTest = QvxTest;

// One thread's work: an effect that must succeed and a call that must fail
// with `code`.
struct ThreadWork {
  std::function<HGLOBAL(ImageHandles*)> effect;
  std::function<HGLOBAL(ImageHandles*)> failing;
  int code;
};

struct Window {
  int opened = 0, reports = 0;
  static BOOL Open(void* self, DWORD, DWORD, DWORD) {
    return ++static_cast<Window*>(self)->opened, TRUE;
  }
  static BOOL Report(void* self, int, int, int, int, BOOL) {
    return ++static_cast<Window*>(self)->reports, TRUE;
  }
};

TEST_F(ThreadsTest, EffectsOnSeveralThreadsKeepTheirPicturesWindowsAndStatus) {
  POINT triangle[] = {{1, 1}, {30, 4}, {12, 20}};
  RECT ellipse{2, 3, 25, 18};
  const std::vector<ThreadWork> works = {
      {[](ImageHandles* in) { return QVBlur(in, 1, nullptr, 0, nullptr, TRUE, 3, FALSE, 1, 2, 3); },
       [](ImageHandles* in) { return QVBlur(in, 4, nullptr, 0, nullptr, TRUE, 3, FALSE, 0, 0, 0); },
       5},
      {[&](ImageHandles* in) {
         return QVMotionBlur(in, 2, triangle, 3, nullptr, TRUE, 1, 0, 40, FALSE, 0, 0, 0);
       },
       [](ImageHandles*) {
         return QVMotionBlur(nullptr, 1, nullptr, 0, nullptr, TRUE, 0, 5, 0, FALSE, 0, 0, 0);
       },
       7},
      {[&](ImageHandles* in) {
         return QVOilPaint(in, 3, nullptr, 0, &ellipse, FALSE, 1, 4, FALSE, 0, 0, 0);
       },
       [](ImageHandles* in) { return QVOilPaint(in, 1, nullptr, 0, nullptr, TRUE, 2, 4, FALSE, 0, 0, 0); },
       5},
      {[](ImageHandles* in) {
         return QVRGBGamma(in, 1, nullptr, 0, nullptr, TRUE, 0.5, -1, 2, FALSE, 0, 0, 0);
       },
       [](ImageHandles* in) {
         return QVRGBGamma(in, 3, nullptr, 0, nullptr, TRUE, 0.5, -1, 2, FALSE, 0, 0, 0);
       },
       5},
  };
  constexpr int kRounds = 6;
  // What a lone caller gets.
  std::vector<std::vector<std::uint8_t>> expected;
  for (std::size_t t = 0; t < works.size(); ++t) {
    HGLOBAL source = MakePicture(Layout::kRgb24, 33, 21, 40 + static_cast<std::uint32_t>(t));
    ImageHandles in{source, nullptr};
    HGLOBAL result = works[t].effect(&in);
    ASSERT_NE(result, nullptr) << t;
    expected.push_back(BlockBytes(result));
    GlobalFree(result);
    GlobalFree(source);
  }
  std::vector<int> mismatches(works.size()), wrongCodes(works.size()), leftOpen(works.size());
  std::vector<Window> windows(works.size());
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < works.size(); ++t)
    threads.emplace_back([&, t] {
      Window& window = windows[t];
      QvxComSetDlgOpenHandler(&Window::Open, &window);
      QvxComSetProgressHandler(&Window::Report, &window);
      HGLOBAL source = MakePicture(Layout::kRgb24, 33, 21, 40 + static_cast<std::uint32_t>(t));
      ImageHandles in{source, nullptr};
      ++ready;
      while (ready.load() < static_cast<int>(works.size())) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        HGLOBAL result = works[t].effect(&in);
        if (!result || GetErrorStatus() != 0 || BlockBytes(result) != expected[t]) ++mismatches[t];
        if (result) GlobalFree(result);
        if (works[t].failing(&in) || GetErrorStatus() != works[t].code) ++wrongCodes[t];
        if (QvxComDlgIsOpen()) ++leftOpen[t];
      }
      GlobalFree(source);
      QvxComSetDlgOpenHandler(nullptr, nullptr);
      QvxComSetProgressHandler(nullptr, nullptr);
    });
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < works.size(); ++t) {
    SCOPED_TRACE(testing::Message() << "thread " << t);
    EXPECT_EQ(mismatches[t], 0);
    EXPECT_EQ(wrongCodes[t], 0);
    EXPECT_EQ(leftOpen[t], 0);
    EXPECT_EQ(windows[t].opened, 2 * kRounds);  // every call opens the window
    EXPECT_GE(windows[t].reports, kRounds);
  }
}

}  // namespace
}  // namespace qvx::test
