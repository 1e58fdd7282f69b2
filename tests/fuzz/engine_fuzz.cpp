// Every batch ends, whatever the console and the user do: each input starts
// one download, backup, upload or restore through the engine's intents and
// plays a script of console answers (faithful, damaged, stray, repeated or
// made up), clock ticks, box answers (at once, under the box, or later from
// a box that does not block), Cancel, a failing serial device and a
// second intent. Then every watchdog is let run out, and the batch must be
// over, the window free, and the PC folder must hold only whole, true files.
//
// Both directions: the console is modelled by the virtual console's own
// peer over its card and memory folders, so an upload must land on the card
// and never in the console's memory, and a restore's effect on a later
// backup is expected. A fault found anew may be skipped by name while it is
// mended (ZR_ENGINE_FUZZ_KNOWN=name); none is. tests/unit/batch_faults_test.cpp
// holds each one's reproducer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim/peer/console_peer.h"
#include "sim/peer/serial_console.h"
#include "tests/fuzz/engine_script.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fake_serial.h"
#include "tests/support/fakes.h"
#include "tests/support/fuzz_check.h"
#include "link/com_ports.h"
#include "files/archive_check.h"
#include "jobs/console_job.h"
#include "files/disk.h"
#include "engine/engine_parts.h"
#include "engine/resync.h"

namespace {

namespace fs = std::filesystem;
using namespace zr;
using namespace zr::test;
using zr::fuzz::Event;
using zr::fuzz::Script;

// The faults still skipped, from ZR_ENGINE_FUZZ_KNOWN (default: all known).
struct Known {
  std::set<std::string> names;
  bool operator()(const char* name) const { return names.count(name) != 0; }
};

const Known& KnownFaults()
{
  static const Known known = [] {
    Known k;
    const char* env = std::getenv("ZR_ENGINE_FUZZ_KNOWN");
    std::stringstream list(env ? env : zr::fuzz::ALL_KNOWN_FAULTS);
    for (std::string name; std::getline(list, name, ',');)
      if (!name.empty() && name != "none")
        k.names.insert(name);
    return k;
  }();
  return known;
}

// The folders of one run: the PC's, the card's and the console's memory.
struct Folders {
  fs::path root, pc, card, internal;
  Folders()
  {
    // Saved files are flushed to disk: in memory that costs nothing, and
    // the fuzzer runs a hundred times faster.
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    root = base / ("zr4812-engine-fuzz-" + std::to_string(::getpid()));
    pc = root / "pc";
    card = root / "card";
    internal = root / "internal";
  }
  ~Folders()
  {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void Reset() const
  {
    std::error_code ec;
    fs::remove_all(root, ec);
    for (const fs::path& p : {pc, card, internal})
      fs::create_directories(p);
    for (const auto& f : zr::fuzz::CardFiles())
      WriteBytes(card / (f.name + "." + f.extension), f.bytes);
    for (const auto& f : zr::fuzz::InternalFiles())
      WriteBytes(internal / (sim::InternalFileName(f.type)), f.bytes);
    for (const auto& f : zr::fuzz::PcFiles())
      WriteBytes(pc / (f.name + "." + f.extension), f.bytes);
  }
  static void WriteBytes(const fs::path& p, const Bytes& b)
  {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                             static_cast<std::streamsize>(b.size()));
  }
};

const Folders& TheFolders()
{
  static const Folders folders;
  return folders;
}

// One engine on a fake serial line, its console served from the folders
// by the same peer the virtual console uses, and the script that drives both.
class World {
public:
  World(const Folders& f, Script& script)
      : folders_(f), script_(script),
        peer_(sim::PeerOptions{.cardDir = f.card, .internalDir = f.internal}),
        engine_(host_, timers_.timers, Options())
  {
    host_.pcFolder = f.pc.string();
    Session& s = engine_.Parts().session;
    s.link.CommMedium = 1;
    s.link.ComPortNumber = 1;
    s.link.ConnectedComPort = 1;
    line_.clock = &timers_.clock;
    line_.onWrite = [this](const Bytes& w) {
      for (Bytes& m : framer_.Feed(w.data(), w.size()))
        fromPc_.push_back({epoch_, timers_.clock.now, std::move(m)});
    };
    host_.onBox = [this](const BoxShown& box) { UnderBox(box); };
    // ZR_ENGINE_FUZZ_TRACE=1: every message in and out of the console, for reading a finding.
    if (std::getenv("ZR_ENGINE_FUZZ_TRACE"))
      peer_.SetLog([](const std::string& line) { std::fprintf(stderr, "console %s\n", line.c_str()); });
  }

