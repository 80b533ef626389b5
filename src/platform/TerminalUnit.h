#pragma once

// Whether standard output is a terminal (progress bars redraw a line there;
// logs and pipes get whole lines instead).
namespace Platform {
bool StdoutIsTerminal();
} // namespace Platform
