// Pictures: locking and validating them, new pictures, and reading and
// writing pixels (per depth, through the cursor, and through the
// four pixel exports). Pixels are checked against the test's own decoder
// (PictureView) and against values worked by hand.
#include <cstring>
#include <random>

#include "frame/DibAccess.h"
#include "frame/Resources.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class DibAccessTest : public QvxTest {};
class PixelAccessTest : public QvxTest {};

BITMAPINFOHEADER Header(int width, int height, int bits, DWORD compression = BI_RGB) {
  return {40, width, height, 1, static_cast<WORD>(bits), compression, 0, 0, 0, 0, 0};
}

// The error status StartDibAccess leaves (0 when it accepts the picture).
int StartStatus(HGLOBAL picture, unsigned mask) {
  SetErrorStatus(0);
  DibAccess record;
  const BOOL ok = StartDibAccess(picture, &record, mask);
  if (ok) EndDibAccess(picture, &record);
  return ok ? 0 : GetErrorStatus();
}

// A block of `bytes` bytes starting with `header` (as much of it as fits).
int StatusOfRaw(const BITMAPINFOHEADER& header, std::size_t bytes) {
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  std::memcpy(GlobalLock(block), &header, std::min<std::size_t>(bytes, 40));
  GlobalUnlock(block);
  const int status = StartStatus(block, kDepthAll);
  GlobalFree(block);
  return status;
}

TEST_F(DibAccessTest, RefusesWhatItCannotRead) {
  struct Case {
    const char* what;
    BITMAPINFOHEADER header;
    std::size_t bytes;
    int status;
  } cases[] = {
      {"5 x 3, 24-bit, exactly its size", Header(5, 3, 24), 40 + 3 * 16, 0},
      {"one byte short of the last row", Header(5, 3, 24), 40 + 3 * 16 - 1, 7},
      {"shorter than a header", Header(5, 3, 24), 20, 7},
      {"top-down", Header(4, -4, 24), 4096, 7},
      {"zero width", Header(0, 4, 24), 4096, 7},
      {"2-bit", Header(4, 4, 2), 4096, 7},
      {"16-bit with RLE compression", Header(4, 4, 16, 1), 4096, 7},
      {"32-bit with RLE compression", Header(4, 4, 32, 2), 4096, 7},
      {"8-bit without room for its table", Header(1, 1, 8), 44, 7},
      {"bit fields without room for the masks", Header(1, 1, 16, BI_BITFIELDS), 44, 7},
      // Sizes whose product with the stride would wrap into a small size
      // that the block would seem to satisfy.
      {"2^31 - 1 pixels of 32 bits", Header(0x7FFFFFFF, 1, 32), 4096, 7},
      {"65536 x 65536, 8 bits", Header(65536, 65536, 8), 4096, 7},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusOfRaw(c.header, c.bytes), c.status) << c.what;
  for (DWORD size : {12u, 108u, 124u}) {
    BITMAPINFOHEADER header = Header(4, 4, 24);
    header.biSize = size;
    EXPECT_EQ(StatusOfRaw(header, 4096), 7) << "biSize " << size;
  }
  // Null records and handles; a freed handle, and one that was never handed
  // out, cannot be locked.
  EXPECT_EQ(StartStatus(nullptr, kDepthAll), 7);
  HGLOBAL picture = MakePicture(Layout::kRgb24, 2, 2, 1);
  EXPECT_FALSE(StartDibAccess(picture, nullptr, kDepthAll));
  EXPECT_EQ(GetErrorStatus(), 5);
  GlobalFree(picture);
  if (HasAccounting()) {
    EXPECT_EQ(StartStatus(picture, kDepthAll), 3);
    EXPECT_EQ(StartStatus(reinterpret_cast<HGLOBAL>(0x1234), kDepthAll), 3);
  }
  DibAccess record;
  EXPECT_FALSE(EndDibAccess(nullptr, &record));
  EXPECT_EQ(GetErrorStatus(), 7);
}

