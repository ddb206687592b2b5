// Reading a fuzzer's bytes as the arguments of a call: every value comes
// from the input, zero once it runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvx::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  template <class T>
  T Take() {
    T value{};
    const std::size_t n = size_ - at_ < sizeof(T) ? size_ - at_ : sizeof(T);
    std::memcpy(&value, data_ + at_, n);
    at_ += n;
    return value;
  }
  std::uint8_t Byte() { return Take<std::uint8_t>(); }
  std::int32_t Int() { return Take<std::int32_t>(); }
  double Double() { return Take<double>(); }
  // Mostly a small value in from..from+limit-1, now and then anything.
  std::int32_t Small(int limit, int from = 0) {
    const std::uint8_t pick = Byte();
    return pick < 224 ? from + pick % limit : Int();
  }
  // Copies up to `count` bytes into `out`, the rest zero.
  void Fill(void* out, std::size_t count) {
    const std::size_t n = size_ - at_ < count ? size_ - at_ : count;
    std::memcpy(out, data_ + at_, n);
    std::memset(static_cast<std::uint8_t*>(out) + n, 0, count - n);
    at_ += n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace qvx::fuzz
