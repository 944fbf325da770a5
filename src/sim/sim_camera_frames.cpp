// Frame delivery of the simulated camera: pacing by the clock, the faults of
// the frame pipe, and cropping the rendered frame to the readout window.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "sim/sim_camera_impl.h"

namespace kt::sim {
namespace {

namespace reg = protocol::sensor;
namespace ctl = protocol::control;

constexpr double kMaxFrameRate = 10000.0;

struct Readout {
  int x = 0, y = 0, width = 0, height = 0;  // window, clipped to the sensor
  uint32_t units = 0;                       // transfer unit count N
  uint32_t bytes_per_pixel = 2;
};

int HalfRegister(const std::array<uint8_t, 65536>& sensor, uint16_t high, uint16_t low) {
  return sensor[high] << 8 | sensor[low];
}

Readout ReadoutFrom(const std::array<uint8_t, 65536>& sensor,
                    const std::array<uint8_t, 256>& control) {
  Readout readout;
  readout.x = HalfRegister(sensor, reg::kWindowXHigh, reg::kWindowXHalf) * 2;
  readout.y = HalfRegister(sensor, reg::kWindowYHigh, reg::kWindowYHalf) * 2;
  readout.width = HalfRegister(sensor, reg::kWindowWidthHigh, reg::kWindowWidthHalf) * 2;
  readout.height = (HalfRegister(sensor, reg::kWindowHeightHigh, reg::kWindowHeightHalf) + 1) * 2;
  readout.width = std::clamp(kFrameWidth - readout.x, 0, readout.width);
  readout.height = std::clamp(kFrameHeight - readout.y, 0, readout.height);
  readout.units = static_cast<uint32_t>(control[ctl::kFrameLength0]) |
                  static_cast<uint32_t>(control[ctl::kFrameLength1]) << 8 |
                  static_cast<uint32_t>(control[ctl::kFrameLength2]) << 16 |
                  static_cast<uint32_t>(control[ctl::kFrameLength3]) << 24;
  readout.bytes_per_pixel = control[ctl::kPixelFormat] == ctl::kPixelFormat8Bit ? 1 : 2;
  return readout;
}

// Writes the window's pixels (row by row, top row first), at most `units` of
// them, then zeros up to `bytes`.
void WriteWindow(const uint16_t* frame, const Readout& readout, uint8_t* out, uint64_t bytes) {
  static_assert(std::endian::native == std::endian::little, "frames are little-endian words");
  uint64_t pixels_left = std::min<uint64_t>(
      readout.units, static_cast<uint64_t>(readout.width) * static_cast<uint64_t>(readout.height));
  uint8_t* cursor = out;
  for (int row = 0; row < readout.height && pixels_left > 0; ++row) {
    const uint16_t* source = frame + (readout.y + row) * kFrameWidth + readout.x;
    const auto count = static_cast<size_t>(std::min<uint64_t>(pixels_left, readout.width));
    if (readout.bytes_per_pixel == 2) {
      std::memcpy(cursor, source, count * 2);
      cursor += count * 2;
    } else {
      // One byte per pixel: the top 8 of the 14 bits.
      for (size_t i = 0; i < count; ++i) *cursor++ = static_cast<uint8_t>(source[i] >> 6);
    }
    pixels_left -= count;
  }
  const auto written = static_cast<uint64_t>(cursor - out);
  if (written < bytes) std::memset(cursor, 0, static_cast<size_t>(bytes - written));
}

}  // namespace

void SimCamera::Impl::SetFrameRateLocked(double frames_per_second) {
  if (!std::isfinite(frames_per_second) || frames_per_second < 0.0) return;
  const uint64_t now = NowLocked();
  // The numbering goes on from the newest frame at the old rate.
  rate_origin_index = std::max(NewestFrameIndexLocked(now), last_frame_index);
  rate_origin_ms = now;
  frame_rate = std::min(frames_per_second, kMaxFrameRate);
}

uint64_t SimCamera::Impl::NewestFrameIndexLocked(uint64_t now) {
  if (frame_rate <= 0.0) return last_frame_index;
  const double elapsed_ms = static_cast<double>(now - rate_origin_ms);
  return rate_origin_index + static_cast<uint64_t>(std::floor(elapsed_ms * frame_rate / 1000.0));
}

uint64_t SimCamera::Impl::FrameDueLocked(uint64_t index) {
  if (frame_rate <= 0.0 || index <= rate_origin_index) return rate_origin_ms;
  const double offset_ms = static_cast<double>(index - rate_origin_index) * 1000.0 / frame_rate;
  return rate_origin_ms + static_cast<uint64_t>(std::ceil(offset_ms));
}

bool SimCamera::Impl::ReadFrame(uint64_t handle_generation, uint8_t* out, uint32_t size,
                                uint32_t* moved) {
  *moved = 0;
  uint64_t start = 0;
  uint64_t target = 0;
  {
    MutexLock lock(mutex);
    if (detached || !plugged || generation != handle_generation) return false;
    transfer_armed = false;
    if (fail_transfers > 0) {
      --fail_transfers;
      return false;
    }
    start = NowLocked();
    target = NewestFrameIndexLocked(start) + 1;
  }

  // Wait for the next frame, in slices so that an unplug, a lifted stall or a
  // new rate takes effect quickly; the lock is released while sleeping.
  for (;;) {
    uint64_t wait = kFrameWaitSliceMs;
    {
      MutexLock lock(mutex);
      if (detached || !plugged || generation != handle_generation) return false;
      const uint64_t now = NowLocked();
      const uint64_t elapsed = now - start;
      if (elapsed >= kTransferTimeoutMs) return false;
      if (!stalled) {
        if (frame_rate <= 0.0) break;
        const uint64_t due = FrameDueLocked(target);
        if (now >= due) break;
        wait = std::min(wait, due - now);
      }
      wait = std::min(wait, kTransferTimeoutMs - elapsed);
    }
    platform::SleepMs(static_cast<uint32_t>(wait));
  }

  // Take the newest frame and everything needed to render it.
  Readout readout;
  SceneState state;
  std::shared_ptr<FrameGenerator> generator;
  uint64_t frame_bytes = 0;
  bool short_frame = false;
  std::unique_ptr<uint16_t[]> frame;
  {
    MutexLock lock(mutex);
    if (detached || !plugged || generation != handle_generation) return false;
    readout = ReadoutFrom(sensor, control);
    frame_bytes = static_cast<uint64_t>(readout.units) * readout.bytes_per_pixel;
    // A buffer too small for the frame overflows: the transfer fails.
    if (frame_bytes > size || (frame_bytes > 0 && out == nullptr)) return false;
    const uint64_t now = NowLocked();
    const uint64_t index =
        frame_rate > 0.0 ? std::max(NewestFrameIndexLocked(now), target) : last_frame_index + 1;
    last_frame_index = std::max(last_frame_index, index);
    ++frames_delivered;
    if (short_frames > 0) {
      --short_frames;
      short_frame = true;
    }
    state.tick_ms = static_cast<uint32_t>(now);
    state.frame_index = index;
    state.internal_c = InternalTemperatureLocked();
    state.fixed_pattern = fixed_pattern.data();
    state.fixed_pattern_gain = PatternGainLocked();
    generator = scene;
    if (frame_bytes > 0 && !spare_frames.empty()) {
      frame = std::move(spare_frames.back());
      spare_frames.pop_back();
    }
  }
  if (frame_bytes == 0) return true;

  // Render outside the lock, into a pooled scratch frame.
  if (!frame) frame = std::make_unique_for_overwrite<uint16_t[]>(kFramePixels);
  generator->Render(state, frame.get());
  WriteWindow(frame.get(), readout, out, frame_bytes);
  *moved = static_cast<uint32_t>(short_frame ? frame_bytes / 2 : frame_bytes);
  MutexLock lock(mutex);
  spare_frames.push_back(std::move(frame));
  return true;
}

}  // namespace kt::sim
