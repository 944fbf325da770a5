// The pixels of a measurement region, as runs of neighbouring pixels along a
// row in the order the statistics visit them: row order for a spot, a box and
// an ellipse; path order, a pixel at a time, for a line.
#pragma once

#include <cstddef>
#include <vector>

#include "kolthermo/kolthermo_measure.h"

namespace kt::thermography {

struct Run {
  int x, y;    // the first pixel
  int length;  // pixels to its right, the first included; a box as wide as
               // the frame is one run that goes on into the rows below
};

// Checks `region` against a width x height frame and lists its runs. Returns
// KOLTHERMO_THERMO_OK, INVALID_ARGUMENT for an unknown kind, or OUTSIDE_FRAME
// for a region that reaches outside the frame or has no size.
int RegionRuns(const KolThermoRegion& region, int width, int height, std::vector<Run>& runs);

// The points of the line from (x0, y0) to (x1, y1), both included
// (Bresenham: the pixel nearest the ideal line at each step along the longer
// axis).
std::vector<Run> LinePoints(int x0, int y0, int x1, int y1);

}  // namespace kt::thermography
