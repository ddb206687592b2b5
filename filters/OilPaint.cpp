// Oil paint: each pixel becomes the most frequent colour of the brush
// window around it, clipped to the work rectangle.
//
// Method 0 picks the most frequent value of each channel on its own;
// method 1 counts luminance bins and takes the whole colour of the pixel
// whose visit made its bin the most frequent. The window is visited row by
// row, left to right, and a value only takes over with a strictly higher
// count, so on equal counts the value that reached the count first wins:
// of the values with the highest count M, the one whose M-th (and last)
// visit comes first.
//
// Brushes of up to 5 x 5 pixels: where 32 neighbouring pixels' windows lie
// wholly in the rectangle, each pixel is a lane, and each visit of the
// window is counted against the visits before it in all 32 lanes at once
// (3 planes x 300 comparisons for 32 pixels of a 5 x 5 brush: about 100
// Mpx/s per channel and 175 by luminance, against 10 and 30 for a pixel at
// a time, measured under load). Elsewhere, near the rectangle's edges, a
// pixel's window keys (channel values or luminance bins) fill the lanes of
// one vector and every key is counted against every other at once. Larger brushes keep counts for a window sliding
// along the run. Up to 8 x 8, a pass in visiting order, counting afresh,
// stops at the first key to reach the highest count. Beyond that such a
// pass would cost the window's area per pixel: the window also keeps, for
// each of its rows and each key, the key's last column in that row and a
// bit set of the rows holding the key, so the last visit of every leading
// key is found in a few steps and the earliest of them wins. Either way a
// pixel costs a multiple of the brush size, not of its area.
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterFrame.h"
#include "filters/MosaicEffects.h"

