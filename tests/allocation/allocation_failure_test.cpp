// Running out of memory at every place the library allocates. Each sweep first
// counts the allocations a C API scenario makes, then runs the scenario again
// once for each N with the Nth allocation refused (std::bad_alloc, or null
// from a nothrow form). Every run must return from every call with the call's
// success or its failure result, raise only known codes, report success only
// for work that was really done, and leave the instance (or, when creation
// failed, a fresh one) previewing whole frames again once memory is back.
// Leaks are left to LeakSanitizer (scripts/check-sanitizers.sh).
//
// KOLTHERMO_ALLOCATION_SWEEP=full fails every allocation of every scenario
// instead of a spread sample of them; a number sets the sample size. A run
// that makes no progress for KOLTHERMO_ALLOCATION_HANG_SECONDS (300) ends the
// process with the scenario and N that hung.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "failing_allocator.h"
#include "kolthermo/kolthermo.h"
#include "output/image_decoding.h"
#include "sim/sim_camera.h"
#include "sim/sim_driver.h"
#include "support/avi_check.h"
#include "support/codes.h"
#include "support/host_window_probe.h"
#include "support/row_coded_scene.h"
#include "support/test_support.h"
#include "support/test_time.h"
#include "support/wide_text.h"
#include "table_writer.h"

namespace {

namespace alloc = kt::test::allocation;
using alloc::Extent;
using alloc::Scope;
using kt::test::RowCodedScene;

constexpr unsigned kRawBytes = RowCodedScene::kWidth * RowCodedScene::kHeight * 2;
constexpr unsigned kColourBytes = RowCodedScene::kWidth * 3 * RowCodedScene::kHeight;
constexpr unsigned kTemperatureBytes = RowCodedScene::kWidth * RowCodedScene::kHeight * 4;
// Calls that wait for frames give up after this many real milliseconds: far
// longer than the fast clock's frame limit, after which the library has
// reported a lost camera.
constexpr int kFrameWaitMs = 3000;

using kt::test::Wide;

// The values of N to try for a scenario that makes `total` allocations: every
// one of the first ones, then a spread up to the last (and a few past it, for
// counts that vary with thread timing).
std::vector<uint64_t> SweepPoints(const char* scenario, uint64_t total, uint64_t budget) {
  const char* setting = std::getenv("KOLTHERMO_ALLOCATION_SWEEP");
  if (setting != nullptr && std::string(setting) == "full")
    budget = ~uint64_t{0};
  else if (setting != nullptr && std::atoll(setting) > 0)
    budget = std::strtoull(setting, nullptr, 10);
  const uint64_t last = total + total / 10 + 2;
  std::vector<uint64_t> points;
  const uint64_t dense = std::min<uint64_t>(last, budget / 2);
  for (uint64_t n = 1; n <= dense; ++n) points.push_back(n);
  if (last > dense) {
    const uint64_t rest = std::max<uint64_t>(budget - dense, 1);
    const uint64_t stride = std::max<uint64_t>((last - dense + rest - 1) / rest, 1);
    for (uint64_t n = dense + stride; n <= last; n += stride) points.push_back(n);
  }
  std::printf("[ sweep    ] %s: %llu allocations, %zu runs\n", scenario,
              static_cast<unsigned long long>(total), points.size());
  std::fflush(stdout);
  return points;
}

// Ends the process with the scenario's name when one sweep run stops making
// progress: a hang would otherwise only show as the test runner's timeout.
class HangWatch {
 public:
  HangWatch() : thread_([this] { Watch(); }) {}
  ~HangWatch() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  // Marks the start of run `n` of `scenario` (a string literal).
  void Enter(const char* scenario, uint64_t n) {
    {
      std::lock_guard lock(mutex_);
      scenario_ = scenario;
      n_ = n;
      ++progress_;
    }
    cv_.notify_all();
  }

