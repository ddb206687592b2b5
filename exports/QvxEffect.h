// QvxEffect: image effects on packed device-independent bitmaps.
//
// Every picture is a packed DIB in a movable global block (GlobalAlloc with
// GMEM_MOVEABLE | GMEM_ZEROINIT): a 40-byte BITMAPINFOHEADER, the colour
// table, then bottom-up rows padded to 4 bytes. Depths 1, 4, 8, 16 (5-5-5 or
// 5-6-5), 24 and 32 bits. Pixel coordinates count x from the left and y from
// the TOP row.
//
// Effects never change their source: they return a NEW picture that the
// caller frees with GlobalFree, or 0 on failure. After every call the
// sibling library's error status (GetErrorStatus) holds 0 for success or:
//   1 cancelled through the progress window     2 operation cannot be done
//   3 out of memory                             4 depth not supported here
//   5 bad parameter                             7 unusable picture
//   9 text of a mark not rendered
//
// Common arguments of the effects:
//   images      ImageHandles*: Picture = the source, Mask = the 1-bit mask
//               picture of selection mode 0 (same size as the source)
//   mode        0 mask picture, 1 whole picture, 2 polygon, 3 ellipse
//   points, pointCount   polygon vertices (mode 2)
//   rect        ellipse bounding rectangle (mode 3); null counts as all zero
//   inside      non-zero: apply inside the shape; 0: outside it
//   noDialog    0: show the progress window; non-zero: run silently
//   dlgArg1..3  passed unchanged to the progress window
//
// The Ex twins write their results through an out-pointer and return 1 or
// 0. A null out-pointer is refused with error 5 before anything is done: no
// progress window, no work, nothing allocated.
#pragma once
//
// This header is valid C and C++ and stands alone: it needs only the
// platform's own headers.

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#else

// Elsewhere the Windows types of the interface, with Windows' sizes.
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef int BOOL;
typedef void* HGLOBAL;
#define WINAPI

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define BI_RGB 0L
#define BI_BITFIELDS 3L
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#endif

#ifdef __cplusplus
#define QVX_API extern "C"
#else
#define QVX_API extern
#endif

#if !defined(_WIN32)
// Movable global memory, as kernel32 has it: the library's own stand-in,
// which callers use for the pictures they hand over and get back.
QVX_API HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
QVX_API void* GlobalLock(HGLOBAL block);
QVX_API BOOL GlobalUnlock(HGLOBAL block);
QVX_API HGLOBAL GlobalFree(HGLOBAL block);
QVX_API size_t GlobalSize(HGLOBAL block);
QVX_API HGLOBAL GlobalHandle(const void* pointer);
#endif

// ---- records that cross the interface -------------------------------------

// The direct pixel access record of QVStartDibAccess .. QVEndDibAccess:
// byte-packed, 132 bytes with 32-bit pointers.
#pragma pack(push, 1)
typedef struct DibAccess {
  BYTE Index;  // palette index of the current pixel (1, 4, 8 bits)
  BYTE Red;
  BYTE Green;
  BYTE Blue;
  BITMAPINFOHEADER* Header;  // start of the locked block
  RGBQUAD* ColorTable;       // Header + biSize
  BYTE* Bits;                // ColorTable + the colour table's bytes
  BYTE* Pixel;               // cursor: the byte holding the current pixel
  int32_t ByteInRow;         // 1 and 4 bits: byte of the cursor in its row
  int32_t BitInByte;         // 1 bit: 0..7 from the top bit; 4 bits: 0 high, 1 low nibble
  int16_t BitCount;
  int32_t Width;
  int32_t Height;
  int32_t MaxX;
  int32_t MaxY;
  uint32_t RowBytes;
  uint16_t RedMask;  // 16-bit pictures only, else 0
  uint16_t GreenMask;
  uint16_t BlueMask;
  uint32_t ColorCount;  // table bytes / 4
  int32_t UseRgb;       // non-zero: palette pixels also travel as colours
  BYTE Alpha;           // fourth byte of a 32-bit pixel
  BYTE Reserved[67];
} DibAccess;
#pragma pack(pop)

// A picture and the mask that goes with it.
#pragma pack(push, 4)
typedef struct ImageHandles {
  HGLOBAL Picture;  // packed DIB
  HGLOBAL Mask;     // its 1-bit mask picture, or 0
} ImageHandles;
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
// A pair returned by value travels as one 64-bit value: Picture in the low
// half, Mask in the high half (EDX:EAX).
typedef uint64_t ImageHandlesResult;
#else
// Where handles are wider than 32 bits the pair is returned as the record.
typedef ImageHandles ImageHandlesResult;
#endif

// A caller's 9 x 9 convolution kernel: row-major, weights[9 * ky + kx] for
// the source pixel kx - 4 columns and ky - 4 rows from the output pixel.
typedef struct FilterKernel {
  int32_t weights[81];
} FilterKernel;

