// Register commands, the internal-temperature read, the NUC request and the
// sensor's start-up and window set-up, on top of the command and reply pipes.
// Every exchange opens the device path, talks, and closes again, holding the
// exchange lock throughout so that two threads never read each other's replies.
#include <cstring>

#include "device/kcm_sdk_lib.h"
#include "platform/clock.h"

namespace kt {
namespace {

using protocol::kCommandSize;
using protocol::kReplySize;

struct Command {
  uint8_t bytes[kCommandSize] = {};
};

Command MakeCommand(std::initializer_list<uint8_t> leading) {
  Command command;
  size_t i = 0;
  for (uint8_t b : leading) command.bytes[i++] = b;
  return command;
}

uint8_t Low(int value) { return static_cast<uint8_t>(value & 0xFF); }
uint8_t High(int value) { return static_cast<uint8_t>((value >> 8) & 0xFF); }

// Pause after register-64 changes, window set-up and start-up.
constexpr uint32_t kSettleMs = 100;
// Pause between the steps of the sensor reset pulse.
constexpr uint32_t kResetStepMs = 22;

}  // namespace

DeviceStatus CKCMSdkLib::SendCommand(const uint8_t* command) {
  MutexLock lock(exchange_lock_);
  platform::DeviceHandle handle = platform::kNullDeviceHandle;
  if (!OpenDevice(device_path_, &handle)) return kDeviceNoHandle;
  const DeviceStatus status = PipeWrite(handle, protocol::kPipeCommand, kCommandSize, command);
  CloseDevice(&handle);
  return status;
}

DeviceStatus CKCMSdkLib::ReadExchange(const uint8_t* command, uint8_t* reply) {
  MutexLock lock(exchange_lock_);
  platform::DeviceHandle handle = platform::kNullDeviceHandle;
  if (!OpenDevice(device_path_, &handle)) return kDeviceNoHandle;
  DeviceStatus status = PipeWrite(handle, protocol::kPipeCommand, kCommandSize, command);
  if (status == kDeviceOk) {
    // The first reply carries no value; the second decides and holds it.
    uint8_t first[kReplySize] = {};
    PipeRead(handle, protocol::kPipeReply, kReplySize, first);
    status = PipeRead(handle, protocol::kPipeReply, kReplySize, reply);
  }
  CloseDevice(&handle);
  return status;
}

bool CKCMSdkLib::WriteSensorRegister(int address, int value) {
  const Command command =
      MakeCommand({protocol::kCmdWriteSensorRegister, High(address), Low(address), Low(value)});
  return SendCommand(command.bytes) == kDeviceOk;
}

bool CKCMSdkLib::ReadSensorRegister(int address, uint8_t* value) {
  const Command command =
      MakeCommand({protocol::kCmdReadSensorRegister, High(address), Low(address)});
  uint8_t reply[kReplySize] = {};
  const bool ok = ReadExchange(command.bytes, reply) == kDeviceOk;
  if (value != nullptr) *value = ok ? reply[0] : 0;
  return ok;
}

bool CKCMSdkLib::WriteControlRegister(int address, int value) {
  const Command command =
      MakeCommand({protocol::kCmdWriteControlRegister, Low(address), Low(value)});
  return SendCommand(command.bytes) == kDeviceOk;
}

bool CKCMSdkLib::ReadControlRegister(int address, uint8_t* value) {
  const Command command = MakeCommand({protocol::kCmdReadControlRegister, Low(address)});
  uint8_t reply[kReplySize] = {};
  const bool ok = ReadExchange(command.bytes, reply) == kDeviceOk;
  if (value != nullptr) *value = ok ? reply[0] : 0;
  return ok;
}

bool CKCMSdkLib::ReadInternalTemperatureRaw(uint16_t* value) {
  const Command command =
      MakeCommand({protocol::kCmdReadSensorRegister, protocol::kInternalTemperatureSelector});
  uint8_t reply[kReplySize] = {};
  if (ReadExchange(command.bytes, reply) != kDeviceOk) return false;
  if (value != nullptr) *value = static_cast<uint16_t>(reply[0] * 256 + reply[1]);
  return true;
}

bool CKCMSdkLib::RequestNuc() {
  Command command = MakeCommand({protocol::kCmdNucRequest});
  std::memcpy(&command.bytes[1], protocol::kNucArguments, sizeof protocol::kNucArguments);
  return SendCommand(command.bytes) == kDeviceOk;
}

bool CKCMSdkLib::SetRegister64Bit0(int flag) {
  uint8_t value = 0;
  if (!ReadSensorRegister(protocol::sensor::kControlBits, &value)) return false;
  const int updated = (value & 0xFE) | (flag != 0 ? 0x01 : 0x00);
  if (!WriteSensorRegister(protocol::sensor::kControlBits, updated)) return false;
  register64_bit0_ = flag;
  platform::SleepMs(kSettleMs);
  return true;
}

bool CKCMSdkLib::SetRegister64Bit1(int flag) {
  uint8_t value = 0;
  if (!ReadSensorRegister(protocol::sensor::kControlBits, &value)) return false;
  const int updated = (value & 0xFD) | (flag != 0 ? 0x02 : 0x00);
  if (!WriteSensorRegister(protocol::sensor::kControlBits, updated)) return false;
  register64_bit1_ = flag;
  platform::SleepMs(kSettleMs);
  return true;
}

void CKCMSdkLib::StartSensor() {
  // The results of the individual register operations are deliberately
  // ignored: a missing camera shows later, at the first read or stream.
  namespace sensor = protocol::sensor;
  namespace control = protocol::control;
  uint8_t ignored = 0;
  for (int address = sensor::kIdentity0; address < sensor::kIdentity0 + 4; ++address) {
    ReadSensorRegister(address, &ignored);
  }
  WriteControlRegister(control::kStandby, 0);
  WriteControlRegister(control::kSensorReset, 0);
  platform::SleepMs(kResetStepMs);
  WriteControlRegister(control::kSensorReset, 16);
  platform::SleepMs(kResetStepMs);
  WriteControlRegister(control::kSensorReset, 0);

  uint8_t signature[3] = {};
  ReadSensorRegister(sensor::kSignature0, &signature[0]);
  ReadSensorRegister(sensor::kSignature1, &signature[1]);
  ReadSensorRegister(sensor::kSignature2, &signature[2]);
  if (std::memcmp(signature, sensor::kSignatureValues, sizeof signature) != 0) {
    WriteSensorRegister(sensor::kMode, 0);
    WriteSensorRegister(sensor::kBias, 32);
    WriteSensorRegister(sensor::kTiming, 51);
    WriteSensorRegister(sensor::kAdcControl, 3);
    WriteSensorRegister(sensor::kMode, 5);
  }
  ReadSensorRegister(sensor::kSignature0, &ignored);
  ReadSensorRegister(sensor::kSignature1, &ignored);
  ReadSensorRegister(sensor::kSignature2, &ignored);

  SetRegister64Bit1(1);
  SetRegister64Bit0(1);
  WriteSensorRegister(sensor::kBias, 96);
  platform::SleepMs(kSettleMs);
}

bool CKCMSdkLib::SetWindow(int x, int y, int width, int height, int mode) {
  // 64-bit sums: no argument can overflow the bounds check.
  const bool bad_position = x < 0 || y < 0;
  const bool bad_size = width < 4 || height < 3;
  const bool outside = static_cast<int64_t>(x) + width > protocol::kSensorWidth ||
                       static_cast<int64_t>(y) + height > protocol::kSensorHeight;
  const bool bad_mode = mode < 0 || (mode >= 4 && mode <= 16) || mode > 18;
  if (bad_position || bad_size || outside || bad_mode) return false;

  window_ = Window{x, y, width, height, mode};
  SetGeometry(width, 0, width, height, 0, height, 4);

  namespace sensor = protocol::sensor;
  WriteSensorRegister(sensor::kMode, 0);
  WriteSensorRegister(sensor::kWindowXHigh, 0);
  WriteSensorRegister(sensor::kWindowXHalf, x / 2);
  WriteSensorRegister(sensor::kWindowYHigh, 0);
  WriteSensorRegister(sensor::kWindowYHalf, y / 2);
  WriteSensorRegister(sensor::kWindowWidthHigh, 0);
  WriteSensorRegister(sensor::kWindowWidthHalf, width / 2);
  WriteSensorRegister(sensor::kWindowHeightHigh, 0);
  WriteSensorRegister(sensor::kWindowHeightHalf, height / 2 - 1);
  WriteSensorRegister(sensor::kWindowApply, 1);
  WriteSensorRegister(sensor::kReadoutControl, 0);

  // The transfer unit count, high bytes first, with byte 0 parked at 255
  // until the last write completes the value.
  const uint32_t units = static_cast<uint32_t>(transfer_units_);
  namespace control = protocol::control;
  WriteControlRegister(control::kFrameLength0, 255);
  WriteControlRegister(control::kFrameLength1, static_cast<int>((units >> 8) & 0xFF));
  WriteControlRegister(control::kFrameLength2, static_cast<int>((units >> 16) & 0xFF));
  WriteControlRegister(control::kFrameLength3, static_cast<int>((units >> 24) & 0xFF));
  WriteControlRegister(control::kFrameLength0, static_cast<int>(units & 0xFF));
  platform::SleepMs(kSettleMs);
  large_transfer_ = transfer_units_ >= kLargeTransferUnits ? 1 : 0;
  return true;
}

DeviceStatus CKCMSdkLib::SelectDevice(int slot) {
  transfer_mode_.store(0);
  if (SetDevicePath(slot) == kDeviceBadSlot) return kDeviceBadSlot;
  SetTransferMode(0);
  return kDeviceOk;
}

DeviceStatus CKCMSdkLib::InitializeCamera(int slot) {
  const DeviceStatus status = SelectDevice(slot);
  if (status != kDeviceOk) return status;
  SendCommand(MakeCommand({protocol::kCmdSelectCamera}).bytes);
  StartSensor();
  SetWindow(0, 0, protocol::kSensorWidth, protocol::kSensorHeight, 0);
  return kDeviceOk;
}

}  // namespace kt
