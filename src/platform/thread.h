// Thread services that std::thread does not cover.
#pragma once

namespace kt::platform {

// Raises the calling thread to the highest normal priority (THREAD_PRIORITY_HIGHEST
// on Windows). Where the system refuses (an unprivileged Linux process), the
// thread keeps its priority; nothing else depends on it.
void RaiseCurrentThreadPriority();

}  // namespace kt::platform
