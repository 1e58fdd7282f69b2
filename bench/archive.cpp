// How long a round trip of the demo console (ten card files and the nine
// internal kinds, 1.3 MB in all) takes over a pseudo-terminal paced at
// 115200 baud, and how close each step comes to what the line can carry for
// the file bytes it moves:
//
//   archive  `zr4812 archive`: every file fetched into a new archive;
//   verify   `zr4812 verify` of that archive: every file fetched once more
//            and compared (it must exit 0);
//   restore  `zr4812 restore-archive --replace --with-os --yes`: every card
//            file put back over the console's, in one upload under the names
//            the archive recorded, then the seven libraries as one restore
//            and the operating system last. Project (all) is not
//            sent: with all seven libraries in the archive they go instead.
//
// Every file costs a name message and a first answer besides its blocks, and
// the card is listed first, so the ratios are below a single file's. An
// upload goes at the console's pace, one block each time it asks; the card
// files go as one batch with a card listing before and after it, and
// between the files of one batch the program pauses 500 ms. The restore's second line
// counts those pauses in the console's log (a file stored, and the PC's next
// message 0.4 s or more later) and says how much of its time they took.
//
// Before the restore the console's copies of what it sends are overwritten
// with other bytes; afterwards every file of the console must hold the
// archived bytes again.
//
// Usage: bench_archive
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QProcess>

#include "bench/throughput.h"
#include "files/datatypes.h"

namespace {

namespace fs = std::filesystem;
using zr::Bytes;
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

// What the line carries at best, in file bytes a second.
constexpr double kLimit = zr::bench::FileBytesPerSecond(115200);
// The program's pause between the files of one batch it sends (its SendTimer).
constexpr double kPauseSeconds = 0.5;

// A file of the console and the bytes it was given.
using ConsoleFile = std::pair<fs::path, Bytes>;

std::vector<ConsoleFile> WriteDemoConsole(const ConsoleFolders& f)
{
  std::vector<ConsoleFile> files;
  unsigned seed = 1;
  for (const DemoFile& d : kCard)
    files.emplace_back(f.card / d.name, zr::test::RandomBytes(d.size, seed++));
  for (int type = 0; type < zr::DATA_TYPE_COUNT; ++type)
    files.emplace_back(f.internal / (std::string("internal.") + zr::DataTypeTable[type].extension),
                       zr::test::RandomBytes(kInternal[type], seed++));
  for (const ConsoleFile& file : files)
    zr::test::WriteFile(file.first, file.second);
  return files;
}

// The folder `zr4812 archive` made in `parent`, or empty.
fs::path ArchiveFolder(const fs::path& parent)
{
  for (const fs::directory_entry& entry : fs::directory_iterator(parent))
    if (entry.is_directory() && entry.path().filename().string().starts_with("zr4812-"))
      return entry.path();
  return {};
}

// Runs `zr4812 --port PORT --quiet ARGUMENTS...`; what it printed is shown
// only when it fails. The seconds it took, or nothing when it did not exit 0.
std::optional<double> RunZr4812(const std::string& port, const QStringList& arguments)
{
  QProcess zr4812;
  zr4812.setProgram(ZR_BUILD_DIR "/zr4812");
  zr4812.setArguments(QStringList{"--port", QString::fromStdString(port), "--quiet"} + arguments);
  zr4812.setProcessChannelMode(QProcess::MergedChannels);
  const auto start = std::chrono::steady_clock::now();
  zr4812.start();
  const bool finished = zr4812.waitForFinished(30 * 60 * 1000);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!finished || zr4812.exitStatus() != QProcess::NormalExit || zr4812.exitCode() != 0) {
    std::fprintf(stderr, "zr4812 %s failed (exit %d):\n%s", qPrintable(arguments.front()), zr4812.exitCode(),
                 zr4812.readAll().constData());
    return std::nullopt;
  }
  return seconds;
}

