// CKCMSdkLib: generic access to one camera through its driver. It names and
// probes the driver's device files, sends 64-byte commands and reads 64-byte
// replies, moves frames (a stream thread filling a ring of transfer buffers, or
// a grab thread moving one frame), and reads and writes the camera's registers.
//
// Results of this layer (never seen by hosts): DeviceStatus for operations
// that have a code to report, RequestResult for the driver requests,
// WaitFrameResult for the frame wait, bool for the rest.
//
// Threads:
// - host threads and the capture thread issue command exchanges; each exchange
//   (open, write, read, close) holds exchange_lock_, so a reply is never read by
//   the wrong exchange;
// - the device path, the selected slot and the present flags are guarded by
//   exchange_lock_ too: a host thread selects a camera while another host
//   thread or the capture thread reads them, and an exchange keeps the path it
//   opened until it closes; the workers get their own copy of the path;
// - the stream thread is the only writer of the write index, the stream status
//   and the error flag; the capture thread is the only caller of WaitFrame and
//   CopyFrame and the only writer of the read index;
// - StartStream, StopStream, GrabOne, SetGeometry and SetWindow run on the
//   thread that controls acquisition (the host's, or the capture thread's
//   owner); the geometry must not change while a stream runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/driver_port.h"
#include "platform/event.h"
#include "platform/mutex.h"
#include "protocol/camera_protocol.h"

namespace kt {

// Status codes of the device layer. The values are fixed device codes, and
// some of the numbers in between are deliberately unused. Unscoped with an
// int base: the camera layer stores and compares them as ints (a stream's
// status, the result of a start), so a scoped enum would reach into its code
// for no gain in meaning.
enum DeviceStatus : int {
  kDeviceOk = 0,
  kDeviceRingTooSmall = 1,
  kDeviceBadHorizontalGeometry = 3,
  kDeviceBadVerticalGeometry = 4,
  kDeviceRegionOutsideFrame = 5,
  kDeviceAllocationFailed = 7,
  kDeviceNoHandle = 10,
  kDeviceTransferFailed = 12,
  kDeviceNullBuffer = 14,
  kDeviceFrameFailed = 19,
  kDeviceBusy = 21,
  kDeviceBadSlot = 22,
};

// Outcomes of one driver request (DeviceControl). The values are the codes
// the request has always had; only the device layer sees them.
enum class RequestResult : int {
  kDone = 0,       // the driver carried the request out
  kFailed = -1,    // the driver refused or failed it
  kNoBuffer = -2,  // no data buffer was given
  kNoHandle = -3,  // no device handle was given
};

// Results of WaitFrame as the capture loop reads them.
enum WaitFrameResult : int {
  kWaitDeviceLost = 1,
  kWaitStopped = 0,
  kWaitNoFrameYet = 2,
  kWaitFrameReady = 3,
};

class CKCMSdkLib {
 public:
  // Milliseconds WaitFrame waits for a frame before reporting the device lost.
  static constexpr uint32_t kFrameWaitLimitMs = 6000;
  // A transfer unit count at or above this uses the large-frame request code.
  static constexpr int32_t kLargeTransferUnits = 3072000;

  CKCMSdkLib();
  // Virtual, although instances are always destroyed as their concrete class:
  // it costs nothing and keeps a deletion through the base pointer sound.
  virtual ~CKCMSdkLib();
  CKCMSdkLib(const CKCMSdkLib&) = delete;
  CKCMSdkLib& operator=(const CKCMSdkLib&) = delete;

  // ---- Virtual operations (slots 0 to 4, in this order) ----
  // The slots keep the parameter lists that model classes override, `unused`
  // included: it belongs to the slot's shape, and this base class ignores it.
  // 0: copies width x height pixels (two bytes each in 16-bit mode).
  // kDeviceOk, or kDeviceNullBuffer for a missing buffer.
  virtual DeviceStatus CopyRaw(void* destination, const void* source);
  // 1: converts a region of a transfer buffer into 3 bytes per pixel (B, G, R).
  // kDeviceRegionOutsideFrame is checked before kDeviceNullBuffer.
  virtual DeviceStatus ConvertRegionToRgb(uint8_t* destination, const void* source, int colour,
                                          int unused, int left, int top, int right, int bottom);
  // 2: slot 1 over the whole delivered window.
  virtual DeviceStatus ConvertToRgb(uint8_t* destination, const void* source, int colour,
                                    int unused);
  // 3: copies the delivered window out of a transfer buffer. kDeviceOk, or
  // kDeviceNullBuffer for a missing buffer.
  virtual DeviceStatus CopyWindow(void* destination, const void* source);
  // 4: stores the transfer mode and sends command 10. Always true: whether the
  // camera took the command shows at the next transfer, not here.
  virtual bool SetTransferMode(int mode);

