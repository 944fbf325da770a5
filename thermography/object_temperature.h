// Object temperature from a measured blackbody temperature: the band radiance
// model inverted for the object's own radiance.
#pragma once

#include <optional>

namespace kt::thermography {

// The parameters with their band radiances worked out once, for a frame.
class ObjectCorrection {
 public:
  // Nothing when a parameter is invalid; `out_of_range` tells the temperature
  // that lies outside the model range apart from emissivity, transmission or
  // a non-finite value.
  static std::optional<ObjectCorrection> Make(double emissivity, double reflected_c,
                                              double transmission, double atmosphere_c,
                                              bool& out_of_range);

  // The object temperature, or nothing when the measured temperature or the
  // object's radiance lies outside the model range.
  std::optional<double> ObjectCelsius(double measured_c) const;

 private:
  ObjectCorrection(double emissivity, double transmission, double reflected, double atmosphere)
      : emissivity_(emissivity),
        transmission_(transmission),
        reflected_(reflected),
        atmosphere_(atmosphere) {}

  double emissivity_;
  double transmission_;
  double reflected_;   // (1 - eps) L(T_refl)
  double atmosphere_;  // (1 - tau) L(T_atm)
};

}  // namespace kt::thermography
