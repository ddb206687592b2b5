// EXIF metadata of pictures, read and changed through libexif.
#pragma once

#include <cstdint>
#include <vector>

namespace qvx::cli {

// The EXIF orientation (1..8) of an EXIF block from its TIFF header on: how
// the stored pixels must be turned and mirrored to stand upright. 1 when the
// block has none or cannot be read.
int ExifOrientation(const std::vector<std::uint8_t>& exif);

// Sets the block's orientation to 1 (upright as stored), for pictures whose
// pixels were turned upright. False, with the block unchanged, when it
// cannot be read or written back.
bool ResetExifOrientation(std::vector<std::uint8_t>& exif);

// The library's quarter turn (counter-clockwise, in degrees) and mirrors
// that make a picture of an orientation stand upright: the picture is
// mirrored left-right, then turned.
struct Upright {
  int degrees = 0;
  bool mirror = false;
};
Upright UprightFor(int orientation);

}  // namespace qvx::cli
