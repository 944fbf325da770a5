// Long-running check of one camera instance the way a product uses it: the
// simulated camera streams at 60 frames per second, the instance previews and
// records video (mode 2) split into files of a few MiB, and the host fetches the
// temperatures of every announced frame. Every few seconds the host requests a
// NUC and checks that no frame is published during the hold; every split file
// is checked as soon as the next one starts (AVI sizes, frame count and index
// consistent) and then deleted so the disk does not fill. Resident memory is
// sampled throughout and must stay flat once the first part of the run is over.
//
// Only the public interface and the host extras are used, against the shipped
// library, on the real clock.
//
// Usage: kolthermo_soak [--seconds N] [--fps F] [--split-mib M] [--dir PATH]
//                       [--max-growth-kib K]
// Resident memory may grow by at most K KiB (default 4096) after the first
// minute (or the first third of a shorter run). Prints its figures and exits 0 when every check
// held, 1 otherwise.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_host.h"
#include "table_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr int kPixels = kWidth * kHeight;
constexpr uint32_t kVideoFrameBytes = kPixels * 3;

struct Options {
  int seconds = 600;
  double fps = 60.0;
  int split_mib = 8;
  long max_growth_kib = 4 * 1024;
  fs::path dir;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  // Every option takes a value: the arguments come in pairs.
  if ((argc - 1) % 2 != 0) return false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const char* value = argv[i + 1];
    if (arg == "--seconds") {
      options->seconds = std::atoi(value);
    } else if (arg == "--fps") {
      options->fps = std::atof(value);
    } else if (arg == "--split-mib") {
      options->split_mib = std::atoi(value);
    } else if (arg == "--max-growth-kib") {
      options->max_growth_kib = std::atol(value);
    } else if (arg == "--dir") {
      options->dir = value;
    } else {
      return false;
    }
  }
  return options->seconds > 0 && options->fps > 0 && options->split_mib > 0;
}

long ResidentKib() {
  std::ifstream statm("/proc/self/statm");
  long pages_total = 0;
  long pages_resident = 0;
  statm >> pages_total >> pages_resident;
  return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool Tag(const std::vector<uint8_t>& bytes, size_t at, const char* tag) {
  return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

// Checks a finished recording: the RIFF size covers the file, the header's
// frame count matches the index, and every indexed frame lies inside the
// movie list. Returns the frame count, or -1 with `why` set.
long CheckAvi(const fs::path& path, std::string* why) {
  std::error_code error;
  const auto file_bytes = fs::file_size(path, error);
  std::vector<uint8_t> bytes(error ? 0 : static_cast<size_t>(file_bytes));
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
    bytes.clear();
  }
  if (bytes.size() < 64 || !Tag(bytes, 0, "RIFF") || !Tag(bytes, 8, "AVI ")) {
    *why = "not an AVI file";
    return -1;
  }
  if (Le32(bytes, 4) + 8 != bytes.size()) {
    *why = "RIFF size " + std::to_string(Le32(bytes, 4)) + " + 8 != file size " +
           std::to_string(bytes.size());
    return -1;
  }
  const uint32_t total_frames = Le32(bytes, 48);
  size_t movi_data = 0;
  size_t movi_end = 0;
  long indexed = -1;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = Le32(bytes, at + 4);
    if (Tag(bytes, at, "LIST") && Tag(bytes, at + 8, "movi")) {
      movi_data = at + 8;
      movi_end = at + 8 + size;
    }
    if (Tag(bytes, at, "idx1")) {
      indexed = static_cast<long>(size / 16);
      for (long entry = 0; entry < indexed; ++entry) {
        const size_t e = at + 8 + static_cast<size_t>(entry) * 16;
        if (e + 16 > bytes.size()) {
          *why = "index runs past the file";
          return -1;
        }
        const size_t chunk = movi_data + Le32(bytes, e + 8);
        if (Le32(bytes, e + 12) != kVideoFrameBytes || chunk + 8 + kVideoFrameBytes > movi_end) {
          *why = "index entry " + std::to_string(entry) + " points outside the movie";
          return -1;
        }
      }
    }
    at += 8 + size + (size & 1);
  }
  if (indexed < 0 || static_cast<uint32_t>(indexed) != total_frames) {
    *why = "header counts " + std::to_string(total_frames) + " frames, index " +
           std::to_string(indexed);
    return -1;
  }
  return indexed;
}