namespace qvx {
namespace {

// The luminance bin of a colour, 0..255.
inline int LuminanceBin(const Bgra& c) { return (77 * c.red + 150 * c.green + 29 * c.blue) >> 8; }

// The winner of a window: its key and the visiting position of the visit
// that decided it.
struct Mode {
  BYTE key;
  int position;
};

// ---- Brushes of up to 5 x 5: one lane per window pixel ----

constexpr int kLaneBrush = 5;

QVX_LOOP_BODY Byte32 Max(Byte32 a, Byte32 b) { return a > b ? a : b; }
QVX_LOOP_BODY Byte32 Min(Byte32 a, Byte32 b) { return a < b ? a : b; }

// v with lane i taken from lane i ^ Distance.
template <int Distance, std::size_t... I>
QVX_LOOP_BODY Byte32 Swapped(Byte32 v, std::index_sequence<I...>) {
  return Shuffle<static_cast<int>(I ^ Distance)...>(v);
}

// The reduction of all 32 lanes by a butterfly of swaps.
template <Byte32 (*Op)(Byte32, Byte32)>
QVX_LOOP_BODY BYTE Reduce(Byte32 v) {
  constexpr auto kLanes = std::make_index_sequence<32>{};
  v = Op(v, Swapped<16>(v, kLanes));
  v = Op(v, Swapped<8>(v, kLanes));
  v = Op(v, Swapped<4>(v, kLanes));
  v = Op(v, Swapped<2>(v, kLanes));
  v = Op(v, Swapped<1>(v, kLanes));
  return v[0];
}

// 0, 1, 2, ... 31.
template <std::size_t... I>
constexpr Byte32 LaneIndices(std::index_sequence<I...>) {
  return Byte32{static_cast<BYTE>(I)...};
}

// The mode of a window of rows x columns keys (at most 32), held column by
// column: lane c * rows + r is row r, column c, whose visiting position is
// r * columns + c; 32 bytes are readable from `keys`. Each lane counts the
// lanes equal to it and keeps the last visiting position among them. The
// shape is a pair of ints or, for the full brush, of constants, so that the
// loops unroll.
template <class Rows, class Columns>
QVX_LOOP_BODY Mode LaneMode(const BYTE* keys, Rows rows, Columns columns) {
  Byte32 lanes;
  std::memcpy(&lanes, keys, sizeof lanes);
  Byte32 counts{}, lasts{};
  const BYTE rowStep = static_cast<BYTE>(columns);
  for (int c = 0, p = 0; c < columns; ++c) {
    Byte32 position = Byte32{} + static_cast<BYTE>(c);
    for (int r = 0; r < rows; ++r, ++p, position += rowStep) {
      const Byte32 same = reinterpret_cast<Byte32>(lanes == keys[p]);
      counts -= same;
      lasts = Max(lasts, same & position);
    }
  }
  const Byte32 index = LaneIndices(std::make_index_sequence<32>{});
  counts &= reinterpret_cast<Byte32>(index < static_cast<BYTE>(rows * columns));
  const BYTE best = Reduce<Max>(counts);
  const Byte32 leaders = reinterpret_cast<Byte32>(counts == best);
  const BYTE first = Reduce<Min>(lasts | ~leaders);
  const Byte32 winner = leaders & reinterpret_cast<Byte32>(lasts == first);
  return {Reduce<Max>(lanes & winner), first};
}

// A run of pixels of one row on lanes: the key planes of the columns its
// windows cover, column by column.
struct LaneRun {
  const BYTE* planes[3];
  const Bgra* const* rows;  // the window's rows, first column at `first`
  int rowCount;
  int first;        // the first column of the planes
  int start, half;  // brush offsets
  int last;         // the work rectangle's last column, relative to its left
};

// Paints pixels i0..i1 (relative to the rectangle's left) of a run;
// `Planes` is 3 (channel modes) or 1 (luminance bins), `Size` the brush.
template <int Planes, int Size>
QVX_LOOP_BODY void PaintLaneRun(const LaneRun* run, int i0, int i1, Bgra* out) {
  constexpr std::integral_constant<int, Size> kFull;
  for (int i = i0; i <= i1; ++i) {
    const int a = std::max(i + run->start, 0);
    const int columns = std::min(i + run->half, run->last) - a + 1;
    const std::size_t lane = static_cast<std::size_t>(a - run->first) * run->rowCount;
    const bool full = run->rowCount == Size && columns == Size;
    const auto mode = [&](int plane) {
      const BYTE* keys = run->planes[plane] + lane;
      return full ? LaneMode(keys, kFull, kFull) : LaneMode(keys, run->rowCount, columns);
    };
    if constexpr (Planes == 3) {
      out[i] = {mode(2).key, mode(1).key, mode(0).key, 1};
    } else {
      // Visiting position p is row p / columns, column p % columns.
      const int p = mode(0).position;
      out[i] = full ? run->rows[p / Size][a + p % Size] : run->rows[p / columns][a + p % columns];
    }
  }
}

// ---- Whole windows of up to 5 x 5 pixels: one lane per pixel ----

// The winners of `count` (at least 32) neighbouring pixels whose windows
// lie wholly in the rectangle: pixel i's window row r holds keys
// rows[r][i .. i + Size - 1]. Each visit's count is the number of visits
// up to it with its key; the winner is the first visit whose count is the
// highest. out[i] is its key, or with `Positions` its visiting position.
template <int Size, bool Positions>
QVX_LOOP_BODY void WindowModes(const BYTE* const* rows, int count, BYTE* out) {
  constexpr int kArea = Size * Size;
  for (int i = 0;; i += 32) {
    if (i + 32 > count) i = count - 32;  // the last lanes again, from the end
    Byte32 keys[kArea], visits[kArea];
    Byte32 best{};
    // Unrolled whole: the pairs are the work, and the loops' own steps
    // would double it.
#pragma GCC unroll 25
    for (int p = 0; p < kArea; ++p) {
      std::memcpy(&keys[p], rows[p / Size] + i + p % Size, sizeof keys[p]);
      Byte32 n = Byte32{} + 1;
#pragma GCC unroll 25
      for (int q = 0; q < p; ++q) n -= reinterpret_cast<Byte32>(keys[q] == keys[p]);
      visits[p] = n;
      best = Max(best, n);
    }
    Byte32 winner{};
#pragma GCC unroll 25
    for (int p = kArea - 1; p >= 0; --p) {
      const Byte32 reaches = reinterpret_cast<Byte32>(visits[p] == best);
      const Byte32 value = Positions ? Byte32{} + static_cast<BYTE>(p) : keys[p];
      winner = (value & reaches) | (winner & ~reaches);
    }
    std::memcpy(out + i, &winner, sizeof winner);
    if (i + 32 >= count) return;
  }
}

// ---- Larger brushes: counts of a sliding window ----

// Counts of 256 keys over a window of at most 255 x 255 pixels, and the
// keys with the highest count as a bit set. The set is kept while the
// highest count holds or grows; when its last key loses a count, it is
// found again (with the highest count, which may have dropped further
// meanwhile) from the counts when next asked for, sixteen keys at a time.
class KeyCounts {
 public:
  // Entries a window needs.
  static constexpr std::size_t kEntries = 2 * 256;
  // `memory`: kEntries zeroed entries.
  void Bind(std::uint16_t* memory) {
    counts_ = memory;
    reached_ = memory + 256;
  }