 private:
  void Watch() {
    const char* seconds = std::getenv("KOLTHERMO_ALLOCATION_HANG_SECONDS");
    const auto limit =
        kt::test::Scaled(std::chrono::seconds(seconds != nullptr ? std::atoi(seconds) : 300));
    std::unique_lock lock(mutex_);
    while (!done_) {
      const uint64_t seen = progress_;
      if (!cv_.wait_for(lock, limit, [&] { return done_ || progress_ != seen; })) {
        std::fprintf(stderr, "hang: %s with allocation %llu failing\n", scenario_,
                     static_cast<unsigned long long>(n_));
        std::abort();
      }
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  const char* scenario_ = "";
  uint64_t n_ = 0;
  uint64_t progress_ = 0;
  bool done_ = false;
  std::thread thread_;
};

class AllocationFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    camera_->SetScene(std::make_shared<RowCodedScene>());
    std::string error;
    const auto table = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
    ASSERT_FALSE(table.empty()) << error;
    kt::test::WriteFileBytes(dir_.Path("table.bin"), table);
    table_path_ = dir_.Wide("table.bin");
    raw_.resize(kRawBytes / 2);
    colour_.resize(kColourBytes);
    temperatures_.resize(kTemperatureBytes / 4);
  }
  void TearDown() override {
    alloc::Disarm();
    if (id_ != 0) {
      EXPECT_EQ(1, KolThermo_Release(id_));
    }
  }

  void Create() {
    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    KolThermo_SetParam(id_, 10, 0);  // no NUC hold after a table load
    kt::test::DrainCodes(id_);
  }

  // The newest published frame, waiting for one to be announced first.
  int AwaitFrame() {
    const int announced = window_.NextFrame(kFrameWaitMs);
    const int newest = KolThermo_GetNewID(id_);
    return newest != 0 ? newest : announced;
  }

  // Waits for `frames` frames, fetching each as raw codes, colours and
  // temperatures; stops early when acquisition reports a failure. Allocates
  // nothing of its own.
  void FetchFrames(int frames) {
    kt::test::PostedMessage message;
    while (frames > 0 && window_.Next(&message, kFrameWaitMs)) {
      if (message.message == KOLTHERMO_MSG_EVENT) {
        if (message.lparam == KOLTHERMO_CODE_CAMERA_LOST ||
            message.lparam == KOLTHERMO_CODE_BUFFER_OR_MEMORY) {
          return;
        }
        continue;
      }
      if (message.message != KOLTHERMO_MSG_FRAME_READY) continue;
      --frames;
      const int frame = static_cast<int>(message.lparam);
      // Any of these may find the frame overwritten already (0, code 5); a
      // raw frame that is copied must be whole.
      if (KolThermo_GetRaw(id_, frame, raw_.data(), kRawBytes) == 1) {
        whole_ = whole_ && RowCodedScene::IsWhole(raw_.data());
      }
      KolThermo_GetColor(id_, frame, colour_.data(), kColourBytes);
      KolThermo_GetTemperature(id_, frame, temperatures_.data(), kTemperatureBytes);
    }
  }

  // Every code waiting is a known one and, when `allowed` is given, one of
  // those. Returns them, newest first.
  std::vector<int> ExpectKnownCodes(const std::string& where,
                                    std::initializer_list<int> allowed = {}) {
    const std::vector<int> codes = kt::test::DrainCodes(id_);
    for (const int code : codes) {
      EXPECT_TRUE(code >= 1 && code <= 10) << where << ": code " << code;
      const bool listed =
          allowed.size() == 0 || std::find(allowed.begin(), allowed.end(), code) != allowed.end();
      EXPECT_TRUE(listed) << where << ": unexpected code " << code;
    }
    return codes;
  }

  // Memory is back: the instance previews, and its frames are whole.
  void ExpectRecovers(const std::string& where) {
    KolThermo_Close(id_);
    window_.Drain();  // frames announced before the close are gone with it
    ASSERT_EQ(1, KolThermo_Preview(id_)) << where;
    KolThermo_Start(id_);
    const int frame = AwaitFrame();
    ASSERT_NE(0, frame) << where << ": no frame after recovery";
    // Held still, so that a slow (sanitized) host cannot fall a whole ring of
    // frames behind between asking for the newest frame and fetching it; the
    // newest is asked for again once, as it may have moved on meanwhile.
    KolThermo_Pause(id_);
    int fetched = KolThermo_GetRaw(id_, KolThermo_GetNewID(id_), raw_.data(), kRawBytes);
    if (fetched != 1) {
      fetched = KolThermo_GetRaw(id_, KolThermo_GetNewID(id_), raw_.data(), kRawBytes);
    }
    EXPECT_EQ(1, fetched) << where << ", code " << KolThermo_GetLastError(id_);
    if (fetched == 1) {
      EXPECT_TRUE(RowCodedScene::IsWhole(raw_.data())) << where;
    }
    EXPECT_EQ(1, KolThermo_GetColor(id_, KolThermo_GetNewID(id_), colour_.data(), kColourBytes))
        << where;
    KolThermo_Start(id_);  // the pause outlives Close: the next preview must stream
    EXPECT_EQ(1, KolThermo_Close(id_)) << where;
    ExpectKnownCodes(where + ", recovery", {8, 10});  // 8: a stream that failed earlier
    window_.Drain();
  }

