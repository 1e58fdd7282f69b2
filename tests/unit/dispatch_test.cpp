// The inbound dispatch, row by row of its command table, on both links:
// the serial handler behind a real ComLink on a scripted line, and the MIDI
// handler with synthetic input buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/comm.h"
#include "link/dispatch.h"
#include "tests/support/fake_serial.h"
#include "tests/support/fakes.h"
#include "engine/session.h"

namespace zr::test {
namespace {

class RecordingMidiPort : public MidiPort {
public:
  void SendSysEx(const std::uint8_t* data, std::size_t length) override
  {
    sent.emplace_back(data, data + length);
  }
  void Requeue(MidiInBuffer& buffer) override
  {
    ++requeues;
    buffer.queued = true;
  }
  std::vector<Bytes> sent;
  int requeues = 0;
};

const Bytes kPcIdentify = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x00, 0x7F, 0xF7};
const std::uint8_t kAbc[] = {'a', 'b', 'c'};

class DispatchTest : public ::testing::Test {
protected:
  DispatchTest()
  {
    line.devices["/dev/fake1"] = SerialOpenResult::Ok;
    session.Com = &com;
    session.Midi = &midi;
    session.link.ComPortNumber = 1;
    EXPECT_TRUE(com.OpenComPort());
  }

  void Serial(const Bytes& frame) { DispatchComFrame(session, com, frame.data(), frame.size()); }
  // Delivers a MIDI message; `dropF0` plays a driver that leaves out the leading F0.
  void Midi(const Bytes& message, bool dropF0 = false)
  {
    const std::size_t skip = dropF0 ? 1 : 0;
    buffer = MidiInBuffer{};
    std::copy(message.begin() + static_cast<std::ptrdiff_t>(skip), message.end(), buffer.data.begin());
    buffer.bytesRecorded = message.size() - skip;
    HandleMidiSysExIn(session, port, buffer);
  }
  void Deliver(bool serial, const Bytes& frame)
  {
    if (serial)
      Serial(frame);
    else
      Midi(frame);
  }
  // A loaded file on its way to the console over `medium`.
  void LoadTx(int type, int medium)
  {
    Filer& tx = session.TxTransfer;
    tx.DataType = type;
    tx.Medium = medium;
    tx.Size = sizeof kAbc;
    tx.AllocBuffer();
    std::memcpy(tx.Buffer.get(), kAbc, sizeof kAbc);
    tx.Offered = true;
    tx.EndOfFileDone = false;
    tx.GoAhead = false;
    host.pcSelected = 1;
    session.batch.FileNr = 1;
  }
  bool Contains(const std::string& status) const
  {
    return std::find(host.statuses.begin(), host.statuses.end(), status) != host.statuses.end();
  }
  Bytes LastWrite() const { return line.writes.empty() ? Bytes{} : line.writes.back(); }

