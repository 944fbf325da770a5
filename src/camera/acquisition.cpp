// Acquisition: preparing the frame ring and the camera, starting and stopping
// preview, the capture loop, and single frames on demand or on the trigger.
//
// Threads: StartPreview, StopPreview, Close, OneShot and Trigger run on host
// threads and are serialised by the control lock; the capture loop runs on the
// capture thread. The frame lock guards the current slot index and every slot's
// contents: the capture thread fills, maps and publishes a slot under it, and a
// host fetch copies a slot out under it, so no reader ever sees a slot half
// refilled.
#include <new>
#include <system_error>

#include "camera/frame_id.h"
#include "camera/kol_thermo.h"
#include "imaging/colour_map.h"
#include "platform/clock.h"

namespace kt {

bool CKolThermo::NucHoldActive(uint32_t now) const {
  const uint32_t start = nuc_start_time_.load();
  if (start == 0) return false;
  // Compared in 64 bits: a negative hold time (parameter 10 is unchecked)
  // means no hold, not a hold of 49 days.
  return static_cast<int64_t>(now - start) < static_cast<int64_t>(nuc_hold_ms_.load());
}

int CKolThermo::Prepare() {
  if (device_.IsPresent(device_.selected_slot()) == 0) {
    Raise(EventCode::kCameraNotAvailable);
    return 0;
  }
  if (ring_slot_count() == 0) {
    // Initialize ran out of memory for the ring: it is built now, or this
    // start fails with code 6 as a slot without memory would.
    try {
      RebuildFrameRing();
    } catch (const std::bad_alloc&) {
    }
  }
  {
    MutexLock lock(frame_lock_);
    bool created = !ring_.empty();
    for (auto& slot : ring_) {
      slot->frame_id.store(0);
      if (slot->raw.Create(kImageWidth, kImageHeight, 16) == 0 ||
          slot->colour.Create(kImageWidth, kImageHeight, 24) == 0) {
        created = false;
        break;
      }
    }
    if (!created) {
      Raise(EventCode::kBufferOrMemory);
      return 0;
    }
  }
  spare_raw_.Create(kImageWidth, kImageHeight, 16);
  device_.SetWindow(0, 0, kImageWidth, kImageHeight, 0);
  device_.SetTransferMode(1);
  float temperature = 0.0f;
  if (!ReadInternalTemperature(&temperature)) Raise(EventCode::kDeviceControlFailed);
  if (display_scratch_) display_.PrepareScratch(*display_scratch_);
  return 1;
}

int CKolThermo::StartPreview() {
  MutexLock control(control_lock_);
  if (state_.load() == 1) return 1;
  if (Prepare() == 0) return 0;

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
    return 0;
  }
  int streaming = kDeviceOk;
  try {
    // Parameters 15 and 16 are applied again at every start; 16 is refused
    // (code 10) each time.
    SetParam(15, nuc_on_drift_.load());
    SetParam(16, parameter16_value_);
    streaming = device_.StartStream();
  } catch (const std::exception&) {
    // The capture thread runs already: it must be stopped before the host
    // hears of the failure, or a later start would meet it still running.
    StopPreview();
    Raise(EventCode::kBufferOrMemory);
    return 0;
  }
  if (streaming != kDeviceOk) {
    StopPreview();
    Raise(EventCode::kDeviceControlFailed);
    return 0;
  }
  state_.store(1);
  return 1;
}

int CKolThermo::StopPreview() {
  run_flag_.store(0);
  stop_wake_.Set();  // ends the loop's interval sleep now, not when it is over
  if (thread_done_) {
    thread_done_->Wait(platform::kInfinite);
    if (capture_thread_.joinable()) capture_thread_.join();
    thread_done_.reset();
  }
  if (state_.load() == 0) return 1;
  state_.store(0);
  if (device_.StopStream() != kDeviceOk) {
    Raise(EventCode::kDeviceControlFailed);
    return 0;
  }
  return 1;
}

int CKolThermo::Close() {
  MutexLock control(control_lock_);
  // The capture thread draws into the display: it ends before the display's
  // device context, window and class go.
  StopPreview();
  display_.Teardown();
  return 1;
}

void CKolThermo::RunCaptureThread() noexcept {
  // Nothing may leave the thread. Running out of memory in the loop (for the
  // recording request, a file name, a drawn frame) ends acquisition as a lost
  // camera does, but with code 6; Close and Preview start it again.
  try {
    CaptureLoop();
  } catch (...) {
    run_flag_.store(0);
    try {
      EndRecording();
    } catch (...) {
      // The recording's files are closed with the instance at the latest.
    }
    Raise(EventCode::kBufferOrMemory);
  }
}

