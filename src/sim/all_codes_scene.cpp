// A test pattern rather than a view: every raw code of the sensor's range in
// one frame, so that a single still or recording carries all of them.
#include "sim/frame_generator.h"
#include "sim/radiometric_model.h"

namespace kt::sim {
namespace {

class AllCodesScene final : public FrameGenerator {
 public:
  // No drift, noise or fixed pattern: the codes are exact and every frame
  // is the same.
  void Render(const SceneState& /*state*/, uint16_t* pixels) const override {
    for (int p = 0; p < kFramePixels; ++p) {
      pixels[p] = static_cast<uint16_t>(p % (radiometric::kMaxRawCode + 1));
    }
  }
};

}  // namespace

std::shared_ptr<FrameGenerator> MakeAllCodesScene() { return std::make_shared<AllCodesScene>(); }

}  // namespace kt::sim
