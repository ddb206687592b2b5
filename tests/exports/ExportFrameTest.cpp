// The frame every effect export passes through: the progress window, and the
// result and error status of one-picture, pair and Ex calls.
#include "exports/ExportFrame.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class ExportFrameTest : public QvxTest {
 protected:
  // The window records its arguments and opens when `opens`.
  static BOOL Window(void* context, DWORD a, DWORD b, DWORD c) {
    auto* self = static_cast<ExportFrameTest*>(context);
    self->seen_ = {a, b, c};
    return self->opens_;
  }
  static HGLOBAL NewPicture() { return MakePicture(Layout::kRgb24, 1, 1, 1); }
  std::vector<DWORD> seen_;
  BOOL opens_ = TRUE;
  const HGLOBAL kOne = reinterpret_cast<HGLOBAL>(1), kTwo = reinterpret_cast<HGLOBAL>(2);
};

TEST_F(ExportFrameTest, TheWindowGetsTheCallersArgumentsAndIsClosed) {
  QvxComSetDlgOpenHandler(&ExportFrameTest::Window, this);
  bool openDuringWork = false;
  SetErrorStatus(9);
  EXPECT_NE(Keep(RunEffect(DialogArgs{FALSE, 10, 20, 30},
                           [&] { return openDuringWork = QvxComDlgIsOpen(), NewPicture(); })),
            nullptr);
  EXPECT_EQ(seen_, (std::vector<DWORD>{10, 20, 30}));
  EXPECT_TRUE(openDuringWork);
  EXPECT_FALSE(QvxComDlgIsOpen());
  EXPECT_EQ(GetErrorStatus(), 0);
  // A failing worker keeps its own code and the window still closes.
  EXPECT_EQ(RunEffect(DialogArgs{FALSE, 0, 0, 0}, [] { return SetErrorStatus(5), HGLOBAL{}; }),
            nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_FALSE(QvxComDlgIsOpen());
  // A window that cannot open stops the call with 2 before the worker runs;
  // silent calls never ask for it.
  opens_ = FALSE;
  bool ran = false;
  EXPECT_EQ(RunEffect(DialogArgs{FALSE, 1, 2, 3}, [&] { return ran = true, NewPicture(); }),
            nullptr);
  EXPECT_EQ(GetErrorStatus(), 2);
  ImageHandles out{kOne, kTwo};
  EXPECT_FALSE(RunPairEffectEx(DialogArgs{FALSE, 0, 0, 0}, &out,
                               [&] { return ran = true, ImageHandles{}; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(out.Picture, kOne) << "the out-record is not touched";
  EXPECT_NE(Keep(RunEffect(DialogArgs{TRUE, 0, 0, 0}, NewPicture)), nullptr);
  EXPECT_EQ(GetErrorStatus(), 0);
}

// Pairs come back packed; an Ex twin stores the pair it got even when the
// worker failed. (The caller's selection records reach the workers through
// every effect's tests.)
TEST_F(ExportFrameTest, PairsAndExTwins) {
  HGLOBAL picture = Keep(NewPicture()), mask = Keep(MakePicture(Layout::kPalette1, 1, 1, 1));
  const ImageHandles pair = UnpackHandles(
      RunPairEffect(DialogArgs{TRUE, 0, 0, 0}, [&] { return ImageHandles{picture, mask}; }));
  EXPECT_TRUE(pair.Picture == picture && pair.Mask == mask);
  ImageHandles out{kOne, kTwo};
  SetErrorStatus(0);
  EXPECT_FALSE(RunPairEffectEx(DialogArgs{TRUE, 0, 0, 0}, &out,
                               [] { return SetErrorStatus(7), ImageHandles{}; }));
  EXPECT_TRUE(out.Picture == nullptr && out.Mask == nullptr && GetErrorStatus() == 7);
}

}  // namespace
}  // namespace qvx::test
