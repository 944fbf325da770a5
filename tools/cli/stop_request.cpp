#include "stop_request.h"

#include <csignal>

namespace kt::cli {
namespace {

// Written by the signal handler, read by the main thread: sig_atomic_t is the
// only type a handler may write portably.
volatile std::sig_atomic_t g_stop_requested = 0;

extern "C" void OnStopSignal(int /*signal*/) { g_stop_requested = 1; }

}  // namespace

void InstallStopHandlers() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() { return g_stop_requested != 0; }

}  // namespace kt::cli
