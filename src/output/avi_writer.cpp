#include "output/avi_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

namespace kt {
namespace {

// The structs are copied into the file as they lie in memory, which is the
// file's little-endian order only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t FourCc(const char (&tag)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[3])) << 24;
}

constexpr uint32_t kFrameChunkId = FourCc("00db");
constexpr uint32_t kMainHeaderFlags = 0x00010010;  // has index, was capture file
constexpr uint32_t kHasIndexFlag = 0x00000010;
constexpr uint32_t kKeyFrameFlag = 0x10;
constexpr uint32_t kStreamRate = 10000000;
// The header list holds "hdrl", the main header chunk and the stream list.
constexpr uint32_t kHeaderListBytes = 4 + 8 + sizeof(AviMainHeader) + 8 + 124;
// The stream list holds "strl", the stream header chunk and the format chunk.
constexpr uint32_t kStreamListBytes = 4 + 8 + sizeof(AviStreamHeader) + 8 + sizeof(AviBitmapFormat);
static_assert(kHeaderListBytes == 200 && kStreamListBytes == 124);

// Appends little-endian words and raw structs to a fixed buffer.
class ByteAppender {
 public:
  explicit ByteAppender(uint8_t* out) : out_(out) {}
  void Word(uint32_t value) { Raw(&value, sizeof value); }
  void Tag(const char (&tag)[5]) { Word(FourCc(tag)); }
  void Raw(const void* data, size_t bytes) {
    std::memcpy(out_ + used_, data, bytes);
    used_ += bytes;
  }
  size_t used() const { return used_; }

 private:
  uint8_t* out_;
  size_t used_ = 0;
};

}  // namespace

uint32_t AviWriter::frame_bytes() const {
  // Unsigned 32-bit arithmetic; Open refuses sizes where it would wrap.
  return static_cast<uint32_t>(bits_per_pixel_) * static_cast<uint32_t>(height_) *
         static_cast<uint32_t>(width_) / 8u;
}

bool AviWriter::Open(const char16_t* path) {
  Reset();
  if (rate_ == 0 || width_ <= 0 || height_ <= 0 || bits_per_pixel_ == 0) return false;
  const uint64_t frame_bits =
      uint64_t{bits_per_pixel_} * static_cast<uint64_t>(height_) * static_cast<uint64_t>(width_);
  // The chunk size, the headers and one index entry must fit the 32-bit sizes.
  if (frame_bits / 8 + 8 + kHeaderBytes + 8 + sizeof(AviIndexEntry) > UINT32_MAX) return false;
  if (file_.OpenWrite(path) == nullptr) return false;
  FillHeaders();
  if (!WriteHeaders()) {
    // Part of a header is no AVI: leave an empty file rather than a misleading one.
    (void)(file_.Seek(0) && file_.Truncate());
    Reset();
    return false;
  }
  // Everything after the RIFF size field so far, up to and including "movi".
  riff_bytes_ = kHeaderBytes - 8;
  movie_size_position_ = kMovieSizeOffset;
  movie_bytes_ = 4;  // the "movi" tag itself
  return true;
}

void AviWriter::FillHeaders() {
  const uint32_t frame = frame_bytes();
  const uint32_t chunk = frame + 8;

  main_header_ = {};
  main_header_.microseconds_per_frame = 1000000u / rate_;
  // The square of the chunk size (modulo 2^32): what players have always been
  // given by this writer, kept so files stay byte-identical.
  main_header_.max_bytes_per_second = chunk * chunk;
  main_header_.flags = kMainHeaderFlags;
  main_header_.total_frames = frame_count_;
  main_header_.streams = 1;
  main_header_.suggested_buffer_size = chunk;
  main_header_.width = static_cast<uint32_t>(width_);
  main_header_.height = static_cast<uint32_t>(height_);

  stream_header_ = {};
  stream_header_.type = FourCc("vids");
  stream_header_.handler = FourCc("DIB ");
  stream_header_.scale = kStreamRate / rate_;
  stream_header_.rate = kStreamRate;
  stream_header_.length = frame_count_;
  stream_header_.suggested_buffer_size = chunk;

  format_ = {};
  format_.header_size = sizeof(AviBitmapFormat);
  format_.width = width_;
  format_.height = height_;  // positive: rows are stored bottom row first
  format_.planes = 1;
  format_.bits_per_pixel = bits_per_pixel_;
}

bool AviWriter::WriteHeaders() {
  std::array<uint8_t, kHeaderBytes> bytes{};
  ByteAppender out(bytes.data());
  out.Tag("RIFF");
  out.Word(0);  // RIFF size, patched by Finish
  out.Tag("AVI ");
  out.Tag("LIST");
  out.Word(kHeaderListBytes);
  out.Tag("hdrl");
  out.Tag("avih");
  out.Word(sizeof main_header_);
  out.Raw(&main_header_, sizeof main_header_);
  out.Tag("LIST");
  out.Word(kStreamListBytes);
  out.Tag("strl");
  out.Tag("strh");
  out.Word(sizeof stream_header_);
  out.Raw(&stream_header_, sizeof stream_header_);
  out.Tag("strf");
  out.Word(sizeof format_);
  out.Raw(&format_, sizeof format_);
  out.Tag("LIST");
  out.Word(0);  // movie list size, patched by Finish
  out.Tag("movi");
  if (out.used() != bytes.size()) return false;
  return file_.Write(bytes.data(), kHeaderBytes);
}

