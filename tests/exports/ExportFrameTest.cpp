// The frame every effect export passes through.
#include "exports/ExportFrame.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class ExportFrameTest : public QvxTest {
 protected:
  static BOOL Refuse(void*, DWORD, DWORD, DWORD) { return FALSE; }
  static BOOL Record(void* context, DWORD a, DWORD b, DWORD c) {
    auto* seen = static_cast<std::vector<DWORD>*>(context);
    *seen = {a, b, c};
    return TRUE;
  }
};

TEST_F(ExportFrameTest, WindowThatCannotOpenStopsTheCall) {
  QvxComSetDlgOpenHandler(&ExportFrameTest::Refuse, nullptr);
  bool ran = false;
  HGLOBAL result = RunEffect(DialogArgs{FALSE, 1, 2, 3}, [&] {
    ran = true;
    return MakePicture(Layout::kRgb24, 1, 1, 1);
  });
  EXPECT_EQ(result, nullptr);
  EXPECT_FALSE(ran);
  EXPECT_EQ(GetErrorStatus(), 2);

  ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(2)};
  EXPECT_FALSE(RunPairEffectEx(DialogArgs{FALSE, 0, 0, 0}, &out, [&] {
    ran = true;
    return ImageHandles{};
  }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(out.Picture, reinterpret_cast<HGLOBAL>(1)) << "the out-record is not touched";

  // Silent calls never ask for the window.
  HGLOBAL silent = Keep(RunEffect(DialogArgs{TRUE, 0, 0, 0}, [] {
    return MakePicture(Layout::kRgb24, 1, 1, 1);
  }));
  EXPECT_NE(silent, nullptr);
  EXPECT_EQ(GetErrorStatus(), 0);
}

TEST_F(ExportFrameTest, WindowGetsTheCallersArgumentsAndIsClosed) {
  std::vector<DWORD> seen;
  QvxComSetDlgOpenHandler(&ExportFrameTest::Record, &seen);
  bool openDuringWork = false;
  SetErrorStatus(9);
  HGLOBAL result = Keep(RunEffect(DialogArgs{FALSE, 10, 20, 30}, [&] {
    openDuringWork = QvxComDlgIsOpen();
    return MakePicture(Layout::kRgb24, 1, 1, 1);
  }));
  EXPECT_NE(result, nullptr);
  EXPECT_EQ(seen, (std::vector<DWORD>{10, 20, 30}));
  EXPECT_TRUE(openDuringWork);
  EXPECT_FALSE(QvxComDlgIsOpen());
  EXPECT_EQ(GetErrorStatus(), 0);

  // A failing worker keeps its own code and the window still closes.
  EXPECT_EQ(RunEffect(DialogArgs{FALSE, 0, 0, 0}, [] {
              SetErrorStatus(5);
              return HGLOBAL{};
            }),
            nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_FALSE(QvxComDlgIsOpen());
}

TEST_F(ExportFrameTest, PairsAndTheirExTwins) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 1, 1, 1));
  HGLOBAL mask = Keep(MakePicture(Layout::kPalette1, 1, 1, 1));
  const ImageHandles pair = UnpackHandles(
      RunPairEffect(DialogArgs{TRUE, 0, 0, 0}, [&] { return ImageHandles{picture, mask}; }));
  EXPECT_EQ(pair.Picture, picture);
  EXPECT_EQ(pair.Mask, mask);

  // A failing Ex twin still stores the pair it got.
  ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(2)};
  SetErrorStatus(0);
  EXPECT_FALSE(RunPairEffectEx(DialogArgs{TRUE, 0, 0, 0}, &out, [] {
    SetErrorStatus(7);
    return ImageHandles{};
  }));
  EXPECT_EQ(out.Picture, nullptr);
  EXPECT_EQ(out.Mask, nullptr);
  EXPECT_EQ(GetErrorStatus(), 7);
  EXPECT_TRUE(RunPairEffectEx(DialogArgs{TRUE, 0, 0, 0}, &out,
                              [&] { return ImageHandles{picture, nullptr}; }));
  EXPECT_EQ(out.Picture, picture);
  EXPECT_EQ(GetErrorStatus(), 0);
}

TEST_F(ExportFrameTest, CallerRecordsAreCopiedOrTakenAsZero) {
  POINT points[2] = {{1, 2}, {3, 4}};
  const RECT rect{5, 6, 7, 8};
  ImageHandles images{reinterpret_cast<HGLOBAL>(0x10), reinterpret_cast<HGLOBAL>(0x20)};
  SelectionArgs args = CopySelection(&images, 2, points, 2, &rect, TRUE);
  EXPECT_EQ(args.picture, images.Picture);
  EXPECT_EQ(args.mask, images.Mask);
  EXPECT_EQ(args.points, points);
  EXPECT_EQ(args.rect.right, 7);
  args = CopySelection(nullptr, 3, nullptr, 0, nullptr, FALSE);
  EXPECT_EQ(args.picture, nullptr);
  EXPECT_EQ(args.mask, nullptr);
  EXPECT_EQ(args.rect.left | args.rect.top | args.rect.right | args.rect.bottom, 0);
}

}  // namespace
}  // namespace qvx::test