  // Previewing with one frame published and acquisition paused, so that the
  // current frame stays put.
  void PreviewPaused() {
    ASSERT_EQ(1, KolThermo_Preview(id_));
    ASSERT_NE(0, AwaitFrame());
    KolThermo_Pause(id_);
    kt::test::DrainCodes(id_);
  }

  // One file of each kind, by wide name and by narrow name.
  struct NamedFiles {
    std::u16string video, still, table;
    std::string video_a, still_a, table_a;
  };
  NamedFiles Files(const std::string& stem) {
    return {dir_.Wide(stem + ".avi"),
            dir_.Wide(stem + ".png"),
            table_path_,
            dir_.Path(stem + ".avi").string(),
            dir_.Path(stem + ".png").string(),
            dir_.Path("table.bin").string()};
  }
  // A call that names a file, and the code it must leave when it fails.
  struct FileCall {
    const char* name;
    int reason;
    int (*run)(int id, const NamedFiles& files);
  };

  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
  std::u16string table_path_;
  std::vector<uint16_t> raw_;
  std::vector<uint8_t> colour_;
  std::vector<float> temperatures_;
  bool whole_ = true;  // every raw frame FetchFrames copied was whole
  int id_ = 0;
  HangWatch hang_watch_;
};

// ---- Instance creation and preview start ----

TEST_F(AllocationFailureTest, CreatingAnInstanceAndStartingPreview) {
  // Counted across all threads: the capture and stream threads allocate
  // while the first frame comes in.
  struct Run {
    int id = 0;
    bool failed_in_creation = false;
    int preview = -1;
    int frame = 0;
  };
  const auto scenario = [this](Run* run) {
    run->id = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    run->failed_in_creation = alloc::Fired();
    if (run->id == 0) return;
    id_ = run->id;
    run->preview = KolThermo_Preview(run->id);
    if (run->preview == 1) run->frame = window_.NextFrame(kFrameWaitMs);
  };
  const uint64_t before = alloc::ProcessCount();
  Run dry;
  scenario(&dry);
  const uint64_t total = alloc::ProcessCount() - before;
  ASSERT_NE(0, dry.frame);
  ASSERT_EQ(1, KolThermo_Release(id_));
  id_ = 0;
  window_.Drain();

  for (const uint64_t n : SweepPoints("creation and preview", total, 50)) {
    const std::string where = "allocation " + std::to_string(n) + " of " + std::to_string(total);
    hang_watch_.Enter("creation and preview", n);
    Run run;
    alloc::Arm(n, Scope::kAllThreads);
    scenario(&run);
    alloc::Disarm();
    if (run.id == 0) {
      // Creation failed with nothing to release; a fresh instance works.
      Create();
      ExpectRecovers(where);
    } else {
      EXPECT_TRUE(run.preview == 0 || run.preview == 1) << where;
      // Close joins the capture thread: a failure it met late has been reported.
      KolThermo_Close(id_);
      const std::vector<int> codes = ExpectKnownCodes(where, {2, 3, 4, 6, 7, 8, 10});
      if (run.preview == 1 && run.frame == 0) {
        // A preview that reported success and then published nothing must
        // have said why.
        EXPECT_FALSE(codes.empty()) << where << ": preview started but no frame and no code";
      }
      KolThermoWChar name[18];
      if (run.failed_in_creation && KolThermo_IsCameraEnableW(id_, 0, name, 18) == 0) {
        // The driver could not open the camera while the new instance looked
        // for cameras: to this instance, as to any created while the camera
        // was unplugged, there is none. A new instance finds it.
        EXPECT_EQ(0, KolThermo_Preview(id_)) << where;
        EXPECT_EQ(KOLTHERMO_CODE_CAMERA_NOT_AVAILABLE, KolThermo_GetLastError(id_)) << where;
        EXPECT_EQ(1, KolThermo_Release(id_)) << where;
        Create();
      }
      ExpectRecovers(where);
    }
    EXPECT_EQ(1, KolThermo_Release(id_)) << where;
    id_ = 0;
    if (HasFatalFailure()) return;
  }
}

TEST_F(AllocationFailureTest, StartingPreviewOnTheHostThread) {
  // Only the host thread's allocations, so that each run fails the same one:
  // the frame ring, the capture thread and its completion event, the stream
  // thread, the camera's set-up requests.
  ASSERT_NO_FATAL_FAILURE(Create());
  const uint64_t before = alloc::ThreadCount();
  ASSERT_EQ(1, KolThermo_Preview(id_));
  const uint64_t total = alloc::ThreadCount() - before;
  ASSERT_NE(0u, total);
  KolThermo_Close(id_);
  kt::test::DrainCodes(id_);
  window_.Drain();

  // A spread of the allocations once each (every one with
  // KOLTHERMO_ALLOCATION_SWEEP=full); every sixth with all later ones failing too.
  for (const uint64_t n : SweepPoints("preview start", total, 100)) {
    for (const Extent extent : {Extent::kOnce, Extent::kFromThereOn}) {
      if (extent == Extent::kFromThereOn && n % 6 != 1) continue;
      const std::string where = "allocation " + std::to_string(n) + " of " + std::to_string(total) +
                                (extent == Extent::kOnce ? "" : " and every later one");
      hang_watch_.Enter("preview start", n);
      int started = -1;
      {
        alloc::ArmedScope armed(n, Scope::kThisThread, extent);
        started = KolThermo_Preview(id_);
      }
      const std::vector<int> codes = ExpectKnownCodes(where, {2, 4, 6, 7, 8, 10});
      if (started == 1) {
        // Started: frames come, or the stream's failure is reported.
        const int frame = AwaitFrame();
        const std::vector<int> later = ExpectKnownCodes(where, {3, 4, 8});
        EXPECT_TRUE(frame != 0 || !later.empty()) << where << ": started, but no frame";
      } else {
        EXPECT_EQ(0, started) << where;
      }
      ExpectRecovers(where);
    }
  }
}

// ---- Calibration table load ----

TEST_F(AllocationFailureTest, LoadingATable) {
  ASSERT_NO_FATAL_FAILURE(Create());
  ASSERT_NO_FATAL_FAILURE(PreviewPaused());
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(table_path_)));
  // The scene's codes climb from frame to frame and most of them lie outside
  // the table's curve: hold a frame that has temperatures to compare.
  std::vector<float> expected(temperatures_.size());
  int frame = 0;
  auto has_temperatures = [&expected] {
    return std::any_of(expected.begin(), expected.end(), [](float t) { return t != -999.0f; });
  };
  for (int tries = 0; tries < 200; ++tries) {
    frame = KolThermo_GetNewID(id_);
    ASSERT_EQ(1, KolThermo_GetTemperature(id_, frame, expected.data(), kTemperatureBytes));
    if (has_temperatures()) break;
    KolThermo_Start(id_);
    ASSERT_NE(0, AwaitFrame());
    KolThermo_Pause(id_);
  }
  ASSERT_TRUE(has_temperatures()) << "no frame of the scene has temperatures";
  kt::test::DrainCodes(id_);

  const uint64_t before = alloc::ThreadCount();
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(table_path_)));
  const uint64_t total = alloc::ThreadCount() - before;
  ASSERT_NE(0u, total);

  for (const uint64_t n : SweepPoints("table load", total, 120)) {
    for (const Extent extent : {Extent::kOnce, Extent::kFromThereOn}) {
      const std::string where = "allocation " + std::to_string(n) + " of " + std::to_string(total) +
                                (extent == Extent::kOnce ? "" : " and every later one");
      hang_watch_.Enter("table load", n);
      int loaded = -1;
      {
        alloc::ArmedScope armed(n, Scope::kThisThread, extent);
        loaded = KolThermo_SetTableW(id_, Wide(table_path_));
      }
      const std::vector<int> codes = ExpectKnownCodes(where, {6, 9});
      if (loaded == 0) {
        EXPECT_FALSE(codes.empty()) << where << ": failed without a code";
      } else {
        EXPECT_EQ(1, loaded) << where;
      }
      // Whether it loaded or not, the instance's table is whole: the one loaded
      // before or the same one again.
      ASSERT_EQ(1, KolThermo_GetTemperature(id_, frame, temperatures_.data(), kTemperatureBytes))
          << where;
      EXPECT_EQ(expected, temperatures_) << where;
    }
  }
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(table_path_)));
  ExpectRecovers("after the sweep");
}

