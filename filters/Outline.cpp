// Edge strength of one channel (or the luminance) from a pair of gradient
// kernels, written as a grey level.
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/Luminance.h"

namespace qvx {
namespace {

enum Operator { kSimpleDifference, kRoberts, kSobel };
enum Channel { kLuminance, kRed, kGreen, kBlue };

// The two kernel sums at pixel i from the rows above, at and below.
template <int Op>
QVX_LOOP_BODY void Gradients(int* squares, const BYTE* up, const BYTE* at, const BYTE* down,
                             int count) {
  for (int i = 0; i < count; ++i) {
    int a, b;
    if constexpr (Op == kSimpleDifference) {
      a = at[i] - at[i + 1];
      b = at[i] - down[i];
    } else if constexpr (Op == kRoberts) {
      a = at[i] - down[i + 1];
      b = at[i + 1] - down[i];
    } else {
      a = (up[i + 1] - up[i - 1]) + 2 * (at[i + 1] - at[i - 1]) + (down[i + 1] - down[i - 1]);
      b = (down[i - 1] - up[i - 1]) + 2 * (down[i] - up[i]) + (down[i + 1] - up[i + 1]);
    }
    squares[i] = a * a + b * b;
  }
}

// floor(sqrt(square) * gain), clamped to 255, as a grey colour. The square
// roots are the processor's correctly rounded ones, as the C library's are.
QVX_LOOP_BODY void Edges(Bgra* out, const int* squares, int count, double gain) {
  int i = 0;
#if defined(__SSE2__)
  for (; i + 2 <= count; i += 2) {
    const __m128d root = _mm_sqrt_pd(
        _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(squares + i))));
    double e[2];
    _mm_storeu_pd(e, _mm_mul_pd(root, _mm_set1_pd(gain)));
    for (int j = 0; j < 2; ++j) {
      const BYTE v = e[j] >= 255.0 ? 255 : static_cast<BYTE>(e[j]);
      out[i + j] = {v, v, v, 1};
    }
  }
#endif
  for (; i < count; ++i) {
    const double e = std::sqrt(static_cast<double>(squares[i])) * gain;
    const BYTE v = e >= 255.0 ? 255 : static_cast<BYTE>(e);
    out[i] = {v, v, v, 1};
  }
}

// One channel of a row.
QVX_LOOP_BODY void ChannelRow(BYTE* out, const Bgra* row, int count, int channel) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(row) + (channel == kRed     ? 2
                                                            : channel == kGreen ? 1
                                                                                : 0);
  for (int i = 0; i < count; ++i) out[i] = bytes[4 * i];
}

struct OutlineFilter {
  int channel = kLuminance;
  int op = kSobel;
  double gain = 1.0;
  WorkBlock tables;
  LuminanceRows luminance;
  DerivedRows<BYTE> values;
  WorkBlock squares;

  bool Prepare(FilterJob& job) {
    return MakeLuminanceTables(tables) && job.rows.Allocate(3, 1) &&
           luminance.Allocate(job, 3, 1, tables) &&
           values.Allocate(3, 1, job.Columns(), 1, job.height) &&
           squares.Allocate(sizeof(int) * static_cast<std::size_t>(job.Columns()));
  }

  const BYTE* Values(FilterJob& job, int y) {
    if (channel == kLuminance) return luminance.Row(job, y);
    return values.Row(job.rows, y, [this](BYTE* out, const Bgra* row, int count) {
      ChannelRow(out, row, count, channel);
    });
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const BYTE* up = Values(job, y - 1);
    const BYTE* at = Values(job, y);
    const BYTE* down = Values(job, y + 1);
    const int from = x0 - job.rect.left, count = x1 - x0 + 1;
    int* sq = squares.As<int>();
    switch (op) {
      case kSimpleDifference:
        Vectorised<Gradients<kSimpleDifference>>(sq, up + from, at + from, down + from, count);
        break;
      case kRoberts:
        Vectorised<Gradients<kRoberts>>(sq, up + from, at + from, down + from, count);
        break;
      default:
        Vectorised<Gradients<kSobel>>(sq, up + from, at + from, down + from, count);
    }
    Vectorised<Edges>(out + from, static_cast<const int*>(sq), count, gain);
  }
};

}  // namespace

HGLOBAL RunOutline(const SelectionArgs& args, BYTE channel, BYTE op, BYTE gain, BOOL noDialog,
                   PixelRoute route) {
  if (channel > kBlue) return RefuseParameter();
  OutlineFilter filter;
  filter.channel = channel;
  filter.op = op == 0 ? kSimpleDifference : (op == 2 ? kSobel : kRoberts);
  filter.gain = (gain > 100 ? 100 : gain) * 0.1;
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVOutline(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                 const RECT* rect, BOOL inside, BYTE channel, BYTE op, BYTE gain,
                                 BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunOutline(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                           channel, op, gain, noDialog);
  });
}
