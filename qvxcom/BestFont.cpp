// CreateBestFont: the font a hidden mark's text is drawn with, and the
// extent the text takes in it (rules in platform/QvxCom.h).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/FixedRecords.h"
#include "platform/QvxCom.h"
#include "platform/TextDraw.h"

namespace {

constexpr int kLargestHeight = 2048;

// The extent of the text with the font selected into dc: along the line for
// a horizontal run; on the screen, character by character, for a stacked
// one.
SIZE MeasureRun(HDC dc, const char* text, int length, BOOL horizontal, BYTE direction) {
  SIZE total{0, 0};
  if (horizontal) {
    qvx::MeasureText(dc, text, length, &total);
    return total;
  }
  const bool across = direction <= 1;
  int i = 0;
  while (i < length) {
    const int n = qvx::TextCharLength(text + i, length - i);
    if (n == 0) {
      ++i;
      continue;
    }
    SIZE one{0, 0};
    qvx::MeasureText(dc, text + i, n, &one);
    if (across) {
      total.cx += one.cy;
      total.cy = one.cx > total.cy ? one.cx : total.cy;
    } else {
      total.cx = one.cx > total.cx ? one.cx : total.cx;
      total.cy += one.cy;
    }
    i += n;
  }
  return total;
}

}  // namespace

HFONT WINAPI CreateBestFont(HDC dc, MarkTextSpec spec, RECT rect, SIZE* extent, BOOL horizontal) {
  char face[sizeof spec.FaceName + 1] = {};
  std::memcpy(face, spec.FaceName, sizeof spec.FaceName);
  const int length = static_cast<int>(strnlen(spec.Text, sizeof spec.Text));
  int height = spec.FontSize < kLargestHeight ? spec.FontSize : kLargestHeight;
  if (!dc || height < 1 || !face[0]) return nullptr;
  const int angle = spec.Angle == 90 || spec.Angle == 180 || spec.Angle == 270 ? spec.Angle : 0;
  // On the screen a horizontal run turned a quarter is as wide as it is high.
  const bool turned = horizontal && (angle == 90 || angle == 270);
  const std::int64_t boxWidth = std::int64_t{rect.right} - rect.left;
  const std::int64_t boxHeight = std::int64_t{rect.bottom} - rect.top;

  for (int attempt = 0;; ++attempt) {
    const qvx::TextFontRequest request{
        face, height, spec.StyleBytes[0] != 0, spec.StyleBytes[1] != 0, spec.StyleBytes[2] != 0,
        angle};
    HFONT font = qvx::CreateTextFont(request);
    if (!font) return nullptr;
    HFONT previous = qvx::SelectTextFont(dc, font);
    const SIZE size = MeasureRun(dc, spec.Text, length, horizontal, spec.Direction);
    qvx::SelectTextFont(dc, previous);
    const std::int64_t width = turned ? size.cy : size.cx;
    const std::int64_t tall = turned ? size.cx : size.cy;
    const bool fits = width <= boxWidth && tall <= boxHeight;
    if (fits || height == 1 || attempt == 12 || width <= 0 || tall <= 0) {
      if (extent) *extent = size;
      return font;
    }
    qvx::DeleteTextFont(font);
    // Scale by the tighter of the two ratios, and shrink by one at least.
    const double ratio = std::min(static_cast<double>(boxWidth > 0 ? boxWidth : 0) / width,
                                  static_cast<double>(boxHeight > 0 ? boxHeight : 0) / tall);
    const int scaled = static_cast<int>(height * ratio);
    height = scaled < height ? scaled : height - 1;
    if (height < 1) height = 1;
  }
}
