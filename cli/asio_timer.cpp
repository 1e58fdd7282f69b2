#include "cli/asio_timer.h"

namespace zr::cli {

struct AsioTimer::State : std::enable_shared_from_this<State> {
  State(asio::io_context& io, int intervalMs) : timer(io), interval(intervalMs) {}

  void Arm(asio::steady_timer::time_point at)
  {
    timer.expires_at(at);
    timer.async_wait([weak = weak_from_this(), run = runs](const std::error_code& error) {
      const std::shared_ptr<State> self = weak.lock();
      // Stopped, restarted or gone since this wait began.
      if (error || !self || self->runs != run)
        return;
      // The next tick counts from this one's due time, not from now, so
      // that a pacing timer keeps its rate when the loop is late.
      self->Arm(self->timer.expiry() + std::chrono::milliseconds(self->interval));
      if (self->handler)
        self->handler();
    });
  }

  asio::steady_timer timer;
  int interval;
  bool active = false;
  unsigned runs = 0; // counts starts and stops
  std::function<void()> handler;
};

AsioTimer::AsioTimer(asio::io_context& io, int intervalMs) : state_(std::make_shared<State>(io, intervalMs)) {}

AsioTimer::~AsioTimer()
{
  Stop();
}

void AsioTimer::Start()
{
  ++state_->runs;
  state_->active = true;
  state_->Arm(asio::steady_timer::clock_type::now() + std::chrono::milliseconds(state_->interval));
}

void AsioTimer::Stop()
{
  ++state_->runs;
  state_->active = false;
  state_->timer.cancel();
}

void AsioTimer::SetInterval(int milliseconds)
{
  state_->interval = milliseconds;
  if (state_->active)
    Start();
}

int AsioTimer::Interval() const
{
  return state_->interval;
}

bool AsioTimer::IsActive() const
{
  return state_->active;
}

void AsioTimer::SetHandler(std::function<void()> handler)
{
  state_->handler = std::move(handler);
}

} // namespace zr::cli
