// A caller of the installed library: a 2 x 1 24-bit picture in a global
// block, its negative made by QVRGBRev, the result's first pixel checked.
#include <cstdio>
#include <cstring>

#include "exports/QvxEffect.h"

int main() {
  const BITMAPINFOHEADER header{40, 2, 1, 1, 24, BI_RGB, 8, 0, 0, 0, 0};
  HGLOBAL picture = GlobalAlloc(0x42, sizeof header + 8);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(picture));
  std::memcpy(bytes, &header, sizeof header);
  const unsigned char pixels[8] = {10, 20, 30, 40, 50, 60, 0, 0};
  std::memcpy(bytes + sizeof header, pixels, sizeof pixels);
  GlobalUnlock(picture);
  ImageHandles images{picture, nullptr};
  HGLOBAL negative = QVRGBRev(&images, 1, nullptr, 0, nullptr, TRUE, TRUE, TRUE, TRUE, TRUE, 0, 0, 0);
  const auto* out = negative ? static_cast<const unsigned char*>(GlobalLock(negative)) : nullptr;
  const bool ok = out && out[40] == 245 && out[41] == 235 && out[42] == 225;
  if (negative) GlobalUnlock(negative);
  GlobalFree(negative);
  GlobalFree(picture);
  std::printf("%s\n", ok ? "installed library works" : "installed library FAILED");
  return ok ? 0 : 1;
}
