// A scripted serial line for the link tests: devices that exist or not,
// bytes that arrive at set times, and a record of everything written. On
// its own the line's clock stands still (a test moves `now`); bound to the
// manual clock of the timers, Run() turns time forward as an event loop
// would, telling the open device of bytes as they arrive.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_device.h"
#include "link/wire.h"
#include "tests/support/fakes.h"

namespace zr::test {

class FakeSerialLine {
public:
  // Devices that open with the given result; any other path is NotFound.
  std::map<std::string, SerialOpenResult> devices;
  // A pulled-out adapter: open devices stop being open, and none opens.
  bool unplugged = false;

  // The timers' clock, when the line runs on it.
  ManualClock* clock = nullptr;

  // Bytes that become readable `afterMs` from now on the line's clock.
  void Arrive(const Bytes& bytes, long long afterMs = 0);
  void Arrive(std::initializer_list<std::uint8_t> bytes, long long afterMs = 0)
  {
    Arrive(Bytes(bytes), afterMs);
  }
  std::size_t Unread() const; // bytes still queued, due or not

  // Called with every message the link writes (a peer can answer with Arrive).
  std::function<void(const Bytes&)> onWrite;

  SerialDeviceFactory Factory();

  // Moves `clock` forward by `ms`, firing its timers, and tells the open
  // device whenever bytes have become readable (after the timers due at
  // the same moment, once for all bytes due by then).
  void Run(long long ms);

  // What happened.
  std::vector<Bytes> writes;
  std::vector<std::string> openAttempts;
  int opens = 0; // successful
  int closes = 0;
  long long now = 0; // ms, when not bound to a clock
  std::size_t largestRead = 0;
  int notices = 0; // times the device was told of arriving bytes

  // Used by the device.
  long long Now() const { return clock ? clock->now : now; }
  std::size_t Due() const;
  std::size_t Take(std::uint8_t* destination, std::size_t max);
  std::function<void()> readyRead; // the open device's handler

private:
  struct Chunk {
    long long at;
    unsigned long long number;
    Bytes bytes;
  };
  std::deque<Chunk> pending_; // in order of arrival
  unsigned long long arrivals_ = 0;
  unsigned long long told_ = 0; // the last chunk the device was told of
};

// No console any more: every armed timer but the serial poll runs out, the
// next due first, until none is left (64 rounds at most, for a timer that
// re-arms itself for ever).
void RunOutTimers(FakeTimers& timers, FakeSerialLine& line);
// When the first timer but the serial poll fires; -1 when none is armed.
long long NextDue(const FakeTimers& timers);

} // namespace zr::test
