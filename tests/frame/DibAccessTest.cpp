// Pictures: locking and validating them, new pictures, and reading and
// writing pixels (per depth, through the cursor, and through the
// four pixel exports). Pixels are checked against the test's own decoder
// (PictureView) and against values worked by hand.
#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "frame/DibAccess.h"
#include "frame/Resources.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class DibAccessTest : public QvxTest {};

BITMAPINFOHEADER Header(int width, int height, int bits, DWORD compression = BI_RGB,
                        DWORD size = 40) {
  return {size, width, height, 1, static_cast<WORD>(bits), compression, 0, 0, 0, 0, 0};
}

// The error status StartDibAccess leaves (0 when it accepts the picture).
int StartStatus(HGLOBAL picture, unsigned mask) {
  SetErrorStatus(0);
  DibAccess record;
  const BOOL ok = StartDibAccess(picture, &record, mask);
  if (ok) EndDibAccess(picture, &record);
  return ok ? 0 : GetErrorStatus();
}

// The status for a block of `bytes` bytes starting with `header` (as much
// of it as fits). The export must agree, and leave the caller's record as
// it was when it refuses.
int StatusOfRaw(const BITMAPINFOHEADER& header, std::size_t bytes) {
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  std::memcpy(GlobalLock(block), &header, std::min<std::size_t>(bytes, 40));
  GlobalUnlock(block);
  const int status = StartStatus(block, kDepthAll);
  DibAccess record, before;
  std::memset(&record, 0x5A, sizeof record);
  std::memset(&before, 0x5A, sizeof before);
  SetErrorStatus(0);
  if (QVStartDibAccess(block, &record)) QVEndDibAccess(block, &record);
  EXPECT_TRUE(status == 0 || std::memcmp(&record, &before, sizeof record) == 0);
  EXPECT_EQ(GetErrorStatus(), status) << "from the export";
  GlobalFree(block);
  return status;
}

TEST_F(DibAccessTest, RefusesWhatItCannotRead) {
  const std::tuple<const char*, BITMAPINFOHEADER, std::size_t, int> cases[] = {
      {"5 x 3, 24-bit, exactly its size", Header(5, 3, 24), 40 + 3 * 16, 0},
      {"one byte short of the last row", Header(5, 3, 24), 40 + 3 * 16 - 1, 7},
      {"shorter than a header", Header(5, 3, 24), 20, 7},
      {"top-down", Header(4, -4, 24), 4096, 7},
      {"zero width", Header(0, 4, 24), 4096, 7},
      {"2-bit", Header(4, 4, 2), 4096, 7},
      {"16-bit with RLE compression", Header(4, 4, 16, 1), 4096, 7},
      {"8-bit without room for its table", Header(1, 1, 8), 44, 7},
      {"bit fields without room for the masks", Header(1, 1, 16, BI_BITFIELDS), 44, 7},
      // Sizes whose product with the stride would wrap into a small size
      // that the block would seem to satisfy.
      {"2^31 - 1 pixels of 32 bits", Header(0x7FFFFFFF, 1, 32), 4096, 7},
      {"65536 x 65536, 8 bits", Header(65536, 65536, 8), 4096, 7},
      {"biSize 12", Header(4, 4, 24, BI_RGB, 12), 4096, 7},
      {"biSize 124", Header(4, 4, 24, BI_RGB, 124), 4096, 7},
  };
  for (const auto& [what, header, bytes, status] : cases)
    EXPECT_EQ(StatusOfRaw(header, bytes), status) << what;
  // Null records and handles; a freed handle, and one that was never handed
  // out, cannot be locked.
  EXPECT_EQ(StartStatus(nullptr, kDepthAll), 7);
  HGLOBAL picture = MakePicture(Layout::kRgb24, 2, 2, 1);
  EXPECT_FALSE(StartDibAccess(picture, nullptr, kDepthAll));
  EXPECT_EQ(GetErrorStatus(), 5);
  GlobalFree(picture);
  EXPECT_TRUE(!HasAccounting() || (StartStatus(picture, kDepthAll) == 3 &&
                                   StartStatus(reinterpret_cast<HGLOBAL>(0x1234), kDepthAll) == 3));
  DibAccess record;
  EXPECT_FALSE(EndDibAccess(nullptr, &record));
  EXPECT_EQ(GetErrorStatus(), 7);
}

