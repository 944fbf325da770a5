// The pixel operations of CKCMSdkLib (virtual slots 0 to 3) and the base
// SetTransferMode (slot 4). They work on transfer buffers laid out by the
// current geometry: lines of `pitch` pixels, one byte per pixel in 8-bit
// transfer mode and two in any other.
#include <cstring>

#include "device/kcm_sdk_lib.h"

namespace kt {
namespace {

// One colour channel of the YUV conversion: clamped to 0..255, then truncated.
uint8_t ClampChannel(double value) {
  if (value <= 0.0) return 0;
  if (value >= 255.0) return 255;
  return static_cast<uint8_t>(value);
}

}  // namespace

DeviceStatus CKCMSdkLib::CopyRaw(void* destination, const void* source) {
  if (destination == nullptr || source == nullptr) return kDeviceNullBuffer;
  const size_t pixel_bytes = transfer_mode_.load() != 0 ? 2 : 1;
  std::memcpy(destination, source,
              static_cast<size_t>(width_) * static_cast<size_t>(height_) * pixel_bytes);
  return kDeviceOk;
}

DeviceStatus CKCMSdkLib::ConvertRegionToRgb(uint8_t* destination, const void* source, int colour,
                                            int /*unused*/, int left, int top, int right,
                                            int bottom) {
  // Empty, wider than a line or taller than the frame. Coordinates must also
  // lie inside the buffer's lines, which hold first line + height lines.
  if (right < left || bottom < top || right - left + 1 > pitch_ ||
      bottom - top + 1 > total_lines_ || left < 0 || top < 0 || right >= pitch_ ||
      bottom >= first_line_ + height_) {
    return kDeviceRegionOutsideFrame;
  }
  if (destination == nullptr || source == nullptr) return kDeviceNullBuffer;

  const auto* bytes = static_cast<const uint8_t*>(source);
  uint8_t* out = destination;
  if (colour == 0 || transfer_mode_.load() != 1) {
    // Grey: each source byte becomes three equal bytes, lines `pitch` bytes
    // apart, in every mode but the colour one. The library never sends raw
    // 16-bit frames through this slot (the capture path copies them), so the
    // one-byte layout of the video modes is the only one it needs to read.
    for (int y = top; y <= bottom; ++y) {
      const uint8_t* line = bytes + static_cast<size_t>(y) * static_cast<size_t>(pitch_);
      for (int x = left; x <= right; ++x) {
        out[0] = out[1] = out[2] = line[x];
        out += 3;
      }
    }
    return kDeviceOk;
  }

  // Colour: each 16-bit word holds luminance (low byte) and chrominance (high
  // byte, offset by 128). Pairs of pixels share chrominance: the even pixel
  // carries V, the odd one U.
  for (int y = top; y <= bottom; ++y) {
    const uint8_t* line = bytes + static_cast<size_t>(y) * static_cast<size_t>(pitch_) * 2;
    auto chroma = [line](int x) { return static_cast<int>(line[2 * x + 1]) - 128; };
    for (int x = left; x <= right; ++x) {
      int u = 0;
      int v = 0;
      if (x % 2 == 0) {
        v = chroma(x);
        // An even pixel in the last column of an odd pitch has no partner.
        u = x + 1 < pitch_ ? chroma(x + 1) : 0;
      } else {
        u = chroma(x);
        v = chroma(x - 1);
      }
      const double luma = 1.164 * (static_cast<int>(line[2 * x]) - 16);
      const double r = luma + 1.596 * v;
      const double g = luma - 0.391 * u - 0.813 * v;
      const double b = luma + 2.018 * u;
      out[0] = ClampChannel(b);
      out[1] = ClampChannel(g);
      out[2] = ClampChannel(r);
      out += 3;
    }
  }
  return kDeviceOk;
}

DeviceStatus CKCMSdkLib::ConvertToRgb(uint8_t* destination, const void* source, int colour,
                                      int unused) {
  return ConvertRegionToRgb(destination, source, colour, unused, 0, 0, width_ - 1, height_ - 1);
}

DeviceStatus CKCMSdkLib::CopyWindow(void* destination, const void* source) {
  if (destination == nullptr || source == nullptr) return kDeviceNullBuffer;
  const size_t pixel_bytes = transfer_mode_.load() != 0 ? 2 : 1;
  const size_t line_bytes = static_cast<size_t>(width_) * pixel_bytes;
  const size_t pitch_bytes = static_cast<size_t>(pitch_) * pixel_bytes;
  const auto* from = static_cast<const uint8_t*>(source) +
                     (static_cast<size_t>(first_line_) * static_cast<size_t>(pitch_) +
                      static_cast<size_t>(horizontal_offset_)) *
                         pixel_bytes;
  auto* to = static_cast<uint8_t*>(destination);
  for (int line = 0; line < height_; ++line) {
    std::memcpy(to + static_cast<size_t>(line) * line_bytes,
                from + static_cast<size_t>(line) * pitch_bytes, line_bytes);
  }
  return kDeviceOk;
}

bool CKCMSdkLib::SetTransferMode(int mode) {
  transfer_mode_.store(mode);
  uint8_t command[protocol::kCommandSize] = {};
  command[0] = protocol::kCmdTransferMode;
  command[1] = mode != 0 ? 1 : 0;
  SendCommand(command);
  return true;
}

}  // namespace kt
