// TIFF stills through libtiff: uncompressed, one strip, top row first.
#pragma once

namespace kt {

class CDibSurface;

// Writes `surface` as an uncompressed TIFF to `path`, replacing any file
// there, as a single strip of height rows of width x bytes-per-pixel bytes
// (no row padding), the picture's top row first:
//   8 bits  -> 8-bit min-is-black      16 -> 16-bit min-is-black (codes << 2)
//   24      -> 8-bit RGB               32 -> 8-bit RGB plus a fourth sample
//   48      -> 16-bit RGB (<< 2)       64 -> 16-bit RGB plus a fourth sample
// Colour pixels are written red first. The name goes to libtiff in the
// system code page (UTF-8 off Windows) and must fit 259 bytes there.
// Returns true on success; false for a missing or too long name, another depth or an
// empty surface (no file is created then), a failed open, a scratch surface
// that cannot be had, or any error libtiff reports while writing or closing
// (the file is closed and may be left partly written). libtiff's messages for
// these failures are kept off stderr; the false result is the report. Keeps all
// its state in the call: any thread may call it.
bool SaveTiffFile(const char16_t* path, const CDibSurface& surface);

}  // namespace kt