// The description of a text mark (200 bytes, byte-packed).
#pragma pack(push, 1)
typedef struct MarkTextSpec {
  BYTE Reserved[20];   // zero
  DWORD TextColor;     // COLORREF of the text
  DWORD BackColor;     // COLORREF of the background
  char FaceName[32];   // zero-terminated, at most 31 characters
  uint16_t FontSize;   // 1 or more
  BYTE StyleBytes[4];  // passed on unchanged
  BYTE Transparent;    // 0: opaque background
  BYTE Direction;      // 0..3
  uint16_t Angle;      // 0, 90, 180 or 270
  BYTE HAlign;         // 1 = centred
  BYTE VAlign;         // 1 = centred
  char Text[128];      // zero-terminated, at most 127 characters
} MarkTextSpec;
#pragma pack(pop)

// ---- direct pixel access --------------------------------------------------
// Lock a picture (any depth) and fill the caller's record; the picture stays
// locked until QVEndDibAccess. On failure the record is unchanged.
QVX_API BOOL WINAPI QVStartDibAccess(HGLOBAL picture, DibAccess* record);
// Unlock the picture and clear the record.
QVX_API BOOL WINAPI QVEndDibAccess(HGLOBAL picture, DibAccess* record);
// Read pixel (x, y): Index and Red/Green/Blue (palette pictures report both),
// Alpha for 32 bits. Coordinates outside the picture fail with 5.
QVX_API BOOL WINAPI QVGetDibPixel(DibAccess* record, int x, int y);
// Write pixel (x, y) from Index (1, 4, 8 bits) or Red/Green/Blue (16, 24,
// 32 bits; Alpha too for 32).
QVX_API BOOL WINAPI QVSetDibPixel(DibAccess* record, int x, int y);

// ---- geometry -------------------------------------------------------------
// Scale a picture, and the 1-bit mask picture that travels with it
// (images->Mask, 0 for none, same size as the picture), to width x height
// (each at least 1, else error 5). Any depth. smooth = 0: every result pixel
// copies the nearest source pixel (palette indices kept). smooth != 0, for
// 16, 24 and 32 bits and 8-bit grey-ramp pictures: shrinking dimensions are
// box-averaged, growing ones bilinearly blended; other palette pictures are
// still resized by nearest pixel. The mask is always resized by nearest
// pixel. The alpha of 32-bit results is 0. Returns the new picture (low 32
// bits) and the new mask (high 32 bits, 0 without a mask); both 0 on
// failure: 5 bad size or mask of another size, 7 unusable picture or mask
// not 1-bit, 3 out of memory, 1 cancelled, 2 progress window not opened.
QVX_API ImageHandlesResult WINAPI QVResize(ImageHandles* images, int width, int height,
                                           BOOL smooth, BOOL noDialog, DWORD dlgArg1,
                                           DWORD dlgArg2, DWORD dlgArg3);
// QVResize writing the pair to *result (written whenever the resize ran,
// also on failure; untouched when the progress window could not be
// opened). Returns 1 when a new picture was made.
QVX_API BOOL WINAPI QVResizeEx(ImageHandles* images, ImageHandles* result, int width, int height,
                               BOOL smooth, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                               DWORD dlgArg3);
// Turn a picture, and the 1-bit mask picture that travels with it
// (images->Mask, 0 for none, same size as the picture), by `angle`
// hundredths of a degree (any value; taken modulo 36000, counter-clockwise
// on screen), after mirroring it left-right (`mirror`) and flipping it
// top-bottom (`flip`). Any depth. 0, 90, 180 and 270 degrees are exact;
// other angles sample the nearest source pixel, or with `smooth` (16, 24,
// 32 bits and 8-bit grey ramps only) blend four pixels. Uncovered pixels
// take the background red, green, blue (low bytes used; palette pictures
// the nearest table entry); the mask's uncovered pixels are black. keepSize
// != 0: the result has the source's size; 0: it holds the whole turned
// picture. 32-bit results keep alpha at 0, 90, 180 and 270 degrees (not
// with keepSize at 90 and 270) and have alpha 0 otherwise. Returns the new
// picture (low 32 bits) and mask (high 32 bits); both 0 on failure: 5 mask
// of another size, 7 unusable picture or mask not 1-bit, 3 out of memory,
// 1 cancelled, 2 progress window not opened.
QVX_API ImageHandlesResult WINAPI QVRotation(ImageHandles* images, int angle, BOOL mirror,
                                             BOOL flip, BOOL smooth, int red, int green, int blue,
                                             BOOL keepSize, BOOL noDialog, DWORD dlgArg1,
                                             DWORD dlgArg2, DWORD dlgArg3);
// QVRotation writing the pair to *result (written whenever the rotation
// ran, also on failure; untouched when the progress window could not be
// opened). Returns 1 when a new picture was made.
QVX_API BOOL WINAPI QVRotationEx(ImageHandles* images, ImageHandles* result, int angle,
                                 BOOL mirror, BOOL flip, BOOL smooth, int red, int green, int blue,
                                 BOOL keepSize, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                 DWORD dlgArg3);
// Copy the rectangle rect->left..right by rect->top..bottom (inclusive,
// top-down coordinates) of a picture of any depth into a new picture of the
// same format. The rectangle is clamped into the picture and its corners
// swapped when given the wrong way round; a null rect counts as all zero
// (the top-left pixel). 1- and 4-bit rows starting inside a byte are
// shifted. Returns the new picture, or 0: 7 unusable picture, 3 out of
// memory, 1 cancelled, 2 progress window not opened.
QVX_API HGLOBAL WINAPI QVCutRectImage(HGLOBAL picture, RECT* rect, BOOL noDialog, DWORD dlgArg1,
                                      DWORD dlgArg2, DWORD dlgArg3);
