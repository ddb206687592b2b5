// QVAutoSelectImage and QVAutoSelectImageEx: the bounding box of a shape
// cut out, and a mask of its pixels whose colour matches a reference colour
// within a tolerance (in RGB, in chrominance or in luminance).
#include <cstring>
#include <type_traits>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/MarkEffects.h"
#include "frame/Progress.h"

namespace qvx {

ColourMatch::ColourMatch(const LevelTable* products, BYTE mode, BYTE tolerance, BYTE red,
                         BYTE green, BYTE blue)
    : t_(products), mode_(mode), tolerance_(tolerance), red_(red), green_(green), blue_(blue) {
  y_ = Luminance(red, green, blue);
  cr_ = Cr(red, green, blue);
  cb_ = Cb(red, green, blue);
}

int ColourMatch::Luminance(BYTE red, BYTE green, BYTE blue) const {
  return TruncToInt(t_[kRedToY][red] + t_[kGreenToY][green] + t_[kBlueToY][blue]);
}
int ColourMatch::Cr(BYTE red, BYTE green, BYTE blue) const {
  return TruncToInt(t_[kRedToCr][red] + t_[kGreenToCr][green] + t_[kBlueToCr][blue] + 128.0);
}
int ColourMatch::Cb(BYTE red, BYTE green, BYTE blue) const {
  return TruncToInt(t_[kRedToCb][red] + t_[kGreenToCb][green] + t_[kBlueToCb][blue] + 128.0);
}

bool ColourMatch::Matches(BYTE red, BYTE green, BYTE blue) const {
  switch (mode_) {
    case kMatchRgb:
      return Near(red, red_) && Near(green, green_) && Near(blue, blue_);
    case kMatchChroma:
      return Near(Cr(red, green, blue), cr_) && Near(Cb(red, green, blue), cb_);
    default:
      return Near(Luminance(red, green, blue), y_);
  }
}

namespace {

// First blue level 0..256 at which pred holds, for a pred that, once true,
// stays true as blue grows; searched from a guess, which only saves steps.
template <class Pred>
int FirstBlue(double guess, Pred pred) {
  int b = guess > 0 ? (guess < 256 ? static_cast<int>(guess) : 256) : 0;  // NaN gives 0
  while (b > 0 && pred(static_cast<BYTE>(b - 1))) --b;
  while (b < 256 && !pred(static_cast<BYTE>(b))) ++b;
  return b;
}

}  // namespace

void ColourMatch::FillBlueIntervals(BYTE* lo, BYTE* hi) const {
  for (int r = 0; r < 256; ++r)
    for (int g = 0; g < 256; ++g) {
      const BYTE red = static_cast<BYTE>(r), green = static_cast<BYTE>(g);
      int first = 0, last = 255;  // the matching blues, first..last
      const auto within = [&](int from, int to) {
        first = from > first ? from : first;
        last = to < last ? to : last;
      };
      if (mode_ == kMatchRgb) {
        if (Near(red, red_) && Near(green, green_)) {
          within(blue_ - tolerance_, blue_ + tolerance_);
        } else {
          within(1, 0);
        }
      } else if (mode_ == kMatchChroma) {
        // Cr falls and Cb rises as blue grows. Each level's sum without
        // blue, and its step per blue level, place the guesses.
        const double cr0 = t_[kRedToCr][r] + t_[kGreenToCr][g] + 128.0;
        const double cb0 = t_[kRedToCb][r] + t_[kGreenToCb][g] + 128.0;
        const double crStep = t_[kBlueToCr][1], cbStep = t_[kBlueToCb][1];
        within(FirstBlue((cr_ + tolerance_ + 1 - cr0) / crStep,
                         [&](BYTE b) { return Cr(red, green, b) <= cr_ + tolerance_; }),
               FirstBlue((cr_ - tolerance_ - cr0) / crStep, [&](BYTE b) {
                 return Cr(red, green, b) < cr_ - tolerance_;
               }) - 1);
        within(FirstBlue((cb_ - tolerance_ - cb0) / cbStep,
                         [&](BYTE b) { return Cb(red, green, b) >= cb_ - tolerance_; }),
               FirstBlue((cb_ + tolerance_ + 1 - cb0) / cbStep, [&](BYTE b) {
                 return Cb(red, green, b) > cb_ + tolerance_;
               }) - 1);
      } else {
        const double y0 = t_[kRedToY][r] + t_[kGreenToY][g], yStep = t_[kBlueToY][1];
        within(FirstBlue((y_ - tolerance_ - y0) / yStep,
                         [&](BYTE b) { return Luminance(red, green, b) >= y_ - tolerance_; }),
               FirstBlue((y_ + tolerance_ + 1 - y0) / yStep, [&](BYTE b) {
                 return Luminance(red, green, b) > y_ + tolerance_;
               }) - 1);
      }
      // An empty interval is stored as 255..0, so no blue lies in it.
      const bool empty = first > last;
      lo[r << 8 | g] = static_cast<BYTE>(empty ? 255 : first);
      hi[r << 8 | g] = static_cast<BYTE>(empty ? 0 : last);
    }
}

namespace {

struct Pick {
  const DibAccess* shape;  // picture-sized shape mask, or null for every pixel
  const DibAccess* match;
  WorkRect rect;
  BOOL noDialog;
};

// 24- and 32-bit pictures: the selected runs of each row copied, and each
// copied pixel's blue looked up in the interval of its (red, green) pair.
template <class Px>
bool PickRows(const Px& src, const Px& dst, const Pick& pick, const BYTE* lo, const BYTE* hi) {
  const WorkRect& rect = pick.rect;
  for (int y = rect.top; y <= rect.bottom; ++y) {
    const int my = y - rect.top;
    BYTE* in = src.Row(y);
    BYTE* out = dst.Row(my);
    BYTE* bits = DibRow(*pick.match, my);
    const auto copy = [&](int x0, int x1, bool set) {
      if (!set) return;
      auto p = Px::At(in, x0);
      auto q = Px::At(out, x0 - rect.left);
      if constexpr (std::is_same_v<Px, Px24>) {
        std::memcpy(q, p, 3 * static_cast<std::size_t>(x1 - x0 + 1));
      } else {
        for (int x = x0; x <= x1; ++x, p = Px::Next(p), q = Px::Next(q)) {
          const Rgb c = src.Read(p);
          dst.Write(q, c.red, c.green, c.blue);
        }
        p = Px::At(in, x0);
      }
      BitRowWriter match(bits, x0 - rect.left);
      for (int x = x0; x <= x1; ++x, p = Px::Next(p)) {
        const Rgb c = src.Read(p);
        const int pair = c.red << 8 | c.green;
        // Without a branch: which pixels match is as random as the picture.
        match.Put((c.blue >= lo[pair]) & (c.blue <= hi[pair]));
      }
      match.Flush();
    };
    if (pick.shape) {
      ForEachBitRun(DibRow(*pick.shape, y), rect.left, rect.right, copy);
    } else {
      copy(rect.left, rect.right, true);
    }
    if (!ReportProgress(my, rect.bottom - rect.top, 0, 100, pick.noDialog)) return false;
  }
  return true;
}

// Any depth, pixel by pixel through the records; palette sources yield
// their colours (UseRgb) and the cut-out receives their indices.
bool PickRowsByRecord(DibAccess& src, DibAccess* shape, DibAccess& dst, DibAccess& match,
                      const Pick& pick, const ColourMatch& test) {
  const WorkRect& rect = pick.rect;
  match.Index = 1;
  for (int y = rect.top; y <= rect.bottom; ++y) {
    const int my = y - rect.top;
    for (int x = rect.left; x <= rect.right; ++x) {
      if (shape) {
        GetDibPixel(shape, x, y);
        if (!shape->Index) continue;
      }
      const int mx = x - rect.left;
      GetDibPixel(&src, x, y);
      dst.Index = src.Index;
      dst.Red = src.Red;
      dst.Green = src.Green;
      dst.Blue = src.Blue;
      SetDibPixel(&dst, mx, my);
      if (test.Matches(src.Red, src.Green, src.Blue)) SetDibPixel(&match, mx, my);
    }
    if (!ReportProgress(my, rect.bottom - rect.top, 0, 100, pick.noDialog)) return false;
  }
  return true;
}

}  // namespace

ImageHandles RunAutoSelectImage(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue,
                                BYTE matchMode, BYTE tolerance, BOOL noDialog, PixelRoute route) {
  if (args.mode < kSelectWhole || args.mode > kSelectEllipse || matchMode > kMatchLuminance) {
    SetErrorStatus(kErrorBadParameter);
    return {};
  }
  LockedDib source;
  if (!source.Start(args.picture, kDepthAll)) return {};
  source->UseRgb = 1;
  WorkRect rect{0, 0, source->MaxX, source->MaxY};
  OwnedBlock shape;
  LockedDib shapeRecord;
  if (args.mode != kSelectWhole) {
    shape.Reset(BuildSelectionMask(args.mode, args.points, args.pointCount, args.rect.left,
                                   args.rect.top, args.rect.right, args.rect.bottom, args.inside,
                                   &rect, TRUE));
    if (!shape || !shapeRecord.Start(shape.Get(), kDepthMaskPicture)) return {};
  }
  OwnedBlock cutOut(
      NewDibLike(source->Header, rect.right - rect.left + 1, rect.bottom - rect.top + 1, FALSE));
  if (!cutOut) return {};
  OwnedBlock matchMask(BuildSelectionMask(kSelectMask, nullptr, 0, 0, 0, 0, 0, TRUE, &rect, TRUE));
  if (!matchMask) return {};
  LockedDib result, match;
  if (!result.Start(cutOut.Get(), kDepthAll) || !match.Start(matchMask.Get(), kDepthMaskPicture))
    return {};
  WorkBlock products;
  if (!MakeYccTables(products)) return {};
  const ColourMatch test(YccTables(products), matchMode, tolerance, red, green, blue);

  const Pick pick{shape ? &shapeRecord.Record() : nullptr, &match.Record(), rect, noDialog};
  const int bits = source->BitCount;
  bool done;
  if (route == PixelRoute::kDirect && (bits == 24 || bits == 32)) {
    WorkBlock intervals;
    if (!intervals.Allocate(2 * 65536)) return {};
    BYTE* lo = intervals.As<BYTE>();
    BYTE* hi = lo + 65536;
    test.FillBlueIntervals(lo, hi);
    done = bits == 24 ? PickRows(Px24(&source.Record()), Px24(&result.Record()), pick, lo, hi)
                      : PickRows(Px32(&source.Record()), Px32(&result.Record()), pick, lo, hi);
  } else {
    done = PickRowsByRecord(source.Record(), shape ? &shapeRecord.Record() : nullptr,
                            result.Record(), match.Record(), pick, test);
  }
  if (!done) return {};
  result.End();
  match.End();
  return {cutOut.Release(), matchMask.Release()};
}

}  // namespace qvx

