// Whatever arrives at the MIDI input — messages of any length (well beyond
// the two 1024-byte buffers), any content, with or without F0, a flood,
// well-formed protocol messages in any order — the MIDI link passes it
// through its buffers without writing past them, joins a long message up to
// 64 KiB, hands it to the dispatch and the engine behind it without a fault,
// and ends each message with both buffers queued again. Now and then the port is closed from inside a
// handler, as a nested event loop could.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "link/midi.h"
#include "link/wire.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fakes.h"
#include "engine/session.h"

namespace {

using zr::Bytes;

// Reads the input front to back; past its end every read gives 0.
class Reader {
public:
  Reader(const std::uint8_t *data, std::size_t size) : p_(data), end_(data + size) {}
  bool Done() const { return p_ >= end_; }
  std::uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  Bytes Take(std::size_t n)
  {
    n = std::min(n, static_cast<std::size_t>(end_ - p_));
    Bytes b(p_, p_ + n);
    p_ += n;
    return b;
  }

private:
  const std::uint8_t *p_;
  const std::uint8_t *end_;
};

// One message as the input device hands it over. The first byte chooses its
// kind, so that the fuzzer reaches the engine with messages it accepts.
Bytes NextMessage(Reader &in)
{
  const std::uint8_t kind = in.Byte();
  const std::uint8_t a = in.Byte();
  const std::uint8_t b = in.Byte();
  switch (kind % 8) {
  case 0:
    return zr::BuildIdentify(a & 1 ? zr::MODEL_BYTE : a & 0x7F);
  case 1: { // a data block, its payload from the input
    const Bytes payload = in.Take(1 + (a * 8u + b) % zr::SYS_EX_BLOCKSIZE);
    Bytes m = zr::BuildDataBlock(b & 1 ? zr::SYS_EX_TEST_TYPE : b % 9, 1 + a % 4, b % 4, payload.data(),
                                 payload.size());
    if (a & 0x80)
      m[m.size() - 2] ^= 1; // a bad checksum
    return m;
  }
  case 2:
    return zr::BuildDirectoryReply(a % 10, {"A", "BB"});
  case 3:
    return zr::BuildBlockRequest(a % 10, b);
  case 4:
    return zr::BuildNameMessage(zr::SYS_EX_FILE_REQUEST, a % 10, "x");
  case 5: { // a very long message: the input repeated
    Bytes unit = in.Take(1 + a % 64);
    if (unit.empty())
      unit.push_back(zr::SYS_EX_START);
    Bytes m(1 + (std::size_t(b) << 9)); // up to 130 kB, twice the longest message taken
    for (std::size_t i = 0; i < m.size(); ++i)
      m[i] = unit[i % unit.size()];
    return m;
  }
  case 6: { // with the leading F0 left out
    Bytes m = zr::BuildDirectoryReply(a % 9, {"LOST"});
    m.erase(m.begin());
    return m;
  }
  default:
    return in.Take((std::size_t(a) << 4) + b); // raw bytes
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
  using namespace zr;
  using namespace zr::test;
  if (size < 1)
    return 0;
  Reader in(data, size);
  const std::uint8_t setup = in.Byte();

  FakeHost host;
  FakeTimers timers;
  TestSession session(host, timers.timers);
  FakeMidiSystem system;
  system.SetDevices(1 + setup % 3, 1 + (setup >> 2) % 3);
  MidiLink midi(session, system);
  session.Midi = &midi;
  session.link.MidiInDevice = 0;
  session.link.MidiOutDevice = 0;
  session.batch.CancelRequested = setup & 0x10;
  session.batch.SendFinished = setup & 0x20;
  if (!(setup & 0x40) && !midi.OpenMidiPort())
    return 0;
  // Sometimes an answer closes the port from within the handler.
  int sends = 0;
  if (setup & 0x80)
    system.onSend = [&](const Bytes &) {
      if (++sends % 3 == 0)
        midi.CloseMidiPort();
    };

  for (int messages = 0; !in.Done() && messages < 64; ++messages) {
    const Bytes m = NextMessage(in);
    const bool wasOpen = midi.MidiPortOpen();
    system.Deliver(m);
    for (int i = 0; i < MidiLink::IN_BUFFER_COUNT; ++i)
      if (midi.InBuffer(i).bytesRecorded > MidiInBuffer::SIZE)
        __builtin_trap();
    // Every buffer the message filled is back in the queue, unless the
    // port was closed meanwhile (then none is).
    const std::size_t expected = midi.MidiPortOpen() ? 2 : 0;
    if (wasOpen && midi.QueuedBufferCount() != expected)
      __builtin_trap();
    if (!midi.MidiPortOpen() && (setup & 1))
      (void)midi.OpenMidiPort();
  }
  return 0;
}
