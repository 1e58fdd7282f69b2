// How long the serial link keeps the GUI thread from its event loop, and
// what it costs while nothing happens, against zr4812-sim pacing its
// pseudo-terminal at 115200 baud:
//   - the longest time between two turns of the event loop during a 300 kB
//     download, a 300 kB upload, and a download whose first block the
//     console leaves without its end byte (it stops in mid-frame);
//   - the program's CPU time while connected and idle for 10 s, as a share
//     of one core.
// A window that stops answering for more than about 50 ms is noticed; the
// link should stay well below that, and idle near 0 %.
//
// Usage: bench_serial_responsiveness [file bytes]   (default 300000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "bench/throughput.h"

namespace {

using Clock = std::chrono::steady_clock;
using zr::test::ConsoleFolders;

constexpr double kAimBlockedMs = 50;
constexpr double kAimIdleCpu = 0.01;

// Notes the longest gap between two firings of a short timer: the time the
// event loop was kept from turning.
class LoopWatch {
public:
  LoopWatch()
  {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const Clock::time_point now = Clock::now();
      longest_ = std::max(longest_, std::chrono::duration<double, std::milli>(now - last_).count());
      last_ = now;
    });
    last_ = Clock::now();
    timer_.start();
  }
  double LongestMs() const { return longest_; }

private:
  QTimer timer_;
  Clock::time_point last_;
  double longest_ = 0;
};

// A console on its own pseudo-terminal with `extra` options, and a session
// whose COM 1 is that line, opened.
struct Bench {
  ConsoleFolders f;
  zr::test::SimProcess sim;
  std::unique_ptr<zr::test::SerialSession> link;

  bool Start(const QStringList &extra = {})
  {
    std::string error;
    QStringList args{"--baud", "115200"};
    args += extra;
    if (!sim.Start(f.card, f.internal, args, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    link = std::make_unique<zr::test::SerialSession>(sim.Path());
    link->host.pcFolder = f.pc.string();
    return link->com.OpenComPort();
  }
};

void Report(const char *what, double ms, bool done)
{
  std::printf("%-34s longest event-loop block %7.1f ms (aim < %.0f)%s\n", what, ms, kAimBlockedMs,
              done ? "" : "  [transfer did not finish]");
  std::fflush(stdout);
}

bool Download(const zr::Bytes &file)
{
  Bench b;
  zr::test::WriteFile(b.f.card / "BENCH.kpr", file);
  if (!b.Start())
    return false;
  LoopWatch watch;
  const bool done =
      b.link->DownloadCardFile(0, "BENCH", 600000) && zr::test::ReadFile(b.f.pc / "BENCH.kpr") == file;
  Report("download", watch.LongestMs(), done);
  return done;
}

bool Upload(const zr::Bytes &file)
{
  Bench b;
  zr::test::WriteFile(b.f.pc / "bench.kpr", file);
  if (!b.Start())
    return false;
  LoopWatch watch;
  const auto stored = b.f.card / "bench.kpr";
  b.link->StartUpload("bench.kpr");
  const bool done = zr::test::RunUntil(
      [&] {
        std::error_code ec;
        return std::filesystem::file_size(stored, ec) == file.size();
      },
      600000);
  Report("upload", watch.LongestMs(), done);
  return done;
}

// The console sends its first data block without the end byte and then
// waits for a request that never comes: 12 s of watching cover the PC's
// 10 s wait for the rest of a frame.
bool StopsInMidFrame()
{
  Bench b;
  zr::test::WriteFile(b.f.card / "STOP.kpr", zr::test::RandomBytes(3000, 7));
  if (!b.Start({"--no-end-byte", "0"}))
    return false;
  LoopWatch watch;
  b.link->DownloadCardFile(0, "STOP", 12000);
  Report("console stops in mid-frame (12 s)", watch.LongestMs(), true);
  return true;
}

// Connected (the console's identify reply is in), then 10 s of nothing but
// the event loop.
bool Idle()
{
  Bench b;
  if (!b.Start())
    return false;
  b.link->com.SearchComPort();
  if (!zr::test::RunUntil([&] { return !b.link->com.ComSearching; }, 10000)) {
    std::fprintf(stderr, "no identify reply\n");
    return false;
  }
  const std::clock_t cpuStart = std::clock();
  const Clock::time_point start = Clock::now();
  QEventLoop loop;
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  loop.exec();
  const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%-34s CPU %.2f %% of one core (aim < %.0f %%)\n", "connected and idle for 10 s",
              100 * cpu / wall, 100 * kAimIdleCpu);
  std::fflush(stdout);
  return true;
}

} // namespace

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);
  const std::size_t size = zr::bench::FileSizeArgument(argc, argv, 300000, "bench_serial_responsiveness");
  if (size == 0)
    return 2;
  const zr::Bytes file = zr::test::RandomBytes(size, 4812);
  const bool ok = Download(file) && Upload(file) && StopsInMidFrame() && Idle();
  return ok ? 0 : 1;
}
