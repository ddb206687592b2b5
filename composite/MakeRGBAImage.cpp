// QVMakeRGBAImage: a colour picture and an alpha picture of the same size
// combined into one 32-bit picture whose fourth bytes hold the alpha.
#include "composite/Composite.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/PixelFormat.h"

namespace qvx {
namespace {

// The alpha of each index of the alpha picture: a grey-ramp picture's index
// is its level; a 1-bit picture's index gives the grey of its table entry
// (black for an index without an entry).
void AlphaOfIndices(const DibAccess& alpha, BYTE (&alphaOf)[256]) {
  const bool grey = GetDibKind(&alpha) == kKindGrey256;
  for (std::uint32_t i = 0; i < 256; ++i) {
    if (grey) {
      alphaOf[i] = static_cast<BYTE>(i);
    } else {
      const RGBQUAD* entry = i < alpha.ColorCount ? &alpha.ColorTable[i] : nullptr;
      alphaOf[i] = entry ? GreyMix(entry->rgbRed, entry->rgbGreen, entry->rgbBlue) : 0;
    }
  }
}

HGLOBAL MakeRgbaImage(HGLOBAL colourPicture, HGLOBAL alphaPicture, BOOL noDialog) {
  TwoPictures pictures;
  if (!pictures.Lock(colourPicture, kDepthAll, alphaPicture, kDepth1 | kDepthGrey8)) return nullptr;
  const DibAccess& colour = pictures.First();
  const DibAccess& alpha = pictures.Second();
  if (colour.Width != alpha.Width || colour.Height != alpha.Height) {
    SetErrorStatus(kErrorBadParameter);
    return nullptr;
  }
  BYTE alphaOf[256];
  AlphaOfIndices(alpha, alphaOf);
  const int width = colour.Width, height = colour.Height;
  LockedPicture made;
  WorkBlock rows;
  if (!made.MakeOfKind(colour, kKind32, width, height) ||
      !rows.Allocate(static_cast<std::size_t>(width) * (sizeof(Bgra) + 1)))
    return nullptr;
  Bgra* pixels = rows.As<Bgra>();
  BYTE* indices = reinterpret_cast<BYTE*>(pixels + width);
  const bool walked = WalkRows(height, height - 1, {}, noDialog, [&](int y) {
    ReadColourRun(colour, 0, y, width, pixels);
    ReadIndexRun(alpha, 0, y, width, indices);
    for (int x = 0; x < width; ++x) pixels[x].alpha = alphaOf[indices[x]];
    WriteColourRun(made.Record(), 0, y, width, pixels);
    return true;
  });
  return walked ? made.Release() : nullptr;
}

}  // namespace
}  // namespace qvx

QVX_API HGLOBAL WINAPI QVMakeRGBAImage(HGLOBAL colour, HGLOBAL alpha, BOOL noDialog, DWORD dlgArg1,
                                       DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3},
                        [=] { return qvx::MakeRgbaImage(colour, alpha, noDialog); });
}
