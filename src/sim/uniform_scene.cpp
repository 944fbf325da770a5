#include <array>

#include "sim/frame_generator.h"
#include "sim/pixel_finisher.h"
#include "sim/radiometric_model.h"

namespace kt::sim {
namespace {

class UniformScene final : public FrameGenerator {
 public:
  explicit UniformScene(double celsius) : celsius_(celsius) {}

  void Render(const SceneState& state, uint16_t* pixels) const override {
    std::array<float, kFrameWidth> row;
    row.fill(static_cast<float>(radiometric::Raw(celsius_, state.internal_c)));
    PixelFinisher finisher(state);
    for (int y = 0; y < kFrameHeight; ++y)
      finisher.FinishRow(y, row.data(), pixels + y * kFrameWidth);
  }

 private:
  const double celsius_;
};

}  // namespace

std::shared_ptr<FrameGenerator> MakeUniformScene(double celsius) {
  return std::make_shared<UniformScene>(celsius);
}

}  // namespace kt::sim
