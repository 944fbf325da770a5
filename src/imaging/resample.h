// Nearest-neighbour resampling of 24-bit pixels between two bitmap surfaces,
// as ResampleFunction routines for CDibSurface::ResampleFrom. The live display
// uses them to scale a frame to a window's client area.
#pragma once

#include <cstdint>

#include "imaging/pixel_converter.h"

namespace kt {

// Fills the destination rectangle `dst_rect` by nearest neighbour from the
// source. The ratios of the rectangles' extents are computed once in single
// precision; destination row i, column j (counted from the rectangle's
// corner) takes source row trunc(i x vertical ratio) and source column
// trunc(j x horizontal ratio), each clamped to the source surface. Only the
// extents of `src_rect` matter: its corner is not added to the source
// address. Three bytes are copied per pixel. `p` and `q` are ignored.
//
// Returns 1, or 0 without writing anything when an argument is null, a
// rectangle is empty or does not lie within its surface, a pixel is shorter
// than 3 bytes, or a stride is shorter than a row.
int ResampleNearest(uint8_t* dst, const uint8_t* src, const Rect* dst_rect, const Rect* src_rect,
                    int dst_w, int dst_h, int src_w, int src_h, int dst_bytes_pp, int src_bytes_pp,
                    int dst_stride, int src_stride, int p, int q);

// The same with the rows reversed: source row i becomes
// src_rect->bottom - 1 - trunc(i x vertical ratio), so a bottom-up picture
// comes out top-down. Also returns 0, writing nothing, when that row would
// fall below stored row 0.
int ResampleNearestMirrored(uint8_t* dst, const uint8_t* src, const Rect* dst_rect,
                            const Rect* src_rect, int dst_w, int dst_h, int src_w, int src_h,
                            int dst_bytes_pp, int src_bytes_pp, int dst_stride, int src_stride,
                            int p, int q);

}  // namespace kt
