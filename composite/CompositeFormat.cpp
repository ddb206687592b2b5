// The format of a composite, shared by layering and pasting.
#include <algorithm>
#include <cstring>

#include "composite/Composite.h"

namespace qvx {

CompositeFormat DecideCompositeFormat(const DibAccess& under, const DibAccess& over, int opacity) {
  if (Is8BitGrayScale(under.Header) && Is8BitGrayScale(over.Header))
    return {kKindGrey256, true, false};
  if (under.BitCount > 8 || over.BitCount > 8) {
    const int bits = std::max<int>(under.BitCount, over.BitCount);
    return {bits, under.BitCount == over.BitCount, true};
  }
  const bool sameTable =
      under.ColorCount == over.ColorCount &&
      std::memcmp(under.ColorTable, over.ColorTable, 4 * std::size_t{under.ColorCount}) == 0;
  if (under.BitCount == over.BitCount && sameTable && (opacity == 0 || opacity == 255))
    return {under.BitCount, true, false};
  return {kKind24, false, true};
}

bool MakeComposite(LockedPicture& result, const DibAccess& under, const CompositeFormat& format,
                   int opacity, std::int64_t width, std::int64_t height) {
  if (!result.MakeOfKind(under, format.kind, width, height, NewRows::kPixelsUnwritten))
    return false;
  if (under.BitCount == 4 && format.sameFormat && (opacity == 0 || opacity == 255) &&
      IsGrayImage(under.Header)) {
    DibAccess& made = result.Record();
    const std::uint32_t entries = std::min<std::uint32_t>(DibNumColors(under.Header), made.ColorCount);
    std::memcpy(made.ColorTable, under.ColorTable, 4 * std::size_t{entries});
  }
  return true;
}

}  // namespace qvx
