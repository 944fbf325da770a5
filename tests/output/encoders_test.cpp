// JPEG, PNG and TIFF stills, read back through the same libraries: sizes,
// sample layouts, row orders, the depth routes of SaveImageFile, failures
// that must end a save cleanly, and concurrent PNG saves.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../output/image_decoding.h"
#include "imaging/dib_surface.h"
#include "output/jpeg_writer.h"
#include "output/png_writer.h"
#include "output/still_image.h"
#include "output/tiff_writer.h"
#include "platform/sdk_file.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace kt {
namespace {

using test::DecodedImage;
using test::TempDir;

uint8_t* Pixel(CDibSurface& s, int stored_row, int column) {
  return s.pixels() + stored_row * s.stride() + column * (s.bits_per_pixel() / 8);
}

// Every byte of the surface from a seed, so that rows and pixels differ.
CDibSurface Patterned(int width, int height, int bits, unsigned seed = 1) {
  CDibSurface s;
  EXPECT_EQ(s.Create(width, height, bits), 1);
  for (size_t i = 0; i < s.byte_size(); ++i) {
    s.pixels()[i] = static_cast<uint8_t>((i * 2654435761u + seed * 97u) >> 13);
  }
  return s;
}

// The 384 x 288 colour frame in four flat quadrants: top left red, top right
// green, bottom left blue, bottom right white (picture rows, top = last stored).
CDibSurface Quadrants() {
  CDibSurface s;
  EXPECT_EQ(s.Create(384, 288, 24), 1);
  const uint8_t bgr[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
  for (int row = 0; row < 288; ++row) {
    for (int x = 0; x < 384; ++x) {
      const int quadrant = (row >= 144 ? 0 : 2) + (x >= 192 ? 1 : 0);
      std::memcpy(Pixel(s, row, x), bgr[quadrant], 3);
    }
  }
  return s;
}

bool Near(const uint8_t* got, std::vector<int> want, int tolerance = 6) {
  for (size_t i = 0; i < want.size(); ++i) {
    if (std::abs(got[i] - want[i]) > tolerance) return false;
  }
  return true;
}

TEST(Encoders, JpegIsProgressiveRgbTopRowFirstAtEachQuality) {
  TempDir dir;
  const CDibSurface frame = Quadrants();
  uintmax_t previous_size = UINTMAX_MAX;
  for (int number : {kStillJpeg100, kStillJpeg70, kStillJpeg20}) {
    ASSERT_EQ(SaveImageFile(dir.Wide("q.jpg").c_str(), &frame, number), 1);
    const DecodedImage image = test::DecodeJpeg(dir.Path("q.jpg"));
    ASSERT_TRUE(image.ok);
    EXPECT_TRUE(image.progressive);
    ASSERT_EQ(image.width, 384);
    ASSERT_EQ(image.height, 288);
    ASSERT_EQ(image.channels, 3);
    // Quadrant centres, clear of block edges.
    EXPECT_TRUE(Near(image.at(72, 96), {255, 0, 0})) << number;
    EXPECT_TRUE(Near(image.at(72, 288), {0, 255, 0})) << number;
    EXPECT_TRUE(Near(image.at(216, 96), {0, 0, 255})) << number;
    EXPECT_TRUE(Near(image.at(216, 288), {255, 255, 255})) << number;
    // Lower quality, smaller file: the quality reaches the encoder.
    const uintmax_t size = std::filesystem::file_size(dir.Path("q.jpg"));
    EXPECT_LT(size, previous_size) << number;
    previous_size = size;
  }
}

TEST(Encoders, JpegRoutesDeeperSurfaces) {
  TempDir dir;
  // 16-bit codes, the top 8 of their 14 bits: left half 0x3FFF (byte 0xFF),
  // right half 0x2000 (0x80).
  CDibSurface raw;
  ASSERT_EQ(raw.Create(64, 16, 16), 1);
  for (int row = 0; row < 16; ++row) {
    for (int x = 0; x < 64; ++x) {
      const uint16_t code = x < 32 ? 0x3FFF : 0x2000;
      std::memcpy(Pixel(raw, row, x), &code, 2);
    }
  }
  ASSERT_EQ(SaveImageFile(dir.Wide("raw.jpg").c_str(), &raw, kStillJpeg100), 1);
  const DecodedImage grey = test::DecodeJpeg(dir.Path("raw.jpg"));
  ASSERT_TRUE(grey.ok);
  EXPECT_EQ(grey.channels, 1);
  EXPECT_TRUE(Near(grey.at(8, 8), {0xFF}));
  EXPECT_TRUE(Near(grey.at(8, 56), {0x80}));

  // 32 bits: the fourth byte is dropped, so the file decodes exactly as the
  // same pixels saved from 24 bits.
  CDibSurface bgra = Patterned(40, 24, 32, 7);
  CDibSurface bgr;
  ASSERT_EQ(bgr.Create(40, 24, 24), 1);
  for (int row = 0; row < 24; ++row) {
    for (int x = 0; x < 40; ++x) std::memcpy(Pixel(bgr, row, x), Pixel(bgra, row, x), 3);
  }
  ASSERT_EQ(SaveImageFile(dir.Wide("a.jpg").c_str(), &bgra, kStillJpeg70), 1);
  ASSERT_EQ(SaveImageFile(dir.Wide("b.jpg").c_str(), &bgr, kStillJpeg70), 1);
  const DecodedImage from32 = test::DecodeJpeg(dir.Path("a.jpg"));
  ASSERT_TRUE(from32.ok);
  EXPECT_EQ(from32.samples, test::DecodeJpeg(dir.Path("b.jpg")).samples);
  // The writer itself takes only 8 and 24 bits.
  EXPECT_EQ(SaveJpegFile(dir.Wide("no.jpg").c_str(), raw, 100), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("no.jpg")));
}

TEST(Encoders, PngSamplesAndRowsForEachDirectDepth) {
  TempDir dir;
  struct Case {
    int bits;
    int colour_type;
    int channels;
  };
  for (const Case& c : {Case{8, 0, 1}, Case{24, 2, 3}, Case{32, 6, 4}}) {
    CDibSurface surface = Patterned(7, 5, c.bits, static_cast<unsigned>(c.bits));
    ASSERT_EQ(SaveImageFile(dir.Wide("d.png").c_str(), &surface, kStillPng), 1);
    const DecodedImage image = test::DecodePng(dir.Path("d.png"));
    ASSERT_TRUE(image.ok) << c.bits;
    EXPECT_EQ(image.bit_depth, 8);
    EXPECT_EQ(image.significant_bits, 0);  // 8-bit samples use all their bits
    EXPECT_EQ(image.colour_type, c.colour_type);
    ASSERT_EQ(image.channels, c.channels);
    for (int row = 0; row < 5; ++row) {
      for (int x = 0; x < 7; ++x) {
        const uint8_t* stored = Pixel(surface, 4 - row, x);
        std::vector<int> want(stored, stored + c.channels);
        if (c.channels >= 3) std::swap(want[0], want[2]);  // red first; alpha kept
        ASSERT_TRUE(Near(image.at(row, x), want, 0)) << c.bits << " " << row << "," << x;
      }
    }
  }
}

TEST(Encoders, SixteenBitCodesAreScaledForPngAndTiff) {
  TempDir dir;
  CDibSurface raw;
  ASSERT_EQ(raw.Create(3, 2, 16), 1);
  // Stored row 1 is the top: 0x0100 first; stored row 0 holds 0x0001.
  for (int x = 0; x < 3; ++x) {
    const uint16_t top = 0x0100, bottom = 0x0001;
    std::memcpy(Pixel(raw, 1, x), &top, 2);
    std::memcpy(Pixel(raw, 0, x), &bottom, 2);
  }
  ASSERT_EQ(SaveImageFile(dir.Wide("r.png").c_str(), &raw, kStillPng), 1);
  const DecodedImage png = test::DecodePng(dir.Path("r.png"));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.bit_depth, 16);
  EXPECT_EQ(png.colour_type, 0);
  EXPECT_EQ(png.significant_bits, 14);
  EXPECT_EQ(png.at(0, 0)[0], 0x04);  // most significant byte first
  EXPECT_EQ(png.at(0, 0)[1], 0x00);
  EXPECT_EQ(png.at(1, 2)[0], 0x00);
  EXPECT_EQ(png.at(1, 2)[1], 0x04);