QVX_API ImageHandlesResult WINAPI QVAutoSelectImage(HGLOBAL picture, BYTE mode, POINT* points,
                                                    int pointCount, const RECT* rect, BOOL inside,
                                                    int red, int green, int blue, BYTE matchMode,
                                                    BYTE tolerance, BOOL noDialog, DWORD dlgArg1,
                                                    DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunPairEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunAutoSelectImage(
        qvx::PictureSelection(picture, mode, points, pointCount, rect, inside), BYTE(red),
        BYTE(green), BYTE(blue), matchMode, tolerance, noDialog);
  });
}

QVX_API BOOL WINAPI QVAutoSelectImageEx(HGLOBAL picture, ImageHandles* result, BYTE mode,
                                        POINT* points, int pointCount, const RECT* rect,
                                        BOOL inside, int red, int green, int blue, BYTE matchMode,
                                        BYTE tolerance, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                        DWORD dlgArg3) {
  return qvx::RunPairEffectEx({noDialog, dlgArg1, dlgArg2, dlgArg3}, result, [&] {
    return qvx::RunAutoSelectImage(
        qvx::PictureSelection(picture, mode, points, pointCount, rect, inside), BYTE(red),
        BYTE(green), BYTE(blue), matchMode, tolerance, noDialog);
  });
}
