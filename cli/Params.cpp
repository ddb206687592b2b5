// Parameter values of the command-line tool.
#include "cli/Params.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qvx::cli {

namespace {

// Coordinates of a selection shape: far beyond any picture, well inside int.
constexpr double kShapeLimit = 1000000;

std::vector<std::string> Split(const std::string& text, const char* separators) {
  std::vector<std::string> parts;
  std::string part;
  bool any = false;
  for (const char c : text) {
    if (std::strchr(separators, c)) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
    any = true;
  }
  if (any) parts.push_back(part);
  return parts;
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// The points of "x,y x,y ..." with spaces or semicolons between points.
std::vector<std::string> PointTexts(const std::string& text) {
  std::vector<std::string> points;
  for (const std::string& piece : Split(text, " \t;"))
    if (!piece.empty()) points.push_back(piece);
  return points;
}

bool ReadNumber(const std::string& raw, bool whole, double& number, std::string& error) {
  const std::string text = Trim(raw);
  if (text.empty()) {
    error = "a number is missing";
    return false;
  }
  errno = 0;
  char* end = nullptr;
  if (whole) {
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0') {
      error = "'" + text + "' is not a whole number";
      return false;
    }
    number = errno == ERANGE ? (value < 0 ? -HUGE_VAL : HUGE_VAL) : static_cast<double>(value);
  } else {
    number = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(number)) {
      error = "'" + text + "' is not a number";
      return false;
    }
  }
  return true;
}

bool ReadBool(const std::string& raw, double& number, std::string& error) {
  const std::string text = Trim(raw);
  static const char* const kNo[] = {"0", "no", "off", "false"};
  static const char* const kYes[] = {"1", "yes", "on", "true"};
  for (const char* word : kNo)
    if (strcasecmp(text.c_str(), word) == 0) return number = 0, true;
  for (const char* word : kYes)
    if (strcasecmp(text.c_str(), word) == 0) return number = 1, true;
  error = "'" + text + "' is not one of 0/1, no/yes, off/on, false/true";
  return false;
}

bool ReadChoice(const ParamSpec& spec, const std::string& raw, double& number, std::string& error) {
  const std::string text = Trim(raw);
  for (const ChoiceValue& choice : spec.choices)
    if (strcasecmp(text.c_str(), choice.name) == 0 || text == std::to_string(choice.value))
      return number = choice.value, true;
  error = "'" + text + "' is not one of " + ParamRange(spec);
  return false;
}

bool InRange(double number, double min, double max, const std::string& what, std::string& error) {
  if (number >= min && number <= max) return true;
  error =
      what + FormatNumber(number) + " is outside " + FormatNumber(min) + ".." + FormatNumber(max);
  return false;
}

// The name of component i for messages: "red 300 is outside ...".
std::string PartName(const ParamSpec& spec, int i) {
  const std::vector<std::string> names = Split(spec.parts, ",");
  if (spec.count > 1 && i < static_cast<int>(names.size())) return names[i] + " ";
  return "";
}

bool ReadPoint(const std::string& text, double min, double max, POINT& point, std::string& error) {
  const std::vector<std::string> xy = Split(text, ",");
  if (xy.size() != 2) {
    error = "'" + text + "' is not a point x,y";
    return false;
  }
  double x = 0, y = 0;
  if (!ReadNumber(xy[0], true, x, error) || !ReadNumber(xy[1], true, y, error)) return false;
  if (!InRange(x, min, max, "x ", error) || !InRange(y, min, max, "y ", error)) return false;
  point = POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
  return true;
}

bool ParseCurve(const ParamSpec& spec, const std::string& text, ParamValue& value,
                std::string& error) {
  const std::vector<std::string> points = PointTexts(text);
  if (static_cast<int>(points.size()) > spec.count) {
    error = std::to_string(points.size()) + " points given, at most " + std::to_string(spec.count) +
            " are taken";
    return false;
  }
  for (const std::string& piece : points) {
    POINT point{};
    if (!ReadPoint(piece, spec.min, spec.max, point, error)) return false;
    if (!value.points.empty() && point.x <= value.points.back().x) {
      error = "x must grow from point to point (" + std::to_string(value.points.back().x) +
              " then " + std::to_string(point.x) + ")";
      return false;
    }
    value.points.push_back(point);
  }
  return true;
}

// A square kernel: 1, 9, 25, ... weights up to `count`, rows one after the
// other, separated by commas, spaces or semicolons.
bool ParseKernel(const ParamSpec& spec, const std::string& text, ParamValue& value,
                 std::string& error) {
  std::vector<std::string> weights;
  for (const std::string& piece : Split(text, ", \t;"))
    if (!piece.empty()) weights.push_back(piece);
  int side = 1;
  while (side * side < static_cast<int>(weights.size())) side += 2;
  if (side * side != static_cast<int>(weights.size()) || side * side > spec.count) {
    error = std::to_string(weights.size()) + " weights given; " + ParamRange(spec);
    return false;
  }
  for (const std::string& weight : weights) {
    double number = 0;
    if (!ReadNumber(weight, true, number, error) ||
        !InRange(number, spec.min, spec.max, "weight ", error))
      return false;
    value.numbers.push_back(number);
  }
  return true;
}

}  // namespace

