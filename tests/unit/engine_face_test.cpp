// The engine through its face on a manual clock: Connect on each kind of
// link, against the virtual console's peer or a silent line, and what the
// observer hears: the connection's states, the listing, idle.
#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "link/com_ports.h"
#include "sim/peer/console_peer.h"
#include "sim/peer/serial_console.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fake_serial.h"
#include "engine/engine_parts.h"

namespace zr::test {
namespace {

// The engine on a fake serial line and a fake MIDI system, with the
// console's peer answering whatever reaches it; the rig hears the events.
class FaceRig : public EngineObserver {
public:
  explicit FaceRig(int searchesIgnored, int testBlocksDamaged = 0)
      : ignore_(searchesIgnored), damage_(testBlocksDamaged)
  {
    fs::create_directories(root.path() / "card");
    fs::create_directories(root.path() / "internal");
    WriteFile(root.path() / "card" / "SONG1.kpr", RandomBytes(100, 1));
    sim::PeerOptions options;
    options.cardDir = root.path() / "card";
    options.internalDir = root.path() / "internal";
    peer = std::make_unique<sim::ConsolePeer>(options);
    line.clock = &timers.clock;
    line.devices = {{"/dev/rig", SerialOpenResult::Ok},
                    {"/dev/locked", SerialOpenResult::PermissionDenied},
                    {"/dev/busy", SerialOpenResult::InUse}};
    line.onWrite = [this](const Bytes& w) {
      for (const Bytes& m : framer.Feed(w.data(), w.size()))
        for (const Bytes& a : Answer(m))
          line.Arrive(a, 1);
    };
    midi.SetDevices(1, 1);
    midi.onSend = [this](const Bytes& m) {
      for (const Bytes& a : Answer(m))
        toPc.push_back(a);
    };
    EngineOptions o;
    o.serialFactory = line.Factory();
    o.comPaths = MakeComPortPaths({{1, "/dev/rig"}, {2, ""}, {3, "/dev/locked"}, {4, "/dev/busy"}});
    o.midi = &midi;
    o.view = &host;
    o.observer = this;
    engine = std::make_unique<Engine>(host, timers.timers, std::move(o));
  }
  ~FaceRig() override { engine.reset(); }

  // The clock moves on `ms`, one at a time, MIDI answers arriving between.
  void Run(int ms)
  {
    for (int i = 0; i < ms; ++i) {
      line.Run(1);
      while (!toPc.empty()) {
        const Bytes m = toPc.front();
        toPc.pop_front();
        midi.Deliver(m);
      }
    }
  }

  void ConnectionChanged(const Connection& c) override { heard.push_back(c); }
  void CardListing(int type, std::size_t) override { listings.push_back(type); }
  void CardListed(const std::vector<CardFileRef>& files) override { listed = files; }
  void FileEnded(const FileEnd& end) override { ended.push_back(end); }
  std::optional<ReplaceAnswer> AnswerReplace(const ReplaceQuestion& q) override
  {
    asked.push_back(q.name);
    return replace;
  }
  void Idle() override { ++idles; }

