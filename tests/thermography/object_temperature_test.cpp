// Object correction against an independent reference of the radiance model,
// and the refusals of the C functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo_thermography.h"

namespace {

// Reference band radiance: composite Simpson over 8..14 um in 2000 steps,
// Planck's law in SI units (a different rule and different units from the
// library's).
double ReferenceRadiance(double celsius) {
  constexpr double h = 6.62607015e-34, c = 299792458.0, k = 1.380649e-23;
  constexpr int steps = 2000;
  const double kelvin = celsius + 273.15;
  const double low = 8e-6, width = (14e-6 - 8e-6) / steps;
  double sum = 0.0;
  for (int i = 0; i <= steps; ++i) {
    const double wavelength = low + width * i;
    const double planck = 2.0 * h * c * c / std::pow(wavelength, 5) /
                          (std::exp(h * c / (wavelength * k * kelvin)) - 1.0);
    sum += planck * (i == 0 || i == steps ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0));
  }
  return sum * width / 3.0;
}

// The temperature of a reference radiance, by bisection over -100..500 C.
double ReferenceCelsius(double radiance) {
  double low = -100.0, high = 500.0;
  for (int i = 0; i < 60; ++i) {
    const double mid = (low + high) / 2.0;
    (ReferenceRadiance(mid) < radiance ? low : high) = mid;
  }
  return (low + high) / 2.0;
}

TEST(ObjectTemperature, RecoversTheObjectFromTheReferenceModel) {
  const KolThermoObjectParams cases[] = {
      {0.95f, 25.0f, 1.0f, 20.0f}, {0.6f, 80.0f, 1.0f, 20.0f},  {0.3f, -30.0f, 1.0f, 20.0f},
      {0.9f, 20.0f, 0.7f, 15.0f},  {0.5f, 150.0f, 0.8f, 35.0f}, {1.0f, 20.0f, 0.4f, -20.0f},
  };
  for (const auto& p : cases) {
    const double reflected = ReferenceRadiance(p.reflected_c);
    const double atmosphere = ReferenceRadiance(p.atmosphere_c);
    for (int step = 0; step <= 29; ++step) {
      const double object = -40.0 + 10.0 * step;
      const double seen = p.transmission * (p.emissivity * ReferenceRadiance(object) +
                                            (1.0 - p.emissivity) * reflected) +
                          (1.0 - p.transmission) * atmosphere;
      const auto measured = static_cast<float>(ReferenceCelsius(seen));
      float result = -1.0f;
      ASSERT_EQ(KolThermoObjectTemperature(measured, &p, &result), KOLTHERMO_THERMO_OK)
          << "eps " << p.emissivity << " object " << object;
      EXPECT_NEAR(result, object, 0.01) << "eps " << p.emissivity << " refl " << p.reflected_c
                                        << " tau " << p.transmission << " measured " << measured;
    }
  }
}

TEST(ObjectTemperature, BlackbodyWithoutAtmosphereReturnsTheInput) {
  const KolThermoObjectParams black{1.0f, 70.0f, 1.0f, -10.0f};
  // Over the whole model range, off and on the library's half-degree grid.
  for (int step = 0; step * 0.37 <= 600.0; ++step) {
    const double t = -100.0 + 0.37 * step;
    for (const double celsius : {t, std::round(t)}) {
      const auto measured = static_cast<float>(celsius);
      float result = 0.0f;
      ASSERT_EQ(KolThermoObjectTemperature(measured, &black, &result), KOLTHERMO_THERMO_OK)
          << measured;
      EXPECT_NEAR(result, measured, 0.001) << measured;
    }
  }
}

