#include "terminal.h"

#include <unistd.h>

namespace kt::cli {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

}  // namespace kt::cli
