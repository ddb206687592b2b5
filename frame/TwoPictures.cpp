// Locking two pictures and a mask, and making new pictures of a kind.
#include "frame/TwoPictures.h"

#include "frame/ErrorCodes.h"
#include "platform/QvxCom.h"

namespace qvx {

bool TwoPictures::Lock(HGLOBAL first, unsigned firstDepths, HGLOBAL second, unsigned secondDepths,
                       HGLOBAL mask) {
  if (!first_.Start(first, firstDepths) || !second_.Start(second, secondDepths)) return false;
  if (!mask) return true;
  if (!mask_.Start(mask, kDepthMaskPicture)) return false;
  if (mask_->Width != second_->Width || mask_->Height != second_->Height) {
    SetErrorStatus(kErrorBadPicture);
    return false;
  }
  return true;
}

MaskSelection MaskSelectionOf(const DibAccess& mask) {
  MaskSelection selection{};
  for (std::uint32_t i = 0; i < 2; ++i) {
    const RGBQUAD* entry = i < mask.ColorCount ? &mask.ColorTable[i] : nullptr;
    selection.selects[i] = entry && (entry->rgbRed | entry->rgbGreen | entry->rgbBlue) != 0;
  }
  return selection;
}

}  // namespace qvx
