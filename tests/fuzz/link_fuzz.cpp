// Whatever the console sends — any length, any content, a flood, a frame cut
// anywhere, bytes trickling in over many polls — the serial link frames it
// without reading past its 1024-byte buffer, and the dispatch and the engine
// behind it take it without a fault. The same bytes then go through the MIDI
// handler as input buffers of any recorded count.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "link/comm.h"
#include "link/dispatch.h"
#include "tests/support/fake_serial.h"
#include "tests/support/fakes.h"
#include "transfer/session.h"

namespace {

class NullMidiPort : public zr::MidiPort {
public:
  void SendSysEx(const std::uint8_t*, std::size_t) override {}
  void Requeue(zr::MidiInBuffer& buffer) override { buffer.queued = true; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  using namespace zr;
  using namespace zr::test;
  if (size < 2)
    return 0;
  FakeHost host;
  FakeTimers timers;
  TestSession session(host, timers.timers);
  FakeSerialLine line;
  line.devices["/dev/fuzz"] = SerialOpenResult::Ok;
  ComLink com(session, line.Factory(), [](int) { return std::string("/dev/fuzz"); });
  FakeLink midiLink("  No MIDI device");
  session.Com = &com;
  session.Midi = &midiLink;
  session.link.ComPortNumber = 1;
  if (!com.OpenComPort())
    return 0;
  // The first byte sets how the rest trickles in: piece sizes and gaps.
  const std::size_t piece = 1 + data[0] % 97;
  const long long gap = (data[0] >> 4) * 7;
  if (data[1] & 1)
    com.SearchComPort(); // an inbound search is then a looped cable
  session.batch.CancelRequested = data[1] & 2;
  session.batch.SendFinished = data[1] & 4;

  const std::uint8_t* bytes = data + 2;
  const std::size_t n = size - 2;
  long long at = 0;
  for (std::size_t i = 0; i < n; i += piece, at += gap)
    line.Arrive(Bytes(bytes + i, bytes + std::min(n, i + piece)), at);
  for (int poll = 0; poll < 24 && line.Unread() > 0; ++poll) {
    com.ComReadAndDispatch();
    line.now += 50;
  }
  if (line.largestRead > COM_READ_BUFFER_SIZE)
    __builtin_trap();

  // The same bytes as MIDI input buffers, cut at every F7.
  NullMidiPort port;
  MidiInBuffer buffer;
  std::size_t start = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] != SYS_EX_END && i + 1 != n)
      continue;
    const std::size_t length = std::min(i + 1 - start, MidiInBuffer::SIZE);
    buffer = MidiInBuffer{};
    std::copy_n(bytes + start, length, buffer.data.begin());
    // A back-end could record any count; the handler must not trust it.
    buffer.bytesRecorded = (data[1] & 8) ? length + data[0] * 8 : length;
    buffer.hasData = !(data[1] & 16) || length > 1;
    HandleMidiSysExIn(session, port, buffer);
    start = i + 1;
  }
  return 0;
}
