// Radiometric files read back with libtiff, libpng and a CSV parser; refusals
// of bad input; recordings that outgrow the disk.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo_radiometric.h"
#include "support/file_size_limit.h"

namespace {

namespace fs = std::filesystem;

class RadiometricTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kolthermo_radiometric_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    dir_string_ = dir_.string();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
  std::string dir_string_;
};

// Temperatures with every kind of value a frame holds, -999.0 included.
std::vector<float> Temperatures(int width, int height, float offset = 0.0f) {
  std::vector<float> values(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = offset - 40.0f + 0.013f * static_cast<float>(i % 23000) + 1e-5f * (i % 7);
  }
  if (values.size() > 1) values[1] = KOLTHERMO_THERMO_NO_TEMPERATURE;
  return values;
}

KolThermoFrameInfo Info(unsigned frame_id) {
  // 2026-12-08T12:34:56.789Z
  return {frame_id, 1796733296.789, 31.25f, 0.95f, 21.5f, 0.9f, 18.0f, "camera.tbl"};
}

struct TiffRead {
  bool opened = false;
  bool big = false;
  int pages = 0;
  std::vector<std::string> descriptions;
  std::string date_time, software;
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0, format = 0, samples_per_pixel = 0, compression = 0;
  std::vector<std::vector<unsigned char>> pixels;  // per page, rows top first
};

TiffRead ReadTiff(const std::string& path) {
  TiffRead read;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return read;
  read.opened = true;
  read.big = TIFFIsBigTIFF(tiff) != 0;
  do {
    char* text = nullptr;
    read.descriptions.push_back(TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &text) ? text : "");
    if (TIFFGetField(tiff, TIFFTAG_DATETIME, &text)) read.date_time = text;
    if (TIFFGetField(tiff, TIFFTAG_SOFTWARE, &text)) read.software = text;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &read.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &read.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &read.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &read.format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &read.samples_per_pixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &read.compression);
    std::vector<unsigned char> page(static_cast<std::size_t>(TIFFScanlineSize64(tiff)) *
                                    read.height);
    for (std::uint32_t row = 0; row < read.height; ++row) {
      if (TIFFReadScanline(tiff, page.data() + row * TIFFScanlineSize64(tiff), row) != 1) {
        page.clear();
        break;
      }
    }
    read.pixels.push_back(std::move(page));
    ++read.pages;
  } while (TIFFReadDirectory(tiff) == 1);
  TIFFClose(tiff);
  return read;
}

template <typename T>
std::vector<unsigned char> Bytes(const std::vector<T>& values) {
  const auto* begin = reinterpret_cast<const unsigned char*>(values.data());
  return {begin, begin + values.size() * sizeof(T)};
}

