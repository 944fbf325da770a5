// The inside of a simulated camera, shared by SimCamera (test controls) and
// SimDriver (requests). Every mutable field is guarded by `mutex`; the lock is
// never held while a frame read sleeps or while a frame renders.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "platform/mutex.h"
#include "protocol/camera_protocol.h"
#include "sim/frame_generator.h"
#include "sim/sim_camera.h"

namespace kt::sim {

// A frame read that waits longer than this (clock ms) fails, as the driver's
// transfer timeout ends a bulk transfer that never completes.
inline constexpr uint64_t kTransferTimeoutMs = 10000;
// Longest single sleep of a waiting frame read (clock ms): how quickly it
// notices an unplug, a lifted stall or a changed frame rate.
inline constexpr uint32_t kFrameWaitSliceMs = 5;
// Replies the reply endpoint holds; older ones are dropped beyond it.
inline constexpr size_t kReplyQueueLimit = 256;
// Fixed-pattern gain (raw codes per 127) at power-on, its regrowth per degree
// of internal drift since the last NUC, and its ceiling.
inline constexpr float kPowerOnPatternGain = 24.0f;
inline constexpr float kPatternGrowthPerDegree = 4.0f;

using Packet = std::array<uint8_t, protocol::kReplySize>;

struct SimCamera::Impl {
  Impl();

  // Plug state. A handle records the plug generation at its open; it reaches
  // the camera only while the camera is attached, plugged and still in that
  // generation (a replugged camera does not revive old handles).
  std::optional<uint64_t> OpenGeneration();
  bool Reachable(uint64_t generation);
  void Unplug();
  bool Replug();
  void Detach();
  // Counts one request that reached the camera, for UnplugAfterRequests.
  void AfterRequest();

  // Pipe 0: one 64-byte command. The camera accepts every command packet;
  // unknown commands are ignored.
  void Command(const uint8_t* command);
  // Pipe 1: takes the oldest reply; false when none waits or reads fail.
  bool TakeReply(Packet* reply);
  // Pipe 2: one frame into `out` (`size` bytes). Blocks until the next frame
  // is due. True with the byte count moved in *moved, false on failure.
  bool ReadFrame(uint64_t generation, uint8_t* out, uint32_t size, uint32_t* moved);

  // Helpers that expect `mutex` held.
  uint64_t NowLocked() REQUIRES(mutex);
  double InternalTemperatureLocked() REQUIRES(mutex);
  float PatternGainLocked() REQUIRES(mutex);
  uint8_t ReadSensorLocked(uint16_t address) REQUIRES(mutex);
  void WriteSensorLocked(uint16_t address, uint8_t value) REQUIRES(mutex);
  uint8_t ReadControlLocked(uint8_t address) REQUIRES(mutex);
  void WriteControlLocked(uint8_t address, uint8_t value) REQUIRES(mutex);
  void QueueReadRepliesLocked(uint8_t command, const uint8_t* value, size_t value_size)
      REQUIRES(mutex);
  void SetFrameRateLocked(double frames_per_second) REQUIRES(mutex);
  uint64_t NewestFrameIndexLocked(uint64_t now) REQUIRES(mutex);
  uint64_t FrameDueLocked(uint64_t index) REQUIRES(mutex);

  mutable Mutex mutex;

  // Register map.
  std::array<uint8_t, 65536> sensor GUARDED_BY(mutex){};
  std::array<uint8_t, 256> control GUARDED_BY(mutex){};
  bool trigger_pending GUARDED_BY(mutex) = false;  // next read of 7 shows the bit
  std::deque<Packet> replies GUARDED_BY(mutex);    // the reply endpoint

  // Last values of the wire-level commands, kept for inspection.
  uint32_t frame_length_command GUARDED_BY(mutex) = 0;  // command 9
  uint8_t transfer_mode GUARDED_BY(mutex) = 0;          // command 10
  int select_commands GUARDED_BY(mutex) = 0;            // command 6
  bool transfer_armed GUARDED_BY(mutex) = false;        // command 2

  // Faults.
  int short_frames GUARDED_BY(mutex) = 0;
  int fail_transfers GUARDED_BY(mutex) = 0;
  bool stalled GUARDED_BY(mutex) = false;
  bool failing_reads GUARDED_BY(mutex) = false;
  int unplug_after_requests GUARDED_BY(mutex) = -1;  // -1 = off

  // Plug state.
  bool plugged GUARDED_BY(mutex) = true;
  bool detached GUARDED_BY(mutex) = false;
  uint64_t generation GUARDED_BY(mutex) = 1;

  // Camera time: clock ms since attach, accumulated from tick differences so
  // the 32-bit tick's wrap (or a clock swapped by a test) never runs it back.
  uint32_t last_tick GUARDED_BY(mutex) = 0;
  uint64_t now_ms GUARDED_BY(mutex) = 0;

  // Internal temperature and NUC.
  std::optional<double> internal_override GUARDED_BY(mutex);
  std::optional<double> nuc_internal_c GUARDED_BY(mutex);  // at the last NUC
  int nuc_requests GUARDED_BY(mutex) = 0;

  // Frames.
  double frame_rate GUARDED_BY(mutex) = 30.0;     // 0 = at once
  uint64_t rate_origin_ms GUARDED_BY(mutex) = 0;  // camera time of rate_origin_index
  uint64_t rate_origin_index GUARDED_BY(mutex) = 0;
  uint64_t last_frame_index GUARDED_BY(mutex) = 0;  // newest delivered
  uint64_t frames_delivered GUARDED_BY(mutex) = 0;
  std::shared_ptr<FrameGenerator> scene GUARDED_BY(mutex);  // the generator itself is immutable
  // Whole frames to render into outside the lock: a reader takes one and
  // gives it back. A pool rather than per-thread storage, so no frame buffer
  // outlives its thread in thread-local storage (freed by glibc when the next
  // thread reuses the stack, which a host that loads the library with
  // dlopen and is checked by ThreadSanitizer sees as a race).
  std::vector<std::unique_ptr<uint16_t[]>> spare_frames GUARDED_BY(mutex);
  const std::vector<int8_t> fixed_pattern;  // immutable after construction
};

}  // namespace kt::sim
