// The default scene: an office wall at about 22 degrees (a little warmer near
// the ceiling), a cold pack on the wall, a desk with a hot mug, and a person
// walking slowly to and fro in front of it all.
#include <array>
#include <cmath>
#include <numbers>
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

struct Rect {
  int left, top, right, bottom;  // right and bottom exclusive
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};
constexpr Rect kColdPack{24, 28, 84, 76};
constexpr Rect kMug{280, 168, 318, kDeskTop};
constexpr Rect kMugHandle{318, 180, 330, 212};

double StaticTemperature(int x, int y) {
  if (kMug.Contains(x, y)) return kMugC;
  if (kMugHandle.Contains(x, y) && !Rect{320, 186, 326, 206}.Contains(x, y)) return kMugHandleC;
  if (y >= kDeskTop) return kDeskC;
  if (kColdPack.Contains(x, y)) return kColdPackC;
  const double fraction = static_cast<double>(y) / kDeskTop;
  return kWallTopC + (kWallBottomC - kWallTopC) * fraction;
}

class DefaultScene final : public FrameGenerator {
 public:
  DefaultScene() : temperature_(kFramePixels), base_(kFramePixels) {
    for (int y = 0; y < kFrameHeight; ++y) {
      for (int x = 0; x < kFrameWidth; ++x) {
        const size_t p = static_cast<size_t>(y) * kFrameWidth + static_cast<size_t>(x);
        temperature_[p] = static_cast<float>(StaticTemperature(x, y));
        base_[p] = static_cast<float>(radiometric::BaseRaw(temperature_[p]));
      }
    }
  }

  void Render(const SceneState& state, uint16_t* pixels) const override {
    const float slope = static_cast<float>(radiometric::DriftSlopeAt(state.internal_c));
    const float offset = static_cast<float>(radiometric::DriftOffsetAt(state.internal_c));
    const float skin = static_cast<float>(radiometric::Raw(kSkinC, state.internal_c));
    const float clothes = static_cast<float>(radiometric::Raw(kClothesC, state.internal_c));
    const double phase = 2.0 * std::numbers::pi * state.tick_ms / kWalkPeriodMs;
    const int centre =
        static_cast<int>(std::lround(kWalkCentre + kWalkAmplitude * std::sin(phase)));

    PixelFinisher finisher(state);
    std::array<float, kFrameWidth> row;
    for (int y = 0; y < kFrameHeight; ++y) {
      const float* base = base_.data() + y * kFrameWidth;
      const float* temperature = temperature_.data() + y * kFrameWidth;
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

  // Scene temperature and base raw response of each pixel of the still part;
  // immutable after construction.
  std::vector<float> temperature_;
  std::vector<float> base_;
};

}  // namespace

std::shared_ptr<FrameGenerator> MakeDefaultScene() { return std::make_shared<DefaultScene>(); }

}  // namespace kt::sim