  void Run()
  {
    engine_.Parts().com.OpenComPort();
    Start(script_.intent);
    while (!script_.Done()) {
      Play(script_.Next());
      PollJob();
      CheckStage();
    }
    Drain();
    Check();
  }

private:
  EngineOptions Options()
  {
    line_.devices[DEVICE] = SerialOpenResult::Ok;
    EngineOptions o;
    o.serialFactory = line_.Factory();
    o.comPaths = MakeComPortPaths({{1, DEVICE}});
    o.midi = &midi_;
    o.view = &host_;
    return o;
  }

  // An intent: the batch's first, or a second one while it runs.
  bool Start(const zr::fuzz::Intent& intent)
  {
    Batch& b = engine_.Parts().batch;
    const std::string pc = folders_.pc.string();
    if (intent.job != 0 && !job_)
      return StartJob(intent);
    if (intent.listing)
      return b.ListCard();
    std::vector<PcFileRef> pcFiles = intent.pcFiles;
    for (PcFileRef& f : pcFiles)
      f.folder = pc;
    switch (intent.kind) {
    case BatchKind::Download:
      if (intent.replace)
        for (const auto& f : zr::fuzz::CardFiles()) {
          const std::string name = f.name + "." + f.extension;
          Folders::WriteBytes(folders_.pc / name, f.bytes);
          host_.pcListSizes[name] = "1 KB";
        }
      return b.Download(intent.cardFiles, pc);
    case BatchKind::Backup:
      return b.Backup(intent.type, (folders_.pc / zr::fuzz::BackupName(intent.type)).string());
    case BatchKind::Upload:
      return b.Upload(pcFiles);
    case BatchKind::Restore: {
      // Asked whether to replace the console's settings, the user says yes
      // (the replace bit says no): what it restores may then be in the memory.
      if (!intent.replace)
        host_.answers.push_front(BoxAnswer::Yes);
      const bool started = b.Restore(pcFiles);
      if (started)
        for (const PcFileRef& f : pcFiles)
          if (const auto bytes = ReadWholeFile((folders_.pc / f.name).string()))
            restorable_[TypeOfFileName(f.name)].insert(*bytes);
      return started;
    }
    }
    return false;
  }

  // A job as zr4812 plans it, with one try again after a search.
  bool StartJob(const zr::fuzz::Intent& intent)
  {
    JobOptions o;
    o.replace = intent.replace;
    o.retries = 1;
    o.carryOnAfterSilence = true;
    o.searchAgain = [this] { engine_.Parts().control.Search(); };
    o.searchAnswered = [this] { return engine_.Parts().session.link.CommMedium != 0; };
    job_ = std::make_unique<ConsoleJob>(engine_.Parts().batch, jobView_, o);
    const std::string pc = folders_.pc.string();
    job_->ListCard();
    if (intent.job == 2) {
      job_->GetFiles({}, pc);
    } else if (intent.job == 3) {
      std::vector<std::string> paths;
      for (const PcFileRef& f : intent.pcFiles)
        paths.push_back((folders_.pc / f.name).string());
      job_->PutFiles(paths);
    } else if (intent.job == 4) {
      job_->Archive(pc);
    }
    job_->Run();
    return true;
  }
  void PollJob()
  {
    if (job_)
      job_->Poll();
  }

  void Play(const Event& e);
  void Answer(const Event& e);
  void Inject(const Event& e);
  void Arrive(const Bytes& message);
  void UnderBox(const BoxShown& box);
  void Drain();
  void AnswerDamagedUntilTheEnd();
  void Check();
  void CheckStage() const;
  void Dump() const;
  void CheckFolder() const;
  // An archive's card files as the console sent them, its internal files
  // as the memory held them: nothing else but the archive's own lists.
  void CheckArchive(const fs::path& folder) const;
  void CheckConsole() const;
  // What the console's memory of a kind may hold: what it held, or a file
  // restored into it.
  bool MayHold(int type, const Bytes& bytes) const;