void Report(const char* what, std::size_t bytes, std::size_t files, double seconds)
{
  const double rate = bytes / seconds;
  std::printf("%-8s %zu bytes in %zu files in %.2f s = %.0f file bytes/s, ratio %.3f of the line's %.0f\n", what,
              bytes, files, seconds, rate, rate / kLimit, kLimit);
  std::fflush(stdout);
}

// How many times, in the console's log from `offset` on, a file was stored
// and the PC's next message came 0.4 s or more later: the program's pauses.
int PausesInLog(const std::string& path, std::streamoff offset)
{
  std::ifstream log(path);
  log.seekg(offset);
  int pauses = 0;
  long long storedAt = -1;
  for (std::string line; std::getline(log, line);) {
    long long ms = 0;
    int at = 0;
    if (std::sscanf(line.c_str(), "%lld ms %n", &ms, &at) != 1)
      continue;
    const std::string_view what = std::string_view(line).substr(static_cast<std::size_t>(at));
    if (what.starts_with("stored")) {
      storedAt = ms;
    } else if (what.starts_with("<-") && storedAt >= 0) {
      if (ms - storedAt >= 0.8 * kPauseSeconds * 1000)
        ++pauses;
      storedAt = -1;
    }
  }
  return pauses;
}

// How much of the restore's time the program's pauses took, and the ratio
// the rest of it comes to.
void ReportPauses(std::size_t bytes, int pauses, double seconds)
{
  const double paused = pauses * kPauseSeconds;
  std::printf("%-8s of that %d pauses of %.0f ms between the files of one restore: %.2f s (%.1f %%); "
              "ratio without them %.3f\n",
              "", pauses, kPauseSeconds * 1000, paused, 100 * paused / seconds, bytes / (seconds - paused) / kLimit);
  std::fflush(stdout);
}

// True when every file of the console holds what it was given.
bool ConsoleHolds(const std::vector<ConsoleFile>& files)
{
  for (const auto& [path, bytes] : files)
    if (zr::test::ReadFile(path) != bytes) {
      std::fprintf(stderr, "%s does not hold its archived bytes\n", path.string().c_str());
      return false;
    }
  return true;
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  ConsoleFolders f;
  const std::vector<ConsoleFile> console = WriteDemoConsole(f);
  std::size_t total = 0;
  for (const ConsoleFile& file : console)
    total += file.second.size();

  zr::test::SimProcess sim;
  std::string error;
  if (!sim.Start(f.card, f.internal, {"--baud", "115200"}, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const std::optional<double> archived = RunZr4812(sim.Path(), {"archive", QString::fromStdString(f.pc.string())});
  const fs::path archive = ArchiveFolder(f.pc);
  if (!archived || archive.empty())
    return 1;
  Report("archive", total, console.size(), *archived);
  const QString archiveArgument = QString::fromStdString(archive.string());
  const std::optional<double> verified = RunZr4812(sim.Path(), {"verify", archiveArgument});
  if (!verified)
    return 1;
  Report("verify", total, console.size(), *verified);

  // What the restore sends: everything but Project (all), given other bytes
  // on the console first so that only a restore puts the archived ones back.
  std::size_t sent = 0, sentFiles = 0;
  for (const auto& [path, bytes] : console)
    if (path.filename() != "internal.kpr") {
      zr::test::WriteFile(path, zr::test::RandomBytes(bytes.size(), 4812));
      sent += bytes.size();
      ++sentFiles;
    }
  std::error_code ec;
  const auto logBefore = static_cast<std::streamoff>(fs::file_size(sim.LogPath(), ec));
  const std::optional<double> restored =
      RunZr4812(sim.Path(), {"restore-archive", "--replace", "--with-os", "--yes", archiveArgument});
  if (!restored || !ConsoleHolds(console))
    return 1;
  Report("restore", sent, sentFiles, *restored);
  ReportPauses(sent, PausesInLog(sim.LogPath(), ec ? 0 : logBefore), *restored);
  return 0;
}
