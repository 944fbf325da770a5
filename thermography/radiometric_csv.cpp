// Every value is the shortest decimal text that reads back to the same float,
// so the CSV loses nothing against the float TIFF, and "no temperature" is
// written as the SDK's -999.0 itself: every CSV reader takes it as a number,
// where an empty field or "nan" would stop some of them.
#include "radiometric_csv.h"

#include <string>

#include "radiometric_metadata.h"

namespace kt::thermography {
namespace {

// Text is handed to the file in pieces of about this size.
constexpr std::size_t kFlushBytes = 1 << 20;

}  // namespace

bool WriteCelsiusCsv(OutputFile& file, const float* temperatures_c, int width, int height,
                     const KolThermoFrameInfo* info) {
  std::string text = "# ";
  text += SoftwareName();
  text += "\n# width=" + std::to_string(width) + "\n# height=" + std::to_string(height) + "\n";
  const std::string lines = DescriptionLines(info, Units::kCelsius);
  for (std::size_t begin = 0; begin < lines.size();) {
    const std::size_t end = lines.find('\n', begin);
    text += "# " + lines.substr(begin, end - begin + 1);
    begin = end + 1;
  }
  const float* value = temperatures_c;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column, ++value) {
      if (column > 0) text += ',';
      text += *value == KOLTHERMO_THERMO_NO_TEMPERATURE ? "-999.0" : ShortestFloat(*value);
    }
    text += '\n';
    if (text.size() >= kFlushBytes) {
      if (!file.Write(text.data(), text.size())) return false;
      text.clear();
    }
  }
  return file.Write(text.data(), text.size());
}

}  // namespace kt::thermography
