// The recorder alone, stepped frame by frame on this thread as the capture
// loop would: which file each frame lands in when the request changes, ends
// or fails, without a camera or a capture thread.
#include "camera/recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "kolthermo/kolthermo.h"
#include "support/test_support.h"

namespace kt {
namespace {

constexpr uintmax_t kRawFrameBytes = kFrameWidth * kFrameHeight * 2;

TEST(RecorderTest, EachFrameLandsInTheFileOfTheRequestItFollows) {
  test::TempDir dir;
  CodeStore codes;
  CThermoTable table;
  FrameSlot frame;
  ASSERT_NE(0, frame.raw.Create(kFrameWidth, kFrameHeight, 16));
  ASSERT_NE(0, frame.colour.Create(kFrameWidth, kFrameHeight, 24));
  const Recorder::FrameSettings settings{2000, false};
  Recorder recorder(codes);
  ASSERT_TRUE(recorder.Request(dir.Wide("a.raw").c_str(), KOLTHERMO_RECORD_RAW));
  recorder.Begin(frame);
  ASSERT_TRUE(recorder.is_recording());

  // Each step: an optional new request, then one recorded frame.
  const struct {
    const char* path;  // nullptr: no new request
    int32_t mode;
    bool recording;  // afterwards
    size_t codes;    // waiting afterwards
  } steps[] = {
      {nullptr, 0, true, 0},                              // a: 1 frame
      {nullptr, 0, true, 0},                              // a: 2 frames
      {"b.raw", KOLTHERMO_RECORD_RAW, true, 0},           // a closed; b opened, empty
      {nullptr, 0, true, 0},                              // b: 1 frame
      {"b.raw", KOLTHERMO_RECORD_NONE, false, 0},         // b closed
      {"missing/c.raw", KOLTHERMO_RECORD_RAW, false, 1},  // cannot open: code 9
      {nullptr, 0, false, 1},                             // not tried again unasked
      {"missing/c.raw", KOLTHERMO_RECORD_RAW, false, 2},  // asked again: tried again
      {"d.raw", 7, false, 3},                             // unknown mode: code 9
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    const auto& step = steps[i];
    if (step.path != nullptr) {
      ASSERT_TRUE(recorder.Request(dir.Wide(step.path).c_str(), step.mode));
    }
    recorder.RecordFrame(frame, table, settings);
    EXPECT_EQ(step.recording, recorder.is_recording()) << "step " << i;
    EXPECT_EQ(step.codes, codes.size()) << "step " << i;
  }
  recorder.End();
  EXPECT_EQ(2 * kRawFrameBytes, std::filesystem::file_size(dir.Path("a.raw")));
  EXPECT_EQ(1 * kRawFrameBytes, std::filesystem::file_size(dir.Path("b.raw")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("d.raw")));
  EXPECT_EQ(7, recorder.requested_mode());
}

}  // namespace
}  // namespace kt
