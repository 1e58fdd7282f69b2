// Ctrl+C for the command line: Asio's signal_set turns SIGINT and SIGTERM
// (on Windows the console's Ctrl+C and Ctrl+Break) into a call on the event
// loop, so that no work is ever done inside a signal handler.
#pragma once

#include <functional>

#include <asio/io_context.hpp>

namespace zr::cli {

// Installs the handlers for as long as `io` lives; `onInterrupt` runs on
// the event loop, once per signal.
void HandleInterrupts(asio::io_context& io, std::function<void()> onInterrupt);

} // namespace zr::cli
