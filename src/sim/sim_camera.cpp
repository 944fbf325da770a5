// The simulated camera's register map, commands, replies, plug state and test
// controls. Frame delivery is in sim_camera_frames.cpp.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "sim/internal_temperature.h"
#include "sim/sim_camera_impl.h"

namespace kt::sim {
namespace {

namespace reg = protocol::sensor;
namespace ctl = protocol::control;

// Every camera gets its own fixed pattern.
std::atomic<uint64_t> g_camera_serial{1};

void SetPowerOnRegisters(std::array<uint8_t, 65536>& sensor, std::array<uint8_t, 256>& control) {
  // Identity bytes, read (and ignored) by the library at start-up.
  sensor[reg::kIdentity0 + 0] = 0x4B;
  sensor[reg::kIdentity0 + 1] = 0x54;
  sensor[reg::kIdentity0 + 2] = 0x07;
  sensor[reg::kIdentity0 + 3] = 0x02;
  // Full-frame window: x 0, y 0, width 384, height 288.
  sensor[reg::kWindowXHalf] = 0;
  sensor[reg::kWindowYHalf] = 0;
  sensor[reg::kWindowWidthHalf] = protocol::kSensorWidth / 2;
  sensor[reg::kWindowHeightHalf] = protocol::kSensorHeight / 2 - 1;
  // The sensor is not configured yet: the signature registers read 0 until
  // the set-up writes have happened.
  // Transfer unit count of the full frame, 110592, and two bytes per pixel.
  const uint32_t units = protocol::kSensorWidth * protocol::kSensorHeight;
  control[ctl::kFrameLength0] = static_cast<uint8_t>(units);
  control[ctl::kFrameLength1] = static_cast<uint8_t>(units >> 8);
  control[ctl::kFrameLength2] = static_cast<uint8_t>(units >> 16);
  control[ctl::kFrameLength3] = static_cast<uint8_t>(units >> 24);
  control[ctl::kPixelFormat] = ctl::kPixelFormat16Bit;
}

}  // namespace

SimCamera::Impl::Impl()
    : scene(MakeDefaultScene()),
      fixed_pattern(MakeFixedPattern(0xC0FFEEull * g_camera_serial.fetch_add(1))) {
  SetPowerOnRegisters(sensor, control);
  last_tick = platform::TimerTickMs();
}

// ---- Time, internal temperature and fixed pattern --------------------------

uint64_t SimCamera::Impl::NowLocked() {
  const uint32_t tick = platform::TimerTickMs();
  const auto step = static_cast<int32_t>(tick - last_tick);
  // A tick that runs backwards (another clock installed) moves nothing.
  if (step > 0) now_ms += static_cast<uint64_t>(step);
  last_tick = tick;
  return now_ms;
}

double SimCamera::Impl::InternalTemperatureLocked() {
  if (internal_override) return *internal_override;
  return ModelledInternalTemperature(NowLocked());
}

float SimCamera::Impl::PatternGainLocked() {
  if (!nuc_internal_c) return kPowerOnPatternGain;
  const double drift = std::fabs(InternalTemperatureLocked() - *nuc_internal_c);
  return std::min(kPowerOnPatternGain, static_cast<float>(drift) * kPatternGrowthPerDegree);
}

// ---- Registers --------------------------------------------------------------

uint8_t SimCamera::Impl::ReadSensorLocked(uint16_t address) { return sensor[address]; }

void SimCamera::Impl::WriteSensorLocked(uint16_t address, uint8_t value) {
  sensor[address] = value;
  // The set-up sequence ends with mode 92 := 5 after bias, timing and ADC
  // control hold their set-up values; from then on the sensor identifies itself.
  if (address == reg::kMode && value == 5 && sensor[reg::kBias] == 32 &&
      sensor[reg::kTiming] == 51 && sensor[reg::kAdcControl] == 3) {
    sensor[reg::kSignature0] = reg::kSignatureValues[0];
    sensor[reg::kSignature1] = reg::kSignatureValues[1];
    sensor[reg::kSignature2] = reg::kSignatureValues[2];
  }
}

uint8_t SimCamera::Impl::ReadControlLocked(uint8_t address) {
  uint8_t value = control[address];
  if (address == ctl::kTriggerInput && trigger_pending) {
    value |= ctl::kTriggerBit;
    trigger_pending = false;
  }
  return value;
}

void SimCamera::Impl::WriteControlLocked(uint8_t address, uint8_t value) {
  // The trigger bit is an input: writes do not drive it.
  if (address == ctl::kTriggerInput) value &= static_cast<uint8_t>(~ctl::kTriggerBit);
  control[address] = value;
}

// ---- Commands and replies ----------------------------------------------------

void SimCamera::Impl::QueueReadRepliesLocked(uint8_t command, const uint8_t* value,
                                             size_t value_size) {
  // A status reply (command echoed, status 0 = done), then the data reply.
  Packet status{};
  status[0] = command;
  Packet data{};
  std::memcpy(data.data(), value, value_size);
  replies.push_back(status);
  replies.push_back(data);
  while (replies.size() > kReplyQueueLimit) replies.pop_front();
}

void SimCamera::Impl::Command(const uint8_t* command) {
  MutexLock lock(mutex);
  switch (command[0]) {
    case protocol::kCmdStartTransfer:
      transfer_armed = true;
      break;
    case protocol::kCmdWriteSensorRegister:
      WriteSensorLocked(static_cast<uint16_t>(command[1] << 8 | command[2]), command[3]);
      break;
    case protocol::kCmdSelectCamera:
      ++select_commands;
      break;
    case protocol::kCmdFrameLength:
      frame_length_command =
          static_cast<uint32_t>(command[1]) | static_cast<uint32_t>(command[2]) << 8 |
          static_cast<uint32_t>(command[3]) << 16 | static_cast<uint32_t>(command[4]) << 24;
      break;
    case protocol::kCmdTransferMode:
      transfer_mode = command[1];
      break;
    case protocol::kCmdReadSensorRegister:
      if (command[1] == protocol::kInternalTemperatureSelector) {
        const uint16_t raw = InternalTemperatureRaw(InternalTemperatureLocked());
        const uint8_t value[2] = {static_cast<uint8_t>(raw >> 8), static_cast<uint8_t>(raw)};
        QueueReadRepliesLocked(command[0], value, sizeof value);
      } else {
        const uint8_t value = ReadSensorLocked(static_cast<uint16_t>(command[1] << 8 | command[2]));
        QueueReadRepliesLocked(command[0], &value, 1);
      }
      break;
    case protocol::kCmdWriteControlRegister:
      WriteControlLocked(command[1], command[2]);
      break;
    case protocol::kCmdReadControlRegister: {
      const uint8_t value = ReadControlLocked(command[1]);
      QueueReadRepliesLocked(command[0], &value, 1);
      break;
    }
    case protocol::kCmdNucRequest:
      // The shutter closes and the camera re-derives its per-pixel offsets:
      // the fixed pattern is gone until the sensor drifts away again.
      if (std::memcmp(command + 1, protocol::kNucArguments, sizeof protocol::kNucArguments) == 0) {
        nuc_internal_c = InternalTemperatureLocked();
        ++nuc_requests;
      }
      break;
    default:
      break;  // the camera ignores commands it does not know
  }
}

bool SimCamera::Impl::TakeReply(Packet* reply) {
  MutexLock lock(mutex);
  if (replies.empty()) return false;
  *reply = replies.front();
  replies.pop_front();
  // A failing reply transfer loses the reply it carried.
  return !failing_reads;
}

// ---- Plug state ---------------------------------------------------------------

std::optional<uint64_t> SimCamera::Impl::OpenGeneration() {
  MutexLock lock(mutex);
  if (detached || !plugged) return std::nullopt;
  return generation;
}

bool SimCamera::Impl::Reachable(uint64_t handle_generation) {
  MutexLock lock(mutex);
  return !detached && plugged && generation == handle_generation;
}

void SimCamera::Impl::Unplug() {
  MutexLock lock(mutex);
  if (plugged) ++generation;
  plugged = false;
  unplug_after_requests = -1;
}

bool SimCamera::Impl::Replug() {
  MutexLock lock(mutex);
  if (detached) return false;
  plugged = true;
  return true;
}

void SimCamera::Impl::Detach() {
  MutexLock lock(mutex);
  detached = true;
  ++generation;
}

void SimCamera::Impl::AfterRequest() {
  MutexLock lock(mutex);
  if (unplug_after_requests < 0) return;
  if (unplug_after_requests > 0) --unplug_after_requests;
  if (unplug_after_requests == 0 && plugged) {
    plugged = false;
    ++generation;
    unplug_after_requests = -1;
  }
}

// ---- SimCamera: test controls -------------------------------------------------

SimCamera::SimCamera() : impl_(std::make_unique<Impl>()) {}
SimCamera::~SimCamera() = default;

uint8_t SimCamera::sensor_register(uint16_t address) const {
  MutexLock lock(impl_->mutex);
  return impl_->sensor[address];
}

void SimCamera::set_sensor_register(uint16_t address, uint8_t value) {
  MutexLock lock(impl_->mutex);
  impl_->sensor[address] = value;
}

uint8_t SimCamera::control_register(uint8_t address) const {
  MutexLock lock(impl_->mutex);
  return impl_->control[address];
}

void SimCamera::set_control_register(uint8_t address, uint8_t value) {
  MutexLock lock(impl_->mutex);
  impl_->control[address] = value;
}

void SimCamera::ShortFrames(int count) {
  MutexLock lock(impl_->mutex);
  impl_->short_frames = std::max(0, count);
}

void SimCamera::FailTransfers(int count) {
  MutexLock lock(impl_->mutex);
  impl_->fail_transfers = std::max(0, count);
}

void SimCamera::StallFrames(bool stalled) {
  MutexLock lock(impl_->mutex);
  impl_->stalled = stalled;
}

void SimCamera::FailRegisterReads(bool failing) {
  MutexLock lock(impl_->mutex);
  impl_->failing_reads = failing;
}

void SimCamera::UnplugAfterRequests(int count) {
  {
    MutexLock lock(impl_->mutex);
    impl_->unplug_after_requests = count < 0 ? -1 : count;
  }
  if (count == 0) impl_->Unplug();
}

void SimCamera::TriggerPulse() {
  MutexLock lock(impl_->mutex);
  impl_->trigger_pending = true;
}

void SimCamera::SetInternalTemperature(float celsius) {
  MutexLock lock(impl_->mutex);
  if (std::isfinite(celsius)) impl_->internal_override = celsius;
}

void SimCamera::ClearInternalTemperature() {
  MutexLock lock(impl_->mutex);
  impl_->internal_override.reset();
}

float SimCamera::internal_temperature() const {
  MutexLock lock(impl_->mutex);
  return static_cast<float>(impl_->InternalTemperatureLocked());
}

void SimCamera::SetFrameRate(double frames_per_second) {
  MutexLock lock(impl_->mutex);
  impl_->SetFrameRateLocked(frames_per_second);
}

void SimCamera::SetScene(std::shared_ptr<FrameGenerator> scene) {
  MutexLock lock(impl_->mutex);
  impl_->scene = scene != nullptr ? std::move(scene) : MakeDefaultScene();
}

uint64_t SimCamera::frames_delivered() const {
  MutexLock lock(impl_->mutex);
  return impl_->frames_delivered;
}

int SimCamera::nuc_requests() const {
  MutexLock lock(impl_->mutex);
  return impl_->nuc_requests;
}

uint64_t SimCamera::last_frame_index() const {
  MutexLock lock(impl_->mutex);
  return impl_->last_frame_index;
}

double SimCamera::frame_rate() const {
  MutexLock lock(impl_->mutex);
  return impl_->frame_rate;
}

float SimCamera::fixed_pattern_gain() const {
  MutexLock lock(impl_->mutex);
  return impl_->PatternGainLocked();
}

bool SimCamera::plugged() const {
  MutexLock lock(impl_->mutex);
  return impl_->plugged && !impl_->detached;
}

}  // namespace kt::sim
