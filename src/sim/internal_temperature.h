// The simulated sensor's internal temperature: it warms up after power-on from
// the room's temperature towards its running temperature and then drifts
// slowly, and the camera reports it as a 16-bit raw value.
#pragma once

#include <cstdint>

namespace kt::sim {

// Room temperature at power-on and the temperature the sensor settles at.
inline constexpr double kPowerOnInternalC = 22.0;
inline constexpr double kRunningInternalC = 35.0;
// Warm-up time constant and the period and amplitude of the slow drift after it.
inline constexpr double kWarmUpTimeConstantMs = 180000.0;
inline constexpr double kDriftPeriodMs = 900000.0;
inline constexpr double kDriftAmplitudeC = 0.4;

// The modelled internal temperature `ms_since_power_on` milliseconds of clock
// time after power-on.
double ModelledInternalTemperature(uint64_t ms_since_power_on);

// The raw value r the camera reports for an internal temperature, such that
// r * 3.6 / 32767 * (-206.685) + 473.874 is nearest to `celsius`; clamped to
// 0..65535.
uint16_t InternalTemperatureRaw(double celsius);

// The temperature a raw value stands for (the library's formula).
double InternalTemperatureFromRaw(uint16_t raw);

}  // namespace kt::sim
