// The eight neighbour readers on every depth, checked against the test's own
// decoding of the picture at every position whose neighbour lies inside.
#include <cstring>

#include "frame/Resources.h"
#include "geometry/NeighbourReaders.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class NeighbourReadersTest : public QvxTest {};

struct Reader {
  const char* name;
  NeighbourReader read;
  int dx, dy;
};

constexpr Reader kReaders[] = {
    {"Right", GetDibPixelRight, 1, 0},
    {"Left", GetDibPixelLeft, -1, 0},
    {"Up", GetDibPixelUp, 0, -1},
    {"Down", GetDibPixelDown, 0, 1},
    {"DownRight", GetDibPixelDownRight, 1, 1},
    {"DownLeft", GetDibPixelDownLeft, -1, 1},
    {"UpRight", GetDibPixelUpRight, 1, -1},
    {"UpLeft", GetDibPixelUpLeft, -1, -1},
};

// Values the colour fields hold before a read, to see which ones it fills.
constexpr BYTE kIndexMark = 0xA5, kRedMark = 0x11, kGreenMark = 0x22, kBlueMark = 0x33,
               kAlphaMark = 0x44;

void Mark(DibAccess& record) {
  record.Index = kIndexMark;
  record.Red = kRedMark;
  record.Green = kGreenMark;
  record.Blue = kBlueMark;
  record.Alpha = kAlphaMark;
}

// Width 19 puts neighbours on both sides of every bit and nibble boundary
// and leaves a partial last byte; every position and direction is tried.
TEST_F(NeighbourReadersTest, ReadTheirNeighbourOnEveryDepthAndLeaveTheCursor) {
  constexpr int kW = 19, kH = 4;
  for (Layout layout : AllLayouts()) {
    HGLOBAL picture = Keep(MakePicture(layout, kW, kH, 7 + static_cast<int>(layout)));
    PictureView view(picture);
    const int bits = view.BitCount();
    const bool palette = bits <= 8;
    LockedDib locked;
    ASSERT_TRUE(locked.Start(picture, kDepthAll));
    DibAccess& record = locked.Record();
    for (int useRgb = 0; useRgb <= 1; ++useRgb) {
      record.UseRgb = useRgb;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
          for (const Reader& reader : kReaders) {
            const int nx = x + reader.dx, ny = y + reader.dy;
            if (nx < 0 || nx >= kW || ny < 0 || ny >= kH) continue;
            ASSERT_TRUE(SeekDibPixel(&record, x, y));
            BYTE* const pixel = record.Pixel;
            const int byteInRow = record.ByteInRow, bitInByte = record.BitInByte;
            Mark(record);
            reader.read(&record);
            const Pixel want = view.At(nx, ny);
            const std::string where = NameOf(layout) + " " + reader.name + " from (" +
                                      std::to_string(x) + ", " + std::to_string(y) + ") useRgb " +
                                      std::to_string(useRgb);
            EXPECT_EQ(record.Pixel, pixel) << where;
            EXPECT_EQ(record.ByteInRow, byteInRow) << where;
            EXPECT_EQ(record.BitInByte, bitInByte) << where;
            EXPECT_EQ(record.Index, palette ? want.index : kIndexMark) << where;
            const bool colours = !palette || useRgb;
            EXPECT_EQ(record.Red, colours ? want.red : kRedMark) << where;
            EXPECT_EQ(record.Green, colours ? want.green : kGreenMark) << where;
            EXPECT_EQ(record.Blue, colours ? want.blue : kBlueMark) << where;
            EXPECT_EQ(record.Alpha, bits == 32 ? want.alpha : kAlphaMark) << where;
            if (::testing::Test::HasFailure()) return;
          }
    }
  }
}

// Hand-set bytes at the boundaries, independent of the random pictures.
TEST_F(NeighbourReadersTest, CrossBitAndNibbleBoundariesIntoTheNextAndPreviousByte) {
  HGLOBAL mask = MakeMask({"........#.......", ".......#........"});
  LockedDib one;
  ASSERT_TRUE(one.Start(mask, kDepthAll));
  // Top row: pixel 8 (bit 0 of byte 1) set; row below: pixel 7 (bit 7 of
  // byte 0) set.
  ASSERT_TRUE(SeekDibPixel(&one.Record(), 7, 0));
  GetDibPixelRight(&one.Record());
  EXPECT_EQ(one->Index, 1);
  GetDibPixelDown(&one.Record());
  EXPECT_EQ(one->Index, 1);
  ASSERT_TRUE(SeekDibPixel(&one.Record(), 8, 1));
  GetDibPixelLeft(&one.Record());
  EXPECT_EQ(one->Index, 1);
  GetDibPixelUp(&one.Record());
  EXPECT_EQ(one->Index, 1);
  GetDibPixelUpLeft(&one.Record());
  EXPECT_EQ(one->Index, 0);
  one.End();
  GlobalFree(mask);

  HGLOBAL nibbles = MakeBlankPicture(Layout::kPalette4, 4, 1);
  LockedDib four;
  ASSERT_TRUE(four.Start(nibbles, kDepthAll));
  four->Bits[0] = 0x12;
  four->Bits[1] = 0x34;
  ASSERT_TRUE(SeekDibPixel(&four.Record(), 1, 0));  // low nibble of byte 0
  GetDibPixelRight(&four.Record());
  EXPECT_EQ(four->Index, 3);
  GetDibPixelLeft(&four.Record());
  EXPECT_EQ(four->Index, 1);
  ASSERT_TRUE(SeekDibPixel(&four.Record(), 2, 0));  // high nibble of byte 1
  GetDibPixelLeft(&four.Record());
  EXPECT_EQ(four->Index, 2);
  four.End();
  GlobalFree(nibbles);
}

TEST_F(NeighbourReadersTest, LeaveARecordOfAnUnknownDepthUnchanged) {
  HGLOBAL picture = MakePicture(Layout::kRgb24, 3, 3, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  ASSERT_TRUE(GetDibPixel(&locked.Record(), 1, 1));
  DibAccess odd = locked.Record();
  odd.BitCount = 2;
  for (const Reader& reader : kReaders) {
    DibAccess copy = odd;
    reader.read(&copy);
    EXPECT_EQ(std::memcmp(&copy, &odd, sizeof odd), 0) << reader.name;
  }
  locked.End();
  GlobalFree(picture);
}

TEST_F(NeighbourReadersTest, DirectionTableNamesTheReaders) {
  for (const Reader& reader : kReaders)
    EXPECT_EQ(NeighbourReaderFor(reader.dx, reader.dy), reader.read) << reader.name;
  EXPECT_EQ(NeighbourReaderFor(0, 0), nullptr);
  EXPECT_EQ(NeighbourReaderFor(2, 0), nullptr);
}

}  // namespace
}  // namespace qvx::test
