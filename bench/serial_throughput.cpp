// How close the serial link comes to what a 115200-baud line can carry:
// a 300 kB card file downloaded and a 300 kB PC file uploaded through the
// real Qt SerialPort back-end, against zr4812-sim pacing the pseudo-terminal
// like a UART at 115200 baud (10 bits a byte, both directions).
//
// The line's limit: every block carries 875 file bytes in a 1015-byte data
// block plus the 11-byte request for it, at 11520 bytes per second. The PC
// takes the console's bytes as they arrive, so a request for the next block
// is answered at once.
//
// Usage: bench_serial_throughput [file bytes]   (default 300000)
#include <cstdio>
#include <memory>
#include <string>

#include <QCoreApplication>

#include "bench/throughput.h"

namespace {

using zr::test::ConsoleFolders;

// A console pacing its pseudo-terminal at 115200 baud and a session whose
// COM 1 is that line, opened.
struct Bench {
  ConsoleFolders f;
  zr::test::SimProcess sim;
  std::unique_ptr<zr::test::SerialSession> link;

  bool Start()
  {
    std::string error;
    if (!sim.Start(f.card, f.internal, {"--baud", "115200"}, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    link = std::make_unique<zr::test::SerialSession>(sim.Path());
    link->host.pcFolder = f.pc.string();
    return link->com.OpenComPort();
  }
  zr::test::HarnessSession &Link() { return *link; }
};

} // namespace

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);
  const std::size_t size = zr::bench::FileSizeArgument(argc, argv, 300000, "bench_serial_throughput");
  if (size == 0)
    return 2;
  const zr::bench::Line line{"line", zr::bench::FileBytesPerSecond(115200), 0.98, 0.97, 600000};
  const bool ok = zr::bench::DownloadAndUpload<Bench>(line, zr::test::RandomBytes(size, 4812));
  return ok ? 0 : 1;
}