TEST_F(DibAccessTest, DepthMaskDecidesWhichPicturesPass) {
  const struct {
    Layout layout;
    unsigned mask;
    bool accepted;
  } cases[] = {
      {Layout::kPalette8, 0x7F, true},  {Layout::kPalette8, 0x74, false},
      {Layout::kGrey8, 0x74, true},     {Layout::kGrey8, 0x04, true},
      {Layout::kGrey8, 0x70, false},    {Layout::kPalette1, 0x01, true},
      {Layout::kPalette1, 0x74, false}, {Layout::kPalette4, 0x02, true},
      {Layout::kGrey4, 0x74, false},    {Layout::kRgb555, 0x10, true},
      {Layout::kRgb565, 0x70, true},    {Layout::kRgb24, 0x40, false},
      {Layout::kRgb32, 0x40, true},     {Layout::kRgb24, 0x20, true},
  };
  for (const auto& c : cases) {
    HGLOBAL picture = MakePicture(c.layout, 3, 2, 7);
    EXPECT_EQ(StartStatus(picture, c.mask), c.accepted ? 0 : 7)
        << NameOf(c.layout) << " with mask " << c.mask;
    GlobalFree(picture);
  }
  // The 8-bit grey ramp needs all 256 entries and a plain count.
  for (const auto& [used, green200, status] :
       {std::tuple{0u, 200, 0}, {256u, 200, 0}, {255u, 200, 7}, {0u, 201, 7}}) {
    HGLOBAL picture = MakePicture(Layout::kGrey8, 3, 2, 3);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(picture));
    header->biClrUsed = used;
    reinterpret_cast<RGBQUAD*>(header + 1)[200].rgbGreen = static_cast<BYTE>(green200);
    GlobalUnlock(picture);
    EXPECT_EQ(StartStatus(picture, 0x74), status) << "biClrUsed " << used << ", green " << green200;
    GlobalFree(picture);
  }
}

