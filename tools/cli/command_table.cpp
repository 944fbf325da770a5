// kolthermo table: writes a calibration table for the simulated camera, with
// the same writer and the same checks as the kolthermo-table program.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "table_writer.h"

namespace kt::cli {
namespace {

namespace tw = kt::table_writer;

int RunTable(const ParsedOptions& options) {
  const std::optional<std::string> layout_name = options.Value("--layout");
  if (!layout_name) throw UsageError("missing --layout");
  const std::optional<tw::Layout> layout = tw::ParseLayout(*layout_name);
  if (!layout) {
    throw UsageError("unknown layout '" + *layout_name +
                     "' (expected headerless, 1000, 2000, 3000 or 4000)");
  }
  const std::optional<std::string> output = options.Value("--output");
  if (!output) throw UsageError("missing --output");
  if (output->empty()) throw UsageError("empty output file name");
  if (options.Has("--sub-tables") && *layout != tw::Layout::k2000) {
    throw UsageError("--sub-tables applies to layout 2000 only");
  }
  tw::TableRequest request;
  request.layout = *layout;
  request.sub_tables = options.Int("--sub-tables", 1, tw::kMaxSubTables, 1);
  request.point_limit = options.Int("--points", 1, tw::kMaxPoints, 0);

  std::string error;
  const std::vector<uint8_t> bytes = tw::EncodeTable(request, &error);
  if (bytes.empty()) throw UsageError(error);
  if (!tw::WriteTableFile(*output, bytes, &error)) throw Failure(error);
  std::printf("wrote %s: layout %s, %zu bytes\n", output->c_str(),
              std::string(tw::LayoutName(request.layout)).c_str(), bytes.size());
  return kExitSuccess;
}

constexpr std::array kOptions{
    OptionSpec{"--layout", "LAYOUT",
               "headerless, 1000, 2000, 3000 or 4000 (4000 carries the\n"
               "drift coefficients; 1000-3000 hold one temperature per\n"
               "raw code)"},
    OptionSpec{"--output", "FILE", "the file to write (replaced if it exists)"},
    OptionSpec{"--sub-tables", "M",
               "layout 2000 only: M sub-tables, 1..7 (default 1); sub-table\n"
               "k is taken at internal temperature Tref + 5k"},
    OptionSpec{"--points", "N", "at most N points, 1..16384 (default: the full table)"},
};

}  // namespace

const Command& TableCommand() {
  static const Command command{
      "table",
      "write a calibration table for the simulated camera",
      "Writes a calibration table whose temperatures follow the simulated camera's\n"
      "sensor curve, so that the simulator's raw codes read as true temperatures.\n"
      "Same writer and output as the kolthermo-table program.",
      kOptions,
      "  kolthermo table --layout 4000 --output table.bin\n"
      "  kolthermo table --layout 2000 --sub-tables 3 --output table2000.bin\n",
      RunTable};
  return command;
}

}  // namespace kt::cli
