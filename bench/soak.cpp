// A soak under the virtual console's chaos mode: card files downloaded and
// PC files uploaded through the engine's batch intents, in batches of ten,
// over the serial line (115200 baud) and over MIDI (31250 baud on a private
// JACK server), while zr4812-sim drops, doubles, damages, cuts short and
// holds back its messages and throws in stray blocks and repeated requests.
//
// It prints, per link: files intact, files the engine reported failed,
// files silently wrong (a file on disk that differs from what was sent:
// must be 0), batches that never ended (still running after a generous
// limit: must be 0), and the file bytes that arrived intact a second
// against what the line can carry at best. Not a test: it only prints.
//
// Usage: bench_soak [--same-type] [files per direction and link, default 100] [chaos rate %, default 2]
//        bench_soak --one-block [files, default 200]
// --same-type: four files in five are of one kind (Channel Library), as on a
// real card, instead of the kinds taken in turn.
// The second form downloads that many one-block card files (1 to 868 bytes)
// in one batch over the serial line with no chaos, and prints the time a
// file takes: what the engine spends between files shows there.
#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/throughput.h"
#include "frontend/qt_timer.h"
#include "link/backend/midi_rtmidi.h"
#include "link/backend/serial_qt.h"
#include "link/com_ports.h"
#include "tests/midi/midi_harness.h"
#include "files/datatypes.h"
#include "engine/engine_parts.h"

namespace {

using namespace zr;
namespace fs = std::filesystem;

constexpr int BATCH_FILES = 10;
constexpr std::chrono::seconds STUCK{15};
const char* const MIDI_PORT = "ZR4812 Soak";

// What a batch reported.
class Listener : public BatchListener {
public:
  void FileEnded(const FileEnd& end) override { outcomes.push_back(end); }
  void BatchEnded(const BatchEnd&) override { ended = true; }
  std::vector<FileEnd> outcomes;
  bool ended = false;
};

struct Tally {
  int intact = 0, failed = 0, wrong = 0, hung = 0, batches = 0;
  std::uint64_t intactBytes = 0;
  double seconds = 0;
  // Per direction (0 down, 1 up): intact bytes and the time taken.
  std::uint64_t bytes[2] = {0, 0};
  double directionSeconds[2] = {0, 0};
  int pauses = 0; // the pauses of 500 ms before each further file of an upload batch
  // The least time the uploads can take: the line's, with the console's
  // pause of 500 ms after each file but a batch's last.
  double upLimitSeconds = 0;
  double heldSeconds[2] = {0, 0}; // the console held its messages back this long
};

// One file of the soak: its name on either side and its bytes.
struct SoakFile {
  int type;
  std::string name; // card name, also the PC name without extension
  Bytes bytes;
  std::string FileName() const { return name + "." + DataTypeTable[type].extension; }
};

// The least time a batch of uploads takes on a line that carries `limit`
// file bytes a second: a further file goes 500 ms after the last block of
// the one before has been written, while that block is still on the line.
double UploadSeconds(const std::vector<SoakFile>& batch, double limit)
{
  constexpr double BLOCK_FILE_BYTES = 875;
  double seconds = 0;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    const double size = static_cast<double>(batch[i].bytes.size());
    if (i + 1 == batch.size()) {
      seconds += size / limit;
    } else {
      const double lastBlock = size - BLOCK_FILE_BYTES * std::floor((size - 1) / BLOCK_FILE_BYTES);
      seconds += (size - lastBlock) / limit + std::max(0.5, lastBlock / limit);
    }
  }
  return seconds;
}

// sameType: four files in five of one kind, as a real card holds them;
// else the kinds in turn.
std::vector<SoakFile> MakeFiles(const char* prefix, int count, unsigned seed, bool sameType)
{
  std::vector<SoakFile> files;
  for (int i = 0; i < count; ++i) {
    const unsigned s = seed + static_cast<unsigned>(i);
    char name[16];
    std::snprintf(name, sizeof name, "%s%04d", prefix, i);
    // 1 byte to 3 blocks: one-block files, the 7-byte groups' edges, block ends.
    const std::size_t size = 1 + (s * 2654435761u) % 2600;
    const int type = sameType ? (i % 5 == 4 ? static_cast<int>(s % 8) : 1) : static_cast<int>(s % 8);
    files.push_back({type, name, test::RandomBytes(size, s)});
  }
  return files;
}

// The console, its link and one engine on it, up and connected.
class Rig {
public:
  Rig(bool midi, const std::string& chaos) : midi_(midi), chaos_(chaos) {}
  ~Rig()
  {
    if (engine_)
      engine_->Parts().batch.Cancel();
  }

