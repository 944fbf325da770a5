// One camera instance as the tool drives it: a host message window, the
// instance, camera selection, preview and the frames announced to the window.
// Frames are fetched by the frame ID of their frame-ready message, as any host
// does. The destructor stops acquisition (which finishes an open recording),
// releases the instance and destroys the window, so every exit path, a stop
// request included, leaves complete files behind.
//
// Threads: a session is used by the tool's main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kolthermo/kolthermo.h"

namespace kt::cli {

inline constexpr int kImageWidth = 384;
inline constexpr int kImageHeight = 288;
inline constexpr int kImagePixels = kImageWidth * kImageHeight;
inline constexpr int kCameraSlots = 8;

// The next message of the window.
struct FrameWait {
  enum class Result { kFrame, kTimeout, kStopRequested };
  Result result = Result::kTimeout;
  int frame_id = 0;
};

class CameraSession {
 public:
  // Creates the window and an instance; selects `slot` (0..7). Throws Failure.
  explicit CameraSession(int slot);
  ~CameraSession();
  CameraSession(const CameraSession&) = delete;
  CameraSession& operator=(const CameraSession&) = delete;

  int id() const { return id_; }
  int slot() const { return slot_; }

  // The display name of the selected camera ("KolThermoV7R2K00").
  std::string CameraName() const;

  // Loads a calibration table; throws Failure naming the event code.
  void LoadTable(const std::string& path);

  // Starts continuous acquisition; throws Failure naming the event code.
  void StartPreview();

  // Waits up to `timeout_ms` for the next frame-ready message. Event messages
  // that arrive meanwhile are kept for TakeEvents. Returns early on a stop
  // request.
  FrameWait WaitFrame(int timeout_ms);

  // Waits for a frame, failing with a message that names the events seen when
  // none comes within `timeout_ms`. Returns 0 on a stop request.
  int RequireFrame(int timeout_ms);

  // Event codes posted to the window since the last call, oldest first.
  std::vector<int> TakeEvents();

  // The frame's temperatures (degrees Celsius, -999 where there is none) or
  // raw codes, kImagePixels values each, rows bottom first. False when the
  // frame left the ring.
  bool FetchTemperatures(int frame_id, std::vector<float>* temperatures);
  bool FetchRaw(int frame_id, std::vector<uint16_t>* raw);

  // Saves the current frame to a new file beside `path`, renamed over `path`
  // once the save succeeded (tools/common/replacement_file.h): a failed save
  // leaves any previous file as it was. Throws Failure naming the reason or
  // the event code.
  void Save(const std::string& path, int format);

  // Asks for a recording (KOLTHERMO_RECORD_NONE ends one); throws Failure when
  // refused.
  void RequestRecording(const std::string& path, int mode);

  // Stops acquisition; an open recording is finished and closed.
  void Close();

  // The sensor's internal temperature, or nothing when it cannot be read.
  std::optional<float> InternalTemperature();

  // Empties the instance's code store, so that the next failure's cause is
  // the newest code.
  void DiscardCodes();

  // "code 9 (file or table failed)" for the newest queued code, or a plain
  // note when none is queued.
  std::string NewestCodeText();

 private:
  KolThermoHWND window_ = nullptr;
  int id_ = 0;
  int slot_ = 0;
  bool previewing_ = false;
  std::vector<int> events_;
};

// The display name of the camera in `slot`, or nothing when the slot is empty.
std::optional<std::string> CameraNameAt(int instance_id, int slot);

// "code 9 (file or table failed)": an event code as the tool's messages show
// it, described by the public header's KolThermoCodeName.
std::string DescribeEventCode(int code);

}  // namespace kt::cli