  TempFolder root;
  FakeHost host;
  FakeTimers timers;
  FakeSerialLine line;
  FakeMidiSystem midi;
  sim::SysExFramer framer;
  std::unique_ptr<sim::ConsolePeer> peer;
  std::deque<Bytes> toPc;
  std::unique_ptr<Engine> engine;
  std::vector<Connection> heard;
  std::vector<CardFileRef> listed;
  std::vector<int> listings; // the types of the directory replies heard
  std::vector<FileEnd> ended;
  std::vector<std::string> asked;
  ReplaceAnswer replace = ReplaceAnswer::No;
  int searches = 0;
  int idles = 0;

private:
  // Searches before `ignore_` of them went out are lost on the way.
  std::vector<Bytes> Answer(const Bytes& m)
  {
    if (m == BuildSearch() && ++searches <= ignore_)
      return {};
    std::vector<Bytes> out = peer->Receive(m);
    // The link test's block, its checksum damaged the first times.
    for (Bytes& a : out)
      if (a.size() > DATA_BLOCK_OVERHEAD && a[OFS_COMMAND] == SYS_EX_DATA_BLOCK && a[OFS_TYPE] == SYS_EX_TEST_TYPE &&
          damage_ > 0) {
        --damage_;
        a[a.size() - 2] ^= 0x01;
      }
    return out;
  }
  int ignore_;
  int damage_;
};

constexpr int NEVER = 1000;

struct ConnectCase {
  const char* name;
  LinkChoice choice;
  int searchesIgnored;
  ConnectionState afterConnect; // as Connect returns it
  ConnectFailure failure;       // at the end
  int searchesSent;
  int testBlocksDamaged = 0; // MIDI: the link test's block came damaged so often
};

LinkChoice Midi(int in, int out)
{
  LinkChoice c = LinkChoice::Midi(in, out);
  c.searchMs = 3000;
  c.midiRepeatMs = 500;
  return c;
}

class Connect : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(Connect, TheObserverHearsHowTheConnectionWent)
{
  const ConnectCase& c = GetParam();
  FaceRig rig(c.searchesIgnored, c.testBlocksDamaged);
  if (c.testBlocksDamaged > 0)
    rig.engine->Parts().session.link.CommMedium = MEDIUM_MIDI; // the medium the settings had
  const Connection after = rig.engine->Connect(c.choice);
  EXPECT_EQ(after.state, c.afterConnect);
  rig.Run(4000);

