// The six timers of the main window over QTimer: what the core's Timer
// interface asks for, on the GUI thread's event loop.
#pragma once

#include <functional>

#include <QTimer>

#include "engine/host.h"

namespace zr {

class QtTimer : public Timer {
public:
  explicit QtTimer(int intervalMs);
  void Start() override { timer_.start(); }
  void Stop() override { timer_.stop(); }
  // QTimer restarts a running timer with the new interval, as Timer requires.
  void SetInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
  int Interval() const override { return timer_.interval(); }
  bool IsActive() const override { return timer_.isActive(); }
  void SetHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
  QTimer timer_;
  std::function<void()> handler_;
};

// The timers with the intervals they are created with, all stopped.
struct QtTimerSet {
  QtTimer CommTimer{50};
  QtTimer TimeoutTimer{1500};
  QtTimer UploadTimer{25000};
  QtTimer DownloadTimer{5000};
  QtTimer DummyTimer{5000};
  QtTimer SendTimer{500};
  QtTimer RetryTimer{1000};
  Timers timers{CommTimer, TimeoutTimer, UploadTimer, DownloadTimer, DummyTimer, SendTimer, RetryTimer};
};

} // namespace zr
