#include "link/dispatch.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "link/comm.h"
#include "link/wire.h"
#include "transfer/datatypes.h"
#include "transfer/session.h"

namespace zr {

namespace {

// Frame offsets beyond the common header.
constexpr std::size_t OFS_FLAG = 8;
constexpr std::size_t OFS_TOTAL = 9;         // data block: N, two 7-bit halves
constexpr std::size_t OFS_BLOCK = 11;        // data block: k
constexpr std::size_t OFS_REQUEST_BLOCK = 8; // block request: k
constexpr std::size_t OFS_PAYLOAD = 13;
constexpr std::uint8_t DATA_BLOCK_FLAG = 1;
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
  Link* link;                   // answers block and file requests; may be null
  ComLink* com = nullptr;       // serial only
  MidiPort* midiPort = nullptr; // MIDI only
};

void OnSearch(Session& session, const Side& side)
{
  const Bytes identify = BuildIdentify();
  if (side.com) {
    // While our own search is unanswered, a search coming in is our own
    // message coming back: the cable or adapter loops.
    if (side.com->ComSearching)
      session.host.ShowMessage("COM port in loop mode ?!?!", BoxIcon::Error, BoxButtons::Ok);
    else
      side.com->ComWrite(identify);
  } else if (side.midiPort) {
    side.midiPort->SendSysEx(identify.data(), identify.size());
  }
}

void OnIdentify(Session& session, const Side& side, const Frame& f)
{
  session.timers.TimeoutTimer.Stop();
  const bool ourConsole = f.b[OFS_MODEL] == MODEL_BYTE;
  if (side.com) {
    side.com->ComSearching = false;
    session.link.CommMedium = MEDIUM_COM;
    session.ShowStatus("Connected thru COM port %d", session.link.ConnectedComPort);
    if (ourConsole)
      session.host.RequestCardDirectory(-1);
    return;
  }
  session.ShowStatus("Connected thru MIDI");
  if (!ourConsole)
    return;
  // Only a console that carries long messages both ways counts as
  // connected over MIDI: ask for the test block first.
  session.ShowStatus("Testing MIDI connection...");
  session.link.MidiTestRetries = 4;
  session.RxTransfer.BlockNr = 0;
  if (side.link)
    side.link->RequestBlock(SYS_EX_TEST_TYPE, 0);
}

void OnDataBlock(Session& session, const Side& side, const Frame& f)
{
  const int type = f.b[OFS_TYPE];
  if (type == SYS_EX_TEST_TYPE)
    session.timers.DummyTimer.Stop();
  else
    session.timers.UploadTimer.Stop();
  if (f.b[OFS_FLAG] != DATA_BLOCK_FLAG)
    return;
  // Over MIDI a cancelled transfer is dropped by ReceiveBlock itself, which
  // still lets the link test through.
  if (side.com && session.batch.CancelRequested)
    return;
  Filer& rx = session.RxTransfer;
  rx.Medium = side.medium;
  rx.DataType = type;
  const unsigned block = Join14(f.b[OFS_BLOCK], f.b[OFS_BLOCK + 1]);
  if (block != rx.BlockNr)
    return;
  const unsigned total = Join14(f.b[OFS_TOTAL], f.b[OFS_TOTAL + 1]);
  // The checksum byte follows the payload: n - 15 payload bytes from offset 13.
  rx.ReceiveBlock(total, f.b + OFS_PAYLOAD, f.n - DATA_BLOCK_OVERHEAD);
}

void OnDirectory(Session& session, const Side& side, const Frame& f)
{
  const int type = f.b[OFS_TYPE];
  // The card list has rows for the nine types only; a reply for any other
  // type answers nothing we asked.
  if (!IsDataType(type))
    return;
  const std::vector<std::string> entries = ParseDirectoryEntries(f.b, f.available);
  session.host.CardDirectoryReply(type, entries, side.medium == MEDIUM_MIDI);
}

void OnBlockRequest(Session& session, const Side& side, const Frame& f)
{
  session.timers.DownloadTimer.Stop();
  if (session.batch.SendFinished || !side.link)
    return;
  side.link->AnswerBlockRequest(f.b[OFS_TYPE], Join14(f.b[OFS_REQUEST_BLOCK], f.b[OFS_REQUEST_BLOCK + 1]));
}

void OnFileRequest(Session& session, const Side& side, const Frame& f)
{
  session.timers.UploadTimer.Stop();
  // After Cancel the console's acceptance of a name is a request like any
  // other: it must not start the file that the user has just stopped.
  if (session.batch.SendFinished)
    return;
  session.TxTransfer.Medium = side.medium;
  if (side.link)
    side.link->AnswerBlockRequest(f.b[OFS_TYPE], 0);
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
void Dispatch(Session& session, const Side& side, const Frame& f)
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

void DispatchComFrame(Session& session, ComLink& com, const std::uint8_t* frame, std::size_t n)
{
  if (frame == nullptr)
    return;
  const Side side{MEDIUM_COM, &com, &com, nullptr};
  Dispatch(session, side, Frame{frame, n, n});
}

void HandleMidiSysExIn(Session& session, MidiPort& port, MidiInBuffer& buffer)
{
  if (buffer.bytesRecorded == 0 || !buffer.hasData) {
    session.ShowStatus("HandleMidiSysExIn");
    return;
  }
  // A back-end can never make us read past the data area.
  const std::size_t n = std::min(buffer.bytesRecorded, MidiInBuffer::SIZE);
  if (n < MIDI_MIN_MESSAGE) {
    port.Requeue(buffer);
    return;
  }
  const Side side{MEDIUM_MIDI, session.Midi, nullptr, &port};
  if (buffer.data[0] == SYS_EX_START) {
    Dispatch(session, side, Frame{buffer.data.data(), n, n});
  } else {
    // Some drivers leave out the leading F0: offset 1 is then the first
    // byte received. Put an F0 in front so the offsets stay the same.
    std::array<std::uint8_t, MidiInBuffer::SIZE + 1> shifted;
    shifted[0] = SYS_EX_START;
    std::copy_n(buffer.data.begin(), n, shifted.begin() + 1);
    Dispatch(session, side, Frame{shifted.data(), n, n + 1});
  }
  port.Requeue(buffer);
}

} // namespace zr
