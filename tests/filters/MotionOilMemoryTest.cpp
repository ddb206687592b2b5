// Motion blur and oil paint on one-row pictures of 2^22 pixels: the work
// memory of a call stays in proportion to its pictures, however wide the
// row and whatever the sample count or brush (tables sized by the width
// times the samples or the brush would need many times the pictures: 1 GB
// for 64 samples here).
#include <functional>
#include <string>
#include <vector>

#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

constexpr int kWide = 1 << 22;

#define WHOLE(in) in, 1, nullptr, 0, nullptr, TRUE
#define QUIET TRUE, 0, 0, 0

struct MemoryCase {
  std::string what;
  Layout layout;
  std::function<HGLOBAL(ImageHandles*)> call;
};

using MotionOilMemoryTest = QvxTest;

TEST_F(MotionOilMemoryTest, OneRowPicturesNeedMemoryInProportionToThemselves) {
  if (!HasAccounting()) GTEST_SKIP() << "no accounts of global memory here";
  const std::vector<MemoryCase> cases = {
      {"linear 64 samples at 30 degrees", Layout::kRgb24,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 0, 64, 30, QUIET); }},
      {"linear 64 samples at 180 degrees", Layout::kGrey8,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 0, 64, 180, QUIET); }},
      {"zoom 64 samples", Layout::kRgb24,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 2, 64, 0, QUIET); }},
      {"zoom 64 samples", Layout::kGrey8,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 2, 64, 0, QUIET); }},
      {"spin without arc", Layout::kRgb24,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 1, 0, 0, QUIET); }},
      {"oil paint channels 5", Layout::kGrey8,
       [](ImageHandles* in) { return QVOilPaint(WHOLE(in), 0, 5, QUIET); }},
      {"oil paint luminance 5", Layout::kGrey8,
       [](ImageHandles* in) { return QVOilPaint(WHOLE(in), 1, 5, QUIET); }},
      {"oil paint channels 16", Layout::kRgb24,
       [](ImageHandles* in) { return QVOilPaint(WHOLE(in), 0, 16, QUIET); }},
  };
  for (const MemoryCase& c : cases) {
    HGLOBAL picture = MakePicture(c.layout, kWide, 1, 5);
    ASSERT_NE(picture, nullptr) << c.what;
    const SIZE_T pictureBytes = GlobalSize(picture);
    ImageHandles in{picture, nullptr};
    QvxMemResetPeakBytes();
    const SIZE_T before = QvxMemLiveBytes();
    HGLOBAL result = c.call(&in);
    const SIZE_T work = QvxMemPeakBytes() - before;
    EXPECT_NE(result, nullptr) << c.what << " on " << NameOf(c.layout) << ": error "
                               << GetErrorStatus();
    // The result, and for the frame a row of colours and a decoded source
    // row (four bytes a pixel each, so up to eight bytes for each byte of
    // an 8-bit picture), a few tables of the row's size and a few MB.
    const SIZE_T budget = 10 * pictureBytes + (SIZE_T{16} << 20);
    EXPECT_LE(work, budget) << c.what << " on " << NameOf(c.layout) << ": " << work
                            << " bytes for a picture of " << pictureBytes;
    RecordProperty(c.what + " " + NameOf(c.layout), std::to_string(work));
    if (result) GlobalFree(result);
    GlobalFree(picture);
  }
}

}  // namespace
}  // namespace qvx::test
