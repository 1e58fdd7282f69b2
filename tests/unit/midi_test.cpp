// The MIDI link on a scripted MIDI system: opening and closing with the
// device error texts, the search step, the requests and their watchdogs,
// the two input buffers, and the link test end to end with the virtual
// console's protocol peer answering.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "link/midi.h"
#include "link/wire.h"
#include "sim/peer/console_peer.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fakes.h"
#include "engine/session.h"

namespace zr::test {
namespace {

class MidiLinkTest : public ::testing::Test {
protected:
  MidiLinkTest()
  {
    session.Midi = &midi;
    system.SetDevices(2, 2);
    session.link.MidiInDevice = 0;
    session.link.MidiOutDevice = 0;
  }

  bool HasStatus(const std::string &text) const
  {
    return std::find(host.statuses.begin(), host.statuses.end(), text) != host.statuses.end();
  }
  int BoxCount(const std::string &text) const
  {
    return static_cast<int>(std::count_if(host.boxes.begin(), host.boxes.end(),
                                          [&](const BoxShown &b) { return b.text == text; }));
  }

  FakeHost host;
  FakeTimers t;
  TestSession session{host, t.timers};
  FakeMidiSystem system;
  MidiLink midi{session, system};
};

// --- Opening, closing, the search step -------------------------------------

TEST_F(MidiLinkTest, NoDevicesEndTheSearchAfterOneFailedOpen)
{
  system.SetDevices(0, 0);
  EXPECT_FALSE(midi.StartMidiSearch());
  EXPECT_EQ(system.OpenCalls(), 1);
  EXPECT_FALSE(midi.MidiPortOpen());
  EXPECT_FALSE(midi.MidiSearching());
  EXPECT_TRUE(t.timeout.IsActive());
  EXPECT_EQ(t.timeout.Interval(), 10);
  EXPECT_TRUE(system.sent.empty());
}

TEST_F(MidiLinkTest, SecondOpenTouchesNoDevice)
{
  ASSERT_TRUE(midi.OpenMidiPort());
  const auto calls = system.calls;
  EXPECT_TRUE(midi.OpenMidiPort());
  EXPECT_EQ(system.calls, calls);
  EXPECT_EQ(midi.QueuedBufferCount(), 2u);
}

TEST_F(MidiLinkTest, OutputOpenFailureShowsCodeAndBoxForKnownCodes)
{
  struct Case {
    int code;
    const char *box; // nullptr: status text only
  };
  const Case cases[] = {
      {MIDI_ALLOCATED, "The specified resource is already allocated."},
      {MIDI_NO_DEVICE, "No MIDI port was found. This error occurs only when the mapper is opened."},
      {MIDI_BAD_DEVICE_ID, "The specified device identifier is out of range."},
      {MIDI_INVALID_PARAM, "The specified pointer or structure is invalid."},
      {MIDI_NO_MEMORY, "The system is unable to allocate or lock memory."},
      {5, nullptr},
      {1, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    host.statuses.clear();
    host.boxes.clear();
    system.calls.clear();
    system.outputOpenResults = {static_cast<MidiResult>(c.code)};
    EXPECT_FALSE(midi.OpenMidiPort());
    EXPECT_EQ(host.statuses,
              std::vector<std::string>{" ! No MIDI out device code = " + std::to_string(c.code)});
    if (c.box) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, c.box);
      EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
    } else {
      EXPECT_TRUE(host.boxes.empty());
    }
    // The input device is not tried.
    EXPECT_EQ(system.calls, std::vector<std::string>{"OpenOutput 0"});
    EXPECT_FALSE(midi.MidiPortOpen());
  }
}

TEST_F(MidiLinkTest, InputOpenFailureClosesTheOutputAgain)
{
  session.link.MidiInDevice = 1;
  system.inputOpenResults = {MIDI_ALLOCATED};
  EXPECT_FALSE(midi.OpenMidiPort());
  EXPECT_EQ(host.statuses, std::vector<std::string>{"! No MIDI in 1 device code = 4"});
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(system.calls, (std::vector<std::string>{"OpenOutput 0", "OpenInput 1", "CloseOutput"}));
  EXPECT_FALSE(system.outputOpen);
  EXPECT_EQ(midi.QueuedBufferCount(), 0u);
}

TEST_F(MidiLinkTest, SearchStepAnnouncesThePairCountingFromOne)
{
  session.link.MidiInDevice = 1;
  session.link.MidiOutDevice = 0;
  EXPECT_TRUE(midi.SearchMidiPort());
  EXPECT_EQ(host.LastStatus(), "Searching MIDI port 2->1");
  EXPECT_TRUE(midi.MidiSearching());
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0], BuildSearch());
  EXPECT_TRUE(t.timeout.IsActive());
  EXPECT_EQ(t.timeout.Interval(), 500);
  EXPECT_EQ(system.calls, (std::vector<std::string>{"OpenOutput 0", "OpenInput 1", "StartInput"}));
}

