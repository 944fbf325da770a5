// Recording: the host requests a mode and a path; the capture loop starts the
// recording, writes every published frame, splits long recordings into
// numbered files, follows a changed request and stops with acquisition.
//
// Threads: SetRecording runs on host threads and only stores the request under
// the recording lock; everything else runs on the capture thread, which owns
// the files, the AVI writer and the temperature surface.
#include <cstring>
#include <new>

#include "camera/kol_thermo.h"
#include "output/recording_names.h"
#include "platform/clock.h"

namespace kt {
namespace {

constexpr int32_t kRecordRaw = 1;
constexpr int32_t kRecordVideo = 2;
constexpr int32_t kRecordTemperature = 3;
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

int CKolThermo::SetRecording(const char16_t* path, int32_t mode) {
  // The path must fit the request's 260 characters with its terminator.
  size_t length = 0;
  if (path != nullptr) {
    while (length < kRecordingPathChars && path[length] != u'\0') ++length;
  }
  if (path == nullptr || length >= kRecordingPathChars) {
    Raise(EventCode::kInvalidArgument);
    return 0;
  }
  MutexLock lock(recording_lock_);
  recording_path_.assign(path, length);
  recording_mode_.store(mode);
  ++recording_request_serial_;
  return 1;
}

CKolThermo::RecordingRequest CKolThermo::ReadRecordingRequest() {
  MutexLock lock(recording_lock_);
  return {recording_mode_.load(), recording_path_, recording_request_serial_};
}

bool CKolThermo::StartRecording(int32_t mode, const std::u16string& name) {
  switch (mode) {
    case kRecordRaw:
      if (data_file_.OpenWrite(name.c_str()) == nullptr) return false;
      data_file_complete_bytes_ = 0;
      break;
    case kRecordVideo: {
      const CDibSurface* colour = nullptr;
      {
        MutexLock lock(frame_lock_);
        colour = &ring_[static_cast<size_t>(current_slot_)]->colour;
      }
      avi_writer_.set_width(colour->width());
      avi_writer_.set_height(colour->height());
      avi_writer_.set_bits_per_pixel(colour->bits_per_pixel());
      avi_writer_.set_rate(kInitialVideoRate);
      avi_writer_.set_frame_count(0);
      if (!avi_writer_.Open(name.c_str())) return false;
      break;
    }
    case kRecordTemperature: {
      if (data_file_.OpenWrite(name.c_str()) == nullptr) return false;
      data_file_complete_bytes_ = 0;
      temperature_surface_.reset(new (std::nothrow) CDibSurface());
      if (!temperature_surface_ ||
          temperature_surface_->CreateInMemory(kImageWidth, kImageHeight, 32) == 0) {
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
  recording_start_time_.store(now != 0 ? now : 1);  // 0 means "not recording"
  return true;
}

bool CKolThermo::WriteRecordingFrame(int32_t mode) {
  const FrameSlot* slot = nullptr;
  {
    MutexLock lock(frame_lock_);
    slot = ring_[static_cast<size_t>(current_slot_)].get();
  }
  // The capture thread is the only writer of the slot it just published.
  const bool picture_order = mirror_on_save_.load() == 0;
  const void* data = nullptr;
  uint32_t bytes = 0;
  if (mode == kRecordRaw && data_file_.handle() != nullptr) {
    const CDibSurface& raw = slot->raw;
    data = picture_order ? ReversedRows(raw, &reversed_rows_) : raw.pixels();
    bytes = static_cast<uint32_t>(raw.stride()) * static_cast<uint32_t>(raw.height());
  } else if (mode == kRecordVideo && avi_writer_.is_open()) {
    const CDibSurface& colour = slot->colour;
    const uint8_t* rows = picture_order ? colour.pixels() : ReversedRows(colour, &reversed_rows_);
    if (!avi_writer_.AddFrame(rows)) return false;
    avi_writer_.set_frame_count(avi_writer_.frame_count() + 1);
    return true;
  } else if (mode == kRecordTemperature && data_file_.handle() != nullptr && temperature_surface_) {
    const CDibSurface& raw = slot->raw;
    const auto table = table_.Snapshot();
    const int width = raw.width();
    const int height = raw.height();
    auto* out = reinterpret_cast<float*>(temperature_surface_->pixels());
    for (int k = 0; k < height; ++k) {
      const int source_row = picture_order ? height - 1 - k : k;
      const auto* codes =
          reinterpret_cast<const uint16_t*>(raw.pixels() + source_row * raw.stride());
      for (int j = 0; j < width; ++j) out[k * width + j] = table->CodeTemperature(codes[j]);
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

int CKolThermo::StopRecording(int32_t mode) {
  switch (mode) {
    case kRecordRaw:
      data_file_.Close();
      break;
    case kRecordVideo:
      if (avi_writer_.is_open()) {
        // Hundredths of a frame per second, in 64 bits: 32 would overflow
        // after 42949 frames (24 minutes at 30 frames per second). A rate of 0
        // (no time passed) keeps the timing written when the file was opened.
        const uint32_t elapsed = platform::TimerTickMs() - recording_start_time_.load();
        const uint64_t rate =
            elapsed == 0 ? 0 : static_cast<uint64_t>(avi_writer_.frame_count()) * 100000u / elapsed;
        avi_writer_.set_rate(static_cast<uint32_t>(rate));
        avi_writer_.Finish();
        avi_writer_.Reset();
      }
      break;
    case kRecordTemperature:
      data_file_.Close();
      temperature_surface_.reset();
      break;
    default:
      return 0;
  }
  recording_start_time_.store(0);
  return 1;
}

void CKolThermo::EndFailedRecording() {
  Raise(EventCode::kFileOrTableFailed);
  // The file already holds only complete frames (a video is finished with the
  // frames it really holds); closing it ends the recording.
  StopRecording(active_recording_mode_);
  recording_halt_ = RecordingHalt::kWriteFailed;
}

void CKolThermo::BeginRecording() {
  const RecordingRequest request = ReadRecordingRequest();
  active_recording_mode_ = request.mode;
  active_recording_path_ = request.path;
  active_request_serial_ = request.serial;
  split_index_ = 0;
  recording_halt_ = RecordingHalt::kNone;
  if (request.mode != 0 && !StartRecording(request.mode, request.path)) {
    Raise(EventCode::kFileOrTableFailed);
    recording_halt_ = RecordingHalt::kStartFailed;
  }
}

void CKolThermo::RecordFrame() {
  const RecordingRequest request = ReadRecordingRequest();
  if (active_recording_mode_ != 0) {
    const bool unchanged =
        request.mode == active_recording_mode_ && request.path == active_recording_path_;
    if (unchanged && recording_halt_ != RecordingHalt::kNone) {
      // An ended recording waits for the host to ask again, even for the same
      // mode and path. The file a failed write closed is kept: the recording
      // then goes on in the next numbered file instead of overwriting it.
      if (request.serial == active_request_serial_) return;
      if (recording_halt_ == RecordingHalt::kWriteFailed) ++split_index_;
      recording_halt_ = RecordingHalt::kNone;
      active_recording_mode_ = 0;
    } else if (unchanged) {
      if (!WriteRecordingFrame(active_recording_mode_)) {
        EndFailedRecording();
        return;
      }
      // Files split on the video writer's byte count (0 unless video is being
      // written), compared unsigned as the split size always was.
      const uint32_t written_mib = avi_writer_.riff_bytes() >> 20;
      if (written_mib < static_cast<uint32_t>(split_size_mib_.load())) return;
      StopRecording(active_recording_mode_);
      ++split_index_;
      active_recording_mode_ = 0;
    } else {
      StopRecording(active_recording_mode_);  // closes nothing after a failure
      split_index_ = 0;
      active_recording_path_ = request.path;
      active_recording_mode_ = 0;
      recording_halt_ = RecordingHalt::kNone;
    }
  }
  if (request.mode == 0) return;
  active_recording_mode_ = request.mode;
  active_recording_path_ = request.path;
  active_request_serial_ = request.serial;
  const std::u16string name =
      split_index_ == 0 ? request.path : NumberedRecordingName(request.path, split_index_);
  if (!StartRecording(request.mode, name)) {
    Raise(EventCode::kFileOrTableFailed);
    recording_halt_ = RecordingHalt::kStartFailed;
  }
}

void CKolThermo::EndRecording() {
  if (active_recording_mode_ != 0) StopRecording(active_recording_mode_);
  active_recording_mode_ = 0;
  recording_halt_ = RecordingHalt::kNone;
}

}  // namespace kt
