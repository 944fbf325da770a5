#include <array>

#include "sim/frame_generator.h"
#include "sim/pixel_finisher.h"
#include "sim/radiometric_model.h"

namespace kt::sim {
namespace {

class UniformScene final : public FrameGenerator {
 public:
  // The radiance work happens here, once; a frame only adds the drift.
  explicit UniformScene(const radiometric::Surface& surface)
      : response_(radiometric::ResponseOf(surface)) {}

  void Render(const SceneState& state, uint16_t* pixels) const override {
    std::array<float, kFrameWidth> row;
    row.fill(static_cast<float>(response_.RawAt(state.internal_c)));
    PixelFinisher finisher(state);
    for (int y = 0; y < kFrameHeight; ++y)
      finisher.FinishRow(y, row.data(), pixels + y * kFrameWidth);
  }

 private:
  const radiometric::SurfaceResponse response_;
};

}  // namespace

std::shared_ptr<FrameGenerator> MakeUniformScene(double celsius) {
  return MakeUniformScene(radiometric::Surface{celsius, 1.0, celsius});
}

std::shared_ptr<FrameGenerator> MakeUniformScene(const radiometric::Surface& surface) {
  return std::make_shared<UniformScene>(surface);
}

}  // namespace kt::sim
