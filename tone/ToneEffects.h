// The workers of the tone and colour exports. Each takes the export's
// arguments after the frame has copied the selection records, and the pixel
// route (the direct per-depth access unless a test asks for the record's).
#pragma once

#include "frame/SelectionArgs.h"
#include "tone/ToneFrame.h"

namespace qvx {

HGLOBAL RunRGBGamma(const SelectionArgs& args, double red, double green, double blue, BOOL noDialog,
                    PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunRGBLevel(const SelectionArgs& args, int red, int green, int blue, BOOL noDialog,
                    PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunRGBRev(const SelectionArgs& args, BOOL red, BOOL green, BOOL blue, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunRGBSpline(const SelectionArgs& args, const POINT* points, int count, BOOL red,
                     BOOL green, BOOL blue, BOOL noDialog, PixelRoute route = PixelRoute::kDirect);

HGLOBAL RunYCCGamma(const SelectionArgs& args, double y, double cr, double cb, BOOL noDialog,
                    PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunYCCLevel(const SelectionArgs& args, int y, int cr, int cb, BOOL noDialog,
                    PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunYCCRev(const SelectionArgs& args, BOOL y, BOOL cr, BOOL cb, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunYCCSpline(const SelectionArgs& args, const POINT* points, int count, BOOL y, BOOL cr,
                     BOOL cb, BOOL noDialog, PixelRoute route = PixelRoute::kDirect);

HGLOBAL RunSetGray(HGLOBAL picture, BOOL noDialog, PixelRoute route = PixelRoute::kDirect);
// Target kinds 1, 4, 8, 40, 80, 16, 24 and 32 (anything else, or the
// source's own kind: error 5).
HGLOBAL RunConvertColor(HGLOBAL picture, int target, BOOL standardPalette, BOOL dither,
                        BYTE threshold, BOOL noDialog);
HGLOBAL RunUnifyColor(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue, BYTE tolerance,
                      BOOL noDialog, PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunChroma(const SelectionArgs& args, int amount, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunRedEyeRemoval(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue, BYTE threshold,
                         BOOL noDialog, PixelRoute route = PixelRoute::kDirect);

// Offsets of the level curves are taken into -255..255.
inline int LimitOffset(int offset) { return offset > 255 ? 255 : (offset < -255 ? -255 : offset); }

}  // namespace qvx
