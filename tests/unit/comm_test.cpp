// The serial link against a scripted line: framing of what the console
// sends, opening and probing ports, and the requests with their timers.
#include <gtest/gtest.h>

#include "link/com_ports.h"
#include "link/comm.h"
#include "tests/support/fake_serial.h"
#include "tests/support/fakes.h"
#include "engine/session.h"

namespace zr::test {
namespace {

// The default devices of COM ports, as the system names them.
#if defined(_WIN32)
constexpr bool kWindows = true;
const std::pair<int, const char*> kDefaultPorts[] = {{1, "COM1"},        {9, "COM9"}, {10, "\\\\.\\COM10"},
                                                     {16, "\\\\.\\COM16"}, {0, ""},     {17, ""}};
#else
constexpr bool kWindows = false;
const std::pair<int, const char*> kDefaultPorts[] = {
    {1, "/dev/ttyS0"},   {4, "/dev/ttyS3"},   {5, "/dev/ttyUSB0"}, {8, "/dev/ttyUSB3"}, {9, "/dev/ttyACM0"},
    {12, "/dev/ttyACM3"}, {13, ""},           {16, ""},            {0, ""},             {17, ""}};
#endif

std::string FakePath(int port)
{
  return "/dev/fake" + std::to_string(port);
}

class ComLinkTest : public ::testing::Test {
protected:
  ComLinkTest()
  {
    line.devices[FakePath(3)] = SerialOpenResult::Ok;
    line.clock = &t.clock;
    session.Com = &com;
    session.link.ComPortNumber = 3;
    // CommTimer as the main window runs it.
    t.comm.SetHandler([this] { com.ComReadAndDispatch(); });
    session.Clock = [this] { return t.clock.now; };
  }
  int Dispatched() const { return static_cast<int>(host.directoryReplies.size()); }

