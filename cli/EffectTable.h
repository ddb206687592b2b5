// The command-line tool's table of effects: one entry per exported function,
// holding everything the tool needs to offer it to a user (name, help,
// parameters with their types, ranges and defaults, the sample runs of the
// gallery) and a small function that makes the call with the arguments in
// the export's order. Adding an effect to the tool is adding one entry.
#pragma once

#include <string>
#include <vector>

#include "exports/Exported.h"

namespace qvx::cli {

enum class ParamKind {
  Int,     // whole numbers, comma-separated when count > 1
  Double,  // decimal numbers, comma-separated when count > 1
  Bool,    // 0/1, no/yes, off/on, false/true; comma-separated when count > 1
  Choice,  // one of the named values (or its number)
  Curve,   // "x,y x,y ...": at most `count` points, x strictly increasing
  Points,  // "x,y x,y ...": exactly `count` points, in any order
  Kernel,  // whole numbers filling a centred odd square of at most `count` cells
  Text,    // a string of at most `count` bytes, passed as it is
  Flag,     // on/off without a value: --name turns it on, --no-name off; count 1,
            // fallback "0" or "1"; the call gets 0 or 1
  Degrees,  // an angle in degrees with decimals, min..max in degrees; the call gets
            // hundredths of a degree, rounded to the nearest
  Picture, // a picture file, handed to the library as it is; "" for none
  Mask,    // a picture file made into a 1-bit mask (non-black pixels selected); "" for none
};

struct ChoiceValue {
  const char* name;
  int value;
};

struct ParamSpec {
  const char* name;  // option name without the dashes: "gamma" for --gamma
  ParamKind kind;
  int count;             // numbers given (Int, Double, Bool); most points (Curve)
  const char* parts;     // names of the numbers, e.g. "red,green,blue", or ""
  double min, max;       // inclusive range of every number (Curve: of x and y)
  const char* fallback;  // default in command-line form; null when required
  const char* help;      // meaning, in the library's words
  std::vector<ChoiceValue> choices = {};
};

// Parsed parameter values by parameter, in table order.
struct ParamValue {
  std::vector<double> numbers;  // Int, Double, Bool, Choice, Kernel (row by row)
  std::vector<POINT> points;    // Curve
  std::string text;             // Text
  std::string path;             // Picture, Mask: the file ("" for none)
  HGLOBAL picture = nullptr;    // Picture, Mask: the file's picture while the call runs
};

// Everything one call of an export needs: pictures, selection, parameters.
struct EffectCall {
  ImageHandles images{};  // Picture = source; Mask = selection or travelling mask
  BYTE mode = 1;          // selection mode: 0 mask, 1 whole picture, 2 polygon, 3 ellipse
  std::vector<POINT> polygon;
  RECT ellipse{};
  BOOL inside = TRUE;
  BOOL noDialog = FALSE;
  std::vector<HGLOBAL> extraInputs;  // second and further input pictures
  const std::vector<ParamSpec>* specs = nullptr;
  std::vector<ParamValue>* values = nullptr;

  POINT* Points() { return polygon.empty() ? nullptr : polygon.data(); }
  int PointCount() const { return static_cast<int>(polygon.size()); }
  const RECT* Rect() const { return &ellipse; }
  // Component `i` of the parameter called `name`.
  double Number(const char* name, int i = 0) const;
  int Int(const char* name, int i = 0) const { return static_cast<int>(Number(name, i)); }
  BYTE Byte(const char* name, int i = 0) const { return static_cast<BYTE>(Int(name, i)); }
  const std::vector<double>& Numbers(const char* name) const;
  std::vector<POINT>& PointList(const char* name) const;
  const std::string& Text(const char* name) const;
  // The picture of a Picture or Mask parameter (0 when none was given).
  HGLOBAL PictureParam(const char* name) const;
};

// What a call returned: the new picture and, for exports that return a pair,
// the second handle (a mask). The tool frees both.
struct EffectResult {
  HGLOBAL picture = nullptr;
  HGLOBAL second = nullptr;
};

using EffectInvoke = EffectResult (*)(EffectCall& call);

enum class Selection {
  None,        // the export takes no selection arguments
  Shapes,      // --polygon, --ellipse, --mask, --outside
  TravelMask,  // --mask FILE travels with the picture and comes out resized
};

// One sample run of the gallery: parameters in command-line form. "{ellipse}",
// "{polygon}" and "{box}" stand for a shape fitted to the input picture.
// "{input}" stands for the gallery's input file, "{alpha}" for a grey disc
// fading to black at the input's size that the gallery writes first, and
// "{out:FILE}" for a file an earlier sample wrote. `input` (the same
// placeholders allowed) replaces the gallery's input as INPUT.
struct GallerySample {
  const char* args;
  const char* input = nullptr;
};

struct EffectSpec {
  const char* name;         // command name, e.g. "rgb-gamma"
  const char* exportName;   // e.g. "QVRGBGamma"
  const char* summary;      // one line for `list`
  const char* description;  // paragraph for --help
  const char* accepts;      // pictures the effect takes
  Selection selection;
  std::vector<ParamSpec> params;
  EffectInvoke invoke;
  std::vector<GallerySample> gallery;
  int extraInputs = 0;  // picture files read after INPUT
  const char* extraInputHelp = "";
  const char* secondOutput = "";  // help of the optional second output file
  // Effects that change the picture's geometry give a transparent picture's
  // alpha plane the same treatment: the same call on the plane as an 8-bit
  // grey picture, with these parameters (command-line form) put over the
  // user's, e.g. "--background 0,0,0" so that new area is transparent. Null
  // for effects that keep every pixel where it is (the output then takes
  // the input's alpha as it stands).
  const char* alphaArgs = nullptr;
  // Checks of the parameters together or against the picture's size that
  // the ranges cannot express, run before the call; returns why the library
  // would refuse or misread them, or "" when they are fine. It may also work
  // out values that depend on the picture (a height kept in proportion).
  std::string (*check)(EffectCall& call, int width, int height) = nullptr;
  // Effects whose 32-bit pictures carry opacity in their fourth bytes:
  // `alphaIn`, the input's alpha plane goes into them for the call (and the
  // outputs keep none); `alphaOut`, the result's fourth bytes become the
  // output's alpha plane.
  bool alphaIn = false;
  bool alphaOut = false;
  // The gallery shows the effect only on pictures at least this many pixels
  // wide and high (a quadrilateral needs room for its corners).
  int gallerySide = 1;
};

const std::vector<EffectSpec>& EffectTable();
// The entry called `name` (command name or export name, any letter case).
const EffectSpec* FindEffect(const std::string& name);

}  // namespace qvx::cli
