// The exported C functions of the thermography library.
#include <cmath>
#include <memory>

#include "correction_table.h"
#include "frame_correction.h"
#include "kolthermo/kolthermo_thermography.h"
#include "object_temperature.h"

namespace {

namespace thermo = kt::thermography;
using thermo::ObjectCorrection;

// The correction for `params`, and the code to return when there is none.
std::optional<ObjectCorrection> CorrectionFor(const KolThermoObjectParams& params, int& code) {
  bool out_of_range = false;
  auto correction = ObjectCorrection::Make(params.emissivity, params.reflected_c,
                                           params.transmission, params.atmosphere_c, out_of_range);
  code = correction     ? KOLTHERMO_THERMO_OK
         : out_of_range ? KOLTHERMO_THERMO_OUT_OF_RANGE
                        : KOLTHERMO_THERMO_INVALID_ARGUMENT;
  return correction;
}

}  // namespace

extern "C" {

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoObjectTemperature(float measured_c, const KolThermoObjectParams* params, float* object_c) {
  if (params == nullptr || object_c == nullptr || !std::isfinite(measured_c)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  int code = KOLTHERMO_THERMO_OK;
  const auto correction = CorrectionFor(*params, code);
  if (!correction) return code;
  const auto object = correction->ObjectCelsius(measured_c);
  if (!object) return KOLTHERMO_THERMO_OUT_OF_RANGE;
  *object_c = static_cast<float>(*object);
  return KOLTHERMO_THERMO_OK;
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoObjectTemperatures(const float* measured_c, float* object_c, int count,
                            const KolThermoObjectParams* params, int* failed_count) {
  if (measured_c == nullptr || object_c == nullptr || params == nullptr || count < 0) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  int code = KOLTHERMO_THERMO_OK;
  const auto correction = CorrectionFor(*params, code);
  // Bad parameters fail the whole frame before any pixel is written.
  if (!correction) return code;
  // A frame goes through the interpolation table of the parameters (cached
  // across calls); a few values are cheaper through the exact inverse.
  std::shared_ptr<const thermo::CorrectionTable> table;
  if (count >= thermo::kTableWorthwhile) {
    table = thermo::CorrectionTableFor(
        {params->emissivity, params->reflected_c, params->transmission, params->atmosphere_c},
        *correction);
  }
  const int failed = thermo::CorrectValues(*correction, table.get(), measured_c, object_c, count);
  if (failed_count != nullptr) *failed_count = failed;
  return failed == 0 ? KOLTHERMO_THERMO_OK : KOLTHERMO_THERMO_OUT_OF_RANGE;
}

}  // extern "C"