// Stretch the quadrilateral outlined by four corners (x1, y1) .. (x4, y4),
// given in any order, onto an upright rectangle. Any depth. Corners outside
// the picture are first pulled onto its border. The two leftmost corners
// (equal x: the earlier argument first) are the left edge, the other two the
// right edge; on each edge the upper corner is the top one. The result has
// the source's format and the size of the largest upright rectangle inside
// the corners (right and bottom exclusive): an exact rectangle (0, 0),
// (199, 99) on a 200 x 100 picture gives 199 x 99. When each edge is within
// 2 pixels of upright that rectangle is cut out as stored; otherwise every
// source pixel of the corners' bounding box is placed by the bilinear map
// taking the bottom edge onto the result's bottom and the left edge onto its
// left side, and written to its cell and the cells to its right and above;
// cells nothing reaches stay 0 (black, or index 0). Warped 16-bit pixels
// keep their channels, 32-bit ones get alpha 0. Returns the new picture, or
// 0: 7 unusable picture, 5 empty rectangle, 3 out of memory, 1 cancelled, 2
// progress window not opened; three corners on one line give 0 with the
// error status left as it was.
QVX_API HGLOBAL WINAPI QVAffine(HGLOBAL picture, int x1, int y1, int x2, int y2, int x3, int y3,
                                int x4, int y4, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                DWORD dlgArg3);
// Join two overlapping 24-bit photographs (others: error 7) on two features
// marked in both: (x0, y0) and (x1, y1) on the base picture, the same
// features at (x2, y2) and (x3, y3) on the second (top-down coordinates,
// each pulled into its picture). The second picture is scaled (smoothing
// resize) so that its segment is as long as the base's, turned (in whole
// hundredths of a degree) so that both point the same way, and pasted over
// the base so that (x2, y2) lands on (x0, y0); the result grows to hold
// both, and pixels neither covers take the fill colour (low bytes of red,
// green, blue). seam 1 or 2: only one side of the line through (x2, y2) and
// (x3, y3) is pasted, the line itself included; seam 1 keeps the side on
// the left of the way from (x2, y2) to (x3, y3) as seen on screen (the
// right-hand part for a seam running down), seam 2 the other side; any
// other value pastes the whole picture. Returns the new picture,
// or 0: 5 both pairs of points coincide or the scaled second picture would
// be smaller than a pixel, 7 unusable picture, 2 seam not drawn or filled
// (for instance a seam through the corner its side is filled from) or
// progress window not opened, 3 out of memory, 1 cancelled.
QVX_API HGLOBAL WINAPI QVPanorama(HGLOBAL base, HGLOBAL second, BYTE seam, int x0, int y0, int x1,
                                  int y1, int x2, int y2, int x3, int y3, int fillRed,
                                  int fillGreen, int fillBlue, BOOL noDialog, DWORD dlgArg1,
                                  DWORD dlgArg2, DWORD dlgArg3);
// Box-average the rectangle left..right by top..bottom (inclusive; right -
// left and bottom - top at least 1) of a picture down to width x height.
// No progress window. The rectangle is clamped into the picture; a result
// larger than the rectangle samples one source pixel where a box would be
// empty. 16, 24 and 32 bits are averaged per channel (32-bit results have
// alpha 0); 1-, 4- and 8-bit colour pictures are averaged through their
// colour table and take the nearest table entry. Returns the new picture,
// or 0: with the error status untouched for a too small rectangle, a grey
// picture or a handle that cannot be locked; with 7 for an unusable
// picture, 5 for a size below 1, 3 out of memory. Success leaves the error
// status as it was.
QVX_API HGLOBAL WINAPI ResizeColorBit(HGLOBAL picture, int left, int top, int right, int bottom,
                                      int width, int height);