// New pictures: like a source (copies and blank pictures of every layout
// are checked through the effects' results), or of a kind, with the
// standard tables; refusals and clean failures.
TEST_F(DibAccessTest, NewPictures) {
  HGLOBAL source = Keep(MakePicture(Layout::kPalette8, 7, 5, 11));
  LockedDib locked;
  ASSERT_TRUE(locked.Start(source, kDepthAll));
  const DibAccess& r = locked.Record();
  // Pictures of another kind than the source's get standard tables.
  LockedDib rgb;
  ASSERT_TRUE(rgb.Start(Keep(MakePicture(Layout::kRgb24, 2, 2, 1)), kDepthAll));
  HGLOBAL four = Keep(NewDibOfKind(&rgb.Record(), 4, 3, 3));
  HGLOBAL eight = Keep(NewDibOfKind(&rgb.Record(), 8, 3, 3));
  HGLOBAL grey = Keep(NewDibOfKind(&rgb.Record(), 80, 3, 3));
  HGLOBAL empty = Keep(NewDibOfKind(&rgb.Record(), 32, 0, 4));
  ASSERT_TRUE(four && eight && grey && empty);
  // The standard 16 colours (entry 3 olive, 8 silver); the 6 x 6 x 6 cube,
  // entry 36i + 6j + k being (51k, 51j, 51i): entry 36*1 + 6*2 + 3 = 51.
  PictureView v4(four), v8(eight);
  const RGBQUAD e3 = v4.Table()[3], e8 = v4.Table()[8], e51 = v8.Table()[51];
  EXPECT_EQ(std::vector<int>({v4.BitCount(), int(v4.Header()->biClrUsed), e3.rgbRed, e3.rgbGreen,
                              e3.rgbBlue, e8.rgbRed, int(v8.Header()->biClrUsed), e51.rgbRed,
                              e51.rgbGreen, e51.rgbBlue}),
            std::vector<int>({4, 16, 127, 127, 0, 192, 216, 153, 102, 51}));
  EXPECT_TRUE(IsGrey256Table(PictureView(grey).Header()));
  EXPECT_EQ(GlobalSize(empty), 40u);
  // Refusals and clean failures.
  SetErrorStatus(0);
  EXPECT_EQ(NewDibLike(r.Header, 0, 5, TRUE), nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_EQ(NewDibLike(r.Header, 0x7FFFFFFF, 0x7FFFFFFF, FALSE), nullptr);
  EXPECT_EQ(GetErrorStatus(), 3);
  for (const auto& [from, kind, width] : {std::tuple{&rgb.Record(), 2, 3}, {&rgb.Record(), 24, -1},
                                          {static_cast<DibAccess*>(nullptr), 24, 1}}) {
    SetErrorStatus(0);
    EXPECT_EQ(NewDibOfKind(from, kind, width, 3), nullptr);
    EXPECT_EQ(GetErrorStatus(), 2);
  }
  ExpectCleanFailures([&] { return NewDibLike(r.Header, 7, 5, TRUE); });
  ExpectCleanFailures([&] { return NewDibOfKind(&rgb.Record(), 8, 4, 4); });
  // Rectangles are clamped into a picture.
  int x1 = -5, y1 = 2, x2 = 40, y2 = -1;
  ClampRectToDib(r.Header, x1, y1, x2, y2);
  EXPECT_EQ(std::vector<int>({x1, y1, x2, y2}), std::vector<int>({0, 2, 6, 0}));
}

// ---- pixels --------------------------------------------------------------------

// Widths that leave every kind of partial last byte and word.
constexpr int kWidths[] = {1, 2, 3, 5, 7, 8, 9, 13, 33};

TEST_F(PixelAccessTest, ReadsAgreeWithAnIndependentDecoderOnEveryLayout) {
  for (Layout layout : AllLayouts())
    for (int width : kWidths) {
      HGLOBAL picture = Keep(MakePicture(layout, width, 3, width * 31 + 7));
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
          ASSERT_EQ(got, expected)
              << NameOf(layout) << " width " << width << " at (" << x << ", " << y << ")";
        }
    }
}

// Index writes keep only the bits of the depth (any non-zero index sets a
// 1-bit pixel); a colour written to a palette picture takes the first table
// entry of that colour.
TEST_F(PixelAccessTest, PaletteWrites) {
  for (const auto& [layout, index, bytes] : {std::tuple{Layout::kPalette4, 0x1F, 0xF0},
                                             {Layout::kPalette1, 7, 0x80}}) {
    LockedDib locked;
    ASSERT_TRUE(locked.Start(Keep(MakeBlankPicture(layout, 2, 1)), kDepthAll));
    locked->Index = static_cast<BYTE>(index);
    SetDibPixel(&locked.Record(), 0, 0);
    EXPECT_EQ(locked->Bits[0], bytes) << NameOf(layout);
  }
  LockedDib locked;
  ASSERT_TRUE(locked.Start(Keep(MakePicture(Layout::kPalette8, 2, 1, 3)), kDepthAll));
  DibAccess& r = locked.Record();
  const RGBQUAD wanted = r.ColorTable[77];
  r.UseRgb = 1;
  r.Red = wanted.rgbRed, r.Green = wanted.rgbGreen, r.Blue = wanted.rgbBlue;
  SetDibPixel(&r, 1, 0);
  int first = 0;
  while (std::memcmp(&r.ColorTable[first], &wanted, 3) != 0) ++first;
  EXPECT_EQ(r.Bits[1], first);
}

