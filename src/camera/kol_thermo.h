// CKolThermo: one camera as the host sees it. It owns the device object, the
// frame ring, the calibration table, the colour-mapping record, the code store
// and every setting that parameters read and change.
//
// Threads: every public operation runs on a host thread unless stated
// otherwise; the capture thread (acquisition) shares the fields marked atomic or
// guarded by the frame lock.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera/code_store.h"
#include "camera/frame_slot.h"
#include "device/kol_cam_sdk.h"
#include "imaging/colour_mapping.h"
#include "imaging/dib_surface.h"
#include "imaging/live_display.h"
#include "output/avi_writer.h"
#include "platform/event.h"
#include "platform/mutex.h"
#include "platform/sdk_file.h"
#include "thermal/thermo_table.h"

namespace kt {

class CKolThermo {
 public:
  // Sensor size: every slot surface and the spare raw surface have it.
  static constexpr int32_t kImageWidth = 384;
  static constexpr int32_t kImageHeight = 288;

  CKolThermo();
  virtual ~CKolThermo();
  CKolThermo(const CKolThermo&) = delete;
  CKolThermo& operator=(const CKolThermo&) = delete;

  // Builds the frame ring, stores the host window and records the internal
  // temperature. 1 on success; 0 with code 6 when the display scratch surface
  // cannot be allocated. A failed temperature read raises code 8 and goes on.
  int Initialize(void* host_window);

  // Frame ID of the current slot, 0 before any frame (or before Initialize).
  int32_t GetNewID() EXCLUDES(frame_lock_);

  // The parameter table: ids 1 to 18 are instance settings (some read-only),
  // every other id reaches the camera's control register (id & 0xFF).
  int SetParam(int32_t id, int32_t value);
  int32_t GetParam(int32_t id);

  // The sensor's internal temperature in degrees Celsius. False when the device
  // read fails or the result is exactly 0.0 (no reading).
  bool ReadInternalTemperature(float* celsius);

  // ---- Acquisition (host threads; serialised by the control lock) ----
  // Starts continuous acquisition: 1, or 0 having raised the cause. Already
  // previewing (also after the camera was lost): 1 and nothing else.
  int StartPreview() EXCLUDES(control_lock_);
  // Stops acquisition, then releases the display resources. Always 1.
  int Close() EXCLUDES(control_lock_);
  int Pause();
  int Start();
  // One frame on demand, or on the camera's trigger input (a falling edge of
  // control register 7 bit 2 within 3000 ms). The new frame ID, or 0.
  int32_t OneShot() EXCLUDES(control_lock_);
  int32_t Trigger() EXCLUDES(control_lock_);

  // Asks the camera for a non-uniformity correction and holds back frames for
  // the NUC hold time (parameter 10) while it settles. Returns 1.
  int StartNucHold();

  // ---- Frame fetch (host threads) ----
  // Copies the frame with `frame_id` into `buffer` (raw 16-bit codes or the
  // false-colour picture), rows in the order parameter 17 selects. 1, or 0
  // with code 5 (no such frame) or 6 (buffer missing or too small).
  int GetRaw(int32_t frame_id, void* buffer, uint32_t size_bytes);
  int GetColor(int32_t frame_id, void* buffer, uint32_t size_bytes);
  // The frame's temperatures in degrees Celsius (width x height floats, -999.0
  // where a code has no temperature), through the calibration table.
  int GetTemperature(int32_t frame_id, float* buffer, uint32_t size_bytes);

  // Saves the current frame as a still image in format 0..13: 1, or 0 with
  // code 1 (no frame yet), 5 (format) or 9 (file).
  int Save(const char16_t* path, int32_t format);

  // Requests a recording (mode 0 none, 1 raw codes, 2 AVI video, 3
  // temperatures) into `path`; the capture loop carries it out. 0 with code 5
  // for a null path or one longer than 259 characters (the request is then
  // unchanged).
  int SetRecording(const char16_t* path, int32_t mode);
  static constexpr size_t kRecordingPathChars = 260;

  // Loads a calibration table file: 1, then a NUC hold starts; 0 with code 9
  // for a missing or empty path or a table that does not load.
  int SetTable(const char16_t* path);

  // Supplies the display window that published frames are drawn into; no
  // export does this. Call only while not previewing.
  void AttachDisplay(void* window, platform::DeviceContext dc, const char16_t* class_name) {
    display_.Attach(window, dc, class_name);
  }

