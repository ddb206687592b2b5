// Impulse noise removal with 3 x 3 medians: the whole colour of the
// neighbour with the median luminance (method 0), or per channel the median
// of the neighbours where some neighbour strays from the pixel by more than
// a threshold (method 1). The neighbourhood stops at the picture's edges:
// 9 pixels inside, 6 on an edge, 4 in a corner.
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/Luminance.h"

namespace qvx {
namespace {

// Each candidate is a key: its luminance times 16 plus its place in the
// neighbourhood in row order, (dy + 1) x 3 + (dx + 1). Keys are distinct,
// and their order is the order of a stable sort by luminance.
constexpr int PlaceOf(int dx, int dy) { return (dy + 1) * 3 + (dx + 1); }

// Puts the smaller of a and b in a.
template <class T>
QVX_LOOP_BODY void Order(T& a, T& b) {
  const T low = a < b ? a : b;
  b = a < b ? b : a;
  a = low;
}

// The fifth smallest of nine, left in p[4] by a network of 19 exchanges.
template <class T>
QVX_LOOP_BODY T MedianOfNine(T* p) {
  Order(p[1], p[2]), Order(p[4], p[5]), Order(p[7], p[8]), Order(p[0], p[1]);
  Order(p[3], p[4]), Order(p[6], p[7]), Order(p[1], p[2]), Order(p[4], p[5]);
  Order(p[7], p[8]), Order(p[0], p[3]), Order(p[5], p[8]), Order(p[4], p[7]);
  Order(p[3], p[6]), Order(p[1], p[4]), Order(p[2], p[5]), Order(p[4], p[7]);
  Order(p[4], p[2]), Order(p[6], p[4]), Order(p[4], p[2]);
  return p[4];
}

// Places of the median keys of pixels with all eight neighbours, from the
// luminance rows above, at and below.
QVX_LOOP_BODY void MedianPlaces(BYTE* places, const BYTE* up, const BYTE* at, const BYTE* down,
                                int count) {
  const BYTE* rows[3] = {up, at, down};
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    Word16 keys[9];
    for (int r = 0; r < 3; ++r)
      for (int dx = -1; dx <= 1; ++dx) {
        Byte16 l;
        std::memcpy(&l, rows[r] + i + dx, 16);
        keys[r * 3 + dx + 1] =
            (__builtin_convertvector(l, Word16) << 4) | static_cast<std::uint16_t>(r * 3 + dx + 1);
      }
    const Word16 median = MedianOfNine(keys) & 15;
    for (int k = 0; k < 16; ++k) places[i + k] = static_cast<BYTE>(median[k]);
  }
  for (; i < count; ++i) {
    int keys[9];
    for (int r = 0; r < 3; ++r)
      for (int dx = -1; dx <= 1; ++dx) keys[r * 3 + dx + 1] = rows[r][i + dx] * 16 + r * 3 + dx + 1;
    places[i] = static_cast<BYTE>(MedianOfNine(keys) & 15);
  }
}

struct LuminanceMedianFilter {
  WorkBlock tables;
  LuminanceRows luminance;
  WorkBlock placeBlock;

  bool Prepare(FilterJob& job) {
    return MakeLuminanceTables(tables) && job.rows.Allocate(3, 1) &&
           luminance.Allocate(job, 3, 1, tables) &&
           placeBlock.Allocate(static_cast<std::size_t>(job.Columns()));
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) {
    const Bgrx* rows[3] = {job.rows.Row(y - 1), job.rows.Row(y), job.rows.Row(y + 1)};
    const BYTE* lum[3] = {luminance.Row(job, y - 1), luminance.Row(job, y),
                          luminance.Row(job, y + 1)};
    const int left = job.rect.left;
    const bool inner = y > 0 && y + 1 < job.height;
    // Columns with neighbours on both sides go through the network.
    const int from = inner ? std::max(x0, 1) : x1 + 1;
    const int to = inner ? std::min(x1, job.width - 2) : x1;
    BYTE* places = placeBlock.As<BYTE>();
    if (from <= to)
      Vectorised<MedianPlaces>(places + (from - left), lum[0] + (from - left),
                               lum[1] + (from - left), lum[2] + (from - left), to - from + 1);
    for (int x = x0; x <= x1; ++x) {
      const int i = x - left;
      const int place = x >= from && x <= to ? places[i] : EdgePlace(job, lum, x, y, i);
      out[i] = rows[place / 3][i + place % 3 - 1];
    }
  }

  // The median place where the neighbourhood is cut by the picture's edge:
  // the key at index count / 2 of the sorted keys.
  static int EdgePlace(const FilterJob& job, const BYTE* const* lum, int x, int y, int i) {
    int keys[9];
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      if (y + dy < 0 || y + dy >= job.height) continue;
      for (int dx = -1; dx <= 1; ++dx) {
        if (x + dx < 0 || x + dx >= job.width) continue;
        int key = lum[dy + 1][i + dx] * 16 + PlaceOf(dx, dy);
        int k = n++;
        for (; k > 0 && keys[k - 1] > key; --k) keys[k] = keys[k - 1];
        keys[k] = key;
      }
    }
    return keys[n / 2] & 15;
  }
};

// Sorts eight values (Batcher's odd-even merge, 19 exchanges).
template <class T>
QVX_LOOP_BODY void SortEight(T* p) {
  Order(p[0], p[1]), Order(p[2], p[3]), Order(p[4], p[5]), Order(p[6], p[7]);
  Order(p[0], p[2]), Order(p[1], p[3]), Order(p[4], p[6]), Order(p[5], p[7]);
  Order(p[1], p[2]), Order(p[5], p[6]), Order(p[0], p[4]), Order(p[3], p[7]);
  Order(p[1], p[5]), Order(p[2], p[6]), Order(p[1], p[4]), Order(p[3], p[6]);
  Order(p[2], p[4]), Order(p[3], p[5]), Order(p[3], p[4]);
}

