// The search for the console and the watchdogs, on a manual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/fakes.h"
#include "engine/connection_control.h"
#include "engine/session.h"

namespace zr {
namespace {

using test::FakeHost;
using test::FakeTimers;
using test::TestSession;

// The MIDI link's search as the control sees it: a step opens the pair
// unless the test marks it broken, announces it, and arms the time-out.
class FakeSearchLinks : public SearchLinks {
public:
  explicit FakeSearchLinks(Session& s) : session(s) {}

  void CloseComPort() override { log.push_back("CloseComPort"); }
  void SearchComPort() override
  {
    log.push_back("SearchComPort");
    session.timers.TimeoutTimer.Start();
  }
  void CloseMidiPort() override { log.push_back("CloseMidiPort"); }
  bool StartMidiSearch() override
  {
    inCount = devicesIn;
    outCount = devicesOut;
    session.link.MidiInDevice = 0;
    session.link.MidiOutDevice = 0;
    SearchMidiPort();
    return inCount > 0 && outCount > 0;
  }
  bool SearchMidiPort() override
  {
    const int in = session.link.MidiInDevice, out = session.link.MidiOutDevice;
    const bool opens = in >= 0 && out >= 0 && in < devicesIn && out < devicesOut && !broken.count({in, out});
    Timer& timer = session.timers.TimeoutTimer;
    if (!opens) {
      timer.SetInterval(10);
      timer.Start();
      return false;
    }
    visited.emplace_back(in, out);
    session.ShowStatus({TextId::SearchingMidiPort, in + 1, out + 1});
    searching = true;
    timer.SetInterval(500);
    timer.Start();
    return true;
  }
  bool MidiSearching() const override { return searching; }
  void SetMidiSearching(bool s) override { searching = s; }
  int MidiInCount() const override { return inCount; }
  int MidiOutCount() const override { return outCount; }

  Session& session;
  int devicesIn = 0, devicesOut = 0;
  int inCount = 0, outCount = 0;
  bool searching = false;
  std::set<std::pair<int, int>> broken;
  std::vector<std::pair<int, int>> visited; // (input, output) of every pair that opened
  std::vector<std::string> log;
};

class FakeWindow : public ConnectionWindow {
public:
  bool ComportChecked() const override { return !midiChecked; }
  bool MidiChecked() const override { return midiChecked; }
  void CheckComport() override { midiChecked = false; }
  void CheckMidi() override { midiChecked = true; }
  int PortType() const override { return portType; }
  void SetPortType(int t) override { portType = t; }
  void PortSetupClick() override
  {
    ++portSetupShown;
    if (onPortSetup)
      onPortSetup();
  }
  void CancelTransfer() override { ++cancels; }

  bool midiChecked = true; // the window's state at creation
  int portType = PORT_TYPE_COM;
  int portSetupShown = 0;
  int cancels = 0;
  std::function<void()> onPortSetup;
};

class ConnectionControlTest : public ::testing::Test {
protected:
  ConnectionControlTest() : session(host, timers.timers), links(session), control(session, links, window)
  {
    timers.timeout.SetHandler([this] { control.SearchOverdue(); });
    timers.upload.SetHandler([this] { control.AnswerOverdue(); });
    timers.download.SetHandler([this] { control.SendOverdue(); });
    timers.dummy.SetHandler([this] { control.LinkTestOverdue(); });
  }

  // Chooses MIDI in the menu and starts the scan from pair 0, 0.
  void ScanFromMenu(int in, int out)
  {
    links.devicesIn = in;
    links.devicesOut = out;
    window.portType = PORT_TYPE_MIDI;
    window.midiChecked = true;
    control.Search();
  }
  std::vector<std::string> BoxTexts() const
  {
    std::vector<std::string> texts;
    for (const auto& b : host.boxes)
      texts.push_back(b.text);
    return texts;
  }

