// The still-image formats of KolThermo_SaveA by name.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace kt::cli {

struct StillFormat {
  std::string_view name;       // "png"
  int number;                  // KOLTHERMO_FORMAT_*, as KolThermo_SaveA takes it
  std::string_view extension;  // ".png", for default file names
  std::string_view what;       // one line for --help
  bool needs_table;            // a temperature map: meaningless without a table
};

std::span<const StillFormat> StillFormats();
std::optional<StillFormat> FindStillFormat(std::string_view name);

// "bmp, jpeg, ..." for messages.
std::string_view StillFormatNames();

}  // namespace kt::cli
