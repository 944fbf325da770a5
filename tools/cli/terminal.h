// What the tool needs to know about its output stream.
#pragma once

#include <cstdio>

namespace kt::cli {

// True when `stream` is an interactive terminal (progress bars redraw in
// place there; elsewhere the tool prints plain lines).
bool IsTerminal(std::FILE* stream);

}  // namespace kt::cli
