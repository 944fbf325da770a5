// Still saving: every format 0..9 through SaveImageFile, next to the bare
// library calls that produce the same file from rows already in the library's
// layout (same settings, same file system). The difference is the cost of our
// conversions, row handling and file opening.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
#include "output/still_image.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;

// A smooth frame like the camera's: gradients with a little texture, raw
// codes in the sensor's 10 significant bits.
struct Frame {
  kt::CDibSurface colour;
  kt::CDibSurface raw;
  // Picture rows top first, no padding, in each library's sample layout.
  std::vector<uint8_t> rgb;     // 8-bit red, green, blue
  std::vector<uint8_t> scaled;  // codes widened to 16 bits as the writers do, machine order
  std::filesystem::path dir;

  Frame() {
    colour.Create(kWidth, kHeight, 24);
    raw.Create(kWidth, kHeight, 16);
    for (int row = 0; row < kHeight; ++row) {
      for (int x = 0; x < kWidth; ++x) {
        const auto code = static_cast<uint16_t>((x * 2 + row + ((x * row) % 7)) & 0x3FF);
        std::memcpy(raw.pixels() + row * raw.stride() + 2 * x, &code, 2);
        uint8_t* bgr = colour.pixels() + row * colour.stride() + 3 * x;
        bgr[0] = static_cast<uint8_t>(code >> 2);
        bgr[1] = static_cast<uint8_t>(255 - (code >> 2));
        bgr[2] = static_cast<uint8_t>((x + row) / 3);
      }
    }
    for (int r = 0; r < kHeight; ++r) {
      const int stored = kHeight - 1 - r;
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* bgr = colour.pixels() + stored * colour.stride() + 3 * x;
        rgb.insert(rgb.end(), {bgr[2], bgr[1], bgr[0]});
        uint16_t code = 0;
        std::memcpy(&code, raw.pixels() + stored * raw.stride() + 2 * x, 2);
        const auto wide = static_cast<uint16_t>(code << kt::kWidenShift);
        scaled.insert(scaled.end(), {static_cast<uint8_t>(wide), static_cast<uint8_t>(wide >> 8)});
      }
    }
    dir = std::filesystem::temp_directory_path() / "kolthermo_save_bench";
    std::filesystem::create_directories(dir);
  }
};

Frame& TheFrame() {
  static Frame frame;
  return frame;
}

std::string FileFor(int format) {
  char name[16];
  std::snprintf(name, sizeof(name), "f%d", format);
  return (TheFrame().dir / name).string();
}

void BM_SaveImageFile(benchmark::State& state) {
  Frame& frame = TheFrame();
  const int format = static_cast<int>(state.range(0));
  const bool raw = format >= 7;
  const int number = format == 7   ? kt::kStillPixelDump
                     : format == 8 ? kt::kStillPng
                     : format == 9 ? kt::kStillTiff
                                   : format;
  const std::u16string path = std::filesystem::path(FileFor(format)).u16string();
  for (auto _ : state) {
    if (kt::SaveImageFile(path.c_str(), raw ? &frame.raw : &frame.colour, number) != 1) {
      state.SkipWithError("save failed");
      break;
    }
  }
}

// The same bytes as formats 0, 1 and 7 with one stdio write.
bool BareWrite(const std::string& name, const uint8_t* header, size_t header_bytes,
               const uint8_t* pixels, size_t pixel_bytes) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = header_bytes == 0 || std::fwrite(header, 1, header_bytes, file) == header_bytes;
  ok = ok && std::fwrite(pixels, 1, pixel_bytes, file) == pixel_bytes;
  return std::fclose(file) == 0 && ok;
}

bool BareJpeg(const std::string& name, const std::vector<uint8_t>& rgb, int quality) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct c{};
  jpeg_error_mgr errors{};
  c.err = jpeg_std_error(&errors);
  jpeg_CreateCompress(&c, JPEG_LIB_VERSION, sizeof(c));
  jpeg_stdio_dest(&c, file);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + c.next_scanline * kWidth * 3;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(file) == 0;
}

bool BarePng(const std::string& name, const std::vector<uint8_t>& rows, int bit_depth,
             int colour_type, size_t row_bytes) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> table(kHeight);
  for (int r = 0; r < kHeight; ++r) table[r] = const_cast<uint8_t*>(rows.data()) + r * row_bytes;
  png_init_io(png, file);
  png_set_IHDR(png, info, kWidth, kHeight, bit_depth, colour_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (bit_depth == 16) png_set_swap(png);
  png_write_image(png, table.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

bool BareTiff(const std::string& name, const std::vector<uint8_t>& strip, uint16_t bits,
              uint16_t photometric, uint16_t samples) {
  TIFF* tiff = TIFFOpen(name.c_str(), "w");
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(kWidth));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(kHeight));
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  // libtiff may swap samples in place; hand it a copy as our writer hands it
  // its scratch surface.
  std::vector<uint8_t> copy = strip;
  const auto bytes = static_cast<tmsize_t>(copy.size());
  const bool ok = TIFFWriteEncodedStrip(tiff, 0, copy.data(), bytes) == bytes;
  TIFFClose(tiff);
  return ok;
}

void BM_BareEncoder(benchmark::State& state) {
  Frame& frame = TheFrame();
  const int format = static_cast<int>(state.range(0));
  const std::string name = FileFor(format) + ".bare";
  uint8_t bmp_header[54] = {'B', 'M'};
  std::memcpy(bmp_header + 14, &frame.colour.info_header(), 40);
  for (auto _ : state) {
    bool ok = false;
    switch (format) {
      case 0:
        ok = BareWrite(name, bmp_header, 54, frame.colour.pixels(), frame.colour.byte_size());
        break;
      case 1:
        ok = BareWrite(name, nullptr, 0, frame.colour.pixels(), frame.colour.byte_size());
        break;
      case 2:
      case 3:
      case 4:
        ok = BareJpeg(name, frame.rgb, format == 2 ? 100 : format == 3 ? 70 : 20);
        break;
      case 5:
        ok = BarePng(name, frame.rgb, 8, PNG_COLOR_TYPE_RGB, kWidth * 3);
        break;
      case 6:
        ok = BareTiff(name, frame.rgb, 8, PHOTOMETRIC_RGB, 3);
        break;
      case 7:
        ok = BareWrite(name, nullptr, 0, frame.raw.pixels(), frame.raw.byte_size());
        break;
      case 8:
        ok = BarePng(name, frame.scaled, 16, PNG_COLOR_TYPE_GRAY, kWidth * 2);
        break;
      case 9:
        ok = BareTiff(name, frame.scaled, 16, PHOTOMETRIC_MINISBLACK, 1);
        break;
      default:
        break;
    }
    if (!ok) {
      state.SkipWithError("bare write failed");
      break;
    }
  }
}

BENCHMARK(BM_SaveImageFile)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareEncoder)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
