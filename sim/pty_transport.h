// The virtual console's COM port: a pseudo-terminal whose slave side the PC
// opens like a serial device. Paces the line like a UART at a chosen baud
// rate (10 bits per byte), in both directions.
#pragma once

#include <chrono>
#include <string>

#include "sim/transport.h"

namespace zr::sim {

class PtyTransport : public Transport {
public:
  // baud 0: as fast as the pseudo-terminal goes. leadingFill: 0xFF bytes sent
  // before every message.
  PtyTransport(int baud, int leadingFill);
  ~PtyTransport() override;

  bool Open(std::string& error) override;
  std::string Address() const override { return slavePath_; }
  int Serve(ConsolePeer& peer, const std::atomic<bool>& stop) override;

private:
  using Clock = std::chrono::steady_clock;
  // Time one byte takes on the line.
  Clock::duration ByteTime() const;
  // oneWrite: the bytes go out in a single write once all of them have
  // crossed the line, instead of a few at a time.
  bool WritePaced(const Bytes& bytes, bool oneWrite, const std::atomic<bool>& stop);

  int baud_;
  int leadingFill_;
  int master_ = -1;
  int slave_ = -1; // held open so the line stays up while the PC closes and reopens it
  std::string slavePath_;
  Clock::time_point outputFree_{}; // when our side of the line is idle again
};

// Ends this process when its parent ends (tests that crash leave no console behind).
void DieWithParent();

} // namespace zr::sim
