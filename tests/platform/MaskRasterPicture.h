// A 1-bit picture for the mask-raster tests, laid out as the library lays out
// its masks: bottom-up rows of ((w + 31) / 32) * 4 bytes, a header with
// biBitCount 1 and a black/white colour table. Guard bytes around the rows,
// and optionally marked padding bits, show any write outside the pixels.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/MaskRaster.h"

namespace qvx::test {

class MonoPicture {
 public:
  static constexpr std::size_t kGuard = 64;

  MonoPicture(int width, int height)
      : width_(width),
        height_(height),
        rowBytes_(static_cast<DWORD>((width + 31) / 32) * 4),
        storage_(2 * kGuard + std::size_t(rowBytes_) * height, 0x5A) {
    std::fill(storage_.begin() + kGuard, storage_.end() - kGuard, 0);
    info_.header =
        BITMAPINFOHEADER{40, width, height, 1, 1, BI_RGB, rowBytes_ * DWORD(height), 0, 0, 0, 0};
    info_.colours[1] = RGBQUAD{255, 255, 255, 0};
    reference_ = storage_;
  }

  int Width() const { return width_; }
  int Height() const { return height_; }
  MonoRows Rows() { return MonoRows{&info_.header, &storage_[kGuard], width_, height_, rowBytes_}; }
  bool Get(int x, int y) const { return (storage_[At(x, y)] >> (7 - x % 8)) & 1; }
  void Set(int x, int y, bool on) {
    const BYTE bit = BYTE(0x80 >> (x % 8));
    storage_[At(x, y)] = on ? BYTE(storage_[At(x, y)] | bit) : BYTE(storage_[At(x, y)] & ~bit);
  }

  // Sets every bit past the width in every row to an irregular pattern.
  void MarkPadding() {
    for (int y = 0; y < height_; ++y) {
      for (int x = width_; x < int(rowBytes_) * 8; ++x) Set(x, y, (x * 7 + y * 3) % 5 < 3);
    }
    reference_ = storage_;
  }

  // True when the guard bytes and every bit past the width still hold what
  // they held at construction or at the last MarkPadding.
  bool OutsideIntact() const {
    for (std::size_t i = 0; i < storage_.size(); ++i) {
      const bool row = i >= kGuard && i < storage_.size() - kGuard;
      const int pixels = row ? std::clamp(width_ - int((i - kGuard) % rowBytes_) * 8, 0, 8) : 0;
      if ((storage_[i] ^ reference_[i]) & ~(0xFF00 >> pixels) & 0xFF) return false;
    }
    return true;
  }

  // Rows from the top, '#' for white (1) and '.' for black (0).
  std::vector<std::string> Ascii() const {
    std::vector<std::string> rows(height_, std::string(width_, '.'));
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) rows[y][x] = Get(x, y) ? '#' : '.';
    }
    return rows;
  }

 private:
  std::size_t At(int x, int y) const {
    return kGuard + std::size_t(rowBytes_) * (height_ - 1 - y) + x / 8;
  }

  int width_, height_;
  DWORD rowBytes_;
  std::vector<BYTE> storage_, reference_;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2] = {};
  } info_;
};

// "expected | actual" row by row, with the differing rows marked.
inline std::string SideBySide(const std::vector<std::string>& expected,
                              const std::vector<std::string>& actual) {
  std::ostringstream out;
  const std::size_t width = expected.empty() ? 0 : expected[0].size();
  out << "expected" << std::string(width > 8 ? width - 8 : 0, ' ') << " | actual\n";
  for (std::size_t y = 0; y < std::max(expected.size(), actual.size()); ++y) {
    const std::string e = y < expected.size() ? expected[y] : std::string(width, '?');
    const std::string a = y < actual.size() ? actual[y] : std::string();
    out << e << " | " << a << (e == a ? "" : "   <- row " + std::to_string(y)) << "\n";
  }
  return out.str();
}

}  // namespace qvx::test