  static constexpr const char* DEVICE = "/dev/fuzz";
  const Folders& folders_;
  Script& script_;
  FakeHost host_;
  FakeTimers timers_;
  FakeSerialLine line_;
  FakeMidiSystem midi_;
  sim::ConsolePeer peer_;
  sim::SysExFramer framer_;
  // What the PC sent and the console has not taken yet, with the epoch and
  // the time it was sent in.
  struct Sent {
    int epoch;
    long long at;
    Bytes bytes;
  };
  std::deque<Sent> fromPc_;
  int epoch_ = 0; // counts Cancels and batches started: an answer from before is late
  std::vector<Bytes> history_; // the console's messages, the last few
  Engine engine_;
  int boxDepth_ = 0;
  struct QuietView : JobView {
    void FileBegins(int, int, const std::string&) override {}
    void FileProgress(int, int) override {}
    void FileNotDone(const std::string&, const std::string&, bool) override {}
    void Notice(const std::string&) override {}
    void Finished() override {}
  } jobView_;
  std::unique_ptr<ConsoleJob> job_;
  std::set<Bytes> intact_;      // blocks that came to the PC whole
  std::set<int> impostorTypes_; // kinds awaited when a made-up block or marker reply came
  std::map<int, std::set<Bytes>> restorable_; // PC files restored, by kind
  bool stubborn_ = false; // every block the console sends arrives damaged
};

void World::Play(const Event& e)
{
  using K = Event::Kind;
  if (std::getenv("ZR_ENGINE_FUZZ_TRACE"))
    std::fprintf(stderr, "event %d (variant %d, arg %d, %lld ms) at stage '%s'\n", static_cast<int>(e.kind),
                 e.variant, e.arg, e.ms, StageName(engine_.Parts().batch.Now()));
  switch (e.kind) {
  case K::Answer:
    Answer(e);
    break;
  case K::Inject:
    Inject(e);
    break;
  case K::Time:
    line_.Run(e.ms);
    break;
  case K::Box:
    if (!e.later) {
      host_.answers.push_back(e.box);
    } else if (!host_.lateBoxes.empty()) {
      const Reply<BoxAnswer> reply = host_.lateBoxes.front().reply;
      host_.lateBoxes.pop_front();
      reply(e.box);
    } else {
      host_.boxLater = true;
    }
    break;
  case K::Cancel:
    ++epoch_;
    engine_.Parts().batch.StopTransfer();
    break;
  case K::Unplug:
    script_.Note(zr::fuzz::Ingredient::LinkFailed);
    line_.unplugged = e.variant & 1;
    if (e.variant & 2)
      engine_.Parts().com.CloseComPort();
    line_.devices[DEVICE] = (e.variant & 4) ? SerialOpenResult::InUse : SerialOpenResult::Ok;
    break;
  case K::SecondIntent:
    if (engine_.Parts().batch.Running())
      script_.Note(zr::fuzz::Ingredient::SecondIntent);
    epoch_ += Start(e.intent);
    break;
  case K::MidiIdentify: // an identify reply over MIDI, as a second interface would bring it
    engine_.Parts().session.OnIdentify(nullptr, MEDIUM_MIDI, true);
    break;
  }
}

// The console takes the PC's next message and answers it, faithfully or
// with one fault: the answer dropped, doubled, its checksum wrong or cut short.
void World::Answer(const Event& e)
{
  if (fromPc_.empty())
    return;
  auto [epoch, at, in] = std::move(fromPc_.front());
  fromPc_.pop_front();
  (void)at;
  // The answer to a request that was given up comes unasked.
  if (epoch != epoch_)
    script_.Note(zr::fuzz::Ingredient::Stray);
  for (Bytes& out : peer_.Receive(in)) {
    history_.push_back(out);
    if (history_.size() > 64)
      history_.erase(history_.begin());
    switch (e.variant % 8) {
    case 1: // lost
      continue;
    case 2: // twice: the second one comes unasked
      script_.Note(zr::fuzz::Ingredient::Stray);
      Arrive(out);
      break;
    case 3: // damaged checksum
      if (out.size() > 2 && out[OFS_COMMAND] == SYS_EX_DATA_BLOCK) {
        script_.Note(zr::fuzz::Ingredient::Damaged);
        out[out.size() - 2] ^= 0x01;
      }
      break;
    case 4: // cut short, still ended
      if (out.size() > 20 && out[OFS_COMMAND] == SYS_EX_DATA_BLOCK) {
        script_.Note(zr::fuzz::Ingredient::Damaged);
        out.erase(out.begin() + 14, out.begin() + 14 + e.arg % (out.size() - 16));
      }
      break;
    case 7: // and from now on the line damages every block
      stubborn_ = true;
      break;
    default:
      break;
    }
    Arrive(out);
  }
}

// A message the console makes up: stray, late, out of range, or any bytes.
void World::Inject(const Event& e)
{
  const std::optional<Bytes> m = zr::fuzz::MadeUpMessage(e, history_, script_);
  if (!m)
    return;
  const auto parsed = ParseMessage(m->data(), m->size());
  const int variant = e.arg % 8;
  const bool block = parsed && parsed->command == SYS_EX_DATA_BLOCK;
  // Whether the engine awaits it is known only when it has been read. A
  // block the PC never got whole (every copy of it came damaged or was
  // lost) is new to it, made up or sent again: the PC cannot tell.
  if ((variant == 0 || variant == 2 || variant == 3 || variant == 4) && block && IsDataType(parsed->type) &&
      !intact_.count(*m))
    impostorTypes_.insert(parsed->type);
  // A copy of a block the PC doubted, coming again while it asks behind a
  // marker whether those bytes are the file's: two card files may be the
  // same, and the PC takes the same bytes then. Nothing on the wire tells
  // a copy sent unasked just then from that answer.
  if (block && IsDataType(parsed->type) && engine_.Parts().session.RxTransfer.Doubted) {
    Bytes withSum = parsed->payload;
    withSum.push_back(parsed->checksum);
    if (*engine_.Parts().session.RxTransfer.Doubted ==
        BlockMemory::Digest(parsed->type, parsed->total, parsed->block, withSum.data(), withSum.size())) {
      script_.Note(zr::fuzz::Ingredient::MadeUpReply);
      impostorTypes_.insert(parsed->type);
    }
  }
  // A made-up directory reply may be taken for the marker's.
  if (parsed && parsed->command == SYS_EX_DIRECTORY && engine_.Parts().session.Resynchronising()) {
    script_.Note(zr::fuzz::Ingredient::MadeUpReply);
    impostorTypes_.insert(engine_.Parts().session.RxTransfer.DataType);
  }
  if (std::getenv("ZR_ENGINE_FUZZ_TRACE"))
    std::fprintf(stderr, "made up -> %s\n", sim::DescribeMessage(m->data(), m->size()).c_str());
  Arrive(*m);
}

void World::Arrive(const Bytes& message)
{
  if (const auto parsed = ParseMessage(message.data(), message.size());
      parsed && parsed->command == SYS_EX_DATA_BLOCK && !parsed->payload.empty() &&
      Checksum(parsed->payload.data(), parsed->payload.size()) == parsed->checksum)
    intact_.insert(message);
  line_.Arrive(message, 0);
  line_.Run(1);
}

// A box runs an event loop of its own: what the script has next may happen
// while it is up (a late answer, a watchdog, the console going on).
void World::UnderBox(const BoxShown& box)
{
  const bool question = box.buttons == BoxButtons::YesNo || box.buttons == BoxButtons::YesNoAll;
  if (boxDepth_ > 0 || script_.Done() || !script_.PeekUnderBox())
    return;
  ++boxDepth_;
  script_.Note(question ? zr::fuzz::Ingredient::UnderQuestion : zr::fuzz::Ingredient::UnderWatchdog);
  const int n = 1 + script_.TakeByte() % 3;
  for (int i = 0; i < n && !script_.Done(); ++i) {
    Play(script_.Next());
  }
  --boxDepth_;
}

// A line that damages every block: the PC may ask for a block again a few
// times, but not for ever.
void World::AnswerDamagedUntilTheEnd()
{
  constexpr int ENOUGH = 100;
  Event damage;
  damage.variant = 3;
  int answers = 0;
  while (!fromPc_.empty() && answers < ENOUGH && engine_.Parts().batch.Running()) {
    Answer(damage);
    ++answers;
  }
  if (answers == ENOUGH && !KnownFaults()("retry")) {
    Dump();
    FUZZ_CHECK(answers < ENOUGH);
  }
}

// No console any more: every watchdog runs out and every box gets the
// answer that changes nothing, until nothing but the serial poll is armed.
void World::Drain()
{
  host_.answers.clear();
  host_.onBox = nullptr;
  // The boxes still open are closed as a user would close them.
  host_.boxLater = false;
  while (!host_.lateBoxes.empty()) {
    const FakeHost::LateBox box = host_.lateBoxes.front();
    host_.lateBoxes.pop_front();
    box.reply(HarmlessAnswer(box.buttons));
  }
  if (stubborn_)
    AnswerDamagedUntilTheEnd();
  fromPc_.clear();
  line_.onWrite = nullptr;
  RunOutTimers(timers_, line_);
  // A job goes on to its next step as the engine goes idle: each one ends
  // by its watchdog, and the job gives up when the console stays silent.
  for (int round = 0; job_ && !job_->Done() && round < 1000; ++round) {
    if (std::getenv("ZR_ENGINE_FUZZ_TRACE") && round < 5)
      std::fprintf(stderr, "drain %d: stage '%s', idle %d, medium %d\n", round, StageName(engine_.Parts().batch.Now()),
                   engine_.Parts().batch.Idle(), engine_.Parts().session.link.CommMedium);
    job_->Poll();
    RunOutTimers(timers_, line_);
  }
}

void World::Check()
{
  const Known& known = KnownFaults();
  const auto& had = script_.ingredients;
  using I = zr::fuzz::Ingredient;
  const bool ended = !engine_.Parts().batch.Running() && !host_.transferRunning;
  const bool excused = (known("nolink") && had.count(I::LinkFailed)) || (known("stray") && had.count(I::Stray));
  if (!excused && !ended)
    Dump();
  if (!excused)
    FUZZ_CHECK(ended);
  if (job_ && !job_->Done()) {
    Dump();
    std::fprintf(stderr, "the job never finished\n");
  }
  FUZZ_CHECK(!job_ || job_->Done());
  CheckFolder();
  CheckConsole();
}

bool World::MayHold(int type, const Bytes& bytes) const
{
  for (const auto& f : zr::fuzz::InternalFiles())
    if (f.type == type && f.bytes == bytes)
      return true;
  const auto it = restorable_.find(type);
  return it != restorable_.end() && it->second.count(bytes) != 0;
}

// The console's memory holds what it held or what was restored into it,
// never an upload; the card holds its own files and whole uploads.
void World::CheckConsole() const
{
  for (const auto& entry : fs::directory_iterator(folders_.internal)) {
    const std::string name = entry.path().filename().string();
    const std::optional<Bytes> got = ReadWholeFile(entry.path().string());
    const int type = TypeOfFileName(name);
    if (!got || !MayHold(type, *got)) {
      Dump();
      std::fprintf(stderr, "the console's memory %s holds %zu bytes nobody restored\n", name.c_str(),
                   got ? got->size() : 0);
    }
    FUZZ_CHECK(got && MayHold(type, *got));
  }
  for (const auto& entry : fs::directory_iterator(folders_.card)) {
    const std::string name = entry.path().filename().string();
    const std::optional<Bytes> got = ReadWholeFile(entry.path().string());
    const bool known = got && zr::fuzz::IsCardOrPcFile(name, *got);
    if (!known) {
      Dump();
      std::fprintf(stderr, "the card's %s is no file the PC or the card had\n", name.c_str());
    }
    FUZZ_CHECK(known);
  }
}

// A running batch always has exactly one thing that moves it on: the
// watchdog of what it awaits, the pause between files, or the answer to a
// box left open. (A console that answers late under a watchdog's box
// carries the transfer on, and the answer then changes nothing: under the
// box its watchdog may stand armed.)
void World::CheckStage() const
{
  const Batch& b = engine_.Parts().batch;
  if (!b.Running())
    return;
  const int armed = timers_.upload.IsActive() + timers_.download.IsActive() + timers_.send.IsActive();
  const Stage s = b.Now();
  const bool asked = s == Stage::Asking && armed <= 1 && !host_.lateBoxes.empty();
  const bool moves = asked || (armed == 1 && (s == Stage::Awaiting || s == Stage::Offering || s == Stage::Pausing));
  if (!moves) {
    Dump();
    std::fprintf(stderr, "stage '%s' with %d of the watchdogs and the pause armed (upload %d, download %d, pause %d)\n",
                 StageName(s), armed, timers_.upload.IsActive(), timers_.download.IsActive(),
                 timers_.send.IsActive());
  }
  FUZZ_CHECK(moves);
}

// What the run did, for the one who reads a finding.
void World::Dump() const
{
  std::fprintf(stderr, "ingredients:");
  for (auto i : script_.ingredients)
    std::fprintf(stderr, " %d", static_cast<int>(i));
  std::fprintf(stderr, "\nwrites by the PC:\n");
  for (const Bytes& w : line_.writes)
    std::fprintf(stderr, "  %s\n", sim::DescribeMessage(w.data(), w.size()).c_str());
  std::fprintf(stderr, "status texts:\n");
  for (const std::string& t : host_.statuses)
    std::fprintf(stderr, "  '%s'\n", t.c_str());
  for (const BoxShown& b : host_.boxes)
    std::fprintf(stderr, "box: '%s'\n", b.text.c_str());
  std::fprintf(stderr, "running %d, window locked %d\n", engine_.Parts().batch.Running(), host_.transferRunning);
}

// Only whole files the console really sent, under their own names, and
// the PC's own files untouched; nothing beside the three folders.
void World::CheckArchive(const fs::path& folder) const
{
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name == CHECKSUM_FILE || name == INCOMPLETE_FILE || name == CARD_NAMES_FILE) {
      FUZZ_CHECK(entry.is_regular_file());
      continue;
    }
    FUZZ_CHECK(entry.is_directory() && (name == "card" || name == "internal"));
    for (const auto& file : fs::directory_iterator(entry.path())) {
      const std::string fileName = file.path().filename().string();
      const int type = TypeOfFileName(fileName);
      FUZZ_CHECK(file.is_regular_file() && fileName.rfind(".zr4812-", 0) != 0);
      if (impostorTypes_.count(type))
        continue;
      const std::optional<Bytes> got = ReadWholeFile(file.path().string());
      const bool true_ = got && (name == "internal" ? MayHold(type, *got) : zr::fuzz::IsCardOrPcFile(fileName, *got));
      if (!true_) {
        Dump();
        std::fprintf(stderr, "the archive's %s/%s is not what the console held\n", name.c_str(), fileName.c_str());
      }
      FUZZ_CHECK(true_);
    }
  }
}

