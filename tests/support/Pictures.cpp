#include "support/Pictures.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace qvx::test {
namespace {

// Bit count and name of each layout, in the order of Layout.
constexpr struct {
  int bits;
  const char* name;
} kLayouts[] = {{1, "palette1"}, {4, "palette4"}, {4, "grey4"},         {8, "palette8"},
                {8, "grey8"},    {16, "rgb555"},  {16, "rgb555fields"}, {16, "rgb565"},
                {24, "rgb24"},   {32, "rgb32"}};

std::uint32_t Stride(int bits, int width) {
  return static_cast<std::uint32_t>((static_cast<std::int64_t>(bits) * width + 31) / 32 * 4);
}

HGLOBAL Build(Layout layout, int width, int height, std::uint32_t seed, bool fillPixels) {
  const int bits = BitCountOf(layout);
  const std::uint32_t stride = Stride(bits, width);
  const bool fields = layout == Layout::kRgb555Fields || layout == Layout::kRgb565;
  const int table = bits <= 8 ? 4 << bits : (fields ? 12 : 0);  // colour table or masks
  const std::size_t bytes = 40 + table + std::size_t{stride} * height;
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
  BITMAPINFOHEADER header{40, width, height, 1, static_cast<WORD>(bits),
                          static_cast<DWORD>(fields ? BI_BITFIELDS : BI_RGB),
                          static_cast<DWORD>(stride * height), 2835, 2835, 0, 0};
  std::memcpy(data, &header, 40);
  std::mt19937 random(seed);
  auto* quads = reinterpret_cast<RGBQUAD*>(data + 40);
  if (fields) {
    const bool is565 = layout == Layout::kRgb565;
    const DWORD masks[3] = {is565 ? 0xF800u : 0x7C00u, is565 ? 0x07E0u : 0x03E0u, 0x001F};
    std::memcpy(data + 40, masks, 12);
  } else {
    const bool grey = layout == Layout::kGrey4 || layout == Layout::kGrey8;
    const int step = layout == Layout::kGrey4 ? 17 : 1;
    for (int i = 0; i < table / 4; ++i)
      quads[i] = grey ? RGBQUAD{BYTE(step * i), BYTE(step * i), BYTE(step * i), 0}
                      : RGBQUAD{BYTE(random()), BYTE(random()), BYTE(random()), 0};
  }
  if (fillPixels) {
    std::uint8_t* rows = data + 40 + table;
    for (std::size_t i = 0; i < std::size_t{stride} * height; ++i) rows[i] = BYTE(random());
  }
  GlobalUnlock(block);
  return block;
}

}  // namespace

std::vector<Layout> AllLayouts() {
  std::vector<Layout> all(std::size(kLayouts));
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<Layout>(i);
  return all;
}

int BitCountOf(Layout layout) { return kLayouts[static_cast<int>(layout)].bits; }

std::string NameOf(Layout layout) { return kLayouts[static_cast<int>(layout)].name; }

HGLOBAL MakePicture(Layout layout, int width, int height, std::uint32_t seed) {
  return Build(layout, width, height, seed, true);
}

HGLOBAL MakeBlankPicture(Layout layout, int width, int height, std::uint32_t seed) {
  return Build(layout, width, height, seed, false);
}

HGLOBAL MakeMask(const std::vector<std::string>& rows, bool whiteFirst) {
  const int height = static_cast<int>(rows.size());
  const int width = height ? static_cast<int>(rows[0].size()) : 0;
  const std::uint32_t stride = Stride(1, width);
  HGLOBAL block = GlobalAlloc(GHND, 48 + std::size_t{stride} * height);
  auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
  BITMAPINFOHEADER header{40, width, height, 1, 1, BI_RGB, stride * height, 0, 0, 0, 0};
  std::memcpy(data, &header, 40);
  auto* quads = reinterpret_cast<RGBQUAD*>(data + 40);
  const RGBQUAD black{0, 0, 0, 0}, white{255, 255, 255, 0};
  quads[0] = whiteFirst ? white : black;
  quads[1] = whiteFirst ? black : white;
  for (int y = 0; y < height; ++y)  // rows from the bottom
    for (int x = 0; x < width; ++x)
      if ((rows[y][x] == '#') != whiteFirst)
        data[48 + std::size_t{stride} * (height - 1 - y) + x / 8] |= std::uint8_t(0x80 >> (x & 7));
  GlobalUnlock(block);
  return block;
}

