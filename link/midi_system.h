// The platform's MIDI devices as the MIDI link needs them. The RtMidi
// back-end implements it; tests use a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/wire.h"

namespace zr {

// The longest System Exclusive message the MIDI link takes from the console;
// a directory reply grows by 9 bytes a file.
constexpr std::size_t MIDI_MAX_MESSAGE = MAX_MESSAGE;

// Result codes in the numbering that the MIDI link reports to the user.
enum MidiResult : int {
  MIDI_OK = 0,
  MIDI_BAD_DEVICE_ID = 2,
  MIDI_ALLOCATED = 4,
  MIDI_INVALID_HANDLE = 5, // the device is not open
  MIDI_NO_MEMORY = 7,
  MIDI_INVALID_PARAM = 11,
  MIDI_NO_DEVICE = 68,
};

// What the port setup dialog shows: the product names by device index.
struct MidiDeviceLists {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  bool bothPresent = false; // at least one input and one output device
};

class MidiSystem {
public:
  virtual ~MidiSystem() = default;
  virtual int InputCount() = 0;
  virtual int OutputCount() = 0;
  // A device's product name; nothing when it cannot be read.
  virtual std::optional<std::string> InputName(int index) = 0;
  virtual std::optional<std::string> OutputName(int index) = 0;

  [[nodiscard]] virtual MidiResult OpenOutput(int index) = 0;
  [[nodiscard]] virtual MidiResult OpenInput(int index) = 0;
  [[nodiscard]] virtual MidiResult StartInput() = 0;
  [[nodiscard]] virtual MidiResult CloseOutput() = 0;
  [[nodiscard]] virtual MidiResult CloseInput() = 0; // stops input first

  // Sends one complete System Exclusive message. The back-end keeps the
  // bytes alive for as long as the platform reads them.
  virtual void SendSysEx(const std::uint8_t* data, std::size_t length) = 0;

  // Receiver of inbound System Exclusive messages, called on the GUI thread
  // (the back-end posts from its own thread; the application's event filter
  // delivers).
  using SysExReceiver = std::function<void(const std::uint8_t* data, std::size_t length)>;
  virtual void SetReceiver(SysExReceiver receiver) = 0;
};

} // namespace zr
