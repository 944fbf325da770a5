// The simulated driver: the device namespace, handles, and the routing of each
// request to the camera behind the handle, with every request logged.
#include "sim/sim_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/mutex.h"
#include "protocol/camera_protocol.h"
#include "sim/sim_camera_impl.h"

namespace kt::sim {
namespace {

// Handles look like the kernel's: small multiples of four, never reused.
constexpr platform::DeviceHandle kFirstHandle = 0x100;
constexpr platform::DeviceHandle kHandleStep = 4;

// The slot a device path names, or -1.
int SlotOfPath(const char* path) {
  if (path == nullptr) return -1;
  for (int slot = 0; slot < protocol::kDeviceSlots; ++slot) {
    char expected[64];
    std::snprintf(expected, sizeof expected, protocol::kDevicePathFormat, protocol::kDeviceBaseName,
                  slot);
    // strcmp stops at the first difference, so it reads no further into
    // `path` than the expected name's length plus one.
    if (std::strcmp(path, expected) == 0) return slot;
  }
  return -1;
}

bool ValidSlot(int slot) { return slot >= 0 && slot < protocol::kDeviceSlots; }

}  // namespace

struct SimDriver::Impl {
  struct OpenHandle {
    int slot = -1;
    std::shared_ptr<SimCamera> camera;
    uint64_t generation = 0;
  };

  // The handle's entry, copied out so the request runs without the driver lock.
  std::optional<OpenHandle> Find(platform::DeviceHandle handle) EXCLUDES(mutex) {
    MutexLock lock(mutex);
    const auto found = handles.find(handle);
    if (found == handles.end()) return std::nullopt;
    return found->second;
  }

