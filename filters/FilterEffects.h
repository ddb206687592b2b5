// The workers of the neighbourhood filter exports. Each takes the export's
// arguments after the frame has copied the selection records, and the pixel
// route (the direct per-depth access unless a test asks for the record's).
#pragma once

#include "frame/FixedRecords.h"
#include "frame/PixelPolicy.h"
#include "frame/SelectionArgs.h"

namespace qvx {

HGLOBAL RunBlur(const SelectionArgs& args, BYTE radius, BOOL noDialog,
                PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunAntiAlias(const SelectionArgs& args, BOOL noDialog,
                     PixelRoute route = PixelRoute::kDirect);

// pointCount of 1,000,000 or more selects the direct 24-bit variant.
HGLOBAL RunCustomFilter(const SelectionArgs& args, const FilterKernel* kernel, int divisor,
                        int bias, BOOL red, BOOL green, BOOL blue, BOOL noDialog,
                        PixelRoute route = PixelRoute::kDirect);

HGLOBAL RunEmboss(const SelectionArgs& args, BYTE direction, BYTE depth, BYTE bias, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunOutline(const SelectionArgs& args, BYTE channel, BYTE op, BYTE gain, BOOL noDialog,
                   PixelRoute route = PixelRoute::kDirect);

HGLOBAL RunSharp(const SelectionArgs& args, BYTE strength, BOOL noDialog,
                 PixelRoute route = PixelRoute::kDirect);
HGLOBAL RunRemoveNoise(const SelectionArgs& args, BYTE method, BYTE level, BOOL noDialog,
                       PixelRoute route = PixelRoute::kDirect);

}  // namespace qvx