  ASSERT_FALSE(rig.heard.empty());
  const Connection& last = rig.heard.back();
  EXPECT_EQ(last, rig.engine->ConnectionNow());
  EXPECT_EQ(last.failure, c.failure);
  EXPECT_EQ(last.state,
            c.failure == ConnectFailure::None ? ConnectionState::Connected : ConnectionState::Failed);
  EXPECT_EQ(last.medium, c.choice.medium);
  if (c.choice.medium == MEDIUM_MIDI)
    EXPECT_EQ(last.midiIn, c.choice.midiIn);
  else
    EXPECT_EQ(last.comPort, c.choice.comPort);
  EXPECT_EQ(rig.searches, c.searchesSent);
  // A connection brings the card list in; idle is told once, after that,
  // or after a search that went unanswered; never for a link that did not open.
  const std::vector<CardFileRef> card{{0, "SONG1"}};
  EXPECT_EQ(rig.listed, c.failure == ConnectFailure::None ? card : std::vector<CardFileRef>{});
  EXPECT_EQ(rig.idles, c.afterConnect == ConnectionState::Searching ? 1 : 0);
  // A link test that never passes says so in its box; nothing else shows one.
  std::vector<std::string> boxes;
  for (const BoxShown& b : rig.host.boxes)
    boxes.push_back(b.text);
  EXPECT_EQ(boxes, c.failure == ConnectFailure::LinkTest ? std::vector<std::string>{"Error: MIDI device to old"}
                                                          : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Links, Connect,
    ::testing::Values(
        ConnectCase{"SerialAnswered", LinkChoice::Serial(1), 0, ConnectionState::Searching,
                    ConnectFailure::None, 1},
        ConnectCase{"SerialSilent", LinkChoice::Serial(1), NEVER, ConnectionState::Searching,
                    ConnectFailure::NoAnswer, 1},
        ConnectCase{"NothingBehindThePort", LinkChoice::Serial(2), 0, ConnectionState::Failed,
                    ConnectFailure::NoDevice, 0},
        ConnectCase{"PortRefused", LinkChoice::Serial(3), 0, ConnectionState::Failed,
                    ConnectFailure::PermissionDenied, 0},
        ConnectCase{"PortInUse", LinkChoice::Serial(4), 0, ConnectionState::Failed,
                    ConnectFailure::CannotOpen, 0},
        ConnectCase{"MidiAnswered", Midi(0, 0), 0, ConnectionState::Searching, ConnectFailure::None, 1},
        // A JACK connection made a moment ago lost the first searches: the
        // search goes again every half second until the console answers ...
        ConnectCase{"MidiAnsweredThirdTime", Midi(0, 0), 2, ConnectionState::Searching, ConnectFailure::None,
                    3},
        // ... and for three seconds at most.
        ConnectCase{"MidiSilent", Midi(0, 0), NEVER, ConnectionState::Searching, ConnectFailure::NoAnswer, 6},
        ConnectCase{"NoSuchMidiPair", Midi(1, 0), 0, ConnectionState::Failed, ConnectFailure::CannotOpen, 0},
        // Four tries again are allowed: the test passes on the last one.
        ConnectCase{"MidiLinkTestPassesOnItsLastTry", Midi(0, 0), 0, ConnectionState::Searching,
                    ConnectFailure::None, 1, 4},
        ConnectCase{"MidiLinkTestNeverPasses", Midi(0, 0), 0, ConnectionState::Searching, ConnectFailure::LinkTest,
                    1, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineFace, ARefusedPortNamesItsDeviceAndWhy)
{
  FaceRig rig(0);
  const Connection c = rig.engine->Connect(LinkChoice::Serial(4));
  EXPECT_EQ(c.device, "/dev/busy");
  EXPECT_EQ(c.openResult, SerialOpenResult::InUse);
  EXPECT_EQ(rig.engine->Connect(LinkChoice::Serial(2)).device, "");
}

// Searching again after a connection is lost: the state goes back through
// searching, and Disconnect closes it.
TEST(EngineFace, SearchAgainAndDisconnect)
{
  FaceRig rig(0);
  rig.engine->Connect(LinkChoice::Serial(1));
  rig.Run(3000);
  ASSERT_EQ(rig.engine->ConnectionNow().state, ConnectionState::Connected);
  rig.heard.clear();
  rig.engine->Search();
  rig.Run(3000);
  ASSERT_EQ(rig.heard.size(), 2u);
  EXPECT_EQ(rig.heard[0].state, ConnectionState::Searching);
  EXPECT_EQ(rig.heard[1].state, ConnectionState::Connected);
  EXPECT_EQ(rig.idles, 2);
  rig.engine->Disconnect();
  EXPECT_EQ(rig.heard.back(), Connection{});
  EXPECT_EQ(rig.line.closes, rig.line.opens);
}

// The intents that name no listener tell the observer, and ask it the
// questions: a file that exists on the PC is kept when it says No and
// replaced when it says Yes; each batch ends in one idle.
TEST(EngineFace, TheObserverHearsTheBatchAndAnswersItsQuestions)
{
  FaceRig rig(0);
  rig.engine->Connect(LinkChoice::Serial(1));
  rig.Run(3000);
  ASSERT_EQ(rig.engine->ConnectionNow().state, ConnectionState::Connected);
  EXPECT_EQ(rig.listings, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  const fs::path pc = rig.root.path() / "pc";
  fs::create_directories(pc);
  WriteFile(pc / "SONG1.kpr", {1, 2, 3});

  struct Case {
    ReplaceAnswer answer;
    FileOutcome outcome;
    Bytes after;
  };
  const Bytes song = ReadFile(rig.root.path() / "card" / "SONG1.kpr");
  int idles = rig.idles;
  for (const Case& c : {Case{ReplaceAnswer::No, FileOutcome::Skipped, {1, 2, 3}},
                        Case{ReplaceAnswer::Yes, FileOutcome::Saved, song}}) {
    rig.replace = c.answer;
    rig.ended.clear();
    ASSERT_TRUE(rig.engine->Download({{0, "SONG1"}}, pc.string()));
    rig.Run(3000);
    ASSERT_EQ(rig.ended.size(), 1u);
    EXPECT_EQ(rig.ended[0].outcome, c.outcome);
    EXPECT_EQ(ReadFile(pc / "SONG1.kpr"), c.after);
    EXPECT_EQ(rig.idles, ++idles);
  }
  EXPECT_EQ(rig.asked, (std::vector<std::string>{"SONG1.kpr", "SONG1.kpr"}));

  // Listing again by intent: every type, then the list, then idle.
  rig.listings.clear();
  rig.listed.clear();
  ASSERT_TRUE(rig.engine->ListCard());
  rig.Run(3000);
  EXPECT_EQ(rig.listings.size(), 9u);
  EXPECT_EQ(rig.listed, (std::vector<CardFileRef>{{0, "SONG1"}}));
  EXPECT_EQ(rig.idles, ++idles);
}

} // namespace
} // namespace zr::test