  FakeHost host;
  FakeTimers timers;
  TestSession session;
  FakeSearchLinks links;
  FakeWindow window;
  ConnectionControl control;
};

struct DeviceCounts {
  int in, out;
};

class PairStepping : public ConnectionControlTest, public ::testing::WithParamInterface<DeviceCounts> {};

// Every output is tried with each input in turn, 500 ms a pair; the first
// failed scan runs the Search command once more, the second gives up.
TEST_P(PairStepping, VisitsInputsPerOutputThenRetriesOnceThenGivesUp)
{
  const auto [in, out] = GetParam();
  ScanFromMenu(in, out);
  std::vector<std::pair<int, int>> scan;
  for (int o = 0; o < out; ++o)
    for (int i = 0; i < in; ++i)
      scan.emplace_back(i, o);

  timers.clock.Advance(500 * (in * out + 1) - 1);
  EXPECT_EQ(links.visited, scan);
  EXPECT_TRUE(host.boxes.empty());

  // The time-out after the last pair searches again from pair 0, 0 ...
  timers.clock.Advance(1);
  ASSERT_EQ(links.visited.size(), scan.size() + 1);
  EXPECT_FALSE(control.SearchRetryPending);

  // ... and when that scan fails too, the user hears of it.
  timers.clock.Advance(500 * (in * out + 1));
  auto expected = scan;
  expected.insert(expected.end(), scan.begin(), scan.end());
  EXPECT_EQ(links.visited, expected);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Could not connect to ZR4812.\nCheck connection."});
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::AbortRetry);
  EXPECT_EQ(host.LastStatus(), "Check connection.");
  EXPECT_EQ(session.link.MidiInDevice, 0);
  EXPECT_EQ(session.link.MidiOutDevice, 0);
  EXPECT_FALSE(timers.timeout.IsActive());
}

INSTANTIATE_TEST_SUITE_P(Counts, PairStepping,
                         ::testing::Values(DeviceCounts{2, 2}, DeviceCounts{1, 1}, DeviceCounts{3, 1},
                                           DeviceCounts{1, 3}));

TEST_F(ConnectionControlTest, SearchBeforeDevicesWereCountedOnlyRestartsThenScans)
{
  // A search from the settings or the port setup dialog: nothing counted yet.
  links.devicesIn = links.devicesOut = 2;
  window.portType = PORT_TYPE_MIDI;
  session.link.MidiInDevice = 1;
  session.link.MidiOutDevice = 0;
  links.SearchMidiPort();
  timers.clock.Advance(500);
  EXPECT_EQ(links.visited.size(), 1u) << "the first time-out only restarts the timer";
  EXPECT_TRUE(timers.timeout.IsActive());
  timers.clock.Advance(500);
  ASSERT_EQ(links.visited.size(), 2u) << "the second runs the Search command";
  EXPECT_EQ(links.visited[1], std::make_pair(0, 0));
}

TEST_F(ConnectionControlTest, PairThatDoesNotOpenEndsTheSteppingAtOnce)
{
  links.broken.insert({1, 0});
  ScanFromMenu(2, 2);
  control.SearchRetryPending = false;
  timers.clock.Advance(500);
  EXPECT_EQ(timers.timeout.Interval(), 10);
  timers.clock.Advance(10);
  EXPECT_EQ(links.visited, (std::vector<std::pair<int, int>>{{0, 0}}));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Could not connect to ZR4812.\nCheck connection."});
}

TEST_F(ConnectionControlTest, RetryInTheFailureBoxScansAgain)
{
  ScanFromMenu(1, 1);
  control.SearchRetryPending = false;
  host.answers = {BoxAnswer::Retry};
  timers.clock.Advance(1000);
  EXPECT_EQ(links.visited.size(), 2u);
  EXPECT_NE(host.LastStatus(), "Check connection.");
  EXPECT_TRUE(timers.timeout.IsActive());
}

// The same box answered later, as a front end whose box does not block:
// nothing is searched meanwhile, and Retry then scans again.
TEST_F(ConnectionControlTest, TheFailureBoxAnsweredLaterRetriesThen)
{
  ScanFromMenu(1, 1);
  control.SearchRetryPending = false;
  host.boxLater = true;
  timers.clock.Advance(1000);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Could not connect to ZR4812.\nCheck connection."});
  timers.clock.Advance(5000);
  EXPECT_EQ(links.visited.size(), 1u);
  EXPECT_FALSE(timers.timeout.IsActive());
  host.lateBoxes.at(0).reply(BoxAnswer::Retry);
  EXPECT_EQ(links.visited.size(), 2u);
  EXPECT_TRUE(timers.timeout.IsActive());
}

TEST_F(ConnectionControlTest, SerialTimeOutWithComCheckedAsksForThePortOnce)
{
  // A serial search started from the settings: the check mark is on "&Com port".
  window.midiChecked = false;
  window.portType = PORT_TYPE_COM;
  timers.timeout.Start();
  timers.clock.Advance(1500);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Search not supported for Com ports\nPlease select.."});
  EXPECT_EQ(host.boxes[0].icon, BoxIcon::None);
  EXPECT_EQ(window.portSetupShown, 1);
  EXPECT_TRUE(links.visited.empty());

  // The user picked the serial port again; it does not answer either.
  timers.timeout.Start();
  timers.clock.Advance(1500);
  EXPECT_EQ(host.boxes.back().text, "Could not connect to ZR4812.\nCheck connection.");
  EXPECT_EQ(window.portSetupShown, 1);
}

TEST_F(ConnectionControlTest, ChoosingMidiInTheDialogReplacesItsSearchWithAScan)
{
  window.midiChecked = false;
  links.devicesIn = links.devicesOut = 2;
  window.onPortSetup = [&] {
    // The dialog's Ok on pair 2, 2 with "Midi" moves the check mark.
    window.midiChecked = true;
    window.portType = PORT_TYPE_MIDI;
    session.link.MidiInDevice = session.link.MidiOutDevice = 1;
    links.SearchMidiPort();
  };
  control.Search();
  EXPECT_EQ(links.visited, (std::vector<std::pair<int, int>>{{1, 1}, {0, 0}}));
}

struct MenuCase {
  const char* name;
  bool midi;          // which item is clicked
  bool searching;     // TimeoutTimer running
  int searchesAfter;  // MIDI scans started
  const char* closed; // the link closed, or ""
};

class MenuClick : public ConnectionControlTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuClick, MovesTheMarkAndRestartsOnlyARunningSearch)
{
  const MenuCase& c = GetParam();
  links.devicesIn = links.devicesOut = 1;
  window.midiChecked = !c.midi;
  window.portType = c.midi ? PORT_TYPE_COM : PORT_TYPE_MIDI;
  session.link.CommMedium = 3;
  if (c.searching)
    timers.timeout.Start();
  if (c.midi)
    control.MidiClick();
  else
    control.ComportClick();

