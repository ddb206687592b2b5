// Relief: a directional 3 x 3 kernel on each channel, divided by 6 - depth,
// plus a bias.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/Convolution.h"
#include "filters/FilterEffects.h"

namespace qvx {
namespace {

// Rows above, own and below, columns left to right; direction d + 4 is the
// negation of direction d.
constexpr int kReliefKernels[8][9] = {
    {-2, 0, 2, -2, 0, 2, -2, 0, 2}, {-2, -1, 0, -1, 0, 1, 0, 1, 2}, {-2, -2, -2, 0, 0, 0, 2, 2, 2},
    {0, -1, -2, 1, 0, -1, 2, 1, 0}, {2, 0, -2, 2, 0, -2, 2, 0, -2}, {2, 1, 0, 1, 0, -1, 0, -1, -2},
    {2, 2, 2, 0, 0, 0, -2, -2, -2}, {0, 1, 2, -1, 0, 1, -2, -1, 0},
};

struct EmbossFilter {
  Convolution convolution;
  bool Prepare(FilterJob& job) { return convolution.Prepare(job); }
  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    convolution.Run(job, y, x0, x1, out);
  }
};

}  // namespace

HGLOBAL RunEmboss(const SelectionArgs& args, BYTE direction, BYTE depth, BYTE bias, BOOL noDialog,
                  PixelRoute route) {
  if (direction >= 8) return RefuseParameter();
  const int level = depth < 1 ? 1 : (depth > 5 ? 5 : depth);
  std::int32_t weights[81] = {};
  for (int ky = 0; ky < 3; ++ky)
    for (int kx = 0; kx < 3; ++kx)
      weights[9 * (ky + 3) + kx + 3] = kReliefKernels[direction][3 * ky + kx];
  EmbossFilter filter;
  filter.convolution.SetKernel(weights, 6 - level, bias);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVEmboss(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BYTE direction, BYTE depth,
                                BYTE bias, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunEmboss(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                          direction, depth, bias, noDialog);
  });
}
