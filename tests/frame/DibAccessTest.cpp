// Locking and validating pictures, kinds, and new pictures.
#include <cstring>

#include "frame/DibAccess.h"
#include "frame/Resources.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class DibAccessTest : public QvxTest {};

// A picture whose header is written by the test; the block holds
// `extraBytes` beyond what the header claims (negative: fewer).
HGLOBAL RawPicture(BITMAPINFOHEADER header, std::size_t tableBytes, std::int64_t extraBytes = 0) {
  const std::int64_t rows =
      (header.biWidth > 0 && header.biHeight > 0)
          ? std::int64_t{RowBytesFor(header.biBitCount, header.biWidth)} * header.biHeight
          : 0;
  const std::int64_t bytes = 40 + static_cast<std::int64_t>(tableBytes) + rows + extraBytes;
  HGLOBAL block = GlobalAlloc(GHND, static_cast<SIZE_T>(bytes < 0 ? 0 : bytes));
  auto* data = static_cast<BYTE*>(GlobalLock(block));
  std::memcpy(data, &header, bytes >= 40 ? 40 : static_cast<std::size_t>(bytes));
  GlobalUnlock(block);
  return block;
}

BITMAPINFOHEADER Header(int width, int height, int bits, DWORD compression = BI_RGB) {
  return BITMAPINFOHEADER{40, width, height, 1, static_cast<WORD>(bits), compression, 0, 0, 0, 0, 0};
}

int StartStatus(HGLOBAL picture, unsigned mask) {
  SetErrorStatus(0);
  DibAccess record;
  const BOOL ok = StartDibAccess(picture, &record, mask);
  if (ok) EndDibAccess(picture, &record);
  return ok ? 0 : GetErrorStatus();
}

TEST_F(DibAccessTest, RefusesHeadersItCannotRead) {
  struct Case {
    const char* what;
    BITMAPINFOHEADER header;
  } cases[] = {
      {"top-down", Header(4, -4, 24)},
      {"zero width", Header(0, 4, 24)},
      {"2-bit", Header(4, 4, 2)},
      {"bit count 0", Header(4, 4, 0)},
      {"16-bit with RLE compression", Header(4, 4, 16, 1)},
      {"32-bit with RLE compression", Header(4, 4, 32, 2)},
  };
  for (const auto& c : cases) {
    HGLOBAL picture = RawPicture(c.header, 0);
    EXPECT_EQ(StartStatus(picture, kDepthAll), 7) << c.what;
    GlobalFree(picture);
  }
  for (DWORD size : {12u, 108u, 124u}) {
    BITMAPINFOHEADER header = Header(4, 4, 24);
    header.biSize = size;
    HGLOBAL picture = RawPicture(header, 0, 200);
    EXPECT_EQ(StartStatus(picture, kDepthAll), 7) << "biSize " << size;
    GlobalFree(picture);
  }
}

TEST_F(DibAccessTest, RefusesBlocksShorterThanTheirHeaderClaims) {
  HGLOBAL tiny = GlobalAlloc(GHND, 20);
  EXPECT_EQ(StartStatus(tiny, kDepthAll), 7);
  GlobalFree(tiny);
  // One byte short of the last row.
  HGLOBAL shortRows = RawPicture(Header(5, 3, 24), 0, -1);
  EXPECT_EQ(StartStatus(shortRows, kDepthAll), 7);
  GlobalFree(shortRows);
  HGLOBAL exact = RawPicture(Header(5, 3, 24), 0, 0);
  EXPECT_EQ(StartStatus(exact, kDepthAll), 0);
  GlobalFree(exact);
  // An 8-bit picture whose table would run past the block.
  HGLOBAL noTable = RawPicture(Header(1, 1, 8), 0, 0);
  EXPECT_EQ(StartStatus(noTable, kDepthAll), 7);
  GlobalFree(noTable);
  // 16-bit bit fields without room for the masks.
  HGLOBAL noMasks = RawPicture(Header(1, 1, 16, BI_BITFIELDS), 0, 0);
  EXPECT_EQ(StartStatus(noMasks, kDepthAll), 7);
  GlobalFree(noMasks);
}

TEST_F(DibAccessTest, HugeDimensionsFailWithoutWrapping) {
  // Rows of 2^31 - 1 pixels times 32 bits, or heights whose product with
  // the stride overflows 32 bits, must be refused rather than wrapped into
  // a small size that the block would seem to satisfy.
  for (auto header : {Header(0x7FFFFFFF, 1, 32), Header(0x40000000, 4, 32), Header(1, 0x7FFFFFFF, 24),
                      Header(65536, 65536, 8)}) {
    HGLOBAL picture = RawPicture(Header(2, 2, 24), 0, 4096);
    auto* data = static_cast<BYTE*>(GlobalLock(picture));
    std::memcpy(data, &header, 40);
    GlobalUnlock(picture);
    EXPECT_EQ(StartStatus(picture, kDepthAll), 7) << header.biWidth << " x " << header.biHeight;
    GlobalFree(picture);
  }
}