bool ParseParam(const ParamSpec& spec, const std::string& text, ParamValue& value,
                std::string& error) {
  value = ParamValue{};
  if (spec.kind == ParamKind::Curve) return ParseCurve(spec, text, value, error);
  if (spec.kind == ParamKind::Kernel) return ParseKernel(spec, text, value, error);
  if (spec.kind == ParamKind::Text) {
    if (static_cast<int>(text.size()) > spec.count) {
      error = "'" + text + "' is longer than " + std::to_string(spec.count) + " bytes";
      return false;
    }
    value.text = text;
    return true;
  }
  if (spec.kind == ParamKind::Picture || spec.kind == ParamKind::Mask) {
    value.path = text;
    return true;
  }
  const std::vector<std::string> parts =
      spec.count > 1 ? Split(text, ",") : std::vector<std::string>{text};
  if (static_cast<int>(parts.size()) != spec.count) {
    error = "'" + text + "' gives " + std::to_string(parts.size()) + " values, " +
            std::to_string(spec.count) + " are needed (" + ParamTypeName(spec) + ")";
    return false;
  }
  for (int i = 0; i < spec.count; ++i) {
    double number = 0;
    bool ok = false;
    switch (spec.kind) {
      case ParamKind::Int:
        ok = ReadNumber(parts[i], true, number, error) &&
             InRange(number, spec.min, spec.max, PartName(spec, i), error);
        break;
      case ParamKind::Double:
        ok = ReadNumber(parts[i], false, number, error) &&
             InRange(number, spec.min, spec.max, PartName(spec, i), error);
        break;
      case ParamKind::Bool:
      case ParamKind::Flag:
        ok = ReadBool(parts[i], number, error);
        break;
      case ParamKind::Degrees:
        ok = ReadNumber(parts[i], false, number, error) &&
             InRange(number, spec.min, spec.max, PartName(spec, i), error);
        number = std::round(number * 100);
        break;
      case ParamKind::Choice:
        ok = ReadChoice(spec, parts[i], number, error);
        break;
      case ParamKind::Curve:
      case ParamKind::Kernel:
      case ParamKind::Text:
      case ParamKind::Picture:
      case ParamKind::Mask:
        break;
    }
    if (!ok) return false;
    value.numbers.push_back(number);
  }
  return true;
}

bool ParsePolygon(const std::string& text, std::vector<POINT>& points, std::string& error) {
  points.clear();
  for (const std::string& piece : PointTexts(text)) {
    POINT point{};
    if (!ReadPoint(piece, -kShapeLimit, kShapeLimit, point, error)) return false;
    points.push_back(point);
  }
  if (points.size() < 2) {
    error = "a polygon needs at least 2 points x,y";
    return false;
  }
  return true;
}

bool ParseEllipse(const std::string& text, RECT& rect, std::string& error) {
  const std::vector<std::string> parts = Split(text, ",");
  if (parts.size() != 4) {
    error = "'" + text + "' is not left,top,right,bottom";
    return false;
  }
  double v[4];
  for (int i = 0; i < 4; ++i)
    if (!ReadNumber(parts[i], true, v[i], error) ||
        !InRange(v[i], -kShapeLimit, kShapeLimit, "", error))
      return false;
  rect = RECT{static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]),
              static_cast<LONG>(v[3])};
  if (rect.left == rect.right || rect.top == rect.bottom) {
    error = "the ellipse's rectangle has no width or no height";
    return false;
  }
  return true;
}

std::string ParamTypeName(const ParamSpec& spec) {
  std::string one;
  switch (spec.kind) {
    case ParamKind::Int:
      one = "INT";
      break;
    case ParamKind::Double:
      one = "NUMBER";
      break;
    case ParamKind::Bool:
      one = "0|1";
      break;
    case ParamKind::Flag:
      return "";
    case ParamKind::Degrees:
      one = "DEGREES";
      break;
    case ParamKind::Choice:
      for (const ChoiceValue& choice : spec.choices) {
        if (!one.empty()) one += '|';
        one += choice.name;
      }
      break;
    case ParamKind::Curve:
      return "\"x,y x,y ...\"";
    case ParamKind::Kernel:
      return "\"w,w,w w,w,w ...\"";
    case ParamKind::Text:
      return "TEXT";
    case ParamKind::Picture:
    case ParamKind::Mask:
      return "FILE";
  }
  if (spec.count == 1) return one;
  if (*spec.parts) {
    std::string upper = spec.parts;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
  }
  std::string list = one;
  for (int i = 1; i < spec.count; ++i) list += "," + one;
  return list;
}

std::string ParamRange(const ParamSpec& spec) {
  if (spec.kind == ParamKind::Bool) return "0 or 1";
  if (spec.kind == ParamKind::Text) return "at most " + std::to_string(spec.count) + " bytes";
  if (spec.kind == ParamKind::Flag) return "on/off";
  if (spec.kind == ParamKind::Picture) return "a picture file (.bmp, .png, .jpg)";
  if (spec.kind == ParamKind::Mask) return "a picture file; its non-black pixels are selected";
  if (spec.kind == ParamKind::Kernel) {
    std::string sizes;
    for (int side = 1; side * side <= spec.count; side += 2)
      sizes += (sizes.empty() ? "" : ", ") + std::to_string(side * side);
    return sizes + " weights (a square of odd side), each " + FormatNumber(spec.min) + ".." +
           FormatNumber(spec.max);
  }
  if (spec.kind == ParamKind::Choice) {
    std::string names;
    for (const ChoiceValue& choice : spec.choices) {
      if (!names.empty()) names += ", ";
      names += std::string(choice.name) + " (" + std::to_string(choice.value) + ")";
    }
    return names;
  }
  return FormatNumber(spec.min) + ".." + FormatNumber(spec.max);
}

std::string FormatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

}  // namespace qvx::cli
