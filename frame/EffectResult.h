// The result picture of an effect that copies its source and rewrites the
// selected pixels, and the helpers the effect frames share around it.
#pragma once

#include "frame/DibAccess.h"
#include "frame/PixelPolicy.h"
#include "frame/Resources.h"
#include "frame/Selection.h"

namespace qvx {

// How the pixel path reaches the pixels: the direct per-depth policies, or
// the record's cursor operations (the reference the direct ones answer to).
enum class PixelRoute { kDirect, kRecord };

// Calls body(source policy, result policy) for two pictures of the same
// format: the record's cursor operations on the record route, otherwise the
// direct policy of the source's depth (chosen once, outside the pixel loops).
template <class Body>
decltype(auto) DispatchPixelPair(PixelRoute route, DibAccess& source, DibAccess& result,
                                 Body&& body) {
  if (route == PixelRoute::kRecord) return body(PxRecord(&source), PxRecord(&result));
  return DispatchPixels(source, [&](auto src) { return body(src, decltype(src){&result}); });
}

// A copy of the source picture, locked while it is written and handed over
// unlocked.
class EffectResult {
 public:
  // copyRows false: only the header and colour table are copied, for a
  // caller that writes every pixel and copies the row padding itself.
  bool Start(const DibAccess& source, bool copyRows);
  DibAccess& Record() { return locked_.Record(); }
  HGLOBAL Finish() {
    locked_.End();
    return block_.Release();
  }

 private:
  OwnedBlock block_;  // declared first, so the lock goes before the block
  LockedDib locked_;
};

// Whether every pixel of the picture is in the work rectangle and selected.
bool SelectsWholePicture(const Selection& selection);

// Copies the bytes after the last pixel of row y from source to result.
void CopyRowPadding(const DibAccess& source, DibAccess& result, int y);

}  // namespace qvx
