// A front end in a few lines, against the virtual console: the engine's face
// and its events, the library's stand-ins, and nothing else of the engine.
#include <gtest/gtest.h>

#include <QTimer>

#include "frontend/qt_timer.h"
#include "link/backend/serial_qt.h"
#include "tests/serial/serial_harness.h"
#include "tests/support/engine_fixture.h"
#include "engine/engine.h"
#include "engine/stand_ins.h"

namespace zr::test {
namespace {

struct FewLines : EngineObserver {
  void ConnectionChanged(const Connection& c) override { connection = c; }
  void CardListed(const std::vector<CardFileRef>& files) override { card = files; }
  void FileEnded(const FileEnd& end) override { ended.push_back(end); }
  // Answered when the front end is ready: here a moment later.
  bool AskReplace(const ReplaceQuestion& q, const Reply<ReplaceAnswer>& reply) override
  {
    asked.push_back(q.name);
    QTimer::singleShot(300, [reply] { reply(ReplaceAnswer::Yes); });
    return true;
  }
  void Idle() override { idle = true; }
  // The status line, rendered here: the engine sends only its values.
  void StatusChanged(const ScreenText& text) override { status.push_back(Render(text)); }
  // Runs the event loop until the engine says it is idle.
  bool Wait()
  {
    return RunUntil([this] { return std::exchange(idle, false); });
  }

  Connection connection;
  std::vector<CardFileRef> card;
  std::vector<FileEnd> ended;
  std::vector<std::string> asked;
  std::vector<std::string> status;
  bool idle = false;
};

TEST(FrontEnd, ConnectsListsDownloadsAndAnswersTheReplaceQuestionLater)
{
  ConsoleFolders f;
  const Bytes song = RandomBytes(2500, 7);
  WriteFile(f.card / "SONG1.kpr", song);
  WriteFile(f.pc / "SONG1.kpr", {1, 2, 3});
  SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(f.card, f.internal, {"--baud", "0"}, error)) << error;

  QuietHost host;
  QtTimerSet timers;
  NoMidi midi;
  FewLines events;
  EngineOptions options;
  options.serialFactory = QtSerialDeviceFactory();
  options.comPaths = MakeComPortPaths({{1, sim.Path()}});
  options.midi = &midi;
  options.observer = &events;
  Engine engine(host, timers.timers, std::move(options));

  ASSERT_EQ(engine.Connect(LinkChoice::Serial(1)).state, ConnectionState::Searching);
  ASSERT_TRUE(events.Wait());
  EXPECT_EQ(events.connection.state, ConnectionState::Connected);
  EXPECT_EQ(events.connection.comPort, 1);
  EXPECT_NE(std::find(events.status.begin(), events.status.end(), "Connected thru COM port 1"), events.status.end());
  ASSERT_EQ(events.card, (std::vector<CardFileRef>{{0, "SONG1"}}));

  ASSERT_TRUE(engine.Download(events.card, f.pc.string()));
  ASSERT_TRUE(events.Wait());
  EXPECT_EQ(events.asked, std::vector<std::string>{"SONG1.kpr"});
  ASSERT_EQ(events.ended.size(), 1u);
  EXPECT_EQ(events.ended[0].outcome, FileOutcome::Saved) << events.ended[0].reason;
  EXPECT_EQ(ReadFile(f.pc / "SONG1.kpr"), song);
}

} // namespace
} // namespace zr::test
