// Builds without the vector loops (the Windows DLLs, which must run on any
// x86) map colours with the plain loops.
#include "imaging/colour_map_loops.h"

namespace kt {

const ColourMapLoops& FastestColourMapLoops() { return PlainColourMapLoops(); }

}  // namespace kt
