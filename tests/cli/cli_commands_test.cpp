// kolthermo's command line: help pages, usage errors, and the commands that
// print rather than write (list, info, watch, table).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/test_support.h"

namespace kt::test {
namespace {

using ::testing::HasSubstr;

const std::vector<std::string> kCommands{"list",  "info",  "snap", "record",
                                         "watch", "table", "demo", "view"};

TEST(CliHelp, EveryCommandExplainsItselfAndExitsZero) {
  TempDir dir;
  for (const std::string& command : kCommands) {
    const CliRun run = RunCli({command, "--help"}, dir.path());
    EXPECT_EQ(run.exit_status, 0) << command;
    EXPECT_THAT(run.output, HasSubstr("Usage: kolthermo " + command)) << command;
    EXPECT_THAT(run.output, HasSubstr("Exit status:")) << command;
  }
  const CliRun overview = RunCli({"--help"}, dir.path());
  EXPECT_EQ(overview.exit_status, 0);
  for (const std::string& command : kCommands) EXPECT_THAT(overview.output, HasSubstr(command));
}

TEST(CliUsage, MistakesExitTwoWithAMessageAndAHint) {
  TempDir dir;
  const std::vector<std::vector<std::string>> mistakes{
      {},
      {"frobnicate"},
      {"snap", "--colour"},
      {"snap", "--format", "gif"},
      {"snap", "--count", "0"},
      {"snap", "--count", "3x"},
      {"snap", "--output"},
      {"record", "--mode", "mpeg"},
      {"record", "--seconds", "1", "--frames", "5"},
      {"record", "--seconds", "-1"},
      {"watch", "--seconds", "soon"},
      {"info", "--camera", "8"},
      {"list", "extra"},
      {"table", "--output", "t.bin"},
      {"table", "--layout", "4000", "--sub-tables", "2", "--output", "t.bin"},
      {"demo", "--video-frames", "0"},
      {"view", "--port", "65536"},
      {"view", "--host", ""},
      {"snap", "--format", "png", "--output", "t.bin.bmp"},
      {"snap", "--scale-bar=yes"},
      {"--version", "extra"},
      {"snap", "--palette", "mauve"},
      {"snap", "--range", "40:20"},
      {"snap", "--isotherm", "near:5"},
      {"snap", "--spot", "383,10"},  // the radius-1 disc reaches outside
      {"snap", "--box", "0,0,0,5"},
      {"snap", "--emissivity", "0"},
      {"snap", "--emissivity", "1.5", "--format", "celsius-tiff"},
      {"snap", "--reflected", "20", "--format", "celsius-tiff"},  // without --emissivity
      {"snap", "--palette", "iron", "--format", "raw"},
      {"snap", "--emissivity", "0.9", "--format", "bmp"},  // saved uncorrected: refused
      {"record", "--palette", "iron", "--mode", "raw"},
      {"record", "--scale-bar", "--split-mb", "5", "--output", "x.avi"},
      {"record", "--mode", "celsius-tiff", "--split-mb", "5"},
  };
  for (const auto& args : mistakes) {
    const CliRun run = RunCli(args, dir.path());
    std::string line;
    for (const auto& word : args) line += word + " ";
    EXPECT_EQ(run.exit_status, 2) << line << "\n" << run.output;
    EXPECT_THAT(run.output, HasSubstr("kolthermo")) << line;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("t.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("t.bin.bmp")));
}

TEST(CliVersion, PrintsTheSdkVersion) {
  TempDir dir;
  const CliRun run = RunCli({"--version"}, dir.path());
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, "kolthermo " KOLTHERMO_SDK_VERSION "\n");
}

TEST(CliTables, TemperaturesWithoutATableAreRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  const std::vector<std::vector<std::string>> requests{
      {"snap", "--format", "temp-f32"},
      {"snap", "--output", "x.csv"},
      {"snap", "--format", "celsius-tiff", "--output", "x.tiff"},
      {"snap", "--spot", "10,10"},
      {"snap", "--box", "0,0,5,5", "--format", "raw"},
      {"snap", "--palette", "iron", "--output", "x.png"},
      {"record", "--mode", "temperature"},
      {"record", "--output", "x.f32"},
      {"record", "--mode", "celsius-tiff", "--frames", "2"},
      {"record", "--palette", "iron", "--frames", "2"},
  };
  for (const auto& args : requests) {
    const CliRun run = RunCli(args, dir.path());
    EXPECT_EQ(run.exit_status, 2) << args[1] << " " << args[2] << "\n" << run.output;
    EXPECT_THAT(run.output, HasSubstr("--table FILE")) << args[1];
    EXPECT_THAT(run.output, HasSubstr("kolthermo table --layout 4000")) << args[1];
  }
  // Nothing but the tool's output log.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(CliList, ShowsTheSimulatedCameraInSlotZeroAndEmptySlots) {
  TempDir dir;
  const CliRun run = RunCli({"list"}, dir.path());
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("slot 0  KolThermoV7R2K"));
  EXPECT_THAT(run.output, HasSubstr("slot 7  -"));
  EXPECT_THAT(run.output, HasSubstr("1 camera found"));
}

TEST(CliInfo, PrintsVersionParametersAndInternalTemperature) {
  TempDir dir;
  const CliRun run = RunCli({"info"}, dir.path());
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("library version  1967181 (0x001E044D)"));
  EXPECT_THAT(run.output, HasSubstr("frame ring size (slots)"));
  EXPECT_THAT(run.output, HasSubstr("NUC hold time (ms)"));
  EXPECT_THAT(run.output, HasSubstr("1200"));
  EXPECT_THAT(run.output, HasSubstr("internal temperature"));