TEST(ObjectTemperature, RefusalsLeaveTheOutputAlone) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  constexpr float inf = std::numeric_limits<float>::infinity();
  const KolThermoObjectParams good{0.9f, 20.0f, 1.0f, 20.0f};
  struct Case {
    const char* what;
    KolThermoObjectParams params;
    float measured;
    int code;
  };
  const Case cases[] = {
      {"emissivity 0", {0.0f, 20.0f, 1.0f, 20.0f}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"emissivity 1.5", {1.5f, 20.0f, 1.0f, 20.0f}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"emissivity NaN", {nan, 20.0f, 1.0f, 20.0f}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"transmission 0", {0.9f, 20.0f, 0.0f, 20.0f}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"transmission 1.01", {0.9f, 20.0f, 1.01f, 20.0f}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"reflected inf", {0.9f, inf, 1.0f, 20.0f}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"atmosphere NaN", {0.9f, 20.0f, 0.5f, nan}, 30.0f, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"measured NaN", good, nan, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"measured -inf", good, -inf, KOLTHERMO_THERMO_INVALID_ARGUMENT},
      {"measured 600", good, 600.0f, KOLTHERMO_THERMO_OUT_OF_RANGE},
      {"measured -999", good, -999.0f, KOLTHERMO_THERMO_OUT_OF_RANGE},
      {"reflected -150", {0.9f, -150.0f, 1.0f, 20.0f}, 30.0f, KOLTHERMO_THERMO_OUT_OF_RANGE},
      // Reflection brighter than all that was seen: no object radiance left.
      {"negative object radiance",
       {0.1f, 200.0f, 1.0f, 20.0f},
       -40.0f,
       KOLTHERMO_THERMO_OUT_OF_RANGE},
      // A dim reflection and a hot reading: an object beyond 500 C.
      {"object beyond the range",
       {0.1f, -50.0f, 1.0f, 20.0f},
       250.0f,
       KOLTHERMO_THERMO_OUT_OF_RANGE},
  };
  for (const auto& c : cases) {
    float result = 12.5f;
    EXPECT_EQ(KolThermoObjectTemperature(c.measured, &c.params, &result), c.code) << c.what;
    EXPECT_EQ(result, 12.5f) << c.what;
  }
  float result = 12.5f;
  EXPECT_EQ(KolThermoObjectTemperature(30.0f, nullptr, &result), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(result, 12.5f);
  EXPECT_EQ(KolThermoObjectTemperature(30.0f, &good, nullptr), KOLTHERMO_THERMO_INVALID_ARGUMENT);
}

TEST(ObjectTemperatures, FramePassesNoTemperatureAndMarksFailedPixels) {
  const KolThermoObjectParams params{0.8f, 30.0f, 0.9f, 20.0f};
  std::vector<float> frame = {-999.0f, 36.5f, std::numeric_limits<float>::quiet_NaN(), 600.0f,
                              -12.0f};
  float expected_36 = 0.0f, expected_minus_12 = 0.0f;
  ASSERT_EQ(KolThermoObjectTemperature(36.5f, &params, &expected_36), KOLTHERMO_THERMO_OK);
  ASSERT_EQ(KolThermoObjectTemperature(-12.0f, &params, &expected_minus_12), KOLTHERMO_THERMO_OK);

  // In place, as the header allows.
  int failed = -1;
  EXPECT_EQ(KolThermoObjectTemperatures(frame.data(), frame.data(), 5, &params, &failed),
            KOLTHERMO_THERMO_OUT_OF_RANGE);
  EXPECT_EQ(failed, 2);
  EXPECT_EQ(frame, (std::vector<float>{-999.0f, expected_36, -999.0f, -999.0f, expected_minus_12}));

  float clean[] = {-999.0f, 36.5f};
  EXPECT_EQ(KolThermoObjectTemperatures(clean, clean, 2, &params, nullptr), KOLTHERMO_THERMO_OK);
  EXPECT_EQ(clean[1], expected_36);
}

