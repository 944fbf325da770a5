// Recorder: an instance's recording. The host requests a mode and a path; the
// capture loop starts the recording with the loop, writes every published
// frame, splits long recordings into numbered files, follows a changed
// request and ends with the loop.
//
// Threads:
// - Request, requested_mode and is_recording run on any host thread. The
//   request (path and serial) is guarded by request_lock_; the requested mode
//   and the start time are atomics, read whole by the parameter table.
// - Begin, RecordFrame and End run on the capture thread only (or, with no
//   capture thread, on the one thread that stands in for it: a benchmark or a
//   test). That thread owns the recording state machine, the AVI writer, the
//   data file, the temperature surface and the scratch rows; nothing else
//   touches them.
// A recording whose file cannot be opened or written raises code 9 once,
// leaves its file holding exactly the complete frames, and stays ended until
// the host asks for a recording again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/code_store.h"
#include "camera/frame_slot.h"
#include "imaging/dib_surface.h"
#include "output/avi_writer.h"
#include "platform/mutex.h"
#include "platform/sdk_file.h"
#include "thermal/thermo_table.h"

namespace kt {

class Recorder {
 public:
  // A request's path must fit 260 characters with its terminator.
  static constexpr size_t kPathChars = 260;

  // The settings a recorded frame is written with, read by the caller once
  // per frame: the split size in MiB (parameter 11) and whether files are
  // mirrored (parameter 18).
  struct FrameSettings {
    int32_t split_size_mib = 0;
    bool mirror = false;
  };

  // Codes (5 for a refused request, 9 for a file that fails) go to `codes`.
  explicit Recorder(CodeStore& codes) : codes_(codes) {}
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // ---- Host threads ----
  // Requests a recording (KOLTHERMO_RECORD_NONE ends one) into `path`; the
  // capture thread carries it out at its next frame. False with code 5 for a
  // null path or one longer than 259 characters (the request is then
  // unchanged). Any mode is stored; an unknown one fails to start (code 9).
  bool Request(const char16_t* path, int32_t mode) EXCLUDES(request_lock_);
  // The mode last requested (parameter 4).
  int32_t requested_mode() const { return requested_mode_.load(); }
  // True while a recording file is open (parameter 7).
  bool is_recording() const { return start_time_.load() != 0; }

  // ---- Capture thread ----
  // Starts the requested recording, if any, as the capture loop starts;
  // `current` is the ring's current slot, whose colour surface gives a video
  // its picture size.
  void Begin(const FrameSlot& current) EXCLUDES(request_lock_);
  // One step per published frame: writes `frame` into the open recording,
  // splits it at the split size, or follows a changed request.
  void RecordFrame(const FrameSlot& frame, const CThermoTable& table, FrameSettings settings)
      EXCLUDES(request_lock_);
  // Ends the recording as the capture loop ends.
  void End();

 private:
  struct RecordingRequest {
    int32_t mode = 0;
    std::u16string path;
    uint32_t serial = 0;  // changes with every request
  };
  enum class Halt { kNone, kStartFailed, kWriteFailed };

  RecordingRequest ReadRequest() EXCLUDES(request_lock_);
  bool StartFile(int32_t mode, const std::u16string& name, const FrameSlot& frame);
  // False when the disk refused the frame; the file then still ends with its
  // last complete frame, as far as the system lets it be cut back.
  bool WriteFrame(int32_t mode, const FrameSlot& frame, const CThermoTable& table, bool mirror);
  bool StopFile(int32_t mode);
  void EndFailedRecording();
  void Raise(EventCode code) { codes_.Raise(code); }

  CodeStore& codes_;

  // The request: written by host threads, read by the capture thread once per
  // published frame.
  Mutex request_lock_;
  std::u16string request_path_ GUARDED_BY(request_lock_);
  uint32_t request_serial_ GUARDED_BY(request_lock_) = 0;
  // Written under request_lock_ with the path; read whole without it.
  std::atomic<int32_t> requested_mode_{0};
  // Tick at which the open file started (never 0); 0 while none is open.
  // Written by the capture thread, read whole by host threads.
  std::atomic<uint32_t> start_time_{0};

  // Capture thread only: the recording being carried out, its unsplit path,
  // the request it came from and its split index, whether it ended on a
  // failure, its files, and scratch rows for reversed copies.
  int32_t active_mode_ = 0;
  std::u16string active_path_;
  uint32_t active_serial_ = 0;
  int32_t split_index_ = 0;
  Halt halt_ = Halt::kNone;
  AviWriter avi_writer_;
  CSdkFile data_file_;
  // Bytes of the complete frames in data_file_: where a refused frame is cut.
  uint64_t data_file_complete_bytes_ = 0;
  std::unique_ptr<CDibSurface> temperature_surface_;
  std::vector<uint8_t> reversed_rows_;
};

}  // namespace kt
