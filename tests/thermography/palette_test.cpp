// Palettes, false colour and the colour scale, through the exported C
// functions; the rainbow palette against the core library's own.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "imaging/palette.h"
#include "kolthermo/kolthermo_palette.h"

namespace {

using Colour = std::array<unsigned char, 3>;
constexpr float kNone = KOLTHERMO_THERMO_NO_TEMPERATURE;
// The scale's font: the library's default on Linux; under wine, Debian's
// DejaVu Sans through the drive that maps the Linux root.
#ifdef _WIN32
const char* const kFont = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
#else
const char* const kFont = nullptr;
#endif

std::vector<Colour> PaletteOf(int palette) {
  std::vector<Colour> colours(256);
  EXPECT_EQ(KolThermoPaletteColors(palette, colours[0].data()), KOLTHERMO_THERMO_OK);
  return colours;
}

Colour PixelAt(const std::vector<unsigned char>& rgb, size_t i, size_t row_pixels = 0,
               size_t y = 0) {
  const size_t p = 3 * (y * row_pixels + i);
  return {rgb[p], rgb[p + 1], rgb[p + 2]};
}

double Luma(const Colour& c) { return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]; }

KolThermoColorOptions Options(int palette, int range, float low = 0, float high = 0) {
  KolThermoColorOptions o{};
  o.palette = palette;
  o.range = range;
  o.low_c = low;
  o.high_c = high;
  return o;
}

// A frame with a ramp from `low` to `high` and some pixels without a temperature.
std::vector<float> Ramp(float low, float high, int count) {
  std::vector<float> frame(count);
  for (int i = 0; i < count; ++i) frame[i] = low + (high - low) * i / (count - 1);
  frame[count / 3] = kNone;
  return frame;
}

TEST(Palette, NamesRoundTripAndUnknownsAreRefused) {
  for (int p = 0; p < KOLTHERMO_PALETTE_COUNT; ++p) {
    ASSERT_NE(KolThermoPaletteName(p), nullptr);
    EXPECT_EQ(KolThermoPaletteFromName(KolThermoPaletteName(p)), p);
  }
  EXPECT_EQ(KolThermoPaletteName(KOLTHERMO_PALETTE_COUNT), nullptr);
  EXPECT_EQ(KolThermoPaletteName(-1), nullptr);
  EXPECT_EQ(KolThermoPaletteFromName("Iron"), -1);
  EXPECT_EQ(KolThermoPaletteFromName(nullptr), -1);
  unsigned char rgb[768];
  EXPECT_EQ(KolThermoPaletteColors(KOLTHERMO_PALETTE_COUNT, rgb),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoPaletteColors(0, nullptr), KOLTHERMO_THERMO_INVALID_ARGUMENT);
}

// Every palette but rainbow reads darker to lighter from cold to hot
// (black-hot the other way round); one step of rounding is allowed.
TEST(Palette, LightnessFollowsTemperature) {
  for (int p : {KOLTHERMO_PALETTE_IRON, KOLTHERMO_PALETTE_WHITE_HOT, KOLTHERMO_PALETTE_BLACK_HOT,
                KOLTHERMO_PALETTE_ARCTIC, KOLTHERMO_PALETTE_LAVA}) {
    const auto colours = PaletteOf(p);
    const double sign = p == KOLTHERMO_PALETTE_BLACK_HOT ? -1.0 : 1.0;
    for (int i = 1; i < 256; ++i) {
      EXPECT_GE(sign * (Luma(colours[i]) - Luma(colours[i - 1])), -1.0)
          << KolThermoPaletteName(p) << " at " << i;
    }
    EXPECT_GT(sign * (Luma(colours[255]) - Luma(colours[0])), 200.0) << KolThermoPaletteName(p);
  }
}

// Rainbow samples the core's 360 colours evenly, in order, from its first
// to its last.
TEST(Palette, RainbowIsTheCoreColourMap) {
  uint32_t core[kt::kPaletteSize];
  kt::BuildPalette(core);
  const auto rainbow = PaletteOf(KOLTHERMO_PALETTE_RAINBOW);
  int previous = -1;
  for (int i = 0; i < 256; ++i) {
    int found = -1;
    for (int k = std::max(previous, 0); k < kt::kPaletteSize && found < 0; ++k) {
      const uint32_t e = core[k];
      if (Colour{uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16)} == rainbow[i]) found = k;
    }
    ASSERT_GE(found, 0) << "rainbow colour " << i << " is not the core's after " << previous;
    if (i == 0) {
      EXPECT_EQ(found, 0);
    } else {
      EXPECT_LE(found - previous, 2) << "at " << i;
    }
    previous = found;
  }
  EXPECT_EQ(previous, kt::kPaletteSize - 1);
}

