// The driver transport of CKCMSdkLib: device files, the three I/O-control
// requests, slot probing, and the frame geometry with its transfer buffers.
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "device/kcm_sdk_lib.h"

namespace kt {
namespace {

// Transfer unit counts are whole multiples of this many units.
constexpr uint64_t kTransferUnitGranule = 1024;

// DeviceControl's direction argument: toward the host (read) or the camera.
constexpr int kDirectionRead = 0;
constexpr int kDirectionWrite = 1;

// Formats "\\.\<base>-<index>" into `path` (`size` bytes, always terminated).
void FormatDevicePath(char* path, size_t size, const char* base_name, int index) {
  std::snprintf(path, size, protocol::kDevicePathFormat, base_name, index);
}

}  // namespace

CKCMSdkLib::CKCMSdkLib() = default;

CKCMSdkLib::~CKCMSdkLib() {
  // No worker may outlive the object: end a running stream (or collect one that
  // ended by itself), and collect a grab thread before the buffers go away.
  StopStream();
  if (stream_thread_.joinable()) stream_thread_.join();
  if (grab_thread_.joinable()) grab_thread_.join();
  stream_.frame_ready.reset();
  stream_.stream_ended.reset();
  grab_.done.reset();
  FreeBuffers();
}

// ---- Driver requests ----

bool CKCMSdkLib::OpenDevice(const char* path, platform::DeviceHandle* handle) {
  if (handle == nullptr) return false;
  if (path == nullptr) {
    *handle = platform::kNullDeviceHandle;
    return false;
  }
  // A driver that cannot allocate for a request fails it; nothing it throws
  // reaches the device layer's callers, some of which are worker threads. A
  // failed open gives the invalid handle, so that the stream that needed it
  // fails its first transfer and is reported instead of idling.
  try {
    *handle = platform::CurrentDriverPort().Open(path);
  } catch (...) {
    *handle = platform::kInvalidDeviceHandle;
  }
  // The invalid-handle value is kept as "opened": the first request on it fails.
  return *handle != platform::kNullDeviceHandle;
}

bool CKCMSdkLib::CloseDevice(platform::DeviceHandle* handle) {
  if (handle == nullptr || *handle == platform::kNullDeviceHandle) return false;
  try {
    platform::CurrentDriverPort().Close(*handle);
  } catch (...) {
    // The handle is given up either way.
  }
  *handle = platform::kNullDeviceHandle;
  return true;
}

RequestResult CKCMSdkLib::IssueRequest(platform::DeviceHandle handle, uint32_t code, uint32_t pipe,
                                       uint32_t size, void* buffer, uint32_t* returned) {
  if (buffer == nullptr) return RequestResult::kNoBuffer;
  if (handle == platform::kNullDeviceHandle) return RequestResult::kNoHandle;
  // The driver names the pipe by a 4-byte little-endian index.
  const uint8_t pipe_index[protocol::kPipeIndexSize] = {
      static_cast<uint8_t>(pipe), static_cast<uint8_t>(pipe >> 8), static_cast<uint8_t>(pipe >> 16),
      static_cast<uint8_t>(pipe >> 24)};
  uint32_t moved = 0;
  bool ok = false;
  try {
    ok = platform::CurrentDriverPort().IoControl(handle, code, pipe_index, protocol::kPipeIndexSize,
                                                 buffer, size, &moved);
  } catch (...) {
    ok = false;
    moved = 0;
  }
  if (returned != nullptr) *returned = moved;
  return ok ? RequestResult::kDone : RequestResult::kFailed;
}

RequestResult CKCMSdkLib::DeviceControl(platform::DeviceHandle handle, uint32_t pipe, uint32_t size,
                                        void* buffer, uint32_t* returned, int direction) {
  const uint32_t code =
      direction == kDirectionRead ? protocol::kIoctlPipeRead : protocol::kIoctlPipeWrite;
  return IssueRequest(handle, code, pipe, size, buffer, returned);
}

DeviceStatus CKCMSdkLib::PipeRead(platform::DeviceHandle handle, uint32_t pipe, uint32_t size,
                                  void* buffer) {
  if (handle == platform::kNullDeviceHandle) return kDeviceNoHandle;
  uint32_t moved = 0;
  const RequestResult result = DeviceControl(handle, pipe, size, buffer, &moved, kDirectionRead);
  return result == RequestResult::kDone && moved == size ? kDeviceOk : kDeviceTransferFailed;
}

DeviceStatus CKCMSdkLib::PipeWrite(platform::DeviceHandle handle, uint32_t pipe, uint32_t size,
                                   const void* buffer) {
  if (handle == platform::kNullDeviceHandle) return kDeviceNoHandle;
  uint32_t moved = 0;
  // The driver only reads a buffer headed toward the camera; the port's
  // interface takes one mutable data buffer for both directions.
  const RequestResult result =
      DeviceControl(handle, pipe, size, const_cast<void*>(buffer), &moved, kDirectionWrite);
  return result == RequestResult::kDone && moved == size ? kDeviceOk : kDeviceTransferFailed;
}

// ---- Slots ----

int CKCMSdkLib::ProbeDevices() {
  int found = 0;
  int present[protocol::kDeviceSlots] = {};
  for (int index = 0; index < protocol::kDeviceSlots; ++index) {
    char path[kDevicePathChars];
    FormatDevicePath(path, sizeof(path), base_name_, index);
    platform::DeviceHandle handle = platform::kNullDeviceHandle;
    const bool opened = OpenDevice(path, &handle);
    const bool is_present = opened && handle != platform::kInvalidDeviceHandle;
    present[index] = is_present ? 1 : 0;
    if (is_present) {
      CloseDevice(&handle);
      ++found;
    }
  }
  MutexLock lock(exchange_lock_);
  std::memcpy(present_, present, sizeof present_);
  selected_slot_ = 0;
  FormatDevicePath(device_path_, sizeof(device_path_), base_name_, selected_slot_);
  return found;
}

bool CKCMSdkLib::IsPresent(int index) const {
  if (index < 0 || index >= protocol::kDeviceSlots) return false;
  MutexLock lock(exchange_lock_);
  return present_[index] != 0;
}

DeviceStatus CKCMSdkLib::SetDevicePath(int index) {
  // Compared unsigned, so a negative index is refused as well. Index 8 passes
  // (and names a device file no camera has) but never indexes present_.
  if (static_cast<unsigned>(index) > static_cast<unsigned>(protocol::kDeviceSlots)) {
    return kDeviceBadSlot;
  }
  MutexLock lock(exchange_lock_);
  selected_slot_ = index;
  FormatDevicePath(device_path_, sizeof(device_path_), base_name_, index);
  return kDeviceOk;
}

int CKCMSdkLib::selected_slot() const {
  MutexLock lock(exchange_lock_);
  return selected_slot_;
}

std::string CKCMSdkLib::device_path() const {
  MutexLock lock(exchange_lock_);
  return device_path_;
}

void CKCMSdkLib::CopyDevicePath(char* path) const {
  MutexLock lock(exchange_lock_);
  std::memcpy(path, device_path_, sizeof device_path_);
}

// ---- Geometry and buffers ----

uint32_t CKCMSdkLib::ComputeTransferUnits(int pitch, int first_line, int height) {
  const int64_t lines = static_cast<int64_t>(first_line) + height;
  if (pitch < 1 || lines < 1) return 0;
  const uint64_t product = static_cast<uint64_t>(pitch) * static_cast<uint64_t>(lines);
  const uint64_t units =
      (product + kTransferUnitGranule - 1) / kTransferUnitGranule * kTransferUnitGranule;
  // Both the unit count (a signed 32-bit field) and its byte count (twice it,
  // unsigned 32-bit) must fit; 0 marks a geometry that does not.
  if (units > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return 0;
  return static_cast<uint32_t>(units);
}

uint32_t CKCMSdkLib::transfer_byte_count() const {
  const uint32_t units = static_cast<uint32_t>(transfer_units_);
  return transfer_mode_.load() != 0 ? units * 2 : units;
}

void CKCMSdkLib::FreeBuffers() {
  single_frame_.reset();
  ring_.clear();
  stream_.entries = nullptr;
  stream_.ring_count = 0;
  grab_.buffer = nullptr;
}

DeviceStatus CKCMSdkLib::SetGeometry(int pitch, int horizontal_offset, int width, int total_lines,
                                     int first_line, int height, int ring_count) {
  // The window must lie inside a line: CopyWindow reads it from every line.
  if (pitch < 1 || width < 1 || pitch < width || horizontal_offset < 0 ||
      horizontal_offset > pitch - width) {
    return kDeviceBadHorizontalGeometry;
  }
  // first + height is formed in 64 bits; a frame whose buffers would not fit
  // 32-bit sizes is refused here as well.
  if (total_lines < 1 || height < 1 || first_line < 0 ||
      static_cast<int64_t>(total_lines) < static_cast<int64_t>(first_line) + height ||
      ComputeTransferUnits(pitch, first_line, height) == 0) {
    return kDeviceBadVerticalGeometry;
  }
  if (ring_count < 2) return kDeviceRingTooSmall;
  // The workers write into these buffers; replacing them under a running
  // stream or grab would pull them away mid-transfer.
  if (IsStreaming() || IsGrabbing()) return kDeviceBusy;
  // A stream that ended by itself is collected before its buffers go.
  if (stream_thread_.joinable()) stream_thread_.join();

  FreeBuffers();
  ring_count_ = ring_count;
  horizontal_offset_ = horizontal_offset;
  pitch_ = pitch;
  first_line_ = first_line;
  width_ = width;
  total_lines_ = total_lines;
  height_ = height;
  transfer_units_ = static_cast<int32_t>(ComputeTransferUnits(pitch, first_line, height));

  const size_t block_bytes = static_cast<size_t>(transfer_units_) * 2;
  // Value-initialised: the buffers start zero-filled.
  single_frame_.reset(new (std::nothrow) uint8_t[block_bytes]());
  if (!single_frame_) return kDeviceAllocationFailed;

  std::vector<RingEntry> ring;
  try {
    ring.resize(static_cast<size_t>(ring_count));
  } catch (const std::bad_alloc&) {
    FreeBuffers();
    ring_count_ = 0;
    return kDeviceAllocationFailed;
  }
  for (RingEntry& entry : ring) {
    entry.block.reset(new (std::nothrow) uint8_t[block_bytes]());
    if (!entry.block) {
      FreeBuffers();
      ring_count_ = 0;
      return kDeviceAllocationFailed;
    }
    // The block stays "locked" (addressable) for its whole life.
    entry.locked = entry.block.get();
  }
  ring_ = std::move(ring);

  SendFrameLength();
  return kDeviceOk;
}

void CKCMSdkLib::SendFrameLength() {
  const uint32_t units = static_cast<uint32_t>(transfer_units_);
  uint8_t command[protocol::kCommandSize] = {};
  command[0] = protocol::kCmdFrameLength;
  command[1] = static_cast<uint8_t>(units);
  command[2] = static_cast<uint8_t>(units >> 8);
  command[3] = static_cast<uint8_t>(units >> 16);
  command[4] = static_cast<uint8_t>(units >> 24);
  SendCommand(command);
}

}  // namespace kt
