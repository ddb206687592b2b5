// Drawing text into 1-bit pictures, for the text of hidden marks.
//
// On Windows every operation is GDI's: a DIB section made from the picture
// and selected into a memory DC, fonts from CreateFontIndirectA,
// GetTextExtentPoint32A and DrawTextA, characters by the code page's
// lead-byte table. Elsewhere FreeType draws the glyphs in monochrome (one
// bit per pixel, no smoothing, as GDI draws into a 1-bit surface),
// fontconfig finds the face, and text is UTF-8.
//
// What the placement of text relies on is the same on both: a line is
// drawn with the top-left corner of its cell at the box's (left, top); a
// font turned by 90, 180 or 270 degrees (counter-clockwise) turns the cell
// about that corner; the extent of a text is its advance along the line
// (cx) and the font's cell height (cy), whatever the font's angle.
#pragma once

#include "platform/MaskRaster.h"
#include "platform/WinTypes.h"

#if !defined(_WIN32)
#define DT_SINGLELINE 0x20u
#define DT_NOCLIP 0x100u
#define TRANSPARENT 1
#define OPAQUE 2
#endif

namespace qvx {

// A drawing surface over the rows of a 1-bit picture with a two-entry
// colour table. The rows are copied back when it is closed.
struct TextSurface {
  HDC dc = nullptr;
  void* screen = nullptr;   // Windows: the screen DC
  void* section = nullptr;  // Windows: the DIB section and its bits
  void* sectionBits = nullptr;
  void* oldBitmap = nullptr;
};
// False when the surface cannot be made (nothing is then held).
bool OpenTextSurface(const MonoRows& rows, TextSurface& surface);
void CloseTextSurface(const MonoRows& rows, TextSurface& surface);

// What is selected into a surface's DC for drawing.
struct TextModes {
  HFONT font;
  int backgroundMode;  // OPAQUE or TRANSPARENT
  COLORREF textColor;
  COLORREF backColor;
};
// Selects `modes` and answers what was selected before.
TextModes SetTextModes(HDC dc, const TextModes& modes);
// Selects only a font; answers the previous one.
HFONT SelectTextFont(HDC dc, HFONT font);

// DrawTextA: `flags` DT_SINGLELINE | DT_NOCLIP for a line, DT_NOCLIP for
// one character. Answers the height drawn, 0 or less on failure.
int DrawTextRun(HDC dc, const char* text, int length, RECT* box, UINT flags);
// GetTextExtentPoint32A with the font selected into dc.
BOOL MeasureText(HDC dc, const char* text, int length, SIZE* size);

// Bytes of the character that starts at text (at most `remaining`), or 0
// when the byte there is no character's start and is to be skipped.
int TextCharLength(const char* text, int remaining);

// A font of the face named (or the nearest the system has), `height`
// pixels from the top of its capitals' accents to the bottom of its
// descenders (the em height), turned by `angle` degrees counter-clockwise
// (0, 90, 180 or 270). Null when none can be made.
struct TextFontRequest {
  const char* faceName;
  int height;
  bool bold;
  bool italic;
  bool underline;
  int angle;
};
HFONT CreateTextFont(const TextFontRequest& request);
void DeleteTextFont(HFONT font);

}  // namespace qvx
