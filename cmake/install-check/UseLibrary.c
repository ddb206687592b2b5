/* A C caller of the installed library: a 2 x 1 24-bit picture in a global
   block, its negative made by QVRGBRev, the result's first pixel checked. */
#include <stdio.h>
#include <string.h>

#include "exports/QvxEffect.h"

int main(void) {
  const BITMAPINFOHEADER header = {40, 2, 1, 1, 24, BI_RGB, 8, 0, 0, 0, 0};
  const unsigned char pixels[8] = {10, 20, 30, 40, 50, 60, 0, 0};
  HGLOBAL picture = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof header + sizeof pixels);
  unsigned char* bytes = (unsigned char*)GlobalLock(picture);
  ImageHandles images;
  HGLOBAL negative;
  const unsigned char* out;
  int ok;
  memcpy(bytes, &header, sizeof header);
  memcpy(bytes + sizeof header, pixels, sizeof pixels);
  GlobalUnlock(picture);
  images.Picture = picture;
  images.Mask = NULL;
  negative = QVRGBRev(&images, 1, NULL, 0, NULL, TRUE, TRUE, TRUE, TRUE, TRUE, 0, 0, 0);
  out = negative ? (const unsigned char*)GlobalLock(negative) : NULL;
  ok = out && out[40] == 245 && out[41] == 235 && out[42] == 225;
  if (negative) GlobalUnlock(negative);
  GlobalFree(negative);
  GlobalFree(picture);
  printf("%s\n", ok ? "installed library works" : "installed library FAILED");
  return ok ? 0 : 1;
}
