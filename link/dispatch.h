// The inbound dispatch: every message from the console, on either link,
// ends here. One implementation of the command table serves both the
// serial handler and `HandleMidiSysExIn`; they differ only where the
// link does (loop detection, link test, cancel check, sorting).
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/midi_buffer.h"

namespace zr {

class LinkContext;
class Link;

// What the dispatch needs of the serial link it answers on: whether our
// own search is unanswered, and the line to write the answer to.
class SerialSide {
public:
  virtual ~SerialSide() = default;
  virtual Link& AsLink() = 0;
  virtual bool Searching() const = 0;
  virtual void StopSearching() = 0;
  virtual void WriteMessage(const std::uint8_t* data, std::size_t length) = 0;
};

// The serial handler: one complete frame from ComReadAndDispatch (leading
// 0xFF bytes already skipped, F0 first, F7 last).
void DispatchComFrame(LinkContext& context, SerialSide& com, const std::uint8_t* frame, std::size_t n);

// One filled MIDI input buffer. Requeues it through `port` when done,
// except a buffer without bytes or data area, which is reported and kept.
void HandleMidiSysExIn(LinkContext& context, MidiPort& port, MidiInBuffer& buffer);

// One whole MIDI message that came in more than one input buffer and was
// joined by the MIDI link; the same checks and commands as HandleMidiSysExIn.
void DispatchMidiMessage(LinkContext& context, MidiPort& port, const std::uint8_t* data, std::size_t n);

} // namespace zr
