// How zr4812-sim reaches the PC. The console itself (ConsolePeer) knows no
// transport; each transport carries its messages over one kind of line:
// a pseudo-terminal standing in for a COM port, or a pair of MIDI ports.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "sim/peer/console_peer.h"

namespace zr::sim {

class Transport {
public:
  virtual ~Transport() = default;
  // Creates the line. False with a reason when it cannot.
  virtual bool Open(std::string& error) = 0;
  // Where the PC finds the console (device path, port name); printed on stdout.
  virtual std::string Address() const = 0;
  // Carries messages between the line and the peer until `stop` is set or
  // the line fails. Returns the program's exit code.
  virtual int Serve(ConsolePeer& peer, const std::atomic<bool>& stop) = 0;
};

// Keeps the line quiet for `pause` (the gap inside a cut message), looking at
// the stop flag now and then. False when stopped.
inline bool QuietLine(std::chrono::milliseconds pause, const std::atomic<bool>& stop)
{
  const auto until = std::chrono::steady_clock::now() + pause;
  while (!stop && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        until - std::chrono::steady_clock::now(), std::chrono::milliseconds(100)));
  return !stop;
}

} // namespace zr::sim
