// CThermoTable: the calibration table of one instance. It maps the sensor's raw
// codes to degrees Celsius through a 16384-entry lookup table built from a
// table file, and re-derives itself when the camera's internal temperature
// drifts (version 4000 tables carry the drift coefficients).
//
// Threads: a table is loaded on a host thread and recompensated on the capture
// thread while host threads and the capture thread read temperatures. Every
// change builds a complete new state aside and swaps it in whole; readers take
// a snapshot and see the old table or the new one, never a mix. Changes are
// serialised among themselves.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/image_view.h"
#include "platform/mutex.h"

namespace kt {

class CDibSurface;

// The marker for "no temperature" everywhere in the library.
inline constexpr float kNoTemperature = -999.0f;
// Raw codes 0..16383 are the calibrated range.
inline constexpr int32_t kCalibratedCodes = 16384;
inline constexpr int32_t kLookupEntries = 65536;

// One calibration sample, 8 bytes in the file and in memory.
struct CalibrationPoint {
  int32_t raw = 0;
  float temperature = 0.0f;
};

// One complete table state. Immutable once installed: a state is built aside
// by the one writer, then published whole, so readers holding a snapshot need
// no lock for its fields.
struct ThermoTableState {
  ThermoTableState();

  std::vector<CalibrationPoint> base_points;         // in file order
  std::vector<CalibrationPoint> compensated_points;  // filled by drift compensation
  std::vector<float> lookup;                         // kLookupEntries, -999.0 when unset
  // The interpolated temperature of every raw code 0..65535 over the active
  // point list, computed in one sweep when that list changes; identical to
  // the point-by-point algorithm.
  std::vector<float> interpolated;
  // CodeTemperature of every raw code 0..65535 as each integer converter
  // writes it, so that a frame conversion is one table read per pixel.
  std::vector<uint8_t> code_uint8;
  std::vector<int8_t> code_int8;
  std::vector<int32_t> code_int32;
  int32_t point_count = 1;  // N of the loaded table
  // The points are one temperature per raw code (versions 1000 to 3000),
  // whatever their raw-code column holds.
  bool direct = false;
  int32_t header_word1 = 0;
  int32_t header_word2 = 0;
  float tref = 0.0f;              // internal temperature at calibration (version 4000)
  float k1 = 0.0f;                // drift slope
  float k0 = 0.0f;                // drift offset
  int32_t version = 0;            // 0 none, 1..4 for the magics ending 1000..4000
  bool read_compensated = false;  // the active-list selector

