#include "correction_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>

#include "band_radiance.h"
#include "radiance_model.h"

namespace kt::thermography {
namespace {

// What linear interpolation may add to the error, in degrees: the table's
// step is the largest power of two that keeps step^2 / 8 * |f''| below it.
constexpr double kInterpolationTolerance = 2e-4;
// Steps between 1/16 and 1/1024 of a degree (nodes stay exact floats), and at
// most 65536 nodes (512 KiB) a table.
constexpr int kCoarsestShift = 4;
constexpr int kFinestShift = 10;
constexpr double kMaxNodes = 65536.0;
// Nodes keep this relative distance from the ends of the model's radiance
// range, so that the exact path accepts every value between two nodes.
constexpr double kEdgeMargin = 1e-9;
constexpr std::size_t kCacheSlots = 8;

// The object radiance of a measured temperature, as the exact path forms it.
struct ObjectRadiance {
  const RadianceModel& model;
  double emissivity, transmission, reflected, atmosphere;

  double At(double measured_c) const {
    return ((model.RadianceAt(measured_c) - atmosphere) / transmission - reflected) / emissivity;
  }
};

// The nodes -100 + i * step, i in [first, last], whose object radiance lies
// inside the model range (none: first > last).
struct NodeRange {
  long first, last;
};

NodeRange ValidNodes(const ObjectRadiance& object, double step) {
  const RadianceModel& model = object.model;
  const double low = model.MinRadiance() * (1.0 + kEdgeMargin);
  const double high = model.MaxRadiance() * (1.0 - kEdgeMargin);
  const long count = std::lround((kMaxCelsius - kMinCelsius) / step) + 1;
  auto at = [&](long i) { return object.At(kMinCelsius + step * static_cast<double>(i)); };
  // The object radiance grows with the measured temperature: the first node
  // at or above `low` and the last at or below `high`, by bisection.
  long lo = 0, hi = count;
  while (lo < hi) {
    const long mid = (lo + hi) / 2;
    if (at(mid) >= low) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  const long first = lo;
  lo = 0, hi = count;
  while (lo < hi) {
    const long mid = (lo + hi) / 2;
    if (at(mid) > high) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return {first, lo - 1};
}

// Object temperatures at nodes first..last of the grid of `step`.
std::vector<float> NodeValues(const ObjectRadiance& object, NodeRange nodes, double step) {
  std::vector<float> values;
  values.reserve(static_cast<std::size_t>(std::max(0L, nodes.last - nodes.first + 1)));
  int hint = 0;
  for (long i = nodes.first; i <= nodes.last; ++i) {
    const double radiance = object.At(kMinCelsius + step * static_cast<double>(i));
    values.push_back(static_cast<float>(object.model.CelsiusOf(radiance, hint)));
  }
  return values;
}

// The grid step for the table: fine enough where the curve bends most.
double ChooseStep(const ObjectRadiance& object) {
  const double coarse = std::ldexp(1.0, -kCoarsestShift);
  const NodeRange nodes = ValidNodes(object, coarse);
  if (nodes.last - nodes.first < 2) return coarse;
  const std::vector<float> values = NodeValues(object, nodes, coarse);
  double bend = 0.0;  // the largest |second difference| / step^2
  for (std::size_t i = 1; i + 1 < values.size(); ++i) {
    const double second = static_cast<double>(values[i + 1]) - 2.0 * values[i] + values[i - 1];
    bend = std::max(bend, std::fabs(second) / (coarse * coarse));
  }
  const double width = coarse * static_cast<double>(nodes.last - nodes.first + 2);
  double step = coarse;
  int shift = kCoarsestShift;
  while (shift < kFinestShift && step * step / 8.0 * bend > kInterpolationTolerance &&
         width / (step / 2.0) <= kMaxNodes) {
    step /= 2.0;
    ++shift;
  }
  return step;
}

bool SameKey(const ObjectParamsKey& a, const ObjectParamsKey& b) {
  // The parameters were checked finite, so plain equality is exact.
  return a.emissivity == b.emissivity && a.reflected_c == b.reflected_c &&
         a.transmission == b.transmission && a.atmosphere_c == b.atmosphere_c;
}

}  // namespace

std::unique_ptr<const CorrectionTable> BuildCorrectionTable(const ObjectParamsKey& params,
                                                            const ObjectCorrection& exact) {
  const double emissivity = params.emissivity, transmission = params.transmission;
  const ObjectRadiance object{RadianceModel::Get(), emissivity, transmission,
                              (1.0 - emissivity) * BandRadianceAtCelsius(params.reflected_c),
                              (1.0 - transmission) * BandRadianceAtCelsius(params.atmosphere_c)};
  const double step = ChooseStep(object);
  NodeRange nodes = ValidNodes(object, step);
  // The model's radiance differs from the exact integral by about 1e-11, which
  // a low emissivity magnifies near the cold end: the exact path has the last
  // word on the end nodes, and every measured value between two accepted
  // nodes is accepted too (the object radiance grows with it).
  auto accepted = [&](long i) {
    return exact.ObjectCelsius(kMinCelsius + step * static_cast<double>(i)).has_value();
  };
  while (nodes.first <= nodes.last && !accepted(nodes.first)) ++nodes.first;
  while (nodes.first <= nodes.last && !accepted(nodes.last)) --nodes.last;
  auto table = std::make_unique<CorrectionTable>();
  if (nodes.last < nodes.first) return table;
  table->first_c = static_cast<float>(kMinCelsius + step * static_cast<double>(nodes.first));
  table->last_c = static_cast<float>(kMinCelsius + step * static_cast<double>(nodes.last));
  table->steps_per_degree = static_cast<float>(1.0 / step);
  table->value = NodeValues(object, nodes, step);
  table->slope.resize(table->value.size(), 0.0f);
  for (std::size_t i = 0; i + 1 < table->value.size(); ++i) {
    table->slope[i] = table->value[i + 1] - table->value[i];
  }
  table->pairs.resize(table->value.size());
  for (std::size_t i = 0; i < table->value.size(); ++i) {
    const float pair[2] = {table->value[i], table->slope[i]};
    std::memcpy(&table->pairs[i], pair, sizeof pair);
  }
  return table;
}

std::shared_ptr<const CorrectionTable> CorrectionTableFor(const ObjectParamsKey& params,
                                                          const ObjectCorrection& exact) {
  struct Slot {
    ObjectParamsKey key;
    std::shared_ptr<const CorrectionTable> table;
  };
  // Guarded by `mutex`: the slots and the next slot to replace. A table is
  // built outside the lock (milliseconds), so two threads may both build the
  // same one on a miss; the second keeps its own and the cache the first.
  static std::mutex mutex;
  static std::array<Slot, kCacheSlots> slots;
  static std::size_t next = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    for (const Slot& slot : slots) {
      if (slot.table && SameKey(slot.key, params)) return slot.table;
    }
  }
  std::shared_ptr<const CorrectionTable> table;
  try {
    table = BuildCorrectionTable(params, exact);
  } catch (const std::bad_alloc&) {
    return nullptr;  // the caller takes the exact path
  }
  const std::lock_guard<std::mutex> lock(mutex);
  for (const Slot& slot : slots) {
    if (slot.table && SameKey(slot.key, params)) return slot.table;
  }
  slots[next] = {params, table};
  next = (next + 1) % kCacheSlots;
  return table;
}

}  // namespace kt::thermography
