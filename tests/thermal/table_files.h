// Builders of calibration table files in each layout, for the thermal tests.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "thermal/thermo_table.h"

namespace kt::test {

class TableBytes {
 public:
  TableBytes& Magic(int version) {
    const std::string magic = "KOLVEN THERMO TABLE " + std::to_string(version * 1000);
    bytes_.insert(bytes_.end(), magic.begin(), magic.end());
    return *this;
  }
  TableBytes& Int(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int b = 0; b < 4; ++b) bytes_.push_back(static_cast<uint8_t>(bits >> (8 * b)));
    return *this;
  }
  TableBytes& Real(float value) { return Int(std::bit_cast<int32_t>(value)); }
  TableBytes& Points(const std::vector<CalibrationPoint>& points) {
    for (const CalibrationPoint& p : points) Int(p.raw).Real(p.temperature);
    return *this;
  }
  // N, then the points.
  TableBytes& CountedPoints(const std::vector<CalibrationPoint>& points) {
    return Int(static_cast<int32_t>(points.size())).Points(points);
  }
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> HeaderlessFile(const std::vector<CalibrationPoint>& points) {
  return TableBytes().CountedPoints(points).bytes();
}
inline std::vector<uint8_t> DirectFile(int version, const std::vector<CalibrationPoint>& points) {
  TableBytes file;
  file.Magic(version);
  if (version == 3) file.Int(0x5A5A5A5A);  // the word the loader ignores
  return file.CountedPoints(points).bytes();
}
// A version 2000 file with one sub-table per list, laid out one after another.
inline std::vector<uint8_t> SubTableFile(const std::vector<std::vector<CalibrationPoint>>& lists) {
  TableBytes file;
  file.Magic(2).Int(static_cast<int32_t>(lists.size()));
  int32_t offset = 28 + 4 * static_cast<int32_t>(lists.size());
  for (const auto& list : lists) {
    file.Int(offset);
    offset += 4 + 8 * static_cast<int32_t>(list.size());
  }
  for (const auto& list : lists) file.CountedPoints(list);
  return file.bytes();
}
inline std::vector<uint8_t> DriftFile(float tref, float k1, float k0,
                                      const std::vector<CalibrationPoint>& points,
                                      int32_t word1 = 0, int32_t word2 = 0) {
  return TableBytes()
      .Magic(4)
      .Int(word1)
      .Int(word2)
      .Real(tref)
      .Real(k1)
      .Real(k0)
      .CountedPoints(points)
      .bytes();
}

// Samples every `step` codes from `first`, `count` of them, temperature
// rising 0.01 degree per code from 10 degrees.
inline std::vector<CalibrationPoint> Ramp(int32_t first, int32_t step, int32_t count) {
  std::vector<CalibrationPoint> points;
  for (int32_t m = 0; m < count; ++m) {
    const int32_t raw = first + m * step;
    points.push_back({raw, 10.0f + 0.01f * static_cast<float>(raw)});
  }
  return points;
}

// Point m has temperature -50 + m / 64, raw field garbage.
inline std::vector<CalibrationPoint> DirectPoints(int32_t count) {
  std::vector<CalibrationPoint> points;
  for (int32_t m = 0; m < count; ++m) {
    points.push_back({7777 - 3 * m, -50.0f + static_cast<float>(m) / 64.0f});
  }
  return points;
}

inline int Load(CThermoTable& table, const std::vector<uint8_t>& bytes, int32_t sub_table = 0) {
  return table.LoadFromBytes(bytes.data(), bytes.size(), sub_table);
}

}  // namespace kt::test