// ---- colour-picked selection and hidden marks -------------------------------
// Cut the bounding box of a shape out of a picture of any depth (mode 1
// whole picture, 2 polygon, 3 ellipse; mode 0 and modes above 3 fail with
// 5). With inside != 0 the cut-out is the shape's bounding box clipped to
// the picture (a shape wholly outside it fails with 5); with inside = 0 it
// is the whole picture and the shape is left out. Pixels of the shape keep
// their colour (palette pictures their index); the others take the fill
// red, green, blue (low bytes; palette pictures the nearest table entry).
// 32-bit cut-outs have alpha 0. A polygon's vertices are moved in the
// caller's array by the cut-out's top-left corner. Returns the cut-out (low
// 32 bits) and a 1-bit mask of the cut-out's size, bit 1 where the shape is
// (high 32 bits); both 0 on failure: 5 bad mode or shape, 7 unusable
// picture, 3 out of memory, 2 shape not drawn or progress window not
// opened, 1 cancelled.
QVX_API ImageHandlesResult WINAPI QVSelectImage(HGLOBAL picture, BYTE mode, POINT* points,
                                                int pointCount, const RECT* rect, BOOL inside,
                                                int red, int green, int blue, BOOL noDialog,
                                                DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// QVSelectImage writing the pair to *result (whenever the worker ran, also
// on failure); returns 1 when a cut-out was made.
QVX_API BOOL WINAPI QVSelectImageEx(HGLOBAL picture, ImageHandles* result, BYTE mode,
                                    POINT* points, int pointCount, const RECT* rect, BOOL inside,
                                    int red, int green, int blue, BOOL noDialog, DWORD dlgArg1,
                                    DWORD dlgArg2, DWORD dlgArg3);
// Cut out a shape as QVSelectImage does, pixels outside the shape 0, and
// mark in a 1-bit mask of the cut-out's size every pixel of the shape whose
// colour matches the reference red, green, blue (low bytes) within
// `tolerance`: matchMode 0 each of red, green and blue; 1 chrominance Cr
// and Cb; 2 luminance Y, where Y = trunc(0.298912 R + 0.586611 G +
// 0.114478 B), Cr = trunc(0.5 R - 0.41869 G - 0.08131 B + 128), Cb =
// trunc(-0.16874 R - 0.33126 G + 0.5 B + 128) (products from tables, added
// in that order). Palette pictures are matched by their colours. Returns
// the cut-out and the match mask; both 0 on failure: 5 bad mode, match mode
// above 2 or bad shape, 7 unusable picture, 3 out of memory, 2 shape not
// drawn or progress window not opened, 1 cancelled.
QVX_API ImageHandlesResult WINAPI QVAutoSelectImage(HGLOBAL picture, BYTE mode, POINT* points,
                                                    int pointCount, const RECT* rect, BOOL inside,
                                                    int red, int green, int blue, BYTE matchMode,
                                                    BYTE tolerance, BOOL noDialog, DWORD dlgArg1,
                                                    DWORD dlgArg2, DWORD dlgArg3);
// QVAutoSelectImage writing the pair to *result (whenever the worker ran,
// also on failure); returns 1 when a cut-out was made.
QVX_API BOOL WINAPI QVAutoSelectImageEx(HGLOBAL picture, ImageHandles* result, BYTE mode,
                                        POINT* points, int pointCount, const RECT* rect,
                                        BOOL inside, int red, int green, int blue, BYTE matchMode,
                                        BYTE tolerance, BOOL noDialog, DWORD dlgArg1,
                                        DWORD dlgArg2, DWORD dlgArg3);
// Hide a mark in a 24-bit picture: every pixel the mark covers has its
// luminance Y (rounded) raised by `shift` (taken into -20..20) and its
// colour rebuilt from the new Y and its own rounded chrominance, R = Y +
// 1.402 Cr, G = Y - 0.34414 Cb - 0.71414 Cr, B = Y + 1.772 Cb (rounded,
// clamped); a pixel whose new Y would leave 0..255 is left as it is.
// mark != 0: a 1-bit picture whose top-left pixel lands at (left, top);
// pixels whose colour is not black mark, parts beyond the picture are
// ignored. mark = 0: `text` (1..127 bytes; UTF-8 on Linux, the code page on
// Windows) is drawn in white with the font CreateBestFont chooses from
// faceName (1..31 characters), fontSize (pixels), the four style bytes
// (bold, italic, underline, reserved), direction (0 left to right, 1
// reversed, 2 stacked downward, 3 stacked reversed; above 3 taken as 0)
// and angle (0, 90, 180, 270 counter-clockwise; others taken as 0) into the
// rectangle left, top, right, bottom (corners reordered), from its top-left
// corner. Returns the marked picture, or 0: 7 not 24-bit or mark not
// 1-bit, 5 face name or text too long, 9 text not drawn (empty text or
// name, size 0, empty rectangle, no surface), 3 out of memory, 1 cancelled,
// 2 progress window not opened.
QVX_API HGLOBAL WINAPI QVSetSecretImage(HGLOBAL picture, HGLOBAL mark, const char* text,
                                        const char* faceName, WORD fontSize, BYTE style1,
                                        BYTE style2, BYTE style3, BYTE style4, BYTE direction,
                                        WORD angle, int shift, int left, int top, int right,
                                        int bottom, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                        DWORD dlgArg3);
// Reveal a mark: a new 1-bit mask of the pictures' size with bit 1 where
// Y(second) - Y(first) >= threshold (taken into -20..20), Y rounded as for
// QVSetSecretImage. Both pictures 24-bit of the same size, else 7; 3 out
// of memory, 1 cancelled, 2 progress window not opened.
QVX_API HGLOBAL WINAPI QVCheckSecretImage(HGLOBAL first, HGLOBAL second, int threshold,
                                          BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                          DWORD dlgArg3);

// ---- tone and colour ------------------------------------------------------
// Curves on red, green and blue, on luminance and chrominance (Y, Cr, Cb),
// grey, colour unification, chroma and red-eye removal. Unless said
// otherwise they accept every depth: 1-, 4- and colour 8-bit pictures get
// their colour table remapped (selection ignored, pixels untouched); 8-bit
// grey-ramp, 16-, 24- and 32-bit pictures get every selected pixel mapped
// (grey pictures stay grey; the fourth byte of a written 32-bit pixel
// becomes 0). A 4-bit grey-ramp picture gives 0 and leaves the error status
// as it was. Selection mode 4 or more fails with 5.

// Gamma per channel: exponent g + 1 for g >= 0, 1 / |g - 1| below; 0 leaves
// a channel as it is, 1 darkens (128 -> 64), -1 lightens (64 -> 128).
QVX_API HGLOBAL WINAPI QVRGBGamma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, double red, double green,
                                  double blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                  DWORD dlgArg3);