std::vector<std::uint8_t> BlockBytes(HGLOBAL block) {
  const auto* data = static_cast<const std::uint8_t*>(GlobalLock(block));
  std::vector<std::uint8_t> bytes(data, data + GlobalSize(block));
  GlobalUnlock(block);
  return bytes;
}

std::string ToString(const Pixel& p) {
  std::ostringstream out;
  if (p.index >= 0) out << "index " << p.index << " ";
  out << "rgb(" << p.red << "," << p.green << "," << p.blue << ") alpha " << p.alpha;
  return out.str();
}

PictureView::PictureView(HGLOBAL picture)
    : picture_(picture), header_(static_cast<BITMAPINFOHEADER*>(GlobalLock(picture))) {}

PictureView::~PictureView() {
  if (header_) GlobalUnlock(picture_);
}

const RGBQUAD* PictureView::Table() const {
  return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const std::uint8_t*>(header_) + 40);
}

std::uint32_t PictureView::RowBytes() const { return Stride(BitCount(), Width()); }

const std::uint8_t* PictureView::Row(int y) const {
  const auto* base = reinterpret_cast<const std::uint8_t*>(header_);
  return base + 40 + GetDibPalSize(header_) + std::size_t{RowBytes()} * (Height() - 1 - y);
}

Pixel PictureView::At(int x, int y) const {
  const std::uint8_t* row = Row(y);
  Pixel p;
  auto fromTable = [&](int index) {
    const RGBQUAD& q = Table()[index];
    p = Pixel{index, q.rgbRed, q.rgbGreen, q.rgbBlue};
  };
  auto widen = [](int value, int bits) {
    const double scale = bits == 5 ? 8.225806451612902 : 4.0476190476190474;
    return static_cast<int>(std::trunc(value * scale + 0.5));
  };
  switch (BitCount()) {
    case 1: fromTable((row[x / 8] >> (7 - x % 8)) & 1); break;
    case 4: fromTable(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4); break;
    case 8: fromTable(row[x]); break;
    case 16: {
      const int w = row[2 * x] | (row[2 * x + 1] << 8);
      const bool is565 = header_->biCompression == BI_BITFIELDS &&
                         reinterpret_cast<const DWORD*>(Table())[0] == 0xF800;
      p.red = widen((w >> (is565 ? 11 : 10)) & 31, 5);
      p.green = is565 ? widen((w >> 5) & 63, 6) : widen((w >> 5) & 31, 5);
      p.blue = widen(w & 31, 5);
      break;
    }
    case 24:
    case 32: {
      const std::uint8_t* q = row + BitCount() / 8 * x;
      p = Pixel{-1, q[2], q[1], q[0], BitCount() == 32 ? q[3] : 0};
      break;
    }
  }
  return p;
}

std::string FirstDifference(HGLOBAL expected, HGLOBAL actual) {
  PictureView a(expected), b(actual);
  std::ostringstream out;
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) {
    out << "size/depth " << a.Width() << "x" << a.Height() << "x" << a.BitCount() << " vs "
        << b.Width() << "x" << b.Height() << "x" << b.BitCount();
    return out.str();
  }
  const UINT table = GetDibPalSize(a.Header());
  if (table != GetDibPalSize(b.Header()) || std::memcmp(a.Table(), b.Table(), table) != 0)
    return "colour tables differ";
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(a.At(x, y) == b.At(x, y))) {
        out << "pixel (" << x << ", " << y << "): expected " << ToString(a.At(x, y)) << ", got "
            << ToString(b.At(x, y));
        return out.str();
      }
  return "";
}

}  // namespace qvx::test