  void Add(int key) {
    const int c = ++counts_[key];
    if (c > best_) {
      // No other key has as many, whether or not the set was kept.
      best_ = c;
      leaders_[0] = leaders_[1] = leaders_[2] = leaders_[3] = 0;
      stale_ = false;
    }
    if (c == best_) leaders_[key / 64] |= std::uint64_t{1} << (key % 64);
  }
  void Remove(int key) {
    const int c = counts_[key]--;
    if (c != best_ || stale_) return;
    std::uint64_t& word = leaders_[key / 64];
    word &= ~(std::uint64_t{1} << (key % 64));
    if (!(leaders_[0] | leaders_[1] | leaders_[2] | leaders_[3])) {
      --best_;  // at least this key has one count fewer
      stale_ = true;
    }
  }

  // Calls visit(key) for each key with the highest count, in key order.
  template <class Visit>
  void ForEachLeader(Visit&& visit) {
    Refresh();
    for (int w = 0; w < 4; ++w)
      for (std::uint64_t bits = leaders_[w]; bits; bits &= bits - 1)
        visit(w * 64 + __builtin_ctzll(bits));
  }

  // One step of the pass in visiting order: true when `key` is the first
  // to reach the highest count (Refresh() first). Forget() undoes the
  // pass's counting.
  bool Reaches(int key) { return ++reached_[key] == best_; }
  void Forget(int key) { reached_[key] = 0; }

  void Refresh() {
    if (stale_) FindLeaders();
  }

 private:
  void FindLeaders() {
    Word8 most{};
    for (int first = 0; first < 256; first += 8) {
      Word8 counts;
      std::memcpy(&counts, counts_ + first, sizeof counts);
      most = counts > most ? counts : most;
    }
    best_ = 0;
    for (int i = 0; i < 8; ++i) best_ = std::max<int>(best_, most[i]);
    const Word8 best = Word8{} + static_cast<std::uint16_t>(best_);
    for (int first = 0; first < 256; first += 16) {
      Word8 low, high;
      std::memcpy(&low, counts_ + first, sizeof low);
      std::memcpy(&high, counts_ + first + 8, sizeof high);
      // The high bytes of the comparisons' lanes, one byte per key.
      const Byte16 same = Shuffle<1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31>(
          reinterpret_cast<Byte16>(low == best), reinterpret_cast<Byte16>(high == best));
      const std::uint64_t bits = ByteMaskBits(same);
      std::uint64_t& word = leaders_[first / 64];
      word = (word & ~(std::uint64_t{0xFFFF} << (first % 64))) | bits << (first % 64);
    }
    if (best_ == 0) leaders_[0] = leaders_[1] = leaders_[2] = leaders_[3] = 0;
    stale_ = false;
  }

