// A subcommand of the tool: its name, its help text and the function that runs
// it. main.cpp lists them and generates every --help page from this record.
#pragma once

#include <span>
#include <string_view>

#include "options.h"

namespace kt::cli {

struct Command {
  std::string_view name;
  std::string_view summary;      // one line for the overview
  std::string_view description;  // paragraphs under the usage line
  std::span<const OptionSpec> options;
  std::string_view examples;  // lines of "kolthermo ..." examples
  // Returns the exit status; throws UsageError or Failure.
  int (*run)(const ParsedOptions& options);
};

const Command& ListCommand();
const Command& InfoCommand();
const Command& SnapCommand();
const Command& RecordCommand();
const Command& WatchCommand();
const Command& TableCommand();
const Command& DemoCommand();
const Command& ViewCommand();

}  // namespace kt::cli

namespace kt::cli {

// The option that chooses the camera, shared by the commands that open one.
inline constexpr OptionSpec kCameraOption{"--camera", "SLOT",
                                          "camera slot 0..7 (default 0; see 'kolthermo list')"};
inline int CameraSlotOption(const ParsedOptions& options) {
  return options.Int("--camera", 0, 7, 0);
}

}  // namespace kt::cli
