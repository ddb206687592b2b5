// Median cut: every pixel is counted in a cell of 128 x 128 x 128; boxes of
// cells are split in turn, alternately the one with the longest side and
// the one with the most pixels, at the slice where the running count passes
// half the box's count; each box becomes the count-weighted mean of its
// cells' colours.
#include "tone/MedianCut.h"

#include <algorithm>
#include <cstdint>

#include "frame/ErrorCodes.h"
#include "frame/Progress.h"
#include "frame/Resources.h"
#include "platform/QvxCom.h"
#include "tone/ConvertRows.h"

namespace qvx {
namespace {

constexpr int kCells = 128 * 128 * 128;
// A cell stops counting here.
constexpr std::uint32_t kCellLimit = 8192000;
// Strides of the red, green and blue cell coordinates in the histogram.
constexpr int kStride[3] = {128 * 128, 128, 1};

inline int CellOf(const Rgb& c) { return (c.red >> 1) * 16384 + (c.green >> 1) * 128 + (c.blue >> 1); }

// Cell coordinates lo..hi inclusive on the red, green and blue axes.
struct Box {
  int lo[3];
  int hi[3];
  std::uint32_t count;
};

int Extent(const Box& box, int axis) { return box.hi[axis] - box.lo[axis]; }

int LongestSide(const Box& box) {
  return std::max(Extent(box, 0), std::max(Extent(box, 1), Extent(box, 2)));
}

// Red when it is at least as long as both others; otherwise blue when it is
// longer than green, else green.
int SplitAxis(const Box& box) {
  const int r = Extent(box, 0), g = Extent(box, 1), b = Extent(box, 2);
  if (r >= g && r >= b) return 0;
  return b > g ? 2 : 1;
}

// Calls visit(cell, r, g, b) for every cell of the box, red outermost.
template <class Visit>
void ForEachCell(const Box& box, Visit&& visit) {
  for (int r = box.lo[0]; r <= box.hi[0]; ++r)
    for (int g = box.lo[1]; g <= box.hi[1]; ++g) {
      const int base = r * kStride[0] + g * kStride[1];
      for (int b = box.lo[2]; b <= box.hi[2]; ++b)
        if (!visit(base + b, r, g, b)) return;
    }
}

// Narrows the box to the bounds of its non-empty cells; false when it has
// none.
bool Shrink(const std::uint32_t* histogram, Box& box) {
  int lo[3] = {128, 128, 128}, hi[3] = {-1, -1, -1};
  ForEachCell(box, [&](int cell, int r, int g, int b) {
    if (histogram[cell]) {
      const int at[3] = {r, g, b};
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], at[k]);
        hi[k] = std::max(hi[k], at[k]);
      }
    }
    return true;
  });
  if (hi[0] < 0) return false;
  for (int k = 0; k < 3; ++k) {
    box.lo[k] = lo[k];
    box.hi[k] = hi[k];
  }
  return true;
}

// Which box to split next among boxes[0..i], or -1 when none has a side
// longer than 0.
int ChooseBox(const Box* boxes, int i) {
  if (i % 2 == 1) {
    int most = 0;
    for (int j = 1; j <= i; ++j)
      if (boxes[j].count > boxes[most].count) most = j;
    if (LongestSide(boxes[most]) > 0) return most;
  }
  int longest = 0;
  for (int j = 1; j <= i; ++j)
    if (LongestSide(boxes[j]) > LongestSide(boxes[longest])) longest = j;
  return LongestSide(boxes[longest]) > 0 ? longest : -1;
}

// Splits `box` along its longest side, the upper part going to `upper`.
bool Split(const std::uint32_t* histogram, Box& box, Box& upper) {
  const int axis = SplitAxis(box);
  const int lo = box.lo[axis], hi = box.hi[axis];
  if (lo == hi) {
    SetErrorStatus(kErrorCannotDo);
    return false;
  }
  std::uint64_t slice[128] = {};
  ForEachCell(box, [&](int cell, int r, int g, int b) {
    const int at[3] = {r, g, b};
    slice[at[axis]] += histogram[cell];
    return true;
  });
  const std::uint32_t half = box.count / 2;
  std::uint64_t running = 0;
  int s = lo;
  for (; s <= hi; ++s) {
    running += slice[s];
    if (running > half) break;
  }
  upper = box;
  if (s < hi) {
    box.hi[axis] = s;
    upper.lo[axis] = s + 1;
    upper.count = box.count - static_cast<std::uint32_t>(running);
    box.count = static_cast<std::uint32_t>(running);
  } else {
    box.hi[axis] = hi - 1;
    upper.lo[axis] = hi;
    upper.count = static_cast<std::uint32_t>(slice[hi]);
    box.count -= upper.count;
  }
  if (Shrink(histogram, box) && Shrink(histogram, upper)) return true;
  SetErrorStatus(kErrorCannotDo);
  return false;
}

