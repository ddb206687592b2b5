// The worker of QVPanorama: two overlapping 24-bit photographs joined on
// two matching points, and the pieces it is made of.
#pragma once

#include "frame/DibAccess.h"

namespace qvx {

// P0, P1 on the base picture and the matching Q0, Q1 on the second one,
// top-down picture coordinates.
struct PanoramaPoints {
  POINT p0, p1, q0, q1;
};

// Fill colour of result pixels neither picture covers (low bytes used).
struct PanoramaFill {
  int red, green, blue;
};

// Returns the joined picture, or 0: 5 when both pairs of points coincide or
// the scaled second picture would be smaller than a pixel, 7 (or 3) when a
// picture is not a usable 24-bit one, 2 when the seam cannot be drawn or
// filled, 3 when memory runs out, 1 when cancelled.
HGLOBAL PanoramaImage(HGLOBAL base, HGLOBAL second, BYTE seam, PanoramaPoints points,
                      PanoramaFill fill, BOOL noDialog);

// The direction of the vector from (xa, ya) to (xb, yb), y pointing up, in
// degrees, 0 <= angle < 360; 90 for the zero vector.
double GetLineAngle(int xa, int ya, int xb, int yb);

// How the second picture is scaled, turned and placed (coordinates of the
// base picture, top-down).
struct PanoramaJoin {
  int width, height;  // the scaled second picture (INT_MIN when not a number)
  int angle;          // hundredths of a degree
  int px, py;         // where the scaled picture's centre lands
};

// The join for points already clamped into their pictures: the base
// picture's height, the second picture's size.
PanoramaJoin JoinPanorama(const PanoramaPoints& points, int baseHeight, int secondWidth,
                          int secondHeight);

// The seam mask of seam mode 1 or 2 for a second picture of width x height
// and its clamped points Q0, Q1: white on the side that is pasted and on
// the seam line, black on the other side. 0 (with the drawing's status) when
// the line or the fill fails, the fill included when the seed corner lies
// on the line.
HGLOBAL BuildSeamMask(int width, int height, BYTE seam, POINT q0, POINT q1);

}  // namespace qvx