TEST(Colorize, RangeEndsMapToPaletteEnds) {
  struct Case {
    int range;
    float low, high;  // manual range
    float frame_low, frame_high;
    float want_low, want_high;
  };
  const Case cases[] = {
      {KOLTHERMO_RANGE_AUTO, 0, 0, 21.3f, 36.9f, 21.3f, 36.9f},
      {KOLTHERMO_RANGE_AUTO, 0, 0, -40.0f, 250.0f, -40.0f, 250.0f},
      {KOLTHERMO_RANGE_HISTOGRAM, 0, 0, 21.3f, 36.9f, 21.3f, 36.9f},
      {KOLTHERMO_RANGE_HISTOGRAM, 0, 0, 19.99f, 20.01f, 19.99f, 20.01f},
      // Beyond the manual range the colours are clamped to the ends.
      {KOLTHERMO_RANGE_MANUAL, 25.0f, 30.0f, 10.0f, 40.0f, 25.0f, 30.0f},
      {KOLTHERMO_RANGE_MANUAL, 25.0f, 30.0f, 25.0f, 30.0f, 25.0f, 30.0f},
  };
  constexpr int kWidth = 97, kHeight = 13;
  for (int p = 0; p < KOLTHERMO_PALETTE_COUNT; ++p) {
    const auto colours = PaletteOf(p);
    for (const Case& c : cases) {
      const auto frame = Ramp(c.frame_low, c.frame_high, kWidth * kHeight);
      const auto options = Options(p, c.range, c.low, c.high);
      std::vector<unsigned char> rgb(frame.size() * 3);
      float used_low = 0, used_high = 0;
      ASSERT_EQ(KolThermoColorize(frame.data(), kWidth, kHeight, &options, rgb.data(), &used_low,
                                  &used_high),
                KOLTHERMO_THERMO_OK);
      const std::string what = std::string(KolThermoPaletteName(p)) + " range " +
                               std::to_string(c.range) + " frame " + std::to_string(c.frame_low);
      EXPECT_EQ(used_low, c.want_low) << what;
      EXPECT_EQ(used_high, c.want_high) << what;
      EXPECT_EQ(PixelAt(rgb, 0), colours[0]) << what;
      EXPECT_EQ(PixelAt(rgb, frame.size() - 1), colours[255]) << what;
      EXPECT_EQ(PixelAt(rgb, frame.size() / 3), (Colour{0, 0, 0})) << what;
    }
  }
}

// 90 % of the pixels within one degree, the rest spread over eighty: the
// linear range gives the crowd a handful of shades, equalisation most of them.
TEST(Colorize, HistogramEqualisationSpreadsASkewedFrame) {
  constexpr int kCount = 10000, kCrowd = 9000;
  std::vector<float> frame(kCount);
  for (int i = 0; i < kCount; ++i) {
    frame[i] =
        i < kCrowd ? 20.0f + i / float(kCrowd) : 21.0f + 80.0f * (i - kCrowd) / (kCount - kCrowd);
  }
  auto shades = [&](int range) {
    const auto options = Options(KOLTHERMO_PALETTE_WHITE_HOT, range);
    std::vector<unsigned char> rgb(kCount * 3);
    EXPECT_EQ(KolThermoColorize(frame.data(), kCount, 1, &options, rgb.data(), nullptr, nullptr),
              KOLTHERMO_THERMO_OK);
    std::set<int> levels;
    for (int i = 1; i < kCount; ++i) EXPECT_GE(rgb[3 * i], rgb[3 * (i - 1)]) << "order at " << i;
    for (int i = 0; i < kCrowd; ++i) levels.insert(rgb[3 * i]);
    return levels.size();
  };
  EXPECT_LE(shades(KOLTHERMO_RANGE_AUTO), 5u);
  EXPECT_GE(shades(KOLTHERMO_RANGE_HISTOGRAM), 200u);
}

