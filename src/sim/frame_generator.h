// What the simulated sensor sees. A frame generator renders one full sensor
// frame (384 x 288 raw codes, top row first) from the scene state of the
// moment; the camera crops the delivered window out of it. Render is const and
// keeps no state between calls, so threads may render from one generator at
// once (the stream and the grab reader do).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/radiometric_model.h"

namespace kt::sim {

inline constexpr int kFrameWidth = 384;
inline constexpr int kFrameHeight = 288;
inline constexpr int kFramePixels = kFrameWidth * kFrameHeight;

// The sensor's fixed-pattern offset: one value per pixel in -127..127 (column
// stripes plus pixel-to-pixel scatter), scaled per frame by a gain in raw codes
// per 127. The pattern belongs to the camera; its gain follows the NUC state.
std::vector<int8_t> MakeFixedPattern(uint64_t seed);

struct SceneState {
  uint32_t tick_ms = 0;                   // clock tick of the frame (drives motion)
  uint64_t frame_index = 0;               // seeds the frame's temporal noise
  double internal_c = 30.0;               // sensor temperature, for the drift term
  const int8_t* fixed_pattern = nullptr;  // kFramePixels values, or none
  float fixed_pattern_gain = 0.0f;        // raw codes per 127 of pattern
  bool noise = true;                      // temporal noise on or off
};

class FrameGenerator {
 public:
  virtual ~FrameGenerator() = default;
  // Fills `pixels` (kFramePixels raw codes, 0..16383, top row first).
  virtual void Render(const SceneState& state, uint16_t* pixels) const = 0;
};

// A rectangle of the full sensor frame: columns left..right-1, rows
// top..bottom-1, top row first.
struct SceneRect {
  int left, top, right, bottom;
  constexpr bool Contains(int x, int y) const {
    return x >= left && x < right && y >= top && y < bottom;
  }
};

// The default scene: a room (about 22 degrees) with a person (34 degrees skin)
// walking slowly to and fro, a hot mug (90 degrees) on a desk and a cold pack
// (5 degrees) on the wall. Every surface is a blackbody except two on a panel
// heated to kHeatedPanelC, up on the wall to the right where the person never
// walks: a painted patch (emissivity 0.95) and a polished metal plate
// (emissivity 0.10), both reflecting the room at kRoomC. Uncorrected, the
// patch reads a little low and the plate near the room: the emissivity trap.
inline constexpr double kRoomC = 22.0;
inline constexpr double kHeatedPanelC = 60.0;
inline constexpr double kPaintedPatchEmissivity = 0.95;
inline constexpr double kPolishedPlateEmissivity = 0.10;
inline constexpr SceneRect kPaintedPatchRect{288, 14, 328, 54};
inline constexpr SceneRect kPolishedPlateRect{336, 14, 376, 54};
std::shared_ptr<FrameGenerator> MakeDefaultScene();

// Every pixel sees the same surface: a blackbody at `celsius` filling the
// view, or a surface of any emissivity reflecting surroundings at
// `reflected_c`. Temperatures within radiometric::kMinSceneC..kMaxSceneC.
std::shared_ptr<FrameGenerator> MakeUniformScene(double celsius);
std::shared_ptr<FrameGenerator> MakeUniformScene(const radiometric::Surface& surface);

// Pixel p of the frame (top row first, left to right) reads raw code
// p mod 16384, so every code 0..16383 appears; the same in every frame.
std::shared_ptr<FrameGenerator> MakeAllCodesScene();

}  // namespace kt::sim
