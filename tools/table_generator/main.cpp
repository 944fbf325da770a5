// kolthermo-table: writes a calibration table for the simulated camera in any
// of the layouts the library loads.
//
// Exit codes: 0 written, 1 the file could not be written, 2 bad usage.
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "table_writer.h"

namespace {

namespace tw = kt::table_writer;

constexpr int kExitWritten = 0;
constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* stream) {
  std::fprintf(stream,
               "Usage: kolthermo-table --layout LAYOUT --output FILE [--sub-tables M] "
               "[--points N]\n"
               "\n"
               "Writes a calibration table whose temperatures follow the simulated camera's\n"
               "sensor curve, so the simulator's raw codes read as true temperatures.\n"
               "\n"
               "  --layout LAYOUT   headerless, 1000, 2000, 3000 or 4000\n"
               "                    (4000 carries the drift coefficients; 1000-3000 hold\n"
               "                    one temperature per raw code 0..16383)\n"
               "  --output FILE     the file to write (replaced if it exists)\n"
               "  --sub-tables M    layout 2000 only: M sub-tables, 1..%d (default 1);\n"
               "                    sub-table k is taken at internal temperature Tref + 5k\n"
               "  --points N        at most N points, 1..%d (default: the full table);\n"
               "                    for small test files\n"
               "  --help            show this text\n"
               "\n"
               "Exit status: 0 written, 1 the file could not be written, 2 bad usage.\n",
               tw::kMaxSubTables, tw::kMaxPoints);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kolthermo-table: %s\n", message.c_str());
  std::fprintf(stderr, "Try 'kolthermo-table --help'.\n");
  return kExitUsage;
}

std::optional<int32_t> ParseCount(std::string_view text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (text.empty() || status != std::errc() || stop != end) return std::nullopt;
  return value;
}

struct Arguments {
  std::optional<tw::Layout> layout;
  std::string output;
  std::optional<int32_t> sub_tables;
  int32_t point_limit = 0;
  bool help = false;
};

// Accepts "--name value" and "--name=value". Returns an error message, or an
// empty string when the arguments parsed.
std::string ParseArguments(int argc, char** argv, Arguments* args) {
  for (int i = 1; i < argc; ++i) {
    std::string_view name = argv[i];
    std::optional<std::string_view> value;
    if (const size_t equals = name.find('='); name.starts_with("--") && equals != name.npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    if (name == "--help" || name == "-h") {
      args->help = true;
      continue;
    }
    if (name != "--layout" && name != "--output" && name != "--sub-tables" && name != "--points") {
      return "unknown option '" + std::string(name) + "'";
    }
    if (!value) {
      if (i + 1 >= argc) return "option '" + std::string(name) + "' needs a value";
      value = argv[++i];
    }
    if (name == "--layout") {
      args->layout = tw::ParseLayout(*value);
      if (!args->layout) {
        return "unknown layout '" + std::string(*value) +
               "' (expected headerless, 1000, 2000, 3000 or 4000)";
      }
    } else if (name == "--output") {
      if (value->empty()) return "empty output file name";
      args->output = std::string(*value);
    } else if (name == "--sub-tables") {
      args->sub_tables = ParseCount(*value);
      if (!args->sub_tables || *args->sub_tables < 1 || *args->sub_tables > tw::kMaxSubTables) {
        return "--sub-tables takes a count from 1 to " + std::to_string(tw::kMaxSubTables) +
               ", not '" + std::string(*value) + "'";
      }
    } else {
      const auto points = ParseCount(*value);
      if (!points || *points < 1 || *points > tw::kMaxPoints) {
        return "--points takes a count from 1 to " + std::to_string(tw::kMaxPoints) + ", not '" +
               std::string(*value) + "'";
      }
      args->point_limit = *points;
    }
  }
  return {};
}

int Run(int argc, char** argv) {
  Arguments args;
  if (const std::string error = ParseArguments(argc, argv, &args); !error.empty()) {
    return UsageError(error);
  }
  if (args.help) {
    PrintUsage(stdout);
    return kExitWritten;
  }
  if (!args.layout) return UsageError("missing --layout");
  if (args.output.empty()) return UsageError("missing --output");
  if (args.sub_tables && *args.layout != tw::Layout::k2000) {
    return UsageError("--sub-tables applies to layout 2000 only");
  }

  tw::TableRequest request;
  request.layout = *args.layout;
  request.sub_tables = args.sub_tables.value_or(1);
  request.point_limit = args.point_limit;
  std::string error;
  const std::vector<uint8_t> bytes = tw::EncodeTable(request, &error);
  if (bytes.empty()) return UsageError(error);
  if (!tw::WriteTableFile(args.output, bytes, &error)) {
    std::fprintf(stderr, "kolthermo-table: %s\n", error.c_str());
    return kExitWriteFailed;
  }
  std::printf("wrote %s: layout %s, %zu bytes\n", args.output.c_str(),
              std::string(tw::LayoutName(request.layout)).c_str(), bytes.size());
  return kExitWritten;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "kolthermo-table: %s\n", failure.what());
    return kExitWriteFailed;
  }
}
