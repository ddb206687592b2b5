// Reading and writing pixels: the per-depth formats, the cursor, and the
// four pixel exports.
#include <cstring>
#include <random>

#include "frame/DibAccess.h"
#include "frame/Resources.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class PixelAccessTest : public QvxTest {};

// Widths that leave every kind of partial last byte and word.
constexpr int kWidths[] = {1, 2, 3, 5, 7, 8, 9, 13, 33};

TEST_F(PixelAccessTest, ReadsAgreeWithAnIndependentDecoderOnEveryLayout) {
  for (Layout layout : AllLayouts())
    for (int width : kWidths) {
      HGLOBAL picture = MakePicture(layout, width, 3, width * 31 + 7);
      LockedDib locked;
      ASSERT_TRUE(locked.Start(picture, kDepthAll));
      locked->UseRgb = 1;
      PictureView view(picture);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x) {
          ASSERT_TRUE(GetDibPixel(&locked.Record(), x, y));
          const Pixel expected = view.At(x, y);
          Pixel got{expected.index >= 0 ? locked->Index : -1, locked->Red, locked->Green,
                    locked->Blue, BitCountOf(layout) == 32 ? locked->Alpha : 0};
          ASSERT_EQ(got, expected) << NameOf(layout) << " width " << width << " at (" << x
                                   << ", " << y << ")";
        }
      locked.End();
      GlobalFree(picture);
    }
}

TEST_F(PixelAccessTest, CoordinatesCountFromTheTopRow) {
  // 2 x 2, 24-bit: the last row in memory is row 0.
  HGLOBAL picture = MakeBlankPicture(Layout::kRgb24, 2, 2);
  auto* bits = static_cast<BYTE*>(GlobalLock(picture)) + 40;
  bits[8 + 0] = 11;  // second row in memory, first pixel: (0, 0)
  bits[3 + 2] = 22;  // first row in memory, second pixel, red: (1, 1)
  GlobalUnlock(picture);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  GetDibPixel(&locked.Record(), 0, 0);
  EXPECT_EQ(locked->Blue, 11);
  GetDibPixel(&locked.Record(), 1, 1);
  EXPECT_EQ(locked->Red, 22);
  locked.End();
  GlobalFree(picture);
}