  // Camera enumeration and selection. IsCameraEnable writes the display name
  // of a present camera ("KolThermoV7R2K_01" for slot 0) into `name`, which
  // holds `size_chars` UTF-16 characters.
  int IsCameraEnable(int slot, char16_t* name, int size_chars);
  // Selects and sets up the camera at `slot` for later acquisition. Refused
  // with code 2 while acquisition runs: set-up replaces the transfer buffers.
  int SetCameraNumber(int slot) EXCLUDES(control_lock_);
  // Display names are 17 characters; a buffer needs room for the terminator.
  static constexpr int kCameraNameChars = 18;

  void SetHostWindow(void* window) { codes_.SetHostWindow(window); }
  void Raise(EventCode code) { codes_.Raise(code); }
  CodeStore& codes() { return codes_; }

  // Accessors for the layers that build on the instance and for tests.
  CKolCamV7R2KTHERMOSdk& device() { return device_; }
  CThermoTable& table() { return table_; }
  ColourMapping& colour_mapping() { return colour_; }
  float recorded_internal_temperature() const { return recorded_internal_temperature_.load(); }
  size_t ring_slot_count() EXCLUDES(frame_lock_);

  // Converts the sensor's raw internal-temperature value to degrees Celsius.
  static float InternalTemperatureFromRaw(uint16_t raw);

  // Timing constants of acquisition, in clock milliseconds.
  static constexpr uint32_t kPauseSleepMs = 10;
  static constexpr uint32_t kRateWindowMs = 1000;
  static constexpr uint32_t kTriggerWaitMs = 3000;
  static constexpr uint32_t kDriftCheckPeriodMs = 30000;
  // Degrees the internal temperature must move before the table follows.
  static constexpr float kDriftThreshold = 1.0f;

  // One drift check at clock tick `now`: when more than 30000 ms have passed
  // since the last one and the internal temperature moved by more than a
  // degree, a NUC request (parameter 15), recompensation of the calibration
  // table and a NUC hold. Run by the capture loop; public for tests, which
  // must not run it while a capture thread does.
  void DriftCheck(uint32_t now);
  // True when the internal temperature moved by more than the threshold.
  static bool IsDriftEvent(float reading, float recorded) {
    return std::fabs(reading - recorded) > kDriftThreshold;
  }

 private:
  enum class FrameKind { kRaw, kColour, kTemperature };

  int Prepare() REQUIRES(control_lock_);
  // Stops the capture thread and the stream. 1, or 0 when the device reported a
  // failure on stopping.
  int StopPreview() REQUIRES(control_lock_);
  void RunCaptureThread() noexcept EXCLUDES(control_lock_);
  void CaptureLoop() EXCLUDES(control_lock_);
  bool NucHoldActive(uint32_t now) const;
  void CountFrame(uint32_t now);
  void DrawFrame() EXCLUDES(frame_lock_);
  // Recording, run by the capture loop: start with the loop, one step per
  // published frame (write, split, follow a changed request), stop at its end.
  // A recording whose file cannot be opened or written raises code 9 once,
  // leaves its file holding exactly the complete frames, and stays ended
  // until the host asks for a recording again.
  struct RecordingRequest {
    int32_t mode = 0;
    std::u16string path;
    uint32_t serial = 0;  // changes with every KolThermo_RecW/A call
  };
  enum class RecordingHalt { kNone, kStartFailed, kWriteFailed };
  void BeginRecording();
  void RecordFrame();
  void EndRecording();
  bool StartRecording(int32_t mode, const std::u16string& name);
  // False when the disk refused the frame; the file then still ends with its
  // last complete frame, as far as the system lets it be cut back.
  bool WriteRecordingFrame(int32_t mode);
  int StopRecording(int32_t mode);
  void EndFailedRecording();
  RecordingRequest ReadRecordingRequest() EXCLUDES(recording_lock_);
  // Lets measurement code (bench/recording_bench.cpp) run the recording steps
  // without a capture thread.
  friend struct RecordingProbe;
  int32_t GrabSingleFrame() REQUIRES(control_lock_) EXCLUDES(frame_lock_);
  int CopyFrameOut(FrameKind kind, int32_t frame_id, void* buffer, uint32_t size_bytes)
      EXCLUDES(frame_lock_);

  void RebuildFrameRing() EXCLUDES(frame_lock_);
  int32_t GetInstanceParam(int32_t id, bool* handled);
  int SetInstanceParam(int32_t id, int32_t value, bool* handled);

