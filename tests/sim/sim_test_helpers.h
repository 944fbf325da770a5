// Helpers of the simulator's tests: raw requests with exact bytes, and clocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "protocol/camera_protocol.h"
#include "sim/sim_driver.h"

namespace kt::sim::test {

inline std::string DevicePath(int slot) {
  char path[64];
  std::snprintf(path, sizeof path, protocol::kDevicePathFormat, protocol::kDeviceBaseName, slot);
  return path;
}

// Installs a clock for a scope and puts back the one that was installed.
class ClockScope {
 public:
  explicit ClockScope(platform::Clock& clock) : previous_(&platform::CurrentClock()) {
    platform::InstallClock(&clock);
  }
  ~ClockScope() {
    platform::InstallClock(previous_ == &platform::SystemClock() ? nullptr : previous_);
  }
  ClockScope(const ClockScope&) = delete;
  ClockScope& operator=(const ClockScope&) = delete;

 private:
  platform::Clock* const previous_;
};

using Bytes = std::vector<uint8_t>;

inline Bytes Command(std::initializer_list<uint8_t> head) {
  Bytes command(protocol::kCommandSize, 0);
  std::copy(head.begin(), head.end(), command.begin());
  return command;
}

// One handle on a simulated driver, speaking the wire protocol byte by byte.
class Wire {
 public:
  Wire(SimDriver& driver, int slot) : driver_(driver) {
    handle_ = driver_.Open(DevicePath(slot).c_str());
  }
  ~Wire() {
    if (handle_ != platform::kInvalidDeviceHandle) driver_.Close(handle_);
  }
  Wire(const Wire&) = delete;
  Wire& operator=(const Wire&) = delete;

  platform::DeviceHandle handle() const { return handle_; }

  bool Request(uint32_t code, uint32_t pipe, void* buffer, uint32_t size, uint32_t* moved) {
    const uint8_t index[4] = {static_cast<uint8_t>(pipe), 0, 0, 0};
    return driver_.IoControl(handle_, code, index, sizeof index, buffer, size, moved);
  }
  bool Send(Bytes command, uint32_t code = protocol::kIoctlPipeWrite) {
    uint32_t moved = 0;
    return Request(code, protocol::kPipeCommand, command.data(),
                   static_cast<uint32_t>(command.size()), &moved) &&
           moved == protocol::kCommandSize;
  }
  // The next reply, or an empty vector when the read fails.
  Bytes Reply() {
    Bytes reply(protocol::kReplySize, 0xEE);
    uint32_t moved = 0;
    if (!Request(protocol::kIoctlPipeRead, protocol::kPipeReply, reply.data(), protocol::kReplySize,
                 &moved)) {
      return {};
    }
    reply.resize(moved);
    return reply;
  }
  // The value byte of a two-reply read (sensor or control), or -1.
  int ReadSensor(uint16_t address) {
    if (!Send(Command({protocol::kCmdReadSensorRegister, static_cast<uint8_t>(address >> 8),
                       static_cast<uint8_t>(address)}))) {
      return -1;
    }
    Reply();
    const Bytes value = Reply();
    return value.empty() ? -1 : value[0];
  }
  int ReadControl(uint8_t address) {
    if (!Send(Command({protocol::kCmdReadControlRegister, address}))) return -1;
    Reply();
    const Bytes value = Reply();
    return value.empty() ? -1 : value[0];
  }
  bool WriteSensor(uint16_t address, uint8_t value) {
    return Send(Command({protocol::kCmdWriteSensorRegister, static_cast<uint8_t>(address >> 8),
                         static_cast<uint8_t>(address), value}));
  }
  bool WriteControl(uint8_t address, uint8_t value) {
    return Send(Command({protocol::kCmdWriteControlRegister, address, value}));
  }
  // A frame read of `size` bytes; *moved gets the byte count.
  bool ReadFrame(Bytes& buffer, uint32_t* moved, uint32_t code = protocol::kIoctlPipeWrite) {
    return Request(code, protocol::kPipeFrame, buffer.data(), static_cast<uint32_t>(buffer.size()),
                   moved);
  }

 private:
  SimDriver& driver_;
  platform::DeviceHandle handle_ = platform::kInvalidDeviceHandle;
};

// The 16-bit pixel at `index` of a little-endian frame buffer.
inline uint16_t Pixel(const Bytes& frame, size_t index) {
  return static_cast<uint16_t>(frame[index * 2] | frame[index * 2 + 1] << 8);
}

inline constexpr uint32_t kFullFrameBytes = protocol::kSensorWidth * protocol::kSensorHeight * 2;

}  // namespace kt::sim::test
