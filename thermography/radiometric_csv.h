// Temperatures as CSV text: '#' lines of metadata, then one line per row.
#ifndef KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_CSV_H_
#define KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_CSV_H_

#include "kolthermo/kolthermo_radiometric.h"
#include "radiometric_output_file.h"

namespace kt::thermography {

// Writes the CSV into `file` (open and empty); false if a write failed.
bool WriteCelsiusCsv(OutputFile& file, const float* temperatures_c, int width, int height,
                     const KolThermoFrameInfo* info);

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_CSV_H_
