// Pictures (RGB, 8 bits per channel) encoded in memory as PNG, BMP or JPEG.
#ifndef KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_PICTURE_H_
#define KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_PICTURE_H_

#include <optional>
#include <string>
#include <vector>

namespace kt::thermography {

enum class PictureFormat { kPng, kBmp, kJpeg };

// The format the path's extension names (".png", ".bmp", ".jpg", ".jpeg", in
// any case), or nothing.
std::optional<PictureFormat> PictureFormatOf(const std::string& path);

// True when the format can hold a picture of this size.
bool FitsFormat(PictureFormat format, int width, int height);

// The encoded file; false when the encoder failed (out of memory).
bool EncodePicture(PictureFormat format, const unsigned char* rgb, int width, int height,
                   std::vector<unsigned char>& encoded);

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_PICTURE_H_
