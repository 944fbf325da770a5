// The pixel operations (virtual slots 0 to 3) and the base SetTransferMode.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "device/fake_port.h"
#include "device/sdk_under_test.h"

namespace kt {
namespace {

using test::FakePort;
using test::SdkUnderTest;
using Bgr = std::array<uint8_t, 3>;

class PixelOpsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(sdk_.SetDevicePath(0), 0); }

  // A source buffer of 16-bit words holding their own index.
  static std::vector<uint8_t> IndexWords(size_t words) {
    std::vector<uint8_t> bytes(words * 2);
    for (size_t i = 0; i < words; ++i) {
      bytes[2 * i] = static_cast<uint8_t>(i);
      bytes[2 * i + 1] = static_cast<uint8_t>(i >> 8);
    }
    return bytes;
  }

  static std::vector<Bgr> Pixels(const std::vector<uint8_t>& bgr) {
    std::vector<Bgr> out;
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) out.push_back({bgr[i], bgr[i + 1], bgr[i + 2]});
    return out;
  }

  FakePort port_;
  SdkUnderTest sdk_;
};

TEST_F(PixelOpsTest, CopyRawMovesWidthTimesHeightPixels) {
  ASSERT_EQ(sdk_.SetGeometry(8, 0, 6, 4, 0, 4, 2), 0);
  const std::vector<uint8_t> source = IndexWords(512);
  std::vector<uint8_t> destination(64, 0xEE);

  sdk_.set_mode_silently(1);
  ASSERT_EQ(sdk_.CopyRaw(destination.data(), source.data()), 0);
  EXPECT_TRUE(std::equal(source.begin(), source.begin() + 48, destination.begin()));
  EXPECT_EQ(destination[48], 0xEE);

  destination.assign(64, 0xEE);
  sdk_.set_mode_silently(0);
  ASSERT_EQ(sdk_.CopyRaw(destination.data(), source.data()), 0);
  EXPECT_TRUE(std::equal(source.begin(), source.begin() + 24, destination.begin()));
  EXPECT_EQ(destination[24], 0xEE);

  EXPECT_EQ(sdk_.CopyRaw(nullptr, source.data()), 14);
  EXPECT_EQ(sdk_.CopyRaw(destination.data(), nullptr), 14);
}

TEST_F(PixelOpsTest, CopyWindowTakesTheDeliveredLines) {
  // Lines of 8 pixels; the window is 4 wide at offset 2, lines 1 to 3.
  ASSERT_EQ(sdk_.SetGeometry(8, 2, 4, 5, 1, 3, 2), 0);
  const std::vector<uint8_t> source = IndexWords(512);

  sdk_.set_mode_silently(1);
  std::vector<uint8_t> destination(4 * 3 * 2 + 2, 0xEE);
  ASSERT_EQ(sdk_.CopyWindow(destination.data(), source.data()), 0);
  for (int line = 0; line < 3; ++line) {
    for (int x = 0; x < 4; ++x) {
      const size_t at = static_cast<size_t>(line * 4 + x) * 2;
      EXPECT_EQ(destination[at] | (destination[at + 1] << 8), (1 + line) * 8 + 2 + x);
    }
  }
  EXPECT_EQ(destination[24], 0xEE);

  sdk_.set_mode_silently(0);
  std::vector<uint8_t> narrow(4 * 3 + 1, 0xEE);
  ASSERT_EQ(sdk_.CopyWindow(narrow.data(), source.data()), 0);
  for (int line = 0; line < 3; ++line) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(narrow[line * 4 + x], source[(1 + line) * 8 + 2 + x]);
  }
  EXPECT_EQ(narrow[12], 0xEE);
  EXPECT_EQ(sdk_.CopyWindow(nullptr, source.data()), 14);
}

