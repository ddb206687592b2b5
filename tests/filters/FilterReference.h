// Independent working of the neighbourhood filters for tests: each filter's
// rule evaluated pixel by pixel on a decoded picture, straight from the
// filter's description, without the library's code.
#pragma once

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "frame/Selection.h"
#include "geometry/GeometryReference.h"
#include "tone/ToneModel.h"

namespace qvx::test {

// The colour of a decoded pixel (grey pictures: the grey level).
Colour ColourOf(const Grid& grid, int x, int y);

// What a filter writes at (x, y): a colour, or nothing (the pixel keeps
// the source's value).
using PixelRule = std::function<std::optional<Colour>(int x, int y)>;

// The expected result: the source, with every selected pixel of the work
// rectangle that the rule writes stored as the filter stores it (16-bit
// packing, alpha 0, grey pictures as the index (0.587 G + 0.299 R) + 0.114 B
// rounded).
Grid ExpectedFilter(const Grid& source, const WorkRect& rect, const Selected& selected,
                    const PixelRule& rule);

// The rules, each for a pixel (x, y) of the work rectangle.
namespace ref {
Colour Blur(const Grid& g, const WorkRect& rect, int x, int y, int radius);
Colour AntiAlias(const Grid& g, const WorkRect& rect, int x, int y);
// The 9 x 9 kernel: weights[9 * ky + kx] weigh the pixel kx - 4 columns and
// ky - 4 rows away (clamped into the picture); divisor and bias are the low
// bytes of the arguments. Channels not enabled are `disabled` (the source's
// own value when null, else that value).
struct Kernel {
  std::vector<std::int32_t> weights = std::vector<std::int32_t>(81);
  int divisor = 1, bias = 0;
  bool red = true, green = true, blue = true;
  std::string Describe() const;
};
Colour Custom(const Grid& g, int x, int y, const Kernel& k, std::optional<int> disabled);
// Relief kernel of direction 0..7, depth taken into 1..5, bias.
Colour Emboss(const Grid& g, int x, int y, int direction, int depth, int bias);
// Edge strength: channel 0 luminance, 1 red, 2 green, 3 blue; operator 0
// simple difference, 2 Sobel, other Roberts; gain in tenths, above 100 as
// 100.
Colour Outline(const Grid& g, int x, int y, int channel, int op, int gain);
// floor(0.298912 R + 0.586611 G + 0.114478 B), products added in that order.
int Luminance(Colour c);
// Luminance boost of strength 0..255 (above 100 as 100) over the 3 x 3
// neighbourhood cut by the picture's edges.
Colour Sharp(const Grid& g, int x, int y, int strength);
// Method 0: the colour of the neighbour at index n / 2 of a stable sort by
// luminance. Method 1: per channel, the median of the neighbours where one
// strays by more than 255 - level; nothing when no channel does.
std::optional<Colour> RemoveNoise(const Grid& g, int x, int y, int method, int level);
}  // namespace ref

// A random selection for a picture of the given size: its arguments, the
// work rectangle it leads to and the pixels it selects.
struct RandomSelection {
  RandomSelection(std::mt19937& random, int width, int height);
  ~RandomSelection();
  RandomSelection(const RandomSelection&) = delete;
  RandomSelection& operator=(const RandomSelection&) = delete;

  SelectionArgs args;
  WorkRect rect;
  Selected selected;  // inside rect
  std::string what;

 private:
  std::vector<POINT> polygon_;
  HGLOBAL mask_ = nullptr;
};

}  // namespace qvx::test
