/* The public header compiled as C on its own: nothing else is included
   before it. The functions report the records' layouts as a C compiler
   sees them, for the C++ test beside this file to compare. */
#include "exports/QvxEffect.h"

#include <stddef.h>

/* Taking the exported functions' addresses checks that their declarations
   name C functions with C types. */
typedef HGLOBAL(WINAPI* QvxBlurFunction)(ImageHandles*, BYTE, POINT*, int, const RECT*, BOOL,
                                          BYTE, BOOL, DWORD, DWORD, DWORD);
typedef ImageHandlesResult(WINAPI* QvxResizeFunction)(ImageHandles*, int, int, BOOL, BOOL, DWORD,
                                                      DWORD, DWORD);
typedef BOOL(WINAPI* QvxPixelFunction)(DibAccess*, int, int);

int QvxCHeaderFunctionsLinked(void) {
  QvxBlurFunction blur = QVBlur;
  QvxResizeFunction resize = QVResize;
  QvxPixelFunction getPixel = QVGetDibPixel;
  return blur != 0 && resize != 0 && getPixel != 0;
}

/* Sizes (index 0) and field offsets as C lays the records out. */
size_t QvxCDibAccessLayout(int field) {
  switch (field) {
    case 0: return sizeof(DibAccess);
    case 1: return offsetof(DibAccess, Header);
    case 2: return offsetof(DibAccess, BitCount);
    case 3: return offsetof(DibAccess, RowBytes);
    case 4: return offsetof(DibAccess, Alpha);
    default: return 0;
  }
}

size_t QvxCRecordSize(int record) {
  switch (record) {
    case 0: return sizeof(ImageHandles);
    case 1: return sizeof(ImageHandlesResult);
    case 2: return sizeof(FilterKernel);
    case 3: return sizeof(MarkTextSpec);
    case 4: return offsetof(MarkTextSpec, Text);
    case 5: return sizeof(BITMAPINFOHEADER);
    case 6: return sizeof(RECT);
    default: return 0;
  }
}
