// What every radiometric file says about its frame: checks of the caller's
// sizes and frame information, and the text written into the files.
#ifndef KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_METADATA_H_
#define KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_METADATA_H_

#include <cstddef>
#include <string>

#include "kolthermo/kolthermo_radiometric.h"

namespace kt::thermography {

// The most pixels one frame may have: far beyond any sensor, and small
// enough that every byte count of a frame fits in 32 bits.
inline constexpr long long kMaxFramePixels = 1LL << 26;

// True when width and height are positive and their product is at most
// kMaxFramePixels.
bool ValidFrameSize(int width, int height);

// True when `info` can be written: a time from 1970 to 9999, nothing else is
// required (NULL means no frame information).
bool ValidFrameInfo(const KolThermoFrameInfo* info);

enum class Units { kCelsius, kRawCodes };

// The frame's metadata as "key=value" lines, each ending in '\n'. Without
// `info`, only the units.
std::string DescriptionLines(const KolThermoFrameInfo* info, Units units);

// The frame's time as TIFF's DateTime wants it ("YYYY:MM:DD HH:MM:SS", UTC),
// or an empty string without `info`.
std::string TiffDateTime(const KolThermoFrameInfo* info);

// "KolThermo SDK x.y.z".
const char* SoftwareName();

// A float as the fewest decimal digits that read back to the same float.
std::string ShortestFloat(float value);

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_METADATA_H_