  bool Start(const std::vector<SoakFile>& cardFiles, const std::vector<SoakFile>& pcFiles)
  {
    for (const SoakFile& f : cardFiles)
      test::WriteFile(folders.card / f.FileName(), f.bytes);
    for (const SoakFile& f : pcFiles)
      test::WriteFile(folders.pc / f.FileName(), f.bytes);
    host_.pcFolder = folders.pc.string();
    QStringList args{"--chaos", QString::fromStdString(chaos_)};
    // The console's log of every message and fault: the time it held its
    // messages back is read from it. ZR_SOAK_LOG=FILE keeps it there.
    const char* keep = std::getenv("ZR_SOAK_LOG");
    logPath = keep ? fs::path(keep) : fs::path(folders.root.path().toStdString()) / "console.log";
    args += QStringList{"--log", QString::fromStdString(logPath.string())};
    args += midi_ ? QStringList{"--midi", "--name", MIDI_PORT, "--baud", "31250"} : QStringList{"--baud", "115200"};
    std::string error;
    if (!sim_.Start(folders.card, folders.internal, args, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    EngineOptions o;
    o.serialFactory = QtSerialDeviceFactory();
    o.comPaths = MakeComPortPaths({{1, midi_ ? std::string() : sim_.Path()}});
    o.midi = &rtmidi_;
    o.window = &window_;
    o.view = &host_;
    engine_ = std::make_unique<Engine>(host_, timers_.timers, std::move(o));
    return midi_ ? ConnectMidi() : ConnectSerial();
  }

  // One batch; false when it never ended.
  bool Run(bool download, const std::vector<SoakFile>& files, Listener& listener, int limitMs)
  {
    Batch& b = engine_->Parts().batch;
    bool started;
    if (download) {
      std::vector<CardFileRef> refs;
      for (const SoakFile& f : files)
        refs.push_back({f.type, f.name});
      started = b.Download(refs, folders.pc.string(), &listener);
    } else {
      std::vector<PcFileRef> refs;
      for (const SoakFile& f : files)
        refs.push_back({folders.pc.string(), f.FileName()});
      started = b.Upload(refs, &listener);
    }
    if (!started) {
      std::fprintf(stderr, "batch refused: %s\n", host_.LastStatus().c_str());
      return true; // every file counts as not delivered
    }
    // A running batch always has a watchdog or the pause armed (the boxes
    // here answer at once): one that has none for STUCK_MS never ends.
    auto lastGuarded = std::chrono::steady_clock::now();
    const bool ended = test::RunUntil(
        [&] {
          if (Guarded())
            lastGuarded = std::chrono::steady_clock::now();
          return !b.Running() || std::chrono::steady_clock::now() - lastGuarded > STUCK;
        },
        limitMs);
    if (ended && !b.Running())
      return true;
    b.Cancel();
    test::RunUntil([&] { return !b.Running(); }, 10000);
    return false;
  }

  bool Guarded() const
  {
    const QtTimerSet& t = timers_;
    return t.UploadTimer.IsActive() || t.DownloadTimer.IsActive() || t.DummyTimer.IsActive() ||
           t.SendTimer.IsActive() || t.TimeoutTimer.IsActive() || t.RetryTimer.IsActive();
  }
  test::ConsoleFolders folders;
  fs::path logPath;

  // The console's log from `offset` on: how long it held messages back
  // (each such wait holds up the line, whatever the PC does). Moves
  // `offset` to the log's end.
  double HeldBackSeconds(std::uintmax_t& offset) const
  {
    std::ifstream in(logPath);
    in.seekg(static_cast<std::streamoff>(offset));
    double ms = 0;
    std::string line;
    while (std::getline(in, line)) {
      const std::string mark = " held back ";
      if (const auto at = line.find(mark); at != std::string::npos && line.find("chaos:") != std::string::npos)
        ms += std::atof(line.c_str() + at + mark.size());
    }
    std::error_code ec;
    offset = fs::file_size(logPath, ec);
    return ms / 1000;
  }

private:
  bool ConnectSerial()
  {
    Session& s = engine_->Parts().session;
    s.link.CommMedium = 1;
    s.link.ComPortNumber = 1;
    s.link.ConnectedComPort = 1;
    return engine_->Parts().com.OpenComPort();
  }

  bool ConnectMidi()
  {
    if (!test::RunUntil([&] { return Find(true) >= 0 && Find(false) >= 0; }, 30000))
      return false;
    Session& s = engine_->Parts().session;
    s.link.MidiInDevice = Find(true);
    s.link.MidiOutDevice = Find(false);
    // The link test may meet the chaos too: search until it passes.
    for (int attempt = 0; attempt < 5 && s.link.CommMedium != 3; ++attempt) {
      engine_->Parts().midi.SearchMidiPort();
      test::RunUntil([&] { return s.link.CommMedium == 3; }, 30000);
    }
    // The card listing that follows is not part of the soak.
    test::RunUntil([&] { return engine_->Parts().batch.Idle(); }, 120000);
    return s.link.CommMedium == 3;
  }

  int Find(bool input)
  {
    const auto devices = engine_->Parts().midi.ListMidiDevices();
    const auto& names = input ? devices.inputs : devices.outputs;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i].find(MIDI_PORT) != std::string::npos)
        return static_cast<int>(i);
    return -1;
  }