  // The list Interpolate reads: the compensated list once it is selected and
  // holds points, the base list otherwise (so headerless and direct tables
  // still interpolate after the instance switched to compensated reading).
  const std::vector<CalibrationPoint>& active_points() const;
  // LookupTemperature and Interpolate over this state.
  float Lookup(uint16_t raw) const;
  // Codes 0..65535 read `interpolated` (always kLookupEntries long); others
  // run the point-by-point scan.
  float Interpolate(int32_t raw) const {
    if (raw >= 0 && raw < kLookupEntries) return interpolated[static_cast<size_t>(raw)];
    return InterpolateOutsideSweep(raw);
  }
  float InterpolateOutsideSweep(int32_t raw) const;
  // The temperature of a raw code for the converters that the table format
  // leaves to interpolation (still formats 10 to 12, temperature recordings):
  // a direct table's lookup, which is what the code's point says and what
  // LookupTemperature gives; the interpolation over the points otherwise.
  float CodeTemperature(uint16_t raw) const { return direct ? Lookup(raw) : Interpolate(raw); }
  // Recomputes `interpolated` from the active list.
  void PrepareInterpolation();
  // Recomputes the integer forms of CodeTemperature; runs after every change
  // of `lookup`, `interpolated` or `direct`.
  void PrepareCodeTemperatures();
  // Fills the lookup table from the points: direct (entry m = temperature of
  // point m) or interpolating (entry i = Interpolate(i), from `interpolated`,
  // so PrepareInterpolation must have run). False, changing nothing, with
  // fewer than 2 points.
  bool BuildLookup(bool interpolating);
};

// The integer converters' clamps: at most 0.0 gives 0, at least 255.0 gives
// 255, else truncation (NaN gives 0).
uint8_t ClampToUInt8(float temperature);
// At most -128.0 gives -128, at least 127.0 gives 127, else truncation (NaN
// gives 0).
int8_t ClampToInt8(float temperature);

// A float truncated toward zero into int32. NaN and values outside the int32
// range give INT32_MIN, the value x86 conversion instructions give, so that a
// hostile table cannot make the conversion undefined.
inline int32_t TruncateToInt32(float value) {
  if (!(value > -2147483904.0f && value < 2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The averaged ten-point interpolation of raw code `raw`, point by point over
// the first min(n, point_count) of `points`; -999.0 where no temperature
// exists. Every raw-code difference wraps as 32-bit arithmetic, so hostile
// codes cannot overflow.
float InterpolatePoints(const CalibrationPoint* points, size_t n, int32_t point_count, int32_t raw);
// The same for every raw code 0..65535 at once into out[0..65535], in one
// pass over the points; bit for bit equal to InterpolatePoints.
void SweepInterpolation(const CalibrationPoint* points, size_t n, int32_t point_count, float* out);

// What a table file holds, before it is installed.
struct ParsedTable {
  int32_t version = 0;  // 1..4, or 0 for a headerless file (keeps the version in use)
  bool interpolating = false;
  int32_t header_word1 = 0;
  int32_t header_word2 = 0;
  float tref = 0.0f;
  float k1 = 0.0f;
  float k0 = 0.0f;
  std::vector<CalibrationPoint> points;  // the N points, N in 1..16384
};

// Recognises the layout and reads the points of `sub_table` (version 2000
// only). False for a file that is shorter than its header or its points, a
// sub-table index or offset outside the file, or N outside 1..16384; it never
// reads outside data[0..size).
bool ParseCalibrationTable(const uint8_t* data, size_t size, int32_t sub_table, ParsedTable* out);

class CThermoTable {
 public:
  enum class ActiveList { kBase, kCompensated };

  CThermoTable();
  CThermoTable(const CThermoTable&) = delete;
  CThermoTable& operator=(const CThermoTable&) = delete;

  // Reads the table for `sub_table` (version 2000 files only) from the file
  // and installs it. Only the bytes the layout names are read: the header, a
  // sub-table offset, N and N points, whatever the file's size. True on
  // success; false when the file cannot be read or is rejected, and then the
  // table in use is unchanged.
  bool LoadTable(const char16_t* path, int32_t sub_table) EXCLUDES(writer_lock_);
  // The same from bytes already in memory.
  bool LoadFromBytes(const uint8_t* data, size_t size, int32_t sub_table) EXCLUDES(writer_lock_);

  // Drift compensation of a version 4000 table for the recorded internal
  // temperature: true when it rebuilt the points and the lookup table.
  bool Compensate() EXCLUDES(writer_lock_);

  // The temperature of a raw code through the lookup table, or -999.0.
  float LookupTemperature(uint16_t raw) const;
  // The averaged linear interpolation over the active point list, or -999.0.
  float Interpolate(int32_t raw) const;

  // Frame converters: the raw surface's codes to temperatures, rows of exactly
  // width elements, `out_rows` naming which picture row the output starts
  // with (the raw surface stores the bottom row first, so kTopDown reverses
  // the stored rows and kBottomUp keeps them). ConvertToFloat reads the lookup
  // table, the integer ones ThermoTableState::CodeTemperature, so that a
  // direct table gives every output the same temperatures. True after
  // converting; false for a null output or a raw surface without pixel memory
  // (or not 16 bits per pixel).
  bool ConvertToFloat(const CDibSurface& raw, float* out, RowOrder out_rows) const;
  bool ConvertToUInt8(const CDibSurface& raw, uint8_t* out, RowOrder out_rows) const;
  bool ConvertToInt8(const CDibSurface& raw, int8_t* out, RowOrder out_rows) const;
  bool ConvertToInt32(const CDibSurface& raw, int32_t* out, RowOrder out_rows) const;

  // A consistent view of the table for a whole frame or a whole recording step.
  std::shared_ptr<const ThermoTableState> Snapshot() const EXCLUDES(state_lock_);

  // The instance's recorded internal temperature, read by Compensate.
  void SetRecordedTemperatureSource(const std::atomic<float>* source);
  const std::atomic<float>* recorded_temperature_source() const;
  void SelectActiveList(ActiveList list) EXCLUDES(writer_lock_);
  ActiveList active_list() const;

  int32_t version() const { return Snapshot()->version; }

 private:
  // Builds the state for a parsed table and installs it; false without memory
  // (the table in use unchanged).
  bool Adopt(ParsedTable parsed) EXCLUDES(writer_lock_);
  void Install(std::shared_ptr<const ThermoTableState> state) REQUIRES(writer_lock_)
      EXCLUDES(state_lock_);
  // Drift compensation into a state being built; the caller holds writer_lock_
  // and prepares the state's code temperatures afterwards.
  bool CompensateState(ThermoTableState* state) const REQUIRES(writer_lock_);

  // Serialises loads and compensations (writers); readers never take it.
  // Taken before state_lock_.
  Mutex writer_lock_ ACQUIRED_BEFORE(state_lock_);
  // Guards the pointer only (held for a copy of it, never for table work).
  mutable Mutex state_lock_;
  std::shared_ptr<const ThermoTableState> state_ GUARDED_BY(state_lock_);
  std::atomic<const std::atomic<float>*> recorded_temperature_{nullptr};
};

}  // namespace kt
