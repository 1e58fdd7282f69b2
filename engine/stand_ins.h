// What stands in for a window and for a MIDI system when a front end has
// none: a host that shows nothing and answers no question yes, and a MIDI
// system without devices. Every front end without a screen uses these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/midi_system.h"
#include "engine/host.h"

namespace zr {

// The engine's host when no screen stands in front: no question is
// answered yes. (Without a view the engine shows nothing.)
class QuietHost : public Host {
public:
  BoxAnswer ShowMessage(const std::string&, BoxIcon, BoxButtons) override { return BoxAnswer::Closed; }
  std::optional<std::string> AskSaveFileName(const SaveFileRequest&) override { return std::nullopt; }
  std::string SelectedPcFolder() override { return {}; }
};

// No MIDI system at all: a serial run does not wake the platform's MIDI
// (which complains on stderr when it finds no sequencer or JACK server).
class NoMidi : public MidiSystem {
public:
  int InputCount() override { return 0; }
  int OutputCount() override { return 0; }
  std::optional<std::string> InputName(int) override { return std::nullopt; }
  std::optional<std::string> OutputName(int) override { return std::nullopt; }
  MidiResult OpenOutput(int) override { return MIDI_BAD_DEVICE_ID; }
  MidiResult OpenInput(int) override { return MIDI_BAD_DEVICE_ID; }
  MidiResult StartInput() override { return MIDI_BAD_DEVICE_ID; }
  MidiResult CloseOutput() override { return MIDI_OK; }
  MidiResult CloseInput() override { return MIDI_OK; }
  void SendSysEx(const std::uint8_t*, std::size_t) override {}
  void SetReceiver(SysExReceiver) override {}
};

} // namespace zr
