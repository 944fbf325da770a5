// Event and error codes that an instance queues for the host and posts to the
// host window, and the two window messages.
#pragma once

#include <cstdint>

namespace kt {

enum class EventCode : uint32_t {
  kNoFrameToSave = 1,
  kCameraNotAvailable = 2,
  kFrameTransferFailed = 3,
  kCameraLost = 4,
  kInvalidArgument = 5,
  kBufferOrMemory = 6,
  kThreadNotStarted = 7,
  kDeviceControlFailed = 8,
  kFileOrTableFailed = 9,
  kNotSupported = 10,
};

inline constexpr uint32_t kFrameReadyMessage = 0x8002;
inline constexpr uint32_t kEventMessage = 0x8003;

}  // namespace kt
