// Whatever the console sends — any length, any content, a flood, a frame cut
// anywhere, bytes trickling in with gaps up to beyond the 10 s a partial
// frame is kept — the serial link frames it as it arrives without holding
// more than the longest message, and the dispatch and the engine behind it
// take it without a fault. The same bytes then go through the MIDI
// handler as input buffers of any recorded count.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "link/comm.h"
#include "link/dispatch.h"
#include "tests/support/fake_serial.h"
#include "tests/support/fakes.h"
#include "engine/session.h"

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
  line.clock = &timers.clock;
  line.devices["/dev/fuzz"] = SerialOpenResult::Ok;
  ComLink com(session, line.Factory(), [](int) { return std::string("/dev/fuzz"); });
  FakeLink midiLink(TextId::NoMidiDevice);
  session.Com = &com;
  session.Midi = &midiLink;
  session.link.ComPortNumber = 1;
  timers.comm.SetHandler([&] { com.ComReadAndDispatch(); });
  if (!com.OpenComPort())
    return 0;
  // The first byte sets how the rest trickles in: piece sizes and gaps
  // (now and then one beyond the 10 s a partial frame is kept).
  const std::size_t piece = 1 + data[0] % 97;
  const long long gap = (data[0] >> 4) * 7;
  const std::size_t longGapEvery = 1 + (data[1] >> 5);
  if (data[1] & 1)
    com.SearchComPort(); // an inbound search is then a looped cable
  session.batch.CancelRequested = data[1] & 2;
  session.batch.SendFinished = data[1] & 4;

  const std::uint8_t* bytes = data + 2;
  const std::size_t n = size - 2;
  long long at = 0;
  int longGaps = 0;
  for (std::size_t i = 0, k = 1; i < n; i += piece, ++k) {
    line.Arrive(Bytes(bytes + i, bytes + std::min(n, i + piece)), at);
    const bool longGap = (data[1] & 32) && k % longGapEvery == 0 && longGaps < 3;
    longGaps += longGap;
    at += longGap ? COM_FRAME_SILENCE_MS + 100 : gap;
  }
  line.Run(at + 1);
  if (com.PartialFrameLength() > COM_MAX_MESSAGE)
    __builtin_trap();
  // Whatever is left unended goes after the silence.
  line.Run(COM_FRAME_SILENCE_MS + 100);
  if (line.largestRead > COM_READ_CHUNK || com.PartialFrameLength() != 0 || line.Unread() != 0)
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
