// Filters whose work tables follow the row's width need work memory in
// proportion to their pictures: on a one-row picture millions of pixels
// wide, a call may hold at most a few times the bytes of its source and
// result plus a little more, whatever its parameters.
#include <functional>
#include <string>
#include <vector>

#include "platform/GlobalMemory.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

constexpr int kWidth = 1 << 22;
constexpr std::size_t kSlack = std::size_t{2} << 20;
constexpr std::size_t kTimesPictures = 8;

struct MemoryCase {
  std::string what;
  Layout layout;
  std::function<HGLOBAL(ImageHandles*)> call;
};

#define WHOLE(in) in, 1, nullptr, 0, nullptr, TRUE
#define QUIET TRUE, 0, 0, 0

using WorkMemoryTest = QvxTest;

TEST_F(WorkMemoryTest, WideOneRowPicturesNeedWorkMemoryInProportion) {
  if (!HasAccounting()) GTEST_SKIP() << "no accounting on this platform";
  const std::vector<MemoryCase> cases = {
      {"blur radius 20", Layout::kGrey8,
       [](ImageHandles* in) { return QVBlur(WHOLE(in), 20, QUIET); }},
      {"blur radius 1", Layout::kGrey8,
       [](ImageHandles* in) { return QVBlur(WHOLE(in), 1, QUIET); }},
      {"sharp 100", Layout::kGrey8, [](ImageHandles* in) { return QVSharp(WHOLE(in), 100, QUIET); }},
      {"mosaic 2 x 2, 1-bit", Layout::kPalette1,
       [](ImageHandles* in) { return QVMosaic(WHOLE(in), 2, 2, QUIET); }},
      {"mosaic one cell, 1-bit", Layout::kPalette1,
       [](ImageHandles* in) { return QVMosaic(WHOLE(in), kWidth, 1, QUIET); }},
      {"mosaic 3 x 1, 8-bit", Layout::kGrey8,
       [](ImageHandles* in) { return QVMosaic(WHOLE(in), 3, 1, QUIET); }},
  };
  for (const MemoryCase& c : cases) {
    HGLOBAL picture = MakePicture(c.layout, kWidth, 1, 7);
    ASSERT_NE(picture, nullptr) << c.what;
    ImageHandles in{picture, nullptr};
    const std::size_t before = QvxMemLiveBytes();
    QvxMemResetPeakBytes();
    HGLOBAL result = c.call(&in);
    const std::size_t peak = QvxMemPeakBytes();
    ASSERT_NE(result, nullptr) << c.what << ": error " << GetErrorStatus();
    const std::size_t pictures = GlobalSize(picture) + GlobalSize(result);
    const std::size_t work = peak - before - GlobalSize(result);
    EXPECT_LE(work, kTimesPictures * pictures + kSlack)
        << c.what << ": " << work << " bytes of work for " << pictures << " bytes of pictures";
    GlobalFree(result);
    GlobalFree(picture);
  }
}

}  // namespace
}  // namespace qvx::test
