// Text drawing with FreeType and fontconfig: monochrome glyphs written
// straight into the rows of a 1-bit picture.
//
// A font is a FreeType face of its own (no state is shared between calls or
// threads); its cell is `ascent` pixels above the baseline and `descent`
// below, its advances the hinted ones, so that the extent measured is the
// extent drawn. Glyphs are rendered upright and each set bit is carried to
// the picture by the quarter turn of the font.
#include "platform/TextDraw.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

struct QvxTextFont {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int ascent = 0;
  int descent = 0;
  int angle = 0;
  bool underline = false;
  int underlineTop = 0;  // rows below the cell top
  int underlineRows = 1;
};

struct QvxTextDc {
  qvx::MonoRows rows;
  QvxTextFont* font = nullptr;
  int backgroundMode = OPAQUE;
  COLORREF textColor = 0;
  COLORREF backColor = 0xFFFFFF;
};

namespace qvx {
namespace {

// The face file fontconfig picks for a name and style; empty when it has
// none.
std::string MatchFaceFile(const char* faceName, bool bold, bool italic, int& index) {
  std::string file;
  if (!FcInit()) return file;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return file;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match) {
    FcChar8* path = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
      file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return file;
}

// DejaVu, as Debian's fonts-dejavu-core installs it, when fontconfig finds
// nothing usable.
const char* FallbackFaceFile(bool bold, bool italic) {
  static const char* const kFiles[4] = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf",
      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
      "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf",
  };
  return kFiles[(bold ? 2 : 0) + (italic ? 1 : 0)];
}

int CeilPixels(FT_Pos value) { return static_cast<int>((value + 63) >> 6); }

// Decodes the UTF-8 character of `length` bytes at text.
FT_ULong CodePoint(const unsigned char* text, int length) {
  if (length == 1) return text[0];
  FT_ULong code = text[0] & (0x7F >> length);
  for (int i = 1; i < length; ++i) code = (code << 6) | (text[i] & 0x3F);
  return code;
}

// Calls glyph(code) for every character of the text, skipping bytes that
// start none.
template <class Glyph>
void ForEachCode(const char* text, int length, Glyph&& glyph) {
  int i = 0;
  while (i < length) {
    const int n = TextCharLength(text + i, length - i);
    if (n == 0) {
      ++i;
      continue;
    }
    glyph(CodePoint(reinterpret_cast<const unsigned char*>(text + i), n));
    i += n;
  }
}

// Loads a glyph as the monochrome renderer hints it; with `render` its
// bitmap too.
bool LoadGlyph(FT_Face face, FT_ULong code, bool render) {
  const FT_Int32 flags = FT_LOAD_TARGET_MONO | (render ? FT_LOAD_RENDER : 0);
  return FT_Load_Char(face, code, flags) == 0;
}

int Advance(FT_Face face) { return static_cast<int>((face->glyph->advance.x + 32) >> 6); }

// The colour-table index a colour is drawn with: the nearer of black and
// white.
bool WhiteBit(COLORREF colour) {
  const int sum = (colour & 0xFF) + ((colour >> 8) & 0xFF) + ((colour >> 16) & 0xFF);
  return sum > 382;
}

// Writes the bit of the text-space pixel (u along the line, v down from the
// cell top) of a line whose cell corner is at (left, top).
struct Placer {
  const MonoRows& rows;
  std::int64_t left, top;
  int angle;
  void Put(std::int64_t u, std::int64_t v, bool white) const {
    std::int64_t x, y;
    switch (angle) {
      case 90:
        x = left + v;
        y = top - 1 - u;
        break;
      case 180:
        x = left - 1 - u;
        y = top - 1 - v;
        break;
      case 270:
        x = left - 1 - v;
        y = top + u;
        break;
      default:
        x = left + u;
        y = top + v;
        break;
    }
    PutScreen(x, y, white);
  }
  void PutScreen(std::int64_t x, std::int64_t y, bool white) const {
    if (x < 0 || y < 0 || x >= rows.width || y >= rows.height) return;
    BYTE* row =
        rows.bits + std::size_t{rows.rowBytes} * static_cast<std::size_t>(rows.height - 1 - y);
    const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
    row[x >> 3] = static_cast<BYTE>(white ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
  }
  // Every pixel of u0..u1-1 by v0..v1-1, turned to the picture and cut to
  // it before anything is written, so that a wild box costs nothing.
  void Fill(std::int64_t u0, std::int64_t u1, std::int64_t v0, std::int64_t v1, bool white) const {
    std::int64_t x0, x1, y0, y1;  // half-open
    switch (angle) {
      case 90:
        x0 = left + v0, x1 = left + v1, y0 = top - u1, y1 = top - u0;
        break;
      case 180:
        x0 = left - u1, x1 = left - u0, y0 = top - v1, y1 = top - v0;
        break;
      case 270:
        x0 = left - v1, x1 = left - v0, y0 = top + u0, y1 = top + u1;
        break;
      default:
        x0 = left + u0, x1 = left + u1, y0 = top + v0, y1 = top + v1;
        break;
    }
    x0 = x0 < 0 ? 0 : x0;
    y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > rows.width ? rows.width : x1;
    y1 = y1 > rows.height ? rows.height : y1;
    for (std::int64_t y = y0; y < y1; ++y)
      for (std::int64_t x = x0; x < x1; ++x) PutScreen(x, y, white);
  }
};

}  // namespace

bool OpenTextSurface(const MonoRows& rows, TextSurface& surface) {
  surface = TextSurface{};
  if (!rows.bits || rows.width <= 0 || rows.height <= 0 || !rows.header ||
      rows.header->biBitCount != 1)
    return false;
  surface.dc = new (std::nothrow) QvxTextDc{rows};
  return surface.dc != nullptr;
}

void CloseTextSurface(const MonoRows&, TextSurface& surface) {
  delete surface.dc;
  surface = TextSurface{};
}

TextModes SetTextModes(HDC dc, const TextModes& modes) {
  const TextModes previous{dc->font, dc->backgroundMode, dc->textColor, dc->backColor};
  dc->font = modes.font;
  dc->backgroundMode = modes.backgroundMode;
  dc->textColor = modes.textColor;
  dc->backColor = modes.backColor;
  return previous;
}

HFONT SelectTextFont(HDC dc, HFONT font) {
  HFONT previous = dc->font;
  dc->font = font;
  return previous;
}

BOOL MeasureText(HDC dc, const char* text, int length, SIZE* size) {
  QvxTextFont* font = dc ? dc->font : nullptr;
  if (!font || !size || length < 0) return FALSE;
  std::int64_t width = 0;
  ForEachCode(text, length, [&](FT_ULong code) {
    if (LoadGlyph(font->face, code, false)) width += Advance(font->face);
  });
  size->cx = static_cast<LONG>(width);
  size->cy = font->ascent + font->descent;
  return TRUE;
}

int DrawTextRun(HDC dc, const char* text, int length, RECT* box, UINT) {
  QvxTextFont* font = dc ? dc->font : nullptr;
  if (!font || !box || length < 0) return 0;
  SIZE extent{};
  MeasureText(dc, text, length, &extent);
  const Placer placer{dc->rows, box->left, box->top, font->angle};
  if (dc->backgroundMode == OPAQUE)
    placer.Fill(0, extent.cx, 0, extent.cy, WhiteBit(dc->backColor));
  const bool white = WhiteBit(dc->textColor);
  FT_Face face = font->face;
  std::int64_t pen = 0;
  ForEachCode(text, length, [&](FT_ULong code) {
    if (!LoadGlyph(face, code, true)) return;
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
      const std::int64_t u0 = pen + face->glyph->bitmap_left;
      const std::int64_t v0 = std::int64_t{font->ascent} - face->glyph->bitmap_top;
      for (unsigned r = 0; r < bitmap.rows; ++r) {
        const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch;
        for (unsigned c = 0; c < bitmap.width; ++c)
          if (line[c >> 3] & (0x80 >> (c & 7))) placer.Put(u0 + c, v0 + r, white);
      }
    }
    pen += Advance(face);
  });
  if (font->underline)
    placer.Fill(0, extent.cx, font->underlineTop, font->underlineTop + font->underlineRows, white);
  return extent.cy > 0 ? extent.cy : 1;
}

