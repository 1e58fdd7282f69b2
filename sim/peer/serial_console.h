// The virtual console on a byte stream (its serial line): cuts the PC's
// bytes into messages and lays the console's answers back on the line.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/peer/console_peer.h"

namespace zr::sim {

// Cuts a byte stream (the serial line) into System Exclusive messages.
// Bytes outside F0 ... F7 are dropped; a message longer than any the
// protocol has is dropped too.
class SysExFramer {
public:
  std::vector<Bytes> Feed(const std::uint8_t* bytes, std::size_t n);
  std::size_t DroppedBytes() const { return dropped_; }

private:
  Bytes current_;
  bool inMessage_ = false;
  std::size_t dropped_ = 0;
};

// The console on a byte stream: frames the PC's bytes, answers, and puts
// the answers back on the line, with `leadingFill` 0xFF bytes before each
// (some adapters send them).
class SerialConsole {
public:
  SerialConsole(ConsolePeer& peer, int leadingFill = 0) : peer_(peer), leadingFill_(leadingFill) {}
  // What goes on the line, one element per write: answers that follow each
  // other without a pause are joined; `sameWrite` marks an element that must
  // go out in one write rather than paced in pieces.
  std::vector<LineOutput> FeedLine(const std::uint8_t* bytes, std::size_t n);
  // All of it as one byte stream, pauses left out.
  Bytes Feed(const std::uint8_t* bytes, std::size_t n);

private:
  ConsolePeer& peer_;
  int leadingFill_;
  SysExFramer framer_;
};

} // namespace zr::sim