// Pixels with all eight neighbours, each byte lane (channel) on its own:
// where a neighbour strays by more than the threshold, the lane becomes
// index 4 of the eight neighbours sorted, and its flag is set.
QVX_LOOP_BODY void SelectiveLanes(BYTE* out, BYTE* flags, const BYTE* up, const BYTE* at,
                                  const BYTE* down, int lanes, int threshold) {
  const auto level = static_cast<BYTE>(threshold);
  int k = 0;
  for (; k + 32 <= lanes; k += 32) {
    Byte32 v[8], c;
    const BYTE* from[8] = {up - 4, up, up + 4, at - 4, at + 4, down - 4, down, down + 4};
    for (int j = 0; j < 8; ++j) std::memcpy(&v[j], from[j] + k, 32);
    std::memcpy(&c, at + k, 32);
    Byte32 strays{};
    for (int j = 0; j < 8; ++j) {
      const Byte32 d = v[j] > c ? v[j] - c : c - v[j];
      strays |= d > level;
    }
    SortEight(v);
    const Byte32 result = strays ? v[4] : c;
    std::memcpy(out + k, &result, 32);
    std::memcpy(flags + k, &strays, 32);
  }
  for (; k < lanes; ++k) {
    int v[8] = {up[k - 4], up[k],       up[k + 4], at[k - 4],
                at[k + 4], down[k - 4], down[k],   down[k + 4]};
    bool stray = false;
    for (int j = 0; j < 8; ++j) stray |= v[j] - at[k] > threshold || at[k] - v[j] > threshold;
    SortEight(v);
    out[k] = static_cast<BYTE>(stray ? v[4] : at[k]);
    flags[k] = stray ? 0xFF : 0;
  }
}

// Method 1: pixels none of whose channels needs a median are not written.
struct SelectiveMedianFilter {
  static constexpr bool kSkips = true;
  int threshold = 0;
  WorkBlock flagBlock;

  bool Prepare(FilterJob& job) {
    return job.rows.Allocate(3, 1) &&
           flagBlock.Allocate(sizeof(Bgrx) * static_cast<std::size_t>(job.Columns()));
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) {
    const Bgrx* rows[3] = {job.rows.Row(y - 1), job.rows.Row(y), job.rows.Row(y + 1)};
    const int left = job.rect.left;
    const bool inner = y > 0 && y + 1 < job.height;
    const int from = inner ? std::max(x0, 1) : x1 + 1;
    const int to = inner ? std::min(x1, job.width - 2) : x1;
    if (from <= to) {
      const int i = from - left;
      Bgrx* flags = flagBlock.As<Bgrx>();
      Vectorised<SelectiveLanes>(
          reinterpret_cast<BYTE*>(out + i), reinterpret_cast<BYTE*>(flags + i),
          reinterpret_cast<const BYTE*>(rows[0] + i), reinterpret_cast<const BYTE*>(rows[1] + i),
          reinterpret_cast<const BYTE*>(rows[2] + i), 4 * (to - from + 1), threshold);
      for (int x = from; x <= to; ++x) {
        const Bgrx f = flags[x - left];
        out[x - left].spare = static_cast<BYTE>((f.blue | f.green | f.red) != 0);
      }
    }
    for (int x = x0; x <= x1; ++x)
      if (x < from || x > to) EdgePixel(job, rows, x, y, out);
  }

  // A pixel whose neighbourhood is cut by the picture's edge.
  void EdgePixel(const FilterJob& job, const Bgrx* const* rows, int x, int y, Bgrx* out) const {
    const int i = x - job.rect.left;
    const Bgrx centre = rows[1][i];
    const BYTE own[3] = {centre.blue, centre.green, centre.red};
    BYTE lists[3][8];
    bool strays[3] = {false, false, false};
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      if (y + dy < 0 || y + dy >= job.height) continue;
      for (int dx = -1; dx <= 1; ++dx) {
        if ((dx == 0 && dy == 0) || x + dx < 0 || x + dx >= job.width) continue;
        const BYTE* c = reinterpret_cast<const BYTE*>(&rows[dy + 1][i + dx]);
        for (int ch = 0; ch < 3; ++ch) {
          // Kept sorted as it grows.
          int k = n;
          for (; k > 0 && lists[ch][k - 1] > c[ch]; --k) lists[ch][k] = lists[ch][k - 1];
          lists[ch][k] = c[ch];
          const int d = c[ch] - own[ch];
          if (d > threshold || -d > threshold) strays[ch] = true;
        }
        ++n;
      }
    }
    BYTE result[3];
    for (int ch = 0; ch < 3; ++ch) result[ch] = strays[ch] ? lists[ch][n / 2] : own[ch];
    out[i] = {result[0], result[1], result[2],
              static_cast<BYTE>(strays[0] || strays[1] || strays[2])};
  }
};

}  // namespace

HGLOBAL RunRemoveNoise(const SelectionArgs& args, BYTE method, BYTE level, BOOL noDialog,
                       PixelRoute route) {
  const FilterSetup setup{kDepthGreyAndTrue, noDialog, route};
  if (method == 0) {
    LuminanceMedianFilter filter;
    return RunFilter(args, setup, filter);
  }
  if (method != 1) return RefuseParameter();
  SelectiveMedianFilter filter;
  filter.threshold = 255 - level;
  return RunFilter(args, setup, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRemoveNoise(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                     const RECT* rect, BOOL inside, BYTE method, BYTE level,
                                     BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRemoveNoise(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                               method, level, noDialog);
  });
}