TEST_F(RadiometricTest, TiffsReadBackBitExactWithTheirMetadata) {
  struct Case {
    int width, height;
    bool raw;
  };
  for (const Case& c :
       {Case{384, 288, false}, Case{384, 288, true}, Case{5, 3, false}, Case{3, 1000, true}}) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << (c.raw ? " raw" : ""));
    const std::string path = Path("frame.tif");
    const KolThermoFrameInfo info = Info(77);
    std::vector<unsigned char> expected;
    if (c.raw) {
      std::vector<unsigned short> raw(static_cast<std::size_t>(c.width) * c.height);
      for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<unsigned short>(i % 16384);
      ASSERT_EQ(KolThermoWriteRaw16Tiff(path.c_str(), raw.data(), c.width, c.height, &info),
                KOLTHERMO_THERMO_OK);
      expected = Bytes(raw);
    } else {
      const std::vector<float> celsius = Temperatures(c.width, c.height);
      ASSERT_EQ(KolThermoWriteCelsiusTiff(path.c_str(), celsius.data(), c.width, c.height, &info),
                KOLTHERMO_THERMO_OK);
      expected = Bytes(celsius);
    }
    const TiffRead read = ReadTiff(path);
    ASSERT_TRUE(read.opened);
    EXPECT_FALSE(read.big);
    ASSERT_EQ(read.pages, 1);
    EXPECT_EQ(read.width, static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(read.height, static_cast<std::uint32_t>(c.height));
    EXPECT_EQ(read.bits, c.raw ? 16 : 32);
    EXPECT_EQ(read.format, c.raw ? SAMPLEFORMAT_UINT : SAMPLEFORMAT_IEEEFP);
    EXPECT_EQ(read.samples_per_pixel, 1);
    EXPECT_EQ(read.compression, COMPRESSION_NONE);
    EXPECT_EQ(read.pixels[0], expected);
    const std::string& description = read.descriptions[0];
    for (const char* line :
         {"emissivity=0.95\n", "reflected_c=21.5\n", "transmission=0.9\n", "atmosphere_c=18\n",
          "frame_id=77\n", "time=2026-12-08T12:34:56.789Z\n", "internal_c=31.25\n",
          "table=camera.tbl\n"}) {
      EXPECT_NE(description.find(line), std::string::npos) << line << " in " << description;
    }
    EXPECT_EQ(description.rfind(c.raw ? "units=raw\n" : "units=C\n", 0), 0u) << description;
    EXPECT_EQ(read.date_time, "2026:12:08 12:34:56");
    EXPECT_EQ(read.software.rfind("KolThermo SDK ", 0), 0u) << read.software;
  }
}

TEST_F(RadiometricTest, CsvReadsBackToTheSameFloats) {
  const int width = 384, height = 288;
  const std::vector<float> celsius = Temperatures(width, height);
  const KolThermoFrameInfo info = Info(9);
  const std::string path = Path("frame.csv");
  ASSERT_EQ(KolThermoWriteCelsiusCsv(path.c_str(), celsius.data(), width, height, &info),
            KOLTHERMO_THERMO_OK);
  // What numpy.loadtxt(comments='#', delimiter=',') does: '#' lines are
  // skipped, every other line is one row of numbers.
  std::ifstream file(path);
  std::string line, comments;
  std::vector<float> values;
  int rows = 0;
  while (std::getline(file, line)) {
    if (line.rfind('#', 0) == 0) {
      comments += line + "\n";
      continue;
    }
    std::stringstream fields(line);
    std::string field;
    int columns = 0;
    while (std::getline(fields, field, ',')) {
      char* end = nullptr;
      values.push_back(std::strtof(field.c_str(), &end));
      EXPECT_EQ(*end, '\0') << field;
      ++columns;
    }
    EXPECT_EQ(columns, width);
    ++rows;
  }
  EXPECT_EQ(rows, height);
  EXPECT_EQ(Bytes(values), Bytes(celsius));
  for (const char* expected : {"# units=C\n", "# width=384\n", "# frame_id=9\n"}) {
    EXPECT_NE(comments.find(expected), std::string::npos) << expected;
  }
}

// The picture's pixels as a PNG reader sees them, top row first.
std::vector<unsigned char> ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

TEST_F(RadiometricTest, PictureFormatFollowsTheExtension) {
  const int width = 7, height = 4;
  std::vector<unsigned char> rgb(width * height * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 37);
  struct Case {
    const char* name;
    int code;
    std::vector<unsigned char> magic;
  };
  for (const Case& c : {Case{"a.PNG", KOLTHERMO_THERMO_OK, {0x89, 'P', 'N', 'G'}},
                        Case{"a.bmp", KOLTHERMO_THERMO_OK, {'B', 'M'}},
                        Case{"a.Jpeg", KOLTHERMO_THERMO_OK, {0xFF, 0xD8, 0xFF}},
                        Case{"a.jpg", KOLTHERMO_THERMO_OK, {0xFF, 0xD8, 0xFF}},
                        Case{"a.gif", KOLTHERMO_THERMO_INVALID_ARGUMENT, {}},
                        Case{"png", KOLTHERMO_THERMO_INVALID_ARGUMENT, {}},
                        Case{"d.png/a", KOLTHERMO_THERMO_INVALID_ARGUMENT, {}}}) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    EXPECT_EQ(KolThermoWritePicture(path.c_str(), rgb.data(), width, height), c.code);
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> head(c.magic.size());
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(c.code == KOLTHERMO_THERMO_OK, fs::exists(path));
    EXPECT_EQ(head, c.magic);
  }
  EXPECT_EQ(ReadPng(Path("a.PNG")), rgb);
  // BMP rows run bottom-up in blue, green, red, each padded to 4 bytes.
  std::ifstream bmp(Path("a.bmp"), std::ios::binary);
  std::vector<unsigned char> file((std::istreambuf_iterator<char>(bmp)), {});
  ASSERT_EQ(file.size(), 54u + 24u * height);
  const unsigned char* bottom_left = rgb.data() + (height - 1) * width * 3;
  EXPECT_EQ(file[54], bottom_left[2]);
  EXPECT_EQ(file[55], bottom_left[1]);
  EXPECT_EQ(file[56], bottom_left[0]);
}

