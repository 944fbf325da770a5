// Reading a calibration table file: recognising its layout, reading its points
// without ever leaving the file's bytes, and installing the table. A rejected
// file leaves the table in use untouched.
#include <bit>
#include <cstring>
#include <new>

#include "output/sdk_file.h"
#include "thermal/thermo_table.h"

namespace kt {
namespace {

constexpr size_t kMagicLength = 24;
// In the order they are tried; index + 1 is the version.
constexpr const char* kMagics[] = {
    "KOLVEN THERMO TABLE 1000",
    "KOLVEN THERMO TABLE 2000",
    "KOLVEN THERMO TABLE 3000",
    "KOLVEN THERMO TABLE 4000",
};
constexpr uint64_t kPointBytes = 8;

// Bounds-checked little-endian reads from the file's bytes. Offsets are 64-bit
// so that offset + length cannot wrap.
class FileBytes {
 public:
  FileBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Holds(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool Int32At(uint64_t offset, int32_t* value) const {
    if (!Holds(offset, 4)) return false;
    *value = static_cast<int32_t>(Word(offset));
    return true;
  }
  bool FloatAt(uint64_t offset, float* value) const {
    if (!Holds(offset, 4)) return false;
    *value = std::bit_cast<float>(Word(offset));
    return true;
  }
  bool StartsWith(const char* magic) const {
    return size_ >= kMagicLength && std::memcmp(data_, magic, kMagicLength) == 0;
  }
  // N at `count_offset`, then N points; false unless N is 1..16384 and all of
  // them lie inside the file.
  bool PointsAt(uint64_t count_offset, uint64_t points_offset,
                std::vector<CalibrationPoint>* points) const {
    int32_t count = 0;
    if (!Int32At(count_offset, &count)) return false;
    if (count < 1 || count > kCalibratedCodes) return false;
    if (!Holds(points_offset, kPointBytes * static_cast<uint64_t>(count))) return false;
    points->resize(static_cast<size_t>(count));
    for (size_t m = 0; m < points->size(); ++m) {
      const uint64_t at = points_offset + kPointBytes * m;
      (*points)[m].raw = static_cast<int32_t>(Word(at));
      (*points)[m].temperature = std::bit_cast<float>(Word(at + 4));
    }
    return true;
  }

 private:
  uint32_t Word(uint64_t offset) const {
    const uint8_t* p = data_ + offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  }

  const uint8_t* data_;
  size_t size_;
};

int32_t RecogniseVersion(const FileBytes& file) {
  for (int32_t v = 0; v < 4; ++v) {
    if (file.StartsWith(kMagics[v])) return v + 1;
  }
  return 0;
}

// Version 2000: M at 24, M sub-table offsets from 28, each sub-table N then
// its points. The whole offset array must lie in the file, and the chosen
// sub-table too.
bool ParseSubTable(const FileBytes& file, int32_t sub_table, ParsedTable* out) {
  int32_t sub_tables = 0;
  if (!file.Int32At(24, &sub_tables)) return false;
  if (sub_table < 0 || sub_table >= sub_tables) return false;
  if (!file.Holds(28, 4 * static_cast<uint64_t>(sub_tables))) return false;
  int32_t offset = 0;
  if (!file.Int32At(28 + 4 * static_cast<uint64_t>(sub_table), &offset) || offset < 0) {
    return false;
  }
  const auto at = static_cast<uint64_t>(offset);
  return file.PointsAt(at, at + 4, &out->points);
}

bool ParseDriftTable(const FileBytes& file, ParsedTable* out) {
  return file.Int32At(24, &out->header_word1) && file.Int32At(28, &out->header_word2) &&
         file.FloatAt(32, &out->tref) && file.FloatAt(36, &out->k1) && file.FloatAt(40, &out->k0) &&
         file.PointsAt(44, 48, &out->points);
}

}  // namespace

bool ParseCalibrationTable(const uint8_t* data, size_t size, int32_t sub_table, ParsedTable* out) {
  if (data == nullptr || out == nullptr) return false;
  const FileBytes file(data, size);
  ParsedTable parsed;
  parsed.version = RecogniseVersion(file);
  bool read = false;
  switch (parsed.version) {
    case 1:
      read = file.PointsAt(24, 28, &parsed.points);
      break;
    case 2:
      read = ParseSubTable(file, sub_table, &parsed);
      break;
    case 3:
      read = file.PointsAt(28, 32, &parsed.points);  // the word at 24 is not read
      break;
    case 4:
      read = ParseDriftTable(file, &parsed);
      break;
    default:
      parsed.interpolating = true;
      read = file.PointsAt(0, 4, &parsed.points);
      break;
  }
  if (!read) return false;
  *out = std::move(parsed);
  return true;
}

int CThermoTable::LoadTable(const char16_t* path, int32_t sub_table) {
  if (path == nullptr || path[0] == u'\0') return 0;
  CSdkFile file;
  const uint8_t* data = file.LoadAll(path);
  if (data == nullptr) return 0;
  return LoadFromBytes(data, file.size(), sub_table);
}

int CThermoTable::LoadFromBytes(const uint8_t* data, size_t size, int32_t sub_table) {
  try {
    ParsedTable parsed;
    if (!ParseCalibrationTable(data, size, sub_table, &parsed)) return 0;
    MutexLock writer(writer_lock_);
    const std::shared_ptr<const ThermoTableState> current = Snapshot();
    auto next = std::make_shared<ThermoTableState>();
    // A table that builds no lookup (one point, or a drift table that cannot be
    // compensated yet) keeps the lookup in use.
    next->lookup = current->lookup;
    next->read_compensated = current->read_compensated;
    next->version = parsed.version == 0 ? current->version : parsed.version;
    next->header_word1 = parsed.header_word1;
    next->header_word2 = parsed.header_word2;
    next->tref = parsed.tref;
    next->k1 = parsed.k1;
    next->k0 = parsed.k0;
    next->point_count = static_cast<int32_t>(parsed.points.size());
    next->base_points = std::move(parsed.points);
    // The compensated list starts empty, so Interpolate reads the base points
    // until compensation fills it.
    next->PrepareInterpolation();
    if (parsed.version == 4) {
      (void)CompensateState(next.get());
    } else {
      (void)next->BuildLookup(parsed.interpolating);
    }
    Install(std::move(next));
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace kt
