// Loading calibration tables: the five layouts, point counts, sub-tables, and
// files that lie about their size.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/file.h"
#include "platform/sdk_file.h"
#include "support/test_support.h"
#include "table_files.h"

namespace kt {
namespace {

using test::DirectFile;
using test::DirectPoints;
using test::DriftFile;
using test::HeaderlessFile;
using test::Load;
using test::Ramp;
using test::SubTableFile;
using test::TableBytes;

TEST(TableLoading, DirectTablesIndexByPointWhateverTheRawField) {
  for (int version : {1, 3}) {
    CThermoTable table;
    ASSERT_EQ(Load(table, DirectFile(version, DirectPoints(kCalibratedCodes))), 1);
    EXPECT_EQ(table.version(), version);
    EXPECT_EQ(table.LookupTemperature(1234), -50.0f + 1234.0f / 64.0f);
    EXPECT_EQ(table.LookupTemperature(16383), -50.0f + 16383.0f / 64.0f);
    EXPECT_EQ(table.LookupTemperature(16384), kNoTemperature);
    EXPECT_EQ(table.LookupTemperature(65535), kNoTemperature);
  }
}

TEST(TableLoading, ShortDirectTableLeavesTheRestWithoutTemperature) {
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(1, DirectPoints(100))), 1);
  EXPECT_EQ(table.LookupTemperature(0), -50.0f);
  EXPECT_EQ(table.LookupTemperature(99), -50.0f + 99.0f / 64.0f);
  for (int raw : {100, 101, 5000, 16383}) {
    EXPECT_EQ(table.LookupTemperature(static_cast<uint16_t>(raw)), kNoTemperature) << raw;
  }
}

TEST(TableLoading, SubTablesAreChosenByIndexAndCheckedAgainstTheirCount) {
  const auto file = SubTableFile({DirectPoints(10), Ramp(0, 1, 20)});
  CThermoTable table;
  ASSERT_EQ(Load(table, file, 1), 1);
  EXPECT_EQ(table.version(), 2);
  EXPECT_EQ(table.Snapshot()->point_count, 20);
  EXPECT_EQ(table.LookupTemperature(19), 10.0f + 0.01f * 19.0f);
  EXPECT_EQ(table.LookupTemperature(20), kNoTemperature);

  ASSERT_EQ(Load(table, file, 0), 1);
  EXPECT_EQ(table.LookupTemperature(5), -50.0f + 5.0f / 64.0f);
  EXPECT_EQ(table.LookupTemperature(10), kNoTemperature);

  EXPECT_EQ(Load(table, file, 2), 0);
  EXPECT_EQ(Load(table, file, -1), 0);
  EXPECT_EQ(Load(table, TableBytes().Magic(2).Int(0).bytes(), 0), 0);
}

TEST(TableLoading, HostileSubTableHeadersAreRejected) {
  const auto points = DirectPoints(4);
  CThermoTable table;
  // Offsets negative, past the end, at the end, or at the magic (N huge).
  for (int32_t offset : {-4, INT32_MIN, 1000, 64, 0}) {
    const auto file = TableBytes().Magic(2).Int(1).Int(offset).CountedPoints(points).bytes();
    EXPECT_EQ(Load(table, file), 0) << offset;
  }
  // M promising more offsets than the file holds.
  EXPECT_EQ(
      Load(table, TableBytes().Magic(2).Int(0x7FFFFFFF).Int(32).CountedPoints(points).bytes()), 0);
  EXPECT_EQ(table.version(), 0);
}

TEST(TableLoading, DriftTableKeepsItsHeader) {
  const auto points = Ramp(100, 100, 5);
  CThermoTable table;
  ASSERT_EQ(Load(table, DriftFile(25.0f, 0.5f, 2.0f, points, -123456, 0x7FFFFFFF)), 1);
  const auto state = table.Snapshot();
  EXPECT_EQ(state->version, 4);
  EXPECT_EQ(state->header_word1, -123456);
  EXPECT_EQ(state->header_word2, 0x7FFFFFFF);
  EXPECT_EQ(state->tref, 25.0f);
  EXPECT_EQ(state->k1, 0.5f);
  EXPECT_EQ(state->k0, 2.0f);
  EXPECT_EQ(state->base_points.size(), 5u);
  // No recorded temperature: nothing compensated, no lookup built.
  EXPECT_TRUE(state->compensated_points.empty());
  EXPECT_EQ(table.LookupTemperature(150), kNoTemperature);
}