  std::uint16_t* counts_ = nullptr;
  std::uint16_t* reached_ = nullptr;
  int best_ = 0;                   // the highest count (at least, while stale_)
  std::uint64_t leaders_[4] = {};  // the keys counted best_ times, as bits
  bool stale_ = false;             // best_ and leaders_ are to be found again
};

// Where each key was last seen in each row of a sliding window: the last
// column per row and key (-1 when absent) and, per key, the rows holding
// it as a bit set.
class KeyPlaces {
 public:
  static constexpr int kWords = 4;  // 256 rows at most
  // Bytes for a window of `rows` rows.
  static std::size_t Bytes(int rows) {
    return (static_cast<std::size_t>(rows) * 256) * sizeof(std::int32_t) +
           256 * kWords * sizeof(std::uint64_t);
  }
  // `memory`: Bytes(rows) bytes.
  void Bind(void* memory, int rows) {
    rowBits_ = static_cast<std::uint64_t*>(memory);
    lasts_ = reinterpret_cast<std::int32_t*>(rowBits_ + 256 * kWords);
    std::fill_n(rowBits_, 256 * kWords, std::uint64_t{0});
    std::fill_n(lasts_, static_cast<std::size_t>(rows) * 256, -1);
  }
  void Add(int row, int key, int column) {
    lasts_[row * 256 + key] = column;
    rowBits_[key * kWords + row / 64] |= std::uint64_t{1} << (row % 64);
  }
  // The window's leftmost column leaves: a key last seen there is gone
  // from the row.
  void Remove(int row, int key, int column) {
    std::int32_t& last = lasts_[row * 256 + key];
    if (last != column) return;
    last = -1;
    rowBits_[key * kWords + row / 64] &= ~(std::uint64_t{1} << (row % 64));
  }
  // The visiting position of the key's last visit in a window whose rows
  // run from column `from` to `to`; the key must be present.
  int LastPosition(int key, int from, int to) const {
    const std::uint64_t* bits = rowBits_ + key * kWords;
    int word = kWords - 1;
    while (bits[word] == 0) --word;
    const int row = word * 64 + 63 - __builtin_clzll(bits[word]);
    return row * (to - from + 1) + lasts_[row * 256 + key] - from;
  }

 private:
  std::uint64_t* rowBits_ = nullptr;
  std::int32_t* lasts_ = nullptr;
};

// The window of a pixel: rows[0 .. rowCount - 1], columns from .. to.
struct Window {
  const Bgra* const* rows;
  int rowCount, from, to;

  // Visits pixels in order until visit(colour) returns true; the number
  // visited.
  template <class Visit>
  int VisitUntil(Visit&& visit) const {
    int visited = 0;
    for (int r = 0; r < rowCount; ++r)
      for (int i = from; i <= to; ++i) {
        ++visited;
        if (visit(rows[r][i])) return visited;
      }
    return visited;
  }
  // Visits the first `count` pixels in order.
  template <class Visit>
  void VisitFirst(int count, Visit&& visit) const {
    for (int r = 0; r < rowCount && count > 0; ++r)
      for (int i = from; i <= to && count > 0; ++i, --count) visit(rows[r][i]);
  }

  // The first key in visiting order to reach the highest count, and the
  // position of that visit; the pass's counting is undone after.
  template <class Key>
  Mode Winner(KeyCounts& counts, Key&& key) const {
    counts.Refresh();
    BYTE winner = 0;
    const int visited = VisitUntil([&](Bgra c) {
      winner = static_cast<BYTE>(key(c));
      return counts.Reaches(winner);
    });
    VisitFirst(visited, [&](Bgra c) { counts.Forget(key(c)); });
    return {winner, visited - 1};
  }

