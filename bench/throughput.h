// What the two throughput benchmarks share: the folders of a console and the
// PC, the limit of the line, and one download and one upload, each timed,
// checked byte for byte and reported against that limit.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

#include "tests/serial/serial_harness.h"
#include "tests/support/engine_fixture.h"

namespace zr::bench {

namespace fs = std::filesystem;

// File bytes a second that a line of `baud` can carry at best: every block
// carries 875 file bytes in a 1015-byte data block plus the 11-byte request
// for it, 10 bits a byte.
constexpr double FileBytesPerSecond(int baud)
{
  return baud / 10.0 * 875 / (1015 + 11);
}

// How one link is measured.
struct Line {
  const char *name;   // what the report calls it: "line", "cable"
  double limit;       // file bytes a second
  double downloadAim; // the share of the limit each direction should reach
  double uploadAim;
  int timeoutMs; // for one transfer
};

// The file size from the command line, `fallback` without one; 0 after
// printing the usage when it is out of range.
inline std::size_t FileSizeArgument(int argc, char **argv, std::size_t fallback, const char *program)
{
  const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : fallback;
  if (size == 0 || size > MAX_FILE_SIZE) {
    std::fprintf(stderr, "usage: %s [file bytes, 1 to %u]\n", program, MAX_FILE_SIZE);
    return 0;
  }
  return size;
}

// Times `transfer` (true when it finished), then checks that `result` holds
// `file` and prints the rate. False when either went wrong.
inline bool Measure(const char *what, const Line &line, double aim, const Bytes &file, const fs::path &result,
                    const std::function<bool()> &transfer)
{
  const auto start = std::chrono::steady_clock::now();
  const bool done = transfer();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!done || test::ReadFile(result) != file) {
    std::fprintf(stderr, "%s failed\n", what);
    return false;
  }
  const double rate = file.size() / seconds;
  std::printf("%-8s %zu bytes in %.2f s = %.0f file bytes/s, ratio %.3f of the %s's %.0f (aim >= %.2f)\n",
              what, file.size(), seconds, rate, rate / line.limit, line.name, line.limit, aim);
  std::fflush(stdout);
  return true;
}

// `file` downloaded from the card as BENCH.kpr, then uploaded from the PC as
// bench.kpr, each through a fresh Bench: ConsoleFolders `f`, Start() to bring
// up a console on them and connect, and Link(), the HarnessSession connected.
template <class Bench> bool DownloadAndUpload(const Line &line, const Bytes &file)
{
  {
    Bench b;
    test::WriteFile(b.f.card / "BENCH.kpr", file);
    if (!b.Start() || !Measure("download", line, line.downloadAim, file, b.f.pc / "BENCH.kpr",
                               [&] { return b.Link().DownloadCardFile(0, "BENCH", line.timeoutMs); }))
      return false;
  }
  Bench b;
  test::WriteFile(b.f.pc / "bench.kpr", file);
  if (!b.Start())
    return false;
  const fs::path stored = b.f.card / "bench.kpr";
  return Measure("upload", line, line.uploadAim, file, stored, [&] {
    b.Link().StartUpload("bench.kpr");
    // Done when the console has the last block and has stored the file.
    return test::RunUntil(
        [&] {
          std::error_code ec;
          return fs::file_size(stored, ec) == file.size();
        },
        line.timeoutMs);
  });
}

} // namespace zr::bench
