// What the distortions and textures share: their workers, random access to
// the whole decoded source, the four-sample blend, and the canvas relief.
//
// The distortions map each result pixel back to a source position anywhere
// in the picture, so they read the source through PictureRows: the frame's
// decoded rows, wide enough for every column of the picture, each row
// decoded the first time a position reaches it.
#pragma once

#include <type_traits>

#include "filters/FilterFrame.h"
#include "frame/SelectionArgs.h"
#include "geometry/Sampling.h"

namespace qvx {

HGLOBAL RunRipple(const SelectionArgs& args, double amplitude, double wavelength, double degrees,
                  BOOL clamp, BOOL scaling, Rgb background, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunWaves(const SelectionArgs& args, BYTE direction, BYTE shape, int wavelength,
                 int amplitude, double phase, BYTE edge, Rgb background, BOOL noDialog,
                 PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunWhirlPinch(const SelectionArgs& args, double degrees, double pinch, double factor,
                      Rgb background, BOOL noDialog, PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunLens(const SelectionArgs& args, double index, BOOL fill, Rgb fillColour, BOOL noDialog,
                PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunCanvas(const SelectionArgs& args, BYTE orientation, int strength, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunGlassTile(const SelectionArgs& args, int tileWidth, int tileHeight, BOOL noDialog,
                     PixelRoute route = PixelRoute::kDirect);

// The canvas relief: kCanvasSide rows of kCanvasSide heights in -75..75,
// row-major, row 0 first (CanvasRelief.cpp, written by
// make_canvas_relief.py).
inline constexpr int kCanvasSide = 128;
extern const signed char kCanvasRelief[kCanvasSide * kCanvasSide];

inline constexpr double kRadiansPerDegree = 0.017453292519943295;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kHalfPi = 1.5707963267948966;

// Whether a source position can be sampled: a number whose pixel and the
// pixel on either side have an int. Others (NaN, infinities, positions
// beyond the 32-bit range) are never converted.
inline bool IsSamplePosition(double v) { return v > -2147483648.0 && v < 2147483647.0; }

// q / s, without the division when s is 1 (dividing by 1 changes nothing):
// positions of a stretched axis taken back.
QVX_LOOP_BODY double Unstretched(double q, double s) { return s == 1 ? q : q / s; }

// A result colour written as it is (alpha byte 1) or not written (0), for
// filters that leave some pixels as the source has them.
inline Bgra Written(Bgra c) { return {c.blue, c.green, c.red, 1}; }
inline constexpr Bgra kNotWritten{0, 0, 0, 0};

// The blend of BlendChannel on the four colours, every channel at once.
QVX_LOOP_BODY Bgra BlendSamples(const BlendWeights& w, Bgra c00, Bgra c10, Bgra c01, Bgra c11) {
  const Int4 v =
      BlendLanes(w.x0, w.x1, w.y0, w.y1, LanesOfBytes(&c00.blue), LanesOfBytes(&c10.blue),
                 LanesOfBytes(&c01.blue), LanesOfBytes(&c11.blue));
  return Written({static_cast<BYTE>(v[0]), static_cast<BYTE>(v[1]), static_cast<BYTE>(v[2]), 1});
}

inline Bgra ToBgrxColour(Rgb c) { return Written(ToBgra(c)); }

// The source for random access: Row(y) is indexed by picture column. The
// whole picture (rows 0..height-1, columns -1..width) or only the work
// rectangle's rows and columns.
class PictureRows {
 public:
  // Error 3 when the rows cannot be had.
  bool Prepare(FilterJob& job, bool wholePicture = true) {
    job_ = &job;
    width_ = job.width;
    height_ = job.height;
    left_ = job.rect.left;
    // One more column on either side than the picture needs, for blends
    // whose outer weight is 0.
    const int pad = wholePicture ? std::max(job.rect.left, job.width - 1 - job.rect.right) + 1 : 0;
    const int slots = wholePicture ? job.height : job.rect.bottom - job.rect.top + 1;
    if (!job.rows.Allocate(slots, pad)) return false;
    if (!table_.Allocate(sizeof(const Bgra*) * static_cast<std::size_t>(job.height))) return false;
    rows_ = table_.As<const Bgra*>();
    return true;
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height_);
  }
  const Bgra* Row(int y) {
    const Bgra*& row = rows_[y];
    if (!row) row = job_->rows.Row(y) - left_;
    return row;
  }
  // The colour at (x, y), or `outside` when that lies beyond the picture.
  QVX_LOOP_BODY Bgra At(int x, int y, Bgra outside) { return Inside(x, y) ? Row(y)[x] : outside; }
  // The blend of the pixel (x0, y0) and its right, lower and lower-right
  // neighbours, each taking `outside` beyond the picture.
  QVX_LOOP_BODY Bgra Blend(int x0, int y0, const BlendWeights& w, Bgra outside) {
    // Most blocks lie inside: two row look-ups and no tests per sample.
    if (static_cast<unsigned>(x0) < static_cast<unsigned>(width_ - 1) &&
        static_cast<unsigned>(y0) < static_cast<unsigned>(height_ - 1)) {
      const Bgra* row0 = Row(y0);
      const Bgra* row1 = Row(y0 + 1);
      return BlendSamples(w, row0[x0], row0[x0 + 1], row1[x0], row1[x0 + 1]);
    }
    return BlendSamples(w, At(x0, y0, outside), At(x0 + 1, y0, outside), At(x0, y0 + 1, outside),
                        At(x0 + 1, y0 + 1, outside));
  }

  // Whether the blocks of lanes (x0, y0) all lie inside the picture.
  QVX_LOOP_BODY bool BlocksInside(Int4 x0, Int4 y0) const {
    return AllLanes((reinterpret_cast<Unsigned4>(x0) < static_cast<unsigned>(width_ - 1)) &
                    (reinterpret_cast<Unsigned4>(y0) < static_cast<unsigned>(height_ - 1)));
  }
  // The upper-left (upper) and lower-left (lower) pixels of the blocks of
  // lanes (x0, y0), all inside the picture; the rows are asked for early
  // so that scattered reads overlap.
  QVX_LOOP_BODY void Locate(Int4 x0, Int4 y0, const void* upper[4], const void* lower[4]) {
    for (int i = 0; i < 4; ++i) {
      upper[i] = Row(y0[i]) + x0[i];
      lower[i] = Row(y0[i] + 1) + x0[i];
      __builtin_prefetch(upper[i]);
      __builtin_prefetch(lower[i]);
    }
  }
  // Blend for four blocks inside the picture at once (lane i: the block
  // whose upper pixels start at upper[i], lower ones at lower[i], with
  // weights fx[i], fy[i]), into out[0..3]: a channel of the four blends
  // per vector, the same operations lane by lane.
  QVX_LOOP_BODY static void BlendFourAt(const void* const upper[4], const void* const lower[4],
                                        Double4 fx, Double4 fy, Bgra* out) {
    Int4 c00, c10, c01, c11;
    GatherPairsAt(upper, c00, c10);
    GatherPairsAt(lower, c01, c11);
    const Double4 wx0 = 1.0 - fx, wy0 = 1.0 - fy;
    Int4 colours = Int4{} + (1 << 24);  // written
    for (int c = 0; c < 3; ++c)
      colours |= (BlendLanes(wx0, fx, wy0, fy, ChannelLanes(c00, c), ChannelLanes(c10, c),
                             ChannelLanes(c01, c), ChannelLanes(c11, c)) &
                  255)
                 << (8 * c);
    std::memcpy(out, &colours, sizeof colours);
  }
  QVX_LOOP_BODY void BlendFour(Int4 x0, Int4 y0, Double4 fx, Double4 fy, Bgra* out) {
    const void* upper[4];
    const void* lower[4];
    Locate(x0, y0, upper, lower);
    BlendFourAt(upper, lower, fx, fy, out);
  }

 private:
  FilterJob* job_ = nullptr;
  int width_ = 0, height_ = 0, left_ = 0;
  WorkBlock table_;
  const Bgra** rows_ = nullptr;
};

// Values that a pixel shares with its mirrors in the work rectangle: the
// geometry about the rectangle's centre makes them equal bit for bit, so
// each value is worked out once, when a run first needs it. kColumns: the
// pixel and its mirror column (left + right - x) in the same row share it;
// kRows: the pixel and its mirror row (top + bottom - y) share it, and it
// is kept until the lower row has passed. At(x) is column x's value in the
// row last filled.
template <class Value, bool kRows, bool kColumns>
class MirroredPixels {
  // What marks a value as made: a byte for a table row made once, the
  // picture row's number (from 1) for a table row made again for each row.
  using Mark = std::conditional_t<kRows, BYTE, std::uint32_t>;

 public:
  // Error 3 when the table cannot be had.
  bool Prepare(const WorkRect& r) {
    left_ = r.left;
    right_ = r.right;
    top_ = r.top;
    bottom_ = r.bottom;
    const std::size_t columns = static_cast<std::size_t>(r.right - r.left);
    stride_ = (kColumns ? columns / 2 : columns) + 1;
    const std::size_t rows = kRows ? static_cast<std::size_t>(r.bottom - r.top) / 2 + 1 : 1;
    const std::size_t n = stride_ * rows;
    if (!table_.Allocate((sizeof(Value) + sizeof(Mark)) * n + sizeof(std::size_t) * rows))
      return false;
    values_ = table_.As<Value>();
    made_ = reinterpret_cast<std::size_t*>(values_ + n);
    marks_ = reinterpret_cast<Mark*>(made_ + rows);
    std::fill_n(marks_, n, Mark{0});
    return true;
  }
  // Makes the values of columns x0..x1 of row y ready; compute(c, r) gives
  // the value of column c in row r, the leftmost and topmost of the pixels
  // that share it.
  template <class Compute>
  void Fill(int y, int x0, int x1, Compute compute) {
    Fill(y, x0, x1, compute, nullptr);
  }
  // The same, with computeFour(c, r, values) giving the values of columns
  // c..c+3 of row r into values[0..3] (their arithmetic in lanes, ahead of
  // the library calls that follow it) wherever four made together lie
  // side by side.
  template <class Compute, class ComputeFour>
  void Fill(int y, int x0, int x1, Compute compute, ComputeFour computeFour) {
    const int k = kRows ? std::min(y - top_, bottom_ - y) : 0;
    // A table row is filled once (kRows) or once per picture row.
    const Mark mark = kRows ? 1 : static_cast<Mark>(y - top_ + 1);
    row_ = values_ + stride_ * static_cast<std::size_t>(k);
    // Once a table row kept for its mirror row is complete, later rows
    // need not look at its marks.
    std::size_t& made = made_[k];
    if (kRows && made == stride_) return;
    Mark* marks = marks_ + stride_ * static_cast<std::size_t>(k);
    const int r = kRows ? top_ + k : y;
    for (int x = x0; x <= x1; ++x) {
      const int j = Column(x);
      if (marks[j] == mark) continue;
      if constexpr (!std::is_null_pointer_v<ComputeFour>) {
        if (x + 3 <= x1 && Column(x + 3) == j + 3 && marks[j + 1] != mark && marks[j + 2] != mark &&
            marks[j + 3] != mark) {
          computeFour(left_ + j, r, row_ + j);
          std::fill_n(marks + j, 4, mark);
          made += 4;
          x += 3;
          continue;
        }
      }
      row_[j] = compute(left_ + j, r);
      marks[j] = mark;
      ++made;
    }
  }
  QVX_LOOP_BODY const Value& At(int x) const { return row_[Column(x)]; }
  // The values of columns x..x+3 where they lie together in the row last
  // filled: from the result on when the four lie left of the middle (or the
  // columns are not mirrored), from the result on in reverse (`reversed`)
  // when they lie right of it; null when they straddle the middle.
  QVX_LOOP_BODY const Value* Four(int x, bool& reversed) const {
    reversed = false;
    if (!kColumns || x + 3 - left_ <= right_ - (x + 3)) return row_ + (x - left_);
    if (x - left_ < right_ - x) return nullptr;
    reversed = true;
    return row_ + (right_ - x - 3);
  }

 private:
  QVX_LOOP_BODY int Column(int x) const {
    return kColumns ? std::min(x - left_, right_ - x) : x - left_;
  }

  int left_ = 0, right_ = 0, top_ = 0, bottom_ = 0;
  std::size_t stride_ = 0;
  WorkBlock table_;
  Value* values_ = nullptr;
  Value* row_ = nullptr;
  std::size_t* made_ = nullptr;  // values made, per table row
  Mark* marks_ = nullptr;
};

// Result rows worked out a band at a time, the band in tiles of columns:
// a distortion that samples far from each pixel (turned or scaled toward
// the centre) then reads, for one tile, a small region of the source that
// stays in the cache, where a whole row would read from thousands of
// source rows. Run(y, x0, x1, out, compute) gives row y's colours as the
// frame asks for them; compute(row, a, b, colours) fills columns a..b of a
// row into colours[x - left], the tiles of a band each row from the top
// down, so a filter's per-row tables are made in the order it expects.
class BandRows {
 public:
  // Error 3 when the band cannot be had.
  bool Prepare(const WorkRect& r) {
    rect_ = r;
    columns_ = r.right - r.left + 1;
    rows_ = std::min(kRows, r.bottom - r.top + 1);
    return block_.Allocate(sizeof(Bgra) * static_cast<std::size_t>(columns_) * rows_);
  }
  template <class Compute>
  void Run(int y, int x0, int x1, Bgra* out, Compute compute) {
    if (y < first_ || y >= first_ + rows_) {
      first_ = y;
      const int last = std::min(y + rows_ - 1, rect_.bottom);
      for (int a = rect_.left; a <= rect_.right; a += kColumns) {
        const int b = std::min(a + kColumns - 1, rect_.right);
        for (int row = y; row <= last; ++row) compute(row, a, b, Band(row));
      }
    }
    std::memcpy(out + (x0 - rect_.left), Band(y) + (x0 - rect_.left),
                sizeof(Bgra) * static_cast<std::size_t>(x1 - x0 + 1));
  }

 private:
  // 32 rows by 128 columns. Against row by row, measured under load on
  // 4000 x 3000 pictures: ripple in scaling mode 21 -> 29 Mpx/s, additive
  // 56 -> 66, a whirl of 90 degrees 45 -> 47.
  static constexpr int kRows = 32, kColumns = 128;
  Bgra* Band(int row) const {
    return block_.As<Bgra>() + static_cast<std::size_t>(row - first_) * columns_;
  }
  WorkRect rect_{};
  int columns_ = 0, rows_ = 1;
  int first_ = -kRows - 1;  // the band's first row: none yet
  WorkBlock block_;
};

// Lane helpers of the distortions' four-pixel steps.
// Positions of four lanes that can all be sampled (IsSamplePosition).
QVX_LOOP_BODY bool AreSamplePositions(Double4 v) {
  return AllLanes((v > -2147483648.0) & (v < 2147483647.0));
}
QVX_LOOP_BODY bool AreSamplePositions(Double4 u, Double4 v) {
  return AllLanes((u > -2147483648.0) & (u < 2147483647.0) & (v > -2147483648.0) &
                  (v < 2147483647.0));
}
QVX_LOOP_BODY Double4 Unstretched(Double4 q, double s) { return s == 1 ? q : q / s; }
// Columns x .. x + 3 as doubles.
QVX_LOOP_BODY Double4 ColumnLanes(int x) { return DoubleLanes(Int4{x, x + 1, x + 2, x + 3}); }

// Pixels x0..x1 of row y from filter.Pixel(x, y) (an always-inline
// member), into out[x - left]: the loop and the pixel's arithmetic compiled
// for the baseline and the AVX2 processor alike.
// A filter may also have filter.Four(x, y, out), pixels x..x+3 at once into
// out[0..3], the same colours as Pixel's.
template <class Filter>
QVX_LOOP_BODY void PixelRun(Filter* filter, int left, int y, int x0, int x1, Bgra* out) {
  int x = x0;
  if constexpr (requires { filter->Four(x, y, out); })
    for (; x + 3 <= x1; x += 4) filter->Four(x, y, out + (x - left));
  for (; x <= x1; ++x) out[x - left] = filter->Pixel(x, y);
}
template <class Filter>
void RunPixels(Filter& filter, const FilterJob& job, int y, int x0, int x1, Bgra* out) {
  Vectorised<PixelRun<Filter>>(&filter, job.rect.left, y, x0, x1, out);
}

// Pixels x0..x1 of row y for a distortion that samples its source
// bilinearly: filter.Place(x, y, x0, y0, fx, fy) gives the blocks and
// weights of pixels x..x+3 (false: those four take filter.Pixel), and the
// blend is filter.picture's with filter.background beyond the picture.
// The positions of a stretch of pixels are placed first and their source
// rows asked for, then blended: reads scattered over the picture (a
// distortion that pulls toward the centre or turns) wait for memory
// together instead of one after another.
template <class Filter>
QVX_LOOP_BODY void SampledRun(Filter* filter, int left, int y, int x0, int x1, Bgra* out) {
  // What a group of four pixels takes: the blend of blocks inside the
  // picture, blocks partly beyond it, or the single-pixel rule.
  enum class Take : unsigned char { kInside, kEdge, kPixels };
  struct Group {
    const void* upper[4];
    const void* lower[4];
    Int4 x0, y0;
    Double4 fx, fy;
    Take take;
  };
  constexpr int kGroups = 16;
  Group groups[kGroups];
  int x = x0;
  while (x + 3 <= x1) {
    const int n = std::min(kGroups, (x1 - x + 1) / 4);
    for (int g = 0; g < n; ++g) {
      Group& s = groups[g];
      if (!filter->Place(x + 4 * g, y, s.x0, s.y0, s.fx, s.fy)) {
        s.take = Take::kPixels;
      } else if (filter->picture.BlocksInside(s.x0, s.y0)) {
        s.take = Take::kInside;
        filter->picture.Locate(s.x0, s.y0, s.upper, s.lower);
      } else {
        s.take = Take::kEdge;
      }
    }
    for (int g = 0; g < n; ++g, x += 4) {
      const Group& s = groups[g];
      Bgra* o = out + (x - left);
      if (s.take == Take::kInside) {
        PictureRows::BlendFourAt(s.upper, s.lower, s.fx, s.fy, o);
      } else if (s.take == Take::kEdge) {
        for (int i = 0; i < 4; ++i)
          o[i] = filter->picture.Blend(s.x0[i], s.y0[i], WeightsFor(s.fx[i], s.fy[i]),
                                       filter->background);
      } else {
        for (int i = 0; i < 4; ++i) o[i] = filter->Pixel(x + i, y);
      }
    }
  }
  for (; x <= x1; ++x) out[x - left] = filter->Pixel(x, y);
}
template <class Filter>
void RunSampled(Filter& filter, const FilterJob& job, int y, int x0, int x1, Bgra* out) {
  Vectorised<SampledRun<Filter>>(&filter, job.rect.left, y, x0, x1, out);
}

}  // namespace qvx
