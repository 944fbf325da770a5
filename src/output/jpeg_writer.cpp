// libjpeg's standard error manager ends the process on a fatal error (an out
// of space disk is one); here its error exit jumps back into the save instead,
// which then destroys the compressor, closes the file and returns 0.
//
// The compressed bytes go through a destination manager of our own into a
// CSdkFile, so a JPEG file is opened like every other file the SDK writes:
// not shared, regular files only, the name converted strictly.
//
// setjmp/longjmp rules: the function that calls setjmp keeps everything it
// needs after the jump in a JpegSave reached through a pointer, so nothing is
// held in a register the jump might restore stale, and no object with a
// destructor lives between the setjmp and a possible longjmp.
#include "output/jpeg_writer.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>

#include "imaging/dib_surface.h"
#include "platform/sdk_file.h"

namespace kt {
namespace {

// Compressed bytes collected before each write to the file.
constexpr size_t kOutputBufferBytes = 16384;

// Everything a save owns, so that the recovery path can release it.
struct JpegSave {
  CSdkFile* file = nullptr;
  jpeg_compress_struct compressor;
  jpeg_error_mgr errors;
  jpeg_destination_mgr destination;
  std::jmp_buf recovery;
  bool created = false;  // compressor needs jpeg_destroy_compress
  JOCTET output[kOutputBufferBytes];
};

// Replaces the standard error exit: report the message as libjpeg would, then
// return to the save that owns this compressor.
[[noreturn]] void JumpBackToSave(j_common_ptr common) {
  (*common->err->output_message)(common);
  auto* save = static_cast<JpegSave*>(common->client_data);
  std::longjmp(save->recovery, 1);
}

JpegSave* SaveOf(j_compress_ptr c) { return static_cast<JpegSave*>(c->client_data); }

// A refused write is fatal to the save, as libjpeg's own stdio destination
// makes it: the error exit jumps back.
void WriteOrFail(j_compress_ptr c, size_t bytes) {
  JpegSave* save = SaveOf(c);
  if (save->file->WriteAll(save->output, bytes)) return;
  c->err->msg_code = JERR_FILE_WRITE;
  (*c->err->error_exit)(reinterpret_cast<j_common_ptr>(c));
}

void StartOutput(j_compress_ptr c) {
  JpegSave* save = SaveOf(c);
  save->destination.next_output_byte = save->output;
  save->destination.free_in_buffer = kOutputBufferBytes;
}

// Called when the buffer is full: libjpeg expects the whole buffer written.
boolean FlushFullOutput(j_compress_ptr c) {
  WriteOrFail(c, kOutputBufferBytes);
  StartOutput(c);
  return TRUE;
}

// Called once at the end: writes what the buffer holds.
void FlushLastOutput(j_compress_ptr c) {
  WriteOrFail(c, kOutputBufferBytes - SaveOf(c)->destination.free_in_buffer);
}

// libjpeg-turbo reads the surface's blue-green-red samples as they are
// stored, so rows go to the compressor straight from the surface: no copy, no
// per-pixel reordering.
#ifndef JCS_EXTENSIONS
#error "JPEG output needs libjpeg-turbo's extended colour spaces (JCS_EXT_BGR)"
#endif

// Rows handed to the compressor per call: enough to amortise the call, few
// enough to sit on the stack.
constexpr int kRowsPerCall = 16;

// Drives the compressor; false after a fatal libjpeg error. The caller
// releases whatever `save` holds.
bool Compress(JpegSave* save, const CDibSurface& surface, int quality) {
  jpeg_compress_struct* c = &save->compressor;
  c->err = jpeg_std_error(&save->errors);
  save->errors.error_exit = JumpBackToSave;
  c->client_data = save;
  if (setjmp(save->recovery) != 0) return false;

  // jpeg_create_compress without its macro's C cast. Destroying a compressor
  // that failed half way through creation is safe: the struct starts zeroed.
  save->created = true;
  jpeg_CreateCompress(c, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
  save->destination.init_destination = StartOutput;
  save->destination.empty_output_buffer = FlushFullOutput;
  save->destination.term_destination = FlushLastOutput;
  c->dest = &save->destination;

  const bool grey = surface.bits_per_pixel() == 8;
  c->image_width = static_cast<JDIMENSION>(surface.width());
  c->image_height = static_cast<JDIMENSION>(surface.height());
  c->input_components = grey ? 1 : 3;
  c->in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(c);
  jpeg_set_quality(c, quality, TRUE);
  jpeg_simple_progression(c);
  jpeg_start_compress(c, TRUE);

  // The surface stores its bottom row first; the file starts with the top
  // row. libjpeg only reads input rows, whatever JSAMPROW's type says.
  const int height = surface.height();
  const ptrdiff_t stride = surface.stride();
  auto* pixels = const_cast<JSAMPLE*>(surface.pixels());
  JSAMPROW rows[kRowsPerCall];
  while (c->next_scanline < c->image_height) {
    const int top = static_cast<int>(c->next_scanline);
    const int count = std::min(kRowsPerCall, height - top);
    for (int i = 0; i < count; ++i)
      rows[i] = pixels + static_cast<ptrdiff_t>(height - 1 - top - i) * stride;
    jpeg_write_scanlines(c, rows, static_cast<JDIMENSION>(count));
  }
  jpeg_finish_compress(c);
  return true;
}

}  // namespace

bool SaveJpegFile(const char16_t* path, const CDibSurface& surface, int quality) {
  if (path == nullptr || path[0] == u'\0' || surface.empty()) return false;
  if (surface.bits_per_pixel() != 8 && surface.bits_per_pixel() != 24) return false;
  CSdkFile file;
  if (file.OpenWrite(path) == nullptr) return false;

  // Heap-held and zeroed: the compressor, the output buffer and the jump
  // buffer are large, and the save's state must sit in memory anyway for the
  // recovery path.
  std::unique_ptr<JpegSave> save(new (std::nothrow) JpegSave{});
  if (!save) return false;
  save->file = &file;
  // Every byte reaches the system through the destination's checked writes,
  // so finishing the compressor is the whole of the save.
  const bool compressed = Compress(save.get(), surface, quality);
  if (save->created) jpeg_destroy_compress(&save->compressor);
  return compressed;
}

}  // namespace kt