// Offset per channel, taken into -255..255; levels are clamped to 0..255.
QVX_API HGLOBAL WINAPI QVRGBLevel(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, int red, int green, int blue,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Negative (255 - level) of each channel whose flag is non-zero.
QVX_API HGLOBAL WINAPI QVRGBRev(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BOOL red, BOOL green, BOOL blue,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// A natural cubic spline through curveCount (at most 32) control points
// (x = input level, y = output level, x never decreasing), applied to each
// channel whose flag is non-zero; levels outside the points' x range are
// kept. More than 32 points, a decreasing x or a null array with points:
// error 5 before the picture is read.
QVX_API HGLOBAL WINAPI QVRGBSpline(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                   const RECT* rect, BOOL inside, const POINT* curvePoints,
                                   int curveCount, BOOL red, BOOL green, BOOL blue, BOOL noDialog,
                                   DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// As QVRGBGamma, on Y, Cr and Cb (in that order) instead of red, green and
// blue.
QVX_API HGLOBAL WINAPI QVYCCGamma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, double y, double cr, double cb,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Offsets added to Y, Cr and Cb, each taken into -255..255; the shifted
// levels are not clamped before the conversion back to red, green, blue.
QVX_API HGLOBAL WINAPI QVYCCLevel(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, int y, int cr, int cb,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Negative of Y, Cr and Cb where the flags are non-zero.
QVX_API HGLOBAL WINAPI QVYCCRev(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BOOL y, BOOL cr, BOOL cb,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// As QVRGBSpline, the curve applied to Y, Cr and Cb where the flags are
// non-zero.
QVX_API HGLOBAL WINAPI QVYCCSpline(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                   const RECT* rect, BOOL inside, const POINT* curvePoints,
                                   int curveCount, BOOL y, BOOL cr, BOOL cb, BOOL noDialog,
                                   DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// The whole picture grey: each colour becomes its luminance 0.298912 R +
// 0.586611 G + 0.114478 B, truncated. Palette pictures, 8-bit grey ones
// included, get only their colour table rewritten. No selection.
QVX_API HGLOBAL WINAPI QVSetGray(HGLOBAL picture, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                 DWORD dlgArg3);
// The whole picture converted to another kind: 1 (black and white: white
// where the luminance is at least `threshold`), 4 or 8 (the standard
// palette, or one built by median cut when `standardPalette` is 0; the
// 8-bit standard palette is the 216-colour cube), 40 or 80 (16 or 256
// greys), 16 (5-5-5), 24 or 32. `dither` diffuses the error (Floyd-
// Steinberg) when colours are reduced. Colour-table pictures going to a
// table as deep or deeper keep their table and indices (or have each entry
// matched to the standard palette). The target is the low 16 bits of its
// argument; any other value, or the picture's own kind, fails with 5.
QVX_API HGLOBAL WINAPI QVConvertColor(HGLOBAL picture, WORD targetKind, BOOL standardPalette,
                                      BOOL dither, BYTE threshold, BOOL noDialog, DWORD dlgArg1,
                                      DWORD dlgArg2, DWORD dlgArg3);
// Selected pixels whose red, green and blue each lie within tolerance of the
// target become exactly the target. 8-bit grey-ramp, 16-, 24- and 32-bit
// pictures only (others: error 7).
QVX_API HGLOBAL WINAPI QVUnifyColor(ImageHandles* images, BYTE mode, POINT* points,
                                    int pointCount, const RECT* rect, BOOL inside, BYTE red,
                                    BYTE green, BYTE blue, BYTE tolerance, BOOL noDialog,
                                    DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Chrominance scaled by (amount + 100) / 100, luminance kept; amount is
// taken into -100..1000: -100 greys, 0 leaves the colours as they are.
QVX_API HGLOBAL WINAPI QVChroma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, int amount, BOOL noDialog,
                                DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Selected pixels with red - (green + blue) / 2 > threshold become the
// replacement colour scaled by their luminance / 255. 16-, 24- and 32-bit
// pictures only (others: error 7).
QVX_API HGLOBAL WINAPI QVRedEyeRemoval(ImageHandles* images, BYTE mode, POINT* points,
                                       int pointCount, const RECT* rect, BOOL inside, BYTE red,
                                       BYTE green, BYTE blue, BYTE threshold, BOOL noDialog,
                                       DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);

// ---- neighbourhood filters --------------------------------------------------
// Unless said otherwise they take 8-bit grey-ramp, 16-, 24- and 32-bit
// pictures (others: error 7), change only the selected pixels of the work
// rectangle, read the source only (never pixels the filter has already
// written), keep grey pictures grey and write 0 into the fourth byte of every
// written 32-bit pixel. Parameter refusals (error 5) come before the picture
// is read. Further failures: 3 out of memory, 1 cancelled, 2 progress window
// not opened or selection shape not drawn.

// Box blur: each pixel becomes the integer mean (truncated) of the square of
// side 2 * radius + 1 around it, clipped to the work rectangle. radius 0 is
// taken as 1, above 20 as 20.
QVX_API HGLOBAL WINAPI QVBlur(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                              const RECT* rect, BOOL inside, BYTE radius, BOOL noDialog,
                              DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Each pixel becomes the mean (truncated) of itself and its left and right
// neighbours inside the work rectangle.
QVX_API HGLOBAL WINAPI QVAntiAlias(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                   const RECT* rect, BOOL inside, BOOL noDialog, DWORD dlgArg1,
                                   DWORD dlgArg2, DWORD dlgArg3);
// Convolution with the caller's 9 x 9 kernel (weights[9 * ky + kx] weighs
// the pixel kx - 4 columns and ky - 4 rows away; beyond the picture's border
// its outermost pixels repeat). Per enabled channel: the 32-bit sum of
// weight x value, divided by the low byte of divisor (1..255, toward zero),
// plus the low byte of bias, clamped to 0..255; channels not enabled become
// 0. A null kernel or a divisor whose low byte is 0: error 5.
// pointCount of 1,000,000 or more selects the direct variant (vertex count
// pointCount - 1,000,000): 24-bit pictures only (8-bit grey: error 4, other
// depths: 7), polygon and ellipse clamped into the picture and drawn over
// their own box, mask pictures read by bit (1 selects) whatever their
// colours, channels not enabled kept from the source.
QVX_API HGLOBAL WINAPI QVCustomFilter(ImageHandles* images, BYTE mode, POINT* points,
                                      int pointCount, const RECT* rect, BOOL inside,
                                      const FilterKernel* kernel, int divisor, int bias, BOOL red,
                                      BOOL green, BOOL blue, BOOL noDialog, DWORD dlgArg1,
                                      DWORD dlgArg2, DWORD dlgArg3);
// Mosaic: the work rectangle cut into cells of cellWidth x cellHeight from
// its top-left corner; each cell (clipped to the picture, not to the
// rectangle, so it may reach beyond the rectangle's right and bottom edges)
// is painted with the truncated mean of all its pixels wherever they are
// selected. Every depth: colour-table pictures (grey ramps too) store the
// table entry nearest to the mean. Both sizes at most 1, or either below 1:
// error 5.
QVX_API HGLOBAL WINAPI QVMosaic(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, int cellWidth, int cellHeight,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Oil paint: each pixel becomes the most frequent colour of the size x size
// brush window (offsets -size/2 .. size/2, an even window reaching one pixel
// further right and down), clipped to the work rectangle, visited row by
// row. method 0: the most frequent value of each channel separately; method
// 1: the colour of the pixel that made its luminance bin (77 R + 150 G +
// 29 B) >> 8 the most frequent. Equal counts keep the value that reached
// the count first. size 1..255; size 0 or a method above 1: error 5.
QVX_API HGLOBAL WINAPI QVOilPaint(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, BYTE method, BYTE size,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Motion blur: each pixel becomes the truncated mean of samples read inside
// the work rectangle, coordinates truncated toward zero; a pixel without
// samples keeps its value. kind 0 linear: `samples` samples from the pixel
// in direction `degrees` (clockwise on screen), ending at the first one
// outside the rectangle. kind 2 zoom: `samples` samples at 1, 1.02, 1.04 ...
// times the pixel's offset from the rectangle's centre, ending likewise.
// kind 1 spin: an arc of `degrees` around the centre, centred on the pixel,
// through a table of trunc(4 sqrt(R) arc + 2) angles (R the distance from
// the centre to the farthest corner), fewer toward the centre; samples
// outside the rectangle are skipped. A kind above 2, or a spin angle below
// 0 or above 360 (a second turn would only resample the first): error 5.
QVX_API HGLOBAL WINAPI QVMotionBlur(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                    const RECT* rect, BOOL inside, BYTE kind, BYTE samples,
                                    int degrees, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                    DWORD dlgArg3);
// Relief: each channel convolved with a directional 3 x 3 kernel (direction
// 0..7 turning by 45 degrees; 8 or more: error 5), divided by 6 - depth
// (depth taken into 1..5) toward zero, plus bias, clamped. Beyond the
// border the outermost pixels repeat.
QVX_API HGLOBAL WINAPI QVEmboss(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BYTE direction, BYTE depth,
                                BYTE bias, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                DWORD dlgArg3);
// Edges as grey levels: floor(sqrt(A^2 + B^2) x gain / 10), clamped to 255,
// where A and B are the two gradients of the operator (0 simple differences
// to the right and below, 2 Sobel, any other value the Roberts cross) on
// one channel: 0 luminance (0.298912 R + 0.586611 G + 0.114478 B,
// truncated), 1 red, 2 green, 3 blue (4 or more: error 5). gain above 100
// is taken as 100. Beyond the border the outermost pixels repeat.
QVX_API HGLOBAL WINAPI QVOutline(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                 const RECT* rect, BOOL inside, BYTE channel, BYTE op, BYTE gain,
                                 BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Sharpening on the luminance: Y' = (n Y - S) x (0.03 x strength) + Y, where
// S sums the luminances of the n pixels of the 3 x 3 neighbourhood inside
// the picture (luminance 0.298912 R + 0.586611 G + 0.114478 B, truncated);
// each pixel's own chrominance is kept. strength above 100 is taken as 100;
// 0 still converts every selected pixel to luminance and chrominance and
// back.
QVX_API HGLOBAL WINAPI QVSharp(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                               const RECT* rect, BOOL inside, BYTE strength, BOOL noDialog,
                               DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Impulse noise removal over the 3 x 3 neighbourhood inside the picture.
// method 0: the whole colour of the neighbour (the pixel included) at index
// n / 2 when sorted by luminance, equal luminances in row order. method 1:
// each channel in which some neighbour differs from the pixel by more than
// 255 - level becomes the median (index count / 2) of the neighbours' values
// of that channel, the pixel excluded; pixels with no such channel are left
// as they are. Other methods: error 5.
QVX_API HGLOBAL WINAPI QVRemoveNoise(ImageHandles* images, BYTE mode, POINT* points,
                                     int pointCount, const RECT* rect, BOOL inside, BYTE method,
                                     BYTE level, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                     DWORD dlgArg3);

// ---- distortions and textures -----------------------------------------------
// As the neighbourhood filters: 8-bit grey (kept grey), 16-, 24- and 32-bit
// pictures (others: error 7), the selection's pixels of its work rectangle
// written, alpha 0 in written 32-bit pixels. The distortions take their
// geometry (centre, size, edges) from the work rectangle and sample the
// source bilinearly: trunc((c00 (1-fx) + c10 fx) (1-fy) + (c01 (1-fx) +
// c11 fx) fy + 0.5). Source positions that are NaN or beyond the 32-bit
// range take the background colour (lens: the pixel keeps its value).
//
// Ripple: rings around the rectangle's centre. With the offset (dx, dy)
// from the centre in space stretched to a square, s = sin(2 pi r / (2
// wavelength) + phase) at distance r; the pixel samples the source at the
// offset scaled by |s| amplitude (scaling non-zero) or moved by s amplitude
// on both axes (scaling 0). clamp keeps the sample's first pixel in the
// picture (border pixels stretched); otherwise samples beyond the picture
// take the background colour. Wavelength 0: error 5.
QVX_API HGLOBAL WINAPI QVRipple(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, double amplitude, double wavelength,
                                double degrees, BOOL clamp, BOOL scaling, BYTE red, BYTE green,
                                BYTE blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                DWORD dlgArg3);
// Waves: direction 0 shifts columns up and down (the wave runs along x), 1
// shifts rows left and right; shape 0 sine, 1 triangle (other values of
// either: error 5). wavelength below 1 is taken as 1, a negative amplitude
// as 0, phase (a fraction of the wavelength) clamped to 0..1. Where the wave
// is steep a pixel is the truncated mean of the rows (columns) its span
// covers, else the blend of the two around its displaced position. Beyond
// the rectangle: edge 1 clamps to its edge, 2 wraps around within it, any
// other value reads the background colour.
QVX_API HGLOBAL WINAPI QVWaves(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                               const RECT* rect, BOOL inside, BYTE direction, BYTE shape,
                               int wavelength, int amplitude, double phase, BYTE edge, BYTE red,
                               BYTE green, BYTE blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                               DWORD dlgArg3);
// Whirl and pinch inside the circle of radius R sqrt(factor) around the
// rectangle's centre (R its larger half-size, space stretched to a square):
// a pixel at relative distance d samples the source at its offset turned
// by (1 - d)^2 x degrees and scaled by sin(d pi / 2)^|pinch|; samples
// beyond the picture take the background colour. Pixels
// outside the circle keep their value; factor 0 or below changes nothing.
QVX_API HGLOBAL WINAPI QVWhirlPinch(ImageHandles* images, BYTE mode, POINT* points,
                                    int pointCount, const RECT* rect, BOOL inside, double degrees,
                                    double pinch, double factor, BYTE red, BYTE green, BYTE blue,
                                    BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Lens: a glass hemisphere of refractive index `index` (below 1 taken as 1)
// on the ellipse inscribed in the rectangle; each pixel inside it samples
// the source where the refracted ray meets it, half a pixel right and down
// of the pixel (index 1: the mean of the pixel's 2 x 2 block), the last
// column and row repeating at the picture's border. Pixels on or outside
// the ellipse take the fill colour when fill is non-zero, else keep theirs.
QVX_API HGLOBAL WINAPI QVLens(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                              const RECT* rect, BOOL inside, double index, BOOL fill, BYTE red,
                              BYTE green, BYTE blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                              DWORD dlgArg3);
// Canvas: a 128 x 128 woven relief of heights d in -75..75, tiled from the
// picture's top-left corner, added to red, green and blue as
// trunc(d x strength / 10 + 0.5), clamped to 0..255. orientation (low byte)
// 1 mirrors the relief left to right, 2 transposes it, 3 transposes and
// mirrors it, any other value uses it as it is.
QVX_API HGLOBAL WINAPI QVCanvas(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BYTE orientation, int strength,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
// Glass tiles: tiles of tileWidth x tileHeight (each clamped to 10..100)
// from the rectangle's top-left corner, each showing its own content at
// half size twice across and twice down; sources clamped to the picture.
QVX_API HGLOBAL WINAPI QVGlassTile(ImageHandles* images, BYTE mode, POINT* points,
                                   int pointCount, const RECT* rect, BOOL inside, int tileWidth,
                                   int tileHeight, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                   DWORD dlgArg3);
// ---- compositing ----------------------------------------------------------
// Two pictures of any depths combined into a new one; neither changes. The
// composite's format: 8-bit grey when both are 8-bit grey ramps; else the
// larger bit count when either has more than 8 bits; else, for equal bit
// counts, byte-identical colour tables and opacity 0 or 255, that format;
// otherwise 24 bits. Above 8 bits pixels are mixed as colours (palette
// pictures through their tables), otherwise as colour-table indices (grey
// levels of the grey result). Mixing: ((255 - a) x under + a x over) / 255
// per channel, truncated; a = 0 shows what is underneath, 255 what is laid
// over it. Colour levels (key, fill) are the low bytes of their arguments.

// Lay `layer` over `base` with its left column on base column dx and its top
// row on base row dy (from the top), at opacity `opacity`. keyOn: layer
// pixels of the colour keyRed, keyGreen, keyBlue are transparent (palette
// composites compare indices, the key taken as the layer's nearest table
// entry). clip != 0: the result has the base's size and the layer is cut;
// 0: the result covers both pictures, the layer showing at full strength
// where there is no base and the fill colour where neither picture is
// (palette composites: its nearest entry in the result's table). Returns
// the new picture, or 0: 7 unusable picture, 5 a result wider or higher
// than 2^31 - 1 pixels, 3 out of memory, 1 cancelled, 2 progress window not
// opened.
QVX_API HGLOBAL WINAPI QVLayer(HGLOBAL base, HGLOBAL layer, BYTE opacity, BOOL keyOn, int keyRed,
                               int keyGreen, int keyBlue, int fillRed, int fillGreen, int fillBlue,
                               int dx, int dy, BOOL clip, BOOL noDialog, DWORD dlgArg1,
                               DWORD dlgArg2, DWORD dlgArg3);
// QVLayer with `alpha`: non-zero with a 32-bit layer (not 16 or 24) takes
// each layer pixel's fourth byte as its opacity and ignores `opacity`; with
// `alpha` set every written pixel of a 32-bit result gets 255 in its fourth
// byte (otherwise 0).
QVX_API HGLOBAL WINAPI QVLayerEx(HGLOBAL base, HGLOBAL layer, BYTE opacity, BOOL keyOn,
                                 int keyRed, int keyGreen, int keyBlue, int fillRed,
                                 int fillGreen, int fillBlue, int dx, int dy, BOOL clip,
                                 BOOL alpha, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                 DWORD dlgArg3);
// Paste pasted->Picture (limited to the pixels its 1-bit mask pasted->Mask
// selects, when not 0; the mask must have the picture's size) onto `target`
// with its centre pixel ((W - 1) / 2, (H - 1) / 2) on target pixel (px, py),
// after mirroring it left-right (`mirror`), flipping it top-bottom (`flip`)
// and turning it by `angle` hundredths of a degree counter-clockwise. 0, 90,
// 180 and 270 degrees map pixels exactly; other angles blend four pixels
// (palette composites take the nearest pixel), and mask or key pixels at
// the edge take the target's colour in the blend. opacity, key and fill as
// QVLayer; clip != 0: the result has the target's size, 0: it also holds
// the whole pasted area. 32-bit results have alpha 0. Returns the new
// picture, or 0: 7 unusable picture or mask not 1-bit or of another size,
// 5 a result wider or higher than 2^31 - 1 pixels, 3 out of memory, 1
// cancelled, 2 progress window not opened.
QVX_API HGLOBAL WINAPI QVPasteImage(HGLOBAL target, ImageHandles* pasted, int angle, BOOL mirror,
                                    BOOL flip, BYTE opacity, BOOL keyOn, int keyRed, int keyGreen,
                                    int keyBlue, int fillRed, int fillGreen, int fillBlue, int px,
                                    int py, BOOL clip, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                    DWORD dlgArg3);
// A new 32-bit picture with the colours of `colour` (any depth) and, as
// fourth bytes, the alpha of `alpha`: an 8-bit grey-ramp picture gives its
// grey levels, a 1-bit picture the grey of its table entries,
// rounded((0.587 G + 0.299 R) + 0.114 B) (black 0, white 255). Returns the
// new picture, or 0: 7 unusable picture or alpha picture of another depth,
// 5 pictures of different sizes, 3 out of memory, 1 cancelled, 2 progress
// window not opened.
QVX_API HGLOBAL WINAPI QVMakeRGBAImage(HGLOBAL colour, HGLOBAL alpha, BOOL noDialog, DWORD dlgArg1,
                                       DWORD dlgArg2, DWORD dlgArg3);
// Split a 32-bit picture into a new 24-bit picture of its colours
// (*colour) and a new 8-bit grey-ramp picture of its fourth bytes (*alpha).
// Returns 1 with both handles stored, or 0 with both untouched: 5 a null
// out pointer (checked first), 7 unusable or not 32-bit picture, 3 out of
// memory, 1 cancelled, 2 progress window not opened.
QVX_API BOOL WINAPI QVSplitRGBAImage(HGLOBAL picture, HGLOBAL* colour, HGLOBAL* alpha,
                                     BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3);
