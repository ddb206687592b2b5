// QVCheckSecretImage: a mask of the pixels whose luminance in the second
// picture exceeds that in the first by at least a threshold.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/MarkEffects.h"
#include "frame/Progress.h"

namespace qvx {

HGLOBAL RunCheckSecretImage(HGLOBAL first, HGLOBAL second, int threshold, BOOL noDialog) {
  const int t = LimitShift(threshold);
  LockedDib a, b;
  if (!a.Start(first, kDepth24) || !b.Start(second, kDepth24)) return nullptr;
  if (a->Width != b->Width || a->Height != b->Height) {
    SetErrorStatus(kErrorBadPicture);
    return nullptr;
  }
  WorkRect whole{0, 0, a->MaxX, a->MaxY};
  OwnedBlock maskBlock(BuildSelectionMask(kSelectMask, nullptr, 0, 0, 0, 0, 0, TRUE, &whole, TRUE));
  if (!maskBlock) return nullptr;
  LockedDib mask;
  if (!mask.Start(maskBlock.Get(), kDepthMaskPicture)) return nullptr;
  WorkBlock products;
  if (!MakeYccTables(products)) return nullptr;
  const LevelTable* levels = YccTables(products);
  // The luminance sums' first additions (red + green) for every pair.
  WorkBlock pairBlock;
  if (!MakeLuminancePairs(levels + kRedToY, pairBlock)) return nullptr;
  const double* pairs = pairBlock.As<double>();
  const double* blues = levels[kBlueToY];
  for (int y = 0; y <= a->MaxY; ++y) {
    const BYTE* p = DibRow(a.Record(), y);
    const BYTE* q = DibRow(b.Record(), y);
    BitRowWriter bits(DibRow(mask.Record(), y), 0);
    for (int x = 0; x <= a->MaxX; ++x, p += 3, q += 3) {
      const int y1 = RoundedLuminance(pairs[p[2] << 8 | p[1]] + blues[p[0]]);
      const int y2 = RoundedLuminance(pairs[q[2] << 8 | q[1]] + blues[q[0]]);
      bits.Put(y2 - y1 >= t);
    }
    bits.Flush();
    if (!ReportProgress(y, a->MaxY, 0, 100, noDialog)) return nullptr;
  }
  mask.End();
  return maskBlock.Release();
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVCheckSecretImage(HGLOBAL first, HGLOBAL second, int threshold,
                                          BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                          DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunCheckSecretImage(first, second, threshold, noDialog);
  });
}
