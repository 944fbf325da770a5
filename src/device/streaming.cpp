// Streaming and single grabs of CKCMSdkLib. The stream thread fills a ring of
// transfer buffers without pause; the capture thread takes the newest complete
// frame. The writer never chooses the slot the reader holds, so a frame being
// copied is never overwritten.
#include <cstring>
#include <new>
#include <system_error>

#include "device/kcm_sdk_lib.h"
#include "platform/thread.h"

namespace kt {
namespace {

// The direction of DeviceControl that carries command 2: the start-transfer
// command goes out with the pipe-read request code. The codes only select the
// driver's buffer method; the driver moves the data the way the pipe goes
// (the command pipe always toward the camera), and this pairing is what the
// driver expects, so it is kept although the names look swapped.
constexpr int kDirectionRead = 0;

int NextSlot(int slot, int ring_count) { return slot + 1 >= ring_count ? 0 : slot + 1; }

}  // namespace

void CKCMSdkLib::SendStartTransfer(platform::DeviceHandle handle) {
  uint8_t command[protocol::kCommandSize] = {};
  command[0] = protocol::kCmdStartTransfer;
  uint32_t moved = 0;
  // Held only around this 64-byte write, so that it never falls between the
  // write and the replies of a register exchange.
  MutexLock lock(exchange_lock_);
  DeviceControl(handle, protocol::kPipeCommand, protocol::kCommandSize, command, &moved,
                kDirectionRead);
}

RequestResult CKCMSdkLib::ReadFrame(platform::DeviceHandle handle, int large_transfer,
                                    uint32_t size, void* buffer, uint32_t* returned) {
  // Frames come in with the pipe-write code (or the large-frame code): as for
  // command 2, the code picks the driver's buffer method and the frame pipe
  // decides the direction, so this pairing is intended.
  const uint32_t code =
      large_transfer != 0 ? protocol::kIoctlLargeFrameRead : protocol::kIoctlPipeWrite;
  return IssueRequest(handle, code, protocol::kPipeFrame, size, buffer, returned);
}

void CKCMSdkLib::CopyRowsReversed(uint8_t* destination, const uint8_t* source) const {
  const size_t row_bytes = static_cast<size_t>(width_) * 2;
  for (int row = 0; row < height_; ++row) {
    std::memcpy(destination + static_cast<size_t>(row) * row_bytes,
                source + static_cast<size_t>(height_ - 1 - row) * row_bytes, row_bytes);
  }
}

// ---- Streaming ----

DeviceStatus CKCMSdkLib::StartStream() {
  if (stream_.stop_flag.load() == 0) return kDeviceBusy;
  // Without a geometry there is nothing to transfer into.
  if (ring_.size() < 2) return kDeviceNullBuffer;
  // A stream that ended by itself (failed open, failed transfer) has a thread
  // still to collect before its block is reused.
  if (stream_thread_.joinable()) stream_thread_.join();

  stream_.transfer_bytes = transfer_byte_count();
  stream_.stream_ended.reset(new (std::nothrow)
                                 platform::Event(platform::Event::ResetMode::kManual));
  stream_.frame_ready.reset(new (std::nothrow) platform::Event(platform::Event::ResetMode::kAuto));
  if (!stream_.stream_ended || !stream_.frame_ready) {
    stream_.stream_ended.reset();
    stream_.frame_ready.reset();
    return kDeviceAllocationFailed;
  }

  stream_.ring_count = static_cast<int>(ring_.size());
  stream_.entries = ring_.data();
  stream_.large_transfer = large_transfer_;
  CopyDevicePath(stream_.device_path);
  stream_.error_flag.store(0);
  stream_.write_index.store(0);
  stream_.read_index.store(0);
  stream_.status.store(kDeviceOk);
  stream_.stop_flag.store(0);

  try {
    stream_thread_ = std::thread(&CKCMSdkLib::StreamThreadMain, this);
  } catch (const std::exception&) {  // std::system_error, std::bad_alloc
    stream_.stop_flag.store(1);
    stream_.stream_ended.reset();
    stream_.frame_ready.reset();
    return kDeviceAllocationFailed;
  }
  return kDeviceOk;
}

void CKCMSdkLib::StreamThreadMain() {
  platform::RaiseCurrentThreadPriority();
  StreamBlock& block = stream_;
  platform::DeviceHandle handle = platform::kNullDeviceHandle;
  DeviceStatus status = kDeviceOk;

  // Nothing may leave a worker thread: anything thrown ends the stream as a
  // failed transfer, which the capture loop reports as a lost camera.
  try {
    if (!OpenDevice(block.device_path, &handle)) {
      status = kDeviceNoHandle;
    } else if (handle != platform::kNullDeviceHandle && block.stop_flag.load() == 0) {
      bool short_frame_seen = false;
      while (status != kDeviceFrameFailed) {
        // Only this thread writes the write index.
        const int slot = block.write_index.load(std::memory_order_relaxed);
        SendStartTransfer(handle);
        uint32_t moved = 0;
        const RequestResult result = ReadFrame(handle, block.large_transfer, block.transfer_bytes,
                                               block.entries[slot].locked, &moved);

        bool publish = true;
        if (result != RequestResult::kDone) {
          status = kDeviceFrameFailed;
        } else if (moved != block.transfer_bytes) {
          // One short frame is tolerated at the start of a stream (the camera may
          // still be finishing a frame begun before); a second one ends it.
          if (short_frame_seen) {
            status = kDeviceFrameFailed;
          } else {
            short_frame_seen = true;
            publish = false;
          }
        }

        if (publish) {
          {
            // Publishing under index_lock_ also releases the slot's pixels to
            // the reader, which takes the same lock before it copies.
            MutexLock lock(index_lock_);
            int next = NextSlot(slot, block.ring_count);
            if (next == block.read_index.load()) next = NextSlot(next, block.ring_count);
            block.write_index.store(next);
          }
          block.frame_ready->Set();
        }
        if (block.stop_flag.load() == 1) break;
      }
    }
  } catch (...) {
    status = kDeviceFrameFailed;
  }

  CloseDevice(&handle);
  block.status.store(status);
  // The error flag goes up before the stop flag, so that a reader that sees the
  // stream stopped also sees whether it failed.
  block.error_flag.store(status == kDeviceFrameFailed ? 1 : 0);
  block.stop_flag.store(1);
  block.stream_ended->Set();
}

WaitFrameResult CKCMSdkLib::WaitFrame() {
  if (stream_.error_flag.load() == 1) return kWaitDeviceLost;
  if (stream_.stop_flag.load() == 1) return kWaitStopped;

  const int ring_count = stream_.ring_count;
  {
    MutexLock lock(index_lock_);
    const int write = stream_.write_index.load();
    const int read = stream_.read_index.load();
    const int waiting = (write < read ? write + ring_count : write) - read;
    if (waiting > 0) {
      // The newest published slot; older waiting frames are dropped.
      stream_.read_index.store(write == 0 ? ring_count - 1 : write - 1);
      return kWaitFrameReady;
    }
  }

  platform::Event* ready = stream_.frame_ready.get();
  if (ready == nullptr || !ready->Wait(kFrameWaitLimitMs)) return kWaitDeviceLost;
  return kWaitNoFrameYet;
}

DeviceStatus CKCMSdkLib::CopyFrame(void* destination) {
  if (destination == nullptr || stream_.entries == nullptr) return kDeviceNullBuffer;
  // Only this (the capture) thread writes the read index.
  const int slot = stream_.read_index.load(std::memory_order_relaxed);
  CopyRowsReversed(static_cast<uint8_t*>(destination), stream_.entries[slot].locked);
  MutexLock lock(index_lock_);
  stream_.read_index.store(NextSlot(slot, stream_.ring_count));
  return kDeviceOk;
}

DeviceStatus CKCMSdkLib::StopStream() {
  if (stream_.stop_flag.load() == 1 && stream_.error_flag.load() == 0) {
    // Not streaming. A stream that ended by itself without an error (a failed
    // open) still leaves its thread to collect.
    if (stream_thread_.joinable()) stream_thread_.join();
    return kDeviceOk;
  }
  if (stream_.stop_flag.load() == 0) {
    stream_.stop_flag.store(1);
    stream_.stream_ended->Wait(platform::kInfinite);
  }
  if (stream_thread_.joinable()) stream_thread_.join();
  const DeviceStatus status = stream_.status.load();
  stream_.frame_ready.reset();
  stream_.stream_ended.reset();
  stream_.stop_flag.store(1);
  stream_.error_flag.store(0);
  return status;
}

// ---- Single grab ----

DeviceStatus CKCMSdkLib::GrabOne() {
  int idle = 1;
  if (!grab_.idle_flag.compare_exchange_strong(idle, 0)) return kDeviceBusy;

  grab_.transfer_bytes = transfer_byte_count();
  grab_.buffer = single_frame_.get();
  grab_.done.reset(new (std::nothrow) platform::Event(platform::Event::ResetMode::kManual));
  grab_.transfer_mode = transfer_mode_.load();
  grab_.large_transfer = large_transfer_;
  CopyDevicePath(grab_.device_path);
  if (!grab_.done) {
    grab_.idle_flag.store(1);
    return kDeviceAllocationFailed;
  }

  try {
    grab_thread_ = std::thread(&CKCMSdkLib::GrabThreadMain, this);
  } catch (const std::exception&) {  // std::system_error, std::bad_alloc
    grab_.done.reset();
    grab_.idle_flag.store(1);
    return kDeviceAllocationFailed;
  }
  grab_.done->Wait(platform::kInfinite);
  grab_thread_.join();
  grab_.done.reset();
  const DeviceStatus status = grab_.status.load();
  // Idle again only once the thread is collected, so that the next grab
  // never meets a thread object still in use.
  grab_.idle_flag.store(1);
  return status;
}

void CKCMSdkLib::GrabThreadMain() {
  platform::RaiseCurrentThreadPriority();
  platform::DeviceHandle handle = platform::kNullDeviceHandle;
  DeviceStatus status = kDeviceOk;
  try {
    if (!OpenDevice(grab_.device_path, &handle)) {
      status = kDeviceNoHandle;
    } else {
      SendStartTransfer(handle);
      uint32_t moved = 0;
      const RequestResult result =
          ReadFrame(handle, grab_.large_transfer, grab_.transfer_bytes, grab_.buffer, &moved);
      if (result != RequestResult::kDone || moved != grab_.transfer_bytes)
        status = kDeviceFrameFailed;
    }
  } catch (...) {
    status = kDeviceFrameFailed;
  }
  CloseDevice(&handle);
  grab_.status.store(status);
  grab_.done->Set();
}

DeviceStatus CKCMSdkLib::CopyGrabbed(void* destination) {
  if (destination == nullptr || !single_frame_) return kDeviceNullBuffer;
  CopyRowsReversed(static_cast<uint8_t*>(destination), single_frame_.get());
  return kDeviceOk;
}

}  // namespace kt