  Mutex mutex;
  std::array<std::shared_ptr<SimCamera>, protocol::kDeviceSlots> slots GUARDED_BY(mutex);
  std::unordered_map<platform::DeviceHandle, OpenHandle> handles GUARDED_BY(mutex);
  platform::DeviceHandle next_handle GUARDED_BY(mutex) = kFirstHandle;
};

SimDriver::SimDriver() : impl_(std::make_unique<Impl>()) {}

SimDriver::~SimDriver() = default;

SimDriver& SimDriver::Default() {
  // Never destroyed: the library's threads may still use the driver while the
  // process exits.
  static SimDriver* const driver = [] {
    auto* created = new SimDriver;
    created->Attach(0);
    return created;
  }();
  return *driver;
}

std::shared_ptr<SimCamera> SimDriver::Attach(int slot) {
  if (!ValidSlot(slot)) return nullptr;
  MutexLock lock(impl_->mutex);
  auto& camera = impl_->slots[static_cast<size_t>(slot)];
  if (camera == nullptr) camera = std::make_shared<SimCamera>();
  return camera;
}

bool SimDriver::Detach(int slot) {
  if (!ValidSlot(slot)) return false;
  std::shared_ptr<SimCamera> camera;
  {
    MutexLock lock(impl_->mutex);
    camera = std::move(impl_->slots[static_cast<size_t>(slot)]);
  }
  if (camera == nullptr) return false;
  // Handles still open keep the object alive; they fail from now on.
  camera->impl().Detach();
  return true;
}

bool SimDriver::Unplug(int slot) {
  const std::shared_ptr<SimCamera> camera = this->camera(slot);
  if (camera == nullptr) return false;
  camera->impl().Unplug();
  return true;
}

bool SimDriver::Replug(int slot) {
  const std::shared_ptr<SimCamera> camera = this->camera(slot);
  return camera != nullptr && camera->impl().Replug();
}

std::shared_ptr<SimCamera> SimDriver::camera(int slot) {
  if (!ValidSlot(slot)) return nullptr;
  MutexLock lock(impl_->mutex);
  return impl_->slots[static_cast<size_t>(slot)];
}

platform::DeviceHandle SimDriver::Open(const char* path) {
  LoggedRequest entry;
  entry.kind = RequestKind::kOpen;
  entry.slot = SlotOfPath(path);
  platform::DeviceHandle handle = platform::kInvalidDeviceHandle;
  if (entry.slot >= 0) {
    MutexLock lock(impl_->mutex);
    const auto& camera = impl_->slots[static_cast<size_t>(entry.slot)];
    if (camera != nullptr) {
      if (const auto generation = camera->impl().OpenGeneration()) {
        handle = impl_->next_handle;
        impl_->next_handle += kHandleStep;
        impl_->handles[handle] = Impl::OpenHandle{entry.slot, camera, *generation};
      }
    }
  }
  entry.ok = handle != platform::kInvalidDeviceHandle;
  entry.tick_ms = platform::TimerTickMs();
  log_.Append(std::move(entry));
  return handle;
}

bool SimDriver::Close(platform::DeviceHandle handle) {
  LoggedRequest entry;
  entry.kind = RequestKind::kClose;
  {
    MutexLock lock(impl_->mutex);
    const auto found = impl_->handles.find(handle);
    if (found != impl_->handles.end()) {
      entry.slot = found->second.slot;
      entry.ok = true;
      impl_->handles.erase(found);
    }
  }
  entry.tick_ms = platform::TimerTickMs();
  const bool ok = entry.ok;
  log_.Append(std::move(entry));
  return ok;
}

bool SimDriver::IoControl(platform::DeviceHandle handle, uint32_t code, const void* input,
                          uint32_t input_size, void* output, uint32_t output_size,
                          uint32_t* returned) {
  LoggedRequest entry;
  entry.kind = RequestKind::kIoControl;
  entry.code = code;
  entry.requested = output_size;
  if (returned != nullptr) *returned = 0;
  auto* data = static_cast<uint8_t*>(output);

  const std::optional<Impl::OpenHandle> open = impl_->Find(handle);
  bool reached = false;
  if (open) {
    entry.slot = open->slot;
    SimCamera::Impl& camera = open->camera->impl();
    // The input is the pipe index, 4 bytes little-endian, and nothing else.
    const bool pipe_given = input != nullptr && input_size == protocol::kPipeIndexSize;
    if (pipe_given) {
      const auto* index = static_cast<const uint8_t*>(input);
      entry.pipe = static_cast<uint32_t>(index[0]) | static_cast<uint32_t>(index[1]) << 8 |
                   static_cast<uint32_t>(index[2]) << 16 | static_cast<uint32_t>(index[3]) << 24;
    }
    const bool to_camera_code =
        code == protocol::kIoctlPipeWrite || code == protocol::kIoctlPipeRead;
    const bool frame_code =
        code == protocol::kIoctlPipeWrite || code == protocol::kIoctlLargeFrameRead;
    reached = pipe_given && camera.Reachable(open->generation);
    if (!reached) {
      // Bad input, or the camera is gone: the request fails before the device.
    } else if (entry.pipe == protocol::kPipeCommand && to_camera_code) {
      // A command is one whole 64-byte packet; any other size is refused.
      if (data != nullptr) {
        entry.bytes.assign(data, data + std::min<uint32_t>(output_size, protocol::kCommandSize));
      }
      if (data != nullptr && output_size == protocol::kCommandSize) {
        camera.Command(data);
        entry.returned = protocol::kCommandSize;
        entry.ok = true;
      }
    } else if (entry.pipe == protocol::kPipeReply && code == protocol::kIoctlPipeRead) {
      // A reply is one 64-byte packet: a larger buffer receives 64 bytes, a
      // smaller one is refused and the reply stays queued.
      if (data != nullptr && output_size >= protocol::kReplySize) {
        Packet reply{};
        if (camera.TakeReply(&reply)) {
          std::memcpy(data, reply.data(), reply.size());
          entry.bytes.assign(reply.begin(), reply.end());
          entry.returned = protocol::kReplySize;
          entry.ok = true;
        }
      }
    } else if (entry.pipe == protocol::kPipeFrame && frame_code) {
      entry.ok = camera.ReadFrame(open->generation, data, output_size, &entry.returned);
    }
    if (reached) camera.AfterRequest();
  }

  if (returned != nullptr) *returned = entry.returned;
  entry.tick_ms = platform::TimerTickMs();
  const bool ok = entry.ok;
  log_.Append(std::move(entry));
  return ok;
}

}  // namespace kt::sim