TEST_F(DibAccessTest, RefusesNullAndStaleHandles) {
  DibAccess record;
  SetErrorStatus(0);
  EXPECT_FALSE(StartDibAccess(nullptr, &record, kDepthAll));
  EXPECT_EQ(GetErrorStatus(), 7);
  HGLOBAL picture = MakePicture(Layout::kRgb24, 2, 2, 1);
  EXPECT_FALSE(StartDibAccess(picture, nullptr, kDepthAll));
  EXPECT_EQ(GetErrorStatus(), 5);
  GlobalFree(picture);
  if (HasAccounting()) {
    // A freed handle, and one that was never handed out, cannot be locked.
    EXPECT_FALSE(StartDibAccess(picture, &record, kDepthAll));
    EXPECT_EQ(GetErrorStatus(), 3);
    EXPECT_FALSE(StartDibAccess(reinterpret_cast<HGLOBAL>(0x1234), &record, kDepthAll));
    EXPECT_EQ(GetErrorStatus(), 3);
  }
  EXPECT_FALSE(EndDibAccess(nullptr, &record));
  EXPECT_EQ(GetErrorStatus(), 7);
}

TEST_F(DibAccessTest, DepthMaskDecidesWhichPicturesPass) {
  struct Case {
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
}

TEST_F(DibAccessTest, GreyRampNeedsAllEntriesAndAPlainCount) {
  for (DWORD used : {0u, 256u, 255u}) {
    HGLOBAL picture = MakePicture(Layout::kGrey8, 3, 2, 3);
    static_cast<BITMAPINFOHEADER*>(GlobalLock(picture))->biClrUsed = used;
    GlobalUnlock(picture);
    EXPECT_EQ(StartStatus(picture, 0x74), used == 255 ? 7 : 0) << "biClrUsed " << used;
    GlobalFree(picture);
  }
  HGLOBAL picture = MakePicture(Layout::kGrey8, 3, 2, 3);
  auto* table = reinterpret_cast<RGBQUAD*>(static_cast<BYTE*>(GlobalLock(picture)) + 40);
  table[200].rgbGreen = 201;
  GlobalUnlock(picture);
  EXPECT_EQ(StartStatus(picture, 0x74), 7);
  GlobalFree(picture);
}

TEST_F(DibAccessTest, RecordDescribesThePicture) {
  HGLOBAL picture = MakePicture(Layout::kRgb565, 5, 3, 9);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  const DibAccess& r = locked.Record();
  const auto* base = reinterpret_cast<BYTE*>(r.Header);
  EXPECT_EQ(reinterpret_cast<BYTE*>(r.ColorTable), base + 40);
  // Pointers are copied out of the packed record before comparing.
  EXPECT_EQ(static_cast<BYTE*>(r.Bits), base + 52);  // three mask words between table and rows
  EXPECT_EQ(static_cast<BYTE*>(r.Pixel), static_cast<BYTE*>(r.Bits));
  EXPECT_EQ(r.Width, 5);
  EXPECT_EQ(r.MaxX, 4);
  EXPECT_EQ(r.MaxY, 2);
  EXPECT_EQ(r.RowBytes, 12u);
  EXPECT_EQ(r.RedMask, 0xF800);
  EXPECT_EQ(r.GreenMask, 0x07E0);
  EXPECT_EQ(r.BlueMask, 0x001F);
  EXPECT_EQ(r.ColorCount, 3u);
  for (BYTE reserved : r.Reserved) EXPECT_EQ(reserved, 0);
  locked.End();
  GlobalFree(picture);
}

TEST_F(DibAccessTest, RowStrideIsPaddedToFourBytes) {
  EXPECT_EQ(RowBytesFor(24, 3), 12u);
  EXPECT_EQ(RowBytesFor(1, 1), 4u);
  EXPECT_EQ(RowBytesFor(1, 33), 8u);
  EXPECT_EQ(RowBytesFor(4, 9), 8u);
  EXPECT_EQ(RowBytesFor(16, 3), 8u);
  EXPECT_EQ(RowBytesFor(32, 0x7FFFFFFF), 0u) << "too wide for a 32-bit stride";
}

TEST_F(DibAccessTest, KindsFollowTheColourTable) {
  struct Case {
    Layout layout;
    int kind;
  } cases[] = {{Layout::kGrey4, 40},  {Layout::kGrey8, 80},  {Layout::kPalette8, 8},
               {Layout::kPalette4, 4}, {Layout::kRgb24, 24}, {Layout::kRgb555, 16}};
  for (const auto& c : cases) {
    HGLOBAL picture = MakePicture(c.layout, 2, 2, 5);
    LockedDib locked;
    ASSERT_TRUE(locked.Start(picture, kDepthAll));
    EXPECT_EQ(GetDibKind(&locked.Record()), c.kind) << NameOf(c.layout);
    locked.End();
    GlobalFree(picture);
  }
}

TEST_F(DibAccessTest, NewDibLikeCopiesOrBlanks) {
  HGLOBAL source = MakePicture(Layout::kPalette8, 7, 5, 11);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(source, kDepthAll));
  HGLOBAL copy = Keep(NewDibLike(locked->Header, 7, 5, TRUE));
  HGLOBAL blank = Keep(NewDibLike(locked->Header, 3, 2, FALSE));
  locked.End();
  ASSERT_TRUE(copy && blank);
  EXPECT_EQ(FirstDifference(source, copy), "");
  const auto blankBytes = BlockBytes(blank);
  const auto sourceBytes = BlockBytes(source);
  ASSERT_EQ(blankBytes.size(), 40u + 1024 + 4 * 2);
  BITMAPINFOHEADER header;
  std::memcpy(&header, blankBytes.data(), 40);
  EXPECT_EQ(header.biWidth, 3);
  EXPECT_EQ(header.biHeight, 2);
  EXPECT_EQ(header.biSizeImage, 8u);
  EXPECT_EQ(header.biXPelsPerMeter, 2835);
  EXPECT_EQ(std::memcmp(blankBytes.data() + 40, sourceBytes.data() + 40, 1024), 0);
  for (std::size_t i = 40 + 1024; i < blankBytes.size(); ++i) EXPECT_EQ(blankBytes[i], 0);
  GlobalFree(source);
}