int TextCharLength(const char* text, int remaining) {
  if (remaining <= 0) return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned lead = s[0];
  int length;
  std::uint32_t lowest;  // the smallest code point of that length
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (remaining < length) return 0;
  std::uint32_t code = lead & (0x7Fu >> length);
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (s[i] & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond Unicode are no
  // characters.
  if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

HFONT CreateTextFont(const TextFontRequest& request) {
  if (!request.faceName || request.height < 1) return nullptr;
  auto* font = new (std::nothrow) QvxTextFont;
  if (!font) return nullptr;
  if (FT_Init_FreeType(&font->library) != 0) {
    delete font;
    return nullptr;
  }
  int index = 0;
  const std::string file = MatchFaceFile(request.faceName, request.bold, request.italic, index);
  if (file.empty() || FT_New_Face(font->library, file.c_str(), index, &font->face) != 0) {
    font->face = nullptr;
    if (FT_New_Face(font->library, FallbackFaceFile(request.bold, request.italic), 0,
                    &font->face) != 0)
      font->face = nullptr;
  }
  if (!font->face || FT_Set_Pixel_Sizes(font->face, 0, static_cast<FT_UInt>(request.height)) != 0) {
    DeleteTextFont(font);
    return nullptr;
  }
  const FT_Size_Metrics& metrics = font->face->size->metrics;
  font->ascent = CeilPixels(metrics.ascender);
  font->descent = CeilPixels(-metrics.descender);
  font->angle = request.angle;
  font->underline = request.underline;
  if (request.underline) {
    // The face's underline, in its units, scaled to the pixel size; one
    // row at least, and kept inside the cell.
    const FT_Fixed scale = metrics.y_scale;
    const int position = static_cast<int>(-FT_MulFix(font->face->underline_position, scale) >> 6);
    const int thickness =
        static_cast<int>((FT_MulFix(font->face->underline_thickness, scale) + 32) >> 6);
    font->underlineRows = thickness < 1 ? 1 : thickness;
    const int lastRow = font->ascent + font->descent - font->underlineRows;
    const int top = font->ascent + position;
    font->underlineTop = top > lastRow ? lastRow : (top < font->ascent ? font->ascent : top);
  }
  return font;
}

void DeleteTextFont(HFONT font) {
  if (!font) return;
  if (font->face) FT_Done_Face(font->face);
  if (font->library) FT_Done_FreeType(font->library);
  delete font;
}

}  // namespace qvx