  // Device access; destroyed last, which closes the driver.
  CKolCamV7R2KTHERMOSdk device_;
  // Scratch surface of the live display; allocated by Initialize, drawn into
  // by the capture thread only.
  std::unique_ptr<CDibSurface> display_scratch_;
  // Receives frames dropped during a NUC hold; capture thread only.
  CDibSurface spare_raw_;
  // Serialises the host's acquisition control (preview start and stop, single
  // frames, camera selection) so two host threads never drive the device's
  // stream and set-up at once. Never taken by the capture thread; taken before
  // the frame lock.
  Mutex control_lock_ ACQUIRED_BEFORE(frame_lock_);
  // The frame ring. The vector changes only in Initialize, or in a preview
  // start after Initialize could not build it, never while a capture thread
  // exists; the vector, current_slot_ and the slots' contents are guarded by
  // frame_lock_. The capture thread, the only writer of the slot it has just
  // published, reads that slot's surfaces after letting the lock go.
  Mutex frame_lock_;
  std::vector<std::unique_ptr<FrameSlot>> ring_ GUARDED_BY(frame_lock_);
  int32_t current_slot_ GUARDED_BY(frame_lock_) = 0;
  ColourMapping colour_;
  CThermoTable table_;
  // The display window the capture thread draws into. Host threads touch it
  // only while no capture thread runs: AttachDisplay before previewing, the
  // scratch set-up in a start before the thread exists, Close's teardown after
  // the thread is joined. The thread's start and join order every access.
  LiveDisplay display_;
  // The capture thread and the event it signals when it ends; created and
  // joined by host threads under the control lock. The thread itself sets the
  // event through its own pointer.
  std::thread capture_thread_ GUARDED_BY(control_lock_);
  std::unique_ptr<platform::Event> thread_done_ GUARDED_BY(control_lock_);
  // Set when acquisition stops, so the capture loop's interval sleep ends at
  // once; reset by a preview start before the thread exists. Synchronises
  // itself.
  platform::Event stop_wake_{platform::Event::ResetMode::kManual};
  // The recording request: written by host threads, read by the capture loop
  // once per published frame.
  Mutex recording_lock_;
  std::u16string recording_path_ GUARDED_BY(recording_lock_);
  uint32_t recording_request_serial_ GUARDED_BY(recording_lock_) = 0;
  // Capture thread only: the recording being carried out, its unsplit path,
  // the request it came from and its split index, whether it ended on a
  // failure, its files, and scratch rows for reversed copies.
  int32_t active_recording_mode_ = 0;
  std::u16string active_recording_path_;
  uint32_t active_request_serial_ = 0;
  int32_t split_index_ = 0;
  RecordingHalt recording_halt_ = RecordingHalt::kNone;
  AviWriter avi_writer_;
  CSdkFile data_file_;
  // Bytes of the complete frames in data_file_: where a refused frame is cut.
  uint64_t data_file_complete_bytes_ = 0;
  std::unique_ptr<CDibSurface> temperature_surface_;
  std::vector<uint8_t> reversed_rows_;
  // Capture thread only: frames counted in the current rate window, its start,
  // and the time of the last drift check.
  int32_t frame_counter_ = 0;
  uint32_t rate_window_start_ = 0;
  uint32_t last_drift_check_ = 0;

  // Settings and state shared between the host's threads and the capture
  // thread: atomics, each read whole.
  std::atomic<int32_t> state_{0};  // 0 idle, 1 previewing
  std::atomic<int32_t> loop_interval_ms_{10};
  std::atomic<uint32_t> nuc_start_time_{0};
  std::atomic<int32_t> nuc_hold_ms_{1200};
  std::atomic<int32_t> ring_size_{30};
  std::atomic<int32_t> nuc_on_drift_{1};
  const int32_t parameter16_value_ = 0;  // read back by parameter 16; nothing changes it
  std::atomic<int32_t> pause_flag_{0};
  std::atomic<int32_t> fetch_row_order_{0};
  std::atomic<int32_t> mirror_on_save_{0};
  std::atomic<int32_t> recording_mode_{0};
  std::atomic<uint32_t> recording_start_time_{0};
  std::atomic<int32_t> split_size_mib_{2000};
  std::atomic<int32_t> run_flag_{0};
  std::atomic<int32_t> frames_per_second_x100_{0};
  // Internal temperature at the last drift event; the calibration table reads it.
  std::atomic<float> recorded_internal_temperature_{0.0f};
  CodeStore codes_;
};

}  // namespace kt
