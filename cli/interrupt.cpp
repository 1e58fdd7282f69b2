#include "cli/interrupt.h"

#include <csignal>
#include <memory>

#include <asio/signal_set.hpp>

namespace zr::cli {

namespace {
// Ctrl+Break on a Windows console comes as a signal of its own.
constexpr int SIGNALS[] = {SIGINT, SIGTERM,
#if defined(SIGBREAK)
                           SIGBREAK
#endif
};

void Await(const std::shared_ptr<asio::signal_set>& signals, std::shared_ptr<std::function<void()>> onInterrupt)
{
  signals->async_wait([signals, onInterrupt](const std::error_code& error, int) {
    if (error)
      return;
    (*onInterrupt)();
    Await(signals, onInterrupt);
  });
}
} // namespace

void HandleInterrupts(asio::io_context& io, std::function<void()> onInterrupt)
{
  auto signals = std::make_shared<asio::signal_set>(io);
  std::error_code ignored;
  for (const int signal : SIGNALS)
    signals->add(signal, ignored);
  Await(signals, std::make_shared<std::function<void()>>(std::move(onInterrupt)));
}

} // namespace zr::cli
