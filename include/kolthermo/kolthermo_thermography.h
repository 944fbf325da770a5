/*
 * KolThermo thermography: object temperatures corrected for emissivity,
 * reflected radiation and the atmosphere, from the blackbody temperatures the
 * camera reports (KolThermo_GetTemperatures and the temperature recordings).
 *
 * Model (band radiance L(T): Planck's law integrated over 8 to 14 um):
 *   L(measured) = tau * (eps * L(object) + (1 - eps) * L(reflected))
 *               + (1 - tau) * L(atmosphere)
 * solved for the object temperature. Every temperature is in degrees Celsius
 * and must lie within KOLTHERMO_THERMO_MIN_C .. KOLTHERMO_THERMO_MAX_C.
 *
 * The functions keep no state and may be called from any thread at once.
 * This header is plain C99 and may be included from C and C++.
 */
#ifndef KOLTHERMO_KOLTHERMO_THERMOGRAPHY_H_
#define KOLTHERMO_KOLTHERMO_THERMOGRAPHY_H_

#include <stddef.h>

#ifdef _WIN32
#define KOLTHERMO_THERMO_CALL __cdecl
#if defined(KOLTHERMO_THERMO_BUILDING_LIBRARY)
#define KOLTHERMO_THERMO_API __declspec(dllexport)
#else
#define KOLTHERMO_THERMO_API
#endif
#else
#define KOLTHERMO_THERMO_CALL
#if defined(KOLTHERMO_THERMO_BUILDING_LIBRARY)
#define KOLTHERMO_THERMO_API __attribute__((visibility("default")))
#else
#define KOLTHERMO_THERMO_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
#define KOLTHERMO_THERMO_OK 0
/* Emissivity or transmission outside (0, 1], a non-finite temperature, a null
 * pointer or a negative count. Nothing is written. */
#define KOLTHERMO_THERMO_INVALID_ARGUMENT 1
/* A temperature outside the model range, or an object radiance that comes
 * out non-positive or beyond the model range. */
#define KOLTHERMO_THERMO_OUT_OF_RANGE 2

/* The model range in degrees Celsius, for every temperature in and out. */
#define KOLTHERMO_THERMO_MIN_C (-100.0f)
#define KOLTHERMO_THERMO_MAX_C 500.0f

/* "No temperature", as everywhere in the SDK. */
#define KOLTHERMO_THERMO_NO_TEMPERATURE (-999.0f)

typedef struct KolThermoObjectParams {
  float emissivity;   /* of the object, (0, 1] */
  float reflected_c;  /* apparent temperature of the surroundings the object reflects */
  float transmission; /* of the atmosphere between object and camera, (0, 1]; 1 = none */
  float atmosphere_c; /* temperature of that atmosphere */
} KolThermoObjectParams;

/* One temperature. On success *object_c gets the object temperature; on any
 * failure *object_c keeps its value. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoObjectTemperature(float measured_c, const KolThermoObjectParams* params, float* object_c);

/* A whole frame of `count` temperatures; object_c may equal measured_c.
 * -999.0 passes through unchanged. A pixel that cannot be corrected (not
 * finite, or out of range) becomes -999.0 and is counted in *failed_count
 * (which may be NULL). Returns KOLTHERMO_THERMO_OK when no pixel failed,
 * KOLTHERMO_THERMO_OUT_OF_RANGE when some did (the others are corrected), and
 * KOLTHERMO_THERMO_INVALID_ARGUMENT, writing nothing at all, for bad
 * parameters, null arrays or a negative count. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoObjectTemperatures(const float* measured_c, float* object_c, int count,
                            const KolThermoObjectParams* params, int* failed_count);

#ifdef __cplusplus
}
#endif

#endif /* KOLTHERMO_KOLTHERMO_THERMOGRAPHY_H_ */
