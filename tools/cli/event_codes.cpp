#include "event_codes.h"

#include "kolthermo/kolthermo.h"

namespace kt::cli {

std::string_view EventCodeName(int code) {
  switch (code) {
    case KOLTHERMO_CODE_NO_FRAME_TO_SAVE:
      return "no frame to save";
    case KOLTHERMO_CODE_CAMERA_NOT_AVAILABLE:
      return "camera not available";
    case KOLTHERMO_CODE_FRAME_TRANSFER_FAILED:
      return "frame transfer failed";
    case KOLTHERMO_CODE_CAMERA_LOST:
      return "camera lost";
    case KOLTHERMO_CODE_INVALID_ARGUMENT:
      return "invalid argument";
    case KOLTHERMO_CODE_BUFFER_OR_MEMORY:
      return "buffer or memory";
    case KOLTHERMO_CODE_THREAD_NOT_STARTED:
      return "thread not started";
    case KOLTHERMO_CODE_DEVICE_CONTROL_FAILED:
      return "device control failed";
    case KOLTHERMO_CODE_FILE_OR_TABLE_FAILED:
      return "file or table failed";
    case KOLTHERMO_CODE_NOT_SUPPORTED:
      return "not supported";
    default:
      return "unknown code";
  }
}

std::string DescribeEventCode(int code) {
  return "code " + std::to_string(code) + " (" + std::string(EventCodeName(code)) + ")";
}

}  // namespace kt::cli
