// The frame every effect export passes through: the progress window and the
// error status. (Pairs and Ex twins are checked through the geometric
// exports, the caller's selection records through every effect's tests.)
#include "exports/ExportFrame.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class ExportFrameTest : public QvxTest {
 protected:
  // The window records its arguments and opens when `opens_`.
  static BOOL Window(void* context, DWORD a, DWORD b, DWORD c) {
    auto* self = static_cast<ExportFrameTest*>(context);
    self->seen_ = {a, b, c};
    return self->opens_;
  }
  static HGLOBAL NewPicture() { return MakePicture(Layout::kRgb24, 1, 1, 1); }
  std::vector<DWORD> seen_;
  BOOL opens_ = TRUE;
};

TEST_F(ExportFrameTest, TheWindowGetsTheCallersArgumentsAndIsClosed) {
  QvxComSetDlgOpenHandler(&ExportFrameTest::Window, this);
  bool openDuringWork = false;
  SetErrorStatus(9);
  EXPECT_NE(Keep(RunEffect({FALSE, 10, 20, 30},
                           [&] { return openDuringWork = QvxComDlgIsOpen(), NewPicture(); })),
            nullptr);
  EXPECT_EQ(seen_, (std::vector<DWORD>{10, 20, 30}));
  EXPECT_TRUE(openDuringWork && !QvxComDlgIsOpen());
  EXPECT_EQ(GetErrorStatus(), 0);
  // A failing worker keeps its own code and the window still closes.
  EXPECT_EQ(RunEffect({FALSE, 0, 0, 0}, [] { return SetErrorStatus(5), HGLOBAL{}; }), nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_FALSE(QvxComDlgIsOpen());
  // A window that cannot open stops the call with 2 before the worker runs,
  // and the Ex out-record is not touched; silent calls never ask for it.
  opens_ = FALSE;
  bool ran = false;
  EXPECT_EQ(RunEffect({FALSE, 1, 2, 3}, [&] { return ran = true, NewPicture(); }), nullptr);
  EXPECT_EQ(GetErrorStatus(), 2);
  const HGLOBAL one = reinterpret_cast<HGLOBAL>(1);
  ImageHandles out{one, one};
  EXPECT_FALSE(RunPairEffectEx({FALSE, 0, 0, 0}, &out, [&] { return ran = true, ImageHandles{}; }));
  EXPECT_TRUE(!ran && out.Picture == one);
  EXPECT_NE(Keep(RunEffect({TRUE, 0, 0, 0}, NewPicture)), nullptr);
  EXPECT_EQ(GetErrorStatus(), 0);
}

TEST_F(ExportFrameTest, ExTwinsRefuseANullOutRecordBeforeAnyWork) {
  QvxComSetDlgOpenHandler(&ExportFrameTest::Window, this);
  bool ran = false;
  SetErrorStatus(0);
  EXPECT_FALSE(RunPairEffectEx({FALSE, 4, 5, 6}, nullptr, [&] {
    ran = true;
    return ImageHandles{NewPicture(), nullptr};
  }));
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_TRUE(!ran && seen_.empty() && !QvxComDlgIsOpen());
  // The geometric twins, with pictures they would otherwise resize and
  // rotate, mask included: nothing is made, so nothing can leak.
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 5, 2));
  HGLOBAL mask = Keep(MakeMask({"#.#.#.", ".#.#.#", "######", "......", "##..##"}));
  ImageHandles in{picture, mask};
  const long live = QvxMemLiveBlocks();
  EXPECT_FALSE(QVResizeEx(&in, nullptr, 12, 10, TRUE, TRUE, 0, 0, 0));
  EXPECT_EQ(GetErrorStatus(), 5);
  SetErrorStatus(0);
  EXPECT_FALSE(QVRotationEx(&in, nullptr, 4500, 0, 0, 1, 0, 0, 0, 0, FALSE, 0, 0, 0));
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
}

}  // namespace
}  // namespace qvx::test
