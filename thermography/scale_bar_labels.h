// The values and the text of a colour scale's labels.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kt::thermography {

struct ScaleLabels {
  // low, the round values between, high; lowest first.
  std::vector<float> values;
  // Digits after the decimal point that tell neighbouring labels apart.
  int decimals = 1;
};

// Labels for low..high, at most `capacity` of them: low and high themselves
// and the multiples of a round step (1, 2 or 5 times a power of ten) between
// them, except those closer than half a step to either end. Nothing when the
// range is not finite, low > high, or capacity cannot hold both ends.
std::optional<ScaleLabels> ChooseScaleLabels(float low, float high, int capacity);

// "23.5 °C", with `decimals` digits after the point; never "-0.0".
std::u32string LabelText(float value, int decimals);

}  // namespace kt::thermography
