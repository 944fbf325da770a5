// The wire protocol between the library and the camera's driver: device names,
// request codes, pipes, command codes and the registers the library uses. Both
// sides of the wire include it: the device layer and the simulated camera.
#pragma once

#include <cstdint>

namespace kt::protocol {

// Device files "\\.\<base>-<slot>", slots 0 to 7.
inline constexpr char kDeviceBaseName[] = "KCamV7R2KTHM";
inline constexpr char kDevicePathFormat[] = "\\\\.\\%s-%d";
inline constexpr int kDeviceSlots = 8;

// I/O-control request codes (device type 0x22, any access).
inline constexpr uint32_t kIoctlPipeRead = 0x0022204E;        // function 0x813, out direct
inline constexpr uint32_t kIoctlPipeWrite = 0x00222051;       // function 0x814, in direct
inline constexpr uint32_t kIoctlLargeFrameRead = 0x002220A9;  // function 0x82A, in direct

// Pipes, named by the 4-byte little-endian index in the request's input.
inline constexpr uint32_t kPipeCommand = 0;
inline constexpr uint32_t kPipeReply = 1;
inline constexpr uint32_t kPipeFrame = 2;
inline constexpr uint32_t kPipeIndexSize = 4;

// Every command and every reply is 64 bytes.
inline constexpr uint32_t kCommandSize = 64;
inline constexpr uint32_t kReplySize = 64;

// Command codes (byte 0 of a command).
inline constexpr uint8_t kCmdStartTransfer = 2;          // before every frame read
inline constexpr uint8_t kCmdWriteSensorRegister = 4;    // addr hi, addr lo, value
inline constexpr uint8_t kCmdSelectCamera = 6;           // no arguments
inline constexpr uint8_t kCmdFrameLength = 9;            // 32-bit LE transfer unit count
inline constexpr uint8_t kCmdTransferMode = 10;          // mode byte
inline constexpr uint8_t kCmdReadSensorRegister = 12;    // addr hi, addr lo; 2 replies
inline constexpr uint8_t kCmdWriteControlRegister = 37;  // addr, value
inline constexpr uint8_t kCmdReadControlRegister = 38;   // addr; 2 replies
inline constexpr uint8_t kCmdNucRequest = 64;            // 101, 3, 6, 0, 1

// Command 12 with this byte 1 reads the internal temperature: the second reply
// holds the raw value, high byte first.
inline constexpr uint8_t kInternalTemperatureSelector = 32;
// Arguments of the NUC request after its command byte.
inline constexpr uint8_t kNucArguments[5] = {101, 3, 6, 0, 1};

// Sensor registers (16-bit address, 8-bit value).
namespace sensor {
inline constexpr uint16_t kIdentity0 = 0;     // 0..3 read at start-up, values unused
inline constexpr uint16_t kControlBits = 64;  // bit 0 and bit 1 set at start-up
inline constexpr uint16_t kBias = 65;         // 32 during set-up, 96 when running
inline constexpr uint16_t kWindowYHigh = 67;
inline constexpr uint16_t kWindowYHalf = 68;  // y / 2
inline constexpr uint16_t kWindowHeightHigh = 69;
inline constexpr uint16_t kWindowHeightHalf = 70;  // height / 2 - 1
inline constexpr uint16_t kWindowXHigh = 71;
inline constexpr uint16_t kWindowXHalf = 72;  // x / 2
inline constexpr uint16_t kWindowWidthHigh = 73;
inline constexpr uint16_t kWindowWidthHalf = 74;  // width / 2
inline constexpr uint16_t kWindowApply = 86;      // 1 applies the window
inline constexpr uint16_t kTiming = 91;
inline constexpr uint16_t kMode = 92;
inline constexpr uint16_t kReadoutControl = 98;
inline constexpr uint16_t kAdcControl = 139;
// A configured sensor reads 0x55, 0xC6, 0xC9 at 247, 248, 249.
inline constexpr uint16_t kSignature0 = 247;
inline constexpr uint16_t kSignature1 = 248;
inline constexpr uint16_t kSignature2 = 249;
inline constexpr uint8_t kSignatureValues[3] = {0x55, 0xC6, 0xC9};
}  // namespace sensor

// Control registers (8-bit address, 8-bit value).
namespace control {
// The transfer unit count N, written as 0 := 255, 1 := N bits 8..15,
// 2 := bits 16..23, 3 := bits 24..31, then 0 := bits 0..7.
inline constexpr uint8_t kFrameLength0 = 0;
inline constexpr uint8_t kFrameLength1 = 1;
inline constexpr uint8_t kFrameLength2 = 2;
inline constexpr uint8_t kFrameLength3 = 3;
inline constexpr uint8_t kTriggerInput = 7;  // bit 2: the trigger input
inline constexpr uint8_t kTriggerBit = 0x04;
inline constexpr uint8_t kPixelFormat = 14;  // 9: two bytes per pixel, 8: one
inline constexpr uint8_t kPixelFormat16Bit = 9;
inline constexpr uint8_t kPixelFormat8Bit = 8;
inline constexpr uint8_t kSensorReset = 80;  // pulsed 0, 16, 0 at start-up
inline constexpr uint8_t kStandby = 84;      // 0 at start-up
}  // namespace control

// The sensor's full frame.
inline constexpr int kSensorWidth = 384;
inline constexpr int kSensorHeight = 288;

}  // namespace kt::protocol
