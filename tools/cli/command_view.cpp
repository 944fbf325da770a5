// kolthermo view: the live viewer in the browser. The page is served by the
// Python package (python3 -m kolthermo.viewer); this command finds an
// interpreter, makes the package and the libraries findable when it runs from
// the build tree, writes the simulated camera's calibration table when none is
// given, and runs the server until Ctrl-C or SIGTERM. The server prints the
// page's URL as the first line of output.
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
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

// The environment the server starts with: this program's, as name -> value.
using Environment = std::map<std::string, std::string>;

Environment CurrentEnvironment() {
  Environment variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    variables.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return variables;
}

// From the build tree: the source tree's package first on the path, and the
// libraries built beside this program unless chosen already.
void UseBuildTree(Environment* variables) {
  std::string& path = (*variables)["PYTHONPATH"];
  path = path.empty() ? std::string(KOLTHERMO_VIEW_PYTHONPATH)
                      : std::string(KOLTHERMO_VIEW_PYTHONPATH) + ":" + path;
  variables->emplace("KOLTHERMO_LIBRARY", KOLTHERMO_VIEW_LIBRARY);
  variables->emplace("KOLTHERMO_THERMOGRAPHY_LIBRARY", KOLTHERMO_VIEW_THERMOGRAPHY_LIBRARY);
}

std::string Interpreter(const Environment& variables, bool build_tree) {
  if (const auto chosen = variables.find("KOLTHERMO_PYTHON");
      chosen != variables.end() && !chosen->second.empty()) {
    return chosen->second;
  }
  // In the build tree, the interpreter found when configuring (Debian's, with aiohttp).
  return build_tree ? KOLTHERMO_VIEW_PYTHON : "python3";
}

std::string ErrorText(int number) { return std::generic_category().message(number); }

// The C view of `words` that exec takes: pointers into them, then a null.
std::vector<char*> NullTerminated(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

// A private folder for the table the command writes; removed when the viewer ends.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);  // $TMPDIR, else /tmp
    std::string pattern = ((error ? fs::path("/tmp") : base) / "kolthermo-view-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw Failure("cannot make a temporary folder: " + ErrorText(errno));
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
  fs::path path = folder / "calibration-4000.bin";
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

  Environment variables = CurrentEnvironment();
  const bool build_tree = RunsFromBuildTree();
  if (build_tree) UseBuildTree(&variables);
  const std::string python = Interpreter(variables, build_tree);
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
  std::vector<std::string> settings;
  settings.reserve(variables.size());
  for (const auto& [name, value] : variables) {
    std::string setting = name;
    setting += '=';
    setting += value;
    settings.push_back(std::move(setting));
  }

  std::fflush(stdout);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, python.c_str(), nullptr, nullptr,
                                   NullTerminated(words).data(), NullTerminated(settings).data());
  if (spawned != 0) {
    throw Failure("cannot start " + python + ": " + ErrorText(spawned) +
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
