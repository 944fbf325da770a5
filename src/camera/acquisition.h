// Acquisition: the capture thread and its loop, the host's acquisition
// control (preview start and stop, close, single frames on demand or on the
// trigger, camera selection), the NUC hold, the frame-rate count and the
// drift check.
//
// Threads:
// - StartPreview, Close, OneShot, Trigger and SelectCamera run on host
//   threads and are serialised by control_lock_, so two host threads never
//   drive the device's stream and set-up at once. The capture thread never
//   takes control_lock_; it is taken before the frame ring's lock.
// - CreateDisplayScratch runs in Initialize, before any preview.
// - StartNucHold, previewing and frames_per_second_x100 run on any host
//   thread: they touch atomics only (and the device, which serialises its
//   own exchanges).
// - The capture loop (and DriftCheck and PublishFrame, which it runs) is the
//   capture thread's. Both are public for tests and benchmarks, which must
//   not run them while a capture thread does.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>

#include "camera/capture_settings.h"
#include "camera/code_store.h"
#include "camera/frame_ring.h"
#include "camera/parameter_table.h"
#include "camera/recorder.h"
#include "device/kol_cam_sdk.h"
#include "imaging/colour_mapping.h"
#include "imaging/dib_surface.h"
#include "imaging/live_display.h"
#include "platform/event.h"
#include "platform/mutex.h"
#include "thermal/thermo_table.h"

namespace kt {

class Acquisition {
 public:
  // What acquisition works with; all of it belongs to the instance that
  // composes it and outlives it.
  struct Collaborators {
    CKolCamV7R2KTHERMOSdk& device;
    FrameRing& ring;
    Recorder& recorder;
    ColourMapping& colour;
    CThermoTable& table;
    // The display window the capture thread draws into. Host threads touch it
    // only while no capture thread runs; the thread's start and join order
    // every access.
    LiveDisplay& display;
    CodeStore& codes;
    const CaptureSettings& settings;
    // A preview start applies parameters 15 and 16 again through it.
    ParameterTable& parameters;
    // Internal temperature at the last drift event; the calibration table
    // reads it. Written by the drift check, a NUC hold and Initialize.
    std::atomic<float>& recorded_internal_temperature;
  };

  // Timing constants, in clock milliseconds.
  static constexpr uint32_t kPauseSleepMs = 10;
  static constexpr uint32_t kRateWindowMs = 1000;
  static constexpr uint32_t kTriggerWaitMs = 3000;
  static constexpr uint32_t kDriftCheckPeriodMs = 30000;
  // Degrees the internal temperature must move before the table follows.
  static constexpr float kDriftThreshold = 1.0f;

  explicit Acquisition(const Collaborators& with);
  // Stops a capture thread still running; the instance's close normally has.
  ~Acquisition() EXCLUDES(control_lock_);
  Acquisition(const Acquisition&) = delete;
  Acquisition& operator=(const Acquisition&) = delete;

  // Allocates the live display's scratch surface; false without memory.
  bool CreateDisplayScratch();

  // Starts continuous acquisition: true, or false having raised the cause.
  // Already previewing (also after the camera was lost): true and nothing else.
  bool StartPreview() EXCLUDES(control_lock_);
  // Stops acquisition, then releases the display resources.
  void Close() EXCLUDES(control_lock_);
  // One frame on demand, or on the camera's trigger input (a falling edge of
  // control register 7 bit 2 within 3000 ms). The new frame ID, or 0.
  int32_t OneShot() EXCLUDES(control_lock_);
  int32_t Trigger() EXCLUDES(control_lock_);
  // Sets up the camera at `slot`; false, changing nothing, while acquisition
  // runs (set-up replaces the transfer buffers) or when it cannot be set up.
  bool SelectCamera(int slot) EXCLUDES(control_lock_);

  // Asks the camera for a non-uniformity correction and holds back frames for
  // the NUC hold time (parameter 10) while it settles.
  void StartNucHold();

  bool previewing() const { return state_.load() == 1; }
  int32_t frames_per_second_x100() const { return frames_per_second_x100_.load(); }

  // The capture loop's work for the frame the device reported ready: copy
  // into the ring, colour map, rate count, display, recording and the
  // frame-ready message. The published frame ID, or 0 when none was (a
  // failed transfer has raised its code). Public for the benchmark, which
  // must not call it while a capture thread runs.
  int32_t PublishFrame();

  // One drift check at clock tick `now`: when more than 30000 ms have passed
  // since the last one and the internal temperature moved by more than a
  // degree, a NUC request (parameter 15), recompensation of the calibration
  // table and a NUC hold.
  void DriftCheck(uint32_t now);
  // True when the internal temperature moved by more than the threshold.
  static bool IsDriftEvent(float reading, float recorded) {
    return std::fabs(reading - recorded) > kDriftThreshold;
  }

 private:
  bool Prepare() REQUIRES(control_lock_);
  // Stops the capture thread and the stream. False when the device reported a
  // failure on stopping.
  bool StopPreview() REQUIRES(control_lock_);
  void RunCaptureThread() noexcept;
  void CaptureLoop();
  bool NucHoldActive(uint32_t now) const;
  void CountFrame(uint32_t now);
  int32_t GrabSingleFrame() REQUIRES(control_lock_);
  void Raise(EventCode code) { codes_.Raise(code); }

  CKolCamV7R2KTHERMOSdk& device_;
  FrameRing& ring_;
  Recorder& recorder_;
  ColourMapping& colour_;
  CThermoTable& table_;
  LiveDisplay& display_;
  CodeStore& codes_;
  const CaptureSettings& settings_;
  ParameterTable& parameters_;
  std::atomic<float>& recorded_internal_temperature_;

  Mutex control_lock_;
  // The capture thread and the event it signals when it ends; created and
  // joined by host threads under the control lock. The thread itself sets the
  // event through its own pointer.
  std::thread capture_thread_ GUARDED_BY(control_lock_);
  std::unique_ptr<platform::Event> thread_done_ GUARDED_BY(control_lock_);
  // Set when acquisition stops, so the capture loop's interval sleep ends at
  // once; reset by a preview start before the thread exists. Synchronises
  // itself.
  platform::Event stop_wake_{platform::Event::ResetMode::kManual};

  // Scratch surface of the live display; allocated by Initialize, prepared
  // by a start before the thread exists, drawn into by the capture thread only.
  std::unique_ptr<CDibSurface> display_scratch_;
  // Receives frames dropped during a NUC hold; created by a start before the
  // thread exists, then written by the capture thread only.
  CDibSurface spare_raw_;

  // Shared between host threads and the capture thread: atomics, each read
  // whole. state_ (0 idle, 1 previewing) is written under control_lock_;
  // run_flag_ by the host under it and by the capture thread when the camera
  // is lost; nuc_start_time_ by host threads (NUC requests) and the drift
  // check; the rate by the capture thread.
  std::atomic<int32_t> state_{0};
  std::atomic<int32_t> run_flag_{0};
  std::atomic<uint32_t> nuc_start_time_{0};
  std::atomic<int32_t> frames_per_second_x100_{0};

  // Capture thread only (or the test standing in for it): frames counted in
  // the current rate window, its start, and the time of the last drift check.
  int32_t frame_counter_ = 0;
  uint32_t rate_window_start_ = 0;
  uint32_t last_drift_check_ = 0;
};

}  // namespace kt
