#include "table_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "replacement_file.h"
#include "sim/radiometric_model.h"

namespace kt::table_writer {
namespace {

namespace model = kt::sim::radiometric;

// Appends little-endian fields whatever the host's byte order.
class ByteSink {
 public:
  void Int32(int32_t value) { Word(static_cast<uint32_t>(value)); }
  void Float32(float value) { Word(std::bit_cast<uint32_t>(value)); }
  void Text(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  void Points(const std::vector<TablePoint>& points) {
    for (const TablePoint& point : points) {
      Int32(point.raw);
      Float32(point.temperature);
    }
  }
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  void Word(uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes_.push_back(static_cast<uint8_t>(word >> shift));
    }
  }
  std::vector<uint8_t> bytes_;
};

struct CodeRange {
  int32_t first = 0;
  int32_t last = -1;
  int32_t count() const { return last - first + 1; }
};

// The raw codes the curve reaches over the scene range at `internal_c`.
CodeRange CurveCodes(double internal_c) {
  const double low = std::ceil(model::Raw(model::kMinSceneC, internal_c));
  const double high = std::floor(model::Raw(model::kMaxSceneC, internal_c));
  const double top = static_cast<double>(model::kMaxRawCode);
  return {static_cast<int32_t>(std::clamp(low, 0.0, top)),
          static_cast<int32_t>(std::clamp(high, -1.0, top))};
}

float Temperature(int32_t raw, double internal_c) {
  return static_cast<float>(model::SceneTemperature(raw, internal_c));
}

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

bool CheckRequest(const TableRequest& request, std::string* error) {
  if (request.point_limit < 0 || request.point_limit > kMaxPoints) {
    return Fail(error, "point limit must lie in 1.." + std::to_string(kMaxPoints) +
                           " (or 0 for the full table)");
  }
  if (request.layout == Layout::k2000 &&
      (request.sub_tables < 1 || request.sub_tables > kMaxSubTables)) {
    return Fail(error, "sub-table count must lie in 1.." + std::to_string(kMaxSubTables));
  }
  return true;
}

int32_t DirectCount(const TableRequest& request) {
  return request.point_limit > 0 ? request.point_limit : kMaxPoints;
}

std::vector<uint8_t> EncodeVersion2000(const TableRequest& request) {
  std::vector<std::vector<TablePoint>> tables;
  tables.reserve(static_cast<size_t>(request.sub_tables));
  for (int32_t k = 0; k < request.sub_tables; ++k) {
    tables.push_back(DirectPoints(SubTableInternalTemperature(k), DirectCount(request)));
  }
  ByteSink sink;
  sink.Text(Magic(Layout::k2000));
  sink.Int32(request.sub_tables);
  // Sub-tables follow the offset table back to back.
  size_t offset = kMagicSize + 4 + 4 * tables.size();
  for (const auto& table : tables) {
    sink.Int32(static_cast<int32_t>(offset));
    offset += 4 + 8 * table.size();
  }
  for (const auto& table : tables) {
    sink.Int32(static_cast<int32_t>(table.size()));
    sink.Points(table);
  }
  return sink.Take();
}

}  // namespace

std::optional<Layout> ParseLayout(std::string_view name) {
  for (Layout layout :
       {Layout::kHeaderless, Layout::k1000, Layout::k2000, Layout::k3000, Layout::k4000}) {
    if (name == LayoutName(layout)) return layout;
  }
  return std::nullopt;
}

std::string_view LayoutName(Layout layout) {
  switch (layout) {
    case Layout::kHeaderless:
      return "headerless";
    case Layout::k1000:
      return "1000";
    case Layout::k2000:
      return "2000";
    case Layout::k3000:
      return "3000";
    case Layout::k4000:
      return "4000";
  }
  return "";
}

std::string_view Magic(Layout layout) {
  switch (layout) {
    case Layout::kHeaderless:
      return "";
    case Layout::k1000:
      return "KOLVEN THERMO TABLE 1000";
    case Layout::k2000:
      return "KOLVEN THERMO TABLE 2000";
    case Layout::k3000:
      return "KOLVEN THERMO TABLE 3000";
    case Layout::k4000:
      return "KOLVEN THERMO TABLE 4000";
  }
  return "";
}

std::vector<TablePoint> SampledPoints(double internal_c, int32_t limit) {
  const CodeRange codes = CurveCodes(internal_c);
  std::vector<TablePoint> points;
  if (codes.count() <= 0) return points;
  if (limit <= 0 || limit >= codes.count()) {
    for (int32_t raw = codes.first; raw <= codes.last; ++raw) {
      points.push_back({raw, Temperature(raw, internal_c)});
    }
    return points;
  }
  // Evenly spread codes; with limit below the code count they stay distinct
  // and ascending.
  const double span = codes.last - codes.first;
  for (int32_t i = 0; i < limit; ++i) {
    const double step = limit > 1 ? span * i / (limit - 1) : 0.0;
    const int32_t raw = codes.first + static_cast<int32_t>(std::lround(step));
    points.push_back({raw, Temperature(raw, internal_c)});
  }
  return points;
}

std::vector<TablePoint> DirectPoints(double internal_c, int32_t count) {
  const CodeRange codes = CurveCodes(internal_c);
  std::vector<TablePoint> points;
  for (int32_t raw = 0; raw < count; ++raw) {
    const bool on_curve = raw >= codes.first && raw <= codes.last;
    points.push_back({raw, on_curve ? Temperature(raw, internal_c) : kNoTemperature});
  }
  return points;
}

double SubTableInternalTemperature(int32_t index) {
  return model::kReferenceInternalC + kSubTableStepC * index;
}

std::vector<uint8_t> EncodeTable(const TableRequest& request, std::string* error) {
  if (!CheckRequest(request, error)) return {};
  const double tref = model::kReferenceInternalC;
  ByteSink sink;
  switch (request.layout) {
    case Layout::kHeaderless: {
      const auto points = SampledPoints(tref, request.point_limit);
      sink.Int32(static_cast<int32_t>(points.size()));
      sink.Points(points);
      break;
    }
    case Layout::k1000: {
      const auto points = DirectPoints(tref, DirectCount(request));
      sink.Text(Magic(request.layout));
      sink.Int32(static_cast<int32_t>(points.size()));
      sink.Points(points);
      break;
    }
    case Layout::k2000:
      return EncodeVersion2000(request);
    case Layout::k3000: {
      const auto points = DirectPoints(tref, DirectCount(request));
      sink.Text(Magic(request.layout));
      sink.Int32(0);  // a field loaders skip
      sink.Int32(static_cast<int32_t>(points.size()));
      sink.Points(points);
      break;
    }
    case Layout::k4000: {
      const auto points = SampledPoints(tref, request.point_limit);
      sink.Text(Magic(request.layout));
      sink.Int32(0);  // header words: kept by loaders, never used
      sink.Int32(0);
      sink.Float32(static_cast<float>(tref));
      sink.Float32(static_cast<float>(model::kDriftSlope));
      sink.Float32(static_cast<float>(model::kDriftOffset));
      sink.Int32(static_cast<int32_t>(points.size()));
      sink.Points(points);
      break;
    }
  }
  return sink.Take();
}

bool WriteTableFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                    std::string* error) {
  if (path.empty()) return Fail(error, "no output file named");
  // A partial table would load as a different one: the table appears whole
  // or not at all, and a failed write leaves the previous file as it was.
  return tools::ReplaceFileContents(path, bytes.data(), bytes.size(), error);
}

}  // namespace kt::table_writer
