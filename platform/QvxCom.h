// The sibling library QvxCom: error status, progress window and colour-table
// questions. The library relies only on the results documented here.
//
// The project ships its own QvxCom (folder qvxcom/); its colour-table rules
// are documented in the README.
#pragma once

#include "platform/WinTypes.h"

struct MarkTextSpec;  // frame/FixedRecords.h

#if defined(_WIN32) && defined(QVXCOM_BUILDING)
#define QVXCOM_API __declspec(dllexport)
#else
#define QVXCOM_API
#endif

extern "C" {

// Error status: the code of the last failure, 0 after success.
QVXCOM_API void WINAPI SetErrorStatus(int code);
QVXCOM_API int WINAPI GetErrorStatus(void);

// Progress window. PercentDlgOpen answers non-zero when the window is open.
// PercentProgress answers 0 when the user cancelled.
QVXCOM_API BOOL WINAPI PercentDlgOpen(DWORD arg1, DWORD arg2, DWORD arg3);
QVXCOM_API BOOL WINAPI PercentProgress(int done, int total, int percentFrom, int percentTo,
                                       BOOL noDialog);
QVXCOM_API void WINAPI PercentDlgClose(void);

// Bytes between the 40-byte header and the pixel rows.
QVXCOM_API UINT WINAPI GetDibPalSize(const BITMAPINFOHEADER* header);
// Index of the colour-table entry nearest to a colour.
QVXCOM_API BYTE WINAPI GetRgbtoPal(const BITMAPINFOHEADER* header, BYTE red, BYTE green,
                                   BYTE blue);
// 16-bit layout: 1 (5-5-5 by default), 3 (5-5-5 by bit fields), 2 (5-6-5 by
// bit fields), 0 unusable.
QVXCOM_API int WINAPI GetBmp16Info(const BITMAPINFOHEADER* header);
// 32-bit layout: 0 (plain), 1 (bit fields in blue-green-red order), -1 unusable.
QVXCOM_API int WINAPI GetBmp32Info(const BITMAPINFOHEADER* header);
QVXCOM_API UINT WINAPI DibNumColors(const BITMAPINFOHEADER* header);
QVXCOM_API BOOL WINAPI IsGrayImage(const BITMAPINFOHEADER* header);
QVXCOM_API BOOL WINAPI Is8BitGrayScale(const BITMAPINFOHEADER* header);
QVXCOM_API void WINAPI CheckJapan(void);

// The font for the text of a hidden mark, selected into nothing, or 0 when
// none can be made; *extent receives the width and height the text takes
// when drawn with it. This QvxCom's choice:
//  - the face named by FaceName (fontconfig's nearest match on Linux, with
//    DejaVu Sans as the last resort; GDI's font mapper on Windows);
//  - FontSize is the character (em) height in pixels, at most 2048;
//  - StyleBytes[0] non-zero: bold; [1]: italic; [2]: underlined; [3] is
//    reserved;
//  - the font is turned counter-clockwise by Angle (0, 90, 180, 270);
//  - the size is kept when the text fits the rectangle; otherwise it is
//    scaled down until the text fits, or to 1 pixel;
//  - the extent of a horizontal run is the text's own (advance, cell
//    height); of a stacked run (characters drawn one by one) it is on the
//    screen: directions 0 and 1 stack across, cx = sum of the characters'
//    heights and cy = their greatest width; directions 2 and 3 stack down,
//    cx = the greatest width and cy = the sum of the heights.
QVXCOM_API HFONT WINAPI CreateBestFont(HDC dc, MarkTextSpec spec, RECT rect, SIZE* extent,
                                       BOOL horizontal);

// ---- stand-in extras for callers and tests --------------------------------

// A progress handler sees every PercentProgress call and gives its answer.
typedef BOOL (*QvxProgressHandler)(void* context, int done, int total, int percentFrom,
                                   int percentTo, BOOL noDialog);
// A window handler decides whether PercentDlgOpen succeeds.
typedef BOOL (*QvxDlgOpenHandler)(void* context, DWORD arg1, DWORD arg2, DWORD arg3);

// Install handlers for the calling thread; null restores the default (the
// window always opens; progress draws a bar on a terminal's standard error
// while the window is open and answers "cancel" after Ctrl-C).
QVXCOM_API void WINAPI QvxComSetProgressHandler(QvxProgressHandler handler, void* context);
QVXCOM_API void WINAPI QvxComSetDlgOpenHandler(QvxDlgOpenHandler handler, void* context);
// Whether a window opened by PercentDlgOpen is still open on this thread.
QVXCOM_API BOOL WINAPI QvxComDlgIsOpen(void);
}
