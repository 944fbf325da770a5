// Whole-frame conversion of a raw surface to temperatures. Each converter
// takes one snapshot for the whole frame, so a frame never mixes two tables.
// The float converter reads the lookup table; the integer ones read the
// CodeTemperature of every 16-bit code, already clamped and truncated as each
// of them writes it.
#include <cstring>
#include <vector>

#include "imaging/dib_surface.h"
#include "thermal/thermo_table.h"

namespace kt {
namespace {

bool IsConvertible(const CDibSurface& raw) {
  return raw.pixels() != nullptr && raw.bits_per_pixel() == 16 && raw.width() > 0 &&
         raw.height() > 0 && raw.stride() >= 2 * raw.width();
}

// Calls convert(raw row pointer, output row pointer) for every row; output row
// k comes from stored row k, or from row h - 1 - k when `reversed`.
template <typename Out, typename RowFunction>
void ForEachRow(const CDibSurface& raw, Out* out, bool reversed, RowFunction convert) {
  const int32_t height = raw.height();
  const auto width = static_cast<size_t>(raw.width());
  for (int32_t k = 0; k < height; ++k) {
    const int32_t source_row = reversed ? height - 1 - k : k;
    const uint8_t* source =
        raw.pixels() + static_cast<size_t>(source_row) * static_cast<size_t>(raw.stride());
    convert(source, out + static_cast<size_t>(k) * width, width);
  }
}

uint16_t CodeAt(const uint8_t* row, size_t j) {
  uint16_t code = 0;
  std::memcpy(&code, row + 2 * j, sizeof code);
  return code;
}

// out[j] = table[code j of the row]. Codes are read eight at a time, before
// their table reads and the stores, so that a store into the output cannot
// force the codes to be read again.
template <typename T>
void GatherRow(const uint8_t* source, const T* table, T* out, size_t width) {
  constexpr size_t kBatch = 8;
  size_t j = 0;
  for (; j + kBatch <= width; j += kBatch) {
    uint16_t codes[kBatch];
    std::memcpy(codes, source + 2 * j, sizeof codes);
    T values[kBatch];
    for (size_t k = 0; k < kBatch; ++k) values[k] = table[codes[k]];
    std::memcpy(out + j, values, sizeof values);
  }
  for (; j < width; ++j) out[j] = table[CodeAt(source, j)];
}

// Converts every pixel through a 65536-entry table of results.
template <typename T>
void ConvertThroughTable(const CDibSurface& raw, const T* table, T* out, bool reversed) {
  ForEachRow(raw, out, reversed, [table](const uint8_t* source, T* row, size_t width) {
    GatherRow(source, table, row, width);
  });
}

}  // namespace

uint8_t ClampToUInt8(float temperature) {
  if (temperature <= 0.0f) return 0;
  if (temperature >= 255.0f) return 255;
  if (temperature != temperature) return 0;  // NaN from a hostile table
  return static_cast<uint8_t>(temperature);
}

int8_t ClampToInt8(float temperature) {
  if (temperature <= -128.0f) return -128;
  if (temperature >= 127.0f) return 127;
  if (temperature != temperature) return 0;  // NaN from a hostile table
  return static_cast<int8_t>(temperature);
}

void ThermoTableState::PrepareCodeTemperatures() {
  // A direct table's codes read their own lookup entries (every entry from
  // 16384 on is -999.0); other tables read the interpolation.
  const std::vector<float>& source = direct ? lookup : interpolated;
  code_uint8.resize(source.size());
  code_int8.resize(source.size());
  code_int32.resize(source.size());
  for (size_t x = 0; x < source.size(); ++x) {
    code_uint8[x] = ClampToUInt8(source[x]);
    code_int8[x] = ClampToInt8(source[x]);
    code_int32[x] = TruncateToInt32(source[x]);
  }
}

namespace {

// The raw surface stores the picture's bottom row first: output that starts
// with the top row takes the stored rows in reverse.
bool ReversesStoredRows(RowOrder out_rows) { return out_rows == RowOrder::kTopDown; }

}  // namespace

bool CThermoTable::ConvertToFloat(const CDibSurface& raw, float* out, RowOrder out_rows) const {
  if (out == nullptr || !IsConvertible(raw)) return false;
  const std::shared_ptr<const ThermoTableState> state = Snapshot();
  // Every entry from 16384 on is -999.0, so indexing with any code gives
  // LookupTemperature's result without a range test.
  ConvertThroughTable(raw, state->lookup.data(), out, ReversesStoredRows(out_rows));
  return true;
}

bool CThermoTable::ConvertToUInt8(const CDibSurface& raw, uint8_t* out, RowOrder out_rows) const {
  if (out == nullptr || !IsConvertible(raw)) return false;
  const std::shared_ptr<const ThermoTableState> state = Snapshot();
  ConvertThroughTable(raw, state->code_uint8.data(), out, ReversesStoredRows(out_rows));
  return true;
}

bool CThermoTable::ConvertToInt8(const CDibSurface& raw, int8_t* out, RowOrder out_rows) const {
  if (out == nullptr || !IsConvertible(raw)) return false;
  const std::shared_ptr<const ThermoTableState> state = Snapshot();
  ConvertThroughTable(raw, state->code_int8.data(), out, ReversesStoredRows(out_rows));
  return true;
}

bool CThermoTable::ConvertToInt32(const CDibSurface& raw, int32_t* out, RowOrder out_rows) const {
  if (out == nullptr || !IsConvertible(raw)) return false;
  const std::shared_ptr<const ThermoTableState> state = Snapshot();
  ConvertThroughTable(raw, state->code_int32.data(), out, ReversesStoredRows(out_rows));
  return true;
}

}  // namespace kt
