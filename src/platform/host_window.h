// Posting the library's messages (frame ready, event) to the host's window.
#pragma once

#include <cstdint>

namespace kt::platform {

// Posts a message to `window` without waiting for the host. Returns false for
// a null window (nothing is attempted), a handle that is not a live window, or
// a full message queue (the message is lost). Safe from any thread.
bool PostHostMessage(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);

}  // namespace kt::platform
