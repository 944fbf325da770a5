// Reads back the JPEG, PNG and TIFF files the library writes, through the same
// libraries, so tests compare pixels rather than bytes of compressed streams.
// Every decoder returns an image with ok == false for a file it cannot read,
// and never ends the test process.
#pragma once

#include <csetjmp>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace kt::test {

struct DecodedImage {
  bool ok = false;
  int width = 0;
  int height = 0;
  int channels = 0;          // samples per pixel
  int bit_depth = 0;         // bits per sample
  int colour_type = -1;      // PNG only
  int significant_bits = 0;  // PNG only: sBIT of grey (or red) samples, 0 without sBIT
  bool progressive = false;  // JPEG only
  int photometric = -1;      // TIFF only
  int strips = 0;            // TIFF only
  // Rows top first, no padding. JPEG: 8-bit samples. PNG: the file's bytes
  // (16-bit samples most significant byte first). TIFF: the strips as
  // decoded, 16-bit samples in the machine's order.
  std::vector<uint8_t> samples;

  size_t row_bytes() const { return static_cast<size_t>(width) * channels * (bit_depth / 8); }
  const uint8_t* at(int row, int column) const {
    return samples.data() + row * row_bytes() +
           static_cast<size_t>(column) * channels * (bit_depth / 8);
  }
};

namespace decoding_detail {

struct JpegReader {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  std::jmp_buf recovery;
};

[[noreturn]] inline void JpegFail(j_common_ptr common) {
  std::longjmp(static_cast<JpegReader*>(common->client_data)->recovery, 1);
}

inline bool ReadJpeg(JpegReader* r, std::FILE* file, DecodedImage* image) {
  r->info.err = jpeg_std_error(&r->errors);
  r->errors.error_exit = JpegFail;
  r->info.client_data = r;
  if (setjmp(r->recovery) != 0) return false;
  jpeg_CreateDecompress(&r->info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  jpeg_stdio_src(&r->info, file);
  jpeg_read_header(&r->info, TRUE);
  image->progressive = r->info.progressive_mode != 0;
  jpeg_start_decompress(&r->info);
  image->width = static_cast<int>(r->info.output_width);
  image->height = static_cast<int>(r->info.output_height);
  image->channels = r->info.output_components;
  image->bit_depth = 8;
  image->samples.resize(image->row_bytes() * static_cast<size_t>(image->height));
  while (r->info.output_scanline < r->info.output_height) {
    JSAMPROW row = image->samples.data() + r->info.output_scanline * image->row_bytes();
    jpeg_read_scanlines(&r->info, &row, 1);
  }
  jpeg_finish_decompress(&r->info);
  return true;
}

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<png_bytep> rows;
};

inline bool ReadPng(PngReader* r, std::FILE* file, DecodedImage* image) {
  if (setjmp(png_jmpbuf(r->png)) != 0) return false;
  png_init_io(r->png, file);
  png_read_info(r->png, r->info);
  image->width = static_cast<int>(png_get_image_width(r->png, r->info));
  image->height = static_cast<int>(png_get_image_height(r->png, r->info));
  image->channels = png_get_channels(r->png, r->info);
  image->bit_depth = png_get_bit_depth(r->png, r->info);
  image->colour_type = png_get_color_type(r->png, r->info);
  png_color_8p significant = nullptr;
  if (png_get_sBIT(r->png, r->info, &significant) != 0 && significant != nullptr) {
    const bool colour = (image->colour_type & PNG_COLOR_MASK_COLOR) != 0;
    image->significant_bits = colour ? significant->red : significant->gray;
  }
  image->samples.resize(image->row_bytes() * static_cast<size_t>(image->height));
  r->rows.resize(static_cast<size_t>(image->height));
  for (int i = 0; i < image->height; ++i)
    r->rows[i] = image->samples.data() + i * image->row_bytes();
  png_read_image(r->png, r->rows.data());
  png_read_end(r->png, nullptr);
  return true;
}

inline int QuietTiffMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace decoding_detail

inline DecodedImage DecodeJpeg(const std::filesystem::path& path) {
  DecodedImage image;
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (file == nullptr) return image;
  auto reader = std::make_unique<decoding_detail::JpegReader>();
  image.ok = decoding_detail::ReadJpeg(reader.get(), file, &image);
  jpeg_destroy_decompress(&reader->info);
  std::fclose(file);
  return image;
}

inline DecodedImage DecodePng(const std::filesystem::path& path) {
  DecodedImage image;
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (file == nullptr) return image;
  decoding_detail::PngReader reader;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (reader.png != nullptr) reader.info = png_create_info_struct(reader.png);
  if (reader.info != nullptr) image.ok = decoding_detail::ReadPng(&reader, file, &image);
  png_destroy_read_struct(&reader.png, &reader.info, nullptr);
  std::fclose(file);
  return image;
}

inline DecodedImage DecodeTiff(const std::filesystem::path& path) {
  DecodedImage image;
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, decoding_detail::QuietTiffMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, decoding_detail::QuietTiffMessage, nullptr);
  TIFF* tiff = TIFFOpenExt(path.string().c_str(), "r", options);
  TIFFOpenOptionsFree(options);
  if (tiff == nullptr) return image;
  uint32_t width = 0, height = 0;
  uint16_t bits = 0, samples = 0, photometric = 0;
  const bool tags = TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) == 1 &&
                    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) == 1 &&
                    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits) == 1 &&
                    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples) == 1 &&
                    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 1;
  if (tags) {
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.bit_depth = bits;
    image.channels = samples;
    image.photometric = photometric;
    image.strips = static_cast<int>(TIFFNumberOfStrips(tiff));
    image.samples.resize(image.row_bytes() * height);
    size_t filled = 0;
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tiff) && filled < image.samples.size(); ++s) {
      const tmsize_t got =
          TIFFReadEncodedStrip(tiff, s, image.samples.data() + filled,
                               static_cast<tmsize_t>(image.samples.size() - filled));
      if (got < 0) break;
      filled += static_cast<size_t>(got);
    }
    image.ok = filled == image.samples.size();
  }
  TIFFClose(tiff);
  return image;
}

// Raw byte count of strip 0 as recorded in the file.
inline uint64_t TiffFirstStripBytes(const std::filesystem::path& path) {
  TIFF* tiff = TIFFOpen(path.string().c_str(), "r");
  if (tiff == nullptr) return 0;
  uint64_t* counts = nullptr;
  uint64_t bytes = 0;
  if (TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) == 1 && counts != nullptr) {
    bytes = counts[0];
  }
  TIFFClose(tiff);
  return bytes;
}

}  // namespace kt::test