void CKolThermo::CaptureLoop() {
  BeginRecording();
  while (run_flag_.load() != 0) {
    // The loop interval (parameter 9, up to some 24 days) is slept on the
    // stop event, so that stopping never waits it out.
    const int32_t interval = loop_interval_ms_.load();
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

    if (pause_flag_.load() != 0) {
      platform::SleepMs(kPauseSleepMs);
      continue;
    }
    if (NucHoldActive(now)) {
      device_.CopyFrame(spare_raw_.pixels());  // dropped: the camera is settling
      continue;
    }

    int32_t published_id = 0;
    {
      RelockableLock lock(frame_lock_);
      const size_t next = (static_cast<size_t>(current_slot_) + 1) % ring_.size();
      FrameSlot& slot = *ring_[next];
      slot.frame_id.store(FormFrameId(1));
      if (device_.CopyFrame(slot.raw.pixels()) != kDeviceOk) {
        lock.Unlock();
        Raise(EventCode::kFrameTransferFailed);
        continue;
      }
      if (NucHoldActive(platform::TimerTickMs())) continue;
      // Mapped before it is published, so the colour picture of a frame ID
      // the host can see is always that frame's.
      MapFrameToColour(colour_, slot.raw, slot.colour.pixels(), slot.colour.stride());
      current_slot_ = static_cast<int32_t>(next);
      published_id = slot.frame_id.load();
    }
    CountFrame(platform::TimerTickMs());
    DrawFrame();
    RecordFrame();
    codes_.AnnounceFrame(published_id);
  }
  EndRecording();
}

void CKolThermo::CountFrame(uint32_t now) {
  ++frame_counter_;
  const uint32_t elapsed = now - rate_window_start_;
  if (elapsed > kRateWindowMs) {
    frames_per_second_x100_.store(
        static_cast<int32_t>(static_cast<int64_t>(frame_counter_) * 100000 / elapsed));
    frame_counter_ = 0;
    rate_window_start_ = now;
  }
}

void CKolThermo::DrawFrame() {
  const FrameSlot* slot = nullptr;
  {
    MutexLock lock(frame_lock_);
    slot = ring_[static_cast<size_t>(current_slot_)].get();
  }
  // The capture thread is the only writer of the slot it just published, so
  // the colour surface is read here without the lock.
  if (display_scratch_) display_.Draw(slot->colour, *display_scratch_, fetch_row_order_);
}

int CKolThermo::StartNucHold() {
  nuc_start_time_.store(platform::TimerTickMs());
  device_.RequestNuc();
  recorded_internal_temperature_.store(0.0f);
  return 1;
}

void CKolThermo::DriftCheck(uint32_t now) {
  if (now - last_drift_check_ <= kDriftCheckPeriodMs) return;
  float reading = 0.0f;
  if (!ReadInternalTemperature(&reading)) reading = 0.0f;  // no reading counts as 0.0
  if (IsDriftEvent(reading, recorded_internal_temperature_.load())) {
    if (nuc_on_drift_.load() != 0) device_.RequestNuc();
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

int32_t CKolThermo::GrabSingleFrame() {
  if (device_.GrabOne() != kDeviceOk) return 0;
  RelockableLock lock(frame_lock_);
  current_slot_ = static_cast<int32_t>((static_cast<size_t>(current_slot_) + 1) % ring_.size());
  FrameSlot& slot = *ring_[static_cast<size_t>(current_slot_)];
  slot.frame_id.store(FormFrameId(0));
  if (device_.CopyGrabbed(slot.raw.pixels()) != kDeviceOk) {
    lock.Unlock();
    Raise(EventCode::kFrameTransferFailed);
    return 0;
  }
  MapFrameToColour(colour_, slot.raw, slot.colour.pixels(), slot.colour.stride());
  return slot.frame_id.load();
}

int32_t CKolThermo::OneShot() {
  MutexLock control(control_lock_);
  if (state_.load() == 1) return 0;
  if (Prepare() == 0) return 0;
  return GrabSingleFrame();
}

int32_t CKolThermo::Trigger() {
  MutexLock control(control_lock_);
  if (state_.load() == 1) return 0;
  Raise(EventCode::kNotSupported);
  if (Prepare() == 0) return 0;

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

}  // namespace kt