// A frame goes through an interpolation table: over a dense sweep of measured
// temperatures it must agree with the exact single-value path to well under
// 0.01 C, and fail exactly where that path fails (cold and hot ends of what
// a low emissivity can correct included).
TEST(ObjectTemperatures, FrameAgreesWithTheExactPathOverADenseSweep) {
  const KolThermoObjectParams cases[] = {
      {0.95f, 25.0f, 1.0f, 20.0f}, {0.1f, 20.0f, 1.0f, 20.0f},  {0.1f, 250.0f, 1.0f, 20.0f},
      {0.3f, -30.0f, 1.0f, 20.0f}, {0.5f, 150.0f, 0.8f, 35.0f}, {1.0f, 20.0f, 0.4f, -20.0f},
      {0.05f, 20.0f, 1.0f, 20.0f},
  };
  std::vector<float> sweep;
  for (int i = 0; - 40.0 + 0.0137 * i <= 250.0; ++i) {
    sweep.push_back(static_cast<float>(-40.0 + 0.0137 * i));
  }
  for (const auto& p : cases) {
    std::vector<float> frame(sweep.size());
    int failed = -1;
    KolThermoObjectTemperatures(sweep.data(), frame.data(), static_cast<int>(sweep.size()), &p,
                                &failed);
    int exact_failed = 0;
    double worst = 0.0;
    for (std::size_t i = 0; i < sweep.size(); ++i) {
      float exact = -999.0f;
      if (KolThermoObjectTemperature(sweep[i], &p, &exact) != KOLTHERMO_THERMO_OK) {
        ++exact_failed;
        ASSERT_EQ(frame[i], -999.0f) << "eps " << p.emissivity << " measured " << sweep[i];
        continue;
      }
      ASSERT_NE(frame[i], -999.0f) << "eps " << p.emissivity << " measured " << sweep[i];
      worst = std::max(worst, std::fabs(static_cast<double>(frame[i]) - exact));
    }
    EXPECT_EQ(failed, exact_failed) << "eps " << p.emissivity;
    EXPECT_LT(worst, 0.002) << "eps " << p.emissivity << " refl " << p.reflected_c;
  }
}

// Threads correcting frames with more parameter sets than the library keeps
// tables for, so tables are built, shared and evicted while in use.
TEST(ObjectTemperatures, ThreadsShareAndEvictTables) {
  std::vector<float> frame(4096);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = 10.0f + 0.01f * static_cast<float>(i);
  std::vector<KolThermoObjectParams> params;
  params.reserve(12);
  for (int k = 0; k < 12; ++k) params.push_back({0.5f + 0.04f * k, 20.0f, 1.0f, 20.0f});
  std::vector<std::vector<float>> expected(params.size(), std::vector<float>(frame.size()));
  for (std::size_t k = 0; k < params.size(); ++k) {
    KolThermoObjectTemperatures(frame.data(), expected[k].data(), static_cast<int>(frame.size()),
                                &params[k], nullptr);
  }
  std::vector<std::thread> threads;
  threads.reserve(4);
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<float> out(frame.size());
      for (int round = 0; round < 6; ++round) {
        const std::size_t k = static_cast<std::size_t>(t * 5 + round * 7) % params.size();
        KolThermoObjectTemperatures(frame.data(), out.data(), static_cast<int>(frame.size()),
                                    &params[k], nullptr);
        if (out != expected[k]) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(ObjectTemperatures, RefusedFramesAreNotWritten) {
  const KolThermoObjectParams good{0.8f, 30.0f, 0.9f, 20.0f};
  const KolThermoObjectParams bad{1.5f, 30.0f, 0.9f, 20.0f};
  const float in[] = {30.0f, 40.0f};
  float out[] = {1.0f, 2.0f};
  int failed = -1;
  EXPECT_EQ(KolThermoObjectTemperatures(in, out, 2, &bad, &failed),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoObjectTemperatures(in, out, -1, &good, &failed),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoObjectTemperatures(in, out, 2, nullptr, &failed),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoObjectTemperatures(nullptr, out, 2, &good, &failed),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoObjectTemperatures(in, nullptr, 2, &good, &failed),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 2.0f);
  EXPECT_EQ(failed, -1);
}

}  // namespace
