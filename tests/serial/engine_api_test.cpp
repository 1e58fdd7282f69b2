// The engine through its API alone, against the virtual console over a
// pseudo-terminal: a download, an upload, a backup and a restore, each in a
// few lines, with no window and no lists. This is what a third front end
// (a daemon, a plug-in host) would write.
#include <gtest/gtest.h>

#include "link/backend/serial_qt.h"
#include "tests/serial/serial_harness.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_midi.h"
#include "engine/engine_parts.h"

namespace zr::test {
namespace {

namespace fs = std::filesystem;

// How each file ended, as the batch reports it; restores are confirmed.
struct Outcomes : BatchListener {
  void FileEnded(const FileEnd& end) override { ended.push_back(end); }
  std::optional<bool> AnswerRestore(const std::vector<int>&) override { return true; }
  std::optional<ReplaceAnswer> AnswerReplace(const ReplaceQuestion& q) override
  {
    questions.push_back(q);
    return ReplaceAnswer::No;
  }
  std::vector<FileEnd> ended;
  std::vector<ReplaceQuestion> questions;
};

TEST(EngineApi, DownloadUploadBackupRestoreAgainstTheConsole)
{
  ConsoleFolders f;
  const Bytes song = RandomBytes(3000, 1), setup = RandomBytes(900, 2), mix = RandomBytes(2100, 3);
  WriteFile(f.card / "SONG1.kpr", song);
  WriteFile(f.internal / "internal.ksu", setup);
  WriteFile(f.internal / "internal.keq", RandomBytes(700, 4));
  WriteFile(f.pc / "new.kch", mix);
  SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(f.card, f.internal, {"--baud", "0"}, error)) << error;

  FakeHost host;
  QtTimerSet timers;
  FakeMidiSystem midi;
  EngineOptions options;
  options.serialFactory = QtSerialDeviceFactory();
  options.comPaths = MakeComPortPaths({{1, sim.Path()}});
  options.midi = &midi;
  options.view = &host;
  Engine engine(host, timers.timers, std::move(options));
  Batch& batch = engine.Parts().batch;
  engine.Parts().session.link.ComPortNumber = 1;
  engine.Parts().com.SearchComPort();
  ASSERT_TRUE(RunUntil([&] { return batch.CardListed() && batch.Idle(); }));
  EXPECT_EQ(batch.CardFiles(), (std::vector<CardFileRef>{{0, "SONG1"}}));

  Outcomes out;
  const auto run = [&](bool started) { return started && RunUntil([&] { return batch.Idle(); }); };
  ASSERT_TRUE(run(batch.Download({{0, "SONG1"}}, f.pc.string(), &out)));
  ASSERT_TRUE(run(batch.Upload(PcFilesOf({(f.pc / "new.kch").string()}), &out)));
  ASSERT_TRUE(run(batch.Backup(7, (f.pc / "setup.ksu").string(), &out)));
  ASSERT_TRUE(run(batch.Restore(PcFilesOf({(f.pc / "new.kch").string()}), &out)));

  ASSERT_EQ(out.ended.size(), 4u);
  for (const FileEnd& end : out.ended)
    EXPECT_EQ(end.outcome, FileOutcome::Saved) << end.name << ": " << end.reason;
  EXPECT_EQ(out.ended[0].path, (f.pc / "SONG1.kpr").string());
  EXPECT_EQ(ReadFile(f.pc / "SONG1.kpr"), song);
  EXPECT_EQ(ReadFile(f.card / "new.kch"), mix);
  EXPECT_EQ(ReadFile(f.pc / "setup.ksu"), setup);
  EXPECT_EQ(ReadFile(f.internal / "internal.kch"), mix);
  EXPECT_TRUE(host.boxes.empty()) << host.boxes[0].text;
  EXPECT_FALSE(host.transferRunning);

  // A file that appears under a backup's name while the backup runs was
  // not there when the name was chosen: it is asked about, and kept.
  const fs::path late = f.pc / "late.keq";
  ASSERT_TRUE(batch.Backup(2, late.string(), &out));
  WriteFile(late, {7, 7, 7});
  ASSERT_TRUE(RunUntil([&] { return batch.Idle(); }));
  ASSERT_EQ(out.questions.size(), 1u);
  EXPECT_EQ(out.questions[0].name, "late.keq");
  EXPECT_EQ(out.ended.back().outcome, FileOutcome::Skipped);
  EXPECT_EQ(ReadFile(late), (Bytes{7, 7, 7}));
}

} // namespace
} // namespace zr::test
