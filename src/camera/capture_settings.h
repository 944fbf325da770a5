// The instance settings that host threads change through the parameter table
// (and Pause / Start) while the capture thread reads them. Each is an atomic
// read whole; no setting depends on another, so no lock ties them together.
// Written by host threads only; the capture thread only reads.
#pragma once

#include <atomic>
#include <cstdint>

namespace kt {

struct CaptureSettings {
  std::atomic<int32_t> loop_interval_ms{10};  // parameter 9
  std::atomic<int32_t> nuc_hold_ms{1200};     // parameter 10
  std::atomic<int32_t> split_size_mib{2000};  // parameter 11
  std::atomic<int32_t> nuc_on_drift{1};       // parameter 15, stored as 0 or 1
  std::atomic<int32_t> pause{0};              // parameter 6: Pause sets it, Start clears it
  std::atomic<int32_t> fetch_row_order{0};    // parameter 17
  std::atomic<int32_t> mirror_on_save{0};     // parameter 18
};

}  // namespace kt
