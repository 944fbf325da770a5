// kolthermo: the KolThermo SDK's command-line tool. Lists cameras, shows
// their settings, saves stills, records, watches the live temperatures,
// writes calibration tables, runs the guided demo on the simulated camera and
// serves the live viewer in the browser.
//
// Exit status: 0 success, 1 failure (camera, library or file), 2 bad usage,
// 130 stopped by Ctrl-C or SIGTERM (files written so far are complete).
#include <array>
#include <cstdio>
#include <exception>
#include <span>
#include <string>
#include <string_view>

#include "command.h"
#include "options.h"
#include "stop_request.h"

namespace {

using kt::cli::Command;

std::array<const Command*, 8> AllCommands() {
  return {&kt::cli::ListCommand(),   &kt::cli::InfoCommand(),  &kt::cli::SnapCommand(),
          &kt::cli::RecordCommand(), &kt::cli::WatchCommand(), &kt::cli::TableCommand(),
          &kt::cli::DemoCommand(),   &kt::cli::ViewCommand()};
}

constexpr std::string_view kExitStatusText =
    "Exit status: 0 success, 1 failure (camera, library or file), 2 bad usage,\n"
    "130 stopped by Ctrl-C (files written so far are complete).\n";

void PrintOverview(std::FILE* stream) {
  std::fprintf(stream,
               "Usage: kolthermo COMMAND [options]\n"
               "\n"
               "The KolThermo thermal camera from the command line. Off Windows the camera\n"
               "is simulated: a room with a person, a hot mug and a cold pack.\n"
               "\n"
               "Commands:\n");
  for (const Command* command : AllCommands()) {
    std::fprintf(stream, "  %-8s %.*s\n", std::string(command->name).c_str(),
                 static_cast<int>(command->summary.size()), command->summary.data());
  }
  std::fprintf(stream,
               "\n"
               "Start with 'kolthermo demo'. 'kolthermo COMMAND --help' describes a command;\n"
               "'kolthermo --version' prints the SDK's version.\n"
               "\n%.*s",
               static_cast<int>(kExitStatusText.size()), kExitStatusText.data());
}

void PrintCommandHelp(const Command& command) {
  std::printf("Usage: kolthermo %s [options]\n\n%.*s\n", std::string(command.name).c_str(),
              static_cast<int>(command.description.size()), command.description.data());
  std::printf("\nOptions:\n");
  for (const kt::cli::OptionSpec& option : command.options) {
    std::string left(option.name);
    if (!option.value_name.empty()) left += " " + std::string(option.value_name);
    // Help texts may run over several lines; align the continuations.
    std::string help(option.help);
    for (size_t at = help.find('\n'); at != help.npos; at = help.find('\n', at + 1)) {
      help.insert(at + 1, 21, ' ');
    }
    std::printf("  %-18s %s\n", left.c_str(), help.c_str());
  }
  std::printf("  %-18s show this text\n", "--help");
  if (!command.examples.empty()) {
    std::printf("\nExamples:\n%.*s", static_cast<int>(command.examples.size()),
                command.examples.data());
  }
  std::printf("\n%.*s", static_cast<int>(kExitStatusText.size()), kExitStatusText.data());
}

const Command* FindCommand(std::string_view name) {
  for (const Command* command : AllCommands()) {
    if (command->name == name) return command;
  }
  return nullptr;
}

int RunCommand(const Command& command, std::span<char* const> args) {
  try {
    const kt::cli::ParsedOptions options = kt::cli::ParseOptions(args, command.options);
    if (options.Has("--help")) {
      PrintCommandHelp(command);
      return kt::cli::kExitSuccess;
    }
    return command.run(options);
  } catch (const kt::cli::UsageError& error) {
    std::fprintf(stderr, "kolthermo %s: %s\nTry 'kolthermo %s --help'.\n",
                 std::string(command.name).c_str(), error.what(),
                 std::string(command.name).c_str());
    return kt::cli::kExitUsage;
  } catch (const kt::cli::Failure& error) {
    std::fprintf(stderr, "kolthermo %s: %s\n", std::string(command.name).c_str(), error.what());
    return kt::cli::StopRequested() ? kt::cli::kExitInterrupted : kt::cli::kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    kt::cli::InstallStopHandlers();
    if (argc < 2) {
      PrintOverview(stderr);
      return kt::cli::kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
      PrintOverview(stdout);
      return kt::cli::kExitSuccess;
    }
    if (name == "--version") {
      if (argc > 2) {
        std::fprintf(stderr,
                     "kolthermo: --version takes nothing after it\nTry 'kolthermo --help'.\n");
        return kt::cli::kExitUsage;
      }
      std::printf("kolthermo %s\n", KOLTHERMO_SDK_VERSION);
      return kt::cli::kExitSuccess;
    }
    const Command* command = FindCommand(name);
    if (command == nullptr) {
      std::fprintf(stderr, "kolthermo: unknown command '%s'\nTry 'kolthermo --help'.\n", argv[1]);
      return kt::cli::kExitUsage;
    }
    return RunCommand(*command, std::span<char* const>(argv + 2, static_cast<size_t>(argc - 2)));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kolthermo: %s\n", error.what());
    return kt::cli::kExitFailure;
  }
}