TEST_F(DibAccessTest, NewDibLikeRefusals) {
  HGLOBAL source = MakePicture(Layout::kRgb24, 2, 2, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(source, kDepthAll));
  SetErrorStatus(0);
  EXPECT_EQ(NewDibLike(locked->Header, 0, 5, TRUE), nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_EQ(NewDibLike(locked->Header, 0x7FFFFFFF, 0x7FFFFFFF, FALSE), nullptr);
  EXPECT_EQ(GetErrorStatus(), 3);
  locked.End();
  GlobalFree(source);
}

TEST_F(DibAccessTest, NewDibOfKindTables) {
  HGLOBAL source = MakePicture(Layout::kRgb24, 2, 2, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(source, kDepthAll));
  HGLOBAL four = Keep(NewDibOfKind(&locked.Record(), 4, 3, 3));
  HGLOBAL eight = Keep(NewDibOfKind(&locked.Record(), 8, 3, 3));
  HGLOBAL grey = Keep(NewDibOfKind(&locked.Record(), 80, 3, 3));
  HGLOBAL empty = Keep(NewDibOfKind(&locked.Record(), 32, 0, 4));
  SetErrorStatus(0);
  EXPECT_EQ(NewDibOfKind(&locked.Record(), 2, 3, 3), nullptr);
  EXPECT_EQ(GetErrorStatus(), 2);
  EXPECT_EQ(NewDibOfKind(&locked.Record(), 24, -1, 3), nullptr);
  EXPECT_EQ(GetErrorStatus(), 2);
  EXPECT_EQ(NewDibOfKind(nullptr, 24, 1, 1), nullptr);
  EXPECT_EQ(GetErrorStatus(), 2);
  locked.End();
  ASSERT_TRUE(four && eight && grey && empty);
  {
    PictureView v(four);
    EXPECT_EQ(v.BitCount(), 4);
    EXPECT_EQ(v.Header()->biClrUsed, 16u);
    EXPECT_EQ(v.Table()[3].rgbRed, 127);
    EXPECT_EQ(v.Table()[3].rgbGreen, 127);
    EXPECT_EQ(v.Table()[3].rgbBlue, 0);
    EXPECT_EQ(v.Table()[8].rgbRed, 192);
  }
  {
    PictureView v(eight);
    EXPECT_EQ(v.Header()->biClrUsed, 216u);
    // Entry 36i + 6j + k is (51k, 51j, 51i): entry 36*1 + 6*2 + 3 = 51.
    EXPECT_EQ(v.Table()[51].rgbRed, 153);
    EXPECT_EQ(v.Table()[51].rgbGreen, 102);
    EXPECT_EQ(v.Table()[51].rgbBlue, 51);
  }
  {
    PictureView v(grey);
    EXPECT_TRUE(IsGrey256Table(v.Header()));
  }
  EXPECT_EQ(GlobalSize(empty), 40u);
  GlobalFree(source);
}

TEST_F(DibAccessTest, ClampRectToDib) {
  const BITMAPINFOHEADER header = Header(10, 6, 24);
  int x1 = -5, y1 = 2, x2 = 40, y2 = -1;
  ClampRectToDib(&header, x1, y1, x2, y2);
  EXPECT_EQ(x1, 0);
  EXPECT_EQ(y1, 2);
  EXPECT_EQ(x2, 9);
  EXPECT_EQ(y2, 0);
}

TEST_F(DibAccessTest, NewPicturesReleaseEverythingWhenMemoryFails) {
  HGLOBAL source = MakePicture(Layout::kRgb24, 4, 4, 1);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(source, kDepthAll));
  ExpectCleanFailures([&] { return NewDibLike(locked->Header, 4, 4, TRUE); });
  ExpectCleanFailures([&] { return NewDibOfKind(&locked.Record(), 8, 4, 4); });
  locked.End();
  GlobalFree(source);
}

}  // namespace
}  // namespace qvx::test