  FakeHost host;
  FakeTimers t;
  TestSession session{host, t.timers};
  FakeSerialLine line;
  ComLink com{session, line.Factory(), [](int n) { return FakePath(n); }};
};

// A directory reply with one entry: any frame would do, this one is easy to see arrive.
const Bytes kFrame = BuildDirectoryReply(2, {"MIX1"});

Bytes Concat(std::initializer_list<Bytes> parts)
{
  Bytes all;
  for (const Bytes& p : parts)
    all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t to)
{
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
}

// A directory reply of `n` bytes in all (at least 9).
Bytes ReplyOfLength(std::size_t n)
{
  Bytes m = BuildDirectoryReply(2, {});
  m.insert(m.end() - 1, n - m.size(), 'A');
  return m;
}

struct FramingCase {
  const char* name;
  std::vector<std::pair<long long, Bytes>> arrivals; // (ms from the open, bytes)
  int dispatched;
  int boxes;
};

class ComFraming : public ComLinkTest, public ::testing::WithParamInterface<FramingCase> {};

TEST_P(ComFraming, AsTheBytesArrive)
{
  const FramingCase& c = GetParam();
  ASSERT_TRUE(com.OpenComPort());
  for (const auto& [at, bytes] : c.arrivals)
    line.Arrive(bytes, at);
  line.Run(30000);
  EXPECT_EQ(Dispatched(), c.dispatched);
  ASSERT_EQ(static_cast<int>(host.boxes.size()), c.boxes);
  for (const BoxShown& box : host.boxes) {
    EXPECT_EQ(box.text, "Read comm error: no block bounds.");
    EXPECT_EQ(box.icon, BoxIcon::Error);
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
  }
  EXPECT_EQ(line.Unread(), 0u);
  EXPECT_EQ(com.PartialFrameLength(), 0u);
  EXPECT_LE(line.largestRead, COM_READ_CHUNK);
}

const Bytes kUnended = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x10};
Bytes Flood(std::size_t n)
{
  Bytes b(n, 0x01);
  b[0] = 0xF0;
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComFraming,
    ::testing::Values(
        FramingCase{"WholeFrame", {{0, kFrame}}, 1, 0},
        FramingCase{
            "ThreePiecesOver30ms",
            {{0, Slice(kFrame, 0, 5)}, {15, Slice(kFrame, 5, 12)}, {30, Slice(kFrame, 12, kFrame.size())}},
            1,
            0},
        FramingCase{"TwoLeadingFF", {{0, Concat({{0xFF, 0xFF}, kFrame})}}, 1, 0},
        // No byte inside a message is F0: one ends whatever came before it.
        FramingCase{"BadFirstByte", {{0, Concat({{0x00}, kFrame})}}, 1, 1},
        FramingCase{"BadByteAfterFF", {{0, Concat({{0xFF, 0xFE}, kFrame})}}, 1, 1},
        FramingCase{"MessageWithoutEndThenFrame", {{0, kUnended}, {100, kFrame}}, 1, 1},
        FramingCase{"OnlyFFThenEnd", {{0, {0xFF, 0xFF, 0xF7}}}, 0, 1},
        FramingCase{
            "ForeignManufacturer", {{0, {0xF0, 0x00, 0x7F, 0x34, 0x20, 0x0B, 0x11, 0x02, 0xF7}}}, 0, 0},
        // Two messages in one read are two frames, also when the second is cut.
        FramingCase{"TwoMessagesOneRead", {{0, Concat({kFrame, BuildDirectoryReply(3, {})})}}, 2, 0},
        FramingCase{"SecondMessageCut",
                    {{0, Concat({{0xFF}, kFrame, {0xFF}, Slice(kFrame, 0, 6)})},
                     {2000, Slice(kFrame, 6, kFrame.size())}},
                    2,
                    0},
        FramingCase{"FrameThenGarbageThenFrame", {{0, Concat({kFrame, {0x01, 0xF7}, kFrame})}}, 2, 1},
        // Line noise: one box per burst, the rest on the status line.
        FramingCase{"NoiseBurstGivesOneBox", {{0, {0x01, 0xF7, 0x02, 0xF7}}, {500, {0x03, 0xF7}}}, 0, 1},
        FramingCase{"TwoBurstsTwoBoxes", {{0, {0x01, 0xF7, 0x02, 0xF7}}, {5000, {0x03, 0xF7}}}, 0, 2},
        // Long messages are no errors, up to 64 KiB.
        FramingCase{"LongestMessage", {{0, ReplyOfLength(COM_MAX_MESSAGE)}}, 1, 0},
        // Longer: one box, the rest of it up to its end byte is skipped, the next frame counts.
        FramingCase{
            "OverlongMessageThenFrame", {{0, Concat({ReplyOfLength(COM_MAX_MESSAGE + 1), kFrame})}}, 1, 1},
        FramingCase{"FloodThenSilence", {{0, Flood(COM_MAX_MESSAGE + 100)}}, 0, 1},
        FramingCase{"SilenceThenDropped", {{0, kUnended}}, 0, 0},
        // The silence restarts with every byte that comes.
        FramingCase{
            "RestJustInTime",
            {{0, Slice(kFrame, 0, 4)}, {5000, Slice(kFrame, 4, 6)}, {14990, Slice(kFrame, 6, kFrame.size())}},
            1,
            0},
        // The start was dropped: the rest alone has no F0.
        FramingCase{
            "RestTooLate", {{0, Slice(kFrame, 0, 4)}, {10060, Slice(kFrame, 4, kFrame.size())}}, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComLinkTest, FrameIsDispatchedWhenItsEndArrivesNotAtThePoll)
{
  ASSERT_TRUE(com.OpenComPort());
  line.Arrive(Slice(kFrame, 0, 5), 10);
  line.Arrive(Slice(kFrame, 5, kFrame.size()), 30);
  line.Run(29);
  EXPECT_EQ(Dispatched(), 0);
  EXPECT_EQ(com.PartialFrameLength(), 5u);
  line.Run(1); // CommTimer's first tick is 20 ms away
  EXPECT_EQ(Dispatched(), 1);
  EXPECT_EQ(line.notices, 2);
}

TEST_F(ComLinkTest, PartialFrameIsDroppedAfter10sOfSilence)
{
  ASSERT_TRUE(com.OpenComPort());
  line.Arrive(kUnended, 10);
  line.Run(COM_FRAME_SILENCE_MS); // 9990 ms without a byte
  EXPECT_EQ(com.PartialFrameLength(), kUnended.size());
  line.Run(50);
  EXPECT_EQ(com.PartialFrameLength(), 0u);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(host.statuses.empty());
  // The next frame starts afresh.
  line.Arrive(kFrame);
  line.Run(0);
  EXPECT_EQ(Dispatched(), 1);
}

TEST_F(ComLinkTest, PollAloneStillReads)
{
  ASSERT_TRUE(com.OpenComPort());
  line.readyRead = nullptr; // a port that never tells
  line.Arrive(kFrame);
  line.Run(49);
  EXPECT_EQ(Dispatched(), 0);
  line.Run(1);
  EXPECT_EQ(Dispatched(), 1);
}

TEST_F(ComLinkTest, CloseDuringABoxDropsWhatCameBeforeIt)
{
  ASSERT_TRUE(com.OpenComPort());
  // The box's event loop lets the user close the port; the frame after the
  // bad one was read before the close and is not dispatched after it.
  host.onBox = [this](const BoxShown&) { com.CloseComPort(); };
  line.Arrive(Concat({{0x00, 0xF7}, kFrame, Slice(kFrame, 0, 3)}));
  line.Run(0);
  EXPECT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(Dispatched(), 0);
  host.onBox = nullptr;
  ASSERT_TRUE(com.OpenComPort());
  EXPECT_EQ(com.PartialFrameLength(), 0u);
  line.Arrive(kFrame);
  line.Run(0);
  EXPECT_EQ(Dispatched(), 1);
}

TEST_F(ComLinkTest, ClosedLinkReadsNothing)
{
  line.Arrive(kFrame);
  com.ComReadAndDispatch();
  EXPECT_EQ(line.Unread(), kFrame.size());
  EXPECT_EQ(Dispatched(), 0);
}

TEST_F(ComLinkTest, ProbeListsThePortsThatOpen)
{
  line.devices[FakePath(3)] = SerialOpenResult::InUse;
  line.devices[FakePath(12)] = SerialOpenResult::Ok;
  line.devices[FakePath(5)] = SerialOpenResult::PermissionDenied;
  const std::vector<int> ports = com.ProbeComPorts();
  EXPECT_EQ(ports, std::vector<int>{12});
  EXPECT_EQ(ComPortItemText(ports[0]), "COM Port 12");
  EXPECT_EQ(host.statuses, std::vector<std::string>{"Looking for COM ports .."});
  EXPECT_EQ(line.openAttempts.size(), 16u);
  EXPECT_EQ(line.opens, line.closes); // every probe handle is closed again
  EXPECT_FALSE(com.ComPortOpen());
  EXPECT_FALSE(t.comm.IsActive());
}

TEST_F(ComLinkTest, ProbeSkipsPortsWithoutDeviceAndKeepsOurOwnPort)
{
  ComLink sparse{session, line.Factory(), MakeComPortPaths({{3, FakePath(3)}, {4, ""}})};
  session.Com = &sparse;
  ASSERT_TRUE(sparse.OpenComPort());
  line.openAttempts.clear();
  // Port 3 is ours (open) and 4 hidden; every other port with a default
  // device is tried, and none of them exists here. Linux has none for
  // 13-16 (10 tries), Windows names every COMn itself (14 tries).
  const std::vector<int> ports = sparse.ProbeComPorts();
  EXPECT_EQ(ports, std::vector<int>{3});
  std::size_t defaults = 0;
  for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n)
    defaults += n != 3 && n != 4 && !DefaultComPortPath(n).empty();
  EXPECT_EQ(defaults, kWindows ? 14u : 10u);
  EXPECT_EQ(line.openAttempts.size(), defaults);
  EXPECT_TRUE(sparse.ComPortOpen());
}

TEST_F(ComLinkTest, OpenSetsUpOnceAndStartsThePoll)
{
  EXPECT_TRUE(com.OpenComPort());
  EXPECT_TRUE(com.ComPortOpen());
  EXPECT_TRUE(t.comm.IsActive());
  EXPECT_EQ(session.link.ConnectedComPort, 3);
  EXPECT_EQ(com.LastOpenResult(), SerialOpenResult::Ok);
  // Opening an open link touches nothing.
  const int starts = t.comm.starts;
  EXPECT_TRUE(com.OpenComPort());
  EXPECT_EQ(line.openAttempts.size(), 1u);
  EXPECT_EQ(t.comm.starts, starts);
}

TEST_F(ComLinkTest, OpenFailureSaysWhy)
{
  struct Case {
    int port;
    SerialOpenResult device;
    SerialOpenResult expected;
  };
  for (const Case& c : {Case{3, SerialOpenResult::PermissionDenied, SerialOpenResult::PermissionDenied},
                        Case{3, SerialOpenResult::InUse, SerialOpenResult::InUse},
                        Case{3, SerialOpenResult::SetupFailed, SerialOpenResult::SetupFailed},
                        Case{7, SerialOpenResult::Ok, SerialOpenResult::NotFound}}) {
    line.devices[FakePath(3)] = c.device;
    session.link.ComPortNumber = c.port;
    session.link.ConnectedComPort = 1;
    EXPECT_FALSE(com.OpenComPort());
    EXPECT_EQ(com.LastOpenResult(), c.expected);
    EXPECT_EQ(com.LastOpenPath(), FakePath(c.port));
    EXPECT_FALSE(t.comm.IsActive());
    EXPECT_EQ(session.link.ConnectedComPort, 1);
  }
  EXPECT_TRUE(host.statuses.empty()); // the callers report it
  EXPECT_STREQ(SerialOpenResultText(SerialOpenResult::PermissionDenied), "permission denied");
}

TEST_F(ComLinkTest, NoPortNumberOpensNothing)
{
  session.link.ComPortNumber = 0;
  EXPECT_FALSE(com.OpenComPort());
  EXPECT_TRUE(line.openAttempts.empty());
}

TEST_F(ComLinkTest, CloseReleasesThePort)
{
  com.CloseComPort(); // closed already: nothing at all
  EXPECT_TRUE(host.statuses.empty());
  ASSERT_TRUE(com.OpenComPort());
  com.CloseComPort();
  EXPECT_EQ(host.LastStatus(), "Closing COM port.");
  EXPECT_FALSE(com.ComPortOpen());
  EXPECT_FALSE(t.comm.IsActive());
  EXPECT_EQ(line.closes, 1);
  // And it opens again.
  EXPECT_TRUE(com.OpenComPort());
}

TEST_F(ComLinkTest, UnpluggedAdapterIsFoundAgain)
{
  ASSERT_TRUE(com.OpenComPort());
  line.unplugged = true;
  line.Arrive(kFrame);
  com.ComReadAndDispatch();
  EXPECT_EQ(Dispatched(), 0);
  com.ComRequestDirectory(0);
  EXPECT_EQ(host.LastStatus(), "  No serial device");
  EXPECT_FALSE(t.comm.IsActive());
  line.unplugged = false;
  com.ComRequestDirectory(0);
  EXPECT_EQ(line.opens, 2);
  ASSERT_EQ(line.writes.size(), 1u);
  EXPECT_EQ(line.writes[0], BuildDirectoryRequest(0));
  EXPECT_TRUE(t.comm.IsActive());
}

TEST_F(ComLinkTest, SearchSendsAndArmsTheTimeoutAsItIs)
{
  t.timeout.SetInterval(10); // a MIDI step left it short: the serial search keeps it
  com.SearchComPort();
  EXPECT_EQ(host.LastStatus(), "Searching ZR4812.");
  ASSERT_EQ(line.writes.size(), 1u);
  EXPECT_EQ(line.writes[0], (Bytes{0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x40, 0xF7}));
  EXPECT_TRUE(t.timeout.IsActive());
  EXPECT_EQ(t.timeout.Interval(), 10);
  EXPECT_TRUE(com.ComSearching);
}

TEST_F(ComLinkTest, SearchOnMissingPortShowsNothing)
{
  session.link.ComPortNumber = 9;
  com.SearchComPort();
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_FALSE(t.timeout.IsActive());
  EXPECT_FALSE(com.ComSearching);
}

struct RequestCase {
  const char* name;
  std::function<void(ComLink&)> call;
  Bytes expected;
};

class ComRequests : public ComLinkTest, public ::testing::WithParamInterface<RequestCase> {};

// The link only writes: the engine arms the watchdog for the answer.
TEST_P(ComRequests, WriteAndArmNothing)
{
  const RequestCase& c = GetParam();
  t.upload.SetInterval(12345); // what an earlier request left
  c.call(com);
  ASSERT_EQ(line.writes.size(), 1u);
  EXPECT_EQ(line.writes[0], c.expected);
  for (FakeTimer* timer : t.clock.timers)
    if (timer->Name() != "CommTimer")
      EXPECT_FALSE(timer->IsActive()) << timer->Name();
  EXPECT_EQ(t.upload.Interval(), 12345);
}

TEST_P(ComRequests, NoDeviceNoBytes)
{
  session.link.ComPortNumber = 9;
  GetParam().call(com);
  EXPECT_TRUE(line.writes.empty());
  EXPECT_EQ(host.statuses, std::vector<std::string>{"  No serial device"});
  EXPECT_FALSE(t.upload.IsActive());
  EXPECT_FALSE(t.dummy.IsActive());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComRequests,
    ::testing::Values(RequestCase{"BlockRequest",
                                  [](ComLink& c) { c.ComRequestBlock(2, 200); },
                                  {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x50, 0x02, 0x01, 0x48, 0xF7}},
                      RequestCase{"BlockRequestOperatingSystem", [](ComLink& c) { c.ComRequestBlock(8, 0); },
                                  BuildBlockRequest(8, 0)},
                      RequestCase{"LinkTestBlock", [](ComLink& c) { c.ComRequestBlock(127, 0); },
                                  BuildBlockRequest(127, 0)},
                      RequestCase{"DirectoryKeepsInterval",
                                  [](ComLink& c) { c.ComRequestDirectory(4); },
                                  {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x51, 0x04, 0xF7}},
                      RequestCase{"FileRequest",
                                  [](ComLink& c) { c.ComSendFileName(0, "my_song_", true); },
                                  {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x52, 0x00, 0x6D, 0x79, 0x5F, 0x73,
                                   0x6F, 0x6E, 0x67, 0x5F, 0x00, 0xF7}},
                      RequestCase{"FileNameOperatingSystem",
                                  [](ComLink& c) { c.ComSendFileName(8, "os", false); },
                                  BuildNameMessage(SYS_EX_FILE_NAME, 8, "os")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComLinkTest, AnswerOnMissingPortSaysNoComPort)
{
  session.link.ComPortNumber = 9;
  com.ComAnswerBlockRequest(0, 0);
  EXPECT_EQ(host.statuses, std::vector<std::string>{"  No COM port"});
  EXPECT_TRUE(line.writes.empty());
}

TEST(ComPorts, DefaultTableAndSettingsKeys)
{
  const ComPortPaths defaults = MakeComPortPaths();
  for (const auto& [port, path] : kDefaultPorts)
    EXPECT_EQ(defaults(port), path) << port;
  const ComPortPaths custom = MakeComPortPaths({{3, "/tmp/pty-link"}, {13, "/dev/ttyUSB9"}, {20, "/dev/x"}});
  EXPECT_EQ(custom(3), "/tmp/pty-link");
  EXPECT_EQ(custom(13), "/dev/ttyUSB9");
  EXPECT_EQ(custom(20), "");
  EXPECT_EQ(custom(4), defaults(4));

  const std::pair<const char*, int> keys[] = {{"COM1", 1}, {"com16", 16}, {"Com7", 7}, {"COM17", 0},
                                              {"COM0", 0}, {"COM01", 0},  {"COM", 0},  {"COMx", 0},
                                              {"LPT1", 0}, {"COM1 ", 0}};
  for (const auto& [key, port] : keys)
    EXPECT_EQ(ComPortKeyNumber(key), port) << key;
}

} // namespace
} // namespace zr::test
