// Independent working of the neighbourhood filters for tests: each filter's
// rule evaluated pixel by pixel (mosaic: cell by cell) on a decoded
// picture, straight from the filter's description, without the library's
// code; and the driver that checks the filters against the rules on random
// pictures and selections.
#pragma once

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "frame/Selection.h"
#include "frame/SelectionArgs.h"
#include "geometry/GeometryReference.h"
#include "tone/ToneFrame.h"
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
// The most frequent colour of the size x size brush window, clipped to the
// rectangle and visited row by row: per channel (method 0) or the colour
// that made its luminance bin the most frequent (method 1); a value takes
// over only with a higher count.
Colour OilPaint(const Grid& g, const WorkRect& rect, int x, int y, int method, int size);
// The mean of the samples along the pixel's path (kind 0 linear, 1 spin,
// 2 zoom), or nothing when no sample was taken.
std::optional<Colour> MotionBlur(const Grid& g, const WorkRect& rect, int x, int y, int kind,
                                 int samples, int degrees);
}  // namespace ref

// The expected mosaic: cells from the rectangle's corner while the corner
// lies in it, each clipped to the picture; the mean of every pixel of the
// cell, written (as Grid::Nearest stores it) to its selected pixels.
Grid ExpectedMosaic(const Grid& g, const WorkRect& rect, const Selected& selected, int cw, int ch);

// The layouts the neighbourhood filters take (mosaic takes every layout).
inline const std::vector<Layout> kFilterLayouts = {Layout::kGrey8,        Layout::kRgb555,
                                                   Layout::kRgb555Fields, Layout::kRgb565,
                                                   Layout::kRgb24,        Layout::kRgb32};

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

// One random case of an effect: the effect run on a selection's arguments
// by a pixel route, and its expected result on the decoded source.
struct RandomCase {
  std::string what;
  std::function<HGLOBAL(const SelectionArgs&, PixelRoute)> run;
  std::function<Grid(const Grid& source, const RandomSelection&)> expected;
};
// A case whose rule works pixel by pixel.
using RectRule = std::function<std::optional<Colour>(const Grid&, const WorkRect&, int x, int y)>;
RandomCase PixelCase(const std::string& what,
                     std::function<HGLOBAL(const SelectionArgs&, PixelRoute)> run, RectRule rule);

// For each seed and layout a random picture of an awkward size (most of
// them holding few distinct values, so that ties and equal counts are
// frequent), and for each case that `makeCases` draws a random selection:
// the direct route must give the expected picture, the record route the
// same bytes. Returns the number of cases run.
int CheckRandomCases(int seeds, const std::vector<Layout>& layouts,
                     const std::function<std::vector<RandomCase>(std::mt19937&)>& makeCases);

}  // namespace qvx::test
