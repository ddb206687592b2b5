// Pictures for tests: packed DIBs of every depth and layout in global
// memory, filled from a seeded generator, and ways to look at their pixels
// without going through the code under test.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "exports/Exported.h"

namespace qvx::test {

// The layouts a test can ask for.
enum class Layout {
  kPalette1,     // 1-bit, random two-entry table
  kPalette4,     // 4-bit, random 16-entry table
  kGrey4,        // 4-bit grey ramp (kind 40)
  kPalette8,     // 8-bit, random 256-entry table
  kGrey8,        // 8-bit grey ramp (kind 80)
  kRgb555,       // 16-bit BI_RGB, 5-5-5
  kRgb555Fields, // 16-bit BI_BITFIELDS, 5-5-5
  kRgb565,       // 16-bit BI_BITFIELDS, 5-6-5
  kRgb24,
  kRgb32,
};

std::vector<Layout> AllLayouts();
int BitCountOf(Layout layout);
std::string NameOf(Layout layout);

// A new picture with random pixels (and table, where random); the padding
// bytes after each row are random too, as in real files.
HGLOBAL MakePicture(Layout layout, int width, int height, std::uint32_t seed);

// A blank picture of the layout; the table as MakePicture makes it.
HGLOBAL MakeBlankPicture(Layout layout, int width, int height, std::uint32_t seed = 1);

// A 1-bit mask picture from rows of '#' (selected, white) and '.' (black),
// the first string being the top row. `whiteFirst` swaps the table.
HGLOBAL MakeMask(const std::vector<std::string>& rows, bool whiteFirst = false);

// The bytes of a block, copied out (locks and unlocks it).
std::vector<std::uint8_t> BlockBytes(HGLOBAL block);

// Reading pictures independently of the library's pixel code.
struct Pixel {
  int index = -1;  // palette pictures only
  int red = 0, green = 0, blue = 0, alpha = 0;
  bool operator==(const Pixel&) const = default;
};
std::string ToString(const Pixel& pixel);

class PictureView {
 public:
  explicit PictureView(HGLOBAL picture);
  ~PictureView();
  PictureView(const PictureView&) = delete;
  PictureView& operator=(const PictureView&) = delete;

  int Width() const { return header_->biWidth; }
  int Height() const { return header_->biHeight; }
  int BitCount() const { return header_->biBitCount; }
  const BITMAPINFOHEADER* Header() const { return header_; }
  const RGBQUAD* Table() const;
  const std::uint8_t* Row(int yFromTop) const;
  std::uint32_t RowBytes() const;
  // The pixel at (x, y from the top), decoded by the test's own rules.
  Pixel At(int x, int y) const;

 private:
  HGLOBAL picture_;
  BITMAPINFOHEADER* header_;
};

// First pixel where two pictures differ ("" when none), compared by their
// decoded colours (and index, for palette pictures), plus header and table.
std::string FirstDifference(HGLOBAL expected, HGLOBAL actual);

}  // namespace qvx::test