// Each layout passes with its own depth bit and not without it.
TEST_F(DibAccessTest, DepthMaskDecidesWhichPicturesPass) {
  for (const auto& [layout, with, without] :
       {std::tuple{Layout::kPalette1, 0x01, 0x7E}, {Layout::kPalette4, 0x02, 0x7D},
        {Layout::kGrey4, 0x02, 0x74}, {Layout::kPalette8, 0x08, 0x74}, {Layout::kGrey8, 0x04, 0x70},
        {Layout::kRgb555, 0x10, 0x6F}, {Layout::kRgb565, 0x70, 0x0F}, {Layout::kRgb24, 0x20, 0x40},
        {Layout::kRgb32, 0x40, 0x3F}}) {
    HGLOBAL picture = Keep(MakePicture(layout, 3, 2, 7));
    EXPECT_EQ(StartStatus(picture, with), 0) << NameOf(layout) << " with mask " << with;
    EXPECT_EQ(StartStatus(picture, without), 7) << NameOf(layout) << " with mask " << without;
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

// New pictures: like a source (copies and blank pictures of every layout,
// and their clean failures, are checked through the effects' results), or
// of a kind, with the standard tables; refusals and clean failures.
TEST_F(DibAccessTest, NewPictures) {
  LockedDib palette, rgb;
  ASSERT_TRUE(palette.Start(Keep(MakePicture(Layout::kPalette8, 7, 5, 11)), kDepthAll) &&
              rgb.Start(Keep(MakePicture(Layout::kRgb24, 2, 2, 1)), kDepthAll));
  const DibAccess& r = palette.Record();
  // Pictures of another kind than the source's get standard tables.
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
  // A colour written to a palette picture takes the table entry of that colour.
  LockedDib cube;
  ASSERT_TRUE(cube.Start(eight, kDepthAll));
  cube->UseRgb = 1, cube->Red = 153, cube->Green = 102, cube->Blue = 51;
  ASSERT_TRUE(SetDibPixel(&cube.Record(), 2, 1));
  EXPECT_EQ(PictureView(eight).At(2, 1).index, 51);
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
  ExpectCleanFailures([&] { return NewDibOfKind(&rgb.Record(), 8, 4, 4); });
  // Rectangles are clamped into a picture.
  int x1 = -5, y1 = 2, x2 = 40, y2 = -1;
  ClampRectToDib(r.Header, x1, y1, x2, y2);
  EXPECT_EQ(std::vector<int>({x1, y1, x2, y2}), std::vector<int>({0, 2, 6, 0}));
}

// Widths that leave every kind of partial last byte and word.
constexpr int kWidths[] = {1, 2, 3, 5, 7, 8, 9, 13, 33};

// A picture made for a caller that writes every pixel: header and table as
// usual, and each row zero from its first byte not wholly taken by pixels
// (the bytes before are junk in this build's small blocks).
TEST_F(DibAccessTest, NewPicturesWithUnwrittenPixelsHaveZeroPadding) {
  LockedDib rgb;
  ASSERT_TRUE(rgb.Start(Keep(MakePicture(Layout::kRgb24, 2, 2, 1)), kDepthAll));
  for (int kind : {1, 4, 8, 16, 24, 32})
    for (int width : kWidths) {
      HGLOBAL zero = Keep(NewDibOfKind(&rgb.Record(), kind, width, 3));
      HGLOBAL made = Keep(NewDibOfKind(&rgb.Record(), kind, width, 3, NewRows::kPixelsUnwritten));
      ASSERT_TRUE(zero && made);
      PictureView z(zero), m(made);
      ASSERT_EQ(GlobalSize(made), GlobalSize(zero));
      EXPECT_EQ(std::memcmp(m.Header(), z.Header(), 40 + 4 * z.Header()->biClrUsed), 0);
      const std::size_t whole = static_cast<std::size_t>(kind) * width / 8;
      for (int y = 0; y < 3; ++y)
        for (std::size_t i = whole; i < m.RowBytes(); ++i)
          ASSERT_EQ(m.Row(y)[i], 0) << "kind " << kind << " width " << width << " byte " << i;
    }
  // The same for a picture like a source of each layout.
  for (Layout layout : AllLayouts()) {
    LockedDib like;
    ASSERT_TRUE(like.Start(Keep(MakePicture(layout, 2, 2, 1)), kDepthAll));
    const int bits = like.Record().BitCount;
    for (int width : kWidths) {
      HGLOBAL zero = Keep(NewDibLike(like.Record().Header, width, 3, FALSE));
      HGLOBAL made =
          Keep(NewDibLike(like.Record().Header, width, 3, FALSE, NewRows::kPixelsUnwritten));
      ASSERT_TRUE(zero && made);
      PictureView z(zero), m(made);
      ASSERT_EQ(GlobalSize(made), GlobalSize(zero));
      // Rows are stored bottom-up: the last row from the top comes first.
      const std::size_t pixelsAt = m.Row(2) - reinterpret_cast<const BYTE*>(m.Header());
      EXPECT_EQ(std::memcmp(m.Header(), z.Header(), pixelsAt), 0) << NameOf(layout);
      const std::size_t whole = static_cast<std::size_t>(bits) * width / 8;
      for (int y = 0; y < 3; ++y)
        for (std::size_t i = whole; i < m.RowBytes(); ++i)
          ASSERT_EQ(m.Row(y)[i], 0) << NameOf(layout) << " width " << width << " byte " << i;
    }
  }
}

// Runs `check` on a random picture of every layout and width.
template <class Check>
void ForEveryLayoutAndWidth(std::uint32_t seed, Check check) {
  std::mt19937 random(seed);
  for (Layout layout : AllLayouts())
    for (int width : kWidths) {
      SCOPED_TRACE(testing::Message() << NameOf(layout) << " width " << width);
      check(layout, width, random());
    }
}

// The record started describes the picture to the caller and keeps the
// block locked until it is ended.
TEST_F(DibAccessTest, StartedRecordDescribesThePictureUntilEnded) {
  ForEveryLayoutAndWidth(99, [&](Layout layout, int width, std::uint32_t seed) {
    HGLOBAL source = Keep(MakePicture(layout, width, 2, seed));
    const int bits = BitCountOf(layout);
    const long locked = QvxMemLockedBlocks();
    DibAccess single;
    std::memset(&single, 0xEE, sizeof single);
    ASSERT_TRUE(QVStartDibAccess(source, &single));
    EXPECT_EQ(GetErrorStatus(), 0);
    EXPECT_EQ(QvxMemLockedBlocks(), locked + (HasAccounting() ? 1 : 0));
    const bool fields = layout == Layout::kRgb555Fields || layout == Layout::kRgb565;
    const int colours = bits <= 8 ? 1 << bits : (fields ? 3 : 0);
    const int red = layout == Layout::kRgb565 ? 0xF800 : 0x7C00;
    EXPECT_EQ(std::vector<long long>({single.Width, single.Height, single.MaxX, single.MaxY,
                                      single.BitCount, single.RowBytes, single.ColorCount,
                                      single.RedMask, single.BlueMask, single.UseRgb}),
              std::vector<long long>({width, 2, width - 1, 1, bits, (bits * width + 31) / 32 * 4,
                                      colours, bits == 16 ? red : 0, bits == 16 ? 0x1F : 0, 0}));
    const auto* base = reinterpret_cast<BYTE*>(single.Header);
    EXPECT_TRUE(reinterpret_cast<BYTE*>(single.ColorTable) == base + 40 &&
                single.Bits == base + 40 + 4 * colours && single.Pixel == single.Bits);
    EXPECT_TRUE(QVEndDibAccess(source, &single));
    EXPECT_EQ(single.Header, nullptr);
    EXPECT_EQ(QvxMemLockedBlocks(), locked);
  });
}

// A pixel as a record holds it, shaped like the decoder's `like`.
Pixel ReadOf(const DibAccess& r, const Pixel& like, int bits) {
  const int index = like.index >= 0 ? r.Index : -1;
  return Pixel{index, r.Red, r.Green, r.Blue, bits == 32 ? r.Alpha : 0};
}

// Every pixel read through the export agrees with the test's own decoder,
// and reading switches the record to colours for palette pictures.
TEST_F(DibAccessTest, ExportReadsAgreeWithTheDecoder) {
  ForEveryLayoutAndWidth(99, [&](Layout layout, int width, std::uint32_t seed) {
    HGLOBAL source = Keep(MakePicture(layout, width, 2, seed));
    const int bits = BitCountOf(layout);
    PictureView view(source);
    DibAccess single;
    ASSERT_TRUE(QVStartDibAccess(source, &single));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < width; ++x) {
        const Pixel expected = view.At(x, y);
        ASSERT_TRUE(QVGetDibPixel(&single, x, y));
        ASSERT_EQ(ReadOf(single, expected, bits), expected) << "at " << x << ", " << y;
        EXPECT_EQ(single.UseRgb, 1);
      }
    EXPECT_TRUE(QVEndDibAccess(source, &single));
  });
}

// Along each row from a third of the way the cursor reads what the decoder
// reads; there every third pixel is skipped and the others copied, with
// WriteNext into one picture and by single writes into another (with
// indexes out of the depth's range: writes keep only its bits, and any
// non-zero index sets a 1-bit pixel): the copies come out identical and
// hold the source's pixels where written (16-bit colours narrowed back as
// they were widened) and nothing elsewhere.
TEST_F(DibAccessTest, CursorAndSingleWritesMakeTheSameCopy) {
  ForEveryLayoutAndWidth(99, [&](Layout layout, int width, std::uint32_t seed) {
    HGLOBAL source = Keep(MakePicture(layout, width, 2, seed));
    HGLOBAL viaSet = Keep(MakeBlankPicture(layout, width, 2, seed));
    HGLOBAL viaCursor = Keep(MakeBlankPicture(layout, width, 2, seed));
    const int x0 = width / 3, bits = BitCountOf(layout);
    const auto copied = [x0](int x) { return x >= x0 && (x - x0) % 3 != 2; };
    {
      PictureView view(source);
      LockedDib run, a, b;
      ASSERT_TRUE(run.Start(source, kDepthAll) && a.Start(viaSet, kDepthAll) &&
                  b.Start(viaCursor, kDepthAll));
      run->UseRgb = 1;
      const auto copy = [](DibAccess& to, const DibAccess& from) {
        std::memcpy(&to, &from, 4);  // index and colour
        to.Alpha = from.Alpha;
      };
      for (int y = 0; y < 2; ++y) {
        ASSERT_TRUE(SeekDibPixel(&run.Record(), x0, y) && SeekDibPixel(&b.Record(), x0, y));
        for (int x = x0; x < width; ++x) {
          const Pixel expected = view.At(x, y);
          if (!copied(x)) {
            SkipDibPixel(&run.Record()), SkipDibPixel(&b.Record());
            continue;
          }
          ReadNextDibPixel(&run.Record());
          ASSERT_EQ(ReadOf(run.Record(), expected, bits), expected) << "cursor at " << x << ", " << y;
          copy(b.Record(), run.Record());
          WriteNextDibPixel(&b.Record());
          copy(a.Record(), run.Record());
          a->Index = static_cast<BYTE>(bits == 1 ? a->Index * 7 : a->Index | (bits == 4) << 4);
          ASSERT_TRUE(QVSetDibPixel(&a.Record(), x, y));
          EXPECT_EQ(a->UseRgb, 0);
        }
      }
    }
    EXPECT_EQ(BlockBytes(viaSet), BlockBytes(viaCursor));
    PictureView from(source), blank(Keep(MakeBlankPicture(layout, width, 2, seed))), to(viaSet);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < width; ++x)
        ASSERT_EQ(to.At(x, y), copied(x) ? from.At(x, y) : blank.At(x, y)) << x << ", " << y;
  });
}

