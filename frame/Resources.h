// Scoped ownership of locks and blocks, so that no failure path of a worker
// can leave a picture locked or a block allocated.
//
// Declare an OwnedBlock before the LockedDib that locks it: locals are
// destroyed in reverse order, so the lock is released before the block.
#pragma once

#include "frame/DibAccess.h"
#include "platform/GlobalMemory.h"

namespace qvx {

// A picture locked through its DibAccess record for the life of the object.
class LockedDib {
 public:
  LockedDib() = default;
  LockedDib(const LockedDib&) = delete;
  LockedDib& operator=(const LockedDib&) = delete;
  ~LockedDib() { End(); }

  // StartDibAccess; on failure nothing is held and the error status is set.
  bool Start(HGLOBAL picture, unsigned depthMask) {
    End();
    if (!StartDibAccess(picture, &record_, depthMask)) return false;
    handle_ = picture;
    return true;
  }

  void End() {
    if (handle_) EndDibAccess(handle_, &record_);
    handle_ = nullptr;
  }

  bool Held() const { return handle_ != nullptr; }
  HGLOBAL Handle() const { return handle_; }
  DibAccess& Record() { return record_; }
  const DibAccess& Record() const { return record_; }
  DibAccess* operator->() { return &record_; }
  const DibAccess* operator->() const { return &record_; }

 private:
  DibAccess record_{};
  HGLOBAL handle_ = nullptr;
};

// A block freed when the object goes, unless released to the caller.
class OwnedBlock {
 public:
  OwnedBlock() = default;
  explicit OwnedBlock(HGLOBAL block) : block_(block) {}
  OwnedBlock(const OwnedBlock&) = delete;
  OwnedBlock& operator=(const OwnedBlock&) = delete;
  OwnedBlock(OwnedBlock&& other) noexcept : block_(other.Release()) {}
  OwnedBlock& operator=(OwnedBlock&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  ~OwnedBlock() { Reset(); }

  void Reset(HGLOBAL block = nullptr) {
    if (block_) GlobalFree(block_);
    block_ = block;
  }
  HGLOBAL Get() const { return block_; }
  HGLOBAL Release() {
    HGLOBAL block = block_;
    block_ = nullptr;
    return block;
  }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  HGLOBAL block_ = nullptr;
};

// A zero-initialised work table in a global block, locked for the object's
// life. Sets error 3 when it cannot be had.
class WorkBlock {
 public:
  WorkBlock() = default;
  WorkBlock(const WorkBlock&) = delete;
  WorkBlock& operator=(const WorkBlock&) = delete;
  ~WorkBlock() { Free(); }

  bool Allocate(std::size_t bytes);
  void Free();
  void* Data() const { return data_; }
  template <class T>
  T* As() const {
    return static_cast<T*>(data_);
  }

 private:
  HGLOBAL block_ = nullptr;
  void* data_ = nullptr;
};

}  // namespace qvx
