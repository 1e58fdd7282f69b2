// The virtual console's MIDI ports: one input and one output port in the
// MIDI system (ALSA when its sequencer opens, else JACK), both named after
// the console, carrying the same messages as the serial line. Paced like a
// MIDI cable at a chosen baud rate (10 bits per byte) in both directions.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "sim/transport.h"

class RtMidiIn;
class RtMidiOut;

namespace zr::sim {

class MidiTransport : public Transport {
public:
  static constexpr const char *DEFAULT_NAME = "ZR4812 Sim";

  // baud 0: as fast as the MIDI system goes.
  MidiTransport(int baud, std::string name);
  ~MidiTransport() override;

  bool Open(std::string &error) override;
  // The name of both ports.
  std::string Address() const override { return name_; }
  int Serve(ConsolePeer &peer, const std::atomic<bool> &stop) override;

  // Called on RtMidi's thread; public only for the C callbacks.
  void OnMessage(const std::vector<unsigned char> &message);
  void OnError(int type, const std::string &text);

private:
  using Clock = std::chrono::steady_clock;
  Clock::duration WireTime(std::size_t bytes) const;
  bool SendPaced(const Bytes &message, const std::atomic<bool> &stop);

  int baud_;
  std::string name_;
  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;

  std::mutex mutex_;
  std::condition_variable arrived_;
  struct Inbound {
    Bytes bytes;
    Clock::time_point at;
  };
  std::deque<Inbound> inbox_;
  std::size_t dropped_ = 0;
  std::string lastError_;
  bool failed_ = false; // an error (not a warning) since the last look

  Clock::time_point inputFree_{};  // when the PC's last message has crossed the cable
  Clock::time_point outputFree_{}; // when our side of the cable is idle again
};

} // namespace zr::sim