TEST(Colorize, IsothermModesMarkTheirPixels) {
  const std::vector<float> frame = {10, 20, 30, 40, kNone};
  struct Case {
    int mode;
    float low, high;
    std::array<bool, 5> marked;
  };
  const Case cases[] = {
      {KOLTHERMO_ISOTHERM_OFF, 0, 100, {false, false, false, false, false}},
      {KOLTHERMO_ISOTHERM_ABOVE, 30, NAN, {false, false, true, true, false}},
      {KOLTHERMO_ISOTHERM_BELOW, NAN, 20, {true, true, false, false, false}},
      {KOLTHERMO_ISOTHERM_BETWEEN, 15, 30, {false, true, true, false, false}},
  };
  for (const Case& c : cases) {
    auto options = Options(KOLTHERMO_PALETTE_WHITE_HOT, KOLTHERMO_RANGE_AUTO);
    options.isotherm = c.mode;
    options.iso_low_c = c.low;
    options.iso_high_c = c.high;
    options.iso_rgb[1] = 255;  // green: in no grey palette
    std::vector<unsigned char> rgb(frame.size() * 3);
    ASSERT_EQ(KolThermoColorize(frame.data(), 5, 1, &options, rgb.data(), nullptr, nullptr),
              KOLTHERMO_THERMO_OK);
    for (size_t i = 0; i < frame.size(); ++i) {
      EXPECT_EQ(PixelAt(rgb, i) == (Colour{0, 255, 0}), c.marked[i]) << c.mode << " pixel " << i;
    }
    EXPECT_EQ(PixelAt(rgb, 4), (Colour{0, 0, 0})) << "no temperature stays black";
  }
}

TEST(Colorize, FramesWithoutContrastOrTemperatures) {
  const auto colours = PaletteOf(KOLTHERMO_PALETTE_IRON);
  const auto options = Options(KOLTHERMO_PALETTE_IRON, KOLTHERMO_RANGE_HISTOGRAM);
  std::vector<unsigned char> rgb(4 * 3, 0xAB);
  float low = 0, high = 0;
  const std::vector<float> flat = {22.5f, NAN, 22.5f, INFINITY};
  ASSERT_EQ(KolThermoColorize(flat.data(), 4, 1, &options, rgb.data(), &low, &high),
            KOLTHERMO_THERMO_OK);
  EXPECT_EQ(low, 22.5f);
  EXPECT_EQ(high, 22.5f);
  EXPECT_EQ(PixelAt(rgb, 0), colours[127]);
  EXPECT_EQ(PixelAt(rgb, 1), (Colour{0, 0, 0})) << "NaN is no temperature";
  EXPECT_EQ(PixelAt(rgb, 3), (Colour{0, 0, 0})) << "infinity is no temperature";

  const std::vector<float> none = {kNone, kNone, NAN, kNone};
  EXPECT_EQ(KolThermoColorize(none.data(), 2, 2, &options, rgb.data(), &low, &high),
            KOLTHERMO_THERMO_EMPTY_REGION);
  EXPECT_EQ(rgb, std::vector<unsigned char>(12, 0));
}

