#include "camera_session.h"

#include <algorithm>
#include <chrono>

#include "kolthermo/kolthermo_host.h"
#include "options.h"
#include "replacement_file.h"
#include "stop_request.h"

namespace kt::cli {
namespace {

// Waits are cut into slices this long so that a stop request is seen quickly.
constexpr int kWaitSliceMs = 50;
// Drains at most this many queued codes; the store has no upper bound.
constexpr int kMaxCodesDrained = 10000;
// Display names are "KolThermoV7R2K" and two digits; room to spare.
constexpr int kNameBufferBytes = 64;

}  // namespace

std::string DescribeEventCode(int code) {
  return "code " + std::to_string(code) + " (" + KolThermoCodeName(code) + ")";
}

std::optional<std::string> CameraNameAt(int instance_id, int slot) {
  char name[kNameBufferBytes] = {};
  if (KolThermo_IsCameraEnableA(instance_id, slot, name, sizeof name) == 0) return std::nullopt;
  name[sizeof name - 1] = '\0';
  return std::string(name);
}

CameraSession::CameraSession(int slot) : slot_(slot) {
  window_ = KolThermoHost_CreateWindow();
  if (window_ == nullptr) throw Failure("cannot create a host message window");
  id_ = KolThermo_Initialize(nullptr);
  if (id_ == 0) {
    KolThermoHost_DestroyWindow(window_);
    throw Failure("KolThermo_Initialize failed: no camera instance");
  }
  KolThermo_SetWindowHandle(id_, window_);
  // Start-up codes (an unreadable internal temperature) are no failure here;
  // commands that care read the temperature themselves.
  DiscardCodes();
  if (KolThermo_SetCameraNumber(id_, slot) == 0) {
    const std::string cause = NewestCodeText();
    KolThermo_Release(id_);
    KolThermoHost_DestroyWindow(window_);
    throw Failure("no camera in slot " + std::to_string(slot) + ": " + cause +
                  " (see 'kolthermo list')");
  }
}

CameraSession::~CameraSession() {
  Close();
  KolThermo_Release(id_);
  KolThermoHost_DestroyWindow(window_);
}

std::string CameraSession::CameraName() const {
  return CameraNameAt(id_, slot_).value_or("(no camera)");
}

void CameraSession::LoadTable(const std::string& path) {
  DiscardCodes();
  if (KolThermo_SetTableA(id_, path.c_str()) == 0) {
    throw Failure("cannot load the calibration table '" + path + "': " + NewestCodeText());
  }
}

void CameraSession::StartPreview() {
  DiscardCodes();
  if (KolThermo_Preview(id_) == 0) {
    throw Failure("cannot start the preview: " + NewestCodeText());
  }
  previewing_ = true;
}

FrameWait CameraSession::WaitFrame(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (StopRequested()) return {FrameWait::Result::kStopRequested, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return {FrameWait::Result::kTimeout, 0};
    KolThermoHostMessage message{};
    const int waited = KolThermoHost_WaitMessage(
        window_, static_cast<int>(std::min<long long>(left, kWaitSliceMs)), &message);
    if (waited == KOLTHERMO_HOST_BAD_WINDOW) throw Failure("the host message window is gone");
    if (waited != KOLTHERMO_HOST_MESSAGE) continue;
    if (message.message == KOLTHERMO_MSG_FRAME_READY) {
      return {FrameWait::Result::kFrame, static_cast<int>(message.lparam)};
    }
    if (message.message == KOLTHERMO_MSG_EVENT) events_.push_back(static_cast<int>(message.lparam));
  }
}

int CameraSession::RequireFrame(int timeout_ms) {
  const FrameWait wait = WaitFrame(timeout_ms);
  if (wait.result == FrameWait::Result::kFrame) return wait.frame_id;
  if (wait.result == FrameWait::Result::kStopRequested) return 0;
  std::string message =
      "no frame from the camera within " + std::to_string(timeout_ms / 1000) + " s";
  const std::vector<int> events = TakeEvents();
  if (!events.empty()) message += "; last event " + DescribeEventCode(events.back());
  throw Failure(message);
}

std::vector<int> CameraSession::TakeEvents() {
  std::vector<int> taken;
  taken.swap(events_);
  return taken;
}

bool CameraSession::FetchTemperatures(int frame_id, std::vector<float>* temperatures) {
  temperatures->resize(kImagePixels);
  return KolThermo_GetTemperature(id_, frame_id, temperatures->data(),
                                  static_cast<unsigned int>(kImagePixels * sizeof(float))) != 0;
}

bool CameraSession::FetchRaw(int frame_id, std::vector<uint16_t>* raw) {
  raw->resize(kImagePixels);
  return KolThermo_GetRaw(id_, frame_id, raw->data(),
                          static_cast<unsigned int>(kImagePixels * sizeof(uint16_t))) != 0;
}

void CameraSession::Save(const std::string& path, int format) {
  tools::ReplacementFile file;
  std::string error;
  if (!file.Create(path, &error)) throw Failure(error);
  DiscardCodes();
  if (KolThermo_SaveA(id_, file.temporary_path().c_str(), format) == 0) {
    throw Failure("cannot save '" + path + "': " + NewestCodeText());
  }
  if (!file.Commit(&error)) throw Failure(error);
}

void CameraSession::RequestRecording(const std::string& path, int mode) {
  DiscardCodes();
  if (KolThermo_RecA(id_, path.c_str(), mode) == 0) {
    throw Failure("recording to '" + path + "' refused: " + NewestCodeText());
  }
}

void CameraSession::Close() {
  if (!previewing_) return;
  KolThermo_Close(id_);
  previewing_ = false;
}

std::optional<float> CameraSession::InternalTemperature() {
  int status = 0;
  const float celsius = KolThermo_GetInternalTemperature(id_, &status);
  if (status != 1) return std::nullopt;
  return celsius;
}

void CameraSession::DiscardCodes() {
  for (int i = 0; i < kMaxCodesDrained && KolThermo_GetLastError(id_) != 0; ++i) {
  }
}

std::string CameraSession::NewestCodeText() {
  const int code = KolThermo_GetLastError(id_);
  if (code == 0) return "the library queued no event code";
  return DescribeEventCode(code);
}

}  // namespace kt::cli