TEST_F(PixelAccessTest, SixteenBitChannelArithmetic) {
  HGLOBAL picture = MakeBlankPicture(Layout::kRgb555, 1, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& r = locked.Record();
  const auto word = [&] { return r.Bits[0] | (r.Bits[1] << 8); };
  // Reading: 31 -> 255, 1 -> 8.
  r.Bits[0] = 0x1F;  // blue 31
  r.Bits[1] = 0x04;  // green 0, red 1
  GetDibPixel(&r, 0, 0);
  EXPECT_EQ(r.Blue, 255);
  EXPECT_EQ(r.Red, 8);
  EXPECT_EQ(r.Green, 0);
  // Writing: 255 -> 31, 4 -> 0, 5 -> 1 (5 * 31 / 255 = 0.6078 rounds up).
  r.Red = 255;
  r.Green = 4;
  r.Blue = 5;
  SetDibPixel(&r, 0, 0);
  EXPECT_EQ(word(), (31 << 10) | (0 << 5) | 1);
  locked.End();
  GlobalFree(picture);

  // 5-6-5 green keeps six bits: 255 -> 63, 130 -> trunc(130 * 63 / 255 + 0.5) = 32.
  picture = MakeBlankPicture(Layout::kRgb565, 1, 1);
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& s = locked.Record();
  s.Red = 0;
  s.Green = 130;
  s.Blue = 255;
  SetDibPixel(&s, 0, 0);
  EXPECT_EQ(s.Bits[0] | (s.Bits[1] << 8), (32 << 5) | 31);
  GetDibPixel(&s, 0, 0);
  EXPECT_EQ(s.Green, 130);  // trunc(32 * 255 / 63 + 0.5) = 130
  locked.End();
  GlobalFree(picture);
}

TEST_F(PixelAccessTest, NibblesAndBitsChangeOnlyTheirPixel) {
  HGLOBAL picture = MakeBlankPicture(Layout::kPalette4, 4, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& r = locked.Record();
  r.Bits[0] = 0xAB;
  r.Index = 1;
  SetDibPixel(&r, 1, 0);
  EXPECT_EQ(r.Bits[0], 0xA1);
  r.Index = 0x1F;
  SetDibPixel(&r, 0, 0);
  EXPECT_EQ(r.Bits[0], 0xF1);
  locked.End();
  GlobalFree(picture);

  picture = MakeBlankPicture(Layout::kPalette1, 10, 1);
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& m = locked.Record();
  m.Index = 7;  // any non-zero index sets the bit
  SetDibPixel(&m, 0, 0);
  SetDibPixel(&m, 9, 0);
  EXPECT_EQ(m.Bits[0], 0x80);
  EXPECT_EQ(m.Bits[1], 0x40);
  locked.End();
  GlobalFree(picture);
}

TEST_F(PixelAccessTest, WritingColoursToPalettePicturesPicksTheNearestEntry) {
  HGLOBAL picture = MakePicture(Layout::kPalette8, 2, 1, 3);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& r = locked.Record();
  const RGBQUAD wanted = r.ColorTable[77];
  r.UseRgb = 1;
  r.Red = wanted.rgbRed;
  r.Green = wanted.rgbGreen;
  r.Blue = wanted.rgbBlue;
  SetDibPixel(&r, 1, 0);
  // The first entry of exactly that colour.
  int first = 0;
  while (std::memcmp(&r.ColorTable[first], &wanted, 3) != 0) ++first;
  EXPECT_EQ(r.Bits[1], first);
  locked.End();
  GlobalFree(picture);
}

TEST_F(PixelAccessTest, CursorRunsMatchSinglePixelOperations) {
  // Copy a run of each row with ReadNext/WriteNext into one picture and with
  // GetDibPixel/SetDibPixel into another; reads must agree pixel by pixel and
  // the two copies must come out identical.
  std::mt19937 random(99);
  for (Layout layout : AllLayouts())
    for (int width : kWidths) {
      const std::uint32_t seed = random();
      HGLOBAL source = MakePicture(layout, width, 2, seed);
      HGLOBAL viaSet = MakeBlankPicture(layout, width, 2, seed);
      HGLOBAL viaCursor = MakeBlankPicture(layout, width, 2, seed);
      LockedDib run, single, a, b;
      ASSERT_TRUE(run.Start(source, kDepthAll) && single.Start(source, kDepthAll) &&
                  a.Start(viaSet, kDepthAll) && b.Start(viaCursor, kDepthAll));
      const auto take = [](DibAccess& to, const DibAccess& from) {
        to.Index = from.Index;
        to.Red = from.Red;
        to.Green = from.Green;
        to.Blue = from.Blue;
        to.Alpha = from.Alpha;
      };
      const int x0 = width / 3;
      for (int y = 0; y < 2; ++y) {
        ASSERT_TRUE(SeekDibPixel(&run.Record(), x0, y));
        ASSERT_TRUE(SeekDibPixel(&b.Record(), x0, y));
        for (int x = x0; x < width; ++x) {
          ReadNextDibPixel(&run.Record());
          GetDibPixel(&single.Record(), x, y);
          ASSERT_EQ(run->Index, single->Index) << NameOf(layout) << " x " << x;
          ASSERT_EQ(run->Red + 256 * run->Green + 65536 * run->Blue,
                    single->Red + 256 * single->Green + 65536 * single->Blue);
          take(b.Record(), run.Record());
          WriteNextDibPixel(&b.Record());
          take(a.Record(), single.Record());
          SetDibPixel(&a.Record(), x, y);
        }
      }
      run.End();
      single.End();
      a.End();
      b.End();
      EXPECT_EQ(BlockBytes(viaSet), BlockBytes(viaCursor)) << NameOf(layout) << " width " << width;
      GlobalFree(source);
      GlobalFree(viaSet);
      GlobalFree(viaCursor);
    }
}

TEST_F(PixelAccessTest, CursorCrossesByteBoundaries) {
  HGLOBAL picture = MakePicture(Layout::kPalette1, 17, 1, 5);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& r = locked.Record();
  SeekDibPixel(&r, 6, 0);
  EXPECT_EQ(r.ByteInRow, 0);
  EXPECT_EQ(r.BitInByte, 6);
  SkipDibPixel(&r);
  SkipDibPixel(&r);
  EXPECT_EQ(r.ByteInRow, 1);
  EXPECT_EQ(r.BitInByte, 0);
  EXPECT_EQ(static_cast<BYTE*>(r.Pixel), DibRow(r, 0) + 1);
  locked.End();
  GlobalFree(picture);
}

TEST_F(PixelAccessTest, OutsideCoordinatesFail) {
  HGLOBAL picture = MakePicture(Layout::kRgb24, 3, 2, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  DibAccess& r = locked.Record();
  r.Red = r.Green = r.Blue = r.Index = 9;
  for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, 2}, {0, -1}}) {
    SetErrorStatus(0);
    EXPECT_FALSE(GetDibPixel(&r, x, y));
    EXPECT_EQ(GetErrorStatus(), 5);
    EXPECT_EQ(r.Red + r.Green + r.Blue + r.Index, 0) << "a failed read zeroes the colour";
    EXPECT_FALSE(SetDibPixel(&r, x, y));
    EXPECT_FALSE(SeekDibPixel(&r, x, y));
  }
  EXPECT_FALSE(GetDibPixel(nullptr, 0, 0));
  EXPECT_FALSE(ReadNextDibPixel(nullptr));
  EXPECT_FALSE(WriteNextDibPixel(nullptr));
  EXPECT_FALSE(SkipDibPixel(nullptr));
  EXPECT_EQ(GetErrorStatus(), 5);
  locked.End();
  GlobalFree(picture);
}

