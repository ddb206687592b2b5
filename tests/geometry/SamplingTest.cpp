// The record-level sampling helpers of the geometric effects on every
// layout: the eight neighbour readers and the record forms of the bilinear
// blend, against the test's own decoding. (The blend arithmetic itself, and
// mirroring and flipping on both paths, are checked through resize and
// rotation against their rules.)
#include <cmath>
#include <random>

#include "frame/Resources.h"
#include "geometry/GeometryReference.h"
#include "geometry/NeighbourReaders.h"
#include "geometry/Sampling.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class SamplingTest : public QvxTest {};

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

// Width 19 puts neighbours on both sides of every bit and nibble boundary
// and leaves a partial last byte; every position and direction is tried.
// A reader fills what GetDibPixel would for its neighbour and leaves the
// cursor and the fields a depth does not fill (marked before the read).
// At every position ForwardBilinear blends the pixel with its right and
// lower neighbours (black beyond the picture), and SignDirectedBilinear, in
// coordinates centred on the picture, with the neighbours the signs point
// to (the background beyond the picture).
TEST_F(SamplingTest, NeighbourReadersAndBilinearBlendsOnEveryDepth) {
  constexpr int kW = 19, kH = 4, kLeft = -9, kTop = -2;
  for (const Reader& reader : kReaders)
    EXPECT_EQ(NeighbourReaderFor(reader.dx, reader.dy), reader.read) << reader.name;
  EXPECT_EQ(NeighbourReaderFor(0, 0), nullptr);
  const Rgb background{200, 100, 50};
  const Pixel black{}, bg{-1, background.red, background.green, background.blue, 0};
  const auto colours = [](const Rgb& c) { return ToString(Pixel{-1, c.red, c.green, c.blue, 0}); };
  std::mt19937 random(4);
  for (Layout layout : AllLayouts()) {
    HGLOBAL picture = Keep(MakePicture(layout, kW, kH, 7 + static_cast<int>(layout)));
    PictureView view(picture);
    const int bits = view.BitCount();
    const auto at = [&](int x, int y, const Pixel& beyond) {
      return x >= 0 && x < kW && y >= 0 && y < kH ? view.At(x, y) : beyond;
    };
    LockedDib locked;
    ASSERT_TRUE(locked.Start(picture, kDepthAll));
    DibAccess& record = locked.Record();
    for (int useRgb = 0; useRgb <= 1; ++useRgb)
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          record.UseRgb = useRgb;
          for (const Reader& reader : kReaders) {
            const int nx = x + reader.dx, ny = y + reader.dy;
            if (nx < 0 || nx >= kW || ny < 0 || ny >= kH) continue;
            ASSERT_TRUE(SeekDibPixel(&record, x, y));
            const DibAccess before = record;
            record.Index = 0xA5, record.Red = 0x11, record.Green = 0x22, record.Blue = 0x33;
            record.Alpha = 0x44;
            reader.read(&record);
            const Pixel want = view.At(nx, ny);
            const bool filled = bits > 8 || useRgb;
            const Pixel expected{bits <= 8 ? want.index : 0xA5, filled ? want.red : 0x11,
                                 filled ? want.green : 0x22, filled ? want.blue : 0x33,
                                 bits == 32 ? want.alpha : 0x44};
            const Pixel got{record.Index, record.Red, record.Green, record.Blue, record.Alpha};
            const std::string where = Describe(NameOf(layout), reader.name, "from", x, y, useRgb);
            EXPECT_EQ(ToString(got), ToString(expected)) << where;
            EXPECT_TRUE(record.Pixel == before.Pixel && record.ByteInRow == before.ByteInRow &&
                        record.BitInByte == before.BitInByte)
                << where << ": the cursor moved";
          }
          if (!useRgb && bits <= 8) continue;  // palette pictures blend only colours
          const double fx = x + (random() % 1000) / 1000.0, fy = y + (random() % 1000) / 1000.0;
          EXPECT_EQ(colours(ForwardBilinear(&record, fx, fy)),
                    ToString(Blend(fx - x, fy - y, at(x, y, black), at(x + 1, y, black),
                                   at(x, y + 1, black), at(x + 1, y + 1, black))))
              << Describe(NameOf(layout), "forward at", fx, fy);
          // Offsets away from zero, a quarter of them none.
          const int cx = x + kLeft, cy = y + kTop;
          const auto offset = [&](int c) {
            const double f = random() % 4 ? (random() % 999) / 1000.0 : 0;
            return c > 0 || (c == 0 && random() % 2) ? f : -f;
          };
          const double sx = cx + offset(cx), sy = cy + offset(cy);
          const int hx = x + (sx > 0 ? 1 : -1), vy = y + (sy > 0 ? 1 : -1);
          EXPECT_EQ(colours(SignDirectedBilinear(&record, sx, sy, kLeft, kTop, background)),
                    ToString(Blend(std::fabs(sx - cx), std::fabs(sy - cy), at(x, y, bg),
                                   at(hx, y, bg), at(x, vy, bg), at(hx, vy, bg))))
              << Describe(NameOf(layout), "sign-directed at", sx, sy);
          if (::testing::Test::HasFailure()) return;
        }
  }
}

}  // namespace
}  // namespace qvx::test
