// The effects the command-line tool offers, one entry per export.
//
// Each entry's help and parameter texts say what the library does with the
// values; its call function passes them in the export's argument order.
// Ranges are what the tool lets through: where the library clamps a value
// (level offsets, chroma amount) the range is the clamped one, so the tool
// refuses what the library would silently change.
#include "cli/EffectTable.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace qvx::cli {

namespace {

// The six leading selection arguments and the progress-window tail that
// every effect export takes.
#define SELECTION_ARGS(c) \
  &(c).images, (c).mode, (c).Points(), (c).PointCount(), (c).Rect(), (c).inside
#define PROGRESS_ARGS(c) (c).noDialog, 0, 0, 0

EffectResult One(HGLOBAL picture) { return EffectResult{picture, nullptr}; }
EffectResult Pair(ImageHandles pair) { return EffectResult{pair.Picture, pair.Mask}; }

// Exports whose parameters are three values of one kind (red, green, blue or
// Y, Cr, Cb): the entry's first parameter holds them.
template <class T>
using TripleExport = HGLOBAL(WINAPI*)(ImageHandles*, BYTE, POINT*, int, const RECT*, BOOL, T, T, T,
                                      BOOL, DWORD, DWORD, DWORD);
template <class T, TripleExport<T> Export>
EffectResult CallTriple(EffectCall& c) {
  const std::vector<double>& v = (*c.values)[0].numbers;
  return One(Export(SELECTION_ARGS(c), static_cast<T>(v.at(0)), static_cast<T>(v.at(1)),
                    static_cast<T>(v.at(2)), PROGRESS_ARGS(c)));
}

// A parameter taking one of named values; its range spans their numbers.
ParamSpec ChoiceParam(const char* name, const char* fallback, const char* help,
                      std::vector<ChoiceValue> choices) {
  double min = choices.front().value, max = min;
  for (const ChoiceValue& choice : choices) {
    min = std::min<double>(min, choice.value);
    max = std::max<double>(max, choice.value);
  }
  return ParamSpec{name, ParamKind::Choice, 1, "", min, max, fallback, help, std::move(choices)};
}

// A rectangle parameter of four numbers as a RECT.
RECT RectParam(const EffectCall& c, const char* name) {
  return RECT{c.Int(name, 0), c.Int(name, 1), c.Int(name, 2), c.Int(name, 3)};
}

// The caller's square of weights, centred in the 9 x 9 kernel.
FilterKernel CentredKernel(const std::vector<double>& weights) {
  FilterKernel kernel{};
  int side = 1;
  while (side * side < static_cast<int>(weights.size())) side += 2;
  const int offset = (9 - side) / 2;
  for (int ky = 0; ky < side; ++ky)
    for (int kx = 0; kx < side; ++kx)
      kernel.weights[9 * (ky + offset) + kx + offset] =
          static_cast<std::int32_t>(weights[ky * side + kx]);
  return kernel;
}

// The curve exports: control points, then three channel flags.
using CurveExport = HGLOBAL(WINAPI*)(ImageHandles*, BYTE, POINT*, int, const RECT*, BOOL,
                                     const POINT*, int, BOOL, BOOL, BOOL, BOOL, DWORD, DWORD,
                                     DWORD);
template <CurveExport Export>
EffectResult CallCurve(EffectCall& c) {
  std::vector<POINT>& curve = c.PointList("curve");
  return One(Export(SELECTION_ARGS(c), curve.empty() ? nullptr : curve.data(),
                    static_cast<int>(curve.size()), c.Int("channels", 0), c.Int("channels", 1),
                    c.Int("channels", 2), PROGRESS_ARGS(c)));
}

constexpr const char* kToneAccepts = "every depth except 4-bit grey";
// How the tone effects treat each kind of picture, appended to their help.
#define TONE_DETAIL                                                                              \
  " 1-, 4- and colour 8-bit pictures get their colour table remapped (the selection is "         \
  "ignored, pixels are untouched); 8-bit grey, 16-, 24- and 32-bit pictures get every selected " \
  "pixel mapped (grey pictures stay grey)."
constexpr const char* kFilterAccepts = "8-bit grey, 16-, 24- and 32-bit pictures";
// How the neighbourhood filters treat pictures, appended to their help.
#define FILTER_DETAIL " Grey pictures stay grey."
constexpr const char* kCurveHelp =
    "Control points x,y (x = input level, y = output level, 0..255), at most 32, x growing "
    "from point to point. A natural cubic spline runs through them; levels outside the points' "
    "x range are kept, values of the curve are truncated and clamped to 0..255.";
constexpr const char* kGammaHelp =
    "Gamma per channel: exponent g + 1 for g >= 0, 1 / |g - 1| below; 0 leaves a channel as it "
    "is, 1 darkens (128 -> 64), -1 lightens (64 -> 128). Output level 255 x (level / "
    "255)^exponent, "
    "rounded.";
constexpr double kMaxSide = 30000;

// ---- colour-picked selection and hidden marks ------------------------------------------
const ParamSpec kCutOutFillParam{"fill",
                           ParamKind::Int,
                           3,
                           "red,green,blue",
                           0,
                           255,
                           "255,255,255",
                           "Colour of the cut-out's pixels outside the shape (palette pictures: "
                           "the nearest table entry)."};
const std::vector<ParamSpec> kAutoSelectParams = {
    {"color", ParamKind::Int, 3, "red,green,blue", 0, 255, nullptr, "The reference colour."},
    ChoiceParam("match", "rgb",
                "What is compared: red, green and blue each; chrominance Cr and Cb; or luminance "
                "Y (each truncated).",
                {{"rgb", 0}, {"chroma", 1}, {"luminance", 2}}),
    {"tolerance", ParamKind::Int, 1, "", 0, 255, "20",
     "Largest difference of each compared value."}};
constexpr const char* kSelectHelp =
    "Cuts the bounding box of the selection shape (clipped to the picture; with --outside the "
    "whole picture) into a new picture of the same format. Pixels inside the shape keep their "
    "colour (palette pictures their index), the others take the fill colour. 32-bit cut-outs "
    "have alpha 0. The shape itself comes out as a 1-bit mask of the cut-out's size. A --mask "
    "selection is refused.";
constexpr const char* kAutoSelectHelp =
    "Cuts the selection's bounding box out as select does, pixels outside the shape 0, and "
    "marks in a 1-bit mask every pixel of the shape whose colour matches the reference within "
    "the tolerance: red, green and blue each (rgb), Cr = trunc(0.5 R - 0.41869 G - 0.08131 B + "
    "128) and Cb = trunc(-0.16874 R - 0.33126 G + 0.5 B + 128) (chroma), or Y = trunc(0.298912 "
    "R + 0.586611 G + 0.114478 B) (luminance). The match is global: connected or not. The cut-out "
    "goes to OUTPUT, the match mask to SECOND-OUTPUT.";
constexpr const char* kSetSecretHelp =
    "Raises (or lowers) the luminance of the pixels a mark covers by --shift levels, keeping "
    "their chrominance; a pixel whose new luminance would leave 0..255 is left alone. The mark "
    "is a 1-bit picture given with --mask (its non-black pixels, top-left pixel at the "
    "rectangle's left,top) or the text, drawn in the rectangle from its top-left corner with "
    "the font chosen from --font, --size and --style, turned by --angle and written in "
    "--direction. The sibling library picks the font: the nearest face fontconfig knows (DejaVu "
    "Sans at the last), the size shrunk until the text fits the rectangle.";
constexpr const char* kShapeMaskOutput = "the shape as a 1-bit mask of the cut-out's size";
constexpr const char* kMatchMaskOutput =
    "the matching pixels as a 1-bit mask of the cut-out's size";
const ParamSpec kCurveParam = {"curve", ParamKind::Curve, 32, "", 0, 255, nullptr, kCurveHelp};
const std::vector<ParamSpec> kResizeParams = {
    {"width", ParamKind::Int, 1, "", 0, kMaxSide, "0",
     "Width of the result; 0 or left out: in proportion to the height."},
    {"height", ParamKind::Int, 1, "", 0, kMaxSide, "0",
     "Height of the result; 0 or left out: in proportion to the width."},
    {"smooth", ParamKind::Flag, 1, "", 0, 1, "1",
     "Box-average when shrinking and blend when growing; --no-smooth copies the nearest "
     "pixel."}};
const std::vector<ParamSpec> kRotationParams = {
    {"angle", ParamKind::Degrees, 1, "", -36000, 36000, nullptr,
     "Angle in degrees, counter-clockwise (90 is a quarter turn to the left, -90 to the right), "
     "to the hundredth of a degree."},
    {"mirror", ParamKind::Flag, 1, "", 0, 1, "0", "Mirror left-right before turning."},
    {"flip", ParamKind::Flag, 1, "", 0, 1, "0",
     "Flip top-bottom before turning (after the mirror)."},
    {"smooth", ParamKind::Flag, 1, "", 0, 1, "1",
     "Blend four pixels at angles other than 0, 90, 180 and 270 degrees; --no-smooth takes "
     "the nearest pixel."},
    {"background", ParamKind::Int, 3, "red,green,blue", 0, 255, "255,255,255",
     "Colour of the pixels the turned picture does not cover."},
    {"keep-size", ParamKind::Flag, 1, "", 0, 1, "0",
     "Keep the source's size (corners cut off) rather than hold the whole turned picture."}};
// A size left out (0) follows the other in the picture's proportions,
// rounded and at least 1.
std::string FillResizeSize(EffectCall& c, int width, int height) {
  const auto size = [&](const char* name) -> double& {
    for (std::size_t i = 0; i < c.specs->size(); ++i)
      if (std::strcmp((*c.specs)[i].name, name) == 0) return (*c.values)[i].numbers.at(0);
    throw std::logic_error("no parameter");
  };
  double& w = size("width");
  double& h = size("height");
  if (w == 0 && h == 0) return "give --width, --height or both";
  if (w == 0) w = std::max(1.0, std::min(kMaxSide, std::round(h * width / height)));
  if (h == 0) h = std::max(1.0, std::min(kMaxSide, std::round(w * height / width)));
  return "";
}

// A rectangle wholly outside the picture would be clamped to one corner pixel.
std::string CheckRectOverlaps(EffectCall& c, int width, int height) {
  const RECT r = RectParam(c, "rect");
  if (std::max(r.left, r.right) >= 0 && std::min(r.left, r.right) < width &&
      std::max(r.top, r.bottom) >= 0 && std::min(r.top, r.bottom) < height)
    return "";
  return "--rect lies wholly outside the " + std::to_string(width) + " x " +
         std::to_string(height) + " picture";
}

// The scaled rectangle is taken as given, before any clamping: it must be
// at least 2 x 2 pixels with left < right and top < bottom, and overlap the
// picture.
std::string CheckScaledRect(EffectCall& c, int width, int height) {
  const RECT r = RectParam(c, "rect");
  if (r.right - r.left < 1 || r.bottom - r.top < 1)
    return "--rect must have left < right and top < bottom (at least 2 x 2 pixels)";
  return CheckRectOverlaps(c, width, height);
}

std::string CheckMosaicCell(EffectCall& c, int, int) {
  if (c.Int("cell", 0) > 1 || c.Int("cell", 1) > 1) return "";
  return "--cell 1,1 would change nothing; give a width or height of at least 2";
}

constexpr const char* kMaskOutput =
    "the mask (1-bit) that travelled with the picture, when --mask was given";

// What layering and pasting share.
constexpr double kMaxInt = 2147483647;
constexpr const char* kCompositeAccepts = "every depth, and a second picture of any depth";
constexpr const char* kLayerHelp =
    "Lays the picture given by --layer over INPUT with its top-left pixel on --offset, mixing "
    "((255 - opacity) x base + opacity x layer) / 255 per channel. With --key-on, layer pixels "
    "of the key colour are transparent. The result has INPUT's size; with --no-clip it "
    "covers both pictures, the layer showing at full strength where there is no base and the "
    "fill colour where neither picture is. The result is 8-bit grey for two grey pictures, the "
    "larger depth above 8 bits, the common format for palette pictures with one table at "
    "opacity 0 or 255, and 24 bits otherwise.";
const ParamSpec kOpacityParam = {"opacity", ParamKind::Int, 1, "", 0, 255, "255",
                                 "0: the picture underneath shows; 255: the layer replaces it."};
const ParamSpec kKeyOnParam = {"key-on", ParamKind::Flag, 1, "", 0, 1, "0",
                               "Make pixels of the key colour transparent."};
const ParamSpec kKeyParam = {"key", ParamKind::Int, 3, "red,green,blue", 0, 255, "0,0,0",
                             "The transparent colour (palette pictures: its nearest entry)."};
const ParamSpec kCompositeFillParam = {"fill", ParamKind::Int, 3, "red,green,blue", 0, 255, "255,255,255",
                              "Colour where neither picture is (with --no-clip)."};
const ParamSpec kClipParam = {"clip", ParamKind::Flag, 1, "", 0, 1, "1",
                              "The result has INPUT's size; --no-clip: it grows to hold both."};
const std::vector<ParamSpec> kLayerParams = {
    {"layer", ParamKind::Picture, 1, "", 0, 0, nullptr, "The picture laid over INPUT."},
    kOpacityParam,
    kKeyOnParam,
    kKeyParam,
    kCompositeFillParam,
    {"offset", ParamKind::Int, 2, "dx,dy", -kMaxInt, kMaxInt, "0,0",
     "Column and row (from the top) of INPUT where the layer's top-left pixel lands."},
    kClipParam};
const std::vector<ParamSpec> kLayerExParams = [] {
  std::vector<ParamSpec> params = kLayerParams;
  params.push_back({"alpha-mode", ParamKind::Flag, 1, "", 0, 1, "1",
                    "Use a 32-bit layer's alpha channel as its opacity."});
  return params;
}();

const std::vector<EffectSpec> kEffects = {
    // ---- tone and colour: red, green, blue ----------------------------------
    {
        .name = "rgb-gamma",
        .exportName = "QVRGBGamma",
        .summary = "Gamma curve on red, green and blue, one value per channel",
        .description =
            "Remaps the red, green and blue levels through a power curve per channel." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"gamma", ParamKind::Double, 3, "red,green,blue", -100, 100, nullptr,
                    kGammaHelp}},
        .invoke = CallTriple<double, QVRGBGamma>,
        .gallery = {{"--gamma 1,0,-1"}, {"--gamma -1.5,-1.5,-1.5 {ellipse}"}},
    },
    {
        .name = "rgb-level",
        .exportName = "QVRGBLevel",
        .summary = "Add an offset to red, green and blue",
        .description =
            "Adds an offset to each channel's level; results are clamped to 0..255." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"offset", ParamKind::Int, 3, "red,green,blue", -255, 255, nullptr,
                    "Offset added to the red, green and blue levels."}},
        .invoke = CallTriple<int, QVRGBLevel>,
        .gallery = {{"--offset 60,0,-60"}, {"--offset 80,80,80 {polygon}"}},
    },
    {
        .name = "rgb-rev",
        .exportName = "QVRGBRev",
        .summary = "Negative of red, green and blue",
        .description =
            "Replaces each chosen channel's level by its negative, 255 - level." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"invert", ParamKind::Bool, 3, "red,green,blue", 0, 1, "1,1,1",
                    "Which channels to invert: 1 inverts the channel, 0 keeps it."}},
        .invoke = CallTriple<BOOL, QVRGBRev>,
        .gallery = {{""}, {"--invert 1,0,0 {ellipse} --outside"}},
    },
    {
        .name = "rgb-spline",
        .exportName = "QVRGBSpline",
        .summary = "Tone curve through control points on red, green and blue",
        .description = "Maps the chosen channels through a smooth curve drawn through control "
                       "points." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {kCurveParam,
                   {"channels", ParamKind::Bool, 3, "red,green,blue", 0, 1, "1,1,1",
                    "Which channels the curve applies to: 1 applies it, 0 keeps the channel."}},
        .invoke = CallCurve<QVRGBSpline>,
        .gallery = {{"--curve \"0,0 64,40 128,140 192,230 255,255\""},
                    {"--curve \"0,255 255,0\" --channels 0,0,1"}},
    },
    // ---- tone and colour: luminance and chrominance ---------------------------
    {
        .name = "ycc-gamma",
        .exportName = "QVYCCGamma",
        .summary = "Gamma curve on luminance and chrominance (Y, Cr, Cb)",
        .description = "Converts each colour to luminance Y and chrominance Cr, Cb (levels "
                       "0..255, chrominance centred on 128), applies a power curve per channel and "
                       "converts back." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"gamma", ParamKind::Double, 3, "y,cr,cb", -100, 100, nullptr, kGammaHelp}},
        .invoke = CallTriple<double, QVYCCGamma>,
        .gallery = {{"--gamma -0.5,0,0"}, {"--gamma 0,0.3,0"}},
    },
    {
        .name = "ycc-level",
        .exportName = "QVYCCLevel",
        .summary = "Add an offset to luminance and chrominance (Y, Cr, Cb)",
        .description =
            "Adds offsets to Y, Cr and Cb; the shifted levels are not clamped before "
            "the conversion back to red, green and blue (whose results are)." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"offset", ParamKind::Int, 3, "y,cr,cb", -255, 255, nullptr,
                    "Offsets added to Y, to Cr (red-green axis) and to Cb (blue-yellow axis)."}},
        .invoke = CallTriple<int, QVYCCLevel>,
        .gallery = {{"--offset 0,0,40"}, {"--offset 40,20,0 {ellipse}"}},
    },
    {
        .name = "ycc-rev",
        .exportName = "QVYCCRev",
        .summary = "Negative of luminance and chrominance (Y, Cr, Cb)",
        .description =
            "Replaces each chosen level of Y, Cr and Cb by its negative, 255 - level." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"invert", ParamKind::Bool, 3, "y,cr,cb", 0, 1, "1,0,0",
                    "Which of Y, Cr and Cb to invert: 1 inverts, 0 keeps. Inverting Y alone "
                    "gives a negative that keeps the hues."}},
        .invoke = CallTriple<BOOL, QVYCCRev>,
        .gallery = {{""}, {"--invert 0,1,1"}},
    },
    {
        .name = "ycc-spline",
        .exportName = "QVYCCSpline",
        .summary = "Tone curve through control points on luminance and chrominance",
        .description = "Maps the chosen channels of Y, Cr and Cb through one smooth curve drawn "
                       "through control points." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {kCurveParam,
                   {"channels", ParamKind::Bool, 3, "y,cr,cb", 0, 1, "1,0,0",
                    "Which of Y, Cr and Cb the curve applies to: 1 applies it, 0 keeps the "
                    "channel."}},
        .invoke = CallCurve<QVYCCSpline>,
        .gallery = {{"--curve \"0,0 80,50 170,210 255,255\""}},
    },
    // ---- grey, colour unification, chroma, red eye ------------------------------
    {
        .name = "set-gray",
        .exportName = "QVSetGray",
        .summary = "Turn the whole picture grey",
        .description = "Each colour becomes its luminance 0.298912 R + 0.586611 G + 0.114478 B, "
                       "truncated. Palette pictures keep their format; only their colour table is "
                       "rewritten.",
        .accepts = "every depth except 4-bit grey (no selection)",
        .selection = Selection::None,
        .params = {},
        .invoke = [](EffectCall& c) { return One(QVSetGray(c.images.Picture, PROGRESS_ARGS(c))); },
        .gallery = {{""}},
    },
    {
        .name = "convert-color",
        .exportName = "QVConvertColor",
        .summary = "Convert the whole picture to another depth or kind",
        .description =
            "Black and white by a luminance threshold; 16 or 256 colours with a standard "
            "palette (the 8-bit one is the 216-colour cube) or one built by median cut; 16 or "
            "256 greys (luminance 0.298912 R + 0.586611 G + 0.114478 B, truncated); or 16-bit "
            "(5-5-5), 24- or 32-bit true colour. Dithering spreads each pixel's error to its "
            "neighbours (Floyd-Steinberg, serpentine) when colours are reduced. Palette "
            "pictures going to a table as deep or deeper keep their table and indices.",
        .accepts = "every depth; the target must differ from the picture's own kind (no selection)",
        .selection = Selection::None,
        .params = {ChoiceParam("target", nullptr,
                               "Kind of the result: 1 (black and white), 4 or 8 (colour table), "
                               "grey16 (4-bit greys), grey256 (8-bit greys), 16, 24 or 32.",
                               {{"1", 1}, {"4", 4}, {"8", 8}, {"grey16", 40}, {"grey256", 80},
                                {"16", 16}, {"24", 24}, {"32", 32}}),
                   {"standard", ParamKind::Flag, 1, "", 0, 1, "0",
                    "Targets 4 and 8: use the standard palette instead of building one by "
                    "median cut. Black and white always uses black and white."},
                   {"dither", ParamKind::Flag, 1, "", 0, 1, "0",
                    "Diffuse the error of each pixel when colours are reduced."},
                   {"threshold", ParamKind::Int, 1, "", 0, 255, "128",
                    "Target 1: a pixel becomes white when its luminance is at least this."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVConvertColor(c.images.Picture, static_cast<WORD>(c.Int("target")),
                                        c.Int("standard"), c.Int("dither"), c.Byte("threshold"),
                                        PROGRESS_ARGS(c)));
            },
        .gallery = {{"--target 1 --threshold 128"},
                    {"--target 4 --dither"},
                    {"--target 8 --standard"},
                    {"--target grey16"}},
    },
    {
        .name = "unify-color",
        .exportName = "QVUnifyColor",
        .summary = "Replace colours near a target colour by exactly that colour",
        .description = "Selected pixels whose red, green and blue each lie within the tolerance "
                       "of the target become exactly the target; other pixels are kept.",
        .accepts = "8-bit grey, 16-, 24- and 32-bit pictures",
        .selection = Selection::Shapes,
        .params = {{"color", ParamKind::Int, 3, "red,green,blue", 0, 255, nullptr,
                    "Target colour."},
                   {"tolerance", ParamKind::Int, 1, "", 0, 255, "16",
                    "A pixel matches when each channel lies within target - tolerance .. target + "
                    "tolerance; 255 matches every pixel."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVUnifyColor(SELECTION_ARGS(c), c.Byte("color", 0), c.Byte("color", 1),
                                      c.Byte("color", 2), c.Byte("tolerance"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--color 40,25,15 --tolerance 40"}},
    },
    {
        .name = "chroma",
        .exportName = "QVChroma",
        .summary = "Strengthen or weaken colourfulness (saturation)",
        .description = "Scales both chrominance components by (amount + 100) / 100 and keeps the "
                       "luminance: -100 greys, 0 leaves the colours as they are, 1000 multiplies "
                       "the chrominance by 11." TONE_DETAIL,
        .accepts = kToneAccepts,
        .selection = Selection::Shapes,
        .params = {{"amount", ParamKind::Int, 1, "", -100, 1000, nullptr,
                    "Chroma amount: the chrominance is scaled by (amount + 100) / 100."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVChroma(SELECTION_ARGS(c), c.Int("amount"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--amount 80"}, {"--amount -100 {ellipse} --outside"}},
    },
    {
        .name = "red-eye-removal",
        .exportName = "QVRedEyeRemoval",
        .summary = "Recolour strongly red pixels, keeping their shading",
        .description =
            "Selected pixels whose red exceeds the mean of green and blue by more than "
            "the threshold (red - (green + blue) / 2 > threshold) become the replacement "
            "colour scaled by their luminance / 255. Usually run on a small ellipse "
            "around an eye.",
        .accepts = "16-, 24- and 32-bit pictures",
        .selection = Selection::Shapes,
        .params = {{"color", ParamKind::Int, 3, "red,green,blue", 0, 255, "0,0,0",
                    "Replacement colour, darkened to each pixel's luminance."},
                   {"threshold", ParamKind::Int, 1, "", 0, 255, "60",
                    "How much redder than the mean of green and blue a pixel must be; 255 "
                    "changes nothing."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVRedEyeRemoval(SELECTION_ARGS(c), c.Byte("color", 0), c.Byte("color", 1),
                                         c.Byte("color", 2), c.Byte("threshold"),
                                         PROGRESS_ARGS(c)));
            },
        .gallery = {{"--color 0,90,160 --threshold 30 {ellipse}"}},
    },
    // ---- neighbourhood filters -------------------------------------------------------
    {
        .name = "blur",
        .exportName = "QVBlur",
        .summary = "Box blur of a chosen radius",
        .description = "Each selected pixel becomes the integer mean (truncated) of the square of "
                       "side 2 x radius + 1 around it, clipped to the work rectangle (the "
                       "selection's bounding box, or the whole picture). Only the source is read, "
                       "never pixels already blurred." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"radius", ParamKind::Int, 1, "", 1, 20, "2",
                    "Blur radius in pixels (the library takes 0 as 1 and anything above 20 as "
                    "20)."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVBlur(SELECTION_ARGS(c), c.Byte("radius"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--radius 4"}, {"--radius 10 {ellipse} --outside"}},
    },
    {
        .name = "anti-alias",
        .exportName = "QVAntiAlias",
        .summary = "Soften jagged vertical edges with a three-pixel horizontal mean",
        .description =
            "Each selected pixel becomes the mean (truncated) of itself and its left and "
            "right neighbours inside the work rectangle; rows do not mix." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {},
        .invoke =
            [](EffectCall& c) { return One(QVAntiAlias(SELECTION_ARGS(c), PROGRESS_ARGS(c))); },
        .gallery = {{""}},
    },
    {
        .name = "custom-filter",
        .exportName = "QVCustomFilter",
        .summary = "Convolution with your own kernel of up to 9 x 9 weights",
        .description =
            "Convolves the picture with the kernel (centred on the pixel; beyond the picture's "
            "border its outermost pixels repeat). For each enabled channel: the sum of weight x "
            "value, divided by the divisor (toward zero), plus the bias, clamped to 0..255. "
            "Channels not enabled become 0; with --direct they keep the source value instead. "
            "--direct uses the direct variant for 24-bit pictures, which clamps polygons and "
            "ellipses into the picture." FILTER_DETAIL,
        .accepts = "8-bit grey, 16-, 24- and 32-bit pictures (with --direct: 24-bit only)",
        .selection = Selection::Shapes,
        .params = {{"kernel", ParamKind::Kernel, 81, "", -1000, 1000, nullptr,
                    "Weights row by row from the top, a square of 1, 3, 5, 7 or 9 on a side, "
                    "placed at the centre of the 9 x 9 kernel."},
                   {"divisor", ParamKind::Int, 1, "", 1, 255, "1", "The sums are divided by it."},
                   {"bias", ParamKind::Int, 1, "", 0, 255, "0", "Added after the division."},
                   {"channels", ParamKind::Bool, 3, "red,green,blue", 0, 1, "1,1,1",
                    "Which channels are filtered."},
                   {"direct", ParamKind::Flag, 1, "", 0, 1, "0",
                    "The direct variant for 24-bit pictures; channels not enabled keep their "
                    "values."}},
        .invoke =
            [](EffectCall& c) {
              const FilterKernel kernel = CentredKernel(c.Numbers("kernel"));
              const int count = c.PointCount() + (c.Int("direct") ? 1000000 : 0);
              return One(QVCustomFilter(&c.images, c.mode, c.Points(), count, c.Rect(), c.inside,
                                        &kernel, c.Int("divisor"), c.Int("bias"),
                                        c.Int("channels", 0), c.Int("channels", 1),
                                        c.Int("channels", 2), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--kernel \"0,-1,0 -1,5,-1 0,-1,0\""},
                    {"--kernel \"-1,-1,0 -1,0,1 0,1,1\" --bias 128"},
                    {"--kernel \"1,1,1,1,1 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1 1,1,1,1,1\" --divisor 25 "
                     "--direct {polygon}"}},
    },
    {
        .name = "emboss",
        .exportName = "QVEmboss",
        .summary = "Relief: directional 3 x 3 kernel plus a bias colour",
        .description =
            "Convolves each channel with one of eight directional relief kernels (every kernel "
            "sums to 0, so flat areas take the bias colour and edges stand out lighter or darker "
            "by direction), divides by 6 - depth (toward zero), adds the bias and clamps. Beyond "
            "the border the outermost pixels repeat." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"direction", ParamKind::Int, 1, "", 0, 7, "1",
                    "Direction of the relief, turning by 45 degrees per step; direction d + 4 "
                    "gives the opposite relief of d."},
                   {"depth", ParamKind::Int, 1, "", 1, 5, "3",
                    "Strength: the sums are divided by 6 - depth."},
                   {"bias", ParamKind::Int, 1, "", 0, 255, "128",
                    "Added after the division; 128 gives a mid-grey relief."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVEmboss(SELECTION_ARGS(c), c.Byte("direction"), c.Byte("depth"),
                                  c.Byte("bias"), PROGRESS_ARGS(c)));
            },
        .gallery = {{""}, {"--direction 6 --depth 5 --bias 100 {ellipse}"}},
    },
    {
        .name = "outline",
        .exportName = "QVOutline",
        .summary = "Edges as grey levels (simple differences, Roberts cross or Sobel)",
        .description =
            "Writes the edge strength floor(sqrt(A^2 + B^2) x gain / 10), clamped to 255, as a "
            "grey level, where A and B are the two gradients of the operator on the chosen "
            "channel. Beyond the border the outermost pixels repeat." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {ChoiceParam(
                       "channel", "luminance",
                       "Channel whose edges are measured; luminance is 0.298912 R + 0.586611 G + "
                       "0.114478 B, truncated.",
                       {{"luminance", 0}, {"red", 1}, {"green", 2}, {"blue", 3}}),
                   ChoiceParam(
                       "operator", "sobel",
                       "Gradient pair: simple differences to the right and below, the Roberts "
                       "cross, or Sobel.",
                       {{"simple", 0}, {"roberts", 1}, {"sobel", 2}}),
                   {"gain", ParamKind::Int, 1, "", 0, 100, "10", "Gain in tenths."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVOutline(SELECTION_ARGS(c), c.Byte("channel"), c.Byte("operator"),
                                   c.Byte("gain"), PROGRESS_ARGS(c)));
            },
        .gallery = {{""}, {"--operator roberts --channel red --gain 40"}},
    },
    {
        .name = "sharp",
        .exportName = "QVSharp",
        .summary = "Sharpen the luminance, keeping each pixel's colour",
        .description =
            "Raises each selected pixel's luminance by a multiple of its difference from the 3 x 3 "
            "neighbourhood inside the picture: Y' = (n Y - S) x (0.03 x strength) + Y, S the sum "
            "of the n neighbourhood luminances (0.298912 R + 0.586611 G + 0.114478 B, "
            "truncated); the pixel's own chrominance is kept. Strength 0 still converts every "
            "selected pixel to luminance and chrominance and back." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"strength", ParamKind::Int, 1, "", 0, 100, "30",
                    "Sharpening strength: gain 0.03 per step, 3.0 at 100."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVSharp(SELECTION_ARGS(c), c.Byte("strength"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--strength 40"}, {"--strength 100 {ellipse}"}},
    },
    {
        .name = "remove-noise",
        .exportName = "QVRemoveNoise",
        .summary = "Median filters against impulse noise",
        .description =
            "Works on the 3 x 3 neighbourhood inside the picture. luminance: each selected pixel "
            "takes the whole colour of the neighbour (itself included) with the median luminance, "
            "equal luminances in row order. selective: each channel in which some neighbour "
            "differs from the pixel by more than 255 - level becomes the median of the "
            "neighbours' values of that channel (the pixel excluded); pixels with no such channel "
            "are left as they are." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {ChoiceParam("method", "luminance", "Which median.",
                               {{"luminance", 0}, {"selective", 1}}),
                   {"level", ParamKind::Int, 1, "", 0, 255, "200",
                    "selective: a channel is replaced when a neighbour differs by more than 255 - "
                    "level (255 replaces every channel that differs at all); luminance ignores "
                    "it."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVRemoveNoise(SELECTION_ARGS(c), c.Byte("method"), c.Byte("level"),
                                       PROGRESS_ARGS(c)));
            },
        .gallery = {{""}, {"--method selective --level 230"}},
    },
    {
        .name = "mosaic",
        .exportName = "QVMosaic",
        .summary = "Paint cells of the picture with their mean colour",
        .description =
            "Cuts the work rectangle into cells from its top-left corner; each cell (clipped to "
            "the picture, so it may reach beyond the selection's box) is painted with the "
            "truncated mean of all its pixels wherever they are selected. Colour-table pictures, "
            "grey ones too, store the table entry nearest to the mean.",
        .accepts = "every depth",
        .selection = Selection::Shapes,
        .params = {{"cell", ParamKind::Int, 2, "width,height", 1, kMaxSide, "8,8",
                    "Cell size in pixels; at least one of the two must be above 1."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVMosaic(SELECTION_ARGS(c), c.Int("cell", 0), c.Int("cell", 1),
                                  PROGRESS_ARGS(c)));
            },
        .gallery = {{"--cell 12,12"}, {"--cell 24,6 {polygon}"}},
        .check = CheckMosaicCell,
    },
    {
        .name = "oil-paint",
        .exportName = "QVOilPaint",
        .summary = "Most frequent colour of a brush window",
        .description =
            "Each selected pixel becomes the most frequent colour of the size x size brush window "
            "around it (an even window reaches one pixel further right and down), clipped to the "
            "work rectangle. Equal counts keep the value that reached the count "
            "first." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {ChoiceParam(
                       "method", "channels",
                       "channels: the most frequent value of each channel separately (the result "
                       "may be a colour the window does not hold); luminance: the colour of the "
                       "pixel whose luminance bin (77 R + 150 G + 29 B) >> 8 is the most frequent.",
                       {{"channels", 0}, {"luminance", 1}}),
                   {"size", ParamKind::Int, 1, "", 1, 255, "5", "Brush size in pixels."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVOilPaint(SELECTION_ARGS(c), c.Byte("method"), c.Byte("size"),
                                    PROGRESS_ARGS(c)));
            },
        .gallery = {{"--size 7"}, {"--method luminance --size 9"}},
    },
    {
        .name = "motion-blur",
        .exportName = "QVMotionBlur",
        .summary = "Blur along a line, an arc around the centre, or a ray from it",
        .description =
            "Each selected pixel becomes the truncated mean of samples read inside the work "
            "rectangle (coordinates truncated toward zero); a pixel without samples keeps its "
            "value. linear: the given number of samples from the pixel in the direction, ending "
            "at the first one outside the rectangle. zoom: samples at 1, 1.02, 1.04 ... times the "
            "pixel's offset from the rectangle's centre, ending likewise. spin: an arc of the "
            "given angle around the rectangle's centre, centred on the pixel; samples outside the "
            "rectangle are skipped; an arc too small for two angles or above 360 degrees is refused "
            "(error 5)." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {ChoiceParam("kind", "linear", "Path of the samples.",
                               {{"linear", 0}, {"spin", 1}, {"zoom", 2}}),
                   {"samples", ParamKind::Int, 1, "", 0, 255, "10",
                    "Samples along the line or ray (linear, zoom); 0 changes nothing; spin "
                    "ignores it."},
                   {"degrees", ParamKind::Int, 1, "", -360, 360, "0",
                    "linear: direction in degrees, clockwise on screen; spin: the arc in degrees "
                    "(not negative); zoom ignores it."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVMotionBlur(SELECTION_ARGS(c), c.Byte("kind"), c.Byte("samples"),
                                      c.Int("degrees"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--samples 20 --degrees 30"},
                    {"--kind spin --degrees 12"},
                    {"--kind zoom --samples 15 {ellipse} --outside"}},
    },
    // ---- distortions and textures ---------------------------------------------------
    {
        .name = "ripple",
        .exportName = "QVRipple",
        .summary = "Concentric rings around the centre of the selection's box",
        .description =
            "Each selected pixel samples the source (bilinearly) along the line through the work "
            "rectangle's centre, moved by s = sin(2 pi r / (2 wavelength) + phase) at its "
            "distance r from the centre, measured with the rectangle stretched to a square. "
            "additive: s x amplitude pixels are added to both coordinates of the offset; scaling: "
            "the offset is scaled by |s| x amplitude. Samples beyond the picture take the "
            "background colour unless --clamp keeps them on its border pixels." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"amplitude", ParamKind::Double, 1, "", -1e6, 1e6, "5",
                    "Pixels (additive) or a scale factor (scaling)."},
                   {"wavelength", ParamKind::Double, 1, "", -1e6, 1e6, "20",
                    "Pixels; rings lie two wavelengths apart. 0 is refused (error 5)."},
                   {"phase", ParamKind::Double, 1, "", -3600, 3600, "0", "Phase in degrees."},
                   {"clamp", ParamKind::Flag, 1, "", 0, 1, "0",
                    "Keep samples on the picture's border pixels instead of the background."},
                   ChoiceParam("mode", "additive", "How s moves a pixel's sample.",
                               {{"additive", 0}, {"scaling", 1}}),
                   {"background", ParamKind::Int, 3, "red,green,blue", 0, 255, "0,0,0",
                    "Colour of samples beyond the picture."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVRipple(SELECTION_ARGS(c), c.Number("amplitude"), c.Number("wavelength"),
                                  c.Number("phase"), c.Int("clamp"), c.Int("mode"),
                                  c.Byte("background", 0), c.Byte("background", 1),
                                  c.Byte("background", 2), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--amplitude 4 --wavelength 6"},
                    {"--mode scaling --amplitude 1.1 --wavelength 25 --clamp"}},
    },
    {
        .name = "waves",
        .exportName = "QVWaves",
        .summary = "Shift columns up and down (or rows sideways) by a wave",
        .description =
            "columns: each column of the work rectangle moves up and down by a sine or triangle "
            "wave running along x; rows: each row moves sideways by a wave running along y. "
            "Where the wave is steep a pixel is the truncated mean of the source pixels its span "
            "covers, elsewhere the blend of the two nearest. Beyond the rectangle the edge mode "
            "clamps to its edge, wraps around within it, or reads the background "
            "colour." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {ChoiceParam("direction", "columns", "What moves.", {{"columns", 0}, {"rows", 1}}),
                   ChoiceParam("shape", "sine", "The wave.", {{"sine", 0}, {"triangle", 1}}),
                   {"wavelength", ParamKind::Int, 1, "", 1, 1e6, "40", "Pixels."},
                   {"amplitude", ParamKind::Int, 1, "", 0, 1e6, "8", "Pixels."},
                   {"phase", ParamKind::Double, 1, "", 0, 1, "0",
                    "Fraction of a wavelength the wave starts at."},
                   ChoiceParam("edge", "fill", "Beyond the rectangle's edges.",
                               {{"fill", 0}, {"clamp", 1}, {"wrap", 2}}),
                   {"background", ParamKind::Int, 3, "red,green,blue", 0, 255, "0,0,0",
                    "Colour read beyond the rectangle (edge fill)."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVWaves(SELECTION_ARGS(c), c.Byte("direction"), c.Byte("shape"),
                                 c.Int("wavelength"), c.Int("amplitude"), c.Number("phase"),
                                 c.Byte("edge"), c.Byte("background", 0), c.Byte("background", 1),
                                 c.Byte("background", 2), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--wavelength 60 --amplitude 10 --edge wrap"},
                    {"--shape triangle --direction rows --wavelength 50 --amplitude 12 --edge "
                     "wrap"}},
    },
    {
        .name = "whirl-pinch",
        .exportName = "QVWhirlPinch",
        .summary = "Turn and pinch the picture around the centre of the selection's box",
        .description =
            "Inside the circle of radius R x sqrt(factor) around the work rectangle's centre (R "
            "its larger half-size, the rectangle stretched to a square), a pixel at relative "
            "distance d samples the source at its offset turned by (1 - d)^2 x degrees and "
            "scaled by sin(d x 90 degrees)^|pinch|: the angle fades out toward the circle, a "
            "pinch above 0 magnifies the middle. Samples beyond the picture take the background "
            "colour; pixels outside the circle are kept." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"degrees", ParamKind::Double, 1, "", -36000, 36000, "90",
                    "Turn at the centre, in degrees."},
                   {"pinch", ParamKind::Double, 1, "", -100, 100, "0",
                    "Pinch exponent; only its magnitude counts; 0 none."},
                   {"factor", ParamKind::Double, 1, "", -100, 100, "1",
                    "Radius factor: the circle reaches R x sqrt(factor); 0 or below changes "
                    "nothing."},
                   {"background", ParamKind::Int, 3, "red,green,blue", 0, 255, "0,0,0",
                    "Colour of samples beyond the picture."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVWhirlPinch(SELECTION_ARGS(c), c.Number("degrees"), c.Number("pinch"),
                                      c.Number("factor"), c.Byte("background", 0),
                                      c.Byte("background", 1), c.Byte("background", 2),
                                      PROGRESS_ARGS(c)));
            },
        .gallery = {{"--degrees 200"}, {"--degrees 0 --pinch 1.5 {ellipse}"}},
    },
    {
        .name = "lens",
        .exportName = "QVLens",
        .summary = "The picture seen through a glass hemisphere on the selection's box",
        .description =
            "A glass hemisphere stands on the ellipse inscribed in the work rectangle; each "
            "selected pixel inside it samples the source (bilinearly) where the refracted ray "
            "meets the picture, half a pixel right and down of the pixel. Index 1 gives the mean "
            "of each pixel's 2 x 2 block; larger indices magnify the middle. At the picture's "
            "right and bottom border the last column and row repeat. Selected pixels on or "
            "outside the ellipse take the fill colour with --fill, else they are "
            "kept." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"index", ParamKind::Double, 1, "", 1, 100, "1.5", "Refractive index."},
                   {"fill", ParamKind::Flag, 1, "", 0, 1, "0",
                    "Paint the pixels outside the ellipse with the fill colour."},
                   {"fill-color", ParamKind::Int, 3, "red,green,blue", 0, 255, "255,255,255",
                    "Fill colour."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVLens(SELECTION_ARGS(c), c.Number("index"), c.Int("fill"),
                                c.Byte("fill-color", 0), c.Byte("fill-color", 1),
                                c.Byte("fill-color", 2), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--index 1.8 --fill --fill-color 30,30,30"}},
    },
    {
        .name = "canvas",
        .exportName = "QVCanvas",
        .summary = "Add the relief of a woven canvas",
        .description =
            "A 128 x 128 relief of a woven canvas (heights -75..75), tiled from the picture's "
            "top-left corner, is added to red, green and blue: height x strength / 10 plus one "
            "half, truncated toward zero; each channel clamped to 0..255." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {ChoiceParam("orientation", "normal", "How the relief lies.",
                               {{"normal", 0},
                                {"mirrored", 1},
                                {"transposed", 2},
                                {"transposed-mirrored", 3}}),
                   {"strength", ParamKind::Int, 1, "", -10000, 10000, "10",
                    "Tenths: 10 adds the relief as it is, 0 nothing, negative values invert it."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVCanvas(SELECTION_ARGS(c), c.Byte("orientation"), c.Int("strength"),
                                  PROGRESS_ARGS(c)));
            },
        .gallery = {{"--strength 10"}, {"--orientation transposed --strength 20 {ellipse}"}},
    },
    {
        .name = "glass-tile",
        .exportName = "QVGlassTile",
        .summary = "The picture seen through a pane of small glass blocks",
        .description =
            "Cuts the work rectangle into tiles from its top-left corner; each tile shows its own "
            "content at half size, twice across and twice down (the tiles at the right and "
            "bottom edges cut off but sampling their whole extent)." FILTER_DETAIL,
        .accepts = kFilterAccepts,
        .selection = Selection::Shapes,
        .params = {{"tile", ParamKind::Int, 2, "width,height", 10, 100, "20,20",
                    "Tile size in pixels."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVGlassTile(SELECTION_ARGS(c), c.Int("tile", 0), c.Int("tile", 1),
                                     PROGRESS_ARGS(c)));
            },
        .gallery = {{"--tile 24,24"}},
    },
    // ---- colour-picked selection and hidden marks ----------------------------------
    {
        .name = "select",
        .exportName = "QVSelectImage",
        .summary = "Cut out a shape's bounding box, the outside in a fill colour",
        .description = kSelectHelp,
        .accepts = "every depth, with a whole-picture, polygon or ellipse selection",
        .selection = Selection::Shapes,
        .params = {kCutOutFillParam},
        .invoke =
            [](EffectCall& c) {
              return Pair(qvx::UnpackHandles(QVSelectImage(
                  c.images.Picture, c.mode, c.Points(), c.PointCount(), c.Rect(), c.inside,
                  c.Int("fill", 0), c.Int("fill", 1), c.Int("fill", 2), PROGRESS_ARGS(c))));
            },
        .gallery = {{"--fill 40,160,90 {ellipse}"}},
        .secondOutput = kShapeMaskOutput,
    },
    {
        .name = "select-ex",
        .exportName = "QVSelectImageEx",
        .summary = "As select (the export's twin that hands back the pair through a pointer)",
        .description = "The same cut-out as select, called through QVSelectImageEx.",
        .accepts = "every depth, with a whole-picture, polygon or ellipse selection",
        .selection = Selection::Shapes,
        .params = {kCutOutFillParam},
        .invoke =
            [](EffectCall& c) {
              ImageHandles result{};
              QVSelectImageEx(c.images.Picture, &result, c.mode, c.Points(), c.PointCount(),
                              c.Rect(), c.inside, c.Int("fill", 0), c.Int("fill", 1),
                              c.Int("fill", 2), PROGRESS_ARGS(c));
              return Pair(result);
            },
        .gallery = {{"--fill 255,255,255 {polygon} --outside"}},
        .secondOutput = kShapeMaskOutput,
    },
    {
        .name = "auto-select",
        .exportName = "QVAutoSelectImage",
        .summary = "Cut out a shape and mask the pixels near a reference colour",
        .description = kAutoSelectHelp,
        .accepts = "every depth, with a whole-picture, polygon or ellipse selection",
        .selection = Selection::Shapes,
        .params = kAutoSelectParams,
        .invoke =
            [](EffectCall& c) {
              return Pair(qvx::UnpackHandles(QVAutoSelectImage(
                  c.images.Picture, c.mode, c.Points(), c.PointCount(), c.Rect(), c.inside,
                  c.Int("color", 0), c.Int("color", 1), c.Int("color", 2), c.Byte("match"),
                  c.Byte("tolerance"), PROGRESS_ARGS(c))));
            },
        // The coffee sample is mostly dark brown.
        .gallery = {{"--color 60,35,20 --match rgb --tolerance 30"},
                    {"--color 60,35,20 --match chroma --tolerance 6"},
                    {"--color 60,35,20 --match luminance --tolerance 10 {ellipse}"}},
        .secondOutput = kMatchMaskOutput,
    },
    {
        .name = "auto-select-ex",
        .exportName = "QVAutoSelectImageEx",
        .summary = "As auto-select (the export's twin that hands back the pair through a pointer)",
        .description = "The same selection as auto-select, called through QVAutoSelectImageEx.",
        .accepts = "every depth, with a whole-picture, polygon or ellipse selection",
        .selection = Selection::Shapes,
        .params = kAutoSelectParams,
        .invoke =
            [](EffectCall& c) {
              ImageHandles result{};
              QVAutoSelectImageEx(c.images.Picture, &result, c.mode, c.Points(), c.PointCount(),
                                  c.Rect(), c.inside, c.Int("color", 0), c.Int("color", 1),
                                  c.Int("color", 2), c.Byte("match"), c.Byte("tolerance"),
                                  PROGRESS_ARGS(c));
              return Pair(result);
            },
        .gallery = {{"--color 200,200,200 --match luminance --tolerance 40 {polygon} --outside"}},
        .secondOutput = kMatchMaskOutput,
    },
    {
        .name = "set-secret",
        .exportName = "QVSetSecretImage",
        .summary = "Hide a mark (a mask picture or a line of text) in the luminance",
        .description = kSetSecretHelp,
        .accepts = "24-bit pictures; a 1-bit mark picture",
        .selection = Selection::TravelMask,
        .params =
            {{"text", ParamKind::Text, 127, "", 0, 0, "",
              "Text of the mark (UTF-8); not used with --mask."},
             {"font", ParamKind::Text, 31, "", 0, 0, "DejaVu Sans", "Font face name."},
             {"size", ParamKind::Int, 1, "", 1, 2048, "32", "Character height in pixels."},
             {"style", ParamKind::Bool, 3, "bold,italic,underline", 0, 1, "0,0,0", "Font style."},
             ChoiceParam("direction", "0",
                         "Writing direction: 0 a line, 1 reversed, 2 stacked "
                         "down, 3 stacked down reversed.",
                         {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}}),
             ChoiceParam("angle", "0", "Turn of the text in degrees, counter-clockwise.",
                         {{"0", 0}, {"90", 90}, {"180", 180}, {"270", 270}}),
             {"shift", ParamKind::Int, 1, "", -20, 20, "5", "Luminance shift of marked pixels."},
             {"rect", ParamKind::Int, 4, "left,top,right,bottom", -kMaxSide, kMaxSide, nullptr,
              "Text rectangle; with --mask only left,top count: the mark's top-left pixel."},
             {"reveal", ParamKind::Flag, 1, "", 0, 1, "0",
              "Write the check of the marked picture against INPUT instead (the mark made "
              "visible)."}},
        .invoke =
            [](EffectCall& c) {
              const RECT r = RectParam(c, "rect");
              const std::string& text = c.Text("text");
              HGLOBAL marked = QVSetSecretImage(
                  c.images.Picture, c.images.Mask, text.c_str(), c.Text("font").c_str(),
                  static_cast<WORD>(c.Int("size")), c.Byte("style", 0), c.Byte("style", 1),
                  c.Byte("style", 2), 0, c.Byte("direction"), static_cast<WORD>(c.Int("angle")),
                  c.Int("shift"), r.left, r.top, r.right, r.bottom, PROGRESS_ARGS(c));
              if (!marked || !c.Int("reveal")) return One(marked);
              HGLOBAL check =
                  QVCheckSecretImage(c.images.Picture, marked, c.Int("shift"), PROGRESS_ARGS(c));
              GlobalFree(marked);
              return One(check);
            },
        .gallery = {{"--text \"Hidden 20\" --size {H:0.2} --shift 20 --rect "
                     "{w:0.1},{h:0.3},{w:0.9},{h:0.7}"},
                    {"--text \"Hidden 20\" --size {H:0.2} --shift 20 --rect "
                     "{w:0.1},{h:0.3},{w:0.9},{h:0.7} --reveal"},
                    {"--text QVX --size {H:0.15} --angle 90 --direction 2 --shift 8 --rect "
                     "{w:0.3},{h:0.1},{w:0.7},{h:0.9} --reveal"}},
    },
    {
        .name = "check-secret",
        .exportName = "QVCheckSecretImage",
        .summary = "Mask the pixels whose luminance rose from the first picture to the second",
        .description =
            "Compares two 24-bit pictures of the same size and returns a 1-bit mask with the "
            "pixels where Y(second) - Y(first) >= threshold (taken into -20..20), Y = 0.298912 R "
            "+ 0.586611 G + 0.114478 B rounded. With the unmarked picture first and the marked "
            "one second, and the mark's shift as threshold, it shows a hidden mark.",
        .accepts = "two 24-bit pictures of the same size",
        .selection = Selection::None,
        .params = {{"threshold", ParamKind::Int, 1, "", -20, 20, "5",
                    "Least rise of luminance marked."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVCheckSecretImage(c.images.Picture, c.extraInputs.at(0),
                                            c.Int("threshold"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--threshold 0"}},
        .extraInputs = 1,
        .extraInputHelp = "the second picture (the marked one)",
    },
    // ---- geometry ------------------------------------------------------------------
    {
        .name = "resize",
        .exportName = "QVResize",
        .summary = "Scale the picture (and a mask travelling with it)",
        .description =
            "Scales the picture to width x height. Without smoothing every result pixel copies "
            "the nearest source pixel (palette indices kept). With smoothing, for 16-, 24- and "
            "32-bit and 8-bit grey pictures, shrinking dimensions are box-averaged and growing "
            "ones bilinearly blended; other palette pictures are still resized by nearest pixel. "
            "Transparency is resized with the picture. A mask given with --mask is resized with "
            "the picture by nearest pixel and written to SECOND-OUTPUT.",
        .accepts = "every depth",
        .selection = Selection::TravelMask,
        .params = kResizeParams,
        .invoke =
            [](EffectCall& c) {
              return Pair(qvx::UnpackHandles(QVResize(&c.images, c.Int("width"), c.Int("height"),
                                                      c.Int("smooth"), PROGRESS_ARGS(c))));
            },
        .gallery = {{"--width {W:0.5} --height {H:0.5}"}, {"--width 60 --height 40 --no-smooth"}},
        .secondOutput = kMaskOutput,
        .alphaArgs = "",
        .check = FillResizeSize,
    },
    {
        .name = "resize-ex",
        .exportName = "QVResizeEx",
        .summary = "Scale the picture, as resize",
        .description = "The same scaling as resize, through the library's second entry point "
                       "for it (QVResizeEx).",
        .accepts = "every depth",
        .selection = Selection::TravelMask,
        .params = kResizeParams,
        .invoke =
            [](EffectCall& c) {
              ImageHandles result{};
              QVResizeEx(&c.images, &result, c.Int("width"), c.Int("height"), c.Int("smooth"),
                         PROGRESS_ARGS(c));
              return Pair(result);
            },
        .gallery = {{"--width {W:1.5} --height {H:1.5}"}},
        .secondOutput = kMaskOutput,
        .alphaArgs = "",
        .check = FillResizeSize,
    },
    {
        .name = "rotation",
        .exportName = "QVRotation",
        .summary = "Turn the picture (and a mask travelling with it) by any angle",
        .description =
            "Turns the picture by the angle, counter-clockwise on screen, after mirroring it "
            "left-right and flipping it top-bottom when asked. 0, 90, 180 and 270 degrees are "
            "exact; other angles sample the nearest source pixel, or with smoothing (16-, 24-, "
            "32-bit and 8-bit grey pictures only) blend four pixels. Uncovered pixels take the "
            "background colour (palette pictures: the nearest table entry). The result holds the "
            "whole turned picture, or keeps the source's size. Transparency turns with the "
            "picture; uncovered pixels of a transparent picture are transparent. A mask given "
            "with --mask turns with the picture (its uncovered pixels unselected) and is written "
            "to SECOND-OUTPUT.",
        .accepts = "every depth",
        .selection = Selection::TravelMask,
        .params = kRotationParams,
        .invoke =
            [](EffectCall& c) {
              return Pair(qvx::UnpackHandles(
                  QVRotation(&c.images, c.Int("angle"), c.Int("mirror"), c.Int("flip"),
                             c.Int("smooth"), c.Int("background", 0), c.Int("background", 1),
                             c.Int("background", 2), c.Int("keep-size"), PROGRESS_ARGS(c))));
            },
        .gallery = {{"--angle 30 --background 40,40,40"},
                    {"--angle 90"},
                    {"--angle -15 --keep-size --mirror"}},
        .secondOutput = kMaskOutput,
        .alphaArgs = "--background 0,0,0",
    },
    {
        .name = "rotation-ex",
        .exportName = "QVRotationEx",
        .summary = "Turn the picture, as rotation",
        .description = "The same turn as rotation, through the library's second entry point for "
                       "it (QVRotationEx).",
        .accepts = "every depth",
        .selection = Selection::TravelMask,
        .params = kRotationParams,
        .invoke =
            [](EffectCall& c) {
              ImageHandles result{};
              QVRotationEx(&c.images, &result, c.Int("angle"), c.Int("mirror"), c.Int("flip"),
                           c.Int("smooth"), c.Int("background", 0), c.Int("background", 1),
                           c.Int("background", 2), c.Int("keep-size"), PROGRESS_ARGS(c));
              return Pair(result);
            },
        .gallery = {{"--angle 180 --flip"}},
        .secondOutput = kMaskOutput,
        .alphaArgs = "--background 0,0,0",
    },
    {
        .name = "cut-rect",
        .exportName = "QVCutRectImage",
        .summary = "Copy a rectangle of the picture into a new picture",
        .description = "Copies the rectangle left..right by top..bottom (inclusive, y from the "
                       "top) into a new picture of the same format. The rectangle is clamped into "
                       "the picture and its corners swapped when given the wrong way round.",
        .accepts = "every depth",
        .selection = Selection::None,
        .params = {{"rect", ParamKind::Int, 4, "left,top,right,bottom", -kMaxSide, kMaxSide,
                    nullptr, "The rectangle to copy, inclusive."}},
        .invoke =
            [](EffectCall& c) {
              RECT rect = RectParam(c, "rect");
              return One(QVCutRectImage(c.images.Picture, &rect, PROGRESS_ARGS(c)));
            },
        // The second run is the base picture of the panorama's gallery runs.
        .gallery = {{"--rect {w:0.25},{h:0.2},{w:0.75},{h:0.8}"}, {"--rect 0,0,{h:0.9},{h:1}"}},
        .alphaArgs = "",
        .check = CheckRectOverlaps,
    },
    {
        .name = "affine",
        .exportName = "QVAffine",
        .summary = "Stretch a quadrilateral region onto an upright rectangle",
        .description =
            "Takes the four corners of a quadrilateral region (a document or screen photographed "
            "at a slant), in any order, and stretches the region onto an upright picture the size "
            "of the largest upright rectangle inside the corners, so that the region's edges "
            "become the picture's edges. Corners outside the picture are pulled onto its border. "
            "A region within 2 pixels of upright is cut out as it is. Cells of the result that no "
            "source pixel reaches are black (index 0); warped 32-bit pixels have alpha 0.",
        .accepts = "every depth",
        .selection = Selection::None,
        .params = {{"corners", ParamKind::Points, 4, "", -kMaxSide, kMaxSide, nullptr,
                    "The four corners x,y (y from the top), in any order."}},
        .invoke =
            [](EffectCall& c) {
              const std::vector<POINT>& p = c.PointList("corners");
              return One(QVAffine(c.images.Picture, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x,
                                  p[2].y, p[3].x, p[3].y, PROGRESS_ARGS(c)));
            },
        // The second run, a square turned by 5 degrees around (h, h / 2),
        // comes out turned back and scaled by 0.91: the second picture of the
        // panorama's gallery runs.
        .gallery = {{"--corners \"{w:0.3},{h:0.12} {w:0.92},{h:0.3} {w:0.7},{h:0.92} "
                     "{w:0.08},{h:0.7}\""},
                    {"--corners \"{h:0.59},{h:0.0125} {h:1.4875},{h:0.09} {h:1.41},{h:0.9875} "
                     "{h:0.5125},{h:0.91}\""}},
        .alphaArgs = "",
        .gallerySide = 16,
    },
    {
        .name = "resize-color-bit",
        .exportName = "ResizeColorBit",
        .summary = "Box-average a rectangle of a colour picture down to a given size",
        .description =
            "Scales the rectangle left..right by top..bottom (inclusive; at least 2 x 2 pixels) "
            "to width x height by box averaging, in one call without progress bar. The rectangle "
            "is clamped into the picture; a result larger than the rectangle samples one source "
            "pixel where a box would be empty. 16-, 24- and 32-bit pictures are averaged per "
            "channel (32-bit results have alpha 0); 1-, 4- and 8-bit colour pictures through "
            "their colour table, taking the nearest entry.",
        .accepts = "1-, 4-, 8-bit colour, 16-, 24- and 32-bit pictures (not grey), and a "
                   "rectangle of at least 2 x 2 pixels",
        .selection = Selection::None,
        .params = {{"rect", ParamKind::Int, 4, "left,top,right,bottom", -kMaxSide, kMaxSide,
                    nullptr, "The rectangle to scale, inclusive."},
                   {"width", ParamKind::Int, 1, "", 1, kMaxSide, nullptr, "Width of the result."},
                   {"height", ParamKind::Int, 1, "", 1, kMaxSide, nullptr,
                    "Height of the result."}},
        .invoke =
            [](EffectCall& c) {
              const RECT r = RectParam(c, "rect");
              return One(ResizeColorBit(c.images.Picture, r.left, r.top, r.right, r.bottom,
                                        c.Int("width"), c.Int("height")));
            },
        .gallery = {{"--rect {w:0.2},{h:0.2},{w:0.8},{h:0.8} --width {W:0.3} --height {H:0.3}"}},
        .alphaArgs = "",
        .check = CheckScaledRect,
    },
    // ---- compositing: a second picture given by --layer (and --mask, --alpha) ----
    {
        .name = "make-rgba",
        .exportName = "QVMakeRGBAImage",
        .summary = "Combine a picture and an alpha picture into a 32-bit picture",
        .description = "A new 32-bit picture with the colours of INPUT and, as each pixel's fourth "
                       "byte, the alpha of the picture given by --alpha: the grey level of an 8-bit "
                       "grey picture, or for a 1-bit picture the grey of its colour (black 0, white "
                       "255). Both pictures must have the same size.",
        .accepts = "every depth, with an alpha picture of 1 bit or 8-bit grey of its size",
        .selection = Selection::None,
        .params = {{"alpha", ParamKind::Picture, 1, "", 0, 0, nullptr,
                    "The alpha picture: 1-bit or 8-bit grey, the size of INPUT."}},
        .invoke =
            [](EffectCall& c) {
              return One(QVMakeRGBAImage(c.images.Picture, c.PictureParam("alpha"),
                                         PROGRESS_ARGS(c)));
            },
        .gallery = {{"--alpha {alpha}"}},
        .alphaOut = true,
    },
    {
        .name = "split-rgba",
        .exportName = "QVSplitRGBAImage",
        .summary = "Split a 32-bit picture into its colours and its alpha",
        .description = "Writes the colours of a 32-bit picture as a 24-bit picture to OUTPUT and "
                       "its alpha channel as an 8-bit grey picture to SECOND-OUTPUT.",
        .accepts = "32-bit pictures",
        .selection = Selection::None,
        .params = {},
        .invoke =
            [](EffectCall& c) {
              HGLOBAL colour = nullptr, alpha = nullptr;
              QVSplitRGBAImage(c.images.Picture, &colour, &alpha, PROGRESS_ARGS(c));
              return EffectResult{colour, alpha};
            },
        .gallery = {{"", "{out:make-rgba.png}"}},
        .secondOutput = "the alpha, an 8-bit grey picture",
        .alphaIn = true,
    },
    {
        .name = "layer",
        .exportName = "QVLayer",
        .summary = "Lay a second picture over the picture",
        .description = kLayerHelp,
        .accepts = kCompositeAccepts,
        .selection = Selection::None,
        .params = kLayerParams,
        .invoke =
            [](EffectCall& c) {
              return One(QVLayer(c.images.Picture, c.PictureParam("layer"), c.Byte("opacity"),
                                 c.Int("key-on"), c.Int("key", 0), c.Int("key", 1),
                                 c.Int("key", 2), c.Int("fill", 0), c.Int("fill", 1),
                                 c.Int("fill", 2), c.Int("offset", 0), c.Int("offset", 1),
                                 c.Int("clip"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--layer {input} --opacity 128 --offset {w:0.3},{h:0.25}"},
                    {"--layer {alpha} --opacity 255 --key-on --key 0,0,0 --offset "
                     "{w:0.3},{h:0.3} --no-clip --fill 40,40,40"}},
    },
    {
        .name = "layer-ex",
        .exportName = "QVLayerEx",
        .summary = "Lay a second picture over the picture, a 32-bit one with its own alpha",
        .description = "As layer; with --alpha-mode (the default) a 32-bit layer is mixed in with each "
                       "pixel's alpha as its opacity (--opacity is then not used), and every "
                       "written pixel of a 32-bit result is made opaque.",
        .accepts = kCompositeAccepts,
        .selection = Selection::None,
        .params = kLayerExParams,
        .invoke =
            [](EffectCall& c) {
              return One(QVLayerEx(c.images.Picture, c.PictureParam("layer"), c.Byte("opacity"),
                                   c.Int("key-on"), c.Int("key", 0), c.Int("key", 1),
                                   c.Int("key", 2), c.Int("fill", 0), c.Int("fill", 1),
                                   c.Int("fill", 2), c.Int("offset", 0), c.Int("offset", 1),
                                   c.Int("clip"), c.Int("alpha-mode"), PROGRESS_ARGS(c)));
            },
        .gallery = {{"--layer {out:make-rgba.png} --alpha-mode --offset {w:0.25},{h:0.2}"}},
    },
    {
        .name = "paste",
        .exportName = "QVPasteImage",
        .summary = "Paste a second picture, turned by any angle, onto the picture",
        .description =
            "Pastes the picture given by --layer (limited to the non-black pixels of --mask, a "
            "picture of its size, when given) with its centre pixel on --centre, after mirroring "
            "and flipping it when asked and turning it counter-clockwise by --angle degrees (to the "
            "hundredth). 0, 90, 180 and 270 degrees move pixels exactly; other angles blend four "
            "pixels (palette results take the nearest), and pixels cut away by the mask or the "
            "key take the target's colour at the pasted edge. Opacity, key and fill as for layer; "
            "with --no-clip the result also holds the whole pasted area.",
        .accepts = kCompositeAccepts,
        .selection = Selection::None,
        .params = {{"layer", ParamKind::Picture, 1, "", 0, 0, nullptr,
                    "The picture to paste, of any depth."},
                   {"mask", ParamKind::Mask, 1, "", 0, 0, "",
                    "Pixels of the pasted picture to paste (its size); all when not given."},
                   {"angle", ParamKind::Degrees, 1, "", -21474836, 21474836, "0",
                    "Turn in degrees, counter-clockwise (90 is a quarter turn to the left)."},
                   {"mirror", ParamKind::Flag, 1, "", 0, 1, "0", "Mirror it left-right first."},
                   {"flip", ParamKind::Flag, 1, "", 0, 1, "0",
                    "Flip it top-bottom (after the mirror)."},
                   kOpacityParam,
                   kKeyOnParam,
                   kKeyParam,
                   kCompositeFillParam,
                   {"centre", ParamKind::Int, 2, "x,y", -kMaxInt, kMaxInt, "0,0",
                    "Pixel of the picture (y from the top) on which the pasted centre lands."},
                   kClipParam},
        .invoke =
            [](EffectCall& c) {
              ImageHandles pasted{c.PictureParam("layer"), c.PictureParam("mask")};
              return One(QVPasteImage(c.images.Picture, &pasted, c.Int("angle"), c.Int("mirror"),
                                      c.Int("flip"), c.Byte("opacity"), c.Int("key-on"),
                                      c.Int("key", 0), c.Int("key", 1), c.Int("key", 2),
                                      c.Int("fill", 0), c.Int("fill", 1), c.Int("fill", 2),
                                      c.Int("centre", 0), c.Int("centre", 1), c.Int("clip"),
                                      PROGRESS_ARGS(c)));
            },
        .gallery = {{"--layer {input} --mask {alpha} --angle 30 --centre {w:0.5},{h:0.5} "
                     "--no-clip --fill 40,40,40"}},
    },
    {
        .name = "panorama",
        .exportName = "QVPanorama",
        .summary = "Join two overlapping photographs on two features marked in both",
        .description =
            "Scales the --second picture (smoothing resize) so that the segment between its two "
            "--second-points is as long as the segment between the two --points on the picture, "
            "turns it so that both point the same way and pastes it over the picture so that its "
            "first point covers the picture's first point; the result grows to hold both, the "
            "rest taking the fill colour. --seam 1 or 2 cuts the second picture along the line "
            "through its points and pastes only one side (with the line): 1 the side on the left "
            "of the way from its first point to its second as seen on screen, 2 the other.",
        .accepts = "24-bit pictures (both)",
        .selection = Selection::None,
        .params = {{"second", ParamKind::Picture, 1, "", 0, 0, nullptr,
                    "The second picture (24-bit), overlapping the first."},
                   {"points", ParamKind::Points, 2, "", -kMaxInt, kMaxInt, nullptr,
                    "Two features on the picture, x,y (y from the top)."},
                   {"second-points", ParamKind::Points, 2, "", -kMaxInt, kMaxInt, nullptr,
                    "The same two features on the second picture, in the same order."},
                   {"seam", ParamKind::Int, 1, "", 0, 2, "0",
                    "0: paste all of the second picture; 1 or 2: one side of the seam."},
                   kCompositeFillParam},
        .invoke =
            [](EffectCall& c) {
              const std::vector<POINT>& p = c.PointList("points");
              const std::vector<POINT>& q = c.PointList("second-points");
              return One(QVPanorama(c.images.Picture, c.PictureParam("second"), c.Byte("seam"),
                                    p[0].x, p[0].y, p[1].x, p[1].y, q[0].x, q[0].y, q[1].x,
                                    q[1].y, c.Int("fill", 0), c.Int("fill", 1), c.Int("fill", 2),
                                    PROGRESS_ARGS(c)));
            },
        // The left part of the sample (cut-rect's second run) joined with a
        // turned and shrunk square of its right part (affine's second run) on
        // the sample's features (0.75h, 0.3h) and (0.8h, 0.75h), which lie at
        // (67, 99) and (99, 261) of the square at 400 pixels of height.
        .gallery = {{"--second {out:affine-2.png} --points \"{h:0.75},{h:0.3} {h:0.8},{h:0.75}\" "
                     "--second-points \"{h:0.1675},{h:0.2475} {h:0.2475},{h:0.6525}\" "
                     "--fill 40,40,40",
                     "{out:cut-rect-2.png}"},
                    {"--second {out:affine-2.png} --points \"{h:0.75},{h:0.3} {h:0.8},{h:0.75}\" "
                     "--second-points \"{h:0.1675},{h:0.2475} {h:0.2475},{h:0.6525}\" "
                     "--seam 1 --fill 40,40,40",
                     "{out:cut-rect-2.png}"}},
        .gallerySide = 16,
    },
};

int IndexOf(const EffectCall& call, const char* name) {
  for (std::size_t i = 0; i < call.specs->size(); ++i)
    if (std::strcmp((*call.specs)[i].name, name) == 0) return static_cast<int>(i);
  // A call function asking for a parameter its entry does not declare is a
  // mistake in the table; the table test runs every entry and catches it.
  std::fprintf(stderr, "qvxeffect: internal error: no parameter '%s'\n", name);
  std::abort();
}

}  // namespace

double EffectCall::Number(const char* name, int i) const { return Numbers(name).at(i); }

const std::vector<double>& EffectCall::Numbers(const char* name) const {
  return (*values)[IndexOf(*this, name)].numbers;
}

std::vector<POINT>& EffectCall::PointList(const char* name) const {
  return (*values)[IndexOf(*this, name)].points;
}

const std::string& EffectCall::Text(const char* name) const {
  return (*values)[IndexOf(*this, name)].text;
}

HGLOBAL EffectCall::PictureParam(const char* name) const {
  return (*values)[IndexOf(*this, name)].picture;
}

const std::vector<EffectSpec>& EffectTable() { return kEffects; }

const EffectSpec* FindEffect(const std::string& name) {
  for (const EffectSpec& spec : kEffects)
    if (strcasecmp(name.c_str(), spec.name) == 0 ||
        strcasecmp(name.c_str(), spec.exportName) == 0 ||
        strcasecmp(name.c_str(), spec.exportName + 2) == 0)
      return &spec;
  return nullptr;
}

}  // namespace qvx::cli