  // The same winner from the places of the leading keys: the one whose
  // last visit comes first.
  Mode WinnerByPlaces(KeyCounts& counts, const KeyPlaces& places) const {
    Mode best{0, rowCount * (to - from + 1)};
    counts.ForEachLeader([&](int key) {
      const int position = places.LastPosition(key, from, to);
      if (position < best.position) best = {static_cast<BYTE>(key), position};
    });
    return best;
  }
};

struct ChannelKeys {
  static constexpr int kPlanes = 3;
  static int Key(Bgra c, int plane) { return plane == 0 ? c.red : plane == 1 ? c.green : c.blue; }
};
struct LuminanceKeys {
  static constexpr int kPlanes = 1;
  static int Key(Bgra c, int) { return LuminanceBin(c); }
};

template <class Keys>
struct OilPaintFilter {
  static constexpr bool kChannels = Keys::kPlanes == 3;
  int start = 0, half = 0;  // window offsets start .. half in each direction
  int size = 1;
  // Brushes above 8 x 8 find winners by the keys' places. Measured under
  // load on 4000 x 3000 24-bit pictures (Mpx/s, per channel / by
  // luminance), places from brushes above 8: brush 12 1.3 / 3.8, brush 24
  // 1.0 / 2.7; above 16: 1.3 / 1.8 and 1.0 / 2.8; above 32: 1.3 / 1.8 and
  // 0.4 / 0.5. With the leading keys kept as a bit set instead of looked
  // for among all 256 at every pixel: brush 12 2.3 / 7.0, brush 24
  // 1.8 / 4.5 (the threshold not measured again).
  static constexpr int kPassBrush = 8;
  WorkBlock countsBlock;
  KeyCounts counts[Keys::kPlanes];
  WorkBlock placesBlock;
  KeyPlaces places[Keys::kPlanes];
  WorkBlock lanesBlock;
  BYTE* planes[3] = {};       // key planes of a run, column by column
  // Per source row, the keys of each plane in turn (a row of reds, greens
  // and blues, or of luminance bins).
  DerivedRows<BYTE> keyRows;
  // Whole windows are painted in pieces of this many pixels.
  static constexpr int kPiece = 1024;

  bool Prepare(FilterJob& job) {
    if (size <= kLaneBrush) {
      // Runs are painted a piece at a time.
      const int columns = std::min(job.Columns(), kPiece);
      const std::size_t plane = static_cast<std::size_t>(columns + size) * size + 32;
      if (!lanesBlock.Allocate(Keys::kPlanes * plane)) return false;
      std::memset(lanesBlock.Data(), 0, Keys::kPlanes * plane);  // lanes read past a window
      for (int k = 0; k < Keys::kPlanes; ++k) planes[k] = lanesBlock.As<BYTE>() + k * plane;
      // Key rows serve the luminance bins of every window and whole
      // windows, where there can be any.
      const bool whole = size > 1 && job.rect.bottom - job.rect.top + 1 >= size &&
                         job.Columns() >= size + 31;
      if ((whole || !kChannels) &&
          !keyRows.Allocate(size + 1, 0, Keys::kPlanes * job.Columns(), 1, job.height))
        return false;
    } else {
      const std::size_t entries = KeyCounts::kEntries;
      if (!countsBlock.Allocate(Keys::kPlanes * entries * sizeof(std::uint16_t))) return false;
      auto* memory = countsBlock.As<std::uint16_t>();
      std::fill_n(memory, Keys::kPlanes * entries, std::uint16_t{0});
      for (int k = 0; k < Keys::kPlanes; ++k) counts[k].Bind(memory + k * entries);
      if (size > kPassBrush) {
        const std::size_t bytes = KeyPlaces::Bytes(size);
        if (!placesBlock.Allocate(Keys::kPlanes * bytes)) return false;
        for (int k = 0; k < Keys::kPlanes; ++k)
          places[k].Bind(placesBlock.As<BYTE>() + k * bytes, size);
      }
    }
    return job.rows.Allocate(size + 1, 0);
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const WorkRect& rect = job.rect;
    const int top = std::max(y + start, rect.top), bottom = std::min(y + half, rect.bottom);
    const Bgra* rows[256];
    for (int wy = top; wy <= bottom; ++wy) rows[wy - top] = job.rows.Row(wy);
    Window window{rows, bottom - top + 1, 0, -1};
    const auto from = [&](int x) { return std::max(x + start, rect.left) - rect.left; };
    const auto to = [&](int x) { return std::min(x + half, rect.right) - rect.left; };
    if (size > kLaneBrush) return PaintSliding(window, x0, x1, from, to, out - rect.left);
    // Pixels whose windows lie wholly in the rectangle, when there are
    // enough of them for the lanes: a..b.
    int a = x1 + 1, b = x1;
    if (size > 1 && y + start >= rect.top && y + half <= rect.bottom) {
      a = std::max(x0, rect.left - start);
      b = std::min(x1, rect.right - half);
      if (b - a + 1 < 32) a = x1 + 1, b = x1;
    }
    const auto lanes = [&](int u0, int u1) {
      for (int u = u0; u <= u1; u += kPiece) {
        const int u2 = std::min(u1, u + kPiece - 1);
        PaintLanes(job, window, top, u - rect.left, u2 - rect.left, from(u), to(u2), out);
      }
    };
    lanes(x0, a - 1);
    for (int u = a; u <= b;) {
      // Pieces of at least 32 pixels.
      int count = b - u + 1;
      if (count > kPiece) count = std::min(kPiece, count - 32);
      PaintWhole(job, window, top, u - rect.left, u - rect.left + count - 1, out);
      u += count;
    }
    lanes(b + 1, x1);
  }

