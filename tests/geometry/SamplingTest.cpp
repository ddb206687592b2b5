// The record-level pixel helpers of the geometric effects on every layout
// (neighbour readers, bilinear blends, lines through cells) against the
// test's own decoding. The blend arithmetic itself, mirroring and flipping
// are checked through resize and rotation.
#include <cmath>
#include <random>

#include "frame/NeighbourReaders.h"
#include "frame/Resources.h"
#include "geometry/DibLine.h"
#include "geometry/GeometryReference.h"
#include "geometry/Sampling.h"

namespace qvx::test {
namespace {

class SamplingTest : public QvxTest {};

// A neighbour reader, and the line read the same way (0 for none).
struct Reader {
  const char* name;
  NeighbourReader read;
  int dx, dy, line = 0;
};

constexpr Reader kReaders[] = {
    {"Right", GetDibPixelRight, 1, 0, kLineRight}, {"Left", GetDibPixelLeft, -1, 0, kLineLeft},
    {"Up", GetDibPixelUp, 0, -1, kLineUp},         {"Down", GetDibPixelDown, 0, 1, kLineDown},
    {"DownRight", GetDibPixelDownRight, 1, 1},     {"DownLeft", GetDibPixelDownLeft, -1, 1},
    {"UpRight", GetDibPixelUpRight, 1, -1},        {"UpLeft", GetDibPixelUpLeft, -1, -1},
};

// Width 19 puts neighbours on both sides of every bit and nibble boundary.
constexpr int kW = 19, kH = 4;

// Runs `check` with a random picture of every layout, locked, and its
// decoded view.
template <class Check>
void ForEveryLayout(QvxTest& test, Check check) {
  for (Layout layout : AllLayouts()) {
    SCOPED_TRACE(NameOf(layout));
    HGLOBAL picture = MakePicture(layout, kW, kH, 7 + static_cast<int>(layout));
    {
      PictureView view(picture);
      LockedDib locked;
      ASSERT_TRUE(locked.Start(picture, kDepthAll));
      check(layout, picture, view, locked.Record());
    }
    GlobalFree(picture);
    if (test.HasFailure()) return;
  }
}

// From every position each reader fills what GetDibPixel would for its
// neighbour, leaving the cursor and the fields a depth does not fill.
TEST_F(SamplingTest, NeighbourReadersFillTheNeighbourAndKeepTheCursor) {
  ForEveryLayout(*this, [&](Layout layout, HGLOBAL, const PictureView& view, DibAccess& record) {
    const int bits = view.BitCount();
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
        }
  });
}

// GetDibLine reads each way to the edge into cells of index (alpha at 32
// bits), red, green, blue (palette colours with UseRgb).
TEST_F(SamplingTest, DibLinesReadEachWayToTheEdge) {
  ForEveryLayout(*this, [&](Layout layout, HGLOBAL, const PictureView& view, DibAccess& record) {
    const int bits = view.BitCount();
    BYTE cells[4 * kW];
    for (int useRgb = 0; useRgb <= 1; ++useRgb) {
      if (!useRgb && bits <= 8) continue;
      record.UseRgb = useRgb;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
          for (const Reader& reader : kReaders) {
            if (!reader.line) continue;
            const int count =
                reader.dx ? (reader.dx > 0 ? kW - x : x + 1) : (reader.dy > 0 ? kH - y : y + 1);
            ASSERT_TRUE(GetDibLine(&record, x, y, reader.line, cells, count));
            for (int i = 0; i < count; ++i) {
              const BYTE* cell = cells + 4 * i;
              EXPECT_EQ(ToString({bits <= 8 ? cell[0] : -1, cell[1], cell[2], cell[3],
                                  bits == 32 ? cell[0] : 0}),
                        ToString(view.At(x + i * reader.dx, y + i * reader.dy)))
                  << Describe(NameOf(layout), "line", reader.name, "from", x, y, "cell", i);
            }
          }
    }
  });
}

// ForwardBilinear blends the right and lower neighbours (black beyond the
// picture); SignDirectedBilinear, centred, those the signs of the offsets
// point to (the background beyond). Palette pictures blend colours only.
TEST_F(SamplingTest, BilinearBlendsTakeTheirFourNeighbours) {
  constexpr int kLeft = -9, kTop = -2;
  const Rgb background{200, 100, 50};
  const Pixel black{}, bg{-1, background.red, background.green, background.blue, 0};
  const auto colours = [](const Rgb& c) { return ToString(Pixel{-1, c.red, c.green, c.blue, 0}); };
  std::mt19937 random(4);
  ForEveryLayout(*this, [&](Layout layout, HGLOBAL, const PictureView& view, DibAccess& record) {
    const auto at = [&](int x, int y, const Pixel& beyond) {
      return x >= 0 && x < kW && y >= 0 && y < kH ? view.At(x, y) : beyond;
    };
    record.UseRgb = 1;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
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
      }
  });
}

// SetDibLine writes rows read by GetDibLine back into a blank picture, which
// then equals the source; any non-zero index sets a 1-bit pixel.
TEST_F(SamplingTest, DibLinesWrittenBackCopyThePicture) {
  ForEveryLayout(*this, [&](Layout layout, HGLOBAL picture, const PictureView& view,
                            DibAccess& record) {
    const int bits = view.BitCount();
    HGLOBAL copy = Keep(MakeBlankPicture(layout, kW, kH, 7 + static_cast<int>(layout)));
    record.UseRgb = 1;
    BYTE cells[4 * kW];
    {
      LockedDib written;
      ASSERT_TRUE(written.Start(copy, kDepthAll));
      for (int y = 0; y < kH; ++y) {
        ASSERT_TRUE(GetDibLine(&record, 0, y, kLineRight, cells, kW));
        for (int i = 0; i < kW && bits == 1; ++i) cells[4 * i] *= 200;
        ASSERT_TRUE(SetDibLine(&written.Record(), 0, y, cells, kW));
      }
    }
    EXPECT_EQ(FirstDifference(picture, copy), "");
  });
}

// Error 5 for a line that leaves the picture, a start outside it or an
// unknown direction.
TEST_F(SamplingTest, DibLinesLeavingThePictureAreRefused) {
  LockedDib p;
  ASSERT_TRUE(p.Start(Keep(MakePicture(Layout::kRgb24, 5, 4, 1)), kDepthAll));
  BYTE cells[4 * 8] = {};
  // x, y, direction (0: writing), count, whether it fits.
  const int lines[][5] = {{0, 0, 1, 5, 1}, {1, 0, 1, 5, 0}, {4, 0, 2, 5, 1},  {3, 0, 2, 5, 0},
                          {0, 0, 3, 4, 1}, {0, 1, 3, 4, 0}, {0, 3, 4, 4, 1},  {0, 2, 4, 4, 0},
                          {5, 0, 2, 1, 0}, {0, 0, 5, 1, 0}, {0, -1, 3, 1, 0}, {1, 0, 0, 4, 1},
                          {2, 0, 0, 4, 0}, {0, 4, 0, 1, 0}, {-1, 0, 0, 1, 0}};
  for (const auto& [x, y, direction, count, fits] : lines) {
    SetErrorStatus(0);
    const BOOL ok = direction ? GetDibLine(&p.Record(), x, y, direction, cells, count)
                              : SetDibLine(&p.Record(), x, y, cells, count);
    EXPECT_EQ(ok ? 0 : GetErrorStatus(), fits ? 0 : 5) << Describe(x, y, direction, count);
  }
}

}  // namespace
}  // namespace qvx::test