// ---- Still images ----

// True when `path` holds a readable camera-sized still of `format`.
bool StillReadsBack(const std::filesystem::path& path, int format) {
  std::error_code error;
  switch (format) {
    case 0:  // BMP: headers, then the colour surface's rows
      return std::filesystem::file_size(path, error) == 14u + 40u + kColourBytes;
    case 2: {
      const kt::test::DecodedImage image = kt::test::DecodeJpeg(path);
      return image.ok && image.width == 384 && image.height == 288;
    }
    case 5:
    case 8: {
      const kt::test::DecodedImage image = kt::test::DecodePng(path);
      return image.ok && image.width == 384 && image.height == 288;
    }
    case 6: {
      const kt::test::DecodedImage image = kt::test::DecodeTiff(path);
      return image.ok && image.width == 384 && image.height == 288;
    }
    case 12:  // temperatures as 32-bit floats
      return std::filesystem::file_size(path, error) == kTemperatureBytes;
    default:
      return false;
  }
}

TEST_F(AllocationFailureTest, SavingStills) {
  ASSERT_NO_FATAL_FAILURE(Create());
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(table_path_)));
  ASSERT_NO_FATAL_FAILURE(PreviewPaused());
  for (const int format : {0, 2, 5, 6, 8, 12}) {
    const std::string format_name = "still format " + std::to_string(format);
    const std::u16string dry_path = dir_.Wide("dry" + std::to_string(format));
    const uint64_t before = alloc::ThreadCount();
    ASSERT_EQ(1, KolThermo_SaveW(id_, Wide(dry_path), format)) << format;
    const uint64_t total = alloc::ThreadCount() - before;
    ASSERT_NE(0u, total) << format;
    ASSERT_TRUE(StillReadsBack(dir_.Path("dry" + std::to_string(format)), format)) << format;

    for (const uint64_t n : SweepPoints(format_name.c_str(), total, 40)) {
      for (const Extent extent : {Extent::kOnce, Extent::kFromThereOn}) {
        const std::string name = "still" + std::to_string(format) + "_" + std::to_string(n) +
                                 (extent == Extent::kOnce ? "a" : "b");
        const std::string where = "format " + std::to_string(format) + ", allocation " +
                                  std::to_string(n) + " of " + std::to_string(total) +
                                  (extent == Extent::kOnce ? "" : " and every later one");
        const std::u16string path = dir_.Wide(name);
        hang_watch_.Enter("still saving", n);
        int saved = -1;
        {
          alloc::ArmedScope armed(n, Scope::kThisThread, extent);
          saved = KolThermo_SaveW(id_, Wide(path), format);
        }
        const std::vector<int> codes = ExpectKnownCodes(where, {6, 9});
        if (saved == 1) {
          EXPECT_TRUE(StillReadsBack(dir_.Path(name), format)) << where << ": saved a bad file";
          EXPECT_TRUE(codes.empty()) << where;
        } else {
          EXPECT_EQ(0, saved) << where;
          EXPECT_FALSE(codes.empty()) << where << ": failed without a code";
        }
      }
    }
  }
  ExpectRecovers("after the sweep");
}