TEST(Colorize, RefusesBadArgumentsWithoutWriting) {
  const std::vector<float> frame = {1, 2, 3, 4};
  auto bad = [](auto change) {
    auto o = Options(KOLTHERMO_PALETTE_IRON, KOLTHERMO_RANGE_MANUAL, 0, 10);
    change(o);
    return o;
  };
  const KolThermoColorOptions refused[] = {
      bad([](auto& o) { o.palette = KOLTHERMO_PALETTE_COUNT; }),
      bad([](auto& o) { o.range = 3; }),
      bad([](auto& o) { o.high_c = o.low_c; }),
      bad([](auto& o) { o.low_c = NAN; }),
      bad([](auto& o) { o.isotherm = 4; }),
      bad([](auto& o) { o.isotherm = KOLTHERMO_ISOTHERM_ABOVE, o.iso_low_c = NAN; }),
      bad([](auto& o) {
        o.isotherm = KOLTHERMO_ISOTHERM_BETWEEN, o.iso_low_c = 5, o.iso_high_c = 4;
      }),
  };
  std::vector<unsigned char> rgb(12, 0xAB);
  for (const auto& o : refused) {
    EXPECT_EQ(KolThermoColorize(frame.data(), 2, 2, &o, rgb.data(), nullptr, nullptr),
              KOLTHERMO_THERMO_INVALID_ARGUMENT);
  }
  const auto good = bad([](auto&) {});
  EXPECT_EQ(KolThermoColorize(nullptr, 2, 2, &good, rgb.data(), nullptr, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoColorize(frame.data(), 2, 2, nullptr, rgb.data(), nullptr, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoColorize(frame.data(), 2, 2, &good, nullptr, nullptr, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoColorize(frame.data(), 0, 2, &good, rgb.data(), nullptr, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoColorize(frame.data(), 1 << 16, 1 << 16, &good, rgb.data(), nullptr, nullptr),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(rgb, std::vector<unsigned char>(12, 0xAB));
}

// The labels are the range's ends with evenly spaced round values between.
TEST(ScaleLabels, AreTheRangeEndsAndRoundValuesBetween) {
  struct Case {
    float low, high;
    int capacity;
  };
  const Case cases[] = {{20.0f, 30.0f, 8},    {23.47f, 38.91f, 8},
                        {-12.3f, 104.6f, 8},  {0.0f, 0.37f, 8},
                        {-40.0f, 250.0f, 3},  {21.1f, 21.2f, 2},
                        {1000.0f, 2.5e5f, 6}, {36.9f, 37.0f, 8},
                        {-3e38f, 3e38f, 8},   {1.0f, std::nextafter(1.0f, 2.0f), 8}};
  for (const Case& c : cases) {
    std::vector<float> values(c.capacity, NAN);
    int count = -1;
    ASSERT_EQ(KolThermoScaleLabels(c.low, c.high, values.data(), c.capacity, &count),
              KOLTHERMO_THERMO_OK);
    ASSERT_GE(count, 2);
    ASSERT_LE(count, c.capacity);
    EXPECT_EQ(values[0], c.low);
    EXPECT_EQ(values[count - 1], c.high);
    for (int i = 1; i < count; ++i) EXPECT_LT(values[i - 1], values[i]) << "at " << i;
    if (count < 4) continue;
    // The labels are floats: the step is read to three digits.
    const double raw_step = double(values[2]) - values[1];
    const double decade = std::pow(10.0, std::floor(std::log10(raw_step) + 1e-6));
    const double mantissa = std::round(raw_step / decade * 100) / 100;
    EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 5) << "step " << raw_step;
    const double step = mantissa * decade;
    for (int i = 1; i + 1 < count; ++i) {
      EXPECT_NEAR(values[i] / step, std::round(values[i] / step), 1e-3) << "label " << values[i];
      if (i > 1) {
        EXPECT_NEAR(double(values[i]) - values[i - 1], step, step * 1e-3);
      }
    }
  }
  float values[4];
  int count = 0;
  EXPECT_EQ(KolThermoScaleLabels(5, 5, values, 4, &count), KOLTHERMO_THERMO_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(KolThermoScaleLabels(5, 6, values, 1, &count), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoScaleLabels(6, 5, values, 4, &count), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoScaleLabels(NAN, 5, values, 4, &count), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoScaleLabels(1, 5, nullptr, 4, &count), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoScaleLabels(1, 5, values, 4, nullptr), KOLTHERMO_THERMO_INVALID_ARGUMENT);
}

// The first and last rows of the longest run down a column that walks the
// palette from its hot end to its cold end, or {-1, -1}.
struct Bar {
  int column = -1, top = -1, bottom = -1;
};
Bar FindGradient(const std::vector<unsigned char>& out, int total_width, int height,
                 int first_column, const std::vector<Colour>& colours) {
  Bar best;
  for (int x = first_column; x < total_width; ++x) {
    for (int y = 0; y < height; ++y) {
      if (PixelAt(out, x, total_width, y) != colours[255]) continue;
      int index = 255, end = y;
      for (int r = y + 1; r < height && index > 0; ++r) {
        const Colour c = PixelAt(out, x, total_width, r);
        int next = index;
        while (next >= 0 && colours[next] != c) --next;
        if (next < 0) break;
        index = next;
        end = r;
      }
      if (index == 0 && (best.column < 0 || end - y > best.bottom - best.top)) best = {x, y, end};
    }
  }
  return best;
}

bool HasInkNear(const std::vector<unsigned char>& out, int total_width, int from_x, int row,
                int reach) {
  for (int y = std::max(0, row - reach); y <= row + reach && y * total_width * 3 < int(out.size());
       ++y) {
    for (int x = from_x; x < total_width; ++x) {
      const Colour c = PixelAt(out, x, total_width, y);
      if (c[0] > 200 && c[1] > 200 && c[2] > 200) return true;
    }
  }
  return false;
}

TEST(ScaleBar, DrawsThePictureTheGradientAndTheLabels) {
  constexpr int kWidth = 40, kHeight = 288;
  const int bar_width = KolThermoScaleBarWidth(kHeight);
  ASSERT_GT(bar_width, 0);
  const int total = kWidth + bar_width;
  std::vector<unsigned char> picture(kWidth * kHeight * 3);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<unsigned char>(i * 7);
  for (int p = 0; p < KOLTHERMO_PALETTE_COUNT; ++p) {
    const auto colours = PaletteOf(p);
    std::vector<unsigned char> out(size_t(total) * kHeight * 3);
    ASSERT_EQ(KolThermoDrawWithScaleBar(picture.data(), kWidth, kHeight, p, 21.4f, 37.8f, kFont,
                                        out.data()),
              KOLTHERMO_THERMO_OK);
    for (int y = 0; y < kHeight; y += 31) {
      ASSERT_TRUE(std::equal(picture.begin() + y * kWidth * 3,
                             picture.begin() + (y + 1) * kWidth * 3,
                             out.begin() + size_t(y) * total * 3))
          << "row " << y;
    }
    const Bar bar = FindGradient(out, total, kHeight, kWidth, colours);
    ASSERT_GE(bar.column, 0) << KolThermoPaletteName(p);
    EXPECT_GT(bar.bottom - bar.top, kHeight * 3 / 4) << KolThermoPaletteName(p);
    // Text right of the bar beside both ends and beside a round value between.
    const int reach = kHeight / 40;
    const auto row_of = [&](float t) {
      return bar.top + int(std::lround((37.8 - t) / (37.8 - 21.4) * (bar.bottom - bar.top)));
    };
    for (const float t : {21.4f, 30.0f, 37.8f}) {
      EXPECT_TRUE(HasInkNear(out, total, bar.column + 2, row_of(t), reach))
          << KolThermoPaletteName(p) << " label " << t;
    }
  }
}

TEST(ScaleBar, RefusesMissingFontsAndBadSizes) {
  constexpr int kWidth = 8, kHeight = 64;
  const std::vector<unsigned char> picture(kWidth * kHeight * 3, 100);
  std::vector<unsigned char> out(size_t(kWidth + KolThermoScaleBarWidth(kHeight)) * kHeight * 3, 7);
  EXPECT_EQ(KolThermoDrawWithScaleBar(picture.data(), kWidth, kHeight, 0, 20, 30,
                                      "/nonexistent/NoSuchFont.ttf", out.data()),
            KOLTHERMO_THERMO_FONT_UNAVAILABLE);
  EXPECT_EQ(out, std::vector<unsigned char>(out.size(), 7)) << "nothing drawn without a font";
  EXPECT_EQ(KolThermoScaleBarWidth(0), 0);
  EXPECT_EQ(KolThermoScaleBarWidth(-5), 0);
  const int refused[][3] = {{kWidth, 8, 0}, {0, kHeight, 0}, {kWidth, kHeight, 99}};
  for (const auto& r : refused) {
    EXPECT_EQ(
        KolThermoDrawWithScaleBar(picture.data(), r[0], r[1], r[2], 20, 30, nullptr, out.data()),
        KOLTHERMO_THERMO_INVALID_ARGUMENT);
  }
  EXPECT_EQ(
      KolThermoDrawWithScaleBar(picture.data(), kWidth, kHeight, 0, 30, 20, nullptr, out.data()),
      KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoDrawWithScaleBar(nullptr, kWidth, kHeight, 0, 20, 30, nullptr, out.data()),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
}

}  // namespace