  bool midi_;
  std::string chaos_;
  test::SimProcess sim_;
  test::FakeHost host_; // boxes get the answer that changes nothing: Abort, No, Ok
  QtTimerSet timers_;
  RtMidiSystem rtmidi_{"ZR4812 Soak PC"};
  test::MidiOnlyWindow window_;
  std::unique_ptr<Engine> engine_;
};

// Whether the file now at `path` is what was sent, and what the batch said of it.
void Judge(const SoakFile& f, const fs::path& path, const Listener& listener, Tally& t)
{
  bool saved = false;
  for (const FileEnd& end : listener.outcomes)
    if (end.name == f.FileName() && end.outcome == FileOutcome::Saved)
      saved = true;
  std::error_code ec;
  const bool there = fs::exists(path, ec);
  if (there && test::ReadFile(path) != f.bytes) {
    ++t.wrong;
  } else if (there && saved) {
    ++t.intact;
    t.intactBytes += f.bytes.size();
  } else {
    ++t.failed;
    std::string why = there ? "saved, but not reported saved" : "not there";
    for (const FileEnd& end : listener.outcomes)
      if (end.name == f.FileName() && end.outcome != FileOutcome::Saved)
        why = end.reason;
    std::fprintf(stderr, "failed: %s: %s\n", f.FileName().c_str(), why.c_str());
  }
}

// Every file down and up again, ten to a batch.
bool Soak(bool midi, int count, const std::string& chaos, bool sameType, Tally& t)
{
  const std::vector<SoakFile> down = MakeFiles("D", count, midi ? 7000 : 1000, sameType);
  // The card takes names in lower case.
  const std::vector<SoakFile> up = MakeFiles("u", count, midi ? 9000 : 3000, sameType);
  Rig rig(midi, chaos);
  if (!rig.Start(down, up)) {
    std::fprintf(stderr, "%s: the console did not come up\n", midi ? "MIDI" : "serial");
    return false;
  }
  const double lineRate = midi ? 3125.0 : 11520.0;
  const auto start = std::chrono::steady_clock::now();
  std::uintmax_t logOffset = 0;
  rig.HeldBackSeconds(logOffset);
  for (bool download : {true, false}) {
    const std::vector<SoakFile>& files = download ? down : up;
    const auto directionStart = std::chrono::steady_clock::now();
    const std::uint64_t bytesBefore = t.intactBytes;
    for (std::size_t first = 0; first < files.size(); first += BATCH_FILES) {
      const std::vector<SoakFile> batch(files.begin() + static_cast<std::ptrdiff_t>(first),
                                        files.begin() + static_cast<std::ptrdiff_t>(std::min(files.size(), first + BATCH_FILES)));
      std::size_t bytes = 0;
      for (const SoakFile& f : batch)
        bytes += f.bytes.size() * 2;
      // Ten times what the line needs, plus every watchdog running out twice a file.
      const int limitMs = static_cast<int>(10000.0 * bytes / lineRate) + 60000 * static_cast<int>(batch.size());
      Listener listener;
      ++t.batches;
      t.hung += !rig.Run(download, batch, listener, limitMs);
      // The console stores an upload when its last block is in, a moment
      // after the PC has sent it.
      if (!download)
        test::RunUntil(
            [&] {
              for (const FileEnd& end : listener.outcomes) {
                std::error_code ec;
                if (end.outcome == FileOutcome::Saved && !fs::exists(rig.folders.card / end.name, ec))
                  return false;
              }
              return true;
            },
            5000);
      for (const SoakFile& f : batch)
        Judge(f, (download ? rig.folders.pc : rig.folders.card) / f.FileName(), listener, t);
      if (!download) {
        t.pauses += static_cast<int>(batch.size()) - 1;
        t.upLimitSeconds += UploadSeconds(batch, bench::FileBytesPerSecond(midi ? 31250 : 115200));
      }
    }
    t.bytes[download ? 0 : 1] = t.intactBytes - bytesBefore;
    t.directionSeconds[download ? 0 : 1] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - directionStart).count();
    t.heldSeconds[download ? 0 : 1] = rig.HeldBackSeconds(logOffset);
  }
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

