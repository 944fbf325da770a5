// A scripted driver port for exact, deterministic transport tests. It records
// every request, opens the slots it is told are present, answers command and
// reply requests, and answers frame reads (pipe 2) from a script: good frames,
// short frames, failed transfers, or reads that block until released.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/driver_port.h"
#include "protocol/camera_protocol.h"

#include "support/test_time.h"

namespace kt::test {

class FakePort final : public platform::DriverPort {
 public:
  enum class Frame { kGood, kShort, kFail, kBlock };

  struct Request {
    platform::DeviceHandle handle = 0;
    uint32_t code = 0;
    std::vector<uint8_t> input;  // the pipe index bytes
    uint32_t pipe = 0;           // decoded from `input`
    uint32_t size = 0;           // output buffer size
    std::vector<uint8_t> data;   // first 64 bytes of the buffer for pipes 0 and 1
    bool ok = false;
  };

  FakePort() { platform::InstallDriverPort(this); }
  ~FakePort() override { platform::InstallDriverPort(nullptr); }
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;

  // ---- Set-up ----
  void SetPresent(std::set<int> slots) {
    std::lock_guard lock(mutex_);
    present_ = std::move(slots);
  }
  // Opens of present slots return the null handle instead of a real one.
  void SetOpenReturnsNull(bool null_handle) {
    std::lock_guard lock(mutex_);
    open_returns_null_ = null_handle;
  }
  void FailIoControl(bool fail) {
    std::lock_guard lock(mutex_);
    fail_io_ = fail;
  }
  // Requests on pipes 0 and 1 report this many bytes moved (default: all).
  void SetReturnedOverride(int64_t returned) {
    std::lock_guard lock(mutex_);
    returned_override_ = returned;
  }
  // Frame answers, in order; when the script is empty the default applies.
  void Script(std::initializer_list<Frame> frames) {
    std::lock_guard lock(mutex_);
    script_.insert(script_.end(), frames.begin(), frames.end());
    changed_.notify_all();
  }
  void SetDefault(Frame frame) {
    std::lock_guard lock(mutex_);
    default_ = frame;
    changed_.notify_all();
  }
  // Ends every blocked frame read (and later blocking ones) as a failed transfer.
  void ReleaseBlocked() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  // ---- Observation ----
  // Blocks until `count` frame reads have begun (a read that blocks counts).
  bool WaitForFrameReads(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kt::test::Scaled(std::chrono::seconds(20)),
                             [&] { return frame_reads_ >= count; });
  }
  int frame_reads() {
    std::lock_guard lock(mutex_);
    return frame_reads_;
  }
  // Frame reads that have returned (good, short or failed).
  int frames_answered() {
    std::lock_guard lock(mutex_);
    return frames_answered_;
  }
  std::vector<Request> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::vector<std::string> opened_paths() {
    std::lock_guard lock(mutex_);
    return opened_paths_;
  }
  int open_handles() {
    std::lock_guard lock(mutex_);
    return open_handles_;
  }
  int closes_of_invalid() {
    std::lock_guard lock(mutex_);
    return closes_of_invalid_;
  }
  // Command bytes (64) written on pipe 0 with the pipe-write code, in order.
  std::vector<std::vector<uint8_t>> commands() {
    std::lock_guard lock(mutex_);
    std::vector<std::vector<uint8_t>> out;
    for (const Request& r : requests_) {
      if (r.pipe == protocol::kPipeCommand && r.code == protocol::kIoctlPipeWrite) {
        out.push_back(r.data);
      }
    }
    return out;
  }

  // The frame written by good and short reads: 16-bit words, word i of frame n
  // (counted from 1) holds n * 1000 + i / row_words (the row number).
  void SetRowWords(uint32_t row_words) {
    std::lock_guard lock(mutex_);
    row_words_ = row_words;
  }

  // ---- DriverPort ----
  platform::DeviceHandle Open(const char* path) override {
    std::lock_guard lock(mutex_);
    opened_paths_.emplace_back(path);
    const char* dash = std::strrchr(path, '-');
    const int slot = dash != nullptr ? std::atoi(dash + 1) : -1;
    if (present_.count(slot) == 0) return platform::kInvalidDeviceHandle;
    if (open_returns_null_) return platform::kNullDeviceHandle;
    ++open_handles_;
    return 100 + slot;
  }

  bool IoControl(platform::DeviceHandle handle, uint32_t code, const void* input,
                 uint32_t input_size, void* output, uint32_t output_size,
                 uint32_t* returned) override {
    Request request;
    request.handle = handle;
    request.code = code;
    const auto* in = static_cast<const uint8_t*>(input);
    request.input.assign(in, in + input_size);
    if (input_size == 4) {
      request.pipe = in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
    }
    request.size = output_size;
    *returned = 0;

    std::unique_lock lock(mutex_);
    if (handle == platform::kInvalidDeviceHandle || fail_io_) {
      requests_.push_back(request);
      return false;
    }
    if (request.pipe != protocol::kPipeFrame) {
      auto* out = static_cast<uint8_t*>(output);
      if (request.pipe == protocol::kPipeReply) std::memset(out, 0, output_size);
      request.data.assign(out, out + std::min<uint32_t>(output_size, 64));
      *returned = returned_override_ >= 0 ? static_cast<uint32_t>(returned_override_) : output_size;
      request.ok = true;
      requests_.push_back(request);
      return true;
    }

    ++frame_reads_;
    const int frame_number = frame_reads_;
    requests_.push_back(request);
    const size_t index = requests_.size() - 1;
    changed_.notify_all();
    Frame frame = NextFrame();
    while (frame == Frame::kBlock) {
      changed_.wait(lock,
                    [&] { return released_ || !script_.empty() || default_ != Frame::kBlock; });
      if (released_) {
        frame = Frame::kFail;
      } else {
        frame = NextFrame();
      }
    }
    ++frames_answered_;
    if (frame == Frame::kFail) return false;
    const uint32_t bytes = frame == Frame::kGood ? output_size : output_size / 2;
    FillFrame(static_cast<uint8_t*>(output), bytes, frame_number);
    *returned = bytes;
    requests_[index].ok = true;
    return true;
  }

  bool Close(platform::DeviceHandle handle) override {
    std::lock_guard lock(mutex_);
    if (handle == platform::kInvalidDeviceHandle) {
      ++closes_of_invalid_;
      return false;
    }
    --open_handles_;
    return true;
  }

 private:
  Frame NextFrame() {
    if (script_.empty()) return default_;
    const Frame frame = script_.front();
    script_.pop_front();
    return frame;
  }

  void FillFrame(uint8_t* out, uint32_t bytes, int frame_number) const {
    for (uint32_t i = 0; i + 1 < bytes; i += 2) {
      const uint32_t word = i / 2;
      const uint16_t value =
          static_cast<uint16_t>(frame_number * 1000 + (row_words_ ? word / row_words_ : 0));
      out[i] = static_cast<uint8_t>(value);
      out[i + 1] = static_cast<uint8_t>(value >> 8);
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  // Everything below is guarded by mutex_.
  std::set<int> present_{0};
  bool open_returns_null_ = false;
  bool fail_io_ = false;
  int64_t returned_override_ = -1;
  std::deque<Frame> script_;
  Frame default_ = Frame::kBlock;
  bool released_ = false;
  int frame_reads_ = 0;
  int frames_answered_ = 0;
  uint32_t row_words_ = 0;
  std::vector<Request> requests_;
  std::vector<std::string> opened_paths_;
  int open_handles_ = 0;
  int closes_of_invalid_ = 0;
};

}  // namespace kt::test
