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

// The colours of the median keys of pixels with all eight neighbours, from
// the colour and luminance rows above, at and below: sixteen pixels at a
// time, each colour picked from the nine candidates by its place.
QVX_LOOP_BODY void MedianColours(Bgra* out, const Bgra* const* colours, const BYTE* const* lum,
                                 int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    Word16 keys[9];
    for (int r = 0; r < 3; ++r)
      for (int dx = -1; dx <= 1; ++dx) {
        Byte16 l;
        std::memcpy(&l, lum[r] + i + dx, sizeof l);
        keys[r * 3 + dx + 1] =
            (__builtin_convertvector(l, Word16) << 4) | static_cast<std::uint16_t>(r * 3 + dx + 1);
      }
    const Word16 places = MedianOfNine(keys) & 15;
    for (int half = 0; half < 2; ++half) {
      Word8 halfPlaces;
      std::memcpy(&halfPlaces, reinterpret_cast<const std::uint16_t*>(&places) + 8 * half,
                  sizeof halfPlaces);
      const Lanes8 place = __builtin_convertvector(halfPlaces, Lanes8);
      Lanes8 picked{};
      for (int r = 0; r < 3; ++r)
        for (int dx = -1; dx <= 1; ++dx) {
          Lanes8 candidate;
          std::memcpy(&candidate, colours[r] + i + 8 * half + dx, sizeof candidate);
          picked |= candidate & reinterpret_cast<Lanes8>(place == static_cast<std::uint32_t>(
                                                                     r * 3 + dx + 1));
        }
      std::memcpy(out + i + 8 * half, &picked, sizeof picked);
    }
  }
  for (; i < count; ++i) {
    int keys[9];
    for (int r = 0; r < 3; ++r)
      for (int dx = -1; dx <= 1; ++dx) keys[r * 3 + dx + 1] = lum[r][i + dx] * 16 + r * 3 + dx + 1;
    const int place = MedianOfNine(keys) & 15;
    out[i] = colours[place / 3][i + place % 3 - 1];
  }
}

struct LuminanceMedianFilter {
  WorkBlock tables;
  LuminanceRows luminance;

  bool Prepare(FilterJob& job) {
    return MakeLuminanceTables(tables) && job.rows.Allocate(3, 1) &&
           luminance.Allocate(job, 3, 1, tables);
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const Bgra* rows[3] = {job.rows.Row(y - 1), job.rows.Row(y), job.rows.Row(y + 1)};
    const BYTE* lum[3] = {luminance.Row(job, y - 1), luminance.Row(job, y),
                          luminance.Row(job, y + 1)};
    const int left = job.rect.left;
    const bool inner = y > 0 && y + 1 < job.height;
    // Columns with neighbours on both sides go through the network.
    const int from = inner ? std::max(x0, 1) : x1 + 1;
    const int to = inner ? std::min(x1, job.width - 2) : x1;
    if (from <= to) {
      const int i = from - left;
      const Bgra* const shifted[3] = {rows[0] + i, rows[1] + i, rows[2] + i};
      const BYTE* const lumShifted[3] = {lum[0] + i, lum[1] + i, lum[2] + i};
      Vectorised<MedianColours>(out + i, static_cast<const Bgra* const*>(shifted),
                                static_cast<const BYTE* const*>(lumShifted), to - from + 1);
    }
    for (int x = x0; x <= x1; ++x) {
      if (x == from && from <= to) {
        x = to;
        continue;
      }
      const int i = x - left;
      const int place = EdgePlace(job, lum, x, y, i);
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

template <class V>
QVX_LOOP_BODY V LoadLanes(const void* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Pixels with all eight neighbours, each byte lane (channel) on its own:
// where a neighbour strays by more than the threshold, the lane becomes
// index 4 of the eight neighbours sorted. A pixel's alpha byte is 1 where
// one of its channels did, 0 otherwise.
QVX_LOOP_BODY void SelectiveLanes(Bgra* out, const Bgra* up, const Bgra* at, const Bgra* down,
                                  int count, int threshold) {
  const auto level = static_cast<BYTE>(threshold);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    Byte32 v[8] = {LoadLanes<Byte32>(up + i - 1),   LoadLanes<Byte32>(up + i),
                   LoadLanes<Byte32>(up + i + 1),   LoadLanes<Byte32>(at + i - 1),
                   LoadLanes<Byte32>(at + i + 1),   LoadLanes<Byte32>(down + i - 1),
                   LoadLanes<Byte32>(down + i),     LoadLanes<Byte32>(down + i + 1)};
    const Byte32 c = LoadLanes<Byte32>(at + i);
    // Some neighbour strays where the largest lies above, or the smallest
    // below, the centre by more than the threshold.
    Byte32 low = v[0], high = v[0];
    for (int j = 1; j < 8; ++j) {
      low = v[j] < low ? v[j] : low;
      high = v[j] > high ? v[j] : high;
    }
    const Byte32 above = high > c ? high - c : Byte32{};
    const Byte32 below = c > low ? c - low : Byte32{};
    const Byte32 strays = (above > level) | (below > level);
    SortEight(v);
    const Lanes8 colours = reinterpret_cast<Lanes8>(strays ? v[4] : c) & 0x00FFFFFFu;
    const auto written =
        reinterpret_cast<Lanes8>((reinterpret_cast<Lanes8>(strays) & 0x00FFFFFFu) != 0u);
    const Lanes8 result = colours | (written & 0x01000000u);
    std::memcpy(out + i, &result, sizeof result);
  }
  for (; i < count; ++i) {
    const BYTE* centre = &at[i].blue;
    BYTE* result = &out[i].blue;
    out[i].alpha = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const BYTE* const n[8] = {&up[i - 1].blue, &up[i].blue,     &up[i + 1].blue,
                                &at[i - 1].blue, &at[i + 1].blue, &down[i - 1].blue,
                                &down[i].blue,   &down[i + 1].blue};
      int v[8];
      bool stray = false;
      for (int j = 0; j < 8; ++j) {
        v[j] = n[j][ch];
        stray |= v[j] - centre[ch] > threshold || centre[ch] - v[j] > threshold;
      }
      SortEight(v);
      result[ch] = static_cast<BYTE>(stray ? v[4] : centre[ch]);
      out[i].alpha |= stray ? 1 : 0;
    }
  }
}

// Method 1: pixels none of whose channels needs a median are not written.
struct SelectiveMedianFilter {
  static constexpr bool kSkips = true;
  int threshold = 0;

  bool Prepare(FilterJob& job) { return job.rows.Allocate(3, 1); }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const Bgra* rows[3] = {job.rows.Row(y - 1), job.rows.Row(y), job.rows.Row(y + 1)};
    const int left = job.rect.left;
    const bool inner = y > 0 && y + 1 < job.height;
    const int from = inner ? std::max(x0, 1) : x1 + 1;
    const int to = inner ? std::min(x1, job.width - 2) : x1;
    if (from <= to) {
      const int i = from - left;
      Vectorised<SelectiveLanes>(out + i, rows[0] + i, rows[1] + i, rows[2] + i, to - from + 1,
                                 threshold);
    }
    for (int x = x0; x <= x1; ++x) {
      if (x == from && from <= to) {
        x = to;
        continue;
      }
      EdgePixel(job, rows, x, y, out);
    }
  }

  // A pixel whose neighbourhood is cut by the picture's edge.
  void EdgePixel(const FilterJob& job, const Bgra* const* rows, int x, int y, Bgra* out) const {
    const int i = x - job.rect.left;
    const Bgra centre = rows[1][i];
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
