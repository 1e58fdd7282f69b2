// How close the MIDI link comes to what a MIDI cable can carry: a 100 kB
// card file downloaded and a 100 kB PC file uploaded through the RtMidi
// back-end, against zr4812-sim's MIDI ports on a private JACK server, the
// console pacing both directions like a cable at 31250 baud (10 bits a byte).
//
// The cable's limit: every block carries 875 file bytes in a 1015-byte data
// block plus the 11-byte request for it, at 3125 bytes per second. MIDI input
// is handed on as it arrives (no polling), so both directions should come
// close to it; what is lost is JACK's period on each hop and our own work.
//
// Usage: bench_midi_throughput [file bytes]   (default 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "tests/midi/midi_harness.h"
#include "tests/support/engine_fixture.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zr::Bytes;

constexpr int kBaud = 31250;
constexpr double kLineBytesPerSecond = kBaud / 10.0;
constexpr double kFileBytesPerBlock = 875;
constexpr double kWireBytesPerBlock = 1015 + 11;
constexpr double kLimit = kLineBytesPerSecond * kFileBytesPerBlock / kWireBytesPerBlock;
constexpr int kTimeoutMs = 30 * 60 * 1000;
const char *const kPortName = "ZR4812 Sim";

struct Folders {
  QTemporaryDir root;
  fs::path card, internal, pc;
  Folders()
  {
    const fs::path base = root.path().toStdString();
    card = base / "card";
    internal = base / "internal";
    pc = base / "pc";
    for (const fs::path &p : {card, internal, pc})
      fs::create_directories(p);
  }
};

void Report(const char *what, std::size_t bytes, double seconds)
{
  const double rate = bytes / seconds;
  std::printf("%-8s %zu bytes in %.2f s = %.0f file bytes/s, ratio %.3f of the cable's %.0f (aim >= 0.95)\n",
              what, bytes, seconds, rate, rate / kLimit, kLimit);
  std::fflush(stdout);
}

// A console on its MIDI ports and a session connected to it (link test passed).
struct Bench {
  Folders f;
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
};

bool Download(const Bytes &file)
{
  Bench b;
  zr::test::WriteFile(b.f.card / "BENCH.kpr", file);
  if (!b.Start())
    return false;
  b.link.host.cardSelected = 1;
  b.link.session.batch.FileNr = 1;
  const auto start = Clock::now();
  b.link.session.RequestCardFile(3, 0, "BENCH");
  const bool done = zr::test::RunUntil([&] { return !b.link.host.nextCardFileCalls.empty(); }, kTimeoutMs);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!done || zr::test::ReadFile(b.f.pc / "BENCH.kpr") != file) {
    std::fprintf(stderr, "download failed\n");
    return false;
  }
  Report("download", file.size(), seconds);
  return true;
}

bool Upload(const Bytes &file)
{
  Bench b;
  zr::test::WriteFile(b.f.pc / "bench.kpr", file);
  if (!b.Start())
    return false;
  b.link.host.pcSelected = 1;
  b.link.session.batch.FileNr = 1;
  const fs::path stored = b.f.card / "bench.kpr";
  const auto start = Clock::now();
  b.link.session.SendFileToCard(3, "bench.kpr");
  // Done when the console has the last block and has stored the file.
  const bool done = zr::test::RunUntil(
      [&] {
        std::error_code ec;
        return fs::file_size(stored, ec) == file.size();
      },
      kTimeoutMs);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!done || zr::test::ReadFile(stored) != file) {
    std::fprintf(stderr, "upload failed\n");
    return false;
  }
  Report("upload", file.size(), seconds);
  return true;
}

} // namespace

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);
  zr::MidiInputFilter midiInput;
  app.installEventFilter(&midiInput);

  const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  if (size == 0 || size > zr::MAX_FILE_SIZE) {
    std::fprintf(stderr, "usage: bench_midi_throughput [file bytes, 1 to %u]\n", zr::MAX_FILE_SIZE);
    return 2;
  }
  if (!zr::test::JackServer::Installed()) {
    std::fprintf(stderr, "jackd is not installed\n");
    return 2;
  }
  zr::test::JackServer jack;
  std::string error;
  if (!jack.Start(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const Bytes file = zr::test::RandomBytes(size, 4812);
  const bool ok = Download(file) && Upload(file);
  return ok ? 0 : 1;
}
