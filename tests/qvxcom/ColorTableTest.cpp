// The stand-in sibling library's colour-table rules and error status (its
// progress hooks are exercised by every cancellation test).
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/QvxCom.h"

namespace {

struct HeaderWithTable {
  BITMAPINFOHEADER header;
  RGBQUAD table[256];
};

HeaderWithTable Make(int bits, DWORD compression = BI_RGB, DWORD used = 0,
                     std::vector<DWORD> masks = {}) {
  HeaderWithTable h{};
  h.header = BITMAPINFOHEADER{40, 4, 4, 1, static_cast<WORD>(bits), compression, 0, 0, 0, used, 0};
  if (!masks.empty()) std::memcpy(h.table, masks.data(), masks.size() * sizeof(DWORD));
  return h;
}

TEST(ColorTableTest, TableSizesAndLayouts) {
  const struct {
    HeaderWithTable h;
    UINT tableBytes, colours;
  } sizes[] = {{Make(1), 8, 2},
               {Make(8, BI_RGB, 20), 80, 20},
               {Make(8, BI_RGB, 300), 1024, 256},  // a count past 2^bits is capped
               {Make(16, BI_BITFIELDS), 12, 0},
               {Make(24, BI_RGB, 5), 0, 0},
               {Make(2), 0, 0}};
  for (const auto& c : sizes) {
    EXPECT_EQ(GetDibPalSize(&c.h.header), c.tableBytes) << c.h.header.biBitCount;
    EXPECT_EQ(DibNumColors(&c.h.header), c.colours) << c.h.header.biBitCount;
  }
  const struct {
    HeaderWithTable h;
    int info16, info32;
  } layouts[] = {{Make(16), 1, -1},
                 {Make(16, BI_BITFIELDS, 0, {0x7C00, 0x03E0, 0x001F}), 3, -1},
                 {Make(16, BI_BITFIELDS, 0, {0xF800, 0x07E0, 0x001F}), 2, -1},
                 {Make(16, 1), 0, -1},
                 {Make(32), 0, 0},
                 {Make(32, BI_BITFIELDS, 0, {0xFF0000, 0xFF00, 0xFF}), 0, 1},
                 {Make(32, BI_BITFIELDS, 0, {0xFF, 0xFF00, 0xFF0000}), 0, -1}};
  for (const auto& c : layouts) {
    EXPECT_EQ(GetBmp16Info(&c.h.header), c.info16) << &c - layouts;
    EXPECT_EQ(GetBmp32Info(&c.h.header), c.info32) << &c - layouts;
  }
}

TEST(ColorTableTest, NearestColourWithTiesToTheLowestIndex) {
  auto h = Make(4);
  for (int i = 0; i < 16; ++i) h.table[i] = RGBQUAD{0, 0, static_cast<BYTE>(i * 16), 0};
  EXPECT_EQ(GetRgbtoPal(&h.header, 33, 0, 0), 2);  // 32 is nearest
  EXPECT_EQ(GetRgbtoPal(&h.header, 40, 0, 0), 2);  // 32 and 48 tie: the lower index
  EXPECT_EQ(GetRgbtoPal(&h.header, 255, 0, 0), 15);
  h.table[9] = h.table[3];
  EXPECT_EQ(GetRgbtoPal(&h.header, 48, 0, 0), 3);
  const auto plain = Make(24);
  EXPECT_EQ(GetRgbtoPal(&plain.header, 1, 2, 3), 0);
  EXPECT_FALSE(IsGrayImage(&plain.header));
}

TEST(ColorTableTest, GreyQuestions) {
  auto h = Make(8);
  for (int i = 0; i < 256; ++i) h.table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  EXPECT_TRUE(Is8BitGrayScale(&h.header) && IsGrayImage(&h.header));
  h.table[5] = RGBQUAD{9, 9, 9, 0};  // grey, but no longer the ramp
  EXPECT_TRUE(!Is8BitGrayScale(&h.header) && IsGrayImage(&h.header));
  h.table[6].rgbRed = 1;
  EXPECT_FALSE(IsGrayImage(&h.header));
}

TEST(ErrorStatusTest, IsKeptPerThread) {
  SetErrorStatus(5);
  int other = -1;
  std::thread([&] { other = GetErrorStatus(); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(GetErrorStatus(), 5);
}

}  // namespace
