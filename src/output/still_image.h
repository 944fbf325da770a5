// Still image writers: the false-colour or raw surface of one frame written as
// a BMP file, a JPEG, PNG or TIFF picture or a bare pixel dump, and the raw
// surface written as a headerless temperature map. They know nothing of the camera instance; the
// caller picks the surface, the format number and the mirror flag.
//
// Every writer replaces an existing file of the same name and returns true on
// success, false on failure. A failure may leave a partly written or empty file
// behind; nothing deletes it. The writers keep no state between calls, so any
// thread may call them, as long as nobody rewrites the surface meanwhile.
#pragma once

namespace kt {

class CDibSurface;
class CThermoTable;

// Format numbers of the surface writers (SaveImageFile).
inline constexpr int kStillBmp = 0;        // BMP file with the surface's own header
inline constexpr int kStillPixelDump = 1;  // height x stride bytes as stored
inline constexpr int kStillJpeg100 = 2;
inline constexpr int kStillJpeg70 = 3;
inline constexpr int kStillJpeg20 = 4;
inline constexpr int kStillPng = 5;
inline constexpr int kStillTiff = 6;

// Format numbers of the temperature maps (SaveTemperatureMap).
inline constexpr int kTemperatureMapInt8 = 10;
inline constexpr int kTemperatureMapUInt8 = 11;
inline constexpr int kTemperatureMapInt32 = 12;
inline constexpr int kTemperatureMapFloat = 13;

// Writes `surface` as a BMP file: the 14-byte file header, the surface's
// 40-byte info header unchanged, a 256-entry colour table when the surface has
// 8 or fewer bits per pixel, then the pixel memory exactly as stored. True
// only when every write succeeded; false without creating a file when the name
// is missing or the surface has no pixel memory.
bool SaveBmpFile(const CDibSurface& surface, const char16_t* path);

// Writes `surface` in format `number` (kStillBmp..kStillTiff). BMP and dumps
// keep the stored row order; JPEG, PNG and TIFF write the picture's top row
// (the last stored row) first. Depths the JPEG writer cannot take (16 bits to
// 8-bit grey, 32, 48 and 64 bits to 24-bit colour) and the PNG writer cannot
// take as they are (16, 48, 64 bits, whose codes are scaled up by 2 bits) go
// through a scratch surface, released before returning. False for a missing
// name or surface, a surface without pixel memory, a number outside 0..6, a depth
// the format does not take, or a failed writer.
bool SaveImageFile(const char16_t* path, const CDibSurface* surface, int number);

// SaveImageFile on a vertically mirrored copy of `surface` (last stored row
// first). False as SaveImageFile, and when the copy cannot be made.
bool SaveFlippedImageFile(const char16_t* path, const CDibSurface* surface, int number);

// Converts the raw surface's codes to temperatures with `table` and writes the
// width x height samples with no header or padding: signed 8-bit (10),
// unsigned 8-bit (11), 32-bit integers (12) or 32-bit floats (13), all
// little-endian. Without `mirror` 10..12 write the picture's top row first
// and 13 its bottom row; `mirror` reverses both. False for a missing name, a
// number outside 10..13, a raw surface the converter refuses, memory that
// cannot be had, or a failed open or write.
bool SaveTemperatureMap(const char16_t* path, const CDibSurface& raw, const CThermoTable& table,
                        int number, bool mirror);

}  // namespace kt
