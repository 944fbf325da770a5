// kolthermo view: the live viewer in the browser. The page is served by the
// Python package (python3 -m kolthermo.viewer); this command finds an
// interpreter, makes the package and the libraries findable when it runs from
// the build tree, writes the simulated camera's calibration table when none is
// given, and runs the server until Ctrl-C or SIGTERM. The server prints the
// page's URL as the first line of output.
#include <sys/wait.h>

#include <spawn.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "command.h"
#include "stop_request.h"
#include "table_writer.h"

extern char** environ;

namespace kt::cli {
namespace {

namespace fs = std::filesystem;
namespace tw = kt::table_writer;

constexpr int kDefaultPort = 8642;
constexpr auto kPoll = std::chrono::milliseconds(50);
// After a stop request the server closes its pages and releases the camera;
// one that takes longer than this is hung and gets killed.
constexpr auto kStopGrace = std::chrono::seconds(10);

// True when this program is the one in the build tree it was compiled in: then
// the source tree's package and the freshly built libraries are the ones to use.
bool RunsFromBuildTree() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return !error && fs::equivalent(self.parent_path(), KOLTHERMO_VIEW_BUILD_DIR, error) && !error;
}

void PrepareEnvironment() {
  if (!RunsFromBuildTree()) return;
  const char* path = std::getenv("PYTHONPATH");
  std::string python_path = KOLTHERMO_VIEW_PYTHONPATH;
  if (path != nullptr && *path != '\0') python_path += ":" + std::string(path);
  setenv("PYTHONPATH", python_path.c_str(), 1);
  setenv("KOLTHERMO_LIBRARY", KOLTHERMO_VIEW_LIBRARY, 0);
  setenv("KOLTHERMO_THERMOGRAPHY_LIBRARY", KOLTHERMO_VIEW_THERMOGRAPHY_LIBRARY, 0);
}

std::string Interpreter() {
  if (const char* chosen = std::getenv("KOLTHERMO_PYTHON"); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  // In the build tree, the interpreter found when configuring (Debian's, with aiohttp).
  return RunsFromBuildTree() ? KOLTHERMO_VIEW_PYTHON : "python3";
}

// A private folder for the table the command writes; removed when the viewer ends.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kolthermo-view-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      throw Failure("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    }
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

fs::path WriteSimulatedTable(const fs::path& folder) {
  tw::TableRequest request;
  request.layout = tw::Layout::k4000;
  std::string error;
  const std::vector<uint8_t> bytes = tw::EncodeTable(request, &error);
  if (bytes.empty()) throw Failure("cannot make the calibration table: " + error);
  const fs::path path = folder / "calibration-4000.bin";
  if (!tw::WriteTableFile(path, bytes, &error)) throw Failure(error);
  return path;
}

// Waits for the server; forwards a stop request as SIGTERM and kills a server
// that does not end within kStopGrace of it. Returns the wait status.
int WaitForServer(pid_t pid) {
  bool forwarded = false;
  auto deadline = std::chrono::steady_clock::time_point::max();
  while (true) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) throw Failure("lost track of the viewer's server");
    if (StopRequested() && !forwarded) {
      kill(pid, SIGTERM);
      forwarded = true;
      deadline = std::chrono::steady_clock::now() + kStopGrace;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      deadline = std::chrono::steady_clock::time_point::max();
    }
    std::this_thread::sleep_for(kPoll);
  }
}

int RunView(const ParsedOptions& options) {
  const int port = options.Int("--port", 0, 65535, kDefaultPort);
  const std::string host = options.Value("--host").value_or("127.0.0.1");
  if (host.empty()) throw UsageError("--host needs an address");
  const int slot = CameraSlotOption(options);

  std::optional<TemporaryFolder> scratch;
  std::string table;
  if (const auto given = options.Value("--table")) {
    table = *given;
  } else {
    scratch.emplace();
    table = WriteSimulatedTable(scratch->path()).string();
  }

  PrepareEnvironment();
  const std::string python = Interpreter();
  std::vector<std::string> words = {python,
                                    "-m",
                                    "kolthermo.viewer",
                                    "--port",
                                    std::to_string(port),
                                    "--host",
                                    host,
                                    "--table",
                                    table,
                                    "--camera",
                                    std::to_string(slot)};
  if (const auto output = options.Value("--output")) {
    words.insert(words.end(), {"--output", *output});
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::fflush(stdout);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, python.c_str(), nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    throw Failure("cannot start " + python + ": " + std::strerror(spawned) +
                  " (set KOLTHERMO_PYTHON to a python3 with aiohttp and numpy)");
  }
  const int status = WaitForServer(pid);
  const bool clean =
      (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
      (WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM));
  if (clean) return StopRequested() ? kExitInterrupted : kExitSuccess;
  if (WIFEXITED(status)) {
    throw Failure("the viewer's server ended with status " + std::to_string(WEXITSTATUS(status)) +
                  " (its message above says why)");
  }
  throw Failure("the viewer's server was ended by signal " + std::to_string(WTERMSIG(status)));
}

constexpr std::array<OptionSpec, 5> kOptions{{
    {"--port", "N", "TCP port to listen on (default 8642; 0: any free port)"},
    {"--host", "ADDRESS",
     "address to listen on (default 127.0.0.1); any other address needs\n"
     "the access token printed in the URL"},
    {"--output", "FOLDER",
     "folder for snapshots and recordings (default: kolthermo-view under\n"
     "the current directory, else a new temporary folder)"},
    {"--table", "FILE", "calibration table (default: the simulated camera's, layout 4000)"},
    kCameraOption,
}};

}  // namespace

const Command& ViewCommand() {
  static const Command command{
      "view",
      "show the camera live in a web browser",
      "Serves a page that shows the camera live: palette and colour range, the\n"
      "temperature under the cursor, spot, box and line measurements, the hottest\n"
      "and coldest points, snapshots (float TIFF and PNG) and recordings (multi-page\n"
      "float TIFF), emissivity and reflected temperature, camera choice and, for the\n"
      "simulated camera, its scene and plug. The first line printed is the page's\n"
      "URL; open it in a browser. Ctrl-C stops the server and releases the camera.\n"
      "\n"
      "The page is served by the Python package (python3 -m kolthermo.viewer):\n"
      "KOLTHERMO_PYTHON chooses the interpreter (default python3), which needs\n"
      "numpy and aiohttp. File names are chosen by the server, inside the output\n"
      "folder only.",
      kOptions,
      "  kolthermo view\n"
      "  kolthermo view --port 0 --output captures\n"
      "  kolthermo view --host 0.0.0.0 --port 8642\n",
      RunView};
  return command;
}

}  // namespace kt::cli