  ASSERT_EQ(SaveImageFile(dir.Wide("r.tif").c_str(), &raw, kStillTiff), 1);
  const DecodedImage tiff = test::DecodeTiff(dir.Path("r.tif"));
  ASSERT_TRUE(tiff.ok);
  EXPECT_EQ(tiff.bit_depth, 16);
  EXPECT_EQ(tiff.channels, 1);
  EXPECT_EQ(tiff.photometric, 1);  // min-is-black
  EXPECT_EQ(tiff.strips, 1);
  uint16_t first = 0, last = 0;
  std::memcpy(&first, tiff.at(0, 0), 2);
  std::memcpy(&last, tiff.at(1, 2), 2);
  EXPECT_EQ(first, 0x0400);
  EXPECT_EQ(last, 0x0004);
  // The source is left as it was.
  uint16_t code = 0;
  std::memcpy(&code, Pixel(raw, 1, 0), 2);
  EXPECT_EQ(code, 0x0100);
}

TEST(Encoders, DeepColourPngStoresEverySampleMostSignificantByteFirst) {
  TempDir dir;
  for (const int bits : {48, 64}) {
    CDibSurface deep;
    ASSERT_EQ(deep.Create(2, 1, bits), 1);
    // Blue 0x0001, green 0x0002, red 0x0103 (and 0x0004): shifted left by 2.
    const uint16_t pixel[4] = {0x0001, 0x0002, 0x0103, 0x0004};
    for (int x = 0; x < 2; ++x)
      std::memcpy(Pixel(deep, 0, x), pixel, static_cast<size_t>(bits / 8));
    const std::string name = "deep" + std::to_string(bits) + ".png";
    ASSERT_EQ(SaveImageFile(dir.Wide(name).c_str(), &deep, kStillPng), 1);
    const DecodedImage png = test::DecodePng(dir.Path(name));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.bit_depth, 16);
    EXPECT_EQ(png.significant_bits, 14) << bits;
    const uint8_t* rgb = png.at(0, 1);
    // Red first: 0x0103 << 2 = 0x040C, then green 0x0008, blue 0x0004.
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 6),
              (std::vector<uint8_t>{0x04, 0x0C, 0x00, 0x08, 0x00, 0x04}))
        << bits;
    if (bits == 64) {
      EXPECT_EQ(rgb[6], 0x00);  // 0x0004 << 2 = 0x0010
      EXPECT_EQ(rgb[7], 0x10);
    }
  }
}

