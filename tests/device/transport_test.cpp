// Driver requests, slot probing and frame geometry of the device layer, against
// a scripted driver port.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "device/fake_port.h"
#include "device/sdk_under_test.h"

namespace kt {
namespace {

using test::FakePort;
using test::SdkUnderTest;

constexpr platform::DeviceHandle kSlot0Handle = 100;

TEST(DeviceControlTest, ResultCodesAndExactRequest) {
  FakePort port;
  SdkUnderTest sdk;
  uint8_t buffer[8] = {};
  uint32_t returned = 99;

  EXPECT_EQ(sdk.DeviceControl(platform::kNullDeviceHandle, 1, 8, buffer, &returned, 0),
            RequestResult::kNoHandle);
  EXPECT_EQ(sdk.DeviceControl(kSlot0Handle, 1, 8, nullptr, &returned, 0), RequestResult::kNoBuffer);
  EXPECT_TRUE(port.requests().empty()) << "refused requests must not reach the driver";

  ASSERT_EQ(sdk.DeviceControl(kSlot0Handle, 0x01020304, 8, buffer, &returned, 0),
            RequestResult::kDone);
  EXPECT_EQ(returned, 8u);
  ASSERT_EQ(sdk.DeviceControl(kSlot0Handle, 0x0105, 8, buffer, &returned, 1), RequestResult::kDone);

  const auto requests = port.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, protocol::kIoctlPipeRead);
  EXPECT_EQ(requests[0].input, (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(requests[0].size, 8u);
  EXPECT_EQ(requests[0].handle, kSlot0Handle);
  EXPECT_EQ(requests[1].code, protocol::kIoctlPipeWrite);
  EXPECT_EQ(requests[1].input, (std::vector<uint8_t>{0x05, 0x01, 0x00, 0x00}));

  port.FailIoControl(true);
  EXPECT_EQ(sdk.DeviceControl(kSlot0Handle, 0, 8, buffer, &returned, 0), RequestResult::kFailed);
}

TEST(PipeTransferTest, ResultCodes) {
  FakePort port;
  SdkUnderTest sdk;
  uint8_t buffer[64] = {};

  EXPECT_EQ(sdk.PipeRead(platform::kNullDeviceHandle, 1, 64, buffer), 10);
  EXPECT_EQ(sdk.PipeWrite(platform::kNullDeviceHandle, 0, 64, buffer), 10);
  EXPECT_EQ(sdk.PipeRead(kSlot0Handle, 1, 64, nullptr), 12);
  EXPECT_EQ(sdk.PipeWrite(kSlot0Handle, 0, 64, nullptr), 12);

  EXPECT_EQ(sdk.PipeRead(kSlot0Handle, 1, 64, buffer), 0);
  EXPECT_EQ(sdk.PipeWrite(kSlot0Handle, 0, 64, buffer), 0);
  const auto requests = port.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, protocol::kIoctlPipeRead);
  EXPECT_EQ(requests[0].pipe, 1u);
  EXPECT_EQ(requests[1].code, protocol::kIoctlPipeWrite);
  EXPECT_EQ(requests[1].pipe, 0u);

  port.SetReturnedOverride(63);
  EXPECT_EQ(sdk.PipeRead(kSlot0Handle, 1, 64, buffer), 12);
  EXPECT_EQ(sdk.PipeWrite(kSlot0Handle, 0, 64, buffer), 12);
  port.SetReturnedOverride(-1);
  port.FailIoControl(true);
  EXPECT_EQ(sdk.PipeRead(kSlot0Handle, 1, 64, buffer), 12);
  EXPECT_EQ(sdk.PipeWrite(kSlot0Handle, 0, 64, buffer), 12);
}

TEST(OpenCloseTest, InvalidHandleCountsAsOpenedNullDoesNot) {
  FakePort port;
  SdkUnderTest sdk;
  platform::DeviceHandle handle = 5;

  EXPECT_EQ(sdk.OpenDevice(nullptr, &handle), 0);
  EXPECT_EQ(handle, platform::kNullDeviceHandle);
  EXPECT_EQ(sdk.OpenDevice("\\\\.\\X-3", &handle), 1);
  EXPECT_EQ(handle, platform::kInvalidDeviceHandle);
  EXPECT_EQ(sdk.OpenDevice("\\\\.\\X-0", &handle), 1);
  EXPECT_EQ(handle, kSlot0Handle);
  EXPECT_EQ(sdk.CloseDevice(&handle), 1);
  EXPECT_EQ(handle, platform::kNullDeviceHandle);
  EXPECT_EQ(sdk.CloseDevice(&handle), 0);
  EXPECT_EQ(port.open_handles(), 0);

  port.SetOpenReturnsNull(true);
  EXPECT_EQ(sdk.OpenDevice("\\\\.\\X-0", &handle), 0);
}

struct ProbeCase {
  std::vector<int> present;
  std::vector<int> flags;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
  *os << "present:";
  for (int slot : c.present) *os << ' ' << slot;
}

class ProbeDevicesTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeDevicesTest, FlagsFollowTheSlotsThatOpen) {
  FakePort port;
  port.SetPresent({GetParam().present.begin(), GetParam().present.end()});
  SdkUnderTest sdk;
  sdk.set_base_name("KCamV7R2KTHM");
  ASSERT_EQ(sdk.SetDevicePath(5), 0);