// ---- Recording ----

TEST_F(AllocationFailureTest, StartingAndStoppingARecording) {
  ASSERT_NO_FATAL_FAILURE(Create());
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(table_path_)));
  struct Run {
    int preview = -1;
    int record = -1;
    int stop = -1;
  };
  // Acquisition starts with the recording requested, records a few frames
  // and stops the recording, counted across all threads: the capture thread
  // opens, writes and finishes the file.
  const auto scenario = [this](const std::u16string& path, int mode, Run* run) {
    run->record = KolThermo_RecW(id_, Wide(path), mode);
    run->preview = KolThermo_Preview(id_);
    if (run->preview == 1) FetchFrames(3);
    run->stop = KolThermo_RecW(id_, Wide(path), 0);
    if (run->preview == 1) FetchFrames(1);
    KolThermo_Close(id_);
  };
  for (const int mode : {2, 1, 3}) {
    const std::string extension = mode == 2 ? ".avi" : ".dat";
    const std::string mode_name = "recording mode " + std::to_string(mode);
    const std::u16string dry_path = dir_.Wide("dry" + extension);
    Run dry;
    const uint64_t before = alloc::ProcessCount();
    scenario(dry_path, mode, &dry);
    const uint64_t total = alloc::ProcessCount() - before;
    ASSERT_EQ(1, dry.record);
    ASSERT_EQ(1, dry.preview);
    ASSERT_TRUE(kt::test::DrainCodes(id_) == std::vector<int>{10}) << mode;
    window_.Drain();

    for (const uint64_t n : SweepPoints(mode_name.c_str(), total, 20)) {
      const std::string name = "video" + std::to_string(mode) + "_" + std::to_string(n) + extension;
      const std::string where = "mode " + std::to_string(mode) + ", allocation " +
                                std::to_string(n) + " of " + std::to_string(total);
      const std::u16string path = dir_.Wide(name);
      hang_watch_.Enter("recording", n);
      whole_ = true;
      Run run;
      {
        alloc::ArmedScope armed(n, Scope::kAllThreads);
        scenario(path, mode, &run);
      }
      EXPECT_TRUE(run.record == 0 || run.record == 1) << where;
      EXPECT_TRUE(run.preview == 0 || run.preview == 1) << where;
      EXPECT_TRUE(run.stop == 0 || run.stop == 1) << where;
      EXPECT_TRUE(whole_) << where << ": a torn frame";
      const std::vector<int> codes = ExpectKnownCodes(where, {2, 3, 4, 6, 7, 8, 9, 10});
      if (run.record == 0 || run.preview == 0 || run.stop == 0) {
        EXPECT_FALSE(codes.empty()) << where << ": failed without a code";
      }
      const bool file_failed = std::find(codes.begin(), codes.end(), 9) != codes.end();
      const std::filesystem::path file = dir_.Path(name);
      if (mode == 2 && run.record == 1 && run.preview == 1 && !file_failed &&
          std::filesystem::exists(file)) {
        // A recording that reported no failure is a finished video.
        kt::test::ExpectFinishedAvi(kt::test::ReadFileBytes(file), where);
      }
      if (mode != 2 && std::filesystem::exists(file)) {
        // Raw and temperature recordings hold whole frames only.
        const uint64_t frame_bytes = mode == 1 ? kRawBytes : kTemperatureBytes;
        EXPECT_EQ(0u, std::filesystem::file_size(file) % frame_bytes) << where;
      }
      window_.Drain();
      ExpectRecovers(where);
      std::filesystem::remove(file);
    }
  }
}

