#include "link/dispatch.h"

#include <algorithm>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/link_context.h"
#include "link/midi_system.h"
#include "link/wire.h"

namespace zr {

namespace {

constexpr std::size_t MIDI_MIN_MESSAGE = 9;

// A frame as the handlers read it: b[i] for the offsets of the wire layout.
// `n` is the count that the formulas use (bytes received); `available` is
// how many offsets exist, which is n + 1 for a MIDI message whose leading
// F0 the driver left out.
struct Frame {
  Frame(const std::uint8_t* bytes, std::size_t count, std::size_t offsets)
      : b(bytes), n(count), available(offsets),
        fieldsEnd(offsets > 0 && bytes[offsets - 1] == SYS_EX_END ? offsets - 1 : offsets)
  {
  }
  const std::uint8_t* b;
  std::size_t n;
  std::size_t available;
  std::size_t fieldsEnd; // the end byte is no field: a frame cut short must not read it as one
  // True when every offset up to `last` holds a field byte.
  bool Reaches(std::size_t last) const { return last < fieldsEnd; }
};

// Where the two handlers part ways.
struct Side {
  int medium;                   // MEDIUM_COM or MEDIUM_MIDI
  Link* link;                   // the serial link; null for MIDI (the engine knows its MIDI link)
  SerialSide* com = nullptr;    // serial only
  MidiPort* midiPort = nullptr; // MIDI only
};

void OnSearch(LinkContext& context, const Side& side)
{
  const Bytes identify = BuildIdentify();
  if (side.com) {
    // While our own search is unanswered, a search coming in is our own
    // message coming back: the cable or adapter loops.
    if (side.com->Searching())
      context.OnLinkFault(LinkFault::LoopMode, {TextId::LoopMode});
    else
      side.com->WriteMessage(identify.data(), identify.size());
  } else if (side.midiPort) {
    side.midiPort->SendSysEx(identify.data(), identify.size());
  }
}

void OnIdentify(LinkContext& context, const Side& side, const Frame& f)
{
  context.timers.TimeoutTimer.Stop();
  if (side.com)
    side.com->StopSearching();
  context.OnIdentify(side.link, side.medium, f.b[OFS_MODEL] == MODEL_BYTE);
}

void OnDataBlock(LinkContext& context, const Side& side, const Frame& f)
{
  // The watchdog stays armed: only the engine knows whether this is the
  // block it waits for or a stray one.
  const int type = f.b[OFS_TYPE];
  if (f.b[OFS_FLAG] != DATA_BLOCK_FLAG)
    return;
  InboundBlock block;
  block.medium = side.medium;
  block.type = type;
  block.total = Join14(f.b[OFS_TOTAL], f.b[OFS_TOTAL + 1]);
  block.block = Join14(f.b[OFS_BLOCK], f.b[OFS_BLOCK + 1]);
  // The checksum byte follows the payload: n - 15 payload bytes from offset 13.
  block.payload = f.b + OFS_PAYLOAD;
  block.count = f.n - DATA_BLOCK_OVERHEAD;
  context.OnDataBlock(block);
}

void OnDirectory(LinkContext& context, const Side& side, const Frame& f)
{
  const int type = f.b[OFS_TYPE];
  // The card list has rows for the nine types only; a reply for any other
  // type answers nothing we asked.
  if (!IsDataType(type))
    return;
  context.OnDirectoryReply(side.medium, type, ParseDirectoryEntries(f.b, f.available));
}

void OnBlockRequest(LinkContext& context, const Side& side, const Frame& f)
{
  context.OnBlockRequest(side.link, side.medium, f.b[OFS_TYPE],
                         Join14(f.b[OFS_REQUEST_BLOCK], f.b[OFS_REQUEST_BLOCK + 1]));
}

void OnFileRequest(LinkContext& context, const Side& side, const Frame& f)
{
  // As with a data block, the engine stops the watchdog when this is the
  // answer it waits for: a stray one must not leave a download unguarded.
  context.OnFileRequest(side.link, side.medium, f.b[OFS_TYPE]);
}

// The last offset each command reads; a shorter frame is dropped.
bool LongEnough(std::uint8_t command, const Frame& f)
{
  switch (command) {
  case SYS_EX_SEARCH:
    return f.Reaches(OFS_COMMAND);
  case SYS_EX_IDENTIFY:
    return f.Reaches(OFS_COMMAND);
  case SYS_EX_DATA_BLOCK:
    // Header up to k, then the checksum byte after n - 15 payload bytes.
    return f.n >= DATA_BLOCK_OVERHEAD && f.Reaches(OFS_PAYLOAD + (f.n - DATA_BLOCK_OVERHEAD));
  case SYS_EX_DIRECTORY:
    return f.Reaches(OFS_TYPE);
  case SYS_EX_BLOCK_REQUEST:
    return f.Reaches(OFS_REQUEST_BLOCK + 1);
  case SYS_EX_FILE_REQUEST:
    return f.Reaches(OFS_TYPE);
  default:
    return false;
  }
}

// The common steps: check the header, then the command table.
void Dispatch(LinkContext& session, const Side& side, const Frame& f)
{
  if (!f.Reaches(OFS_COMMAND) || !HasManufacturerId(f.b, f.available))
    return;
  const std::uint8_t command = f.b[OFS_COMMAND];
  if (!LongEnough(command, f))
    return;
  switch (command) {
  case SYS_EX_SEARCH:
    OnSearch(session, side);
    break;
  case SYS_EX_IDENTIFY:
    OnIdentify(session, side, f);
    break;
  case SYS_EX_DATA_BLOCK:
    OnDataBlock(session, side, f);
    break;
  case SYS_EX_DIRECTORY:
    OnDirectory(session, side, f);
    break;
  case SYS_EX_BLOCK_REQUEST:
    OnBlockRequest(session, side, f);
    break;
  case SYS_EX_FILE_REQUEST:
    OnFileRequest(session, side, f);
    break;
  default:
    break;
  }
}

} // namespace

void DispatchComFrame(LinkContext& session, SerialSide& com, const std::uint8_t* frame, std::size_t n)
{
  if (frame == nullptr)
    return;
  const Side side{MEDIUM_COM, &com.AsLink(), &com, nullptr};
  Dispatch(session, side, Frame{frame, n, n});
}

void DispatchMidiMessage(LinkContext& session, MidiPort& port, const std::uint8_t* data, std::size_t n)
{
  if (data == nullptr || n < MIDI_MIN_MESSAGE || n > MIDI_MAX_MESSAGE)
    return;
  const Side side{MEDIUM_MIDI, nullptr, nullptr, &port};
  if (data[0] == SYS_EX_START) {
    Dispatch(session, side, Frame{data, n, n});
  } else {
    // Some drivers leave out the leading F0: offset 1 is then the first
    // byte received. Put an F0 in front so the offsets stay the same.
    std::vector<std::uint8_t> shifted(n + 1);
    shifted[0] = SYS_EX_START;
    std::copy_n(data, n, shifted.begin() + 1);
    Dispatch(session, side, Frame{shifted.data(), n, n + 1});
  }
}

void HandleMidiSysExIn(LinkContext& session, MidiPort& port, MidiInBuffer& buffer)
{
  if (buffer.bytesRecorded == 0 || !buffer.hasData) {
    session.ShowStatus({TextId::MidiSysExIn});
    return;
  }
  // A back-end can never make us read past the data area.
  const std::size_t n = std::min(buffer.bytesRecorded, MidiInBuffer::SIZE);
  DispatchMidiMessage(session, port, buffer.data.data(), n);
  port.Requeue(buffer);
}

} // namespace zr
