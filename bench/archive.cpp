// How long `zr4812 archive` takes for the demo console (ten card files and
// the nine internal kinds, 1.3 MB in all) over a pseudo-terminal paced at
// 115200 baud, and how close that comes to what the line can carry. Every
// file costs a name message and a first answer besides its blocks, and the
// card is listed first, so the ratio is below a single file's.
//
// Usage: bench_archive
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QProcess>

#include "bench/throughput.h"
#include "transfer/datatypes.h"

namespace {

namespace fs = std::filesystem;
using zr::test::ConsoleFolders;

struct DemoFile {
  const char* name;
  std::size_t size;
};

// The demo console of scripts/demo.
const DemoFile kCard[] = {{"SONG1.kpr", 48000},   {"LIVE2.kpr", 262144}, {"VOCALS.kch", 3100},
                          {"DRUMS.keq", 800},     {"BASSCOMP.kcg", 1500}, {"REVERB.kfx", 12000},
                          {"AUTOMIX.ka", 310000}, {"SCENES.ksn", 9000},   {"STUDIO.ksu", 600},
                          {"TINY.ksu", 5}};
const std::size_t kInternal[] = {120000, 4000, 2500, 2500, 8000, 60000, 20000, 900, 400000};

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  ConsoleFolders f;
  std::size_t total = 0;
  unsigned seed = 1;
  for (const DemoFile& d : kCard) {
    zr::test::WriteFile(f.card / d.name, zr::test::RandomBytes(d.size, seed++));
    total += d.size;
  }
  for (int type = 0; type < zr::DATA_TYPE_COUNT; ++type) {
    const std::string name = std::string("internal.") + zr::DataTypeTable[type].extension;
    zr::test::WriteFile(f.internal / name, zr::test::RandomBytes(kInternal[type], seed++));
    total += kInternal[type];
  }

  zr::test::SimProcess sim;
  std::string error;
  if (!sim.Start(f.card, f.internal, {"--baud", "115200"}, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  QProcess zr4812;
  zr4812.setProgram(ZR_BUILD_DIR "/zr4812");
  zr4812.setArguments({"--port", QString::fromStdString(sim.Path()), "--quiet", "archive",
                       QString::fromStdString(f.pc.string())});
  zr4812.setProcessChannelMode(QProcess::ForwardedChannels);
  const auto start = std::chrono::steady_clock::now();
  zr4812.start();
  if (!zr4812.waitForFinished(30 * 60 * 1000) || zr4812.exitStatus() != QProcess::NormalExit ||
      zr4812.exitCode() != 0) {
    std::fprintf(stderr, "zr4812 archive failed (exit %d)\n", zr4812.exitCode());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double limit = zr::bench::FileBytesPerSecond(115200);
  const double rate = total / seconds;
  std::printf("archive  %zu bytes in %zu files in %.2f s = %.0f file bytes/s, ratio %.3f of the line's %.0f\n",
              total, std::size(kCard) + std::size(kInternal), seconds, rate, rate / limit, limit);
  return 0;
}
