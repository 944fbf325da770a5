// The radiometric model and the scenes.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim/frame_generator.h"
#include "sim/radiometric_model.h"

namespace kt::sim {
namespace {

namespace rm = radiometric;

TEST(SimRadiometricModel, CurveStaysInRangeAndIncreases) {
  for (double internal : {0.0, 22.0, 30.0, 45.0, 60.0}) {
    double previous = -1.0;
    for (double t = rm::kMinSceneC; t <= rm::kMaxSceneC; t += 0.5) {
      const double raw = rm::Raw(t, internal);
      EXPECT_GT(raw, 500.0) << t << " at " << internal;
      EXPECT_LT(raw, 15500.0) << t << " at " << internal;
      EXPECT_GT(raw, previous);
      previous = raw;
    }
  }
  // At the reference internal temperature the drift term vanishes.
  EXPECT_DOUBLE_EQ(rm::Raw(37.0, rm::kReferenceInternalC), rm::BaseRaw(37.0));
  // The drift term has the form the library's compensation undoes.
  EXPECT_NEAR(rm::Raw(37.0, 27.0) - rm::BaseRaw(37.0),
              (rm::kDriftSlope * 37.0 + rm::kDriftOffset) * 3.0, 1e-9);
}

TEST(SimRadiometricModel, InverseRecoversTheSceneTemperature) {
  for (double internal : {10.0, 30.0, 41.5}) {
    for (double t : {-40.0, -3.3, 5.0, 22.0, 37.0, 90.0, 249.9}) {
      EXPECT_NEAR(rm::SceneTemperature(rm::Raw(t, internal), internal), t, 1e-9);
      // Rounding to a code costs well under the 0.1 degree a reading may be off.
      EXPECT_NEAR(rm::SceneTemperature(rm::RawCode(t, internal), internal), t, 0.05);
    }
  }
}

double MeanTemperature(const FrameGenerator& scene, const SceneState& state) {
  std::vector<uint16_t> pixels(kFramePixels);
  scene.Render(state, pixels.data());
  const double sum = std::accumulate(pixels.begin(), pixels.end(), 0.0);
  return rm::SceneTemperature(sum / kFramePixels, state.internal_c);
}

TEST(SimScenes, UniformSceneReadsItsTemperatureWithZeroMeanNoise) {
  const auto scene = MakeUniformScene(37.0);
  SceneState state;
  state.internal_c = 33.7;
  std::vector<uint16_t> pixels(kFramePixels);
  for (uint64_t frame = 0; frame < 4; ++frame) {
    state.frame_index = frame;
    EXPECT_NEAR(MeanTemperature(*scene, state), 37.0, 0.02);
  }
  // Noise is present, a few codes, and changes from frame to frame.
  state.frame_index = 1;
  scene->Render(state, pixels.data());
  std::vector<uint16_t> next(kFramePixels);
  state.frame_index = 2;
  scene->Render(state, next.data());
  const auto [low, high] = std::minmax_element(pixels.begin(), pixels.end());
  EXPECT_GE(*high - *low, 8);
  EXPECT_LE(*high - *low, 15);
  EXPECT_NE(pixels, next);
  // Without noise and pattern every pixel reads the same code.
  state.noise = false;
  scene->Render(state, pixels.data());
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), rm::RawCode(37.0, 33.7)), kFramePixels);
}

// A surface that is not a blackbody reads as the blackbody sending the same
// band radiance, eps * L(T) + (1 - eps) * L(reflected), also on a sensor far
// from its reference temperature, where the drift term must follow the
// temperature the sensor sees rather than the surface's.
TEST(SimScenes, UniformSurfaceReadsTheBlackbodyOfTheRadianceItSends) {
  const rm::Surface surfaces[] = {
      {80.0, 0.90, 20.0},   // reads low
      {150.0, 0.50, 40.0},  // far lower
      {20.0, 0.30, 90.0},   // hotter surroundings: reads high
      {60.0, 1.00, -40.0},  // a blackbody reflects nothing
      {45.0, 0.20, 45.0},   // surroundings as warm as the surface: no contrast
  };
  SceneState state;
  state.noise = false;
  state.internal_c = 0.0;
  std::vector<uint16_t> pixels(kFramePixels);
  for (const rm::Surface& surface : surfaces) {
    MakeUniformScene(surface)->Render(state, pixels.data());
    const double seen = rm::SceneTemperature(pixels[kFramePixels / 2], state.internal_c);
    const double sent = surface.emissivity * rm::BandRadiance(surface.celsius) +
                        (1.0 - surface.emissivity) * rm::BandRadiance(surface.reflected_c);
    // Rounding to a code: half a code's worth of radiance.
    EXPECT_NEAR(rm::BandRadiance(seen), sent, 0.5 / rm::CodesPerRadiance())
        << surface.celsius << " " << surface.emissivity << " " << surface.reflected_c;
  }
}

TEST(SimScenes, DefaultSceneHoldsItsObjectsAndThePersonMoves) {
  const auto scene = MakeDefaultScene();
  SceneState state;
  state.internal_c = rm::kReferenceInternalC;
  state.noise = false;
  std::vector<uint16_t> early(kFramePixels);
  std::vector<uint16_t> later(kFramePixels);
  scene->Render(state, early.data());
  auto temperature_at = [&](const std::vector<uint16_t>& pixels, int x, int y) {
    return rm::SceneTemperature(pixels[static_cast<size_t>(y * kFrameWidth + x)], state.internal_c);
  };
  EXPECT_NEAR(temperature_at(early, 300, 200), 90.0, 0.05);  // the mug
  EXPECT_NEAR(temperature_at(early, 50, 50), 5.0, 0.05);     // the cold pack
  EXPECT_NEAR(temperature_at(early, 370, 120), 22.0, 0.8);   // the wall
  EXPECT_NEAR(temperature_at(early, 150, 80), 34.0, 0.05);   // the face at tick 0
  state.tick_ms = 5000;                                      // a quarter walk later
  scene->Render(state, later.data());
  EXPECT_NE(early, later);
  EXPECT_NEAR(temperature_at(later, 220, 80), 34.0, 0.05);
  EXPECT_NEAR(temperature_at(later, 300, 200), 90.0, 0.05);
}

TEST(SimScenes, FixedPatternIsRepeatableAndZeroCentred) {
  const std::vector<int8_t> pattern = MakeFixedPattern(7);
  EXPECT_EQ(pattern, MakeFixedPattern(7));
  EXPECT_NE(pattern, MakeFixedPattern(8));
  ASSERT_EQ(pattern.size(), static_cast<size_t>(kFramePixels));
  const double mean = std::accumulate(pattern.begin(), pattern.end(), 0.0) / kFramePixels;
  EXPECT_NEAR(mean, 0.0, 10.0);
}

}  // namespace
}  // namespace kt::sim