// ---- Host-thread calls with no memory at all ----

TEST_F(AllocationFailureTest, CallsThatFailForLackOfMemoryLeaveTheirReason) {
  // Every allocation of the calling thread fails: each call either does its
  // work without allocating or fails with its reason among the codes, never
  // with a bare 0 that leaves the host guessing. A table that cannot be read
  // into memory is a failed table (9); anything else is out of memory (6).
  ASSERT_NO_FATAL_FAILURE(Create());
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, AwaitFrame());
  kt::test::DrainCodes(id_);
  const NamedFiles files = Files("no_memory");
  const FileCall calls[] = {
      {"RecW", 6, [](int id, const NamedFiles& f) { return KolThermo_RecW(id, Wide(f.video), 2); }},
      {"SaveW", 6,
       [](int id, const NamedFiles& f) { return KolThermo_SaveW(id, Wide(f.still), 5); }},
      {"SetTableW", 9,
       [](int id, const NamedFiles& f) { return KolThermo_SetTableW(id, Wide(f.table)); }},
      // The narrow forms' first allocation is the wide copy of the name.
      {"RecA", 6,
       [](int id, const NamedFiles& f) { return KolThermo_RecA(id, f.video_a.c_str(), 2); }},
      {"SaveA", 6,
       [](int id, const NamedFiles& f) { return KolThermo_SaveA(id, f.still_a.c_str(), 5); }},
      {"SetTableA", 6,
       [](int id, const NamedFiles& f) { return KolThermo_SetTableA(id, f.table_a.c_str()); }},
  };
  for (const FileCall& call : calls) {
    int result = -1;
    {
      alloc::ArmedScope armed(1, Scope::kThisThread, Extent::kFromThereOn);
      result = call.run(id_, files);
    }
    const std::vector<int> codes = ExpectKnownCodes(call.name, {6, 9});
    if (result == 0) {
      EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), call.reason))
          << call.name << ": codes " << ::testing::PrintToString(codes);
    } else {
      EXPECT_EQ(1, result) << call.name;
    }
  }
  const std::u16string video = files.video;
  KolThermo_RecW(id_, Wide(video), 0);
  ExpectRecovers("after the calls");
}