  // ---- Driver requests ----
  // Opens the device path; true when a (non-null) handle came back.
  // The invalid-handle value counts as opened: it fails at the first request.
  // A stream whose open "succeeds" with it then fails its first transfer and
  // is reported as lost, instead of idling without frames.
  bool OpenDevice(const char* path, platform::DeviceHandle* handle);
  // Closes a non-null handle and clears it; false for a null one.
  bool CloseDevice(platform::DeviceHandle* handle);
  // One synchronous request; the buffer is checked before the handle.
  RequestResult DeviceControl(platform::DeviceHandle handle, uint32_t pipe, uint32_t size,
                              void* buffer, uint32_t* returned, int direction);
  // kDeviceOk when exactly `size` bytes moved, kDeviceTransferFailed on failure
  // or a wrong count, kDeviceNoHandle for a null handle.
  DeviceStatus PipeRead(platform::DeviceHandle handle, uint32_t pipe, uint32_t size, void* buffer);
  DeviceStatus PipeWrite(platform::DeviceHandle handle, uint32_t pipe, uint32_t size,
                         const void* buffer);

  // ---- Slots and geometry ----
  int ProbeDevices() EXCLUDES(exchange_lock_);
  int DeviceCount() const { return protocol::kDeviceSlots; }
  // True when `index` is 0..7 and a camera was found there at the last probe.
  bool IsPresent(int index) const EXCLUDES(exchange_lock_);
  // kDeviceBadSlot for an index above 8; otherwise selects it and formats the
  // device path. Index 8 is accepted although no camera can sit there: it
  // names a device file that never opens, which the caller learns at the
  // first exchange, the way an unplugged slot behaves.
  DeviceStatus SetDevicePath(int index) EXCLUDES(exchange_lock_);
  DeviceStatus SetGeometry(int pitch, int horizontal_offset, int width, int total_lines,
                           int first_line, int height, int ring_count);
  // Sends command 9 with the transfer unit count; its result is not checked,
  // a camera that missed it fails the next transfer.
  void SendFrameLength();

  // ---- Streaming ----
  DeviceStatus StartStream();
  WaitFrameResult WaitFrame();
  // Copies the frame under the read index into `destination` with its rows
  // reversed (width x height x 2 bytes), then advances the read index.
  DeviceStatus CopyFrame(void* destination);
  // The ended stream's status (kDeviceOk when none ran).
  DeviceStatus StopStream();
  bool IsStreaming() const { return stream_.stop_flag.load() == 0; }

  // ---- Single grab ----
  DeviceStatus GrabOne();
  DeviceStatus CopyGrabbed(void* destination);
  bool IsGrabbing() const { return grab_.idle_flag.load() == 0; }

  // ---- Registers and sensor control ----
  // Each true when its exchange succeeded; a failed read stores 0.
  bool WriteSensorRegister(int address, int value);
  bool ReadSensorRegister(int address, uint8_t* value);
  bool WriteControlRegister(int address, int value);
  bool ReadControlRegister(int address, uint8_t* value);
  bool ReadInternalTemperatureRaw(uint16_t* value);
  bool RequestNuc();
  // Read-modify-write of one bit of sensor register 64; true when both
  // exchanges succeeded (then the bit is recorded and the sensor given time
  // to settle).
  bool SetRegister64Bit0(int flag);
  bool SetRegister64Bit1(int flag);
  // The sensor's start-up sequence. Nothing is reported: a missing camera
  // shows at the first read or stream.
  void StartSensor();
  // True when the window was applied; false, sending nothing, for a window
  // outside the sensor, smaller than 4 x 3, or an unknown mode.
  bool SetWindow(int x, int y, int width, int height, int mode);
  DeviceStatus SelectDevice(int slot);
  DeviceStatus InitializeCamera(int slot);

  // ---- Read access for the layers above and for tests ----
  int transfer_mode() const { return transfer_mode_.load(); }
  int32_t transfer_unit_count() const { return transfer_units_; }
  uint32_t transfer_byte_count() const;
  int selected_slot() const EXCLUDES(exchange_lock_);
  std::string device_path() const EXCLUDES(exchange_lock_);
  int large_transfer() const { return large_transfer_; }
  int window_width() const { return window_.width; }
  int window_height() const { return window_.height; }
  int ring_count() const { return ring_count_; }
  int register64_bit0() const { return register64_bit0_; }
  int register64_bit1() const { return register64_bit1_; }

