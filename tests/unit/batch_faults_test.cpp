// Batches that do not end, or end with a wrong file: the faults the engine
// fuzz target found, each as the shortest script that shows it. Each names
// the fault and the name ZR_ENGINE_FUZZ_KNOWN gives it (a fault found anew
// gets a disabled case here and its name there until it is mended).
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>

#include "link/com_ports.h"
#include "sim/peer/console_peer.h"
#include "sim/peer/serial_console.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fake_serial.h"
#include "files/datatypes.h"
#include "jobs/console_job.h"
#include "engine/engine_parts.h"

namespace zr::test {
namespace {

// The engine on a fake serial line; the test plays the console with the
// virtual console's peer, one answer at a time.
class FaultRig {
public:
  FaultRig()
  {
    for (const fs::path& p : {card(), internal(), pc()})
      fs::create_directories(p);
    host.pcFolder = pc().string();
    line.clock = &timers.clock;
    line.devices["/dev/rig"] = SerialOpenResult::Ok;
    line.onWrite = [this](const Bytes& w) {
      for (Bytes& m : framer.Feed(w.data(), w.size()))
        fromPc.push_back(std::move(m));
    };
    EngineOptions o;
    o.serialFactory = line.Factory();
    o.comPaths = MakeComPortPaths({{1, "/dev/rig"}});
    o.midi = &midi;
    o.view = &host;
    engine = std::make_unique<Engine>(host, timers.timers, std::move(o));
    engine->Parts().session.link.CommMedium = 1;
    engine->Parts().session.link.ComPortNumber = 1;
    engine->Parts().session.link.ConnectedComPort = 1;
    engine->Parts().com.OpenComPort();
    sim::PeerOptions options;
    options.cardDir = card();
    options.internalDir = internal();
    peer = std::make_unique<sim::ConsolePeer>(options);
  }
  ~FaultRig() { engine.reset(); }

  fs::path card() const { return root.path() / "card"; }
  fs::path internal() const { return root.path() / "internal"; }
  fs::path pc() const { return root.path() / "pc"; }

  // The console takes the PC's next message; `change` may alter each answer.
  void Answer(const std::function<void(std::vector<Bytes>&)>& change = {})
  {
    ASSERT_FALSE(fromPc.empty()) << "the PC sent nothing to answer";
    Bytes in = fromPc.front();
    fromPc.pop_front();
    std::vector<Bytes> out = peer->Receive(in);
    if (change)
      change(out);

    for (const Bytes& m : out)
      Arrive(m);
  }
  void Arrive(const Bytes& m)
  {
    line.Arrive(m);
    line.Run(1);
  }
  // No console any more: every watchdog runs out, every box says Abort or No.
  void RunOut()
  {
    host.answers.clear();
    RunOutTimers(timers, line);
  }
  bool Ended() const { return !engine->Parts().batch.Running() && !host.transferRunning; }
  // The console answers everything, `change` altering each answer, and the
  // clock moves on whenever the PC waits, until the batch is over.
  void Drive(const std::function<void(std::vector<Bytes>&)>& change = {})
  {
    for (int step = 0; step < 1000 && !(Ended() && fromPc.empty()); ++step) {
      if (!fromPc.empty()) {
        Answer(change);
        continue;
      }
      const long long due = NextDue(timers);
      if (due < 0)
        return;
      line.Run(due - timers.clock.now + 1);
    }
  }
  // A console with other options, from now on.
  void Console(const std::function<void(sim::PeerOptions&)>& set)
  {
    sim::PeerOptions options;
    options.cardDir = card();
    options.internalDir = internal();
    set(options);
    peer = std::make_unique<sim::ConsolePeer>(options);
  }
  // Every file on the PC is the console's file of that name: a card file,
  // or for BACKUP.ext the console's memory of that kind.
  void ExpectTrueFiles() const
  {
    for (const auto& entry : fs::directory_iterator(pc())) {
      const std::string name = entry.path().filename().string();
      const fs::path source = name.rfind("BACKUP.", 0) == 0
                                  ? internal() / sim::InternalFileName(TypeOfFileName(name))
                                  : card() / name;
      if (!fs::exists(source))
        ADD_FAILURE() << name << " saved, but the console has no such file";
      else
        EXPECT_EQ(ReadFile(entry.path()), ReadFile(source)) << name << " saved with other bytes";
    }
  }

