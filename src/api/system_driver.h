// The camera driver of the shipped library. On Windows the system port is the
// camera's kernel-mode driver and nothing needs doing; off Windows there is no
// driver, and the library registers the simulated camera driver as the
// system's. Called once, before the first instance can open a device.
#pragma once

namespace kt {

void PrepareSystemDriver();

}  // namespace kt