TEST(Encoders, TiffStripIsUnpaddedRgbTopRowFirst) {
  TempDir dir;
  CDibSurface surface = Patterned(5, 4, 24);  // 15 bytes a row, stride 16
  ASSERT_EQ(SaveTiffFile(dir.Wide("p.tif").c_str(), surface), 1);
  EXPECT_EQ(test::TiffFirstStripBytes(dir.Path("p.tif")), 4u * 15u);
  const DecodedImage image = test::DecodeTiff(dir.Path("p.tif"));
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.photometric, 2);
  ASSERT_EQ(image.channels, 3);
  for (int row = 0; row < 4; ++row) {
    for (int x = 0; x < 5; ++x) {
      const uint8_t* stored = Pixel(surface, 3 - row, x);
      ASSERT_TRUE(Near(image.at(row, x), {stored[2], stored[1], stored[0]}, 0)) << row << "," << x;
    }
  }
}

TEST(Encoders, MirroredSavesStartAtStoredRowZero) {
  TempDir dir;
  CDibSurface surface = Patterned(6, 3, 24, 3);
  ASSERT_EQ(SaveFlippedImageFile(dir.Wide("m.png").c_str(), &surface, kStillPng), 1);
  ASSERT_EQ(SaveFlippedImageFile(dir.Wide("m.tif").c_str(), &surface, kStillTiff), 1);
  const DecodedImage png = test::DecodePng(dir.Path("m.png"));
  const DecodedImage tiff = test::DecodeTiff(dir.Path("m.tif"));
  ASSERT_TRUE(png.ok && tiff.ok);
  const uint8_t* stored = Pixel(surface, 0, 0);
  EXPECT_TRUE(Near(png.at(0, 0), {stored[2], stored[1], stored[0]}, 0));
  EXPECT_EQ(png.samples, tiff.samples);
}

