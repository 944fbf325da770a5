// Event and error codes that an instance queues for the host and posts to the
// host window, and the two window messages.
#pragma once

#include <cstdint>

#include "kolthermo/kolthermo.h"

namespace kt {

enum class EventCode : uint32_t {
  kNoFrameToSave = KOLTHERMO_CODE_NO_FRAME_TO_SAVE,
  kCameraNotAvailable = KOLTHERMO_CODE_CAMERA_NOT_AVAILABLE,
  kFrameTransferFailed = KOLTHERMO_CODE_FRAME_TRANSFER_FAILED,
  kCameraLost = KOLTHERMO_CODE_CAMERA_LOST,
  kInvalidArgument = KOLTHERMO_CODE_INVALID_ARGUMENT,
  kBufferOrMemory = KOLTHERMO_CODE_BUFFER_OR_MEMORY,
  kThreadNotStarted = KOLTHERMO_CODE_THREAD_NOT_STARTED,
  kDeviceControlFailed = KOLTHERMO_CODE_DEVICE_CONTROL_FAILED,
  kFileOrTableFailed = KOLTHERMO_CODE_FILE_OR_TABLE_FAILED,
  kNotSupported = KOLTHERMO_CODE_NOT_SUPPORTED,
};

inline constexpr uint32_t kFrameReadyMessage = KOLTHERMO_MSG_FRAME_READY;
inline constexpr uint32_t kEventMessage = KOLTHERMO_MSG_EVENT;

}  // namespace kt
