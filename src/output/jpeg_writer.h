// JPEG stills through libjpeg: progressive, top row first, red-green-blue.
#pragma once

namespace kt {

class CDibSurface;

// Writes an 8-bit (greyscale) or 24-bit (colour) surface as a progressive
// JPEG of `quality` (1..100, baseline quantisation tables) to `path`,
// replacing any file there. Rows go from the picture's top (the last stored
// row) down; stored blue-green-red pixels are written as red-green-blue.
// Returns true on success; false for a missing name, another depth or an empty
// surface (no file is created then), a failed open, or any libjpeg error,
// a failed write among them (the file is closed and may be left partly
// written). Keeps all its state in the call: any thread may call it.
bool SaveJpegFile(const char16_t* path, const CDibSurface& surface, int quality);

}  // namespace kt
