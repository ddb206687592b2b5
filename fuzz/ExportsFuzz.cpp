// The exports on hostile pictures, selections and parameters. After every
// call: a picture or null with a non-zero error status, no block leaked or
// left locked, and the call over within its time budget.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "exports/Exported.h"
#include "fuzz/FuzzInput.h"

namespace {

using qvx::fuzz::FuzzInput;

// Blocks stay small so that every call, sanitized, ends in well under the
// budget; a header may claim far more than its block holds.
constexpr std::size_t kMaxBlock = 64 * 1024;
double Megapixels(HGLOBAL picture) {
  DibAccess record;
  if (!picture || !QVStartDibAccess(picture, &record)) return 0;
  const double megapixels = double{1.0} * record.Width * record.Height / 1e6;
  QVEndDibAccess(picture, &record);
  return megapixels;
}

// A few seconds, and a minute a megapixel of source and result: generous
// for sanitized code that writes each pixel through the record route.
double BudgetSeconds(HGLOBAL picture, HGLOBAL result) {
  return 5 + 60 * (Megapixels(picture) + Megapixels(result));
}

// A result side for the resizing calls: usually small, now and then any
// value up to 1024 or a negative one. Larger results are refused or made
// by work in proportion to their size, which the budget tests cover; here
// they would only spend the time budget.
int ResultSide(FuzzInput& in) {
  const int side = in.Small(300, -2);
  return side > 1024 ? side % 1025 : side;
}

[[noreturn]] void Fail(const char* what, long value) {
  std::fprintf(stderr, "exports fuzz: %s (%ld)\n", what, value);
  std::abort();
}

// A picture side: usually small, now and then any value. Sides from 4097
// up to 2^20 are folded back under 4096: a 1-bit picture 38,000 pixels wide
// fits a small block, and turning it fills a canvas of hundreds of
// megapixels, legitimate work that would only spend the time budget.
// Beyond 2^20 no picture fits the block, so such a header lies about its
// size and is refused.
int PictureSide(FuzzInput& in) {
  const std::int64_t side = in.Small(48, 1);
  const std::int64_t magnitude = side < 0 ? -side : side;
  if (magnitude > 4096 && magnitude < (1 << 20)) return static_cast<int>(side % 4096);
  return static_cast<int>(side);
}

// A packed picture whose header, table and rows come from the input: mostly
// a consistent picture of a supported depth, now and then any header and a
// block shorter or longer than it claims.
HGLOBAL HostilePicture(FuzzInput& in, bool mask) {
  static const int kBits[] = {1, 4, 8, 16, 24, 32};
  const std::uint8_t shape = in.Byte();
  BITMAPINFOHEADER h{};
  h.biSize = shape & 0x80 ? static_cast<DWORD>(in.Int()) : 40;
  h.biWidth = PictureSide(in);
  h.biHeight = PictureSide(in);
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(mask ? (shape & 0x40 ? kBits[in.Byte() % 6] : 1)
                                        : (shape & 0x40 ? in.Take<WORD>() : kBits[in.Byte() % 6]));
  h.biCompression = shape & 0x20 ? static_cast<DWORD>(in.Byte() % 4) : BI_RGB;
  h.biClrUsed = shape & 0x10 ? static_cast<DWORD>(in.Small(300)) : 0;
  const std::uint64_t row = (std::uint64_t{h.biBitCount} * static_cast<std::uint32_t>(h.biWidth) + 31) / 32 * 4;
  const std::uint64_t table = h.biBitCount <= 8 ? 4u << h.biBitCount : 12;
  std::uint64_t bytes = 40 + table + row * static_cast<std::uint32_t>(h.biHeight);
  if (shape & 0x08) bytes = bytes > 40 ? bytes - 1 - in.Byte() % (bytes - 40) : bytes;  // short
  if (bytes > kMaxBlock) bytes = kMaxBlock;
  if (bytes < 40) bytes = 40;
  HGLOBAL block = GlobalAlloc(GHND, static_cast<SIZE_T>(bytes));
  if (!block) return nullptr;
  auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
  std::memcpy(data, &h, sizeof h);
  if (h.biBitCount == 16 && h.biCompression == BI_BITFIELDS && bytes >= 52) {
    const DWORD masks[2][3] = {{0x7C00, 0x03E0, 0x001F}, {0xF800, 0x07E0, 0x001F}};
    std::memcpy(data + 40, masks[in.Byte() & 1], 12);
  }
  // Pixels (and a table where the input reaches) from the input, repeated.
  std::uint8_t pattern[64];
  in.Fill(pattern, sizeof pattern);
  for (std::size_t i = 52; i < bytes; ++i) data[i] = pattern[i % sizeof pattern];
  GlobalUnlock(block);
  return block;
}

struct Selection {
  ImageHandles images{};
  BYTE mode = 1;
  POINT points[8]{};
  int pointCount = 0;
  RECT rect{};
  const RECT* rectPointer = nullptr;
  BOOL inside = TRUE;
};

Selection HostileSelection(FuzzInput& in, HGLOBAL picture) {
  Selection s;
  s.images.Picture = picture;
  const std::uint8_t pick = in.Byte();
  s.mode = pick & 0x80 ? in.Byte() : static_cast<BYTE>(pick % 4);
  if (s.mode == 0) s.images.Mask = HostilePicture(in, true);
  const int points = in.Byte() % 9;
  for (int i = 0; i < points; ++i)
    s.points[i] = {in.Small(64, -8), in.Small(64, -8)};
  s.pointCount = pick & 0x40 ? -in.Byte() : points;
  s.rect = {in.Small(64, -8), in.Small(64, -8), in.Small(64, -8), in.Small(64, -8)};
  s.rectPointer = pick & 0x20 ? nullptr : &s.rect;
  s.inside = pick & 0x10 ? FALSE : TRUE;
  return s;
}

// One export called on the selection with parameters from the input: its
// results, null ones included.
using Call = std::function<ImageHandles(Selection&, FuzzInput&)>;

#define SEL(s) &s.images, s.mode, s.points, s.pointCount, s.rectPointer, s.inside
#define TAIL TRUE, 0, 0, 0
ImageHandles One(HGLOBAL picture) { return {picture, nullptr}; }

const std::vector<Call>& Calls() {
  static const std::vector<Call> calls = {
      [](Selection& s, FuzzInput& in) { return One(QVBlur(SEL(s), in.Byte(), TAIL)); },
      [](Selection& s, FuzzInput&) { return One(QVAntiAlias(SEL(s), TAIL)); },
      [](Selection& s, FuzzInput& in) { return One(QVSharp(SEL(s), in.Byte(), TAIL)); },
      [](Selection& s, FuzzInput& in) {
        return One(QVOilPaint(SEL(s), in.Byte() % 3, in.Byte(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVMotionBlur(SEL(s), in.Byte() % 4, in.Byte(), in.Small(400), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVMosaic(SEL(s), in.Small(70, -2), in.Small(70, -2), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVEmboss(SEL(s), in.Byte(), in.Byte(), in.Byte(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVOutline(SEL(s), in.Byte(), in.Byte(), in.Byte(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVRemoveNoise(SEL(s), in.Byte(), in.Byte(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        FilterKernel kernel;
        in.Fill(&kernel, sizeof kernel);
        return One(QVCustomFilter(SEL(s), &kernel, in.Int(), in.Int(), in.Byte() & 1,
                                  in.Byte() & 1, in.Byte() & 1, TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVRGBGamma(SEL(s), in.Double(), in.Double(), in.Double(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVYCCGamma(SEL(s), in.Double(), in.Double(), in.Double(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVRGBLevel(SEL(s), in.Int(), in.Int(), in.Int(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVYCCLevel(SEL(s), in.Int(), in.Int(), in.Int(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVRGBRev(SEL(s), in.Byte() & 1, in.Byte() & 1, in.Byte() & 1, TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        POINT curve[40];
        for (POINT& p : curve) p = {in.Small(300, -20), in.Small(300, -20)};
        const int count = in.Byte() % 41;
        return One(QVRGBSpline(SEL(s), curve, count, 1, 1, in.Byte() & 1, TAIL));
      },
      [](Selection& s, FuzzInput& in) { return One(QVChroma(SEL(s), in.Int(), TAIL)); },
      [](Selection& s, FuzzInput& in) {
        return One(QVUnifyColor(SEL(s), in.Byte(), in.Byte(), in.Byte(), in.Byte(), TAIL));
      },
      [](Selection& s, FuzzInput& in) {
        return One(QVRedEyeRemoval(SEL(s), in.Byte(), in.Byte(), in.Byte(), in.Byte(), TAIL));
      },
      [](Selection& s, FuzzInput&) { return One(QVSetGray(s.images.Picture, TAIL)); },
      [](Selection& s, FuzzInput& in) {
        ImageHandles out{};
        QVResizeEx(&s.images, &out, ResultSide(in), ResultSide(in), in.Byte() & 1, TAIL);
        return out;
      },
      [](Selection& s, FuzzInput& in) {
        return qvx::UnpackHandles(QVRotation(&s.images, in.Int(), in.Byte() & 1, in.Byte() & 1,
                                        in.Byte() & 1, in.Byte(), in.Byte(), in.Byte(),
                                        in.Byte() & 1, TAIL));
      },
      [](Selection& s, FuzzInput&) { return One(QVCutRectImage(s.images.Picture, &s.rect, TAIL)); },
      [](Selection& s, FuzzInput& in) {
        return One(ResizeColorBit(s.images.Picture, in.Small(64, -8), in.Small(64, -8),
                                  in.Small(64, -8), in.Small(64, -8), ResultSide(in),
                                  ResultSide(in)));
      },
  };
  return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::size_t which = in.Byte() % Calls().size();
  const long live = QvxMemLiveBlocks();
  HGLOBAL picture = HostilePicture(in, false);
  Selection selection = HostileSelection(in, picture);
  const long inputs = QvxMemLiveBlocks();
  SetErrorStatus(-1);
  const auto start = std::chrono::steady_clock::now();
  const ImageHandles out = Calls()[which](selection, in);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int status = GetErrorStatus();
  if (seconds > BudgetSeconds(picture, out.Picture)) Fail("a call ran past its time budget; export", static_cast<long>(which));
  if (!out.Picture && out.Mask) Fail("a mask without a picture; export", static_cast<long>(which));
  // ResizeColorBit, last in the table, may fail without a code of its own.
  const bool keepsStatus = which + 1 == Calls().size();
  if (!out.Picture && (keepsStatus ? status == 0 : status <= 0))
    Fail("null without an error; export", static_cast<long>(which) * 1000 + status);
  const long made = (out.Picture ? 1 : 0) + (out.Mask ? 1 : 0);
  if (QvxMemLiveBlocks() != inputs + made) Fail("blocks leaked; export", static_cast<long>(which));
  if (QvxMemLockedBlocks() != 0) Fail("blocks left locked; export", static_cast<long>(which));
  if (out.Picture) {
    DibAccess record;
    if (!QVStartDibAccess(out.Picture, &record)) Fail("an unusable result; export", static_cast<long>(which));
    QVEndDibAccess(out.Picture, &record);
    GlobalFree(out.Picture);
  }
  if (out.Mask) GlobalFree(out.Mask);
  if (selection.images.Mask) GlobalFree(selection.images.Mask);
  if (picture) GlobalFree(picture);
  if (QvxMemLiveBlocks() != live) Fail("blocks leaked after freeing", static_cast<long>(which));
  return 0;
}

// Every block ends right before an inaccessible page, so an overrun of any
// block faults at once.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QvxMemSetGuardPages(1);
  return 0;
}
