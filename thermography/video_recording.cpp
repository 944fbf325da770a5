#include "video_recording.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "kolthermo/kolthermo_radiometric.h"

namespace kt::thermography {
namespace {

// Removes the file at the UTF-8 `path`, ignoring failure: used for a
// recording that holds nothing worth keeping.
void RemoveFile(const std::string& path) {
  std::u8string name(path.begin(), path.end());
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(name), ignored);
}

}  // namespace

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16) {
  std::u16string out;
  out.reserve(utf8.size() + 1);
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    uint32_t code = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, code = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, code = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, code = lead & 0x07u, minimum = 0x10000;
    } else {
      return false;
    }
    if (utf8.size() - i <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<size_t>(extra) + 1;
  }
  *utf16 = std::move(out);
  return true;
}

int VideoRecording::Open(const std::string& path, int width, int height, double frames_per_second) {
  std::u16string wide;
  if (!Utf8ToUtf16(path, &wide)) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  const int bytes_per_pixel = BytesPerPixel(width);
  bitmap_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) *
                     static_cast<size_t>(bytes_per_pixel),
                 0);
  writer_.set_width(width);
  writer_.set_height(height);
  writer_.set_bits_per_pixel(static_cast<uint16_t>(bytes_per_pixel * 8));
  writer_.set_frame_count(0);
  // Whole frames per second for the headers written now; Finish rewrites the
  // timing from hundredths.
  writer_.set_rate(static_cast<uint32_t>(std::max(1.0, std::round(frames_per_second))));
  hundredths_per_second_ = static_cast<uint32_t>(std::round(frames_per_second * 100.0));
  if (!writer_.Open(wide.c_str())) return KOLTHERMO_THERMO_FILE_ERROR;
  path_ = path;
  width_ = width;
  height_ = height;
  return KOLTHERMO_THERMO_OK;
}

int VideoRecording::Add(const unsigned char* rgb) {
  if (failed_) return KOLTHERMO_THERMO_FILE_ERROR;
  const size_t bytes_per_pixel = static_cast<size_t>(BytesPerPixel(width_));
  const size_t row_pixels = static_cast<size_t>(width_);
  for (size_t y = 0; y < static_cast<size_t>(height_); ++y) {
    // The picture's top row is the bitmap's last.
    const unsigned char* in = rgb + y * row_pixels * 3;
    uint8_t* out =
        bitmap_.data() + (static_cast<size_t>(height_) - 1 - y) * row_pixels * bytes_per_pixel;
    for (size_t x = 0; x < row_pixels; ++x, in += 3, out += bytes_per_pixel) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (bytes_per_pixel == 4) out[3] = 255;
    }
  }
  if (!writer_.AddFrame(bitmap_.data())) {
    failed_ = true;
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
  writer_.set_frame_count(writer_.frame_count() + 1);
  return KOLTHERMO_THERMO_OK;
}

int VideoRecording::Close() {
  const bool empty = writer_.frame_count() == 0;
  writer_.set_rate(hundredths_per_second_);
  const bool finished = writer_.Finish();
  writer_.Reset();
  if (empty) {
    RemoveFile(path_);
    return failed_ ? KOLTHERMO_THERMO_FILE_ERROR : KOLTHERMO_THERMO_OK;
  }
  return finished && !failed_ ? KOLTHERMO_THERMO_OK : KOLTHERMO_THERMO_FILE_ERROR;
}

}  // namespace kt::thermography
