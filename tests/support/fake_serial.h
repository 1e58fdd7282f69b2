// A scripted serial line for the link tests: devices that exist or not,
// bytes that arrive at set times on a clock that only Pause moves, and a
// record of everything written.
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

namespace zr::test {

class FakeSerialLine {
public:
  // Devices that open with the given result; any other path is NotFound.
  std::map<std::string, SerialOpenResult> devices;
  // A pulled-out adapter: open devices stop being open, and none opens.
  bool unplugged = false;

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

  // What happened.
  std::vector<Bytes> writes;
  std::vector<std::string> openAttempts;
  int opens = 0; // successful
  int closes = 0;
  int pauses = 0;
  long long now = 0; // ms, moved by Pause
  std::size_t largestRead = 0;

  // Used by the device.
  std::size_t Due() const;
  std::size_t Take(std::uint8_t* destination, std::size_t max);

private:
  struct Chunk {
    long long at;
    Bytes bytes;
  };
  std::deque<Chunk> pending_;
};

} // namespace zr::test
