// The engine's timers over Asio's steady_timer, on the command line's event
// loop: what the core's Timer interface asks for, as QTimer gives it to the
// window (repeating, restarted by Start and by a new interval).
#pragma once

#include <functional>
#include <memory>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "link/timer.h"

namespace zr::cli {

class AsioTimer : public Timer {
public:
  AsioTimer(asio::io_context& io, int intervalMs);
  ~AsioTimer() override;
  AsioTimer(const AsioTimer&) = delete;
  AsioTimer& operator=(const AsioTimer&) = delete;

  void Start() override;
  void Stop() override;
  void SetInterval(int milliseconds) override;
  int Interval() const override;
  bool IsActive() const override;
  void SetHandler(std::function<void()> handler) override;

  struct State;

private:
  // Shared with the wait under way, which may complete after the timer is gone.
  std::shared_ptr<State> state_;
};

// The timers with the intervals they are created with, all stopped.
struct AsioTimerSet {
  explicit AsioTimerSet(asio::io_context& io)
      : CommTimer(io, 50), TimeoutTimer(io, 1500), UploadTimer(io, 25000), DownloadTimer(io, 5000),
        DummyTimer(io, 5000), SendTimer(io, 500), RetryTimer(io, 1000)
  {
  }
  AsioTimer CommTimer;
  AsioTimer TimeoutTimer;
  AsioTimer UploadTimer;
  AsioTimer DownloadTimer;
  AsioTimer DummyTimer;
  AsioTimer SendTimer;
  AsioTimer RetryTimer;
  Timers timers{CommTimer, TimeoutTimer, UploadTimer, DownloadTimer, DummyTimer, SendTimer, RetryTimer};
};

} // namespace zr::cli
