// Runs the kolthermo program as a child process and collects what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kt::test {

struct CliRun {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string output;    // stdout and stderr together
};

// Runs kolthermo with `args` in `directory`, stdout and stderr to a file.
CliRun RunCli(const std::vector<std::string>& args, const std::filesystem::path& directory);

// Runs kolthermo with `args`, sends SIGINT once its output holds `printed`
// (or it has run for a minute without printing it), and waits for it. Waiting
// for the output rather than a fixed time keeps the interrupt at the same
// point of the run on a slow or busy machine.
CliRun InterruptCli(const std::vector<std::string>& args, const std::filesystem::path& directory,
                    std::string_view printed);

// The same for the kolthermo-table program.
CliRun RunTableProgram(const std::vector<std::string>& args,
                       const std::filesystem::path& directory);

}  // namespace kt::test
