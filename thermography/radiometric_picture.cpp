// PNG through libpng and JPEG through libjpeg, both into memory so that the
// file is written in one piece (and removed if that fails); BMP by hand, as
// it is a fixed header and the rows. The libraries report errors by longjmp:
// the functions that call setjmp hold no object with a destructor.
#include "radiometric_picture.h"

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// libjpeg's header needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

namespace kt::thermography {
namespace {

constexpr int kJpegQuality = 90;
constexpr int kJpegMaxSide = 65500;   // libjpeg's JPEG_MAX_DIMENSION
constexpr int kPngMaxSide = 1000000;  // libpng's default user limit

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

// ---- PNG ----

void AppendPngData(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + size);
  } catch (...) {
    png_error(png, "out of memory");
  }
}
void FlushPngData(png_structp /*png*/) {}
void PngError(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }
void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

bool EncodePng(const unsigned char* rgb, int width, int height, std::vector<unsigned char>* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, AppendPngData, FlushPngData);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  for (int row = 0; row < height; ++row) {
    png_write_row(png, rgb + static_cast<std::size_t>(row) * row_bytes);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};
void JpegErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}
void JpegOutputMessage(j_common_ptr /*cinfo*/) {}

// A destination growing a vector, so the encoded file has one owner whether
// encoding ends normally or by longjmp.
struct VectorDestination {
  jpeg_destination_mgr manager;
  std::vector<unsigned char>* out;
};
constexpr std::size_t kJpegFirstBuffer = 1 << 16;

void StartVector(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
  bool grown = true;
  try {
    destination->out->resize(kJpegFirstBuffer);
  } catch (...) {
    grown = false;
  }
  if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  destination->manager.next_output_byte = destination->out->data();
  destination->manager.free_in_buffer = destination->out->size();
}
boolean GrowVector(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const std::size_t used = destination->out->size();
  bool grown = true;
  try {
    destination->out->resize(used * 2);
  } catch (...) {
    grown = false;
  }
  if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  destination->manager.next_output_byte = destination->out->data() + used;
  destination->manager.free_in_buffer = used;
  return TRUE;
}
void EndVector(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
  destination->out->resize(destination->out->size() - destination->manager.free_in_buffer);
}

bool EncodeJpeg(const unsigned char* rgb, int width, int height, std::vector<unsigned char>* out) {
  jpeg_compress_struct cinfo{};
  JpegError error{};
  VectorDestination destination{};
  destination.out = out;
  destination.manager.init_destination = StartVector;
  destination.manager.empty_output_buffer = GrowVector;
  destination.manager.term_destination = EndVector;
  cinfo.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.output_message = JpegOutputMessage;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  cinfo.dest = &destination.manager;
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kJpegQuality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg reads the rows without changing them.
    JSAMPROW row = const_cast<JSAMPROW>(rgb + cinfo.next_scanline * row_bytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// ---- BMP ----

void PutLe(unsigned char* at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// 24 bits per pixel, bottom-up (a positive height, what every reader takes),
// rows padded to 4 bytes, blue-green-red.
void EncodeBmp(const unsigned char* rgb, int width, int height, std::vector<unsigned char>& out) {
  const std::size_t row_bytes = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  const std::size_t pixel_bytes = row_bytes * static_cast<std::size_t>(height);
  out.assign(54 + pixel_bytes, 0);
  unsigned char* header = out.data();
  header[0] = 'B';
  header[1] = 'M';
  PutLe(header + 2, static_cast<std::uint32_t>(out.size()), 4);
  PutLe(header + 10, 54, 4);
  PutLe(header + 14, 40, 4);
  PutLe(header + 18, static_cast<std::uint32_t>(width), 4);
  PutLe(header + 22, static_cast<std::uint32_t>(height), 4);
  PutLe(header + 26, 1, 2);
  PutLe(header + 28, 24, 2);
  PutLe(header + 34, static_cast<std::uint32_t>(pixel_bytes), 4);
  for (int row = 0; row < height; ++row) {
    const unsigned char* from = rgb + static_cast<std::size_t>(height - 1 - row) * width * 3;
    unsigned char* to = out.data() + 54 + static_cast<std::size_t>(row) * row_bytes;
    for (int column = 0; column < width; ++column, from += 3, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
  }
}

}  // namespace

std::optional<PictureFormat> PictureFormatOf(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == "png") return PictureFormat::kPng;
  if (extension == "bmp") return PictureFormat::kBmp;
  if (extension == "jpg" || extension == "jpeg") return PictureFormat::kJpeg;
  return std::nullopt;
}

bool FitsFormat(PictureFormat format, int width, int height) {
  const int most = format == PictureFormat::kJpeg  ? kJpegMaxSide
                   : format == PictureFormat::kPng ? kPngMaxSide
                                                   : INT_MAX;
  return width <= most && height <= most;
}

bool EncodePicture(PictureFormat format, const unsigned char* rgb, int width, int height,
                   std::vector<unsigned char>& encoded) {
  encoded.clear();
  switch (format) {
    case PictureFormat::kPng:
      return EncodePng(rgb, width, height, &encoded);
    case PictureFormat::kBmp:
      EncodeBmp(rgb, width, height, encoded);
      return true;
    case PictureFormat::kJpeg:
      return EncodeJpeg(rgb, width, height, &encoded);
  }
  return false;
}

}  // namespace kt::thermography
