#include "cli_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_time.h"

extern char** environ;

namespace kt::test {
namespace {

// Starts `program` with its output going to `log`; returns the process ID or -1.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::filesystem::path& directory, const std::filesystem::path& log) {
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The child runs in `directory` so relative default names land there.
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

// The log's contents so far.
std::string ReadLog(const std::filesystem::path& log) {
  std::ifstream file(log);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

CliRun Collect(pid_t pid, const std::filesystem::path& log) {
  CliRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.exit_status = WEXITSTATUS(status);
  }
  run.output = ReadLog(log);
  return run;
}

std::filesystem::path LogPath(const std::filesystem::path& directory) {
  return directory / "kolthermo-output.log";
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, const std::filesystem::path& directory) {
  const auto log = LogPath(directory);
  return Collect(Spawn(KOLTHERMO_CLI_PATH, args, directory, log), log);
}

CliRun InterruptCli(const std::vector<std::string>& args, const std::filesystem::path& directory,
                    std::string_view printed) {
  const auto log = LogPath(directory);
  const pid_t pid = Spawn(KOLTHERMO_CLI_PATH, args, directory, log);
  const auto give_up = kt::test::DeadlineIn(std::chrono::minutes(1));
  // Looks at the child without collecting it, so Collect still gets its status.
  auto has_ended = [pid] {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
  };
  bool ended = pid <= 0;
  while (!ended && std::chrono::steady_clock::now() < give_up &&
         ReadLog(log).find(printed) == std::string::npos) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ended = has_ended();
  }
  if (!ended) kill(pid, SIGINT);
  return Collect(pid, log);
}

CliRun RunTableProgram(const std::vector<std::string>& args,
                       const std::filesystem::path& directory) {
  const auto log = LogPath(directory);
  return Collect(Spawn(KOLTHERMO_TABLE_PATH, args, directory, log), log);
}

}  // namespace kt::test
