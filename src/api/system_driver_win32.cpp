// On Windows the system driver port is the camera's kernel-mode driver.
#include "api/system_driver.h"

namespace kt {

void PrepareSystemDriver() {}

}  // namespace kt
