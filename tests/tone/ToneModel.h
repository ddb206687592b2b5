// An independent model of the tone and colour effects, written from their
// description: the per-colour arithmetic of each effect, and the expected
// result picture of an effect on any picture and selection. Nothing here
// calls the code under test.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/Pictures.h"

namespace qvx::test {

struct Colour {
  int r, g, b;
  bool operator==(const Colour&) const = default;
};
using ColourMap = std::function<Colour(Colour)>;

// Half away from zero, then toward zero.
int Rounded(double v);
int Clamped(int v);

// The per-colour arithmetic of each effect.
namespace model {
Colour RgbGamma(Colour c, double red, double green, double blue);
Colour RgbLevel(Colour c, int red, int green, int blue);
Colour RgbRev(Colour c, bool red, bool green, bool blue);
// The curve table of control points; levels outside the points' x range
// map to themselves.
std::vector<int> SplineTable(const std::vector<POINT>& points);
Colour RgbSpline(Colour c, const std::vector<int>& table, bool red, bool green, bool blue);
// The channel functions of the YCC curves: Y' from Y, centred Cr' (Cb')
// from the Cr (Cb) level.
struct YccLevelFns {
  std::function<int(int)> y, cr, cb;
};
Colour Ycc(Colour c, const YccLevelFns& fns);
YccLevelFns YccGamma(double y, double cr, double cb);
YccLevelFns YccLevel(int y, int cr, int cb);
YccLevelFns YccRev(bool y, bool cr, bool cb);
YccLevelFns YccSpline(const std::vector<int>& table, bool y, bool cr, bool cb);
Colour Grey(Colour c);
Colour Unify(Colour c, int red, int green, int blue, int tolerance);
Colour Chroma(Colour c, int amount);
Colour RedEye(Colour c, int red, int green, int blue, int threshold);
}  // namespace model

// Which pixels an effect may change.
using Selected = std::function<bool(int x, int y)>;
// The selection of a 1-bit mask picture: pixels whose table colour is not
// black.
Selected MaskSelection(HGLOBAL mask);

// The expected result of a tone effect on `source`: colour-table pictures
// (and 8-bit grey-ramp ones when `greyByTable`) get their table mapped;
// other pictures get every selected pixel mapped and written back
// (16-bit packing, 0 in the fourth byte of 32-bit pixels, the grey mix as
// the index of grey-ramp pictures).
HGLOBAL ExpectedTone(HGLOBAL source, const ColourMap& map, const Selected& selected,
                     bool greyByTable = false);

// The index a grey-ramp picture stores for a colour.
int GreyIndex(Colour c);

}  // namespace qvx::test
