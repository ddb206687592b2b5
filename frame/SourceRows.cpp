#include "frame/SourceRows.h"

namespace qvx {

bool SourceRows::Allocate(int slots, int pad) {
  slots_ = std::max(1, std::min(slots, height_));
  pad_ = pad;
  stride_ = columns_ + 2 * pad;
  const std::size_t rowBytes = sizeof(Bgra) * static_cast<std::size_t>(stride_);
  if (!block_.Allocate((rowBytes + sizeof(int)) * static_cast<std::size_t>(slots_))) return false;
  data_ = block_.As<Bgra>();
  held_ = reinterpret_cast<int*>(block_.As<BYTE>() + rowBytes * slots_);
  std::fill(held_, held_ + slots_, -1);
  return true;
}

void SourceRows::Load(int slot, int y) {
  held_[slot] = y;
  newest_ = y;
  decode_(policy_, y, left_ - pad_, left_ + columns_ - 1 + pad_, width_ - 1,
          data_ + static_cast<std::ptrdiff_t>(slot) * stride_);
}

}  // namespace qvx
