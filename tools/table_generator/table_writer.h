// Writes calibration table files for the simulated camera: the points come
// from the simulator's radiometric curve, so a table written here reads true
// scene temperatures from the simulated sensor. Every layout the library loads
// can be written: headerless, 1000, 2000, 3000 and 4000 (with the drift
// coefficients). All integers and reals are little-endian int32 and float32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt::table_writer {

enum class Layout { kHeaderless, k1000, k2000, k3000, k4000 };

// One calibration sample as it is stored in a file.
struct TablePoint {
  int32_t raw = 0;
  float temperature = 0.0f;
};

// The marker of a sample without a temperature.
inline constexpr float kNoTemperature = -999.0f;
// Raw codes 0..16383; no table holds more points than that.
inline constexpr int32_t kMaxPoints = 16384;
// Version 2000 sub-table k is taken at internal temperature Tref + 5k; seven
// sub-tables span the internal temperatures the sensor model is made for.
inline constexpr int32_t kMaxSubTables = 7;
inline constexpr double kSubTableStepC = 5.0;
inline constexpr size_t kMagicSize = 24;

struct TableRequest {
  Layout layout = Layout::k4000;
  // Version 2000 only: the number of sub-tables, 1..kMaxSubTables.
  int32_t sub_tables = 1;
  // 0 writes the full table. Otherwise at most this many points (1..16384):
  // sampled layouts (headerless, 4000) spread them evenly over the curve's
  // raw range, direct layouts (1000, 2000, 3000) keep raw codes 0..limit-1.
  int32_t point_limit = 0;
};

// "headerless", "1000", "2000", "3000" or "4000".
std::optional<Layout> ParseLayout(std::string_view name);
std::string_view LayoutName(Layout layout);

// The 24-byte magic of a layout; empty for the headerless one.
std::string_view Magic(Layout layout);

// (raw, temperature) samples at `internal_c`, raw codes ascending: one per raw
// code over the curve's range for scene -40..250 degrees, each temperature the
// curve's exact inverse of its code. With `limit` > 0 and fewer than all, the
// samples are spread evenly over that range, first and last code included.
std::vector<TablePoint> SampledPoints(double internal_c, int32_t limit);

// A direct table at `internal_c`: point m holds raw code m and its temperature,
// -999.0 outside the curve's range; m = 0..count-1.
std::vector<TablePoint> DirectPoints(double internal_c, int32_t count);

// The internal temperature at which version 2000 sub-table `index` is taken.
double SubTableInternalTemperature(int32_t index);

// The whole file for `request`. Empty with a message in `error` when the request is
// out of range.
std::vector<uint8_t> EncodeTable(const TableRequest& request, std::string* error);

// Writes `bytes` to `path`, replacing the file only once the new one is
// complete (tools/common/replacement_file.h). On failure the previous file is
// left as it was, nothing new is left behind, and `error` says why.
bool WriteTableFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                    std::string* error);

}  // namespace kt::table_writer