TEST_F(AllocationFailureTest, NarrowFormsNeverFailWithoutAReason) {
  // The A forms look the instance up before they convert the name, as the W
  // forms do: wherever memory runs out, a failure leaves its reason behind.
  ASSERT_NO_FATAL_FAILURE(Create());
  ASSERT_NO_FATAL_FAILURE(PreviewPaused());
  const NamedFiles files = Files("narrow");
  const FileCall calls[] = {
      {"SetTableA", 0,
       [](int id, const NamedFiles& f) { return KolThermo_SetTableA(id, f.table_a.c_str()); }},
      {"SaveA", 0,
       [](int id, const NamedFiles& f) { return KolThermo_SaveA(id, f.still_a.c_str(), 5); }},
      {"RecA", 0,
       [](int id, const NamedFiles& f) { return KolThermo_RecA(id, f.video_a.c_str(), 2); }},
  };
  for (const FileCall& call : calls) {
    const uint64_t before = alloc::ThreadCount();
    ASSERT_EQ(1, call.run(id_, files)) << call.name;
    const uint64_t total = alloc::ThreadCount() - before;
    ASSERT_NE(0u, total) << call.name;
    kt::test::DrainCodes(id_);
    for (const uint64_t n : SweepPoints(call.name, total, 30)) {
      const std::string where = std::string(call.name) + ", allocation " + std::to_string(n);
      hang_watch_.Enter(call.name, n);
      int result = -1;
      {
        alloc::ArmedScope armed(n, Scope::kThisThread, Extent::kOnce);
        result = call.run(id_, files);
      }
      const std::vector<int> codes = ExpectKnownCodes(where, {6, 9});
      if (result == 0) {
        EXPECT_FALSE(codes.empty()) << where << ": failed without a code";
      } else {
        EXPECT_EQ(1, result) << where;
      }
    }
  }
  KolThermo_RecW(id_, Wide(files.video), 0);
  ExpectRecovers("after the sweep");
}

// ---- The capture and stream threads ----

TEST_F(AllocationFailureTest, CaptureAndStreamThreadsWhileRecordingAndFetching) {
  // The host only waits for frames and fetches them, which allocates nothing:
  // the allocations counted are made by the capture thread (recording a
  // video, posting messages), the stream thread or the simulated driver.
  ASSERT_NO_FATAL_FAILURE(Create());
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(table_path_)));
  const std::u16string path = dir_.Wide("background.avi");
  ASSERT_EQ(1, KolThermo_RecW(id_, Wide(path), 2));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, AwaitFrame());
  const uint64_t before = alloc::ProcessCount();
  FetchFrames(6);
  const uint64_t total = alloc::ProcessCount() - before;
  ASSERT_NE(0u, total);
  ASSERT_TRUE(whole_);
  KolThermo_Close(id_);
  kt::test::DrainCodes(id_);
  window_.Drain();

  for (const uint64_t n : SweepPoints("capture and stream threads", total, 60)) {
    const std::string where = "allocation " + std::to_string(n) + " of " + std::to_string(total);
    ASSERT_EQ(1, KolThermo_Preview(id_)) << where;
    ASSERT_NE(0, AwaitFrame()) << where;
    hang_watch_.Enter("capture and stream threads", n);
    whole_ = true;
    {
      alloc::ArmedScope armed(n, Scope::kAllThreads);
      FetchFrames(6);
    }
    EXPECT_TRUE(whole_) << where << ": a torn frame";
    // Frames may go on, or the thread that met the failure reports it: the
    // stream as a lost camera, the capture loop as memory, the recording as a
    // file failure. A failure at the very end of the window is reported after
    // it; Close joins the capture thread, so every report is in by then.
    KolThermo_Close(id_);
    ExpectKnownCodes(where, {3, 4, 5, 6, 8, 9, 10});
    window_.Drain();
    ExpectRecovers(where);
  }
}

}  // namespace