  // Keys of source row y, plane after plane.
  const BYTE* KeyRow(FilterJob& job, int y) {
    const int columns = job.Columns();
    return keyRows.Row(job.rows, y, [columns](BYTE* keys, const Bgra* row, int) {
      for (int k = 0; k < Keys::kPlanes; ++k, keys += columns)
        for (int i = 0; i < columns; ++i) keys[i] = static_cast<BYTE>(Keys::Key(row[i], k));
    });
  }

  // Pixels i0..i1 (at least 32, at most a piece, relative to the work
  // rectangle) whose windows lie wholly in the rectangle, in picture rows
  // from `top` on.
  void PaintWhole(FilterJob& job, const Window& window, int top, int i0, int i1, Bgra* out) {
    const int columns = job.Columns(), count = i1 - i0 + 1;
    const BYTE* keys[Keys::kPlanes][kLaneBrush];
    for (int r = 0; r < size; ++r) {
      const BYTE* row = KeyRow(job, top + r) + i0 + start;
      for (int k = 0; k < Keys::kPlanes; ++k) keys[k][r] = row + k * columns;
    }
    BYTE modes[Keys::kPlanes][kPiece];
    for (int k = 0; k < Keys::kPlanes; ++k) {
      const auto paint = [&](auto brush) {
        Vectorised<WindowModes<decltype(brush)::value, !kChannels>>(
            static_cast<const BYTE* const*>(keys[k]), count, modes[k]);
      };
      switch (size) {
        case 2:
          paint(std::integral_constant<int, 2>{});
          break;
        case 3:
          paint(std::integral_constant<int, 3>{});
          break;
        case 4:
          paint(std::integral_constant<int, 4>{});
          break;
        default:
          paint(std::integral_constant<int, 5>{});
      }
    }
    for (int j = 0; j < count; ++j) {
      const int i = i0 + j;
      if constexpr (kChannels) {
        out[i] = {modes[2][j], modes[1][j], modes[0][j], 1};
      } else {
        const int p = modes[0][j];
        out[i] = window.rows[p / size][i + start + p % size];
      }
    }
  }

