// QVSelectImage and QVSelectImageEx: the bounding box of a shape cut out,
// the pixels outside the shape in a fill colour, and the shape as a mask.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/MarkEffects.h"
#include "frame/Progress.h"

namespace qvx {
namespace {

struct Cut {
  const DibAccess* mask;
  WorkRect rect;
  BYTE red, green, blue;
  BOOL noDialog;
};

// 24- and 32-bit pictures: runs of the mask row copied or filled. The
// cut-out's 32-bit pixels get alpha 0, as a colour write gives them.
template <class Px>
bool CutRows(const Px& src, const Px& dst, const Cut& cut) {
  const int width = cut.rect.right - cut.rect.left + 1;
  for (int y = cut.rect.top; y <= cut.rect.bottom; ++y) {
    const int my = y - cut.rect.top;
    BYTE* in = src.Row(y);
    BYTE* out = dst.Row(my);
    ForEachBitRun(DibRow(*cut.mask, my), 0, width - 1, [&](int x0, int x1, bool set) {
      auto q = Px::At(out, x0);
      if (set) {
        for (auto p = Px::At(in, cut.rect.left + x0); x0 <= x1; ++x0) {
          const Rgb c = src.Read(p);
          dst.Write(q, c.red, c.green, c.blue);
          p = Px::Next(p);
          q = Px::Next(q);
        }
      } else {
        for (; x0 <= x1; ++x0, q = Px::Next(q)) dst.Write(q, cut.red, cut.green, cut.blue);
      }
    });
    if (!ReportProgress(my, cut.rect.bottom - cut.rect.top, 0, 100, cut.noDialog)) return false;
  }
  return true;
}

// Any depth, pixel by pixel through the records: palette pictures move
// indices (the fill colour as its nearest table entry), others colours.
bool CutRowsByRecord(DibAccess& src, DibAccess& mask, DibAccess& dst, const Cut& cut) {
  const BYTE fillIndex = GetRgbtoPal(dst.Header, cut.red, cut.green, cut.blue);
  for (int y = cut.rect.top; y <= cut.rect.bottom; ++y) {
    const int my = y - cut.rect.top;
    for (int x = cut.rect.left; x <= cut.rect.right; ++x) {
      const int mx = x - cut.rect.left;
      GetDibPixel(&mask, mx, my);
      if (mask.Index) {
        GetDibPixel(&src, x, y);
        dst.Index = src.Index;
        dst.Red = src.Red;
        dst.Green = src.Green;
        dst.Blue = src.Blue;
      } else {
        dst.Index = fillIndex;
        dst.Red = cut.red;
        dst.Green = cut.green;
        dst.Blue = cut.blue;
      }
      SetDibPixel(&dst, mx, my);
    }
    if (!ReportProgress(my, cut.rect.bottom - cut.rect.top, 0, 100, cut.noDialog)) return false;
  }
  return true;
}

}  // namespace

ImageHandles RunSelectImage(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue,
                            BOOL noDialog, PixelRoute route) {
  if (args.mode < kSelectWhole || args.mode > kSelectEllipse) {
    SetErrorStatus(kErrorBadParameter);
    return {};
  }
  LockedDib source;
  if (!source.Start(args.picture, kDepthAll)) return {};
  WorkRect rect{0, 0, source->MaxX, source->MaxY};
  // A shape wholly outside the picture leaves nothing to cut out; its mask
  // (as wide as the shape is far) is not asked for.
  WorkRect narrowed = rect;
  if (!NarrowToShape(args.mode, args.points, args.pointCount, args.rect.left, args.rect.top,
                     args.rect.right, args.rect.bottom, args.inside, &narrowed))
    return {};
  if (narrowed.Empty()) {
    SetErrorStatus(kErrorBadParameter);
    return {};
  }
  OwnedBlock shape(BuildSelectionMask(args.mode, args.points, args.pointCount, args.rect.left,
                                      args.rect.top, args.rect.right, args.rect.bottom, args.inside,
                                      &rect, FALSE));
  if (!shape) return {};
  LockedDib mask;
  if (!mask.Start(shape.Get(), kDepthMaskPicture)) return {};
  OwnedBlock cutOut(
      NewDibLike(source->Header, rect.right - rect.left + 1, rect.bottom - rect.top + 1, FALSE));
  if (!cutOut) return {};
  LockedDib result;
  if (!result.Start(cutOut.Get(), kDepthAll)) return {};

  const Cut cut{&mask.Record(), rect, red, green, blue, noDialog};
  const int bits = source->BitCount;
  bool done;
  if (route == PixelRoute::kDirect && (bits == 24 || bits == 32)) {
    done = bits == 24 ? CutRows(Px24(&source.Record()), Px24(&result.Record()), cut)
                      : CutRows(Px32(&source.Record()), Px32(&result.Record()), cut);
  } else {
    done = CutRowsByRecord(source.Record(), mask.Record(), result.Record(), cut);
  }
  if (!done) return {};
  result.End();
  mask.End();
  return {cutOut.Release(), shape.Release()};
}

}  // namespace qvx

QVX_API ImageHandlesResult WINAPI QVSelectImage(HGLOBAL picture, BYTE mode, POINT* points,
                                                int pointCount, const RECT* rect, BOOL inside,
                                                int red, int green, int blue, BOOL noDialog,
                                                DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunPairEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunSelectImage(
        qvx::PictureSelection(picture, mode, points, pointCount, rect, inside), BYTE(red),
        BYTE(green), BYTE(blue), noDialog);
  });
}

QVX_API BOOL WINAPI QVSelectImageEx(HGLOBAL picture, ImageHandles* result, BYTE mode, POINT* points,
                                    int pointCount, const RECT* rect, BOOL inside, int red,
                                    int green, int blue, BOOL noDialog, DWORD dlgArg1,
                                    DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunPairEffectEx({noDialog, dlgArg1, dlgArg2, dlgArg3}, result, [&] {
    return qvx::RunSelectImage(
        qvx::PictureSelection(picture, mode, points, pointCount, rect, inside), BYTE(red),
        BYTE(green), BYTE(blue), noDialog);
  });
}