  sdk.ProbeDevices();

  std::vector<int> flags;
  for (int i = 0; i < 8; ++i) flags.push_back(sdk.IsPresent(i));
  EXPECT_EQ(flags, GetParam().flags);
  EXPECT_EQ(sdk.IsPresent(8), 0);
  EXPECT_EQ(sdk.IsPresent(-1), 0);
  EXPECT_EQ(sdk.selected_slot(), 0);
  EXPECT_STREQ(sdk.device_path().c_str(), "\\\\.\\KCamV7R2KTHM-0");

  const auto paths = port.opened_paths();
  ASSERT_EQ(paths.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(paths[i], "\\\\.\\KCamV7R2KTHM-" + std::to_string(i));
  EXPECT_EQ(port.open_handles(), 0) << "every opened handle is closed at once";
}

INSTANTIATE_TEST_SUITE_P(Slots, ProbeDevicesTest,
                         ::testing::Values(ProbeCase{{0}, {1, 0, 0, 0, 0, 0, 0, 0}},
                                           ProbeCase{{0, 2}, {1, 0, 1, 0, 0, 0, 0, 0}},
                                           ProbeCase{{}, {0, 0, 0, 0, 0, 0, 0, 0}}));

TEST(ProbeDevicesNullHandleTest, NullHandleIsAbsent) {
  FakePort port;
  port.SetOpenReturnsNull(true);
  SdkUnderTest sdk;
  sdk.ProbeDevices();
  EXPECT_EQ(sdk.IsPresent(0), 0);
}

TEST(SetDevicePathTest, AcceptsZeroToEightOnly) {
  FakePort port;
  SdkUnderTest sdk;
  sdk.set_base_name("KCamV7R2KTHM");
  EXPECT_EQ(sdk.SetDevicePath(9), 22);
  EXPECT_EQ(sdk.SetDevicePath(-1), 22);
  EXPECT_EQ(sdk.SetDevicePath(INT_MAX), 22);
  EXPECT_EQ(sdk.SetDevicePath(8), 0);
  EXPECT_EQ(sdk.selected_slot(), 8);
  EXPECT_STREQ(sdk.device_path().c_str(), "\\\\.\\KCamV7R2KTHM-8");
  EXPECT_EQ(sdk.IsPresent(8), 0);
  EXPECT_EQ(sdk.SetDevicePath(3), 0);
  EXPECT_STREQ(sdk.device_path().c_str(), "\\\\.\\KCamV7R2KTHM-3");
}

struct GeometryCase {
  int pitch, offset, width, lines, first, height, ring;
  int expected;
};

void PrintTo(const GeometryCase& c, std::ostream* os) {
  *os << "(" << c.pitch << ", " << c.offset << ", " << c.width << ", " << c.lines << ", " << c.first
      << ", " << c.height << ", " << c.ring << ") -> " << c.expected;
}

class SetGeometryValidationTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(SetGeometryValidationTest, RefusesWithTheFirstFailingRule) {
  FakePort port;
  SdkUnderTest sdk;
  ASSERT_EQ(sdk.SetDevicePath(0), 0);
  const GeometryCase& c = GetParam();
  EXPECT_EQ(sdk.SetGeometry(c.pitch, c.offset, c.width, c.lines, c.first, c.height, c.ring),
            c.expected);
  EXPECT_TRUE(port.commands().empty()) << "a refused geometry sends nothing";
  EXPECT_EQ(sdk.transfer_unit_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SetGeometryValidationTest,
    ::testing::Values(
        // Horizontal rules come first, even when everything else is wrong too.
        GeometryCase{0, 0, 1, 1, 0, 1, 4, 3}, GeometryCase{4, 0, 0, 1, 0, 1, 4, 3},
        GeometryCase{4, 0, 5, 1, 0, 1, 4, 3}, GeometryCase{4, 0, 5, 0, 0, 0, 1, 3},
        GeometryCase{8, 5, 4, 1, 0, 1, 4, 3}, GeometryCase{8, -1, 4, 1, 0, 1, 4, 3},
        // Then the vertical ones, before the ring count.
        GeometryCase{4, 0, 4, 0, 0, 1, 4, 4}, GeometryCase{4, 0, 4, 3, 0, 0, 4, 4},
        GeometryCase{4, 0, 4, 3, 1, 3, 4, 4}, GeometryCase{4, 0, 4, 3, 1, 3, 1, 4},
        GeometryCase{4, 0, 4, 3, -2, 1, 4, 4}, GeometryCase{4, 0, 4, INT_MAX, INT_MAX - 1, 2, 4, 4},
        // Buffers whose sizes overflow 32 bits.
        GeometryCase{65536, 0, 65536, INT_MAX, 0, 65536, 4, 4},
        GeometryCase{INT_MAX, 0, INT_MAX, 2, 0, 2, 4, 4},
        // Finally the ring count.
        GeometryCase{4, 0, 4, 3, 0, 3, 1, 1}, GeometryCase{4, 0, 4, 3, 0, 3, -5, 1}));

TEST(SetGeometryTest, FullFrameBuffersAndFrameLengthCommand) {
  FakePort port;
  SdkUnderTest sdk;
  ASSERT_EQ(sdk.SetDevicePath(0), 0);
  sdk.set_mode_silently(1);

  ASSERT_EQ(sdk.SetGeometry(384, 0, 384, 288, 0, 288, 4), 0);

  EXPECT_EQ(sdk.transfer_unit_count(), 110592);
  EXPECT_EQ(sdk.transfer_byte_count(), 221184u);
  EXPECT_EQ(sdk.ring_count(), 4);
  ASSERT_EQ(sdk.ring_size(), 4u);
  const std::vector<uint8_t> zeros(221184, 0);
  EXPECT_EQ(std::vector<uint8_t>(sdk.single_frame(), sdk.single_frame() + 221184), zeros);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(std::vector<uint8_t>(sdk.ring_block(i), sdk.ring_block(i) + 221184), zeros);
  }
  const auto commands = port.commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(std::vector<uint8_t>(commands[0].begin(), commands[0].begin() + 5),
            (std::vector<uint8_t>{0x09, 0x00, 0xB0, 0x01, 0x00}));
  EXPECT_EQ(commands[0].size(), 64u);