// The count-weighted mean level of the box's cells, level trunc(c * 255 /
// 127) per coordinate; cells are taken while every sum is below 2^31 - 1.
Rgb MeanColour(const std::uint32_t* histogram, const Box& box) {
  constexpr std::uint32_t kSumLimit = 0x7FFFFFFF;
  std::uint32_t sum[3] = {0, 0, 0};
  std::uint32_t taken = 0;
  ForEachCell(box, [&](int cell, int r, int g, int b) {
    const std::uint32_t n = histogram[cell];
    if (!n) return true;
    if (sum[0] >= kSumLimit || sum[1] >= kSumLimit || sum[2] >= kSumLimit) return false;
    const int at[3] = {r, g, b};
    for (int k = 0; k < 3; ++k) sum[k] += static_cast<std::uint32_t>(at[k] * 255 / 127) * n;
    taken += n;
    return true;
  });
  if (!taken) return {0, 0, 0};
  return {static_cast<BYTE>(sum[0] / taken), static_cast<BYTE>(sum[1] / taken),
          static_cast<BYTE>(sum[2] / taken)};
}

bool CountCells(DibAccess& source, int kind, int percentTo, BOOL noDialog, Rgb* row,
                std::uint32_t* histogram) {
  const int last = source.Height - 1;
  for (int y = 0; y <= last; ++y) {
    ReadColourRow(source, kind, y, row);
    for (int x = 0; x < source.Width; ++x) {
      std::uint32_t& n = histogram[CellOf(row[x])];
      if (n < kCellLimit) ++n;
    }
    if (!ReportProgress(y, last, 0, percentTo, noDialog)) return false;
  }
  return true;
}

// Stable insertion sort by brightness.
void SortByBrightness(Palette& palette) {
  for (int i = 1; i < palette.count; ++i) {
    const Rgb entry = palette.entry[i];
    int j = i;
    for (; j > 0 && Brightness(palette.entry[j - 1]) > Brightness(entry); --j)
      palette.entry[j] = palette.entry[j - 1];
    palette.entry[j] = entry;
  }
}

}  // namespace

bool BuildMedianCutPalette(DibAccess& source, int kind, int colours, int percentEnd,
                           BOOL noDialog, Rgb* row, Palette& palette) {
  const int histogramEnd = percentEnd * 3 / 10, splitsEnd = percentEnd * 9 / 10;
  WorkBlock histogramBlock, boxBlock;
  if (!histogramBlock.Allocate(kCells * sizeof(std::uint32_t))) return false;
  if (!boxBlock.Allocate(static_cast<std::size_t>(colours) * sizeof(Box))) return false;
  auto* histogram = histogramBlock.As<std::uint32_t>();
  Box* boxes = boxBlock.As<Box>();
  boxes[0] = Box{{0, 0, 0}, {127, 127, 127},
                 static_cast<std::uint32_t>(source.Width) * static_cast<std::uint32_t>(source.Height)};
  if (!CountCells(source, kind, histogramEnd, noDialog, row, histogram)) return false;
  if (!Shrink(histogram, boxes[0])) {
    SetErrorStatus(kErrorCannotDo);
    return false;
  }
  int made = 1;
  for (int i = 0; i <= colours - 2; ++i) {
    const int chosen = ChooseBox(boxes, i);
    if (chosen < 0) break;
    if (!Split(histogram, boxes[chosen], boxes[i + 1])) return false;
    made = i + 2;
    if (!ReportProgress(i, colours - 1, histogramEnd, splitsEnd, noDialog)) return false;
  }
  palette.count = made;
  for (int i = 0; i < made; ++i) {
    palette.entry[i] = MeanColour(histogram, boxes[i]);
    if (!ReportProgress(i, made - 1, splitsEnd, percentEnd, noDialog)) return false;
  }
  SortByBrightness(palette);
  return true;
}

}  // namespace qvx