  TempFolder root;
  FakeHost host;
  FakeTimers timers;
  FakeSerialLine line;
  FakeMidiSystem midi;
  sim::SysExFramer framer;
  std::deque<Bytes> fromPc;
  std::unique_ptr<Engine> engine;
  std::unique_ptr<sim::ConsolePeer> peer;
};

// The card's files and the console's memory of type 0.
const Bytes SONG_A = RandomBytes(10, 1);   // one block
const Bytes SONG_B = RandomBytes(869, 2);  // two blocks, type 0 too
const Bytes SONG_C = RandomBytes(2000, 3); // three blocks, type 1
const Bytes MEMORY = RandomBytes(10, 4);

// One way the console misbehaves after a download of `files` starts.
struct FaultCase {
  const char* known; // its name in ZR_ENGINE_FUZZ_KNOWN
  std::vector<CardFileRef> files;
  std::function<void(FaultRig&)> play;
};

// Plays the case, lets every watchdog run out, and checks that the batch
// ended and that each file on the PC is the console's file of that name.
void Expect(const FaultCase& c)
{
  SCOPED_TRACE(c.known);
  FaultRig rig;
  WriteFile(rig.card() / "SONGA.kpr", SONG_A);
  WriteFile(rig.card() / "SONGB.kpr", SONG_B);
  WriteFile(rig.card() / "SONGC.kch", SONG_C);
  WriteFile(rig.internal() / "internal.kpr", MEMORY);
  ASSERT_TRUE(rig.engine->Parts().batch.Download(c.files, rig.pc().string()));
  c.play(rig);
  rig.RunOut();
  EXPECT_TRUE(rig.Ended()) << "the batch never ends";
  rig.ExpectTrueFiles();
}

// Every answer of the console's, twice.
void Twice(std::vector<Bytes>& out)
{
  out.push_back(out.front());
}

// Fault 3 of "Every batch ends": a block that comes unasked (here the
// first file's only block, again) stops the watchdog before the engine
// drops it as stray; nothing is armed and the batch waits for ever.
TEST(BatchFaults, StrayBlockLeavesNoWatchdog_stray)
{
  Expect({"stray", {{0, "SONGA"}, {1, "SONGC"}}, [](FaultRig& rig) { rig.Answer(Twice); }});
}

// Fault 3 again: the console's late answer to a file request given up with
// Cancel comes while a backup waits for its first block.
TEST(BatchFaults, LateAnswerAfterCancelLeavesNoWatchdog_stray)
{
  Expect({"stray", {{0, "SONGB"}}, [](FaultRig& rig) {
            rig.engine->Parts().batch.StopTransfer();
            ASSERT_TRUE(rig.engine->Parts().batch.Backup(2, (rig.pc() / "BACKUP.keq").string()));
            rig.Answer(); // the file request for SONGB
          }});
}

// Fault 4's other side: a block request that comes while a download's
// watchdog box is open answers nothing of the download. It counted as the
// transfer going on, so the box left the batch running with nothing armed.
TEST(BatchFaults, BlockRequestUnderADownloadsWatchdogBox_stray)
{
  Expect({"stray", {{0, "SONGA"}}, [](FaultRig& rig) {
            rig.host.onBox = [&rig](const BoxShown&) {
              rig.host.onBox = nullptr;
              rig.Arrive(BuildBlockRequest(0, 0));
            };
          }});
}

// Fault 10: the same, when the next file is of the same type: the repeat of
// the one-block file was taken as the next file's block 0, and SONGB.kpr
// saved with SONGA's bytes. This console falls silent after the repeat.
TEST(BatchFaults, RepeatedOneBlockFileSavedAsTheNextFile_oneblock)
{
  Expect({"oneblock", {{0, "SONGA"}, {0, "SONGB"}}, [](FaultRig& rig) { rig.Answer(Twice); }});
}

// Fault 10 again: the late answer to a backup given up with Cancel is taken
// as block 0 of the card file of that type asked for next, which the card
// does not even hold.
TEST(BatchFaults, LateBackupBlockSavedAsTheNextCardFile_oneblock)
{
  Expect({"oneblock", {{2, "NOPE"}}, [](FaultRig& rig) {
            WriteFile(rig.internal() / "internal.keq", MEMORY);
            Batch& batch = rig.engine->Parts().batch;
            batch.StopTransfer(); // the download of NOPE, not answered
            rig.fromPc.clear();
            ASSERT_TRUE(batch.Backup(2, (rig.pc() / "BACKUP.keq").string()));
            batch.StopTransfer();
            ASSERT_TRUE(batch.Download({{2, "NOPE"}}, rig.pc().string()));
            rig.Answer(); // the backup's request
          }});
}

// Found by fuzzing the engine: a doubled block 0 that came while an
// earlier answer was still due counted as that answer, and the count of
// answers due stopped at eight. Either way the count fell short of the
// answers on their way, and a backup took the last of SONGA's late answers
// for the console's memory.
TEST(BatchFaults, DoubledAnswersUndercountWhatIsStillDue_oneblock)
{
  Expect({"oneblock", {{0, "SONGA"}}, [](FaultRig& rig) {
            Batch& batch = rig.engine->Parts().batch;
            for (int i = 0; i < 6; ++i) { // asked for, given up, asked for again
              batch.StopTransfer();
              ASSERT_TRUE(batch.Download({{0, "SONGA"}}, rig.pc().string()));
            }
            for (int i = 0; i < 5; ++i)
              rig.Answer(Twice);
            batch.StopTransfer();
            fs::remove(rig.pc() / "SONGA.kpr");
            ASSERT_TRUE(batch.Backup(0, (rig.pc() / "BACKUP.kpr").string()));
            // Every answer, then a quiet line, then every answer again.
            for (int round = 0; round < 2; ++round) {
              for (int i = 0; i < 100 && !rig.fromPc.empty(); ++i)
                rig.Answer();
              if (rig.timers.upload.IsActive())
                rig.line.Run(rig.timers.upload.DueAt() - rig.timers.clock.now + 1);
            }
            EXPECT_TRUE(fs::exists(rig.pc() / "BACKUP.kpr")) << "the backup never came";
          }});
}

// Found by fuzzing the engine: a batch begun under the box that sums up
// the last one's failures found the card listing that had given way to the
// last one start beside it. The listing's replies stopped its watchdog.
TEST(BatchFaults, BatchBegunUnderTheSummaryBoxMeetsAListing_stray)
{
  FaultRig rig;
  WriteFile(rig.card() / "SONGA.kpr", SONG_A);
  WriteFile(rig.card() / "SONGC.kch", SONG_C);
  Batch& batch = rig.engine->Parts().batch;
  ASSERT_TRUE(batch.ListCard(nullptr));
  ASSERT_TRUE(batch.Download({{0, "SONGA"}}, rig.pc().string())); // the listing gives way
  rig.host.onBox = [&](const BoxShown& box) {
    rig.host.onBox = nullptr;
    EXPECT_TRUE(batch.Download({{1, "SONGC"}}, rig.pc().string())) << box.text;
  };
  rig.Answer(); // the listing's first request
  // SONGA's block 0 damaged until the file fails (each asked for again
  // behind a marker, which is answered whole).
  for (int damaged = 0; damaged < MAX_BLOCK_TRIES && !rig.fromPc.empty();)
    rig.Answer([&damaged](std::vector<Bytes>& out) {
      if (!out.empty() && out[0][OFS_COMMAND] == SYS_EX_DATA_BLOCK) {
        out[0][out[0].size() - 2] ^= 1;
        ++damaged;
      }
    });
  rig.line.Run(10);
  // Every request answered but the one for SONGC's last block.
  const Bytes lastBlock = BuildBlockRequest(1, 2);
  for (int i = 0; i < 100 && !rig.fromPc.empty(); ++i) {
    const bool lost = rig.fromPc.front() == lastBlock;
    rig.Answer([lost](std::vector<Bytes>& out) {
      if (lost)
        out.clear();
    });
  }
  rig.RunOut();
  EXPECT_TRUE(rig.Ended()) << "the batch never ends";
}

// Fault 9: no limit to the requests for a block that always arrives damaged.
TEST(BatchFaults, DamagedBlockAskedForWithoutEnd_retry)
{
  Expect({"retry", {{1, "SONGC"}}, [](FaultRig& rig) {
            rig.Answer();
            for (int i = 0; i < 100 && !rig.fromPc.empty(); ++i)
              rig.Answer([](std::vector<Bytes>& out) { out[0][out[0].size() - 2] ^= 1; });
            EXPECT_TRUE(rig.fromPc.empty()) << "still asking after 100 damaged blocks";
          }});
}

// Fault 8: a data block with no payload passes the length check, and the
// size field of block 0 is read from beyond the message (AddressSanitizer:
// heap-buffer-overflow in SizeField).
TEST(BatchFaults, BlockWithoutPayloadReadsPastTheMessage_empty)
{
  Expect({"empty", {{1, "SONGC"}}, [](FaultRig& rig) {
            rig.fromPc.clear();
            rig.Arrive({0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x10, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x7F, 0xF7});
          }});
}

// New: block 0 of a card file damaged on the line is asked for again with a
// block request, which a console takes as the start of a backup: it sends
// its memory of that type, and the card file is saved with those bytes.
TEST(BatchFaults, DamagedFirstBlockRefetchedAsBackup_block0retry)
{
  Expect({"block0retry", {{0, "SONGA"}}, [](FaultRig& rig) {
            rig.Answer([](std::vector<Bytes>& out) { out[0].erase(out[0].begin() + 14, out[0].begin() + 33); });
            rig.Answer();
          }});
}

// Fault 1: a batch started on a link that cannot send: the link says
// "  No serial device", arms no watchdog, and the batch never ends.
TEST(BatchFaults, BatchOnALinkThatCannotSendNeverEnds_nolink)
{
  Expect({"nolink", {{0, "SONGA"}}, [](FaultRig& rig) {
            rig.Answer();
            rig.engine->Parts().com.CloseComPort();
            rig.line.unplugged = true;
            rig.engine->Parts().batch.Download({{0, "SONGB"}}, rig.pc().string());
          }});
}


// ---- Faults of both directions, found by a run against another console
// and by fuzzing uploads (each failed before its mend). ----

// An older stray: when the PC asked for S3, the console first sent S1's
// only block again, unasked, and S3 was saved with S1's bytes.
TEST(BatchFaults, OlderStrayBlockSavedAsTheFileAskedFor_stray)
{
  FaultRig rig;
  std::vector<CardFileRef> files;
  for (unsigned i = 1; i <= 4; ++i) {
    WriteFile(rig.card() / ("S" + std::to_string(i) + ".kch"), RandomBytes(20 + i, 40 + i));
    files.push_back({1, "S" + std::to_string(i)});
  }
  rig.Console([](sim::PeerOptions& o) { o.strayOlder = true; });
  ASSERT_TRUE(rig.engine->Parts().batch.Download(files, rig.pc().string()));
  rig.Drive();
  EXPECT_TRUE(rig.Ended());
  EXPECT_EQ(std::distance(fs::directory_iterator(rig.pc()), fs::directory_iterator()), 4);
  rig.ExpectTrueFiles();
}

// An identify reply over MIDI during a download made the receiver await
// the link test instead, and the download died by its watchdog.
TEST(BatchFaults, IdentifyDuringABatchTakesTheReceiverAway_stray)
{
  Expect({"stray", {{0, "SONGB"}}, [](FaultRig& rig) {
            rig.Answer();
            rig.engine->Parts().session.OnIdentify(nullptr, MEDIUM_MIDI, true);
            rig.Drive();
            EXPECT_TRUE(fs::exists(rig.pc() / "SONGB.kpr"));
          }});
}

// Cancel left the watchdogs of the file given up running: a "No response"
// box came 10 s after a cancelled download, and a cancelled restore's
// watchdog ended the backup started after it.
TEST(BatchFaults, CancelLeavesTheWatchdogsRunning_stray)
{
  FaultRig rig;
  WriteFile(rig.card() / "SONGA.kpr", SONG_A);
  WriteFile(rig.internal() / "internal.kpr", MEMORY);
  WriteFile(rig.pc() / "R.kpr", SONG_B);
  Batch& batch = rig.engine->Parts().batch;
  ASSERT_TRUE(batch.Download({{0, "SONGA"}}, rig.pc().string()));
  batch.StopTransfer();
  rig.line.Run(30000);
  EXPECT_TRUE(rig.host.boxes.empty()) << rig.host.boxes.front().text;
  rig.host.answers = {BoxAnswer::Yes};
  ASSERT_TRUE(batch.Restore({{rig.pc().string(), "R.kpr"}}));
  batch.StopTransfer();
  rig.fromPc.clear();
  ASSERT_TRUE(batch.Backup(0, (rig.pc() / "BACKUP.kpr").string()));
  rig.line.Run(4000);
  rig.Drive();
  EXPECT_EQ(ReadFile(rig.pc() / "BACKUP.kpr"), MEMORY);
}

// An upload as the console sees it: what ended how, and what the card and
// the console's memory hold afterwards.
struct SendRun {
  std::vector<FileEnd> ends;
  void Check(const FaultRig& rig, const std::vector<std::string>& names) const
  {
    EXPECT_TRUE(rig.Ended());
    EXPECT_EQ(ReadFile(rig.internal() / "internal.kpr"), MEMORY) << "an upload wrote the console's memory";
    std::map<std::string, int> ended;
    for (const FileEnd& e : ends) {
      ++ended[e.name];
      if (e.outcome == FileOutcome::Saved) {
        EXPECT_EQ(ReadFile(rig.card() / e.name), ReadFile(rig.pc() / e.name)) << e.name << " reported sent";
      }
    }
    for (const std::string& name : names)
      EXPECT_EQ(ended[name], 1) << name << " reported " << ended[name] << " times";
  }
};

class Recorder : public BatchListener {
public:
  explicit Recorder(SendRun& run) : run_(run) {}
  void FileEnded(const FileEnd& e) override { run_.ends.push_back(e); }

private:
  SendRun& run_;
};

// A go-ahead that arrived twice was answered twice: the second block 0
// came when the console awaited block 1, and it took the file for a
// restore of its memory; the card never got it, and the PC said it was sent.
TEST(BatchFaults, DoubledGoAheadOverwritesTheConsolesMemory_send)
{
  FaultRig rig;
  WriteFile(rig.internal() / "internal.kpr", MEMORY);
  WriteFile(rig.pc() / "up1.kpr", SONG_C);
  WriteFile(rig.pc() / "up2.kpr", SONG_B);
  rig.Console([](sim::PeerOptions& o) { o.doubleGoAhead = true; });
  SendRun run;
  Recorder recorder(run);
  ASSERT_TRUE(rig.engine->Parts().batch.Upload({{rig.pc().string(), "up1.kpr"}, {rig.pc().string(), "up2.kpr"}},
                                       &recorder));
  rig.Drive();
  run.Check(rig, {"up1.kpr", "up2.kpr"});
}

// A failed upload file kept answering: an unasked go-ahead of another kind
// failed u2, its block 1 was still sent, u2 was reported both sent and
// failed, and u3 was never sent nor reported.
TEST(BatchFaults, AFailedUploadKeepsAnswering_send)
{
  FaultRig rig;
  WriteFile(rig.internal() / "internal.kpr", MEMORY);
  for (const char* name : {"u1.kpr", "u2.kpr", "u3.kpr"})
    WriteFile(rig.pc() / name, RandomBytes(1500, static_cast<unsigned>(name[1])));
  SendRun run;
  Recorder recorder(run);
  ASSERT_TRUE(rig.engine->Parts().batch.Upload(
      {{rig.pc().string(), "u1.kpr"}, {rig.pc().string(), "u2.kpr"}, {rig.pc().string(), "u3.kpr"}}, &recorder));
  int offers = 0;
  rig.Drive([&](std::vector<Bytes>& out) {
    // The console's go-ahead for u2 comes after one of another kind.
    if (!out.empty() && out[0][OFS_COMMAND] == SYS_EX_FILE_REQUEST && ++offers == 2)
      out.insert(out.begin(), BuildNameMessage(SYS_EX_FILE_REQUEST, 3, "X"));
  });
  run.Check(rig, {"u1.kpr", "u2.kpr", "u3.kpr"});
}

// The console's request for the last block was held back until the PC had
// offered the file again: answered, it ended the file on the PC, while the
// console, starting the file afresh, ignored that block and got no block 0.
TEST(BatchFaults, ARequestOfTheOfferBeforeEndsTheFile_send)
{
  FaultRig rig;
  WriteFile(rig.internal() / "internal.kpr", MEMORY);
  WriteFile(rig.pc() / "up1.kpr", SONG_B);
  SendRun run;
  Recorder recorder(run);
  ASSERT_TRUE(rig.engine->Parts().batch.Upload({{rig.pc().string(), "up1.kpr"}}, &recorder));
  std::optional<Bytes> held;
  rig.Drive([&](std::vector<Bytes>& out) {
    if (!out.empty() && out[0][OFS_COMMAND] == SYS_EX_BLOCK_REQUEST && !held) {
      held = out[0];
      out.clear();
    } else if (held && !held->empty() && !out.empty() && out[0][OFS_COMMAND] == SYS_EX_FILE_REQUEST) {
      out.insert(out.begin(), *held);
      held->clear();
    }
  });
  run.Check(rig, {"up1.kpr"});
  EXPECT_EQ(ReadFile(rig.card() / "up1.kpr"), SONG_B);
}

// ---- What a fault on the line costs: a round trip, not a watchdog ----

// On the fake clock, with a console that answers at once: a batch of five
// files of two kinds (one-block files of one kind in a row, as on a real
// card), and the fault on the answer to the PC's n-th message. Then the
// same batch again on a clean line: a fault must not cost later batches
// anything (the count of answers due once leaked, and every later file of
// that kind waited out a watchdog).
struct CostCase {
  const char* fault;
  int at; // the PC's message whose answer meets it
  std::function<void(std::vector<Bytes>&)> change;
  long long boundMs; // what it may cost over the clean run
};

long long RunBatch(FaultRig& rig, const std::vector<CardFileRef>& files, int faultAt,
                   const std::function<void(std::vector<Bytes>&)>& change)
{
  for (const auto& entry : fs::directory_iterator(rig.pc()))
    fs::remove(entry.path());
  const long long start = rig.timers.clock.now;
  EXPECT_TRUE(rig.engine->Parts().batch.Download(files, rig.pc().string()));
  int n = 0;
  rig.Drive([&](std::vector<Bytes>& out) {
    if (n++ == faultAt && change)
      change(out);
  });
  EXPECT_TRUE(rig.Ended());
  EXPECT_EQ(std::distance(fs::directory_iterator(rig.pc()), fs::directory_iterator()),
            static_cast<std::ptrdiff_t>(files.size()));
  rig.ExpectTrueFiles();
  return rig.timers.clock.now - start;
}

TEST(RecoveryCost, AFaultCostsARoundTripNotAWatchdog)
{
  const auto dataBlock = [](const std::vector<Bytes>& out) {
    return !out.empty() && out[0].size() > OFS_COMMAND && out[0][OFS_COMMAND] == SYS_EX_DATA_BLOCK;
  };
  const auto lost = [](std::vector<Bytes>& out) { out.clear(); };
  const auto damaged = [&](std::vector<Bytes>& out) {
    if (dataBlock(out))
      out[0][out[0].size() - 2] ^= 1;
  };
  const auto blockNumber = [&](std::vector<Bytes>& out) {
    if (dataBlock(out))
      out[0][OFS_BLOCK + 1] ^= 1;
  };
  const auto intoTheHeader = [&](std::vector<Bytes>& out) {
    if (dataBlock(out)) {
      out[0].resize(9);
      out[0].push_back(SYS_EX_END);
    }
  };
  // The first request has no round trip measured yet: a second and a block.
  const CostCase cases[] = {
      {"lost", 0, lost, 1200},         {"lost", 2, lost, 400},          {"lost", 6, lost, 400},
      {"lost", 9, lost, 400},          {"damaged", 0, damaged, 100},    {"damaged", 4, damaged, 100},
      {"damaged", 7, damaged, 100},    {"doubled", 0, Twice, 100},      {"doubled", 3, Twice, 100},
      {"doubled", 8, Twice, 100},      {"block number", 1, blockNumber, 1200},
      {"block number", 5, blockNumber, 400}, {"into the header", 3, intoTheHeader, 400},
  };
  std::vector<CardFileRef> files;
  FaultRig clean;
  const auto fill = [&files](FaultRig& rig) {
    files.clear();
    for (unsigned i = 1; i <= 3; ++i) {
      WriteFile(rig.card() / ("S" + std::to_string(i) + ".kch"), RandomBytes(20 + i, 60 + i));
      files.push_back({1, "S" + std::to_string(i)});
    }
    WriteFile(rig.card() / "SONGB.kpr", SONG_B);
    WriteFile(rig.card() / "SONGC.kch", SONG_C);
    files.push_back({0, "SONGB"});
    files.push_back({1, "SONGC"});
  };
  fill(clean);
  const long long cleanMs = RunBatch(clean, files, -1, {});
  for (const CostCase& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + " at " + std::to_string(c.at));
    FaultRig rig;
    fill(rig);
    EXPECT_LE(RunBatch(rig, files, c.at, c.change), cleanMs + c.boundMs);
    EXPECT_LE(RunBatch(rig, files, -1, {}), cleanMs + 50) << "a later clean batch";
  }
}

// The job as zr4812 runs it, on the rig: the console answers everything
// the PC sends, and the pause between files runs out, until the job is done.
struct JobLines : JobView {
  void FileBegins(int, int, const std::string&) override {}
  void FileProgress(int, int) override {}
  void FileNotDone(const std::string& name, const std::string& why, bool) override
  {
    lines += name + ": " + why + "\n";
  }
  void Notice(const std::string& text) override { lines += text + "\n"; }
  void Finished() override {}
  std::string lines;
};

void RunJob(FaultRig& rig, ConsoleJob& job)
{
  job.Run();
  for (int round = 0; round < 400 && !job.Done(); ++round) {
    while (!rig.fromPc.empty())
      rig.Answer();
    job.Poll();
    if (!job.Done() && rig.fromPc.empty())
      rig.line.Run(600);
  }
}

// Fault 6 of "Both directions fuzzed": the listing at connect lost a reply,
// and the job's own listing was refused because the job holds the engine:
// list, get, put and archive ended with "the card list could not be read".
TEST(JobFaults, ACardListThatLostAReplyIsReadAgainByTheJob)
{
  FaultRig rig;
  WriteFile(rig.card() / "SONGA.kpr", SONG_A);
  Batch& batch = rig.engine->Parts().batch;
  ASSERT_TRUE(batch.ListCard());
  rig.fromPc.clear(); // the request never reached the console
  rig.RunOut();
  ASSERT_FALSE(batch.CardListed());

  JobLines view;
  ConsoleJob job(batch, view, {});
  ASSERT_TRUE(batch.Claim(&job));
  job.ListCard();
  job.GetFiles({}, rig.pc().string());
  RunJob(rig, job);
  EXPECT_TRUE(job.Done());
  EXPECT_EQ(job.FilesNotDone(), 0) << view.lines;
  EXPECT_EQ(ReadFile(rig.pc() / "SONGA.kpr"), SONG_A);
}

} // namespace
} // namespace zr::test
