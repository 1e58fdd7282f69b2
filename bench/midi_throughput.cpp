// How close the MIDI link comes to what a MIDI cable can carry: a 100 kB
// card file downloaded and a 100 kB PC file uploaded through the RtMidi
// back-end, against zr4812-sim's MIDI ports on a private JACK server, the
// console pacing both directions like a cable at 31250 baud (10 bits a byte).
//
// The cable's limit: every block carries 875 file bytes in a 1015-byte data
// block plus the 11-byte request for it, at 3125 bytes per second. MIDI input
// is handed on as it arrives (no polling), so both directions should come
// close to it; what is lost is JACK's period on each hop (kept short here)
// and our own work.
//
// Usage: bench_midi_throughput [file bytes]   (default 100000)
#include <cstdio>
#include <string>

#include <QCoreApplication>

#include "bench/throughput.h"
#include "tests/midi/midi_harness.h"

namespace {

using zr::test::ConsoleFolders;

constexpr int kBaud = 31250;
const char *const kPortName = "ZR4812 Sim";

// A console on its MIDI ports and a session connected to it (link test passed).
struct Bench {
  ConsoleFolders f;
  zr::test::SimProcess sim;
  zr::test::MidiSession link;

  bool Start()
  {
    std::string error;
    if (!sim.Start(f.card, f.internal, {"--midi", "--name", kPortName, "--baud", QString::number(kBaud)},
                   error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    if (!zr::test::WaitForPorts(link, kPortName) || !link.ConnectTo(kPortName)) {
      std::fprintf(stderr, "the console's MIDI ports did not answer\n");
      return false;
    }
    // The listing that follows the link test is not part of the measure.
    zr::test::RunUntil([&] { return link.host.directoryReplies.size() >= 9; }, 120000);
    link.host.pcFolder = f.pc.string();
    return true;
  }
  zr::test::HarnessSession &Link() { return link; }
};

} // namespace

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);

  const std::size_t size = zr::bench::FileSizeArgument(argc, argv, 100000, "bench_midi_throughput");
  if (size == 0)
    return 2;
  if (!zr::test::JackServer::Installed()) {
    std::fprintf(stderr, "jackd is not installed\n");
    return 2;
  }
  zr::test::JackServer jack;
  // A USB MIDI interface hands a message on within a millisecond or so;
  // JACK passes MIDI once a period, on each hop of a block and its request.
  // 128 frames (2.7 ms) keeps most of that cost of the harness out of the
  // figure; 64 make jackd fall behind without real-time scheduling.
  jack.periodFrames = 128;
  std::string error;
  if (!jack.Start(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const zr::bench::Line cable{"cable", zr::bench::FileBytesPerSecond(kBaud), 0.98, 0.98, 30 * 60 * 1000};
  const bool ok = zr::bench::DownloadAndUpload<Bench>(cable, zr::test::RandomBytes(size, 4812));
  return ok ? 0 : 1;
}