void World::CheckFolder() const
{
  for (const auto& entry : fs::directory_iterator(folders_.pc)) {
    const std::string name = entry.path().filename().string();
    if (job_ && entry.is_directory() && name.rfind("zr4812-", 0) == 0) {
      CheckArchive(entry.path());
      continue;
    }
    // A made-up block of another file, of this file's kind (or one sent
    // before that never reached the PC whole), may have come just when one of this kind was awaited, or a made-up reply of the
    // marker's kind while a barrier stood: nothing on the wire tells them
    // from the answer.
    const int type = TypeOfFileName(name);
    const bool wrongExcused = impostorTypes_.count(type) != 0;
    FUZZ_CHECK(name.rfind(".zr4812-", 0) != 0);
    FUZZ_CHECK(entry.is_regular_file());
    std::optional<Bytes> expected = zr::fuzz::ExpectedPcFile(name);
    // A backup of a memory that a restore changed holds the restored bytes.
    if (const std::optional<Bytes> got = ReadWholeFile(entry.path().string());
        got && name.rfind("BACKUP.", 0) == 0 && MayHold(type, *got))
      expected = got;
    if (wrongExcused && !expected)
      continue;
    if (!expected)
      std::fprintf(stderr, "%s is no file the console sent\n", name.c_str());
    FUZZ_CHECK(expected.has_value());
    const std::optional<Bytes> got = ReadWholeFile(entry.path().string());
    if (!wrongExcused && got != expected) {
      Dump();
      std::fprintf(stderr, "%s holds %zu bytes, the console sent %zu\n", name.c_str(), got ? got->size() : 0,
                   expected->size());
    }
    if (!wrongExcused)
      FUZZ_CHECK(got == expected);
  }
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(folders_.root))
    entries += entry.is_directory() ? 1 : 100;
  FUZZ_CHECK(entries == 3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  if (size < 2)
    return 0;
  const Folders& folders = TheFolders();
  folders.Reset();
  Script script(data, size, KnownFaults().names);
  World(folders, script).Run();
  return 0;
}
