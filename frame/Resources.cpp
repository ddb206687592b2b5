#include "frame/Resources.h"

#include "frame/ErrorCodes.h"
#include "platform/QvxCom.h"

namespace qvx {

bool WorkBlock::Allocate(std::size_t bytes) {
  Free();
  block_ = GlobalAlloc(GHND, bytes);
  if (block_) data_ = GlobalLock(block_);
  if (!data_) {
    Free();
    SetErrorStatus(kErrorNoMemory);
    return false;
  }
  return true;
}

void WorkBlock::Free() {
  if (data_) GlobalUnlock(block_);
  if (block_) GlobalFree(block_);
  block_ = nullptr;
  data_ = nullptr;
}

}  // namespace qvx
