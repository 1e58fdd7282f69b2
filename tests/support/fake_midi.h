// A scripted MIDI system for the core tests: named devices, chosen open and
// close results, a record of every call and every message sent, and a way
// to deliver inbound messages as the back-end would (on the GUI thread).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/midi_system.h"
#include "link/wire.h"

namespace zr::test {

class FakeMidiSystem : public MidiSystem {
public:
  // Device names by index; nothing stands for a device whose name cannot be read.
  std::vector<std::optional<std::string>> inputs;
  std::vector<std::optional<std::string>> outputs;

  // Results of the next opens and closes, used up in order; when a queue is
  // empty the call succeeds (an open of an index out of range fails with
  // MIDI_BAD_DEVICE_ID, as the platform's would).
  std::deque<MidiResult> outputOpenResults;
  std::deque<MidiResult> inputOpenResults;
  std::deque<MidiResult> outputCloseResults;
  std::deque<MidiResult> inputCloseResults;
  MidiResult startInputResult = MIDI_OK;

  // What happened, in order: "OpenOutput 0", "OpenInput 1", "StartInput",
  // "CloseOutput", "CloseInput".
  std::vector<std::string> calls;
  std::vector<Bytes> sent;
  bool outputOpen = false;
  bool inputOpen = false;
  // Called after each message sent, e.g. to answer it as a console would.
  std::function<void(const Bytes &)> onSend;

  int InputCount() override { return static_cast<int>(inputs.size()); }
  int OutputCount() override { return static_cast<int>(outputs.size()); }
  std::optional<std::string> InputName(int index) override;
  std::optional<std::string> OutputName(int index) override;
  MidiResult OpenOutput(int index) override;
  MidiResult OpenInput(int index) override;
  MidiResult StartInput() override;
  MidiResult CloseOutput() override;
  MidiResult CloseInput() override;
  void SendSysEx(const std::uint8_t *data, std::size_t length) override;
  void SetReceiver(SysExReceiver receiver) override { receiver_ = std::move(receiver); }

  // One inbound message, delivered as the application's event filter would.
  void Deliver(const Bytes &message);
  void Deliver(const std::uint8_t *data, std::size_t length);
  bool HasReceiver() const { return static_cast<bool>(receiver_); }
  // Number of opens of either device so far.
  int OpenCalls() const;

  // n devices named "In 1" ... and "Out 1" ...
  void SetDevices(int inputCount, int outputCount);

private:
  // Either device: the call recorded, the next scripted result, the state kept.
  MidiResult Open(const char *call, int index, int count, std::deque<MidiResult> &results, bool &open);
  MidiResult Close(const char *call, std::deque<MidiResult> &results, bool &open);

  SysExReceiver receiver_;
};

} // namespace zr::test