// ---- the exports ------------------------------------------------------------

TEST_F(PixelAccessTest, ExportsRoundTripEveryDepth) {
  for (Layout layout : AllLayouts()) {
    HGLOBAL picture = MakePicture(layout, 5, 4, 17);
    DibAccess record;
    std::memset(&record, 0xEE, sizeof record);
    ASSERT_TRUE(QVStartDibAccess(picture, &record)) << NameOf(layout);
    EXPECT_EQ(GetErrorStatus(), 0);
    ASSERT_TRUE(QVGetDibPixel(&record, 4, 3));
    EXPECT_EQ(record.UseRgb, 1);
    const DibAccess before = record;
    // Write the colour of (4, 3) to (0, 0) and read it back.
    if (BitCountOf(layout) <= 8) record.Index = before.Index;
    ASSERT_TRUE(QVSetDibPixel(&record, 0, 0));
    EXPECT_EQ(record.UseRgb, 0);
    ASSERT_TRUE(QVGetDibPixel(&record, 0, 0));
    EXPECT_EQ(record.Index, before.Index);
    EXPECT_EQ(record.Red, before.Red);
    EXPECT_EQ(record.Green, before.Green);
    EXPECT_EQ(record.Blue, before.Blue);
    if (BitCountOf(layout) == 32) EXPECT_EQ(record.Alpha, before.Alpha);
    EXPECT_TRUE(QVEndDibAccess(picture, &record));
    EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(record.Header), nullptr);
    GlobalFree(picture);
  }
}

TEST_F(PixelAccessTest, FailedExportsLeaveTheRecordUntouched) {
  HGLOBAL picture = MakePicture(Layout::kRgb32, 3, 3, 4);
  DibAccess record;
  ASSERT_TRUE(QVStartDibAccess(picture, &record));
  ASSERT_TRUE(QVGetDibPixel(&record, 1, 1));
  DibAccess before;
  std::memcpy(&before, &record, sizeof record);
  EXPECT_FALSE(QVGetDibPixel(&record, 3, 0));
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
  EXPECT_FALSE(QVSetDibPixel(&record, 0, -1));
  EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
  EXPECT_FALSE(QVGetDibPixel(nullptr, 0, 0));
  EXPECT_EQ(GetErrorStatus(), 5);
  // A record whose pointers were tampered with is refused, not followed.
  DibAccess forged = record;
  forged.Bits += 1000000;
  EXPECT_FALSE(QVSetDibPixel(&forged, 0, 0));
  EXPECT_EQ(GetErrorStatus(), 5);
  forged = record;
  forged.Height = 100000;
  forged.MaxY = 99999;
  EXPECT_FALSE(QVGetDibPixel(&forged, 0, 99999));
  EXPECT_TRUE(QVEndDibAccess(picture, &record));
  GlobalFree(picture);
  // Starting on a refused picture leaves the record as it was.
  HGLOBAL two = MakePicture(Layout::kRgb24, 2, 2, 1);
  static_cast<BITMAPINFOHEADER*>(GlobalLock(two))->biBitCount = 2;
  GlobalUnlock(two);
  std::memset(&record, 0x5A, sizeof record);
  EXPECT_FALSE(QVStartDibAccess(two, &record));
  EXPECT_EQ(GetErrorStatus(), 7);
  for (std::size_t i = 0; i < sizeof record; ++i)
    ASSERT_EQ(reinterpret_cast<BYTE*>(&record)[i], 0x5A);
  GlobalFree(two);
}

TEST_F(PixelAccessTest, StartLeavesTheBlockLockedUntilEnd) {
  if (!HasAccounting()) GTEST_SKIP();
  HGLOBAL picture = MakePicture(Layout::kRgb24, 2, 2, 1);
  const long locked = QvxMemLockedBlocks();
  DibAccess record;
  ASSERT_TRUE(QVStartDibAccess(picture, &record));
  EXPECT_EQ(QvxMemLockedBlocks(), locked + 1);
  ASSERT_TRUE(QVEndDibAccess(picture, &record));
  EXPECT_EQ(QvxMemLockedBlocks(), locked);
  GlobalFree(picture);
}

}  // namespace
}  // namespace qvx::test
