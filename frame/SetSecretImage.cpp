// QVSetSecretImage: the luminance of the pixels a mark covers shifted by a
// few levels, their chrominance kept. The mark is the caller's 1-bit
// picture or a line of text drawn for the call.
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/LockedPicture.h"
#include "frame/MarkEffects.h"
#include "frame/MarkText.h"
#include "frame/Progress.h"

namespace qvx {
namespace {

// The description of the text, white on an opaque black background, in the
// top-left corner of the rectangle (alignment 0, 0).
MarkTextSpec MakeMarkTextSpec(const MarkTextArgs& args, std::size_t faceLength,
                              std::size_t textLength) {
  MarkTextSpec spec{};
  spec.TextColor = 0x00FFFFFF;
  spec.BackColor = 0;
  if (faceLength) std::memcpy(spec.FaceName, args.faceName, faceLength);
  spec.FontSize = args.fontSize;
  std::memcpy(spec.StyleBytes, args.style, sizeof spec.StyleBytes);
  spec.Transparent = 0;
  spec.Direction = args.direction;
  spec.Angle = args.angle;
  if (textLength) std::memcpy(spec.Text, args.text, textLength);
  return spec;
}

// The rendered mark: a picture-sized 1-bit picture with the text drawn from
// its corner. Null with the error status set.
HGLOBAL RenderMark(const DibAccess& picture, const MarkTextArgs& args, const RECT& box) {
  const std::size_t faceLength = args.faceName ? strnlen(args.faceName, 32) : 0;
  const std::size_t textLength = args.text ? strnlen(args.text, 128) : 0;
  if (faceLength > 31 || textLength > 127) {
    SetErrorStatus(kErrorBadParameter);
    return nullptr;
  }
  const MarkTextSpec spec = MakeMarkTextSpec(args, faceLength, textLength);
  WorkRect whole{0, 0, picture.MaxX, picture.MaxY};
  OwnedBlock mark(BuildSelectionMask(kSelectMask, nullptr, 0, 0, 0, 0, 0, TRUE, &whole, TRUE));
  if (!mark) return nullptr;
  // The box keeps its size; sizes beyond the int range are cut to it.
  const std::int64_t width = std::int64_t{box.right} - box.left;
  const std::int64_t height = std::int64_t{box.bottom} - box.top;
  const RECT local{0, 0, static_cast<LONG>(width > INT32_MAX ? INT32_MAX : width),
                   static_cast<LONG>(height > INT32_MAX ? INT32_MAX : height)};
  if (!RenderTextMask(mark.Get(), local, spec)) {
    SetErrorStatus(kErrorTextNotRendered);
    return nullptr;
  }
  return mark.Release();
}

// The three products of each level of red, green and blue, side by side.
struct ForwardTables {
  YccParts red[256], green[256], blue[256];
};

// The colour of one covered pixel with its luminance shifted by d, written
// to q; left as it is where the shifted luminance leaves 0..255.
QVX_LOOP_BODY void ShiftPixel(const BYTE* p, BYTE* q, int d, const ForwardTables* forward) {
  // The three sums (red + green) + blue of the product tables at once.
  const Double4 sums =
      (forward->red[p[2]].Lanes() + forward->green[p[1]].Lanes()) + forward->blue[p[0]].Lanes();
  const CentredYcc c = CentredYccOf(sums);
  const int shifted = c.y + d;
  if (shifted < 0 || shifted > 255) return;
  q[2] = RedFromYcc(shifted, c.cr);
  q[1] = GreenFromYcc(shifted, c.cr, c.cb);
  q[0] = BlueFromYcc(shifted, c.cb);
}

// Where one row of the mark lands: its bits, the selection of each index,
// the picture's rows (source and result), and the picture column of mark
// column 0.
struct MarkRow {
  const BYTE* bits;
  const BYTE* selects;
  const BYTE* in;
  BYTE* out;
  std::ptrdiff_t left;
};

// The covered pixels of mark columns from..to of one row shifted, four
// columns at a time: the sums of four pixels are made as ShiftPixel makes
// them, then turned into lanes of luminance, Cr and Cb and converted
// together.
QVX_LOOP_BODY void ShiftMarkRow(const MarkRow* row, int from, int to, int d,
                                const ForwardTables* forward) {
  const auto covered = [row](int i) {
    return row->selects[(row->bits[i >> 3] >> (7 - (i & 7))) & 1] != 0;
  };
  int i = from;
  for (; i <= to && (i & 3) != 0; ++i)
    if (covered(i)) ShiftPixel(row->in + 3 * (row->left + i), row->out + 3 * (row->left + i), d,
                               forward);
  // Four columns from a multiple of four are half a byte of the mark; the
  // lanes each half byte covers.
  Int4 coveredBy[16];
  for (int bits = 0; bits < 16; ++bits)
    for (int j = 0; j < 4; ++j) coveredBy[bits][j] = row->selects[(bits >> (3 - j)) & 1] ? -1 : 0;
  for (; i + 3 <= to; i += 4) {
    const Int4 marked = coveredBy[(row->bits[i >> 3] >> (i & 4 ? 0 : 4)) & 15];
    if (NoLanes(marked)) continue;
    const BYTE* p = row->in + 3 * (row->left + i);
    BYTE* q = row->out + 3 * (row->left + i);
    Double4 s[4];
    for (int j = 0; j < 4; ++j) {
      const BYTE* pixel = p + 3 * j;
      s[j] = (forward->red[pixel[2]].Lanes() + forward->green[pixel[1]].Lanes()) +
             forward->blue[pixel[0]].Lanes();
    }
    // Lanes (y, cr, cb, 0) of four pixels to the lanes of each part.
    const Double4 yCr01 = Shuffle<0, 4, 1, 5>(s[0], s[1]), yCr23 = Shuffle<0, 4, 1, 5>(s[2], s[3]);
    const Double4 cb01 = Shuffle<2, 6, 3, 7>(s[0], s[1]), cb23 = Shuffle<2, 6, 3, 7>(s[2], s[3]);
    // As CentredYccOf: the luminance rounded and clamped, the chrominance
    // rounded.
    const Int4 shifted = RoundClampLevelLanes(Shuffle<0, 1, 4, 5>(yCr01, yCr23)) + d;
    const Int4 cr = RoundLanes(Shuffle<2, 3, 6, 7>(yCr01, yCr23));
    const Int4 cb = RoundLanes(Shuffle<0, 1, 4, 5>(cb01, cb23));
    const Int4 written = marked & (shifted >= 0) & (shifted <= 255);
    if (NoLanes(written)) continue;
    const RgbLanes rgb = RgbFromYccLanes(DoubleLanes(shifted), DoubleLanes(cr), DoubleLanes(cb));
    for (int j = 0; j < 4; ++j) {
      if (!written[j]) continue;
      q[3 * j] = static_cast<BYTE>(rgb.blue[j]);
      q[3 * j + 1] = static_cast<BYTE>(rgb.green[j]);
      q[3 * j + 2] = static_cast<BYTE>(rgb.red[j]);
    }
  }
  for (; i <= to; ++i)
    if (covered(i)) ShiftPixel(row->in + 3 * (row->left + i), row->out + 3 * (row->left + i), d,
                               forward);
}

}  // namespace

HGLOBAL RunSetSecretImage(HGLOBAL picture, HGLOBAL mark, const MarkTextArgs& textArgs, int shift,
                          RECT rect, BOOL noDialog) {
  const int d = LimitShift(shift);
  LockedDib source;
  if (!source.Start(picture, kDepth24)) return nullptr;
  OwnedBlock rendered;
  LockedDib marks;
  std::int64_t left = rect.left, top = rect.top;
  if (!mark) {
    const RECT box = NormalizeRect(rect);
    rendered.Reset(RenderMark(source.Record(), textArgs, box));
    if (!rendered) return nullptr;
    mark = rendered.Get();
    left = box.left;
    top = box.top;
  }
  if (!marks.Start(mark, kDepthMaskPicture)) return nullptr;
  BYTE selects[2];
  for (std::uint32_t i = 0; i < 2; ++i) {
    const RGBQUAD* entry = i < marks->ColorCount ? &marks->ColorTable[i] : nullptr;
    selects[i] = entry && (entry->rgbRed | entry->rgbGreen | entry->rgbBlue) != 0;
  }
  LockedPicture result;
  if (!result.MakeCopy(source.Record())) return nullptr;
  WorkBlock products, forwardBlock;
  if (!MakeYccTables(products) || !forwardBlock.Allocate(sizeof(ForwardTables))) return nullptr;
  const LevelTable* t = YccTables(products);
  auto* forward = forwardBlock.As<ForwardTables>();
  for (int v = 0; v < 256; ++v) {
    forward->red[v] = {t[kRedToY][v], t[kRedToCr][v], t[kRedToCb][v], 0};
    forward->green[v] = {t[kGreenToY][v], t[kGreenToCr][v], t[kGreenToCb][v], 0};
    forward->blue[v] = {t[kBlueToY][v], t[kBlueToCr][v], t[kBlueToCb][v], 0};
  }

  const DibAccess& src = source.Record();
  // The mark columns that land in the picture.
  const std::int64_t firstColumn = left < 0 ? -left : 0;
  const std::int64_t lastColumn = std::min<std::int64_t>(marks->Width - 1, src.MaxX - left);
  for (int j = 0; j < marks->Height; ++j) {
    const std::int64_t y = top + j;
    if (y >= 0 && y <= src.MaxY) {
      const MarkRow row{DibRow(marks.Record(), j), selects, DibRow(src, static_cast<int>(y)),
                        DibRow(result.Record(), static_cast<int>(y)),
                        static_cast<std::ptrdiff_t>(left)};
      if (firstColumn <= lastColumn)
        Vectorised<ShiftMarkRow>(&row, static_cast<int>(firstColumn),
                                 static_cast<int>(lastColumn), d,
                                 static_cast<const ForwardTables*>(forward));
    }
    if (!ReportProgress(j, marks->Height - 1, 0, 100, noDialog)) return nullptr;
  }
  marks.End();
  return result.Release();
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVSetSecretImage(HGLOBAL picture, HGLOBAL mark, const char* text,
                                        const char* faceName, WORD fontSize, BYTE style1,
                                        BYTE style2, BYTE style3, BYTE style4, BYTE direction,
                                        WORD angle, int shift, int left, int top, int right,
                                        int bottom, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                        DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    const qvx::MarkTextArgs textArgs{
        text, faceName, fontSize, {style1, style2, style3, style4}, direction, angle};
    return qvx::RunSetSecretImage(picture, mark, textArgs, shift, RECT{left, top, right, bottom},
                                  noDialog);
  });
}
