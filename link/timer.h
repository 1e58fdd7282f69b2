// The timers that pace and guard every exchange with the console: one
// abstract timer, implemented by Qt in the programs and by a manual clock in
// the tests.
#pragma once

#include <functional>

namespace zr {

// One of the six timers. Starting a running timer restarts it; setting the
// interval of a running timer restarts it with the new interval.
class Timer {
public:
  virtual ~Timer() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void SetInterval(int milliseconds) = 0;
  virtual int Interval() const = 0;
  virtual bool IsActive() const = 0;
  // Called on the GUI thread when the timer fires.
  virtual void SetHandler(std::function<void()> handler) = 0;
};

struct Timers {
  Timer& CommTimer;     // 50 ms: serial poll
  Timer& TimeoutTimer;  // 1500 ms: search
  Timer& UploadTimer;   // 25000 ms: first answer to a request
  Timer& DownloadTimer; // 5000 ms: console's next block request
  Timer& DummyTimer;    // 5000 ms: MIDI link test
  Timer& SendTimer;     // 500 ms: pause before the next file of a send
  // Not one of the window's six: asks again for what the PC asked for and
  // did not get, after a time taken from the measured round trip.
  Timer& RetryTimer;
};

} // namespace zr
