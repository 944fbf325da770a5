// Temperature figures of one frame: minimum, maximum, centre and the mean over
// a region of the picture.
#pragma once

#include <optional>
#include <span>

namespace kt::cli {

// A rectangle of the picture: x to the right, y downwards from the top row;
// right and bottom exclusive.
struct PictureRegion {
  int left, top, right, bottom;
};

struct FrameStats {
  float min = 0.0f;
  float max = 0.0f;
  float centre = 0.0f;  // -999 when the centre pixel has no temperature
};

// `temperatures` holds width * height values with rows bottom first (as a
// frame is fetched with KOLTHERMO_PARAM_FETCH_FLIPPED at 0); -999 marks a pixel without a
// temperature. Nothing when no pixel has a temperature or the size is wrong.
std::optional<FrameStats> ComputeFrameStats(std::span<const float> temperatures, int width,
                                            int height);

// Mean over `region` of the pixels that have a temperature; nothing when none has.
std::optional<float> RegionMean(std::span<const float> temperatures, int width, int height,
                                const PictureRegion& region);

}  // namespace kt::cli