TEST_F(MidiLinkTest, FailedSearchStepLeavesSearchingAsItWas)
{
  midi.SetMidiSearching(true);
  system.outputOpenResults = {MIDI_ALLOCATED};
  EXPECT_FALSE(midi.SearchMidiPort());
  EXPECT_TRUE(midi.MidiSearching());
  EXPECT_EQ(t.timeout.Interval(), 10);
  EXPECT_TRUE(system.sent.empty());
}

TEST_F(MidiLinkTest, StartMidiSearchCountsAndBeginsAtPairZero)
{
  system.SetDevices(3, 2);
  session.link.MidiInDevice = 2;
  session.link.MidiOutDevice = 1;
  EXPECT_TRUE(midi.StartMidiSearch());
  EXPECT_EQ(midi.MidiInCount(), 3);
  EXPECT_EQ(midi.MidiOutCount(), 2);
  EXPECT_EQ(session.link.MidiInDevice, 0);
  EXPECT_EQ(session.link.MidiOutDevice, 0);
  EXPECT_EQ(host.LastStatus(), "Searching MIDI port 1->1");

  system.SetDevices(1, 0);
  EXPECT_FALSE(midi.StartMidiSearch());
}

TEST_F(MidiLinkTest, CloseErrorKeepsTheLinkOpen)
{
  ASSERT_TRUE(midi.OpenMidiPort());
  system.outputCloseResults = {MIDI_ALLOCATED};
  system.inputCloseResults = {static_cast<MidiResult>(1)};
  midi.CloseMidiPort();
  EXPECT_EQ(host.LastStatus(), "CloseMidiPort error = 5");
  EXPECT_TRUE(midi.MidiPortOpen());

  // A clean close afterwards does close it, and closing again does nothing.
  midi.CloseMidiPort();
  EXPECT_FALSE(midi.MidiPortOpen());
  const auto calls = system.calls;
  midi.CloseMidiPort();
  EXPECT_EQ(system.calls, calls);
}

TEST_F(MidiLinkTest, ListMidiDevicesLeavesOutUnreadableNames)
{
  system.inputs = {"A", std::nullopt, "C"};
  system.outputs = {std::nullopt};
  MidiDeviceLists lists = midi.ListMidiDevices();
  EXPECT_EQ(lists.inputs, (std::vector<std::string>{"A", "C"}));
  EXPECT_TRUE(lists.outputs.empty());
  EXPECT_TRUE(lists.bothPresent); // a device counts even when its name cannot be read

  system.outputs.clear();
  EXPECT_FALSE(midi.ListMidiDevices().bothPresent);
}

// --- Requests and their watchdogs ------------------------------------------

// The link only sends: the engine arms the watchdog for the answer.
TEST_F(MidiLinkTest, RequestsSendTheirMessageAndArmNothing)
{
  struct Case {
    const char *what;
    std::function<void()> call;
    Bytes message;
  };
  const Case cases[] = {
      {"block 0 of type 0", [&] { midi.RequestBlock(0, 3); }, BuildBlockRequest(0, 3)},
      {"block of the OS", [&] { midi.RequestBlock(8, 200); }, BuildBlockRequest(8, 200)},
      {"link test", [&] { midi.RequestBlock(127, 0); }, BuildBlockRequest(127, 0)},
      {"directory", [&] { midi.RequestDirectory(4); }, BuildDirectoryRequest(4)},
      {"file name", [&] { midi.SendFileName(2, "abc", false); }, BuildNameMessage(SYS_EX_FILE_NAME, 2, "abc")},
      {"file request of the OS", [&] { midi.SendFileName(8, "os", true); },
       BuildNameMessage(SYS_EX_FILE_REQUEST, 8, "os")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    t.upload.Stop();
    t.dummy.Stop();
    t.upload.SetInterval(1234);
    system.sent.clear();
    c.call();
    ASSERT_EQ(system.sent.size(), 1u);
    EXPECT_EQ(system.sent[0], c.message);
    EXPECT_FALSE(t.upload.IsActive() || t.dummy.IsActive());
    EXPECT_EQ(t.upload.Interval(), 1234);
  }
}

TEST_F(MidiLinkTest, RequestWithoutDevicesSendsNothing)
{
  system.SetDevices(0, 0);
  midi.RequestDirectory(0);
  midi.RequestBlock(1, 0);
  midi.SendFileName(1, "x", true);
  EXPECT_TRUE(system.sent.empty());
  EXPECT_FALSE(t.upload.IsActive());
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), "  No MIDI device"), 3);
}