TEST_F(RadiometricTest, BadInputIsRefusedWithoutAFile) {
  const std::vector<float> celsius = Temperatures(4, 4);
  const std::string path = Path("bad.tif");
  KolThermoFrameInfo bad_time = Info(1);
  bad_time.time_s = std::numeric_limits<double>::quiet_NaN();
  KolThermoFrameInfo negative_time = Info(1);
  negative_time.time_s = -1.0;
  const std::string long_path = Path(std::string(5000, 'x') + ".tif");
  struct Case {
    const char* what;
    const char* path;
    const float* pixels;
    int width, height;
    const KolThermoFrameInfo* info;
    int code;
  };
  for (const Case& c : {
           Case{"null path", nullptr, celsius.data(), 4, 4, nullptr,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"empty path", "", celsius.data(), 4, 4, nullptr, KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"null pixels", path.c_str(), nullptr, 4, 4, nullptr,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"zero width", path.c_str(), celsius.data(), 0, 4, nullptr,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"negative height", path.c_str(), celsius.data(), 4, -1, nullptr,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"overflowing size", path.c_str(), celsius.data(), 1 << 16, 1 << 16, nullptr,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"time not a number", path.c_str(), celsius.data(), 4, 4, &bad_time,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"time before 1970", path.c_str(), celsius.data(), 4, 4, &negative_time,
                KOLTHERMO_THERMO_INVALID_ARGUMENT},
           Case{"long path", long_path.c_str(), celsius.data(), 4, 4, nullptr,
                KOLTHERMO_THERMO_FILE_ERROR},
           Case{"directory", dir_string_.c_str(), celsius.data(), 4, 4, nullptr,
                KOLTHERMO_THERMO_FILE_ERROR},
           Case{"missing directory", "/nonexistent-kolthermo/x.tif", celsius.data(), 4, 4, nullptr,
                KOLTHERMO_THERMO_FILE_ERROR},
       }) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(KolThermoWriteCelsiusTiff(c.path, c.pixels, c.width, c.height, c.info), c.code);
    EXPECT_EQ(KolThermoWriteCelsiusCsv(c.path, c.pixels, c.width, c.height, c.info), c.code);
    EXPECT_FALSE(fs::exists(path));
  }
  EXPECT_TRUE(fs::is_directory(dir_));
  KolThermoTiffRecording* recording = nullptr;
  EXPECT_EQ(KolThermoTiffRecordingOpen(nullptr, 4, 4, &recording),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoTiffRecordingOpen(path.c_str(), 4, 4, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoTiffRecordingOpen(path.c_str(), 1 << 20, 1 << 20, &recording),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoTiffRecordingOpenLimited(path.c_str(), 4, 4, -1, &recording),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(recording, nullptr);
  EXPECT_EQ(KolThermoTiffRecordingAdd(nullptr, celsius.data(), nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoTiffRecordingClose(nullptr), KOLTHERMO_THERMO_INVALID_ARGUMENT);
#ifndef _WIN32
  // A device is never truncated, written or removed.
  EXPECT_EQ(KolThermoWriteCelsiusCsv("/dev/full", celsius.data(), 4, 4, nullptr),
            KOLTHERMO_THERMO_FILE_ERROR);
  EXPECT_TRUE(fs::exists("/dev/full"));
#endif
}

TEST_F(RadiometricTest, RecordingHasOnePagePerFrameInTheRightVariant) {
  struct Case {
    int width, height, max_frames, frames;
    bool big;
  };
  for (const Case& c :
       {Case{384, 288, 0, 3, true}, Case{384, 288, 5, 5, false}, Case{384, 288, 9000, 2, false},
        Case{384, 288, 10000, 2, true}, Case{8, 8, 1500, 1500, false}}) {
    SCOPED_TRACE(::testing::Message() << "max " << c.max_frames << ", " << c.frames << " frames");
    const std::string path = Path("recording.tif");
    KolThermoTiffRecording* recording = nullptr;
    ASSERT_EQ(KolThermoTiffRecordingOpenLimited(path.c_str(), c.width, c.height, c.max_frames,
                                                &recording),
              KOLTHERMO_THERMO_OK);
    for (int i = 0; i < c.frames; ++i) {
      const std::vector<float> celsius = Temperatures(c.width, c.height, static_cast<float>(i));
      const KolThermoFrameInfo info = Info(static_cast<unsigned>(100 + i));
      ASSERT_EQ(KolThermoTiffRecordingAdd(recording, celsius.data(), &info), KOLTHERMO_THERMO_OK);
    }
    if (c.max_frames == c.frames) {
      EXPECT_EQ(
          KolThermoTiffRecordingAdd(recording, Temperatures(c.width, c.height).data(), nullptr),
          KOLTHERMO_THERMO_OUT_OF_RANGE);
    }
    ASSERT_EQ(KolThermoTiffRecordingClose(recording), KOLTHERMO_THERMO_OK);
    const TiffRead read = ReadTiff(path);
    ASSERT_TRUE(read.opened);
    EXPECT_EQ(read.big, c.big);
    ASSERT_EQ(read.pages, c.frames);
    for (int i = 0; i < c.frames; ++i) {
      EXPECT_EQ(read.pixels[i], Bytes(Temperatures(c.width, c.height, static_cast<float>(i))));
      EXPECT_NE(read.descriptions[i].find("frame_id=" + std::to_string(100 + i) + "\n"),
                std::string::npos);
    }
  }
}

TEST_F(RadiometricTest, PictureSidesBeyondTheFormatAreRefused) {
  const std::vector<unsigned char> rgb(3 * 70000);
  EXPECT_EQ(KolThermoWritePicture(Path("wide.jpg").c_str(), rgb.data(), 70000, 1),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoWritePicture(Path("wide.bmp").c_str(), rgb.data(), 70000, 1),
            KOLTHERMO_THERMO_OK);
  EXPECT_FALSE(fs::exists(Path("wide.jpg")));
}

// Single files keep no state: threads writing at once each get their own
// file, whole (and the thread sanitizer sees no shared state).
TEST_F(RadiometricTest, ThreadsWriteFilesAtOnce) {
  std::vector<std::thread> threads;
  threads.reserve(4);
  std::vector<int> codes(4, -1);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::vector<float> celsius = Temperatures(64, 48, static_cast<float>(t));
      const KolThermoFrameInfo info = Info(static_cast<unsigned>(t));
      const std::string name = Path("thread" + std::to_string(t));
      codes[t] = KolThermoWriteCelsiusTiff((name + ".tif").c_str(), celsius.data(), 64, 48, &info) |
                 KolThermoWriteCelsiusCsv((name + ".csv").c_str(), celsius.data(), 64, 48, &info);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(codes[t], KOLTHERMO_THERMO_OK);
    const TiffRead read = ReadTiff(Path("thread" + std::to_string(t) + ".tif"));
    ASSERT_EQ(read.pages, 1);
    EXPECT_EQ(read.pixels[0], Bytes(Temperatures(64, 48, static_cast<float>(t))));
  }
}

TEST_F(RadiometricTest, RecordingWithoutFramesLeavesNoFile) {
  KolThermoTiffRecording* recording = nullptr;
  ASSERT_EQ(KolThermoTiffRecordingOpen(Path("empty.tif").c_str(), 4, 4, &recording),
            KOLTHERMO_THERMO_OK);
  EXPECT_EQ(KolThermoTiffRecordingClose(recording), KOLTHERMO_THERMO_OK);
  EXPECT_FALSE(fs::exists(Path("empty.tif")));
}

#ifndef _WIN32
TEST_F(RadiometricTest, FullDiskKeepsTheRecordedPagesAndRemovesSingleFiles) {
  const int width = 384, height = 288;
  const std::vector<float> celsius = Temperatures(width, height);
  const std::string path = Path("recording.tif");
  // The sizes of recordings of two and three frames, for limits that end the
  // file inside the header, inside a page's strips, inside the third page's
  // directory and at its very last byte.
  std::vector<std::uintmax_t> sizes;
  for (int frames = 2; frames <= 3; ++frames) {
    KolThermoTiffRecording* recording = nullptr;
    ASSERT_EQ(KolThermoTiffRecordingOpenLimited(path.c_str(), width, height, 10, &recording),
              KOLTHERMO_THERMO_OK);
    for (int i = 0; i < frames; ++i) KolThermoTiffRecordingAdd(recording, celsius.data(), nullptr);
    ASSERT_EQ(KolThermoTiffRecordingClose(recording), KOLTHERMO_THERMO_OK);
    sizes.push_back(fs::file_size(path));
  }
  for (const rlim_t limit : {rlim_t{10}, rlim_t{200000}, rlim_t{sizes[1] - 60},
                             rlim_t{sizes[1] - 1}, rlim_t{sizes[0] + 100}}) {
    SCOPED_TRACE(limit);
    int added = 0;
    int open_code = KOLTHERMO_THERMO_OK;
    {
      kt::test::FileSizeLimit full(limit);
      KolThermoTiffRecording* recording = nullptr;
      open_code = KolThermoTiffRecordingOpenLimited(path.c_str(), width, height, 10, &recording);
      if (open_code == KOLTHERMO_THERMO_OK) {
        int code = KOLTHERMO_THERMO_OK;
        while ((code = KolThermoTiffRecordingAdd(recording, celsius.data(), nullptr)) ==
               KOLTHERMO_THERMO_OK) {
          ++added;
        }
        EXPECT_EQ(code, KOLTHERMO_THERMO_FILE_ERROR);
        EXPECT_EQ(KolThermoTiffRecordingAdd(recording, celsius.data(), nullptr),
                  KOLTHERMO_THERMO_FILE_ERROR);
        EXPECT_EQ(KolThermoTiffRecordingClose(recording), KOLTHERMO_THERMO_FILE_ERROR);
      }
      // Single files of a frame outgrow the two smaller limits only.
      if (limit < 400000) {
        EXPECT_EQ(KolThermoWriteCelsiusTiff(Path("single.tif").c_str(), celsius.data(), width,
                                            height, nullptr),
                  KOLTHERMO_THERMO_FILE_ERROR);
        EXPECT_EQ(KolThermoWriteCelsiusCsv(Path("single.csv").c_str(), celsius.data(), width,
                                           height, nullptr),
                  KOLTHERMO_THERMO_FILE_ERROR);
      }
    }
    EXPECT_FALSE(fs::exists(Path("single.tif")));
    EXPECT_FALSE(fs::exists(Path("single.csv")));
    if (added == 0) {
      EXPECT_FALSE(fs::exists(path));
      continue;
    }
    const TiffRead read = ReadTiff(path);
    ASSERT_TRUE(read.opened);
    ASSERT_EQ(read.pages, added);
    EXPECT_EQ(read.pixels.back(), Bytes(celsius));
  }
}
#endif

}  // namespace
