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
  for (int y = 0; y <= a->MaxY; ++y) {
    const BYTE* p = DibRow(a.Record(), y);
    const BYTE* q = DibRow(b.Record(), y);
    BYTE* bits = DibRow(mask.Record(), y);
    for (int x = 0; x <= a->MaxX; ++x, p += 3, q += 3) {
      const int y1 = RoundedLuminance(levels, p[2], p[1], p[0]);
      const int y2 = RoundedLuminance(levels, q[2], q[1], q[0]);
      if (y2 - y1 >= t) bits[x >> 3] = static_cast<BYTE>(bits[x >> 3] | (0x80 >> (x & 7)));
    }
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
