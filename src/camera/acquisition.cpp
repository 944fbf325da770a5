// Acquisition: preparing the frame ring and the camera, starting and stopping
// preview, the capture loop, and single frames on demand or on the trigger.
// The frame ring's lock guards the current slot index and every slot's
// contents: the capture thread fills, maps and publishes a slot under it, and
// a host fetch copies a slot out under it, so no reader ever sees a slot half
// refilled.
#include "camera/acquisition.h"

#include <new>
#include <system_error>

#include "camera/frame_id.h"
#include "camera/internal_temperature.h"
#include "imaging/colour_map.h"
#include "kolthermo/kolthermo.h"
#include "platform/clock.h"

namespace kt {

Acquisition::Acquisition(const Collaborators& with)
    : device_(with.device),
      ring_(with.ring),
      recorder_(with.recorder),
      colour_(with.colour),
      table_(with.table),
      display_(with.display),
      codes_(with.codes),
      settings_(with.settings),
      parameters_(with.parameters),
      recorded_internal_temperature_(with.recorded_internal_temperature),
      rate_window_start_(platform::TimerTickMs()) {}

Acquisition::~Acquisition() {
  MutexLock control(control_lock_);
  StopPreview();
}

bool Acquisition::CreateDisplayScratch() {
  display_scratch_.reset(new (std::nothrow) CDibSurface());
  return display_scratch_ != nullptr;
}

bool Acquisition::NucHoldActive(uint32_t now) const {
  const uint32_t start = nuc_start_time_.load();
  if (start == 0) return false;
  // Compared in 64 bits: a negative hold time (parameter 10 is unchecked)
  // means no hold, not a hold of 49 days.
  return static_cast<int64_t>(now - start) < static_cast<int64_t>(settings_.nuc_hold_ms.load());
}

bool Acquisition::Prepare() {
  if (device_.IsPresent(device_.selected_slot()) == 0) {
    Raise(EventCode::kCameraNotAvailable);
    return false;
  }
  if (ring_.slot_count() == 0) {
    // Initialize ran out of memory for the ring: it is built now, or this
    // start fails with code 6 as a slot without memory would.
    try {
      ring_.Rebuild();
    } catch (const std::bad_alloc&) {
    }
  }
  if (!ring_.PrepareSurfaces()) {
    Raise(EventCode::kBufferOrMemory);
    return false;
  }
  spare_raw_.Create(FrameRing::kImageWidth, FrameRing::kImageHeight, 16);
  device_.SetWindow(0, 0, FrameRing::kImageWidth, FrameRing::kImageHeight, 0);
  device_.SetTransferMode(1);
  float temperature = 0.0f;
  if (!ReadInternalTemperature(device_, &temperature)) Raise(EventCode::kDeviceControlFailed);
  if (display_scratch_) display_.PrepareScratch(*display_scratch_);
  return true;
}

bool Acquisition::StartPreview() {
  MutexLock control(control_lock_);
  if (state_.load() == 1) return true;
  if (!Prepare()) return false;

  stop_wake_.Reset();
  run_flag_.store(1);
  bool started = true;
  try {
    thread_done_ = std::make_unique<platform::Event>(platform::Event::ResetMode::kManual);
    platform::Event* const done = thread_done_.get();
    capture_thread_ = std::thread([this, done] {
      RunCaptureThread();
      done->Set();
    });
  } catch (const std::exception&) {  // std::system_error, std::bad_alloc
    // No thread runs to signal the event: StopPreview must not wait for it.
    thread_done_.reset();
    started = false;
  }
  if (!started) {
    StopPreview();
    Raise(EventCode::kThreadNotStarted);
    return false;
  }
  int streaming = kDeviceOk;
  try {
    // Every start applies parameters 15 and 16 again with their stored
    // values, as a host's own KolThermo_SetParam calls would. Parameter 16
    // names a setting this camera does not have, so applying it is refused
    // with code 10 at every successful start. That code is intended, not a
    // fault: hosts written for this camera read the codes a start leaves and
    // expect exactly this one.
    parameters_.SetParam(KOLTHERMO_PARAM_NUC_ON_DRIFT, settings_.nuc_on_drift.load());
    parameters_.SetParam(KOLTHERMO_PARAM_RESERVED, parameters_.GetParam(KOLTHERMO_PARAM_RESERVED));
    streaming = device_.StartStream();
  } catch (const std::exception&) {
    // The capture thread runs already: it must be stopped before the host
    // hears of the failure, or a later start would meet it still running.
    StopPreview();
    Raise(EventCode::kBufferOrMemory);
    return false;
  }
  if (streaming != kDeviceOk) {
    StopPreview();
    Raise(EventCode::kDeviceControlFailed);
    return false;
  }
  state_.store(1);
  return true;
}

bool Acquisition::StopPreview() {
  run_flag_.store(0);
  stop_wake_.Set();  // ends the loop's interval sleep now, not when it is over
  if (thread_done_) {
    thread_done_->Wait(platform::kInfinite);
    if (capture_thread_.joinable()) capture_thread_.join();
    thread_done_.reset();
  }
  if (state_.load() == 0) return true;
  state_.store(0);
  if (device_.StopStream() != kDeviceOk) {
    Raise(EventCode::kDeviceControlFailed);
    return false;
  }
  return true;
}

void Acquisition::Close() {
  MutexLock control(control_lock_);
  // The capture thread draws into the display: it ends before the display's
  // device context, window and class go.
  StopPreview();
  display_.Teardown();
}

void Acquisition::RunCaptureThread() noexcept {
  // Nothing may leave the thread. Running out of memory in the loop (for the
  // recording request, a file name, a drawn frame) ends acquisition as a lost
  // camera does, but with code 6; Close and Preview start it again.
  try {
    CaptureLoop();
  } catch (...) {
    run_flag_.store(0);
    try {
      recorder_.End();
    } catch (...) {
      // The recording's files are closed with the instance at the latest.
    }
    Raise(EventCode::kBufferOrMemory);
  }
}

void Acquisition::CaptureLoop() {
  recorder_.Begin(ring_.current());
  while (run_flag_.load() != 0) {
    // The loop interval (parameter 9, up to some 24 days) is slept on the
    // stop event, so that stopping never waits it out.
    const int32_t interval = settings_.loop_interval_ms.load();
    if (interval > 0) {
      (void)stop_wake_.Wait(static_cast<uint32_t>(interval));
    } else {
      platform::SleepMs(0);
    }
    if (run_flag_.load() != 1) continue;

    const uint32_t now = platform::TimerTickMs();
    DriftCheck(now);

    const int waited = device_.WaitFrame();
    if (waited == kWaitDeviceLost) {
      run_flag_.store(0);
      Raise(EventCode::kCameraLost);
      break;
    }
    if (waited != kWaitFrameReady) continue;

    if (settings_.pause.load() != 0) {
      platform::SleepMs(kPauseSleepMs);
      continue;
    }
    if (NucHoldActive(now)) {
      device_.CopyFrame(spare_raw_.pixels());  // dropped: the camera is settling
      continue;
    }

    PublishFrame();
  }
  recorder_.End();
}

int32_t Acquisition::PublishFrame() {
  bool transfer_failed = false;
  const int32_t published_id = ring_.PublishNext(FormFrameId(1), [&](FrameSlot& slot) {
    if (device_.CopyFrame(slot.raw.pixels()) != kDeviceOk) {
      transfer_failed = true;
      return false;
    }
    // A NUC that started during the copy holds this frame back too. The
    // slot keeps its new frame ID without being published: it is the next
    // one refilled, and a host that never saw the ID cannot ask for it.
    if (NucHoldActive(platform::TimerTickMs())) return false;
    // Mapped before it is published, so the colour picture of a frame ID
    // the host can see is always that frame's.
    MapFrameToColour(colour_, slot.raw, slot.colour.pixels(), slot.colour.stride());
    return true;
  });
  if (transfer_failed) {
    Raise(EventCode::kFrameTransferFailed);
    return 0;
  }
  if (published_id == 0) return 0;
  CountFrame(platform::TimerTickMs());
  // The capture thread is the only writer of the slot it just published, so
  // the slot is read here without the frame lock.
  const FrameSlot& published = ring_.current();
  if (display_scratch_) {
    display_.Draw(published.colour, *display_scratch_, settings_.fetch_row_order.load());
  }
  recorder_.RecordFrame(published, table_,
                        {settings_.split_size_mib.load(), settings_.mirror_on_save.load() != 0});
  codes_.AnnounceFrame(published_id);
  return published_id;
}

void Acquisition::CountFrame(uint32_t now) {
  ++frame_counter_;
  const uint32_t elapsed = now - rate_window_start_;
  if (elapsed > kRateWindowMs) {
    frames_per_second_x100_.store(
        static_cast<int32_t>(static_cast<int64_t>(frame_counter_) * 100000 / elapsed));
    frame_counter_ = 0;
    rate_window_start_ = now;
  }
}

void Acquisition::StartNucHold() {
  nuc_start_time_.store(platform::TimerTickMs());
  device_.RequestNuc();
  recorded_internal_temperature_.store(0.0f);
}

void Acquisition::DriftCheck(uint32_t now) {
  if (now - last_drift_check_ <= kDriftCheckPeriodMs) return;
  float reading = 0.0f;
  if (!ReadInternalTemperature(device_, &reading)) reading = 0.0f;  // no reading counts as 0.0
  if (IsDriftEvent(reading, recorded_internal_temperature_.load())) {
    if (settings_.nuc_on_drift.load() != 0) device_.RequestNuc();
    // The new reading is recorded before the table is compensated, so the
    // table follows the camera's present temperature (compensating for the
    // previous one would leave it a drift event behind for good). A failed
    // reading records 0.0, for which compensation changes nothing.
    recorded_internal_temperature_.store(reading);
    table_.Compensate();
    nuc_start_time_.store(now);
  }
  last_drift_check_ = now;
}

int32_t Acquisition::GrabSingleFrame() {
  if (device_.GrabOne() != kDeviceOk) return 0;
  int32_t frame_id = 0;
  const bool copied = ring_.AdvanceAndFill(FormFrameId(0), [&](FrameSlot& slot) {
    if (device_.CopyGrabbed(slot.raw.pixels()) != kDeviceOk) return false;
    MapFrameToColour(colour_, slot.raw, slot.colour.pixels(), slot.colour.stride());
    frame_id = slot.frame_id.load();
    return true;
  });
  if (!copied) {
    Raise(EventCode::kFrameTransferFailed);
    return 0;
  }
  return frame_id;
}

int32_t Acquisition::OneShot() {
  MutexLock control(control_lock_);
  if (state_.load() == 1) return 0;
  if (!Prepare()) return 0;
  return GrabSingleFrame();
}

int32_t Acquisition::Trigger() {
  MutexLock control(control_lock_);
  if (state_.load() == 1) return 0;
  // Every trigger on an idle instance raises code 10 before it waits,
  // whatever the outcome. Intended: the trigger input is polled here rather
  // than served by the camera's stream, and the code tells the host so; a
  // host reading codes after a failed trigger still finds the trigger's own
  // code (3) first.
  Raise(EventCode::kNotSupported);
  if (!Prepare()) return 0;

  // Wait for a falling edge of the trigger input, polling as fast as the
  // camera answers (a failed read counts as 0).
  const uint32_t start = platform::TimerTickMs();
  uint8_t previous = 0;
  bool fired = false;
  while (platform::TimerTickMs() - start < kTriggerWaitMs) {
    uint8_t value = 0;
    device_.ReadControlRegister(protocol::control::kTriggerInput, &value);
    if ((previous & protocol::control::kTriggerBit) != 0 &&
        (value & protocol::control::kTriggerBit) == 0) {
      fired = true;
      break;
    }
    previous = value;
  }
  if (!fired) {
    Raise(EventCode::kFrameTransferFailed);
    return 0;
  }
  return GrabSingleFrame();
}

bool Acquisition::SelectCamera(int slot) {
  MutexLock control(control_lock_);
  const bool acquiring = state_.load() != 0 || device_.IsStreaming() || device_.IsGrabbing();
  return !acquiring && device_.IsPresent(slot) != 0 && device_.InitializeCamera(slot) == kDeviceOk;
}

}  // namespace kt
