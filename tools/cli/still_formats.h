// The still formats of kolthermo snap by name: those KolThermo_SaveA writes
// and the radiometric files the thermography library writes, with the file
// name extensions that belong to each.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kt::cli {

// Who writes the file.
enum class StillWriter {
  kCore,         // KolThermo_SaveA with `number`
  kCelsiusTiff,  // KolThermoWriteCelsiusTiff
  kRaw16Tiff,    // KolThermoWriteRaw16Tiff
  kCelsiusCsv,   // KolThermoWriteCelsiusCsv
};

struct StillFormat {
  std::string_view name;        // "png"
  int number;                   // KOLTHERMO_FORMAT_*, for StillWriter::kCore
  std::string_view extension;   // ".png", for default file names
  std::string_view extensions;  // every extension it may carry: ".jpg .jpeg"
  std::string_view what;        // one line for --help
  bool needs_table;             // temperatures: meaningless without a table
  StillWriter writer = StillWriter::kCore;
  bool picture = false;  // a false-colour picture the palettes can draw instead
};

std::span<const StillFormat> StillFormats();
std::optional<StillFormat> FindStillFormat(std::string_view name);

// "bmp, jpeg, ..." for messages.
std::string StillFormatNames();

// The lower-case extension of a file name with its dot (".tiff"), or "".
std::string LowerExtension(std::string_view path);

// Whether `extension` (lower case, with its dot) belongs to `extensions`
// (a space-separated list).
bool ExtensionListed(std::string_view extensions, std::string_view extension);

// The format of a still: --format when given (refused when the file name's
// extension belongs to another format), otherwise the format the extension
// implies (.tif and .tiff imply the colour TIFF; the radiometric TIFFs need
// --format), otherwise bmp. Throws UsageError.
StillFormat ChooseStillFormat(const std::optional<std::string>& format_name,
                              const std::optional<std::string>& output);

}  // namespace kt::cli
