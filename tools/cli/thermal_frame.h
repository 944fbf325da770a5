// One frame on its way to the thermography library: fetched top row first,
// corrected for the object when asked, with the metadata the radiometric
// files carry; and what the tool makes of it: measurements, pictures in a
// palette, radiometric files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera_session.h"
#include "kolthermo/kolthermo_radiometric.h"
#include "thermography_options.h"

namespace kt::cli {

// A frame drawn in a palette: RGB, top row first, kImageHeight rows of
// `width` pixels (wider than the frame when it carries the scale bar).
struct ColourPicture {
  std::vector<unsigned char> rgb;
  int width = 0;
};

struct ThermalFrame {
  int frame_id = 0;
  std::vector<float> celsius;  // top row first; corrected when the options ask
  std::vector<uint16_t> raw;   // top row first; filled on request only
  KolThermoFrameInfo info{};   // info.table points into the processor
};

// Turns frames of one session into measurements, pictures and files with the
// same options throughout. Used by the tool's main thread only.
class FrameProcessor {
 public:
  // `table` is the calibration table's path, or nothing. Sets the session's
  // fetch row order to top row first, as the thermography library takes it.
  FrameProcessor(CameraSession& session, const ThermographyOptions& options,
                 const std::optional<std::string>& table);

  // Fetches frame `frame_id`: temperatures (when a table is loaded), raw codes
  // when `with_raw`, and the metadata. False when the frame left the ring;
  // `frame` then keeps the ID and metadata of the frame fetched before.
  bool Fetch(int frame_id, bool with_raw, ThermalFrame* frame);

  // One line per measured region: mean, minimum and maximum with their
  // places, standard deviation, pixel count. Throws Failure when the library
  // refuses a region.
  std::vector<std::string> Measure(const ThermalFrame& frame) const;

  // The frame coloured with the options, with the scale bar when asked.
  // Throws Failure when the frame holds no temperature or the library
  // refuses.
  ColourPicture Colour(const ThermalFrame& frame) const;
  // Writes a picture coloured with the options (with the scale bar when
  // asked); PNG, BMP or JPEG by the file name's extension.
  void WritePicture(const ThermalFrame& frame, const std::string& path) const;
  void WriteCelsiusTiff(const ThermalFrame& frame, const std::string& path) const;
  void WriteRaw16Tiff(const ThermalFrame& frame, const std::string& path) const;
  void WriteCelsiusCsv(const ThermalFrame& frame, const std::string& path) const;

  // Pixels that could not be corrected so far (out of the model's range);
  // they read "no temperature".
  long long uncorrected_pixels() const { return uncorrected_pixels_; }

 private:
  CameraSession& session_;
  ThermographyOptions options_;
  std::string table_name_;  // the table's file name; empty without one
  bool has_table_ = false;
  long long uncorrected_pixels_ = 0;
};

// "code 6 (file error)": a thermography library result as messages show it.
std::string DescribeThermographyCode(int code);

}  // namespace kt::cli
