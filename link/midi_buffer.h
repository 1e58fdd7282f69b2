// The MIDI link's input buffers as the inbound dispatch sees them, and what
// the dispatch needs of the MIDI link besides the four link operations.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zr {

struct MidiInBuffer {
  static constexpr std::size_t SIZE = 1024; // the largest message, a 1015-byte data block, fits
  std::array<std::uint8_t, SIZE> data{};
  std::size_t bytesRecorded = 0;
  bool hasData = true;  // false stands for a header without a data area
  bool queued = false;  // handed to the device, waiting to be filled
};

class MidiPort {
public:
  virtual ~MidiPort() = default;
  // MidiSendSysEx: one complete message out.
  virtual void SendSysEx(const std::uint8_t* data, std::size_t length) = 0;
  // Gives a handled buffer back to the device.
  virtual void Requeue(MidiInBuffer& buffer) = 0;
};

} // namespace zr