TEST_F(PixelOpsTest, RegionRejections) {
  ASSERT_EQ(sdk_.SetGeometry(4, 0, 4, 3, 0, 3, 2), 0);
  const std::vector<uint8_t> source = IndexWords(1024);
  std::vector<uint8_t> destination(64);
  uint8_t* out = destination.data();
  const void* in = source.data();

  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, 2, 0, 1, 0), 5);   // right < left
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, 0, 2, 0, 1), 5);   // bottom < top
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, 0, 0, 4, 0), 5);   // wider than the pitch
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, 0, 0, 0, 3), 5);   // taller than the lines
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, 3, 0, 4, 0), 5);   // past the line's end
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, -1, 0, 0, 0), 5);  // before it
  EXPECT_EQ(sdk_.ConvertRegionToRgb(nullptr, nullptr, 1, 0, 1, 0, 0, 0), 5);
  EXPECT_EQ(sdk_.ConvertRegionToRgb(nullptr, in, 1, 0, 0, 0, 3, 2), 14);
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, nullptr, 1, 0, 0, 0, 3, 2), 14);
  EXPECT_EQ(sdk_.ConvertRegionToRgb(out, in, 1, 0, 0, 0, 3, 2), 0);
}

TEST_F(PixelOpsTest, GreyWhenColourIsOffOrTheModeIsNotOne) {
  ASSERT_EQ(sdk_.SetGeometry(4, 0, 4, 2, 0, 2, 2), 0);
  std::vector<uint8_t> source(2048);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(10 + i);
  const std::vector<Bgr> expected = {{15, 15, 15}, {16, 16, 16}, {17, 17, 17}};

  for (const auto& [mode, colour] : std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {2, 1}}) {
    sdk_.set_mode_silently(mode);
    std::vector<uint8_t> destination(9, 0);
    // Row 1, columns 1..3: bytes 4 + 1 .. 4 + 3 of the buffer.
    ASSERT_EQ(sdk_.ConvertRegionToRgb(destination.data(), source.data(), colour, 0, 1, 1, 3, 1), 0);
    EXPECT_EQ(Pixels(destination), expected) << "mode " << mode << " colour " << colour;
  }
}

TEST_F(PixelOpsTest, YuvConversionOnHandComputedPixels) {
  ASSERT_EQ(sdk_.SetGeometry(4, 0, 4, 2, 0, 2, 2), 0);
  sdk_.set_mode_silently(1);
  // Words: luminance in the low byte, chrominance + 128 in the high byte.
  std::vector<uint8_t> source(2048, 0);
  const uint8_t words[8][2] = {{16, 228},  {16, 78},   {100, 148}, {100, 158},
                               {255, 255}, {255, 255}, {235, 128}, {0, 128}};
  for (int i = 0; i < 8; ++i) {
    source[2 * i] = words[i][0];
    source[2 * i + 1] = words[i][1];
  }

  std::vector<uint8_t> destination(8 * 3, 0);
  ASSERT_EQ(sdk_.ConvertToRgb(destination.data(), source.data(), 1, 0), 0);
  const std::vector<Bgr> expected = {
      {0, 0, 159},      // Y 16, V 100, U -50: G and B clamp at 0
      {0, 0, 159},      // the odd pixel shares the pair's U and V
      {158, 69, 129},   // Y 100, V 20, U 30
      {158, 69, 129},   //
      {255, 125, 255},  // Y 255, U = V = 127: B and R clamp at 255
      {255, 125, 255},  //
      {254, 254, 254},  // Y 235, no chrominance: 1.164 * 219 truncated
      {0, 0, 0}};       // Y 0: negative luminance clamps
  EXPECT_EQ(Pixels(destination), expected);

  // A region starting at an odd pixel still takes V from its even partner.
  std::vector<uint8_t> region(2 * 3, 0);
  ASSERT_EQ(sdk_.ConvertRegionToRgb(region.data(), source.data(), 1, 0, 1, 0, 2, 0), 0);
  EXPECT_EQ(Pixels(region), (std::vector<Bgr>{{0, 0, 159}, {158, 69, 129}}));
}

TEST_F(PixelOpsTest, BaseSetTransferModeSendsCommandTen) {
  EXPECT_EQ(sdk_.SetTransferMode(5), 1);
  EXPECT_EQ(sdk_.transfer_mode(), 5);
  EXPECT_EQ(sdk_.SetTransferMode(0), 1);
  EXPECT_EQ(sdk_.transfer_mode(), 0);
  const auto commands = port_.commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0][0], protocol::kCmdTransferMode);
  EXPECT_EQ(commands[0][1], 1);
  EXPECT_EQ(commands[1][0], protocol::kCmdTransferMode);
  EXPECT_EQ(commands[1][1], 0);
}

}  // namespace
}  // namespace kt