TEST_F(MidiLinkTest, ReadyToAnswerNeedsTheInputRunning)
{
  EXPECT_TRUE(midi.ReadyToAnswer());
  system.startInputResult = MIDI_INVALID_HANDLE;
  EXPECT_FALSE(midi.ReadyToAnswer());
  EXPECT_EQ(midi.NotReadyText(), "  No MIDI device");
}

// --- Input buffers ---------------------------------------------------------

// The MIDI handler reads nothing shorter than 9 bytes, so the bare 8-byte
// search goes unanswered; a search that a driver hands over with one more
// byte is answered even while our own search is out (no loop check on MIDI).
Bytes PaddedSearch()
{
  Bytes m = BuildSearch();
  m.push_back(0x00);
  return m;
}

TEST_F(MidiLinkTest, InboundSearchIsAlwaysAnswered)
{
  ASSERT_TRUE(midi.SearchMidiPort()); // our own search is out and unanswered
  system.sent.clear();
  system.Deliver(BuildSearch());
  EXPECT_TRUE(system.sent.empty());
  system.Deliver(PaddedSearch());
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0], (Bytes{0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x00, 0x7F, 0xF7}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(midi.QueuedBufferCount(), 2u);
}

TEST_F(MidiLinkTest, MessageWithoutLeadingF0IsReadAtShiftedOffsets)
{
  ASSERT_TRUE(midi.OpenMidiPort());
  t.upload.Start();
  // A directory reply whose driver left out the F0.
  const Bytes reply = BuildDirectoryReply(3, {"VOCALS", "DRUMS"});
  system.Deliver(Bytes(reply.begin() + 1, reply.end()));
  ASSERT_EQ(host.directoryReplies.size(), 1u);
  EXPECT_EQ(host.directoryReplies[0].type, 3);
  EXPECT_EQ(host.directoryReplies[0].names, (std::vector<std::string>{"VOCALS", "DRUMS"}));
  EXPECT_TRUE(host.directoryReplies[0].sortEvery);
}

TEST_F(MidiLinkTest, LongMessageReachesTheDispatchWhole)
{
  // 9 bytes a file: 113 files need a second buffer, 300 files three
  // buffers' worth, 7280 files are the longest message taken (64 KiB).
  struct Case {
    std::size_t files;
    bool dispatched;
  };
  ASSERT_TRUE(midi.OpenMidiPort());
  for (const Case c :
       {Case{112, true}, Case{113, true}, Case{300, true}, Case{7280, true}, Case{7281, false}}) {
    SCOPED_TRACE(c.files);
    host.directoryReplies.clear();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.files; ++i)
      names.push_back("F" + std::to_string(i));
    const Bytes reply = BuildDirectoryReply(4, names);
    system.Deliver(reply);
    if (c.dispatched) {
      ASSERT_EQ(host.directoryReplies.size(), 1u);
      EXPECT_EQ(host.directoryReplies[0].names, names);
    } else {
      EXPECT_TRUE(host.directoryReplies.empty());
    }
    EXPECT_EQ(midi.QueuedBufferCount(), 2u);
  }
}

TEST_F(MidiLinkTest, CloseWhileHandlingDropsTheRestOfTheMessage)
{
  ASSERT_TRUE(midi.OpenMidiPort());
  // A search answer asks the link to send; sending closes the port, as a
  // box with a nested event loop could (the user closing the MIDI link).
  int answers = 0;
  system.onSend = [&](const Bytes &) {
    ++answers;
    midi.CloseMidiPort();
  };
  Bytes twoSearches = PaddedSearch();
  twoSearches.resize(1024 + 9, 0x00);
  const Bytes search = PaddedSearch();
  std::copy(search.begin(), search.end(), twoSearches.begin() + 1024);
  system.Deliver(twoSearches);
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(midi.MidiPortOpen());
  EXPECT_EQ(midi.QueuedBufferCount(), 0u);

  // Input that still arrives after the close finds no buffer.
  system.onSend = nullptr;
  system.Deliver(search);
  EXPECT_TRUE(system.sent.size() == 1u);
}

TEST_F(MidiLinkTest, RequeueRules)
{
  ASSERT_TRUE(midi.OpenMidiPort());
  system.Deliver(PaddedSearch());
  ASSERT_EQ(midi.QueuedBufferCount(), 2u);

  // A buffer that is not one of ours, or one without a data area, stays out.
  MidiInBuffer stranger;
  midi.Requeue(stranger);
  EXPECT_FALSE(stranger.queued);
  EXPECT_EQ(midi.QueuedBufferCount(), 2u);

  // A buffer that is already queued is not queued twice.
  midi.Requeue(const_cast<MidiInBuffer &>(midi.InBuffer(0)));
  EXPECT_EQ(midi.QueuedBufferCount(), 2u);

  // Nothing is queued on a closed port.
  midi.CloseMidiPort();
  midi.Requeue(const_cast<MidiInBuffer &>(midi.InBuffer(0)));
  EXPECT_EQ(midi.QueuedBufferCount(), 0u);
}

