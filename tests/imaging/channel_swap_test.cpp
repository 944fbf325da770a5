#include "imaging/channel_swap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Every length around the five-pixel steps, at every byte alignment of both
// ranges: each pixel comes out red first, and nothing outside the output
// range is touched (the fast path loads and stores sixteen bytes at a time).
TEST(CopySwappingBlueAndRed, EveryLengthAndAlignmentStaysInsideItsRanges) {
  constexpr uint8_t kGuard = 0xA5;
  for (int32_t pixels = 0; pixels <= 40; ++pixels) {
    for (int in_offset = 0; in_offset < 4; ++in_offset) {
      for (int out_offset = 0; out_offset < 4; ++out_offset) {
        // The input ends exactly at its vector's end, so a read past it is
        // caught by the address sanitizer.
        std::vector<uint8_t> in(static_cast<size_t>(in_offset + 3 * pixels));
        for (size_t b = 0; b < in.size(); ++b) in[b] = static_cast<uint8_t>(b * 7 + 1);
        std::vector<uint8_t> out(static_cast<size_t>(out_offset + 3 * pixels + 16), kGuard);
        kt::CopySwappingBlueAndRed(out.data() + out_offset, in.data() + in_offset, pixels);
        for (int32_t p = 0; p < pixels; ++p) {
          const uint8_t* source = in.data() + in_offset + 3 * p;
          const uint8_t* target = out.data() + out_offset + 3 * p;
          ASSERT_EQ(source[2], target[0]) << pixels << " pixels, pixel " << p;
          ASSERT_EQ(source[1], target[1]) << pixels << " pixels, pixel " << p;
          ASSERT_EQ(source[0], target[2]) << pixels << " pixels, pixel " << p;
        }
        for (int b = 0; b < out_offset; ++b) ASSERT_EQ(kGuard, out[static_cast<size_t>(b)]);
        for (size_t b = static_cast<size_t>(out_offset + 3 * pixels); b < out.size(); ++b) {
          ASSERT_EQ(kGuard, out[b]) << pixels << " pixels: byte " << b << " written";
        }
      }
    }
  }
}

}  // namespace
