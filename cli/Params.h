// Parameter values of the command-line tool: reading them from their
// command-line form, checking them against the table's ranges, and
// describing them in help texts.
#pragma once

#include <string>
#include <vector>

#include "cli/EffectTable.h"

namespace qvx::cli {

// Reads `text` as a value of `spec`, checking every number against its
// range. On failure `error` says what is wrong with the text (without the
// option's name).
bool ParseParam(const ParamSpec& spec, const std::string& text, ParamValue& value,
                std::string& error);

// A polygon selection: "x,y x,y ..." (spaces or semicolons between points),
// at least two points.
bool ParsePolygon(const std::string& text, std::vector<POINT>& points, std::string& error);
// An ellipse selection: "left,top,right,bottom", non-zero width and height.
bool ParseEllipse(const std::string& text, RECT& rect, std::string& error);

// The form a value takes on the command line, e.g. "R,G,B" or "NUMBER".
std::string ParamTypeName(const ParamSpec& spec);
// "-255..255", "0..1", or the choice names.
std::string ParamRange(const ParamSpec& spec);
// A number as the help shows it: no trailing zeros.
std::string FormatNumber(double value);

}  // namespace qvx::cli
