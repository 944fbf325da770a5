// The recording state machine (see recorder.h): the request a host thread
// stores, and the capture thread's steps that carry it out.
#include "camera/recorder.h"

#include <cstring>
#include <new>

#include "kolthermo/kolthermo.h"
#include "output/recording_names.h"
#include "platform/clock.h"

namespace kt {
namespace {

constexpr uint32_t kInitialVideoRate = 30;

// Copies a surface's rows into `out` last stored row first.
const uint8_t* ReversedRows(const CDibSurface& surface, std::vector<uint8_t>* out) {
  const size_t stride = static_cast<size_t>(surface.stride());
  const size_t rows = static_cast<size_t>(surface.height());
  out->resize(stride * rows);
  for (size_t k = 0; k < rows; ++k) {
    std::memcpy(out->data() + k * stride, surface.pixels() + (rows - 1 - k) * stride, stride);
  }
  return out->data();
}

}  // namespace

bool Recorder::Request(const char16_t* path, int32_t mode) {
  size_t length = 0;
  if (path != nullptr) {
    while (length < kPathChars && path[length] != u'\0') ++length;
  }
  if (path == nullptr || length >= kPathChars) {
    Raise(EventCode::kInvalidArgument);
    return false;
  }
  MutexLock lock(request_lock_);
  request_path_.assign(path, length);
  requested_mode_.store(mode);
  ++request_serial_;
  return true;
}

Recorder::RecordingRequest Recorder::ReadRequest() {
  MutexLock lock(request_lock_);
  return {requested_mode_.load(), request_path_, request_serial_};
}

bool Recorder::StartFile(int32_t mode, const std::u16string& name, const FrameSlot& frame) {
  switch (mode) {
    case KOLTHERMO_RECORD_RAW:
      if (data_file_.OpenWrite(name.c_str()) == nullptr) return false;
      data_file_complete_bytes_ = 0;
      break;
    case KOLTHERMO_RECORD_VIDEO: {
      const CDibSurface& colour = frame.colour;
      avi_writer_.set_width(colour.width());
      avi_writer_.set_height(colour.height());
      avi_writer_.set_bits_per_pixel(colour.bits_per_pixel());
      avi_writer_.set_rate(kInitialVideoRate);
      avi_writer_.set_frame_count(0);
      if (!avi_writer_.Open(name.c_str())) return false;
      break;
    }
    case KOLTHERMO_RECORD_TEMPERATURE: {
      if (data_file_.OpenWrite(name.c_str()) == nullptr) return false;
      data_file_complete_bytes_ = 0;
      temperature_surface_.reset(new (std::nothrow) CDibSurface());
      if (!temperature_surface_ ||
          temperature_surface_->CreateInMemory(kFrameWidth, kFrameHeight, 32) == 0) {
        temperature_surface_.reset();
        data_file_.Close();
        return false;
      }
      break;
    }
    default:
      return false;
  }
  const uint32_t now = platform::TimerTickMs();
  start_time_.store(now != 0 ? now : 1);  // 0 means "not recording"
  return true;
}

bool Recorder::WriteFrame(int32_t mode, const FrameSlot& frame, const CThermoTable& table,
                          bool mirror) {
  const bool picture_order = !mirror;
  const void* data = nullptr;
  uint32_t bytes = 0;
  if (mode == KOLTHERMO_RECORD_RAW && data_file_.handle() != nullptr) {
    const CDibSurface& raw = frame.raw;
    data = picture_order ? ReversedRows(raw, &reversed_rows_) : raw.pixels();
    bytes = static_cast<uint32_t>(raw.stride()) * static_cast<uint32_t>(raw.height());
  } else if (mode == KOLTHERMO_RECORD_VIDEO && avi_writer_.is_open()) {
    const CDibSurface& colour = frame.colour;
    const uint8_t* rows = picture_order ? colour.pixels() : ReversedRows(colour, &reversed_rows_);
    if (!avi_writer_.AddFrame(rows)) return false;
    avi_writer_.set_frame_count(avi_writer_.frame_count() + 1);
    return true;
  } else if (mode == KOLTHERMO_RECORD_TEMPERATURE && data_file_.handle() != nullptr &&
             temperature_surface_) {
    const CDibSurface& raw = frame.raw;
    const auto snapshot = table.Snapshot();
    const int width = raw.width();
    const int height = raw.height();
    auto* out = reinterpret_cast<float*>(temperature_surface_->pixels());
    for (int k = 0; k < height; ++k) {
      const int source_row = picture_order ? height - 1 - k : k;
      const auto* codes =
          reinterpret_cast<const uint16_t*>(raw.pixels() + source_row * raw.stride());
      for (int j = 0; j < width; ++j) out[k * width + j] = snapshot->CodeTemperature(codes[j]);
    }
    data = out;
    bytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4u;
  } else {
    return true;  // nothing open for this mode: nothing to write
  }
  if (data_file_.Write(data, bytes)) {
    data_file_complete_bytes_ += bytes;
    return true;
  }
  // Cut the file back to its last complete frame: a partial frame would shift
  // every frame after it for a reader that counts frames by size.
  (void)(data_file_.Seek(data_file_complete_bytes_) && data_file_.Truncate());
  return false;
}

bool Recorder::StopFile(int32_t mode) {
  switch (mode) {
    case KOLTHERMO_RECORD_RAW:
      data_file_.Close();
      break;
    case KOLTHERMO_RECORD_VIDEO:
      if (avi_writer_.is_open()) {
        // Hundredths of a frame per second, in 64 bits: 32 would overflow
        // after 42949 frames (24 minutes at 30 frames per second). A rate of 0
        // (no time passed) keeps the timing written when the file was opened.
        const uint32_t elapsed = platform::TimerTickMs() - start_time_.load();
        const uint64_t rate =
            elapsed == 0 ? 0 : static_cast<uint64_t>(avi_writer_.frame_count()) * 100000u / elapsed;
        avi_writer_.set_rate(static_cast<uint32_t>(rate));
        avi_writer_.Finish();
        avi_writer_.Reset();
      }
      break;
    case KOLTHERMO_RECORD_TEMPERATURE:
      data_file_.Close();
      temperature_surface_.reset();
      break;
    default:
      return false;
  }
  start_time_.store(0);
  return true;
}

void Recorder::EndFailedRecording() {
  Raise(EventCode::kFileOrTableFailed);
  // The file already holds only complete frames (a video is finished with the
  // frames it really holds); closing it ends the recording.
  StopFile(active_mode_);
  halt_ = Halt::kWriteFailed;
}

void Recorder::Begin(const FrameSlot& current) {
  const RecordingRequest request = ReadRequest();
  active_mode_ = request.mode;
  active_path_ = request.path;
  active_serial_ = request.serial;
  split_index_ = 0;
  halt_ = Halt::kNone;
  if (request.mode != KOLTHERMO_RECORD_NONE && !StartFile(request.mode, request.path, current)) {
    Raise(EventCode::kFileOrTableFailed);
    halt_ = Halt::kStartFailed;
  }
}

void Recorder::RecordFrame(const FrameSlot& frame, const CThermoTable& table,
                           FrameSettings settings) {
  const RecordingRequest request = ReadRequest();
  if (active_mode_ != KOLTHERMO_RECORD_NONE) {
    const bool unchanged = request.mode == active_mode_ && request.path == active_path_;
    if (unchanged && halt_ != Halt::kNone) {
      // An ended recording waits for the host to ask again, even for the same
      // mode and path. The file a failed write closed is kept: the recording
      // then goes on in the next numbered file instead of overwriting it.
      if (request.serial == active_serial_) return;
      if (halt_ == Halt::kWriteFailed) ++split_index_;
      halt_ = Halt::kNone;
      active_mode_ = KOLTHERMO_RECORD_NONE;
    } else if (unchanged) {
      if (!WriteFrame(active_mode_, frame, table, settings.mirror)) {
        EndFailedRecording();
        return;
      }
      // Files split on the video writer's byte count (0 unless video is being
      // written). The split size is compared unsigned, as it always was: a
      // negative one (parameter 11 is not checked) reads as a size no file
      // reaches, so such a recording never splits rather than splitting at
      // every frame.
      const uint32_t written_mib = avi_writer_.riff_bytes() >> 20;
      if (written_mib < static_cast<uint32_t>(settings.split_size_mib)) return;
      StopFile(active_mode_);
      ++split_index_;
      active_mode_ = KOLTHERMO_RECORD_NONE;
    } else {
      StopFile(active_mode_);  // closes nothing after a failure
      split_index_ = 0;
      active_path_ = request.path;
      active_mode_ = KOLTHERMO_RECORD_NONE;
      halt_ = Halt::kNone;
    }
  }
  if (request.mode == KOLTHERMO_RECORD_NONE) return;
  active_mode_ = request.mode;
  active_path_ = request.path;
  active_serial_ = request.serial;
  const std::u16string name =
      split_index_ == 0 ? request.path : NumberedRecordingName(request.path, split_index_);
  if (!StartFile(request.mode, name, frame)) {
    Raise(EventCode::kFileOrTableFailed);
    halt_ = Halt::kStartFailed;
  }
}

void Recorder::End() {
  if (active_mode_ != KOLTHERMO_RECORD_NONE) StopFile(active_mode_);
  active_mode_ = KOLTHERMO_RECORD_NONE;
  halt_ = Halt::kNone;
}

}  // namespace kt
