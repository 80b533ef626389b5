#include "platform/TerminalUnit.h"

#include <unistd.h>

namespace Platform {
bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
} // namespace Platform