TEST(TableLoading, HeaderlessTableInterpolatesAndKeepsTheVersion) {
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(3, DirectPoints(50))), 1);
  ASSERT_EQ(Load(table, HeaderlessFile(Ramp(100, 100, 3))), 1);
  EXPECT_EQ(table.version(), 3);
  // Pairs (100, 200) and (0 at 0.0, 300): (11.5 + 6.5) / 2.
  EXPECT_FLOAT_EQ(table.LookupTemperature(150), 9.0f);
  EXPECT_EQ(table.LookupTemperature(150), table.Interpolate(150));
  EXPECT_EQ(table.LookupTemperature(20), kNoTemperature);  // the old direct entry is gone
}

TEST(TableLoading, PointCountMustBeOneTo16384) {
  CThermoTable table;
  EXPECT_EQ(Load(table, HeaderlessFile({})), 0);
  EXPECT_EQ(Load(table, DirectFile(1, {})), 0);
  EXPECT_EQ(Load(table, DirectFile(1, DirectPoints(16385))), 0);
  EXPECT_EQ(Load(table, HeaderlessFile(Ramp(0, 1, 16385))), 0);
  EXPECT_EQ(Load(table, TableBytes().Int(-1).Points(Ramp(0, 1, 3)).bytes()), 0);
  EXPECT_EQ(Load(table, HeaderlessFile(Ramp(0, 1, 16384))), 1);
  EXPECT_EQ(table.Snapshot()->point_count, 16384);
}

TEST(TableLoading, OnePointTableKeepsThePreviousLookup) {
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(1, DirectPoints(100))), 1);
  ASSERT_EQ(Load(table, DirectFile(1, {{5, 80.0f}})), 1);
  const auto state = table.Snapshot();
  EXPECT_EQ(state->point_count, 1);
  ASSERT_EQ(state->base_points.size(), 1u);
  EXPECT_EQ(state->base_points[0].temperature, 80.0f);
  EXPECT_EQ(table.LookupTemperature(10), -50.0f + 10.0f / 64.0f);
  EXPECT_EQ(table.Interpolate(6), kNoTemperature);
}

// Every proper prefix of a valid file is rejected; the prefix lives in a
// buffer of exactly its size, so a read past it is caught under ASan.
TEST(TableLoading, EveryTruncationIsRejectedWithoutTouchingTheTable) {
  const auto points = Ramp(100, 100, 4);
  const std::vector<std::pair<std::vector<uint8_t>, int32_t>> files = {
      {HeaderlessFile(points), 0},
      {DirectFile(1, points), 0},
      {SubTableFile({points, DirectPoints(3)}), 1},
      {DirectFile(3, points), 0},
      {DriftFile(20.0f, 0.1f, 1.0f, points), 0},
  };
  CThermoTable table;
  ASSERT_EQ(Load(table, DirectFile(1, DirectPoints(64))), 1);
  const auto before = table.Snapshot();
  for (const auto& [file, sub_table] : files) {
    for (size_t length = 0; length < file.size(); ++length) {
      auto prefix = std::make_unique<uint8_t[]>(length == 0 ? 1 : length);
      std::memcpy(prefix.get(), file.data(), length);
      ASSERT_EQ(table.LoadFromBytes(prefix.get(), length, sub_table), 0) << length;
    }
    CThermoTable fresh;
    EXPECT_EQ(Load(fresh, file, sub_table), 1);
  }
  EXPECT_EQ(table.Snapshot(), before);
  EXPECT_EQ(table.LoadFromBytes(nullptr, 100, 0), 0);
}

