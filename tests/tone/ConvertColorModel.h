// An independent model of the colour depth conversion, written from its
// description: pixels read with the test's own decoder, whole-picture
// arrays instead of row rings, the median cut with its axes shrunk one
// after the other. Nothing here calls the code under test.
#pragma once

#include <cstdint>
#include <vector>

#include "tone/ToneModel.h"

namespace qvx::test {

struct ConvertModel {
  int bitCount = 0;
  std::uint32_t clrUsed = 0;
  std::vector<Colour> table;  // every slot of the colour table
  // Per pixel, rows from the top: the index (palette results) or the colour
  // as the test's decoder will read it back (true colour).
  std::vector<int> indices;
  std::vector<Colour> colours;
  int failure = 0;  // the error the call must fail with, or 0
};

// The picture kind of a source by its header and table.
int ModelKind(HGLOBAL picture);

ConvertModel ModelConvert(HGLOBAL picture, int target, bool standard, bool dither, int threshold);

// The luminance of a colour, truncated.
int ModelLuminance(int r, int g, int b);

}  // namespace qvx::test
