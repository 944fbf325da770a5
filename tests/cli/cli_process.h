// Runs the kolthermo program as a child process and collects what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kt::test {

struct CliRun {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string output;    // stdout and stderr together
};

// Runs kolthermo with `args` in `directory`, stdout and stderr to a file.
CliRun RunCli(const std::vector<std::string>& args, const std::filesystem::path& directory);

// Runs kolthermo with `args`, sends SIGINT after `delay_ms`, and waits for it.
CliRun InterruptCli(const std::vector<std::string>& args, const std::filesystem::path& directory,
                    int delay_ms);

// The same for the kolthermo-table program.
CliRun RunTableProgram(const std::vector<std::string>& args,
                       const std::filesystem::path& directory);

}  // namespace kt::test