  EXPECT_EQ(window.midiChecked, c.midi);
  EXPECT_EQ(window.portType, c.midi ? PORT_TYPE_MIDI : PORT_TYPE_COM);
  EXPECT_EQ(static_cast<int>(links.visited.size()), c.searchesAfter);
  EXPECT_EQ(session.link.CommMedium, 3);
  if (*c.closed) {
    ASSERT_FALSE(links.log.empty());
    EXPECT_EQ(links.log.front(), c.closed);
  } else {
    EXPECT_TRUE(links.log.empty());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(window.portSetupShown, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuClick,
    ::testing::Values(MenuCase{"MidiWhileConnected", true, false, 0, ""},
                      MenuCase{"ComWhileConnected", false, false, 0, ""},
                      MenuCase{"MidiWhileSearching", true, true, 1, "CloseComPort"},
                      // Switching to COM during a search closes MIDI and asks for the port.
                      MenuCase{"ComWhileSearching", false, true, 0, "CloseMidiPort"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionControlTest, ComClickDuringAScanStopsTheStepping)
{
  ScanFromMenu(2, 2);
  control.ComportClick();
  EXPECT_FALSE(links.searching);
  EXPECT_EQ(window.portSetupShown, 1);
  timers.clock.Advance(5000);
  EXPECT_EQ(links.visited.size(), 1u);
}

struct WatchdogCase {
  const char* name;
  bool download; // else upload
  BoxAnswer answer;
  const char* text;
  int cancels;
  bool searched;
};

class Watchdog : public ConnectionControlTest, public ::testing::WithParamInterface<WatchdogCase> {};

TEST_P(Watchdog, AbortReportsRetrySearches)
{
  const WatchdogCase& c = GetParam();
  links.devicesIn = links.devicesOut = 1;
  host.answers = {c.answer};
  Timer& timer = c.download ? session.timers.DownloadTimer : session.timers.UploadTimer;
  timer.Start();
  timers.clock.Advance(timer.Interval());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, c.text);
  EXPECT_EQ(host.boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::AbortRetry);
  EXPECT_FALSE(timer.IsActive());
  EXPECT_EQ(window.cancels, c.cancels);
  EXPECT_EQ(!links.visited.empty(), c.searched);
  EXPECT_EQ(host.LastStatus() == "Check connection.", !c.searched);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Watchdog,
    ::testing::Values(WatchdogCase{"UploadAbort", false, BoxAnswer::Abort,
                                   "No response from ZR4812 !!\nCheck connection.", 0, false},
                      WatchdogCase{"UploadClosed", false, BoxAnswer::Closed,
                                   "No response from ZR4812 !!\nCheck connection.", 0, false},
                      WatchdogCase{"UploadRetry", false, BoxAnswer::Retry,
                                   "No response from ZR4812 !!\nCheck connection.", 0, true},
                      WatchdogCase{"DownloadAbort", true, BoxAnswer::Abort,
                                   "!! File sending not completed !!\nCheck connection.", 1, false},
                      WatchdogCase{"DownloadRetry", true, BoxAnswer::Retry,
                                   "!! File sending not completed !!\nCheck connection.", 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionControlTest, LinkTestWithoutAnswerClosesMidiAfterTheBox)
{
  session.ShowStatus({TextId::TestingMidi});
  timers.dummy.Start();
  timers.clock.Advance(5000);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{"MIDI device to old."});
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(links.log, std::vector<std::string>{"CloseMidiPort"});
  EXPECT_EQ(host.LastStatus(), "Testing MIDI connection...");
}

// A serial search after a MIDI step that could not open its pair (10 ms)
// waits its own 1500 ms, not the step's interval.
TEST_F(ConnectionControlTest, SerialSearchAfterAMidiStepWaitsItsOwnTime)
{
  links.broken.insert({0, 0});
  ScanFromMenu(1, 1);
  ASSERT_EQ(timers.timeout.Interval(), 10);
  timers.timeout.Stop();
  window.midiChecked = false;
  control.SearchComPort();
  EXPECT_EQ(links.log.back(), "SearchComPort");
  EXPECT_EQ(timers.timeout.Interval(), SERIAL_SEARCH_MS);
  timers.clock.Advance(SERIAL_SEARCH_MS - 1);
  EXPECT_TRUE(host.boxes.empty());
}

// The window is created with the mark on "&Midi" and the dialog on "Com
// port": aligned, a Search steps through every pair, not pair 1->1 alone.
TEST_F(ConnectionControlTest, AlignedPortTypeLetsTheFirstRunSearchStepThroughPairs)
{
  links.devicesIn = links.devicesOut = 2;
  ASSERT_EQ(window.portType, PORT_TYPE_COM);
  control.AlignPortType();
  EXPECT_EQ(window.portType, PORT_TYPE_MIDI);
  control.Search();
  timers.clock.Advance(500 * 4);
  EXPECT_EQ(links.visited, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
}

TEST_F(ConnectionControlTest, OpeningThePortSetupStopsTheSearchAndTheWatchdogs)
{
  ScanFromMenu(2, 2);
  for (Timer* t : {&session.timers.UploadTimer, &session.timers.DownloadTimer, &session.timers.DummyTimer})
    t->Start();
  control.PortSetupOpening();
  timers.clock.Advance(30000);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(links.visited.size(), 1u);
  EXPECT_FALSE(links.searching);
}

// The console answers while "Could not connect" waits: Abort keeps the
// connection's status and the pair that answered (the last one, left open).
// A transfer that the console carries on while the watchdog's box is open
// has recovered: Abort then cancels nothing.
TEST_F(ConnectionControlTest, AnAnswerUnderAWatchdogsBoxWins)
{
  host.answers = {BoxAnswer::Abort};
  host.onBox = [&](const test::BoxShown&) { ++session.Answers; };
  session.timers.DownloadTimer.Start();
  timers.clock.Advance(session.timers.DownloadTimer.Interval());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(window.cancels, 0);
  EXPECT_NE(host.LastStatus(), "Check connection.");
}

TEST_F(ConnectionControlTest, AnAnswerUnderTheFailureBoxWins)
{
  ScanFromMenu(2, 3);
  control.SearchRetryPending = false;
  host.onBox = [&](const test::BoxShown&) {
    session.ShowStatus({TextId::ConnectedMidi});
    control.SearchAnswered();
  };
  timers.clock.Advance(500 * 7);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Could not connect to ZR4812.\nCheck connection."});
  EXPECT_EQ(host.LastStatus(), "Connected thru MIDI");
  EXPECT_EQ(session.link.MidiInDevice, 1);
  EXPECT_EQ(session.link.MidiOutDevice, 2);
}

// An answer counts for the search step it answers: one that came before
// the scan stepped on does not keep the failure box from reporting.
TEST_F(ConnectionControlTest, AnAnswerBeforeTheLastStepDoesNotCount)
{
  ScanFromMenu(2, 3);
  control.SearchRetryPending = false;
  control.SearchAnswered();
  timers.clock.Advance(500 * 7);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Could not connect to ZR4812.\nCheck connection."});
  EXPECT_EQ(host.LastStatus(), "Check connection.");
  EXPECT_EQ(session.link.MidiInDevice, 0);
  EXPECT_EQ(session.link.MidiOutDevice, 0);
}

} // namespace
} // namespace zr
