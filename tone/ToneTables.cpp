#include "tone/ToneTables.h"

#include <cmath>

#include "frame/ErrorCodes.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

// Second derivatives (divided by 6) of the natural cubic spline through
// x[0..n-1], y[0..n-1], x strictly increasing.
void SplineSlopes(const double* x, const double* y, int n, double* z) {
  double h[kMaxCurvePoints] = {};
  double s[kMaxCurvePoints] = {};
  double w[kMaxCurvePoints] = {};
  for (int j = 0; j + 1 < n; ++j) {
    h[j] = x[j + 1] - x[j];
    s[j + 1] = (y[j + 1] - y[j]) / h[j];
  }
  for (int j = 0; j < n; ++j) z[j] = 0;
  if (n < 3) return;
  z[1] = s[2] - s[1];
  w[1] = 2 * (x[2] - x[0]);
  for (int j = 1; j <= n - 3; ++j) {
    const double t = h[j] / w[j];
    z[j + 1] = s[j + 2] - s[j + 1] - z[j] * t;
    w[j + 1] = 2 * (x[j + 2] - x[j]) - h[j] * t;
  }
  for (int j = n - 2; j >= 1; --j) z[j] = (z[j] - h[j] * z[j + 1]) / w[j];
}

double EvaluateSpline(const double* x, const double* y, const double* z, int n, double t) {
  int a = 0;
  int b = n - 1;
  while (a < b) {
    const int m = (a + b) / 2;
    if (x[m] < t)
      a = m + 1;
    else
      b = m;
  }
  const int j = a > 0 ? a - 1 : 0;
  const double h = x[j + 1] - x[j];
  const double d = t - x[j];
  return (((z[j + 1] - z[j]) * d / h + 3 * z[j]) * d +
          ((y[j + 1] - y[j]) / h - (2 * z[j] + z[j + 1]) * h)) *
             d +
         y[j];
}

}  // namespace

bool MakeGammaTables(double red, double green, double blue, WorkBlock& tables) {
  if (!tables.Allocate(sizeof(LevelTable) * 3)) return false;
  LevelTable* t = tables.As<LevelTable>();
  const double gammas[3] = {red, green, blue};
  for (int c = 0; c < 3; ++c) {
    const double g = gammas[c];
    const double e = g >= 0 ? g + 1 : 1 / std::fabs(g - 1);
    for (int i = 0; i < 256; ++i) t[c][i] = 255 * std::pow(i * kOneOver255, e);
  }
  return true;
}

bool CheckCurvePoints(const POINT* points, int count) {
  bool usable = count <= kMaxCurvePoints && (count <= 0 || points);
  for (int j = 0; usable && j + 1 < count; ++j) usable = points[j].x <= points[j + 1].x;
  if (!usable) SetErrorStatus(kErrorBadParameter);
  return usable;
}

bool MakeSplineTable(const POINT* points, int count, WorkBlock& table) {
  if (!table.Allocate(256)) return false;
  BYTE* entries = table.As<BYTE>();
  if (count > kMaxCurvePoints || !points) count = 0;
  int lo = 255;
  int hi = 0;
  for (int j = 0; j < count; ++j) {
    if (points[j].x < lo) lo = points[j].x;
    if (points[j].x > hi) hi = points[j].x;
  }
  // A run of points with the same x keeps only its last point, so that no
  // segment has zero width.
  double x[kMaxCurvePoints];
  double y[kMaxCurvePoints];
  int n = 0;
  for (int j = 0; j < count; ++j) {
    if (j + 1 < count && points[j + 1].x == points[j].x) continue;
    x[n] = points[j].x;
    y[n] = points[j].y;
    ++n;
  }
  double z[kMaxCurvePoints];
  if (n >= 2) SplineSlopes(x, y, n, z);
  for (int t = 0; t < 256; ++t) {
    if (t < lo || t > hi) {
      entries[t] = static_cast<BYTE>(t);
      continue;
    }
    // One point (or one run of equal x) is a constant curve.
    const double value = n >= 2 ? EvaluateSpline(x, y, z, n, t) : y[0];
    entries[t] = value > 255 ? 255 : (value >= 0 ? static_cast<BYTE>(value) : 0);
  }
  return true;
}

}  // namespace qvx
