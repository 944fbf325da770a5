// Reading a calibration table file: recognising its layout, reading its points
// without ever leaving the file's bytes (and reading from the file only the
// bytes the layout names), and installing the table. A rejected
// file leaves the table in use untouched.
#include <bit>
#include <cstring>
#include <new>

#include "platform/file.h"
#include "platform/sdk_file.h"
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

// Where a table's bytes come from: memory already filled, or an open file
// read only where the parser looks. A file is never read whole, so a huge or
// hostile one costs no more than the largest table could: the header, one
// sub-table offset and at most 16384 points.
class TableSource {
 public:
  TableSource(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  TableSource(CSdkFile* file, uint64_t size) : file_(file), size_(size) {}

  uint64_t size() const { return size_; }

  // Copies `length` bytes at `offset`, which the caller has checked lie inside.
  bool Read(uint64_t offset, void* out, size_t length) const {
    if (data_ != nullptr) {
      std::memcpy(out, data_ + offset, length);
      return true;
    }
    return length <= UINT32_MAX && file_->Seek(offset) &&
           file_->Read(out, static_cast<uint32_t>(length));
  }

 private:
  const uint8_t* data_ = nullptr;
  CSdkFile* file_ = nullptr;
  uint64_t size_;
};

uint32_t Word(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Bounds-checked little-endian reads from the table's bytes. Offsets are
// 64-bit so that offset + length cannot wrap.
class FileBytes {
 public:
  explicit FileBytes(const TableSource& source) : source_(source) {}

  bool Holds(uint64_t offset, uint64_t length) const {
    return offset <= source_.size() && length <= source_.size() - offset;
  }
  bool Int32At(uint64_t offset, int32_t* value) const {
    uint8_t bytes[4];
    if (!Holds(offset, 4) || !source_.Read(offset, bytes, 4)) return false;
    *value = static_cast<int32_t>(Word(bytes));
    return true;
  }
  bool FloatAt(uint64_t offset, float* value) const {
    int32_t bits = 0;
    if (!Int32At(offset, &bits)) return false;
    *value = std::bit_cast<float>(bits);
    return true;
  }
  bool StartsWith(const char* magic) const {
    char head[kMagicLength];
    return Holds(0, kMagicLength) && source_.Read(0, head, kMagicLength) &&
           std::memcmp(head, magic, kMagicLength) == 0;
  }
  // N at `count_offset`, then N points; false unless N is 1..16384 and all of
  // them lie inside the file.
  bool PointsAt(uint64_t count_offset, uint64_t points_offset,
                std::vector<CalibrationPoint>* points) const {
    int32_t count = 0;
    if (!Int32At(count_offset, &count)) return false;
    if (count < 1 || count > kCalibratedCodes) return false;
    const uint64_t length = kPointBytes * static_cast<uint64_t>(count);
    if (!Holds(points_offset, length)) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (!source_.Read(points_offset, bytes.data(), bytes.size())) return false;
    points->resize(static_cast<size_t>(count));
    for (size_t m = 0; m < points->size(); ++m) {
      const uint8_t* at = bytes.data() + kPointBytes * m;
      (*points)[m].raw = static_cast<int32_t>(Word(at));
      (*points)[m].temperature = std::bit_cast<float>(Word(at + 4));
    }
    return true;
  }

 private:
  const TableSource& source_;
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

bool ParseTable(const TableSource& source, int32_t sub_table, ParsedTable* out) {
  const FileBytes file(source);
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

}  // namespace

bool ParseCalibrationTable(const uint8_t* data, size_t size, int32_t sub_table, ParsedTable* out) {
  if (data == nullptr || out == nullptr) return false;
  return ParseTable(TableSource(data, size), sub_table, out);
}

bool CThermoTable::LoadTable(const char16_t* path, int32_t sub_table) {
  if (path == nullptr || path[0] == u'\0') return false;
  try {
    CSdkFile file;
    if (file.OpenRead(path) == nullptr) return false;
    uint64_t size = 0;
    if (!platform::FileSize(file.handle(), &size)) return false;
    ParsedTable parsed;
    if (!ParseTable(TableSource(&file, size), sub_table, &parsed)) return false;
    file.Close();
    return Adopt(std::move(parsed));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CThermoTable::LoadFromBytes(const uint8_t* data, size_t size, int32_t sub_table) {
  try {
    ParsedTable parsed;
    if (!ParseCalibrationTable(data, size, sub_table, &parsed)) return false;
    return Adopt(std::move(parsed));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CThermoTable::Adopt(ParsedTable parsed) {
  try {
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
    // Versions 1000 to 3000 carry one point per raw code.
    next->direct = parsed.version >= 1 && parsed.version <= 3;
    // The compensated list starts empty, so Interpolate reads the base points
    // until compensation fills it.
    next->PrepareInterpolation();
    if (parsed.version == 4) {
      (void)CompensateState(next.get());
    } else {
      (void)next->BuildLookup(parsed.interpolating);
    }
    // Also when no lookup was built: a direct table's outputs then all read
    // the lookup table kept in use.
    next->PrepareCodeTemperatures();
    Install(std::move(next));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace kt