struct Figures {
  long frames = 0;
  long fetch_failures = 0;
  long implausible = 0;
  long holds_checked = 0;
  long hold_violations = 0;
  long files_checked = 0;
  long files_bad = 0;
  long frames_in_files = 0;
  long rss_baseline_kib = 0;
  long rss_max_after_baseline_kib = 0;
  long rss_first_kib = 0;
};

// Checks and deletes every split file but the newest `keep`.
void CheckSplitFiles(const fs::path& dir, size_t keep, Figures* figures) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".avi") files.push_back(entry.path());
  }
  // Split files are numbered in order; sort by write time as names sort
  // "_10" before "_2".
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    return fs::last_write_time(a) < fs::last_write_time(b);
  });
  if (files.size() <= keep) return;
  for (size_t i = 0; i + keep < files.size(); ++i) {
    std::string why;
    const long frames = CheckAvi(files[i], &why);
    ++figures->files_checked;
    if (frames < 0) {
      ++figures->files_bad;
      std::fprintf(stderr, "soak: %s: %s\n", files[i].filename().c_str(), why.c_str());
    } else {
      figures->frames_in_files += frames;
    }
    fs::remove(files[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: kolthermo_soak [--seconds N] [--fps F] [--split-mib M] [--dir PATH] "
                 "[--max-growth-kib K]\n");
    return 2;
  }
  if (options.dir.empty()) options.dir = fs::temp_directory_path() / "kolthermo-soak";
  fs::remove_all(options.dir);
  fs::create_directories(options.dir);

  std::string error;
  const auto table = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
  if (table.empty()) {
    std::fprintf(stderr, "soak: cannot write a table: %s\n", error.c_str());
    return 1;
  }
  const fs::path table_path = options.dir / "table.bin";
  std::ofstream(table_path, std::ios::binary)
      .write(reinterpret_cast<const char*>(table.data()),
             static_cast<std::streamsize>(table.size()));

  KolThermoHWND window = KolThermoHost_CreateWindow();
  const int id = KolThermo_Initialize(window);
  if (window == nullptr || id == 0) {
    std::fprintf(stderr, "soak: no instance\n");
    return 1;
  }
  KolThermoHost_SimSetFrameRate(0, options.fps);
  KolThermo_SetParam(id, 9, 2);     // loop interval well below a frame period
  KolThermo_SetParam(id, 10, 600);  // NUC hold
  KolThermo_SetParam(id, 11, options.split_mib);
  KolThermo_SetTableA(id, table_path.c_str());
  const std::string recording = (options.dir / "soak.avi").string();
  const fs::path recording_dir = options.dir;
  if (KolThermo_Preview(id) != 1 || KolThermo_RecA(id, recording.c_str(), 2) != 1) {
    std::fprintf(stderr, "soak: preview or recording refused (code %d)\n",
                 KolThermo_GetLastError(id));
    return 1;
  }

  Figures figures;
  std::vector<float> temperatures(kPixels);
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(options.seconds);
  const int baseline_at_s = std::min(60, options.seconds / 3);
  auto next_nuc = start + std::chrono::seconds(5);
  auto next_sample = start;
  auto next_file_check = start + std::chrono::seconds(2);
  const int hold_ms = KolThermo_GetParam(id, 10);
  // A frame taken just before the request may still be published: look only
  // at the middle of the hold.
  const auto hold_grace = std::chrono::milliseconds(150);

  while (Clock::now() < end) {
    const auto now = Clock::now();
    if (now >= next_nuc) {
      KolThermo_Nuc(id);
      const auto nuc_at = Clock::now();
      std::this_thread::sleep_until(nuc_at + hold_grace);
      const int held = KolThermo_GetNewID(id);
      std::this_thread::sleep_until(nuc_at + std::chrono::milliseconds(hold_ms) - hold_grace);
      ++figures.holds_checked;
      if (KolThermo_GetNewID(id) != held) ++figures.hold_violations;
      next_nuc = Clock::now() + std::chrono::seconds(7);
    }
    if (now >= next_sample) {
      const long rss = ResidentKib();
      const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
      if (figures.rss_first_kib == 0) figures.rss_first_kib = rss;
      if (elapsed >= baseline_at_s) {
        if (figures.rss_baseline_kib == 0) figures.rss_baseline_kib = rss;
        figures.rss_max_after_baseline_kib = std::max(figures.rss_max_after_baseline_kib, rss);
      }
      std::printf("soak: %4llds  frames %ld  fps %.1f  resident %ld KiB  files checked %ld\n",
                  static_cast<long long>(elapsed), figures.frames,
                  KolThermo_GetParam(id, 3) / 100.0, rss, figures.files_checked);
      std::fflush(stdout);
      next_sample = now + std::chrono::seconds(10);
    }
    if (now >= next_file_check) {
      CheckSplitFiles(recording_dir, 1, &figures);
      next_file_check = now + std::chrono::seconds(2);
    }
    KolThermoHostMessage message;
    if (KolThermoHost_WaitMessage(window, 50, &message) != KOLTHERMO_HOST_MESSAGE) continue;
    if (message.message != KOLTHERMO_MSG_FRAME_READY) continue;
    ++figures.frames;
    const int frame = static_cast<int>(message.lparam);
    if (KolThermo_GetTemperature(id, frame, temperatures.data(), kPixels * 4) != 1) {
      ++figures.fetch_failures;  // overwritten in the ring before it was fetched
      continue;
    }
    const float centre = temperatures[kPixels / 2 + kWidth / 2];
    if (!std::isfinite(centre) || centre < -60.0f || centre > 300.0f) ++figures.implausible;
  }

  // End the recording: the file is finished when the next frame arrives.
  const std::string stop = (options.dir / "stop.avi").string();
  KolThermo_RecA(id, stop.c_str(), 0);
  for (int i = 0; i < 40 && KolThermo_GetParam(id, 7) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  KolThermo_Close(id);
  CheckSplitFiles(recording_dir, 0, &figures);
  KolThermo_Release(id);
  KolThermoHost_DestroyWindow(window);

  const long growth = figures.rss_max_after_baseline_kib - figures.rss_baseline_kib;
  std::printf(
      "soak: %d s at %.0f fps: %ld frames announced, %ld not fetchable in time, %ld implausible\n"
      "soak: NUC holds checked %ld, frames published during a hold %ld\n"
      "soak: split files checked %ld (%ld frames), bad %ld\n"
      "soak: resident memory first %ld KiB, at %d s %ld KiB, highest after %ld KiB (growth %ld "
      "KiB)\n",
      options.seconds, options.fps, figures.frames, figures.fetch_failures, figures.implausible,
      figures.holds_checked, figures.hold_violations, figures.files_checked,
      figures.frames_in_files, figures.files_bad, figures.rss_first_kib, baseline_at_s,
      figures.rss_baseline_kib, figures.rss_max_after_baseline_kib, growth);
  // Memory is flat when it grows by less than a few frames' worth after the
  // start-up phase (allocator noise, not a leak per frame).
  const bool memory_flat = growth < options.max_growth_kib;
  const bool ok = figures.frames > 0 && figures.implausible == 0 && figures.hold_violations == 0 &&
                  figures.files_bad == 0 && figures.files_checked > 0 && memory_flat;
  std::printf("soak: %s\n", ok ? "PASSED" : "FAILED");
  fs::remove_all(options.dir);
  return ok ? 0 : 1;
}