bool AviWriter::AddFrame(const uint8_t* pixels) {
  if (!is_open() || pixels == nullptr) return false;
  const uint32_t frame = frame_bytes();
  const uint64_t chunk = uint64_t{frame} + 8;
  // Room for this chunk plus the index it will need at Finish.
  const uint64_t after =
      uint64_t{riff_bytes_} + chunk + 8 + (uint64_t{index_.size()} + 1) * sizeof(AviIndexEntry);
  if (after > UINT32_MAX) {
    failed_ = true;
    return false;
  }
  if (index_.size() == index_.capacity()) {
    try {
      index_.reserve(std::max<size_t>(64, index_.capacity() * 2));
    } catch (const std::bad_alloc&) {
      failed_ = true;
      return false;
    } catch (const std::length_error&) {
      failed_ = true;
      return false;
    }
  }
  if (reposition_) {
    if (!file_.Seek(DataEnd())) return false;
    reposition_ = false;
  }
  const uint32_t chunk_header[2] = {kFrameChunkId, frame};
  const bool written =
      file_.Write(chunk_header, sizeof chunk_header) && (frame == 0 || file_.Write(pixels, frame));
  if (!written) {
    // Take the chunk back so that the next frame or the index overwrites it.
    failed_ = true;
    reposition_ = !file_.Seek(DataEnd());
    return false;
  }
  index_.push_back({kFrameChunkId, kKeyFrameFlag, movie_bytes_, frame});  // capacity reserved
  riff_bytes_ += static_cast<uint32_t>(chunk);
  movie_bytes_ += static_cast<uint32_t>(chunk);
  return true;
}

bool AviWriter::PatchWord(uint32_t offset, uint32_t value) {
  return file_.Seek(offset) && file_.Write(&value, sizeof value);
}

bool AviWriter::WriteIndex() {
  const uint32_t index_bytes = static_cast<uint32_t>(index_.size() * sizeof(AviIndexEntry));
  const uint32_t index_header[2] = {FourCc("idx1"), index_bytes};
  // Seek explicitly rather than to the end: a refused chunk may have left
  // bytes past the last complete frame, and the index belongs right after it.
  return file_.Seek(DataEnd()) && file_.Write(index_header, sizeof index_header) &&
         (index_.empty() || file_.Write(index_.data(), index_bytes));
}

uint32_t AviWriter::DropLastFrame() {
  const uint32_t chunk = index_.back().length + 8;
  index_.pop_back();
  riff_bytes_ -= chunk;
  movie_bytes_ -= chunk;
  return chunk;
}

bool AviWriter::Finish() {
  if (!is_open()) return false;
  bool indexed = WriteIndex();
  // A disk that filled up exactly at a chunk boundary has no room for the
  // index. Overwriting the newest frames makes room without growing the file;
  // once the frames taken back would have held the whole index, the failure
  // is not one of space and taking back more would only lose pictures.
  const uint64_t index_needed = 8 + uint64_t{index_.size()} * sizeof(AviIndexEntry);
  uint64_t freed = 0;
  while (!indexed && !index_.empty() && freed < index_needed) {
    freed += DropLastFrame();
    failed_ = true;
    indexed = WriteIndex();
  }
  bool ok = indexed;
  if (indexed) {
    riff_bytes_ += 8 + static_cast<uint32_t>(index_.size() * sizeof(AviIndexEntry));
    ok = file_.Truncate();  // nothing of a refused chunk stays after the index
  } else {
    // The complete frames stay readable without an index; the header stops
    // claiming one.
    (void)(file_.Seek(DataEnd()) && file_.Truncate());
    main_header_.flags &= ~kHasIndexFlag;
    (void)PatchWord(kMainFlagsOffset, main_header_.flags);
  }

  // The frames really written; equals the frame count unless a write failed.
  const auto frames = static_cast<uint32_t>(index_.size());
  main_header_.total_frames = frames;
  stream_header_.length = frames;
  ok = PatchWord(kRiffSizeOffset, riff_bytes_) && ok;
  ok = PatchWord(movie_size_position_, movie_bytes_) && ok;
  ok = PatchWord(kTotalFramesOffset, frames) && ok;
  ok = PatchWord(kLengthOffset, frames) && ok;
  // A recording that ends before its first frame measures a rate of 0; it
  // keeps the timing written at Open instead of dividing by zero.
  if (rate_ != 0) {
    main_header_.microseconds_per_frame = 100000000u / rate_;
    stream_header_.scale = 1000000000u / rate_;
    ok = PatchWord(kMicrosecondsPerFrameOffset, main_header_.microseconds_per_frame) && ok;
    ok = PatchWord(kScaleOffset, stream_header_.scale) && ok;
  }
  file_.Close();
  return ok;
}

void AviWriter::Reset() {
  file_.Close();
  index_.clear();
  index_.shrink_to_fit();
  main_header_ = {};
  stream_header_ = {};
  format_ = {};
  riff_bytes_ = 0;
  movie_bytes_ = 0;
  movie_size_position_ = 0;
  failed_ = false;
  reposition_ = false;
}

}  // namespace kt