  FakeHost host;
  FakeTimers t;
  TestSession session{host, t.timers};
  FakeSerialLine line;
  ComLink com{session, line.Factory(), [](int n) { return "/dev/fake" + std::to_string(n); }};
  FakeLink midi{TextId::NoMidiDevice};
  RecordingMidiPort port;
  MidiInBuffer buffer;
};

// --- 0x40 search -------------------------------------------------------------

TEST_F(DispatchTest, SerialSearchIsAnsweredUntilWeSearchOurselves)
{
  Serial(BuildSearch());
  EXPECT_EQ(LastWrite(), kPcIdentify);
  EXPECT_TRUE(host.boxes.empty());

  com.SearchComPort();
  ASSERT_EQ(host.LastStatus(), "Searching ZR4812.");
  const std::size_t writes = line.writes.size();
  Serial(BuildSearch()); // our own search coming back: the cable loops
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "COM port in loop mode ?!?!");
  EXPECT_EQ(host.boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(line.writes.size(), writes);
}

TEST_F(DispatchTest, MidiSearchIsAlwaysAnswered)
{
  com.ComSearching = true; // the serial link's state is no business of MIDI
  // MIDI takes messages of 9 bytes and more; a driver that hands over a
  // search with a byte to spare gets its answer.
  Bytes search = BuildSearch();
  search.insert(search.end() - 1, 0x00);
  Midi(search);
  ASSERT_EQ(port.sent.size(), 1u);
  EXPECT_EQ(port.sent[0], kPcIdentify);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(port.requeues, 1);
}

// --- 0x00 identify -----------------------------------------------------------

struct IdentifyCase {
  const char* name;
  bool serial;
  std::uint8_t model;
  std::vector<std::string> statuses;
  int commMedium;
  bool listsCard;
  bool testsLink;
};

class DispatchIdentify : public DispatchTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(DispatchIdentify, ConfirmsTheConnection)
{
  const IdentifyCase& c = GetParam();
  com.SearchComPort();
  host.statuses.clear();
  session.RxTransfer.BlockNr = 7; // left over from an earlier download
  Deliver(c.serial, BuildIdentify(c.model, 0x00));
  EXPECT_FALSE(t.timeout.IsActive());
  EXPECT_EQ(host.statuses, c.statuses);
  EXPECT_EQ(session.link.CommMedium, c.commMedium);
  EXPECT_EQ(host.cardDirectoryCalls, c.listsCard ? std::vector<int>{-1} : std::vector<int>{});
  if (c.serial) {
    EXPECT_FALSE(com.ComSearching);
  }
  if (c.testsLink) {
    ASSERT_EQ(midi.blockRequests.size(), 1u);
    EXPECT_EQ(midi.blockRequests[0].type, 127);
    EXPECT_EQ(midi.blockRequests[0].block, 0u);
    EXPECT_EQ(session.link.MidiTestRetries, 4);
    EXPECT_EQ(session.RxTransfer.BlockNr, 0u);
  } else {
    EXPECT_TRUE(midi.blockRequests.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DispatchIdentify,
    ::testing::Values(
        IdentifyCase{"SerialZR4812", true, 0x0B, {"Connected thru COM port 1"}, 1, true, false},
        IdentifyCase{"SerialOtherModel", true, 0x0C, {"Connected thru COM port 1"}, 1, false, false},
        IdentifyCase{
            "MidiZR4812", false, 0x0B, {"Connected thru MIDI", "Testing MIDI connection..."}, 0, false, true},
        IdentifyCase{"MidiOtherModel", false, 0x0C, {"Connected thru MIDI"}, 0, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- 0x10 data block ---------------------------------------------------------

struct BlockCase {
  const char* name;
  bool serial;
  int type;
  unsigned block;    // block number in the message
  std::uint8_t flag; // flag byte in the message
  unsigned expected; // BlockNr of RxTransfer
  bool cancelled;
  bool received;    // reaches ReceiveBlock
  int awaited = -1; // type of the file RxTransfer waits for (-1: this one); -2: none
};

class DispatchDataBlock : public DispatchTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(DispatchDataBlock, DisarmsThenHandsOnOrDrops)
{
  const BlockCase& c = GetParam();
  Filer& rx = session.RxTransfer;
  rx.BlockNr = c.expected;
  rx.Medium = 0;
  rx.DataType = c.awaited == -1 ? c.type : c.awaited;
  rx.Expecting = c.awaited != -2;
  session.batch.CancelRequested = c.cancelled;
  t.upload.Start();
  t.dummy.Start();
  // Two blocks, so that block 0 leaves the transfer running.
  const Bytes file(900, 0x55);
  Bytes message = BuildFileBlock(c.type, file.data(), static_cast<std::uint32_t>(file.size()), 0);
  message[8] = c.flag;
  message[11] = High7(c.block);
  message[12] = Low7(c.block);
  Deliver(c.serial, message);

  // The watchdog of the request goes off only when the engine takes the
  // block (and arms it again with the next request): a stray block leaves
  // it armed, so that a lost answer is still noticed.
  EXPECT_EQ(t.dummy.IsActive(), !(c.received && c.type == 127));
  EXPECT_EQ(Contains("  Receiving file"), c.received);
  if (c.received) {
    EXPECT_EQ(rx.Medium, c.serial ? 1 : 3);
    EXPECT_EQ(rx.DataType, c.type);
  }
  if (c.received && c.type != 127 && !c.cancelled) {
    EXPECT_EQ(rx.BlockNr, 1u);
    if (c.serial)
      EXPECT_EQ(LastWrite(), BuildBlockRequest(c.type, 1));
    else
      EXPECT_EQ(midi.blockRequests.size(), 1u);
  } else {
    EXPECT_EQ(t.upload.IsActive(), c.type == 127 || !c.received);
  }
  if (!c.received) {
    EXPECT_EQ(rx.BlockNr, c.expected);
    EXPECT_TRUE(midi.blockRequests.empty());
    EXPECT_EQ(line.writes.size(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DispatchDataBlock,
    ::testing::Values(BlockCase{"SerialExpected", true, 2, 0, 1, 0, false, true},
                      BlockCase{"MidiExpected", false, 2, 0, 1, 0, false, true},
                      BlockCase{"SerialBlock2While1Expected", true, 2, 2, 1, 1, false, false},
                      BlockCase{"MidiBlock2While1Expected", false, 2, 2, 1, 1, false, false},
                      BlockCase{"SerialFlagNot1", true, 2, 0, 0, 0, false, false},
                      BlockCase{"MidiFlagNot1", false, 2, 0, 2, 0, false, false},
                      BlockCase{"SerialCancelled", true, 2, 0, 1, 0, true, false},
                      // Over MIDI, ReceiveBlock itself drops a cancelled transfer.
                      BlockCase{"MidiCancelledStillHandedOn", false, 2, 0, 1, 0, true, true},
                      BlockCase{"SerialLinkTestBlock", true, 127, 0, 1, 0, false, true},
                      BlockCase{"MidiLinkTestBlock", false, 127, 0, 1, 0, false, true},
                      // Stray blocks: nothing asked for, or another type than asked for.
                      BlockCase{"SerialNothingAwaited", true, 2, 0, 1, 0, false, false, -2},
                      BlockCase{"MidiOtherTypeThanAwaited", false, 2, 0, 1, 0, false, false, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DispatchTest, PayloadAndChecksumReachReceiveBlock)
{
  // A two-block file: block 0 good, so the engine asks for block 1.
  Bytes file(900);
  for (std::size_t i = 0; i < file.size(); ++i)
    file[i] = static_cast<std::uint8_t>(i * 7);
  Filer& rx = session.RxTransfer;
  rx.BlockNr = 0;
  rx.DataType = 3;
  rx.Expecting = true;
  Serial(BuildFileBlock(3, file.data(), static_cast<std::uint32_t>(file.size()), 0));
  EXPECT_EQ(rx.BlockNr, 1u);
  EXPECT_EQ(LastWrite(), BuildBlockRequest(3, 1));
  // Block 1 with a wrong checksum is asked for again.
  Bytes bad = BuildFileBlock(3, file.data(), static_cast<std::uint32_t>(file.size()), 1);
  bad[bad.size() - 2] ^= 0x01;
  line.writes.clear();
  Serial(bad);
  EXPECT_EQ(LastWrite(), BuildBlockRequest(3, 1));
  EXPECT_EQ(rx.BlockNr, 1u);
}

// --- 0x11 directory ----------------------------------------------------------

TEST_F(DispatchTest, DirectoryReplyGoesToTheCardList)
{
  // The reply of the protocol's own example; the byte after the name is not read.
  const Bytes reply = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x11, 0x01, 0x56,
                       0x4F, 0x43, 0x41, 0x4C, 0x53, 0x20, 0x20, 0x5A, 0xF7};
  Serial(reply);
  Midi(reply);
  ASSERT_EQ(host.directoryReplies.size(), 2u);
  EXPECT_EQ(host.directoryReplies[0].type, 1);
  EXPECT_EQ(host.directoryReplies[0].names, std::vector<std::string>{"VOCALS"});
  EXPECT_FALSE(host.directoryReplies[0].sortEvery);
  EXPECT_EQ(host.directoryReplies[1].names, std::vector<std::string>{"VOCALS"});
  EXPECT_TRUE(host.directoryReplies[1].sortEvery);
}

TEST_F(DispatchTest, DirectoryReplyEntriesEndAtZeroOrEndByte)
{
  struct Case {
    Bytes reply;
    std::vector<std::string> names;
  };
  const Bytes head = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x11, 0x04};
  auto with = [&](std::initializer_list<std::uint8_t> tail) {
    Bytes b = head;
    b.insert(b.end(), tail);
    return b;
  };
  const Case cases[] = {
      // First entry starts with 0: no entries, but the reply still counts (the chain goes on).
      {with({0x00, 'A', 'B', 'C', ' ', ' ', ' ', ' ', 0x00, 0xF7}), {}},
      {with({0xF7}), {}},
      {with({'A', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x00, 'B', 'C', 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0xF7}),
       {"A", "BC"}},
  };
  for (const Case& c : cases) {
    host.directoryReplies.clear();
    Serial(c.reply);
    ASSERT_EQ(host.directoryReplies.size(), 1u);
    EXPECT_EQ(host.directoryReplies[0].type, 4);
    EXPECT_EQ(host.directoryReplies[0].names, c.names);
  }
}

TEST_F(DispatchTest, DirectoryReplyForNoDataTypeIsDropped)
{
  Serial(BuildDirectoryReply(9, {"X"}));
  Midi(BuildDirectoryReply(127, {"X"}));
  EXPECT_TRUE(host.directoryReplies.empty());
}

// --- 0x50 block request, 0x52 file request -------------------------------------

TEST_F(DispatchTest, SerialBlockRequestSendsTheBlock)
{
  LoadTx(2, 1);
  session.batch.InternalMode = true; // a restore: block 0 asked for again goes again
  t.download.Start();
  Serial(BuildBlockRequest(2, 0));
  EXPECT_FALSE(t.download.IsActive());
  // The protocol's 31-byte example block of "abc".
  const Bytes expected = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x10, 0x02, 0x01, 0x00, 0x01,
                          0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61,
                          0x62, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46, 0xF7};
  EXPECT_EQ(LastWrite(), expected);
}

TEST_F(DispatchTest, BlockRequestAfterTheLastFileOnlyDisarms)
{
  LoadTx(2, 1);
  session.batch.SendFinished = true;
  t.download.Start();
  Serial(BuildBlockRequest(2, 0));
  Midi(BuildBlockRequest(2, 0));
  EXPECT_FALSE(t.download.IsActive());
  EXPECT_TRUE(line.writes.empty());
  EXPECT_TRUE(midi.sentBlocks.empty());
}

TEST_F(DispatchTest, MidiBlockRequestGoesToTheMidiLink)
{
  LoadTx(5, 3);
  t.download.Start();
  Midi(BuildBlockRequest(5, 0));
  EXPECT_FALSE(t.download.IsActive());
  ASSERT_EQ(midi.sentBlocks.size(), 1u);
  EXPECT_EQ(midi.sentBlocks[0], BuildFileBlock(5, kAbc, sizeof kAbc, 0));
  EXPECT_TRUE(line.writes.empty());
}

TEST_F(DispatchTest, FileRequestAfterCancelSendsNothing)
{
  LoadTx(2, 0);
  session.batch.SendFinished = true; // Cancel pressed while the name was on its way
  t.upload.Start();                   // by now a card listing's watchdog
  Serial(BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "ABC"));
  EXPECT_TRUE(t.upload.IsActive()) << "a go-ahead not taken stopped another's watchdog";
  EXPECT_TRUE(LastWrite().empty());
}

TEST_F(DispatchTest, FileRequestSendsBlockZeroOverTheLinkItCameOn)
{
  LoadTx(2, 0); // read from the PC, waiting for the console's go-ahead
  t.upload.Start();
  Serial(BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "ABC"));
  EXPECT_FALSE(t.upload.IsActive());
  EXPECT_EQ(session.TxTransfer.Medium, 1);
  EXPECT_EQ(LastWrite(), BuildFileBlock(2, kAbc, sizeof kAbc, 0));

  LoadTx(2, 0);
  session.batch.SendFinished = false; // a new upload starts
  t.upload.Start();
  Midi(BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "ABC"));
  EXPECT_FALSE(t.upload.IsActive());
  EXPECT_EQ(session.TxTransfer.Medium, 3);
  ASSERT_EQ(midi.sentBlocks.size(), 1u);
  EXPECT_EQ(midi.sentBlocks[0], BuildFileBlock(2, kAbc, sizeof kAbc, 0));
}

// Found by fuzzing the engine: a console's go-ahead for a name that nobody
// offered, while a card file is awaited, stopped that file's watchdog.
TEST_F(DispatchTest, AFileRequestWhileAFileIsAwaitedLeavesItsWatchdog)
{
  LoadTx(2, 0);
  session.RxTransfer.Expecting = true;
  t.upload.Start();
  Serial(BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "ABC"));
  EXPECT_TRUE(t.upload.IsActive());
  EXPECT_TRUE(LastWrite().empty());
}

// A go-ahead of another kind, or a second one for the file offered (a copy
// on the line), is no go-ahead for it: block 0 goes out once, since one
// the console does not await is a restore into its memory.
TEST_F(DispatchTest, OnlyTheFirstGoAheadForTheFileOfferedIsAnswered)
{
  LoadTx(2, 0);
  Serial(BuildNameMessage(SYS_EX_FILE_REQUEST, 3, "ABC"));
  EXPECT_TRUE(line.writes.empty());
  EXPECT_TRUE(session.TxTransfer.Offered);
  Serial(BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "ABC"));
  Serial(BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "ABC"));
  EXPECT_EQ(line.writes.size(), 1u);
}

// --- what is not a message for us ------------------------------------------

TEST_F(DispatchTest, UnknownCommandsAndShortFramesTouchNothing)
{
  const Bytes frames[] = {
      {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x7E, 0x01, 0xF7},       // unknown command
      {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x12, 0x01, 0xF7},       // the PC's own name message
      {0xF0, 0x00, 0x7F, 0x33, 0xF7},                               // no command byte
      {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x50, 0x01, 0x00, 0xF7}, // block request without its low half
      {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x10, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0xF7}, // 14-byte block
  };
  LoadTx(1, 1);
  for (FakeTimer* timer : t.clock.timers)
    timer->Start();
  for (const Bytes& f : frames) {
    Serial(f);
    Midi(f);
  }
  for (FakeTimer* timer : t.clock.timers)
    EXPECT_TRUE(timer->IsActive()) << timer->Name();
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_TRUE(host.directoryReplies.empty());
  EXPECT_TRUE(line.writes.empty());
  EXPECT_TRUE(midi.sentBlocks.empty());
  EXPECT_EQ(port.requeues, static_cast<int>(std::size(frames)));
}

// --- MIDI input buffers --------------------------------------------------------

TEST_F(DispatchTest, MidiBuffersWithoutMessage)
{
  MidiInBuffer empty;
  HandleMidiSysExIn(session, port, empty);
  EXPECT_EQ(host.statuses, std::vector<std::string>{"HandleMidiSysExIn"});
  EXPECT_EQ(port.requeues, 0); // nothing to give back

  MidiInBuffer noData;
  noData.bytesRecorded = 9;
  noData.hasData = false;
  HandleMidiSysExIn(session, port, noData);
  EXPECT_EQ(port.requeues, 0);
  EXPECT_EQ(host.statuses.size(), 2u);

  // 8 bytes: requeued with no effect at all.
  host.statuses.clear();
  Midi({0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x40, 0xF7});
  EXPECT_EQ(port.requeues, 1);
  EXPECT_TRUE(port.sent.empty());
  EXPECT_TRUE(host.statuses.empty());

  // Another manufacturer: requeued, nothing else.
  Midi({0xF0, 0x00, 0x7F, 0x34, 0x20, 0x0B, 0x11, 0x01, 0xF7});
  EXPECT_EQ(port.requeues, 2);
  EXPECT_TRUE(host.directoryReplies.empty());
}

TEST_F(DispatchTest, MidiMessageWithoutLeadingF0KeepsItsOffsets)
{
  Midi(BuildDirectoryReply(6, {"SNAP1", "SNAP2"}), /*dropF0=*/true);
  ASSERT_EQ(host.directoryReplies.size(), 1u);
  EXPECT_EQ(host.directoryReplies[0].type, 6);
  EXPECT_EQ(host.directoryReplies[0].names, (std::vector<std::string>{"SNAP1", "SNAP2"}));

  Midi(BuildSearch(), /*dropF0=*/true); // 7 bytes left: too short to be a message
  EXPECT_TRUE(port.sent.empty());
  EXPECT_EQ(port.requeues, 2);
}

TEST_F(DispatchTest, MidiCountBeyondTheBufferIsNotRead)
{
  buffer = MidiInBuffer{};
  const Bytes reply = BuildDirectoryReply(0, {"A"});
  std::copy(reply.begin(), reply.end(), buffer.data.begin());
  buffer.bytesRecorded = 100000; // a broken back-end
  HandleMidiSysExIn(session, port, buffer);
  EXPECT_EQ(port.requeues, 1);
  ASSERT_EQ(host.directoryReplies.size(), 1u);
  EXPECT_EQ(host.directoryReplies[0].names, std::vector<std::string>{"A"});
}

} // namespace
} // namespace zr::test