TEST(TableLoading, RejectedLoadChangesNothing) {
  std::atomic<float> recorded{20.0f};
  CThermoTable table;
  table.SetRecordedTemperatureSource(&recorded);
  table.SelectActiveList(CThermoTable::ActiveList::kCompensated);
  ASSERT_EQ(Load(table, DriftFile(23.0f, 0.0f, 2.0f, Ramp(100, 100, 20), 7, 8)), 1);
  const auto before = table.Snapshot();
  ASSERT_FALSE(before->compensated_points.empty());

  auto too_many = DirectFile(1, DirectPoints(20));
  too_many[24] = 0x01;
  too_many[25] = 0x40;  // N = 16385
  EXPECT_EQ(Load(table, too_many), 0);
  auto short_drift = DriftFile(0.0f, 0.0f, 0.0f, Ramp(0, 1, 8));
  short_drift.pop_back();
  EXPECT_EQ(Load(table, short_drift), 0);
  EXPECT_EQ(Load(table, SubTableFile({Ramp(0, 1, 8)}), 1), 0);

  const auto after = table.Snapshot();
  EXPECT_EQ(after, before);
  EXPECT_EQ(after->version, 4);
  EXPECT_EQ(after->header_word1, 7);
  EXPECT_EQ(after->compensated_points.size(), 20u);
}

TEST(TableLoading, LoadsFromAFile) {
  test::TempDir dir;
  test::WriteFileBytes(dir.Path("table.bin"), DirectFile(1, DirectPoints(300)));
  CThermoTable table;
  EXPECT_EQ(table.LoadTable(dir.Wide("missing.bin").c_str(), 0), 0);
  EXPECT_EQ(table.LoadTable(nullptr, 0), 0);
  EXPECT_EQ(table.LoadTable(u"", 0), 0);
  EXPECT_EQ(table.version(), 0);
  ASSERT_EQ(table.LoadTable(dir.Wide("table.bin").c_str(), 0), 1);
  EXPECT_EQ(table.LookupTemperature(299), -50.0f + 299.0f / 64.0f);
}

// A file is read only where its layout points, whatever its size: a sub-table
// 2 GiB into a file of more than 4 GiB loads without the file being read
// whole, and one whose points run past the end is still rejected.
TEST(TableLoading, FilesAreReadOnlyWhereTheLayoutPoints) {
  test::TempDir dir;
  constexpr int64_t kSubTableAt = 0x7FFF0000;
  const std::vector<CalibrationPoint> points = DirectPoints(300);
  const std::vector<uint8_t> header = TableBytes().Magic(2).Int(1).Int(kSubTableAt).bytes();
  const std::vector<uint8_t> sub_table = TableBytes().CountedPoints(points).bytes();
  auto write_at = [](CSdkFile& file, int64_t at, const std::vector<uint8_t>& bytes) {
    return platform::FileSeek(file.handle(), at, platform::SeekOrigin::kBegin, nullptr) &&
           file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  };
  {
    CSdkFile file;
    ASSERT_NE(file.OpenWrite(dir.Wide("huge.bin").c_str()), nullptr);
    ASSERT_TRUE(write_at(file, 0, header));
    ASSERT_TRUE(write_at(file, kSubTableAt, sub_table));
    ASSERT_TRUE(write_at(file, (int64_t{1} << 32) + 16, {1, 2, 3}));  // sparse beyond 4 GiB
    ASSERT_NE(file.OpenWrite(dir.Wide("cut.bin").c_str()), nullptr);
    ASSERT_TRUE(write_at(file, 0, header));
    ASSERT_TRUE(
        write_at(file, kSubTableAt, std::vector<uint8_t>(sub_table.begin(), sub_table.end() - 1)));
  }
  CThermoTable table;
  EXPECT_EQ(table.LoadTable(dir.Wide("cut.bin").c_str(), 0), 0);
  EXPECT_EQ(table.version(), 0);
  ASSERT_EQ(table.LoadTable(dir.Wide("huge.bin").c_str(), 0), 1);
  EXPECT_EQ(table.version(), 2);
  EXPECT_EQ(table.LookupTemperature(299), -50.0f + 299.0f / 64.0f);
}

}  // namespace
}  // namespace kt