TEST(Encoders, RefusedNamesAndDepthsCreateNoFile) {
  TempDir dir;
  const CDibSurface colour = Patterned(4, 4, 24);
  const CDibSurface odd = Patterned(4, 4, 40);
  const CDibSurface empty;
  const std::u16string name = dir.Wide("out");
  for (const char16_t* missing : {static_cast<const char16_t*>(nullptr), u""}) {
    EXPECT_EQ(SaveJpegFile(missing, colour, 100), 0);
    EXPECT_EQ(SavePngFile(missing, colour), 0);
    EXPECT_EQ(SaveTiffFile(missing, colour), 0);
    for (int number = kStillJpeg100; number <= kStillTiff; ++number) {
      EXPECT_EQ(SaveImageFile(missing, &colour, number), 0) << number;
    }
  }
  for (int number = kStillJpeg100; number <= kStillTiff; ++number) {
    EXPECT_EQ(SaveImageFile(name.c_str(), &odd, number), 0) << number;
    EXPECT_EQ(SaveImageFile(name.c_str(), &empty, number), 0) << number;
    EXPECT_EQ(SaveImageFile(dir.Wide("no/dir").c_str(), &colour, number), 0) << number;
  }
  // A name beyond 259 bytes cannot reach libtiff.
  EXPECT_EQ(SaveTiffFile(dir.Wide(std::string(300, 'x')).c_str(), colour), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

#ifndef _WIN32
// Makes this process's file writes fail past `bytes`, with the signal that
// would otherwise end it ignored, for the object's lifetime.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};
#endif

TEST(Encoders, FailedWritesEndTheSaveWithZero) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a per-process file size limit or /dev/full to make writes fail";
#else
  TempDir dir;
  const CDibSurface frame = Patterned(384, 288, 24);
  {
    FileSizeLimit limit(4096);  // well below any of the three files
    for (int number = kStillJpeg100; number <= kStillTiff; ++number) {
      EXPECT_EQ(SaveImageFile(dir.Wide("cut").c_str(), &frame, number), 0) << number;
    }
  }
  {
    // A tiny JPEG leaves all its bytes in the encoder's output buffer until
    // the end: the last write is checked as well.
    FileSizeLimit limit(16);
    const CDibSurface tiny = Patterned(2, 2, 24);
    for (int number = kStillJpeg100; number <= kStillTiff; ++number) {
      EXPECT_EQ(SaveImageFile(dir.Wide("tiny").c_str(), &tiny, number), 0) << number;
    }
  }
  // Nothing was left half done: the same saves work again.
  for (int number = kStillJpeg100; number <= kStillTiff; ++number) {
    EXPECT_EQ(SaveImageFile(dir.Wide("whole").c_str(), &frame, number), 1) << number;
  }
#endif
}

// Every format opens its file the same way: not shared, regular files only,
// the name converted strictly.
TEST(Encoders, EveryFormatRefusesTheTargetsTheFileLayerRefuses) {
  TempDir dir;
  const CDibSurface frame = Patterned(8, 8, 24);
  // A file another writer holds (a recording in progress) stays as it is.
  const std::u16string held_name = dir.Wide("held.avi");
  CSdkFile held;
  ASSERT_NE(held.OpenWrite(held_name.c_str()), nullptr);
  ASSERT_TRUE(held.Write("RIFF", 4));
#ifndef _WIN32
  // An unpaired surrogate names no file: it is refused, not written as "?".
  const std::u16string surrogate = dir.path().u16string() + u"/\xD800.out";
  // Nothing reads the FIFO: a save that opened it would block for good.
  const std::filesystem::path fifo = dir.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
#endif
  for (int number = kStillBmp; number <= kStillTiff; ++number) {
    EXPECT_EQ(SaveImageFile(held_name.c_str(), &frame, number), 0) << number;
    EXPECT_EQ(SaveImageFile(dir.path().u16string().c_str(), &frame, number), 0) << number;
#ifndef _WIN32
    EXPECT_EQ(SaveImageFile(surrogate.c_str(), &frame, number), 0) << number;
    EXPECT_EQ(SaveImageFile(fifo.u16string().c_str(), &frame, number), 0) << number;
    EXPECT_EQ(SaveImageFile(u"/dev/null", &frame, number), 0) << number;
#endif
  }
  held.Close();
  EXPECT_EQ(test::ReadFileBytes(dir.Path("held.avi")), (std::vector<uint8_t>{'R', 'I', 'F', 'F'}));
#ifndef _WIN32
  // Nothing else appeared: no "?.out" for the surrogate name.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // held.avi and the FIFO
#endif
}

TEST(Encoders, ConcurrentPngSavesAreCompleteAndCorrect) {
  TempDir dir;
  const CDibSurface first = Patterned(384, 288, 24, 11);
  const CDibSurface second = Patterned(384, 288, 16, 12);
  const std::u16string first_name = dir.Wide("first.png");
  const std::u16string second_name = dir.Wide("second.png");
  ASSERT_EQ(SaveImageFile(first_name.c_str(), &first, kStillPng), 1);
  ASSERT_EQ(SaveImageFile(second_name.c_str(), &second, kStillPng), 1);
  const DecodedImage first_reference = test::DecodePng(dir.Path("first.png"));
  const DecodedImage second_reference = test::DecodePng(dir.Path("second.png"));
  ASSERT_TRUE(first_reference.ok && second_reference.ok);

  constexpr int kRounds = 20;
  int first_failures = 0, second_failures = 0;
  auto run = [&](const CDibSurface& surface, const std::string& prefix, int* failures) {
    for (int i = 0; i < kRounds; ++i) {
      const std::string name = prefix + std::to_string(i) + ".png";
      if (SaveImageFile(dir.Wide(name).c_str(), &surface, kStillPng) != 1) ++*failures;
    }
  };
  std::thread a(run, std::cref(first), "a", &first_failures);
  std::thread b(run, std::cref(second), "b", &second_failures);
  a.join();
  b.join();
  EXPECT_EQ(first_failures, 0);
  EXPECT_EQ(second_failures, 0);
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_EQ(test::DecodePng(dir.Path("a" + std::to_string(i) + ".png")).samples,
              first_reference.samples)
        << i;
    EXPECT_EQ(test::DecodePng(dir.Path("b" + std::to_string(i) + ".png")).samples,
              second_reference.samples)
        << i;
  }
}

}  // namespace
}  // namespace kt