// Copy a run of each row with ReadNext/WriteNext into one picture and with
// GetDibPixel/SetDibPixel into another: reads must agree pixel by pixel, the
// two copies must come out identical, and hold the source's pixels where
// written (16-bit colours narrowed back as they were widened) and nothing
// elsewhere.
TEST_F(PixelAccessTest, CursorRunsMatchSinglePixelOperations) {
  std::mt19937 random(99);
  for (Layout layout : AllLayouts())
    for (int width : kWidths) {
      const std::uint32_t seed = random();
      HGLOBAL source = Keep(MakePicture(layout, width, 2, seed));
      HGLOBAL viaSet = Keep(MakeBlankPicture(layout, width, 2, seed));
      HGLOBAL viaCursor = Keep(MakeBlankPicture(layout, width, 2, seed));
      {
        LockedDib run, single, a, b;
        ASSERT_TRUE(run.Start(source, kDepthAll) && single.Start(source, kDepthAll) &&
                    a.Start(viaSet, kDepthAll) && b.Start(viaCursor, kDepthAll));
        const auto take = [](DibAccess& to, const DibAccess& from) {
          to.Index = from.Index, to.Red = from.Red, to.Green = from.Green, to.Blue = from.Blue;
          to.Alpha = from.Alpha;
        };
        const int x0 = width / 3;
        for (int y = 0; y < 2; ++y) {
          ASSERT_TRUE(SeekDibPixel(&run.Record(), x0, y) && SeekDibPixel(&b.Record(), x0, y));
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
      }
      EXPECT_EQ(BlockBytes(viaSet), BlockBytes(viaCursor)) << NameOf(layout) << " width " << width;
      PictureView from(source), blank(Keep(MakeBlankPicture(layout, width, 2, seed))), to(viaSet);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < width; ++x)
          ASSERT_EQ(to.At(x, y), x < width / 3 ? blank.At(x, y) : from.At(x, y))
              << NameOf(layout) << " width " << width << " at " << x << ", " << y;
    }
  // Skipping moves the cursor across the bytes of 1-bit rows too.
  HGLOBAL picture = Keep(MakePicture(Layout::kPalette1, 17, 1, 5));
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll) && SeekDibPixel(&locked.Record(), 6, 0));
  for (int x = 6; x < 9; ++x) SkipDibPixel(&locked.Record());
  ReadNextDibPixel(&locked.Record());
  EXPECT_EQ(locked->Index, PictureView(picture).At(9, 0).index);
}

// Outside the picture nothing is read, written or sought; a failed read
// zeroes the colour.
TEST_F(PixelAccessTest, OutsideCoordinatesFail) {
  LockedDib locked;
  ASSERT_TRUE(locked.Start(Keep(MakePicture(Layout::kRgb24, 3, 2, 1)), kDepthAll));
  DibAccess& r = locked.Record();
  for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, 2}, {0, -1}}) {
    r.Red = r.Green = r.Blue = r.Index = 9;
    SetErrorStatus(0);
    EXPECT_FALSE(GetDibPixel(&r, x, y) || SetDibPixel(&r, x, y) || SeekDibPixel(&r, x, y));
    EXPECT_EQ(GetErrorStatus(), 5);
    EXPECT_EQ(r.Red + r.Green + r.Blue + r.Index, 0) << x << ", " << y;
  }
  EXPECT_FALSE(GetDibPixel(nullptr, 0, 0) || ReadNextDibPixel(nullptr) ||
               WriteNextDibPixel(nullptr) || SkipDibPixel(nullptr));
}

// ---- the exports ------------------------------------------------------------