  // Pixels i0..i1 of a run whose windows cover columns first..last (all
  // relative to the work rectangle) and picture rows from `top` on.
  void PaintLanes(FilterJob& job, const Window& window, int top, int i0, int i1, int first,
                  int last, Bgra* out) {
    const int rowCount = window.rowCount;
    if constexpr (kChannels) {
      for (int i = first; i <= last; ++i)
        for (int r = 0; r < rowCount; ++r)
          for (int k = 0; k < Keys::kPlanes; ++k)
            planes[k][(i - first) * rowCount + r] =
                static_cast<BYTE>(Keys::Key(window.rows[r][i], k));
    } else {
      // Each source row's bins are worked out once, not once per window.
      const BYTE* bins[kLaneBrush];
      for (int r = 0; r < rowCount; ++r)
        bins[r] = KeyRow(job, top + r);
      for (int i = first; i <= last; ++i)
        for (int r = 0; r < rowCount; ++r) planes[0][(i - first) * rowCount + r] = bins[r][i];
    }
    const LaneRun run{{planes[0], planes[1], planes[2]}, window.rows, rowCount, first, start, half,
                      job.rect.right - job.rect.left};
    constexpr int P = Keys::kPlanes;
    switch (size) {
      case 1:
        return Vectorised<PaintLaneRun<P, 1>>(&run, i0, i1, out);
      case 2:
        return Vectorised<PaintLaneRun<P, 2>>(&run, i0, i1, out);
      case 3:
        return Vectorised<PaintLaneRun<P, 3>>(&run, i0, i1, out);
      case 4:
        return Vectorised<PaintLaneRun<P, 4>>(&run, i0, i1, out);
      default:
        return Vectorised<PaintLaneRun<P, 5>>(&run, i0, i1, out);
    }
  }

  // out is indexed by picture column. The counts are back to zero after.
  template <class From, class To>
  void PaintSliding(Window& window, int x0, int x1, From&& from, To&& to, Bgra* out) {
    const bool byPlaces = size > kPassBrush;
    const auto update = [&](int i, auto change) {
      for (int r = 0; r < window.rowCount; ++r)
        for (int k = 0; k < Keys::kPlanes; ++k) change(k, r, i, Keys::Key(window.rows[r][i], k));
    };
    const auto add = [&](int k, int r, int i, int key) {
      counts[k].Add(key);
      if (byPlaces) places[k].Add(r, key, i);
    };
    const auto remove = [&](int k, int r, int i, int key) {
      counts[k].Remove(key);
      if (byPlaces) places[k].Remove(r, key, i);
    };
    const auto winner = [&](int k, auto key) {
      return byPlaces ? window.WinnerByPlaces(counts[k], places[k]) : window.Winner(counts[k], key);
    };
    window.from = from(x0);
    window.to = window.from - 1;
    for (int x = x0; x <= x1; ++x) {
      const int left = from(x), right = to(x);
      // Leaving columns first: the counts never exceed the window's area.
      for (int i = window.from; i < left; ++i) update(i, remove);
      for (int i = window.to + 1; i <= right; ++i) update(i, add);
      window.from = left;
      window.to = right;
      if constexpr (kChannels) {
        out[x] = {winner(2, [](Bgra c) { return c.blue; }).key,
                  winner(1, [](Bgra c) { return c.green; }).key,
                  winner(0, [](Bgra c) { return c.red; }).key, 1};
      } else {
        const int p = winner(0, LuminanceBin).position;
        const int width = right - left + 1;
        out[x] = window.rows[p / width][left + p % width];
      }
    }
    for (int i = window.from; i <= window.to; ++i) update(i, remove);
  }
};

template <class Keys>
HGLOBAL PaintWith(const SelectionArgs& args, int size, BOOL noDialog, PixelRoute route) {
  OilPaintFilter<Keys> filter;
  filter.size = size;
  filter.half = size / 2;
  filter.start = size % 2 ? -filter.half : 1 - filter.half;
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace

HGLOBAL RunOilPaint(const SelectionArgs& args, BYTE method, BYTE size, BOOL noDialog,
                    PixelRoute route) {
  // Size 0 has no window and other methods no rule.
  if (method > 1 || size == 0) return RefuseParameter();
  return method == 0 ? PaintWith<ChannelKeys>(args, size, noDialog, route)
                     : PaintWith<LuminanceKeys>(args, size, noDialog, route);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVOilPaint(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, BYTE method, BYTE size,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunOilPaint(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                            method, size, noDialog);
  });
}
