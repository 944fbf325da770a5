// Ctrl-C and termination requests. The handlers only set a flag; every wait of
// the tool is short and checks it, so a stop request ends acquisition through
// the library's own calls (recordings are finished, files closed).
#pragma once

namespace kt::cli {

// Installs the SIGINT and SIGTERM handlers.
void InstallStopHandlers();

// True once SIGINT or SIGTERM arrived.
bool StopRequested();

// Exit status of a run that a stop request ended (128 + SIGINT).
inline constexpr int kExitInterrupted = 130;

}  // namespace kt::cli
