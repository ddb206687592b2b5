// QVSplitRGBAImage: a 32-bit picture split into a 24-bit picture of its
// colours and an 8-bit grey-ramp picture of its fourth bytes.
#include "composite/Composite.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

// The two new pictures, or two nulls with the error status set.
ImageHandles SplitRgbaImage(HGLOBAL picture, bool outputs, BOOL noDialog) {
  const ImageHandles none{nullptr, nullptr};
  if (!outputs) {
    SetErrorStatus(kErrorBadParameter);
    return none;
  }
  LockedDib source;
  if (!source.Start(picture, kDepth32)) return none;
  const DibAccess& rgba = source.Record();
  const int width = rgba.Width, height = rgba.Height;
  LockedPicture colour, alpha;
  WorkBlock rows;
  if (!colour.MakeOfKind(rgba, kKind24, width, height) ||
      !alpha.MakeOfKind(rgba, kKindGrey256, width, height) ||
      !rows.Allocate(static_cast<std::size_t>(width) * (sizeof(Bgra) + 1)))
    return none;
  Bgra* pixels = rows.As<Bgra>();
  BYTE* levels = reinterpret_cast<BYTE*>(pixels + width);
  const bool walked = WalkRows(height, height - 1, {}, noDialog, [&](int y) {
    ReadColourRun(rgba, 0, y, width, pixels);
    for (int x = 0; x < width; ++x) levels[x] = pixels[x].alpha;
    WriteColourRun(colour.Record(), 0, y, width, pixels);
    WriteIndexRun(alpha.Record(), 0, y, width, levels);
    return true;
  });
  if (!walked) return none;
  return {colour.Release(), alpha.Release()};
}

}  // namespace
}  // namespace qvx

QVX_API BOOL WINAPI QVSplitRGBAImage(HGLOBAL picture, HGLOBAL* colour, HGLOBAL* alpha,
                                     BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  ImageHandles pair{nullptr, nullptr};
  const BOOL made = qvx::RunPairEffectEx({noDialog, dlgArg1, dlgArg2, dlgArg3}, &pair, [=] {
    return qvx::SplitRgbaImage(picture, colour && alpha, noDialog);
  });
  if (!made) return FALSE;
  *colour = pair.Picture;
  *alpha = pair.Mask;
  return TRUE;
}
