// Nearest-neighbour resampling of 24-bit pixels between two bitmap surfaces,
// as ResampleFunction routines for CDibSurface::ResampleFrom. The live display
// uses them to scale a frame to a window's client area.
#pragma once

#include "imaging/image_view.h"

namespace kt {

// Fills `dst_area` of `dst` by nearest neighbour from `src`. The ratios of the
// areas' extents are computed once in single precision; destination row i,
// column j (counted from the area's corner) takes source row
// trunc(i x vertical ratio) and source column trunc(j x horizontal ratio),
// each clamped to the source view. The area's left column and top row are
// not added to the source address: only its extents set the scale (and the
// mirrored routine counts down from its bottom row). That is the routines'
// established contract; the display passes whole surfaces, whose corner is
// (0, 0), so for it the corner makes no difference. Three bytes
// are copied per pixel, so a fourth byte of a deeper destination is left as
// it was. The views' row orders are not consulted: the caller picks the
// straight or the mirrored routine.
//
// Returns true, or false without writing anything when a view has no pixels,
// an area is empty or does not lie within its view, a pixel is shorter than 3
// bytes, or a stride is shorter than a row.
bool ResampleNearest(const ImageView& dst, const Rect& dst_area, const ConstImageView& src,
                     const Rect& src_area);

// The same with the rows reversed: source row i becomes
// src_area.bottom - 1 - trunc(i x vertical ratio), so a bottom-up picture
// comes out top-down. Also returns false, writing nothing, when that row would
// fall below stored row 0.
bool ResampleNearestMirrored(const ImageView& dst, const Rect& dst_area, const ConstImageView& src,
                             const Rect& src_area);

}  // namespace kt
