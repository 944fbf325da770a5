// PNG stills through libpng: top row first, samples most significant byte
// first as the format wants.
#pragma once

namespace kt {

class CDibSurface;

// Writes `surface` as a PNG to `path`, replacing any file there:
//   8 bits  -> 8-bit greyscale        16 -> 16-bit greyscale
//   24      -> 8-bit RGB              32 -> 8-bit RGBA (fourth byte as alpha)
//   48      -> 16-bit RGB             64 -> 16-bit RGBA
// 16-bit files carry an sBIT chunk of 14 significant bits per sample: their
// samples are sensor codes already widened by ConvertForPng.
// Rows are handed to libpng by pointer, from the picture's top (the last
// stored row) down; stored blue-first pixels are written red first.
// Returns true on success; false for a missing name, another depth or an empty
// surface (no file is created then), a failed open, or any libpng error (the
// file is closed and may be left partly written).
//
// Every save keeps its libpng state and recovery point to itself, so any
// number of threads may save at once without a lock.
bool SavePngFile(const char16_t* path, const CDibSurface& surface);

}  // namespace kt
