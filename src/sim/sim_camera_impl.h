// The inside of a simulated camera, shared by SimCamera (test controls) and
// SimDriver (requests). Every mutable field is guarded by `mutex`; the lock is
// never held while a frame read sleeps or while a frame renders.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

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
  uint64_t NowLocked();
  double InternalTemperatureLocked();
  float PatternGainLocked();
  uint8_t ReadSensorLocked(uint16_t address);
  void WriteSensorLocked(uint16_t address, uint8_t value);
  uint8_t ReadControlLocked(uint8_t address);
  void WriteControlLocked(uint8_t address, uint8_t value);
  void QueueReadRepliesLocked(uint8_t command, const uint8_t* value, size_t value_size);
  void SetFrameRateLocked(double frames_per_second);
  uint64_t NewestFrameIndexLocked(uint64_t now);
  uint64_t FrameDueLocked(uint64_t index);

  mutable std::mutex mutex;

  // Register map.
  std::array<uint8_t, 65536> sensor{};  // guarded by mutex
  std::array<uint8_t, 256> control{};   // guarded by mutex
  bool trigger_pending = false;         // guarded by mutex: next read of 7 shows the bit
  std::deque<Packet> replies;           // guarded by mutex: the reply endpoint

  // Last values of the wire-level commands, kept for inspection.
  uint32_t frame_length_command = 0;  // guarded by mutex (command 9)
  uint8_t transfer_mode = 0;          // guarded by mutex (command 10)
  int select_commands = 0;            // guarded by mutex (command 6)
  bool transfer_armed = false;        // guarded by mutex (command 2)

  // Faults.
  int short_frames = 0;            // guarded by mutex
  int fail_transfers = 0;          // guarded by mutex
  bool stalled = false;            // guarded by mutex
  bool failing_reads = false;      // guarded by mutex
  int unplug_after_requests = -1;  // guarded by mutex; -1 = off

  // Plug state.
  bool plugged = true;      // guarded by mutex
  bool detached = false;    // guarded by mutex
  uint64_t generation = 1;  // guarded by mutex

  // Camera time: clock ms since attach, accumulated from tick differences so
  // the 32-bit tick's wrap (or a clock swapped by a test) never runs it back.
  uint32_t last_tick = 0;  // guarded by mutex
  uint64_t now_ms = 0;     // guarded by mutex

  // Internal temperature and NUC.
  std::optional<double> internal_override;  // guarded by mutex
  std::optional<double> nuc_internal_c;     // guarded by mutex: at the last NUC
  int nuc_requests = 0;                     // guarded by mutex

  // Frames.
  double frame_rate = 30.0;                 // guarded by mutex; 0 = at once
  uint64_t rate_origin_ms = 0;              // guarded by mutex: camera time of rate_origin_index
  uint64_t rate_origin_index = 0;           // guarded by mutex
  uint64_t last_frame_index = 0;            // guarded by mutex: newest delivered
  uint64_t frames_delivered = 0;            // guarded by mutex
  std::shared_ptr<FrameGenerator> scene;    // guarded by mutex (the generator itself is immutable)
  const std::vector<int8_t> fixed_pattern;  // immutable after construction
};

}  // namespace kt::sim
