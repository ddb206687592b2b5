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
  Kernel,  // whole numbers filling a centred odd square of at most `count` cells
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
struct GallerySample {
  const char* args;
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
};

const std::vector<EffectSpec>& EffectTable();
// The entry called `name` (command name or export name, any letter case).
const EffectSpec* FindEffect(const std::string& name);

}  // namespace qvx::cli