void Print(const char* link, double limit, const Tally& t)
{
  const double rate = t.seconds > 0 ? t.intactBytes / t.seconds : 0;
  std::printf("%-6s files intact %d, reported failed %d, silently wrong %d (must be 0), batches that never "
              "ended %d of %d (must be 0); %.0f intact file bytes/s in %.0f s, ratio %.3f of the line's %.0f\n",
              link, t.intact, t.failed, t.wrong, t.hung, t.batches, rate, t.seconds, rate / limit, limit);
  // Uploads wait 500 ms before each further file of a batch, whatever the
  // line does (the console may still ask for the last file's last block).
  const double down = t.directionSeconds[0] > 0 ? t.bytes[0] / t.directionSeconds[0] : 0;
  const double up = t.directionSeconds[1] > 0 ? t.bytes[1] / t.directionSeconds[1] : 0;
  std::printf("%-6s down %.0f B/s in %.0f s, ratio %.3f; up %.0f B/s in %.0f s, ratio %.3f (%d pauses of 500 ms "
              "between files included); up against the line with those pauses %.3f (%.0f s at best)\n",
              link, down, t.directionSeconds[0], down / limit, up, t.directionSeconds[1], up / limit, t.pauses,
              t.directionSeconds[1] > 0 ? t.upLimitSeconds / t.directionSeconds[1] : 0, t.upLimitSeconds);
  // The console's own waits are no time the PC can win back.
  const double downBusy = t.directionSeconds[0] - t.heldSeconds[0];
  const double upBusy = t.directionSeconds[1] - t.heldSeconds[1];
  std::printf("%-6s the console held messages back %.1f s down and %.1f s up; without that time: down %.3f, up "
              "against the line with the pauses %.3f\n",
              link, t.heldSeconds[0], t.heldSeconds[1], downBusy > 0 ? t.bytes[0] / downBusy / limit : 0,
              upBusy > 0 ? t.upLimitSeconds / upBusy : 0);
  std::fflush(stdout);
}

// `count` one-block files down in one batch, no chaos.
int OneBlockFiles(int count)
{
  std::vector<SoakFile> files;
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "S%04d", i);
    const unsigned s = 500 + static_cast<unsigned>(i);
    files.push_back({0, name, test::RandomBytes(1 + (s * 2654435761u) % 868, s)});
  }
  Rig rig(false, "1:0");
  if (!rig.Start(files, {})) {
    std::fprintf(stderr, "the console did not come up\n");
    return 1;
  }
  Listener listener;
  const auto start = std::chrono::steady_clock::now();
  rig.Run(true, files, listener, 600000);
  Tally t;
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const SoakFile& f : files)
    Judge(f, rig.folders.pc / f.FileName(), listener, t);
  std::printf("one-block files: %d intact of %d in %.2f s, %.1f ms a file; %.0f file bytes/s, ratio %.3f of "
              "the line's %.0f\n",
              t.intact, count, t.seconds, 1000 * t.seconds / count, t.intactBytes / t.seconds,
              t.intactBytes / t.seconds / bench::FileBytesPerSecond(115200), bench::FileBytesPerSecond(115200));
  return t.intact == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--one-block")
    return OneBlockFiles(argc > 2 ? std::atoi(argv[2]) : 200);
  const bool sameType = argc > 1 && std::string(argv[1]) == "--same-type";
  if (sameType) {
    --argc;
    ++argv;
  }
  const int count = argc > 1 ? std::atoi(argv[1]) : 100;
  const std::string rate = argc > 2 ? argv[2] : "2";
  if (count < 1) {
    std::fprintf(stderr, "usage: bench_soak [files per direction and link] [chaos rate %%]\n");
    return 2;
  }
  std::printf("soak: %d files down and %d up per link, chaos %s %%, seed 4812%s\n", count, count, rate.c_str(),
              sameType ? ", four in five of one kind" : "");
  Tally serial;
  if (Soak(false, count, "4812:" + rate, sameType, serial))
    Print("serial", bench::FileBytesPerSecond(115200), serial);
  if (!test::JackServer::Installed()) {
    std::fprintf(stderr, "jackd is not installed: no MIDI soak\n");
    return 0;
  }
  test::JackServer jack;
  jack.periodFrames = 128;
  std::string error;
  if (!jack.Start(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 0;
  }
  Tally midi;
  if (Soak(true, count, "4812:" + rate, sameType, midi))
    Print("MIDI", bench::FileBytesPerSecond(31250), midi);
  return 0;
}
