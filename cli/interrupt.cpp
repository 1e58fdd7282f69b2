#include "cli/interrupt.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace zr::cli {

namespace {
int wakeFds[2] = {-1, -1};

void OnSignal(int)
{
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
}
} // namespace

void HandleInterrupts(std::function<void()> onInterrupt)
{
  if (::pipe(wakeFds) != 0)
    return;
  ::fcntl(wakeFds[1], F_SETFL, O_NONBLOCK);
  auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read);
  QObject::connect(notifier, &QSocketNotifier::activated, [onInterrupt = std::move(onInterrupt)] {
    char buffer[16];
    [[maybe_unused]] const ssize_t n = ::read(wakeFds[0], buffer, sizeof buffer);
    onInterrupt();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace zr::cli
