// Text drawing on Windows: GDI on a DIB section made from the picture.
//
// Built into the effect library and into the sibling library (which makes
// the fonts), so it sets no error status of its own.
#include "platform/TextDraw.h"

#include <cstring>

namespace qvx {

bool OpenTextSurface(const MonoRows& rows, TextSurface& surface) {
  surface = TextSurface{};
  if (!rows.header || !rows.bits || rows.width <= 0 || rows.height <= 0) return false;
  HDC screen = GetDC(nullptr);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(rows.header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = section && bits ? CreateCompatibleDC(nullptr) : nullptr;
  if (!dc) {
    if (section) DeleteObject(section);
    if (screen) ReleaseDC(nullptr, screen);
    return false;
  }
  std::memcpy(bits, rows.bits, std::size_t{rows.rowBytes} * static_cast<std::size_t>(rows.height));
  surface.dc = dc;
  surface.screen = screen;
  surface.section = section;
  surface.sectionBits = bits;
  surface.oldBitmap = SelectObject(dc, section);
  return true;
}

void CloseTextSurface(const MonoRows& rows, TextSurface& surface) {
  if (!surface.dc) return;
  // GDI may batch drawing calls; the bits are read after all have run.
  GdiFlush();
  std::memcpy(rows.bits, surface.sectionBits,
              std::size_t{rows.rowBytes} * static_cast<std::size_t>(rows.height));
  SelectObject(surface.dc, static_cast<HGDIOBJ>(surface.oldBitmap));
  DeleteDC(surface.dc);
  DeleteObject(static_cast<HGDIOBJ>(surface.section));
  ReleaseDC(nullptr, static_cast<HDC>(surface.screen));
  surface = TextSurface{};
}

TextModes SetTextModes(HDC dc, const TextModes& modes) {
  TextModes previous;
  previous.font = static_cast<HFONT>(SelectObject(dc, modes.font));
  previous.backgroundMode = SetBkMode(dc, modes.backgroundMode);
  previous.textColor = SetTextColor(dc, modes.textColor);
  previous.backColor = SetBkColor(dc, modes.backColor);
  return previous;
}

HFONT SelectTextFont(HDC dc, HFONT font) { return static_cast<HFONT>(SelectObject(dc, font)); }

int DrawTextRun(HDC dc, const char* text, int length, RECT* box, UINT flags) {
  return DrawTextA(dc, text, length, box, flags);
}

BOOL MeasureText(HDC dc, const char* text, int length, SIZE* size) {
  return GetTextExtentPoint32A(dc, text, length, size);
}

int TextCharLength(const char* text, int remaining) {
  if (remaining <= 0) return 0;
  if (!IsDBCSLeadByte(static_cast<BYTE>(text[0]))) return 1;
  // A lead byte needs its trail byte; alone at the end it is skipped.
  return remaining >= 2 && text[1] != 0 ? 2 : 0;
}

HFONT CreateTextFont(const TextFontRequest& request) {
  if (!request.faceName || request.height < 1) return nullptr;
  LOGFONTA font{};
  font.lfHeight = -request.height;  // the character (em) height
  font.lfEscapement = request.angle * 10;
  font.lfOrientation = request.angle * 10;
  font.lfWeight = request.bold ? FW_BOLD : FW_NORMAL;
  font.lfItalic = request.italic ? 1 : 0;
  font.lfUnderline = request.underline ? 1 : 0;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;  // outline fonts turn; bitmap fonts do not
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = NONANTIALIASED_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  std::strncpy(font.lfFaceName, request.faceName, LF_FACESIZE - 1);
  return CreateFontIndirectA(&font);
}

void DeleteTextFont(HFONT font) {
  if (font) DeleteObject(font);
}

}  // namespace qvx