// The exports on every depth: the record describes the picture to the
// caller, the block stays locked until the end, and a colour read at one
// pixel and written to another reads back the same. Failed calls leave the
// caller's record exactly as it was, and records whose pointers were
// tampered with are refused rather than followed.
TEST_F(PixelAccessTest, Exports) {
  for (Layout layout : AllLayouts()) {
    SCOPED_TRACE(NameOf(layout));
    HGLOBAL picture = Keep(MakePicture(layout, 5, 4, 17));
    const long locked = QvxMemLockedBlocks();
    DibAccess record;
    std::memset(&record, 0xEE, sizeof record);
    ASSERT_TRUE(QVStartDibAccess(picture, &record));
    EXPECT_EQ(GetErrorStatus(), 0);
    EXPECT_EQ(QvxMemLockedBlocks(), locked + (HasAccounting() ? 1 : 0));
    const bool fields = layout == Layout::kRgb555Fields || layout == Layout::kRgb565;
    const int bits = BitCountOf(layout), colours = bits <= 8 ? 1 << bits : (fields ? 3 : 0);
    const int red = layout == Layout::kRgb565 ? 0xF800 : 0x7C00;
    const auto* base = reinterpret_cast<BYTE*>(static_cast<BITMAPINFOHEADER*>(record.Header));
    EXPECT_EQ(std::vector<long long>({record.Width, record.Height, record.MaxX, record.MaxY,
                                      record.BitCount, record.RowBytes, record.ColorCount,
                                      record.RedMask, record.BlueMask, record.UseRgb}),
              std::vector<long long>({5, 4, 4, 3, bits, PictureView(picture).RowBytes(), colours,
                                      bits == 16 ? red : 0, bits == 16 ? 0x1F : 0, 0}));
    EXPECT_TRUE(reinterpret_cast<BYTE*>(static_cast<RGBQUAD*>(record.ColorTable)) == base + 40 &&
                static_cast<BYTE*>(record.Bits) == base + 40 + 4 * colours &&
                static_cast<BYTE*>(record.Pixel) == static_cast<BYTE*>(record.Bits));
    ASSERT_TRUE(QVGetDibPixel(&record, 4, 3));
    EXPECT_EQ(record.UseRgb, 1);
    const DibAccess read = record;
    ASSERT_TRUE(QVSetDibPixel(&record, 0, 0));
    EXPECT_EQ(record.UseRgb, 0);
    ASSERT_TRUE(QVGetDibPixel(&record, 0, 0));
    const auto colour = [](const DibAccess& r) {
      return std::vector<int>({r.Index, r.Red, r.Green, r.Blue, r.Alpha});
    };
    EXPECT_EQ(colour(record), colour(read));

    DibAccess before;
    std::memcpy(&before, &record, sizeof record);
    const auto expectRefused = [&](bool ok, const char* what) {
      EXPECT_FALSE(ok) << what;
      EXPECT_EQ(GetErrorStatus(), 5) << what;
      EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0) << what;
    };
    expectRefused(QVGetDibPixel(&record, 5, 0), "read outside");
    expectRefused(QVSetDibPixel(&record, 0, -1), "write outside");
    expectRefused(QVGetDibPixel(nullptr, 0, 0), "no record");
    DibAccess forged = record;
    forged.Bits += 1000000;
    expectRefused(QVSetDibPixel(&forged, 0, 0), "rows moved");
    forged = record;
    forged.Height = 100000;
    forged.MaxY = 99999;
    expectRefused(QVGetDibPixel(&forged, 0, 99999), "taller");

    EXPECT_TRUE(QVEndDibAccess(picture, &record));
    EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(record.Header), nullptr);
    EXPECT_EQ(QvxMemLockedBlocks(), locked);
  }
  // Starting on a refused picture leaves the record as it was.
  HGLOBAL two = Keep(MakePicture(Layout::kRgb24, 2, 2, 1));
  static_cast<BITMAPINFOHEADER*>(GlobalLock(two))->biBitCount = 2;
  GlobalUnlock(two);
  DibAccess record;
  std::memset(&record, 0x5A, sizeof record);
  EXPECT_FALSE(QVStartDibAccess(two, &record));
  EXPECT_EQ(GetErrorStatus(), 7);
  EXPECT_EQ(std::vector<BYTE>(reinterpret_cast<BYTE*>(&record), reinterpret_cast<BYTE*>(&record + 1)),
            std::vector<BYTE>(sizeof record, 0x5A));
}

}  // namespace
}  // namespace qvx::test