 protected:
  // Sends one 64-byte command on the command pipe within its own exchange.
  DeviceStatus SendCommand(const uint8_t* command) EXCLUDES(exchange_lock_);
  // Sends a read command and takes the second of its two replies.
  DeviceStatus ReadExchange(const uint8_t* command, uint8_t* reply) EXCLUDES(exchange_lock_);
  // The transfer unit count for a geometry, or 0 when it does not fit 32 bits.
  static uint32_t ComputeTransferUnits(int pitch, int first_line, int height);
  // One synchronous request with an explicit code (DeviceControl picks the code
  // by direction; frame reads choose theirs by the large-transfer flag).
  // Results as DeviceControl.
  RequestResult IssueRequest(platform::DeviceHandle handle, uint32_t code, uint32_t pipe,
                             uint32_t size, void* buffer, uint32_t* returned);
  // Sends command 2 on the command pipe within the exchange lock; the result is
  // ignored by both workers.
  void SendStartTransfer(platform::DeviceHandle handle) EXCLUDES(exchange_lock_);
  // Reads one frame from the frame pipe with the code the large-transfer flag
  // picks. Results as DeviceControl.
  RequestResult ReadFrame(platform::DeviceHandle handle, int large_transfer, uint32_t size,
                          void* buffer, uint32_t* returned);
  // Rows reversed: destination row i is source row (height - 1 - i), width x 2 bytes each.
  void CopyRowsReversed(uint8_t* destination, const uint8_t* source) const;

  struct Window {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int mode = 0;
  };

  // One transfer buffer of the ring: the block and its locked address. The
  // block stays allocated and locked from SetGeometry until it is replaced.
  struct RingEntry {
    std::unique_ptr<uint8_t[]> block;
    uint8_t* locked = nullptr;
  };

  // Room for a device path, terminator included.
  static constexpr size_t kDevicePathChars = 64;

  // Shared with the stream thread. The indices and flags are atomics written
  // whole; each index has one writer (see the class comment). The other
  // fields are written by the controlling thread only while no stream thread
  // runs (before it starts, after it is joined) and read by the stream thread.
  struct StreamBlock {
    uint32_t transfer_bytes = 0;
    std::unique_ptr<platform::Event> frame_ready;   // auto reset
    std::unique_ptr<platform::Event> stream_ended;  // manual reset
    std::atomic<DeviceStatus> status{kDeviceOk};
    std::atomic<int> stop_flag{1};
    std::atomic<int> error_flag{0};
    int ring_count = 0;
    RingEntry* entries = nullptr;
    std::atomic<int> write_index{0};
    std::atomic<int> read_index{0};
    int large_transfer = 0;
    char device_path[kDevicePathChars] = {};
  };

  // Shared with the grab thread: written by the grabbing thread before the
  // grab thread starts and read back after it is joined.
  struct GrabBlock {
    uint8_t* buffer = nullptr;
    uint32_t transfer_bytes = 0;
    std::unique_ptr<platform::Event> done;  // manual reset
    std::atomic<DeviceStatus> status{kDeviceOk};
    std::atomic<int> idle_flag{1};
    int transfer_mode = 0;
    int large_transfer = 0;
    char device_path[kDevicePathChars] = {};
  };

  void StreamThreadMain();
  void GrabThreadMain();
  void FreeBuffers();
  // The current device path into `path` (kDevicePathChars).
  void CopyDevicePath(char* path) const EXCLUDES(exchange_lock_);

  std::atomic<int> transfer_mode_{0};
  // The geometry, the buffers and the register-64 bits below belong to the
  // thread that controls acquisition (see the class comment); the workers
  // reach the buffers only through their blocks while they run.
  Window window_;
  int pitch_ = 0;
  int horizontal_offset_ = 0;
  int width_ = 0;
  int total_lines_ = 0;
  int first_line_ = 0;
  int height_ = 0;
  int32_t transfer_units_ = 0;
  std::unique_ptr<uint8_t[]> single_frame_;
  int ring_count_ = 0;
  std::vector<RingEntry> ring_;
  // Set by the constructor of the model's class, read-only afterwards.
  char base_name_[16] = {};
  int present_[protocol::kDeviceSlots] GUARDED_BY(exchange_lock_) = {};
  int selected_slot_ GUARDED_BY(exchange_lock_) = 0;
  char device_path_[kDevicePathChars] GUARDED_BY(exchange_lock_) = {};
  int large_transfer_ = 0;
  StreamBlock stream_;
  GrabBlock grab_;
  // Orders the writer's choice of its next slot against the reader's choice of
  // the slot it copies, so the slot being copied is never being written. Held
  // only for those index updates, never for a transfer or a copy.
  Mutex index_lock_;
  std::thread stream_thread_;
  std::thread grab_thread_;
  int register64_bit0_ = 0;
  int register64_bit1_ = 0;
  // Serialises command exchanges (open, write, replies, close) of this object
  // and guards the device path, selected slot and present flags.
  mutable Mutex exchange_lock_;
};

}  // namespace kt