  // In one-byte mode a frame moves one byte per unit.
  sdk.set_mode_silently(0);
  EXPECT_EQ(sdk.transfer_byte_count(), 110592u);
}

TEST(SetGeometryTest, UnitCountRoundsUpToWholeKilounits) {
  FakePort port;
  SdkUnderTest sdk;
  ASSERT_EQ(sdk.SetDevicePath(0), 0);
  ASSERT_EQ(sdk.SetGeometry(1025, 0, 1, 1, 0, 1, 2), 0);
  EXPECT_EQ(sdk.transfer_unit_count(), 2048);
  ASSERT_EQ(sdk.SetGeometry(256, 0, 256, 8, 2, 2, 2), 0);
  EXPECT_EQ(sdk.transfer_unit_count(), 1024);
  EXPECT_EQ(SdkUnderTest::ComputeTransferUnits(1, 0, 1), 1024u);
  EXPECT_EQ(SdkUnderTest::ComputeTransferUnits(32768, 0, 65535), 2147450880u);
  EXPECT_EQ(SdkUnderTest::ComputeTransferUnits(32768, 0, 65536), 0u);
}

TEST(SetGeometryTest, RingOfOneKeepsTheOldBuffers) {
  FakePort port;
  SdkUnderTest sdk;
  ASSERT_EQ(sdk.SetDevicePath(0), 0);
  ASSERT_EQ(sdk.SetGeometry(384, 0, 384, 288, 0, 288, 4), 0);
  const uint8_t* single = sdk.single_frame();
  const uint8_t* first_block = sdk.ring_block(0);

  EXPECT_EQ(sdk.SetGeometry(64, 0, 64, 64, 0, 64, 1), 1);

  EXPECT_EQ(sdk.single_frame(), single);
  EXPECT_EQ(sdk.ring_block(0), first_block);
  EXPECT_EQ(sdk.ring_count(), 4);
  EXPECT_EQ(sdk.transfer_unit_count(), 110592);
  EXPECT_EQ(port.commands().size(), 1u);
}

}  // namespace
}  // namespace kt
