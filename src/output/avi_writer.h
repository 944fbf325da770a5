// AviWriter: writes a sequence of equal-sized uncompressed bitmap frames as an
// AVI file with one video stream and a legacy "idx1" index. The headers are
// written at Open with provisional sizes, frames are streamed as "00db" chunks
// straight from the caller's memory, and Finish appends the index and patches
// the sizes, frame counts and timing that only the end of the recording knows.
//
// Threads: one writer belongs to one camera instance and is used only by that
// instance's capture thread; it takes no lock.
//
// Calling order for one file: set width, height, bits per pixel, rate (frames
// per second) and frame count 0; Open; per frame AddFrame then frame count + 1;
// set rate to the measured hundredths of a frame per second; Finish; Reset.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sdk_file.h"

namespace kt {

// The "avih" chunk content, exactly as stored in the file.
struct AviMainHeader {
  uint32_t microseconds_per_frame;
  uint32_t max_bytes_per_second;
  uint32_t padding_granularity;
  uint32_t flags;
  uint32_t total_frames;
  uint32_t initial_frames;
  uint32_t streams;
  uint32_t suggested_buffer_size;
  uint32_t width;
  uint32_t height;
  uint32_t reserved[4];
};
static_assert(sizeof(AviMainHeader) == 56);

// The "strh" chunk content, exactly as stored in the file.
struct AviStreamHeader {
  uint32_t type;     // "vids"
  uint32_t handler;  // "DIB "
  uint32_t flags;
  uint16_t priority;
  uint16_t language;
  uint32_t initial_frames;
  uint32_t scale;
  uint32_t rate;
  uint32_t start;
  uint32_t length;
  uint32_t suggested_buffer_size;
  uint32_t quality;
  uint32_t sample_size;
  uint32_t frame_rect[4];
};
static_assert(sizeof(AviStreamHeader) == 64);

// The "strf" chunk content: a bitmap information header.
struct AviBitmapFormat {
  uint32_t header_size;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bits_per_pixel;
  uint32_t compression;
  uint32_t image_size;
  int32_t x_pixels_per_meter;
  int32_t y_pixels_per_meter;
  uint32_t colours_used;
  uint32_t colours_important;
};
static_assert(sizeof(AviBitmapFormat) == 40);

// One "idx1" entry.
struct AviIndexEntry {
  uint32_t chunk_id;  // "00db"
  uint32_t flags;     // key frame
  uint32_t offset;    // from the "movi" tag
  uint32_t length;    // frame bytes
};
static_assert(sizeof(AviIndexEntry) == 16);

class AviWriter {
 public:
  // Bytes from the file start to the first frame chunk.
  static constexpr uint32_t kHeaderBytes = 232;
  // File offsets patched by Finish.
  static constexpr uint32_t kRiffSizeOffset = 4;
  static constexpr uint32_t kMicrosecondsPerFrameOffset = 32;
  static constexpr uint32_t kMainFlagsOffset = 44;
  static constexpr uint32_t kTotalFramesOffset = 48;
  static constexpr uint32_t kScaleOffset = 128;
  static constexpr uint32_t kLengthOffset = 140;
  static constexpr uint32_t kMovieSizeOffset = 224;

  AviWriter() = default;
  ~AviWriter() { Reset(); }
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Starts a new file at `path`, replacing any existing file, and writes the
  // headers. False (writer idle, nothing open) when the path cannot be opened,
  // the headers cannot be written, the rate is 0, the width, height or bits per
  // pixel are negative or 0, or a frame would not fit in 32 bits. A file whose
  // headers the disk refuses is cut back to empty before it is closed.
  bool Open(const char16_t* path);

  // Appends one frame of frame_bytes() bytes read from `pixels` (rows without
  // padding). False when no file is open, `pixels` is null, the file would
  // outgrow its 32-bit sizes, the index cannot grow, or the disk refuses the
  // chunk. A refused chunk is taken back: the position returns to where the
  // chunk began, the index and counters stay as they were, and failed() turns
  // true, so the finished file describes only the frames really written.
  bool AddFrame(const uint8_t* pixels);

  // Appends the index right after the last complete frame, ends the file there
  // (a refused chunk may have left bytes beyond it), patches sizes, frame
  // counts (the frames really written) and timing (from the rate in hundredths
  // of a frame per second; a rate of 0 keeps the timing written at Open), then
  // closes the file. When a full disk leaves no room for the index, the last
  // frames are taken back one by one until it fits (failed() turns true); if
  // it still cannot be written, the file ends after its complete frames and
  // its header no longer claims an index. False when no file was open or any
  // of those writes failed; the file is closed either way.
  bool Finish();

  // Closes the file without finishing it, empties the index, zeroes the
  // headers and counters and clears failed(). Width, height, bits per pixel,
  // rate and frame count are the owner's settings and stay.
  void Reset();

  void set_width(int32_t width) { width_ = width; }
  int32_t width() const { return width_; }
  void set_height(int32_t height) { height_ = height; }
  int32_t height() const { return height_; }
  void set_bits_per_pixel(uint16_t bits) { bits_per_pixel_ = bits; }
  uint16_t bits_per_pixel() const { return bits_per_pixel_; }
  // Frames per second before Open, hundredths of a frame per second before Finish.
  void set_rate(uint32_t rate) { rate_ = rate; }
  uint32_t rate() const { return rate_; }
  void set_frame_count(uint32_t count) { frame_count_ = count; }
  uint32_t frame_count() const { return frame_count_; }

  // Bytes written after the RIFF size field; 0 while no file is open. The
  // recording splits its files on this count.
  uint32_t riff_bytes() const { return riff_bytes_; }
  // Bytes of the movie list content, counting its "movi" tag.
  uint32_t movie_bytes() const { return movie_bytes_; }
  // Bytes of one frame: bits per pixel x height x width / 8.
  uint32_t frame_bytes() const;
  bool is_open() const { return file_.handle() != nullptr; }
  // Whether a frame or header write of this file was refused.
  bool failed() const { return failed_; }

  const AviMainHeader& main_header() const { return main_header_; }
  const AviStreamHeader& stream_header() const { return stream_header_; }
  const AviBitmapFormat& format() const { return format_; }
  const std::vector<AviIndexEntry>& index() const { return index_; }

 private:
  void FillHeaders();
  bool WriteHeaders();
  bool PatchWord(uint32_t offset, uint32_t value);
  // Writes "idx1" and the entries at DataEnd(); true when all of it was written.
  bool WriteIndex();
  // Takes the newest frame out of the index and the counters; returns its
  // chunk size, the room its bytes give back.
  uint32_t DropLastFrame();
  // File offset where the next frame chunk (or the index) begins.
  uint32_t DataEnd() const { return kHeaderBytes - 4 + movie_bytes_; }

  // All fields are used only on the owning instance's capture thread.
  CSdkFile file_;
  AviMainHeader main_header_{};
  AviStreamHeader stream_header_{};
  AviBitmapFormat format_{};
  uint32_t riff_bytes_ = 0;
  uint32_t movie_bytes_ = 0;
  uint32_t movie_size_position_ = 0;
  std::vector<AviIndexEntry> index_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint16_t bits_per_pixel_ = 0;
  uint32_t rate_ = 0;
  uint32_t frame_count_ = 0;
  // A write was refused; set by Open and AddFrame, cleared by Reset.
  bool failed_ = false;
  // The file position may not be DataEnd() (a refused chunk could not be
  // taken back); the next AddFrame seeks there first.
  bool reposition_ = false;
};

}  // namespace kt
