// The text of a hidden mark: layout rules, alignment by the extent the font
// reports, and drawing as one line or character by character.
#include "frame/MarkText.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "frame/ErrorCodes.h"
#include "frame/Resources.h"
#include "platform/QvxCom.h"
#include "platform/TextDraw.h"

namespace qvx {

bool CheckMarkText(const MarkTextSpec& spec) {
  return strnlen(spec.FaceName, sizeof spec.FaceName) >= 1 && spec.FontSize >= 1 &&
         strnlen(spec.Text, sizeof spec.Text) >= 1;
}

bool IsHorizontalRun(BYTE direction, WORD angle) {
  const bool level = angle == 0 || angle == 180;
  return direction <= 1 ? level : !level;
}

void NormalizeMarkLayout(MarkTextSpec& spec) {
  if (spec.Direction > 3) spec.Direction = 0;
  if (spec.Angle != 0 && spec.Angle != 90 && spec.Angle != 180 && spec.Angle != 270) spec.Angle = 0;
  if (spec.HAlign > 2) spec.HAlign = 0;
  if (spec.VAlign > 2) spec.VAlign = 0;
}

RECT NormalizeRect(RECT rect) {
  if (rect.left > rect.right) std::swap(rect.left, rect.right);
  if (rect.top > rect.bottom) std::swap(rect.top, rect.bottom);
  return rect;
}

namespace {

// Reverses the characters of text (a character's bytes keep their order; a
// byte that starts no character counts as one).
void ReverseCharacters(char* text, int length) {
  char reversed[sizeof MarkTextSpec::Text];
  int end = length;
  for (int i = 0; i < length;) {
    int n = TextCharLength(text + i, length - i);
    if (n == 0) n = 1;
    end -= n;
    std::memcpy(reversed + end, text + i, static_cast<std::size_t>(n));
    i += n;
  }
  std::memcpy(text, reversed, static_cast<std::size_t>(length));
}

LONG ToLong(std::int64_t value) {
  return static_cast<LONG>(value < INT32_MIN ? INT32_MIN : (value > INT32_MAX ? INT32_MAX : value));
}

bool DrawMarkText(HDC dc, const MarkTextSpec& spec, const RECT& rect, SIZE extent,
                  bool horizontal) {
  char text[sizeof spec.Text];
  const int length = static_cast<int>(strnlen(spec.Text, sizeof spec.Text));
  std::memcpy(text, spec.Text, static_cast<std::size_t>(length));
  const int direction = spec.Direction;
  const int angle = spec.Angle;
  if (direction == 1 || direction == 3) ReverseCharacters(text, length);
  if ((direction <= 1 && angle == 180) || (direction >= 2 && angle == 90))
    ReverseCharacters(text, length);

  std::int64_t left = rect.left, top = rect.top;
  const std::int64_t boxWidth = std::int64_t{rect.right} - rect.left;
  const std::int64_t boxHeight = std::int64_t{rect.bottom} - rect.top;
  const std::int64_t cx = extent.cx, cy = extent.cy;
  const bool turned = horizontal && (angle == 90 || angle == 270);
  const std::int64_t ew = turned ? cy : cx;
  const std::int64_t eh = turned ? cx : cy;
  if (spec.HAlign == 1) left += (boxWidth - ew) / 2;
  if (spec.HAlign == 2) left += boxWidth - ew;
  if (spec.VAlign == 1) top += (boxHeight - eh) / 2;
  if (spec.VAlign == 2) top += boxHeight - eh;
  const auto box = [&] { return RECT{ToLong(left), ToLong(top), rect.right, rect.bottom}; };

  if (horizontal) {
    if (angle == 90) top += cx;
    if (angle == 180) left += cx, top += cy;
    if (angle == 270) left += cy;
    RECT line = box();
    return DrawTextRun(dc, text, length, &line, DT_SINGLELINE | DT_NOCLIP) > 0;
  }
  bool first = true;
  for (int i = 0; i < length;) {
    const int n = TextCharLength(text + i, length - i);
    if (n == 0) {
      ++i;
      continue;
    }
    SIZE size{0, 0};
    MeasureText(dc, text + i, n, &size);
    if (first) {
      if (angle == 90) top += cy;
      if (angle == 180) top += size.cy, left += cx;
      if (angle == 270) left += size.cy;
      first = false;
    }
    RECT cell = box();
    if (DrawTextRun(dc, text + i, n, &cell, DT_NOCLIP) <= 0) return false;
    const bool level = angle == 0 || angle == 180;
    if (direction <= 1) {
      left += level ? size.cx : size.cy;
    } else {
      top += level ? size.cy : size.cx;
    }
    i += n;
  }
  return true;
}

}  // namespace

BOOL RenderTextMask(HGLOBAL mask, RECT rect, MarkTextSpec spec) {
  if (!CheckMarkText(spec) || rect.right == rect.left || rect.bottom == rect.top) {
    SetErrorStatus(kErrorBadParameter);
    return FALSE;
  }
  LockedDib locked;
  if (!locked.Start(mask, kDepthAll)) return FALSE;
  const MonoRows rows{locked->Header, locked->Bits, locked->Width, locked->Height,
                      locked->RowBytes};
  TextSurface surface;
  if (!OpenTextSurface(rows, surface)) {
    SetErrorStatus(kErrorTextNotRendered);
    return FALSE;
  }
  NormalizeMarkLayout(spec);
  rect = NormalizeRect(rect);
  const bool horizontal = IsHorizontalRun(spec.Direction, spec.Angle);
  SIZE extent{0, 0};
  HFONT font = CreateBestFont(surface.dc, spec, rect, &extent, horizontal ? TRUE : FALSE);
  if (!font) {
    CloseTextSurface(rows, surface);
    SetErrorStatus(kErrorCannotDo);
    return FALSE;
  }
  const TextModes previous = SetTextModes(
      surface.dc, {font, spec.Transparent ? TRANSPARENT : OPAQUE, spec.TextColor, spec.BackColor});
  const bool drawn = DrawMarkText(surface.dc, spec, rect, extent, horizontal);
  SetTextModes(surface.dc, previous);
  DeleteTextFont(font);
  CloseTextSurface(rows, surface);
  if (!drawn) {
    SetErrorStatus(kErrorTextNotRendered);
    return FALSE;
  }
  return TRUE;
}

}  // namespace qvx
