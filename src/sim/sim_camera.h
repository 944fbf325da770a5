// One simulated camera: its register map, its reply queue, the frame source
// and the faults a test can switch on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sim/frame_generator.h"

namespace kt::sim {

class SimCamera {
 public:
  SimCamera();
  ~SimCamera();
  SimCamera(const SimCamera&) = delete;
  SimCamera& operator=(const SimCamera&) = delete;

  // Register map (for test set-up and assertions).
  uint8_t sensor_register(uint16_t address) const;
  void set_sensor_register(uint16_t address, uint8_t value);
  uint8_t control_register(uint8_t address) const;
  void set_control_register(uint8_t address, uint8_t value);

  // Faults.
  void ShortFrames(int count);           // the next `count` frame reads move too few bytes
  void FailTransfers(int count);         // the next `count` frame reads fail
  void StallFrames(bool stalled);        // frame reads block while set
  void FailRegisterReads(bool failing);  // reply reads fail while set
  void UnplugAfterRequests(int count);   // unplugs itself after `count` more requests
  // The next read of control register 7 shows the trigger bit set, the read
  // after it shows it clear: one falling edge.
  void TriggerPulse();

  // Internal (sensor) temperature: the warm-up and drift model, or a given value.
  void SetInternalTemperature(float celsius);
  void ClearInternalTemperature();
  float internal_temperature() const;

  // Frames per second by the clock (30 by default); 0 delivers as fast as read.
  void SetFrameRate(double frames_per_second);
  void SetScene(std::shared_ptr<FrameGenerator> scene);

  uint64_t frames_delivered() const;
  int nuc_requests() const;
  // Index of the newest frame delivered (frames are numbered by the clock at
  // the frame rate, so a slow reader sees gaps: it always gets the newest).
  uint64_t last_frame_index() const;
  double frame_rate() const;
  // Current fixed-pattern strength in raw codes per 127 of pattern: full at
  // power-on, 0 right after a NUC, growing back as the sensor drifts.
  float fixed_pattern_gain() const;
  // Attached and plugged in.
  bool plugged() const;

  // Used by the driver.
  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace kt::sim
