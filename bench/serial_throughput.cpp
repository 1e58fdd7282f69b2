// How close the serial link comes to what a 115200-baud line can carry:
// a 300 kB card file downloaded and a 300 kB PC file uploaded through the
// real Qt SerialPort back-end, against zr4812-sim pacing the pseudo-terminal
// like a UART at 115200 baud (10 bits a byte, both directions).
//
// The line's limit: every block carries 875 file bytes in a 1015-byte data
// block plus the 11-byte request for it, at 11520 bytes per second. The PC
// reads its port every 50 ms (CommTimer), which is what costs uploads most.
//
// Usage: bench_serial_throughput [file bytes]   (default 300000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "tests/serial/serial_harness.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zr::Bytes;

constexpr double kLineBytesPerSecond = 115200.0 / 10;
constexpr double kFileBytesPerBlock = 875;
constexpr double kWireBytesPerBlock = 1015 + 11;
constexpr double kLimit = kLineBytesPerSecond * kFileBytesPerBlock / kWireBytesPerBlock;

Bytes Random(std::size_t n)
{
  std::mt19937 rng(4812);
  Bytes b(n);
  for (auto& x : b)
    x = static_cast<std::uint8_t>(rng());
  return b;
}

void Write(const fs::path& p, const Bytes& b)
{
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Read(const fs::path& p)
{
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Folders {
  QTemporaryDir root;
  fs::path card, internal, pc;
  Folders()
  {
    const fs::path base = root.path().toStdString();
    card = base / "card";
    internal = base / "internal";
    pc = base / "pc";
    for (const fs::path& p : {card, internal, pc})
      fs::create_directories(p);
  }
};

void Report(const char* what, std::size_t bytes, double seconds, double aim)
{
  const double rate = bytes / seconds;
  std::printf("%-8s %zu bytes in %.2f s = %.0f file bytes/s, ratio %.3f of the line's %.0f (aim >= %.2f)\n",
              what, bytes, seconds, rate, rate / kLimit, kLimit, aim);
}

// Returns false when the transfer did not finish or the bytes differ.
bool Download(const Bytes& file)
{
  Folders f;
  Write(f.card / "BENCH.kpr", file);
  zr::test::SimProcess sim;
  std::string error;
  if (!sim.Start(f.card, f.internal, {"--baud", "115200"}, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  zr::test::SerialSession link(sim.Path());
  link.host.pcFolder = f.pc.string();
  link.host.cardSelected = 1;
  link.session.batch.FileNr = 1;
  if (!link.com.OpenComPort())
    return false;
  const auto start = Clock::now();
  link.session.RequestCardFile(1, 0, "BENCH");
  const bool done = zr::test::RunUntil([&] { return !link.host.nextCardFileCalls.empty(); }, 600000);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!done || Read(f.pc / "BENCH.kpr") != file) {
    std::fprintf(stderr, "download failed\n");
    return false;
  }
  Report("download", file.size(), seconds, 0.90);
  return true;
}

bool Upload(const Bytes& file)
{
  Folders f;
  Write(f.pc / "bench.kpr", file);
  zr::test::SimProcess sim;
  std::string error;
  if (!sim.Start(f.card, f.internal, {"--baud", "115200"}, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  zr::test::SerialSession link(sim.Path());
  link.host.pcFolder = f.pc.string();
  link.host.pcSelected = 1;
  link.session.batch.FileNr = 1;
  if (!link.com.OpenComPort())
    return false;
  const fs::path stored = f.card / "bench.kpr";
  const auto start = Clock::now();
  link.session.SendFileToCard(1, "bench.kpr");
  // Done when the console has the last block and has stored the file.
  const bool done = zr::test::RunUntil([&] { return fs::exists(stored); }, 600000);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!done || Read(stored) != file) {
    std::fprintf(stderr, "upload failed\n");
    return false;
  }
  Report("upload", file.size(), seconds, 0.75);
  return true;
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300000;
  if (size == 0 || size > zr::MAX_FILE_SIZE) {
    std::fprintf(stderr, "usage: bench_serial_throughput [file bytes, 1 to %u]\n", zr::MAX_FILE_SIZE);
    return 2;
  }
  const Bytes file = Random(size);
  const bool ok = Download(file) && Upload(file);
  return ok ? 0 : 1;
}