TEST_F(MidiLinkTest, MessagesBeforeOpenOrEmptyAreIgnored)
{
  system.Deliver(PaddedSearch());
  EXPECT_TRUE(system.sent.empty());
  ASSERT_TRUE(midi.OpenMidiPort());
  system.Deliver(nullptr, 0);
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_EQ(midi.QueuedBufferCount(), 2u);
}

// --- With the virtual console answering ------------------------------------

class MidiConsoleTest : public MidiLinkTest {
protected:
  MidiConsoleTest()
  {
    fs::create_directories(card.path());
    host.pcFolder = pc.str();
    host.onRequestCardDirectory = [this](int type) { session.RequestTypeDirectory(3, type < 0 ? 0 : type); };
    system.onSend = [this](const Bytes &m) {
      for (Bytes &answer : peer().Receive(m))
        pending.push_back(std::move(answer));
    };
  }

  sim::ConsolePeer &peer()
  {
    if (!peer_) {
      options.cardDir = card.path();
      options.internalDir = internal.path();
      peer_ = std::make_unique<sim::ConsolePeer>(options);
    }
    return *peer_;
  }

  // Delivers the console's answers, one message per event, until it is quiet.
  void Pump()
  {
    for (int guard = 0; !pending.empty() && guard < 10000; ++guard) {
      const Bytes m = std::move(pending.front());
      pending.pop_front();
      system.Deliver(m);
    }
  }

  void Connect()
  {
    ASSERT_TRUE(midi.SearchMidiPort());
    Pump();
  }

  TempFolder card, internal, pc;
  sim::PeerOptions options;
  std::unique_ptr<sim::ConsolePeer> peer_;
  std::deque<Bytes> pending;
};

TEST_F(MidiConsoleTest, GoodTestAnswerConnectsAndListsFromTypeZero)
{
  WriteFile(card.path() / "SONG1.kpr", RandomBytes(100, 1));
  Connect();
  EXPECT_FALSE(t.timeout.IsActive());
  EXPECT_EQ(session.link.CommMedium, 3);
  EXPECT_TRUE(HasStatus("Testing MIDI connection..."));
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
  ASSERT_FALSE(host.directoryReplies.empty());
  EXPECT_EQ(host.directoryReplies[0].type, 0);
  EXPECT_EQ(host.directoryReplies[0].names, std::vector<std::string>{"SONG1"});
  EXPECT_FALSE(t.dummy.IsActive());
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(MidiConsoleTest, FiveBadTestAnswersGiveOneBoxAfterTheFifth)
{
  options.corruptBlocks[0] = 5;
  Connect();
  const std::vector<Bytes> requests = [&] {
    std::vector<Bytes> r;
    for (const Bytes &m : system.sent)
      if (m == BuildBlockRequest(127, 0))
        r.push_back(m);
    return r;
  }();
  EXPECT_EQ(requests.size(), 5u);
  EXPECT_EQ(BoxCount("Error: MIDI device to old"), 1);
  EXPECT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(session.link.CommMedium, 0);
  EXPECT_TRUE(midi.MidiPortOpen());
}

TEST_F(MidiConsoleTest, FourBadTestAnswersStillConnect)
{
  options.corruptBlocks[0] = 4;
  Connect();
  EXPECT_EQ(session.link.CommMedium, 3);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(MidiConsoleTest, OtherModelConnectsWithoutTest)
{
  options.model = 0x0C;
  Connect();
  EXPECT_EQ(host.LastStatus(), "Connected thru MIDI");
  EXPECT_EQ(session.link.CommMedium, 0);
  EXPECT_TRUE(host.cardDirectoryCalls.empty());
  EXPECT_FALSE(t.dummy.IsActive());
}

TEST_F(MidiConsoleTest, DownloadThenLinkTestStillAcceptsBlockZero)
{
  const Bytes file = RandomBytes(2500, 7); // three blocks
  WriteFile(card.path() / "MIX1.kch", file);
  Connect();
  ASSERT_EQ(session.link.CommMedium, 3);

  host.cardSelected = 1;
  session.batch.FileNr = 1;
  session.RequestCardFile(3, 1, "MIX1", host.pcFolder);
  Pump();
  EXPECT_EQ(ReadFile(pc.path() / "MIX1.kch"), file);
  EXPECT_EQ(session.RxTransfer.BlockNr, 2u);

  // A new search (a reconnect) runs the link test again: its block 0 is
  // taken although RxTransfer last expected block 2.
  session.link.CommMedium = 0;
  host.cardDirectoryCalls.clear();
  Connect();
  EXPECT_EQ(session.link.CommMedium, 3);
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
}

} // namespace
} // namespace zr::test