  // An empty slot is a failure told in words, with the event code's name.
  const CliRun empty = RunCli({"info", "--camera", "5"}, dir.path());
  EXPECT_EQ(empty.exit_status, 1);
  EXPECT_THAT(empty.output, HasSubstr("code 2 (camera not available)"));
}

TEST(CliWatch, StatusLinesCarryRateAndSceneTemperatures) {
  TempDir dir;
  ASSERT_EQ(RunCli({"table", "--layout", "4000", "--output", "t.bin"}, dir.path()).exit_status, 0);
  // The table's NUC hold takes 1.2 s before the first frame.
  const CliRun run = RunCli({"watch", "--seconds", "2.5", "--table", "t.bin"}, dir.path());
  EXPECT_EQ(run.exit_status, 0) << run.output;
  // Not a terminal: plain lines, once a second.
  EXPECT_THAT(run.output, HasSubstr(" fps  min "));
  EXPECT_THAT(run.output, HasSubstr("max "));
  EXPECT_THAT(run.output, HasSubstr("internal "));
  // Preview start always reports code 10 (parameter 16 is not supported).
  EXPECT_THAT(run.output, HasSubstr("event code 10 (not supported)"));
  EXPECT_EQ(run.output.find('\r'), std::string::npos);
}

TEST(CliTable, WritesTheSameBytesAsKolthermoTable) {
  TempDir dir;
  for (const std::vector<std::string>& layout : {std::vector<std::string>{"--layout", "4000"},
                                                 {"--layout", "2000", "--sub-tables", "3"},
                                                 {"--layout", "headerless", "--points", "50"}}) {
    std::vector<std::string> ours{"table"};
    ours.insert(ours.end(), layout.begin(), layout.end());
    ours.insert(ours.end(), {"--output", "ours.bin"});
    std::vector<std::string> theirs = layout;
    theirs.insert(theirs.end(), {"--output", "theirs.bin"});
    const CliRun run = RunCli(ours, dir.path());
    ASSERT_EQ(run.exit_status, 0) << run.output;
    ASSERT_EQ(RunTableProgram(theirs, dir.path()).exit_status, 0);
    const auto bytes = ReadFileBytes(dir.Path("ours.bin"));
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes, ReadFileBytes(dir.Path("theirs.bin"))) << layout[1];
    EXPECT_THAT(run.output, HasSubstr(std::to_string(bytes.size()) + " bytes"));
  }
  const CliRun unwritable =
      RunCli({"table", "--layout", "1000", "--output", "no/such/dir/t.bin"}, dir.path());
  EXPECT_EQ(unwritable.exit_status, 1);
}

}  // namespace
}  // namespace kt::test
