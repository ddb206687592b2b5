// The tables of the tone and colour effects (the luminance and
// luminance/chrominance tables they share with other families are in
// frame/ColourTables.h).
//
// Every table is built per call in a zero-initialised global work block and
// released with it; a builder that cannot get its block sets error 3 and
// answers false.
#pragma once

#include "frame/ColourTables.h"
#include "frame/Resources.h"
#include "platform/WinTypes.h"

namespace qvx {

// Gamma tables: red, green and blue, entry i = 255 * (i / 255)^e with
// e = g + 1 for g >= 0 and 1 / |g - 1| below.
bool MakeGammaTables(double red, double green, double blue, WorkBlock& tables);
inline const LevelTable* GammaTables(const WorkBlock& tables) { return tables.As<LevelTable>(); }

// The curve table of `count` control points (x non-decreasing, at most
// kMaxCurvePoints): levels outside the points' x range map to themselves,
// the others through a natural cubic spline, clamped and truncated.
inline constexpr int kMaxCurvePoints = 32;
bool MakeSplineTable(const POINT* points, int count, WorkBlock& table);
inline const BYTE* SplineTable(const WorkBlock& table) { return table.As<BYTE>(); }

// Whether control points may make a curve: no more than kMaxCurvePoints, x
// never decreasing, and an array to read when there are any. Sets error 5
// when not.
bool CheckCurvePoints(const POINT* points, int count);

}  // namespace qvx
