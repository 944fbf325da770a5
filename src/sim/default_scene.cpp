// The default scene: an office wall at about 22 degrees (a little warmer near
// the ceiling), a cold pack and a heated panel with a painted patch and a
// polished plate on the wall, a desk with a hot mug, and a person walking
// slowly to and fro in front of it all.
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <tuple>
#include <vector>

#include "sim/frame_generator.h"
#include "sim/pixel_finisher.h"
#include "sim/radiometric_model.h"

namespace kt::sim {
namespace {

constexpr double kWallTopC = 22.6;
constexpr double kWallBottomC = 21.6;
constexpr double kDeskC = 21.0;
constexpr double kColdPackC = 5.0;
constexpr double kMugC = 90.0;
constexpr double kMugHandleC = 70.0;
constexpr double kSkinC = 34.0;
constexpr double kClothesC = 30.0;

constexpr int kDeskTop = 226;
// The person's walk: centre column kWalkCentre +/- kWalkAmplitude, one round
// trip every kWalkPeriodMs of clock time.
constexpr double kWalkCentre = 150.0;
constexpr double kWalkAmplitude = 70.0;
constexpr double kWalkPeriodMs = 20000.0;
constexpr int kHeadCentreY = 80;
constexpr int kHeadRadiusX = 19;
constexpr int kHeadRadiusY = 25;
constexpr int kShoulderY = 112;
constexpr int kBodyHalfWidth = 40;
constexpr int kArmHalfWidth = 8;

constexpr SceneRect kColdPack{24, 28, 84, 76};
constexpr SceneRect kMug{280, 168, 318, kDeskTop};
constexpr SceneRect kMugHandle{318, 180, 330, 212};

radiometric::Surface Blackbody(double celsius) { return {celsius, 1.0, celsius}; }

radiometric::Surface StaticSurface(int x, int y) {
  if (kMug.Contains(x, y)) return Blackbody(kMugC);
  if (kMugHandle.Contains(x, y) && !SceneRect{320, 186, 326, 206}.Contains(x, y)) {
    return Blackbody(kMugHandleC);
  }
  if (y >= kDeskTop) return Blackbody(kDeskC);
  if (kColdPack.Contains(x, y)) return Blackbody(kColdPackC);
  if (kPaintedPatchRect.Contains(x, y)) {
    return {kHeatedPanelC, kPaintedPatchEmissivity, kRoomC};
  }
  if (kPolishedPlateRect.Contains(x, y)) {
    return {kHeatedPanelC, kPolishedPlateEmissivity, kRoomC};
  }
  const double fraction = static_cast<double>(y) / kDeskTop;
  return Blackbody(kWallTopC + (kWallBottomC - kWallTopC) * fraction);
}

// The still part of the scene, per pixel: the apparent temperature (for the
// drift term) and the base raw response. The same for every default scene,
// so it is computed once per process, each distinct surface's radiance once.
struct StillPart {
  std::vector<float> temperature;
  std::vector<float> base;
};

const StillPart& Still() {
  static const StillPart still = [] {
    StillPart part{std::vector<float>(kFramePixels), std::vector<float>(kFramePixels)};
    std::map<std::tuple<double, double, double>, radiometric::SurfaceResponse> responses;
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        const radiometric::Surface surface = StaticSurface(x, y);
        const auto key = std::make_tuple(surface.celsius, surface.emissivity, surface.reflected_c);
        auto found = responses.find(key);
        if (found == responses.end()) {
          found = responses.emplace(key, radiometric::ResponseOf(surface)).first;
        }
        const size_t p = static_cast<size_t>(y) * kFrameWidth + static_cast<size_t>(x);
        part.temperature[p] = static_cast<float>(found->second.apparent_c);
        part.base[p] = static_cast<float>(found->second.base);
      }
    }
    return part;
  }();
  return still;
}

class DefaultScene final : public FrameGenerator {
 public:
  DefaultScene()
      : still_(Still()),
        skin_(radiometric::ResponseOf(Blackbody(kSkinC))),
        clothes_(radiometric::ResponseOf(Blackbody(kClothesC))) {}

  void Render(const SceneState& state, uint16_t* pixels) const override {
    const float slope = static_cast<float>(radiometric::DriftSlopeAt(state.internal_c));
    const float offset = static_cast<float>(radiometric::DriftOffsetAt(state.internal_c));
    const float skin = static_cast<float>(skin_.RawAt(state.internal_c));
    const float clothes = static_cast<float>(clothes_.RawAt(state.internal_c));
    const double phase = 2.0 * std::numbers::pi * state.tick_ms / kWalkPeriodMs;
    const int centre =
        static_cast<int>(std::lround(kWalkCentre + kWalkAmplitude * std::sin(phase)));

    PixelFinisher finisher(state);
    std::array<float, kFrameWidth> row;
    for (int y = 0; y < kFrameHeight; ++y) {
      const float* base = still_.base.data() + y * kFrameWidth;
      const float* temperature = still_.temperature.data() + y * kFrameWidth;
      for (int x = 0; x < kFrameWidth; ++x) row[x] = base[x] + slope * temperature[x] + offset;
      DrawPerson(y, centre, skin, clothes, row.data());
      finisher.FinishRow(y, row.data(), pixels + y * kFrameWidth);
    }
  }

 private:
  static void Fill(float* row, int left, int right, float value) {
    if (left < 0) left = 0;
    if (right > kFrameWidth) right = kFrameWidth;
    for (int x = left; x < right; ++x) row[x] = value;
  }

  // One row of the person: a head (ellipse) and neck in skin, a body in
  // clothes with bare forearms at its sides, standing behind the desk.
  static void DrawPerson(int y, int centre, float skin, float clothes, float* row) {
    if (y >= kDeskTop) return;
    const int dy = y - kHeadCentreY;
    if (dy >= -kHeadRadiusY && dy <= kHeadRadiusY) {
      const double ratio = static_cast<double>(dy) / kHeadRadiusY;
      const int half = static_cast<int>(kHeadRadiusX * std::sqrt(1.0 - ratio * ratio));
      Fill(row, centre - half, centre + half + 1, skin);
    } else if (y > kHeadCentreY + kHeadRadiusY && y < kShoulderY) {
      Fill(row, centre - 8, centre + 9, skin);  // neck
    }
    if (y >= kShoulderY) {
      // Rounded shoulders over the first rows of the body.
      const int rise = y - kShoulderY;
      const int half = rise < 12 ? kBodyHalfWidth - (12 - rise) * 2 : kBodyHalfWidth;
      Fill(row, centre - half, centre + half + 1, clothes);
      if (y >= kShoulderY + 60) {
        Fill(row, centre - kBodyHalfWidth - kArmHalfWidth * 2, centre - kBodyHalfWidth, skin);
        Fill(row, centre + kBodyHalfWidth + 1, centre + kBodyHalfWidth + 1 + kArmHalfWidth * 2,
             skin);
      }
    }
  }

  // Immutable after construction (the still part for the whole process).
  const StillPart& still_;
  const radiometric::SurfaceResponse skin_;
  const radiometric::SurfaceResponse clothes_;
};

}  // namespace

std::shared_ptr<FrameGenerator> MakeDefaultScene() { return std::make_shared<DefaultScene>(); }

}  // namespace kt::sim