// Outside the picture nothing is read or written: the exports leave the
// caller's record exactly as it was, and refuse records whose pointers were
// tampered with rather than follow them.
TEST_F(DibAccessTest, OutsideOrForgedRecordsAreRefusedUntouched) {
  ForEveryLayoutAndWidth(99, [&](Layout layout, int width, std::uint32_t seed) {
    HGLOBAL source = Keep(MakePicture(layout, width, 2, seed));
    DibAccess single;
    ASSERT_TRUE(QVStartDibAccess(source, &single));
    const DibAccess before = single;
    const auto expectRefused = [&](bool ok, const char* what) {
      EXPECT_FALSE(ok) << what;
      EXPECT_EQ(GetErrorStatus(), 5) << what;
      EXPECT_EQ(std::memcmp(&before, &single, sizeof single), 0) << what;
    };
    expectRefused(QVGetDibPixel(&single, width, 0), "read outside");
    expectRefused(QVSetDibPixel(&single, 0, -1), "write outside");
    expectRefused(QVGetDibPixel(nullptr, 0, 0), "no record");
    DibAccess forged = single;
    forged.Bits += 1000000;
    expectRefused(QVSetDibPixel(&forged, 0, 0), "rows moved");
    forged = single;
    forged.Height = 100000, forged.MaxY = 99999;
    expectRefused(QVGetDibPixel(&forged, 0, 99999), "taller");
    // Every field the pixel reads rely on must still agree with the header.
    const std::vector<std::pair<const char*, std::function<void(DibAccess&)>>> forgeries = {
        {"longer table", [](DibAccess& r) { r.ColorCount += 256; }},
        {"shorter table", [](DibAccess& r) { r.ColorCount = r.ColorCount ? 1 : 3; }},
        {"other red mask", [](DibAccess& r) { r.RedMask ^= 0x8400; }},
        {"other green mask", [](DibAccess& r) { r.GreenMask ^= 0x0400; }},
        {"other blue mask", [](DibAccess& r) { r.BlueMask ^= 0x1F; }},
        {"table moved", [](DibAccess& r) { r.ColorTable += 1; }},
    };
    for (const auto& [what, forge] : forgeries) {
      forged = single;
      forge(forged);
      const DibAccess forgedBefore = forged;
      EXPECT_FALSE(QVGetDibPixel(&forged, width - 1, 1)) << what;
      EXPECT_EQ(GetErrorStatus(), 5) << what;
      EXPECT_FALSE(QVSetDibPixel(&forged, 0, 0)) << what;
      EXPECT_EQ(std::memcmp(&forgedBefore, &forged, sizeof forged), 0) << what;
    }
    EXPECT_TRUE(QVEndDibAccess(source, &single));
  });
}

TEST_F(DibAccessTest, CursorCallsRefuseNoRecord) {
  EXPECT_FALSE(GetDibPixel(nullptr, 0, 0) || ReadNextDibPixel(nullptr) ||
               WriteNextDibPixel(nullptr) || SkipDibPixel(nullptr));
}

}  // namespace
}  // namespace qvx::test
