// Ctrl+C for a command-line Qt program: the signal handler only writes a byte
// into a pipe; the event loop reads it and calls the handler, so that no work
// is ever done inside the signal handler.
#pragma once

#include <functional>

namespace zr::cli {

// Installs the SIGINT and SIGTERM handlers; `onInterrupt` runs on the event loop.
void HandleInterrupts(std::function<void()> onInterrupt);

} // namespace zr::cli
