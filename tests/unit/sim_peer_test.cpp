// The virtual console's protocol side: what it answers, what it stores,
// and the faults it injects. The tests play the PC with the codec.
#include <gtest/gtest.h>

#include "sim/peer/chaos.h"
#include "sim/peer/console_peer.h"
#include "sim/peer/serial_console.h"
#include "tests/support/engine_fixture.h"

namespace zr::test {
namespace {

using sim::ConsolePeer;
using sim::PeerOptions;

class SimPeerTest : public ::testing::Test {
protected:
  PeerOptions Options() const
  {
    PeerOptions o;
    o.cardDir = card.path();
    o.internalDir = internal.path();
    return o;
  }
  static Message Parse(const Bytes& b)
  {
    const std::optional<Message> m = ParseMessage(b.data(), b.size());
    EXPECT_TRUE(m.has_value());
    return m.value_or(Message{});
  }
  static bool ChecksumOk(const Message& m)
  {
    return Checksum(m.payload.data(), m.payload.size()) == m.checksum;
  }

  // Plays the receiving PC: asks for every block after the first answer,
  // re-asks on a bad checksum, and returns the unpacked file.
  static Bytes ReceiveFile(ConsolePeer& peer, const Bytes& firstRequest, int* badChecksums = nullptr)
  {
    std::vector<Bytes> answer = peer.Receive(firstRequest);
    Bytes stream;
    unsigned expected = 0;
    for (int guard = 0; guard < 1000; ++guard) {
      if (answer.size() != 1)
        return {};
      const Message m = Parse(answer[0]);
      if (m.command != SYS_EX_DATA_BLOCK || m.block != expected)
        return {};
      if (!ChecksumOk(m)) {
        if (badChecksums)
          ++*badChecksums;
        answer = peer.Receive(BuildBlockRequest(m.type, expected));
        continue;
      }
      stream.insert(stream.end(), m.payload.begin(), m.payload.end());
      if (++expected == m.total) {
        const std::optional<std::uint32_t> size = UnpackStream(stream.data(), stream.size());
        if (!size)
          return {};
        stream.resize(*size);
        return stream;
      }
      answer = peer.Receive(BuildBlockRequest(m.type, expected));
    }
    return {};
  }

  // Plays the sending PC: block 0 now, then whatever the console asks for.
  // Returns the console's answers that were not block requests.
  static std::vector<Bytes> SendFile(ConsolePeer& peer, int type, const Bytes& file,
                                     std::vector<Bytes> answer, int corruptFirstTimeOfBlock = -1,
                                     std::vector<unsigned>* asked = nullptr)
  {
    std::vector<Bytes> others;
    bool corrupted = false;
    auto block = [&](unsigned k) {
      Bytes b = BuildFileBlock(type, file.data(), static_cast<std::uint32_t>(file.size()), k);
      if (static_cast<int>(k) == corruptFirstTimeOfBlock && !corrupted) {
        b[b.size() - 2] ^= 0x01;
        corrupted = true;
      }
      return b;
    };
    answer = peer.Receive(block(0));
    for (int guard = 0; guard < 1000 && !answer.empty(); ++guard) {
      const Message m = Parse(answer[0]);
      if (m.command != SYS_EX_BLOCK_REQUEST) {
        others.push_back(answer[0]);
        break;
      }
      if (asked)
        asked->push_back(m.block);
      answer = peer.Receive(block(m.block));
    }
    return others;
  }

  TempFolder card;
  TempFolder internal;
};

TEST_F(SimPeerTest, SearchIsAnsweredWithTheModelByte)
{
  for (std::uint8_t model : {std::uint8_t{0x0B}, std::uint8_t{0x0C}}) {
    PeerOptions o = Options();
    o.model = model;
    ConsolePeer peer(o);
    const std::vector<Bytes> answer = peer.Receive(BuildSearch());
    ASSERT_EQ(answer.size(), 1u);
    const Message m = Parse(answer[0]);
    EXPECT_EQ(m.command, SYS_EX_IDENTIFY);
    EXPECT_EQ(m.model, model);
  }
}

TEST_F(SimPeerTest, DirectoryListsTheCardFolderByType)
{
  for (const char* name : {"SONG1.kpr", "song2.KPR", "toolongname.kpr", "VOCALS.kch", "readme.txt", "A.kex"})
    WriteFile(card.path() / name, {1, 2, 3});
  fs::create_directory(card.path() / "DIR.kpr");
  ConsolePeer peer(Options());
  const struct {
    int type;
    std::vector<std::string> names;
  } cases[] = {{0, {"SONG1", "song2"}}, {1, {"VOCALS"}}, {5, {}}, {8, {"A"}}, {9, {}}};
  for (const auto& c : cases) {
    const std::vector<Bytes> answer = peer.Receive(BuildDirectoryRequest(c.type));
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0], BuildDirectoryReply(c.type, c.names)) << c.type;
  }
}

TEST_F(SimPeerTest, CardFileGoesOutBlockByBlock)
{
  const Bytes file = RandomBytes(5000, 1);
  WriteFile(card.path() / "MIX1.kpr", file);
  ConsolePeer peer(Options());
  EXPECT_EQ(ReceiveFile(peer, BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "mix1")), file);
  // A name the card doesn't have, or the right name with the wrong type: no answer.
  EXPECT_TRUE(peer.Receive(BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "MIX2")).empty());
  EXPECT_TRUE(peer.Receive(BuildNameMessage(SYS_EX_FILE_REQUEST, 1, "MIX1")).empty());
}

TEST_F(SimPeerTest, CorruptedBlocksComeRightWhenAskedAgain)
{
  const Bytes file = RandomBytes(5000, 2);
  WriteFile(card.path() / "MIX1.kpr", file);
  for (unsigned block : {0u, 2u, 5u}) {
    PeerOptions o = Options();
    o.corruptBlocks[block] = 2;
    ConsolePeer peer(o);
    int bad = 0;
    EXPECT_EQ(ReceiveFile(peer, BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "MIX1"), &bad), file) << block;
    EXPECT_EQ(bad, 2) << block;
  }
}

TEST_F(SimPeerTest, BackupComesFromInternalMemory)
{
  const Bytes setup = RandomBytes(2500, 3);
  WriteFile(internal.path() / "internal.ksu", setup);
  WriteFile(card.path() / "X.ksu", {9, 9, 9});
  ConsolePeer peer(Options());
  EXPECT_EQ(ReceiveFile(peer, BuildBlockRequest(7, 0)), setup);
  // Straight after a card file of the same type, block 0 is a new backup again.
  EXPECT_EQ(ReceiveFile(peer, BuildNameMessage(SYS_EX_FILE_REQUEST, 7, "X")), (Bytes{9, 9, 9}));
  EXPECT_EQ(ReceiveFile(peer, BuildBlockRequest(7, 0)), setup);
  // No internal data of a type: no answer.
  EXPECT_TRUE(peer.Receive(BuildBlockRequest(2, 0)).empty());
}

TEST_F(SimPeerTest, LinkTestBlockHasAGoodChecksum)
{
  ConsolePeer peer(Options());
  const std::vector<Bytes> answer = peer.Receive(BuildBlockRequest(127, 0));
  ASSERT_EQ(answer.size(), 1u);
  const Message m = Parse(answer[0]);
  EXPECT_EQ(m.command, SYS_EX_DATA_BLOCK);
  EXPECT_EQ(m.type, 127);
  EXPECT_EQ(m.block, 0u);
  EXPECT_TRUE(ChecksumOk(m));
}

TEST_F(SimPeerTest, UploadIsStoredInTheCardFolder)
{
  const Bytes file = RandomBytes(3000, 4);
  ConsolePeer peer(Options());
  const std::vector<Bytes> ack = peer.Receive(BuildNameMessage(SYS_EX_FILE_NAME, 1, "NEWCH"));
  ASSERT_EQ(ack.size(), 1u);
  EXPECT_EQ(Parse(ack[0]).command, SYS_EX_FILE_REQUEST);
  EXPECT_EQ(Parse(ack[0]).type, 1);
  EXPECT_TRUE(SendFile(peer, 1, file, ack, /*corrupt block*/ 1).empty());
  EXPECT_EQ(ReadFile(card.path() / "NEWCH.kch"), file);
  EXPECT_EQ(peer.CardNames(1), std::vector<std::string>{"NEWCH"});
}

TEST_F(SimPeerTest, UploadReplacesTheFileWhateverItsLetterCase)
{
  WriteFile(card.path() / "newch.KCH", {1});
  ConsolePeer peer(Options());
  const Bytes file = RandomBytes(10, 5);
  SendFile(peer, 1, file, peer.Receive(BuildNameMessage(SYS_EX_FILE_NAME, 1, "NEWCH")));
  EXPECT_EQ(ReadFile(card.path() / "newch.KCH"), file);
  EXPECT_EQ(peer.CardNames(1).size(), 1u);
}

TEST_F(SimPeerTest, UploadNameCannotLeaveTheCardFolder)
{
  ConsolePeer peer(Options());
  SendFile(peer, 0, {1, 2, 3}, peer.Receive(BuildNameMessage(SYS_EX_FILE_NAME, 0, "../../x")));
  EXPECT_EQ(ReadFile(card.path() / "______x.kpr"), (Bytes{1, 2, 3}));
  EXPECT_FALSE(fs::exists(card.path().parent_path().parent_path() / "x.kpr"));
}

TEST_F(SimPeerTest, RestoreReplacesInternalMemory)
{
  WriteFile(internal.path() / "internal.kex", {0});
  const Bytes os = RandomBytes(4321, 6);
  ConsolePeer peer(Options());
  EXPECT_TRUE(SendFile(peer, 8, os, {}).empty());
  EXPECT_EQ(ReadFile(internal.path() / "internal.kex"), os);
  EXPECT_TRUE(fs::is_empty(card.path()));
}

TEST_F(SimPeerTest, StrayBlocksAreIgnored)
{
  ConsolePeer peer(Options());
  const Bytes file = RandomBytes(3000, 7);
  // Block 1 without a transfer, and a block of no data type.
  EXPECT_TRUE(peer.Receive(BuildFileBlock(1, file.data(), 3000, 1)).empty());
  EXPECT_TRUE(peer.Receive(BuildFileBlock(127, file.data(), 3000, 0)).empty());
  // A block request with no file on its way, past block 0.
  EXPECT_TRUE(peer.Receive(BuildBlockRequest(1, 3)).empty());
  EXPECT_TRUE(fs::is_empty(card.path()));
  EXPECT_TRUE(fs::is_empty(internal.path()));
}

TEST_F(SimPeerTest, SilentAfterAChosenRequest)
{
  WriteFile(card.path() / "MIX1.kpr", RandomBytes(5000, 8));
  PeerOptions o = Options();
  o.silentAfterCommand = SYS_EX_BLOCK_REQUEST;
  o.silentAfterCount = 2;
  ConsolePeer peer(o);
  EXPECT_EQ(peer.Receive(BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "MIX1")).size(), 1u);
  EXPECT_EQ(peer.Receive(BuildBlockRequest(0, 1)).size(), 1u);
  EXPECT_EQ(peer.Receive(BuildBlockRequest(0, 2)).size(), 1u);
  EXPECT_TRUE(peer.Receive(BuildBlockRequest(0, 3)).empty());
  EXPECT_TRUE(peer.Receive(BuildSearch()).empty());
}

TEST_F(SimPeerTest, LoopSendsEverythingBack)
{
  PeerOptions o = Options();
  o.loop = true;
  ConsolePeer peer(o);
  for (const Bytes& m : {BuildSearch(), BuildDirectoryRequest(3), Bytes{0xF0, 0x01, 0xF7}}) {
    const std::vector<Bytes> answer = peer.Receive(m);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0], m);
  }
}

TEST_F(SimPeerTest, BlockWithoutEndByteOnce)
{
  WriteFile(card.path() / "MIX1.kpr", RandomBytes(3000, 9));
  PeerOptions o = Options();
  o.noEndByteBlock = 1;
  ConsolePeer peer(o);
  peer.Receive(BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "MIX1"));
  const Bytes cut = peer.Receive(BuildBlockRequest(0, 1)).at(0);
  EXPECT_EQ(cut.size(), 1014u);
  EXPECT_NE(cut.back(), SYS_EX_END);
  EXPECT_EQ(peer.Receive(BuildBlockRequest(0, 1)).at(0).back(), SYS_EX_END);
}

TEST_F(SimPeerTest, Drop7fLeavesOutOneByteOnceAndKeepsTheChecksum)
{
  const Bytes mix = RandomBytes(3000, 10);
  const Bytes zero(3000, 0); // packs into no 0x7F at all
  WriteFile(card.path() / "MIX1.kpr", mix);
  WriteFile(card.path() / "ZERO.kpr", zero);
  for (unsigned block : {0u, 1u}) {
    for (const bool has7f : {true, false}) {
      const char* name = has7f ? "MIX1" : "ZERO";
      const Bytes intact = BuildFileBlock(0, (has7f ? mix : zero).data(), 3000, block);
      PeerOptions o = Options();
      o.drop7fBlock = block;
      ConsolePeer peer(o);
      std::vector<std::string> warnings;
      peer.SetWarn([&](const std::string& line) { warnings.push_back(line); });
      std::vector<Bytes> answer = peer.Receive(BuildNameMessage(SYS_EX_FILE_REQUEST, 0, name));
      if (block > 0)
        answer = peer.Receive(BuildBlockRequest(0, block));
      ASSERT_EQ(answer.size(), 1u);
      const Message sent = Parse(answer[0]);
      EXPECT_TRUE(ChecksumOk(sent)) << block << name;
      Bytes expected = Parse(intact).payload;
      if (has7f)
        expected.erase(std::find(expected.begin(), expected.end(), 0x7F));
      EXPECT_EQ(sent.payload, expected) << block << name;
      EXPECT_EQ(warnings.size(), has7f ? 0u : 1u);
      // Asked for again, the block goes out whole.
      if (has7f) {
        EXPECT_EQ(peer.Receive(BuildBlockRequest(0, block)), std::vector<Bytes>{intact}) << block;
      }
    }
  }
}

TEST_F(SimPeerTest, StrayBlockFollowsTheLastBlockOnce)
{
  WriteFile(card.path() / "MIX1.kpr", RandomBytes(1500, 11));
  PeerOptions o = Options();
  o.strayBlock = true;
  ConsolePeer peer(o);
  EXPECT_EQ(peer.Receive(BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "MIX1")).size(), 1u);
  const std::vector<Bytes> last = peer.Receive(BuildBlockRequest(0, 1));
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[1], last[0]);
  EXPECT_EQ(Parse(last[1]).block, 1u);
  EXPECT_EQ(peer.Receive(BuildBlockRequest(0, 1)).size(), 1u);
}

// What the console asks for while a 4-block file comes from the PC, and
// that the file is stored once and whole.
TEST_F(SimPeerTest, FaultsOnReceivedBlocksAskAsChosen)
{
  const Bytes file = RandomBytes(3000, 12);
  const struct {
    const char* fault;
    void (*set)(PeerOptions&);
    std::vector<unsigned> asked;
  } cases[] = {
      {"none", [](PeerOptions&) {}, {1, 2, 3}},
      {"repeat last", [](PeerOptions& o) { o.repeatLastRequest = true; }, {1, 2, 3, 3}},
      {"repeat 0", [](PeerOptions& o) { o.repeatRequestBlock = 0; }, {1, 0, 2, 3}},
      {"repeat 1", [](PeerOptions& o) { o.repeatRequestBlock = 1; }, {1, 2, 1, 3}},
      {"repeat 2", [](PeerOptions& o) { o.repeatRequestBlock = 2; }, {1, 2, 3, 2}},
      {"repeat 3", [](PeerOptions& o) { o.repeatRequestBlock = 3; }, {1, 2, 3, 3}},
      {"reject 2", [](PeerOptions& o) { o.rejectBlocks[2] = 1; }, {1, 2, 2, 3}},
      {"reject 0 twice", [](PeerOptions& o) { o.rejectBlocks[0] = 2; }, {0, 0, 1, 2, 3}},
  };
  for (const auto& c : cases) {
    for (bool restore : {false, true}) {
      PeerOptions o = Options();
      c.set(o);
      ConsolePeer peer(o);
      int stores = 0;
      peer.SetLog([&](const std::string& line) { stores += line.rfind("   stored", 0) == 0; });
      std::vector<unsigned> asked;
      const std::vector<Bytes> start =
          restore ? std::vector<Bytes>{} : peer.Receive(BuildNameMessage(SYS_EX_FILE_NAME, 2, "EQ"));
      EXPECT_TRUE(SendFile(peer, 2, file, start, -1, &asked).empty());
      EXPECT_EQ(asked, c.asked) << c.fault << restore;
      EXPECT_EQ(stores, 1) << c.fault << restore;
      EXPECT_EQ(ReadFile(restore ? internal.path() / "internal.keq" : card.path() / "EQ.keq"), file)
          << c.fault;
      // Spent: the next file goes without it.
      asked.clear();
      SendFile(peer, 2, file, peer.Receive(BuildNameMessage(SYS_EX_FILE_NAME, 2, "EQ2")), -1, &asked);
      EXPECT_EQ(asked, (std::vector<unsigned>{1, 2, 3})) << c.fault;
    }
  }
}

TEST_F(SimPeerTest, RepeatedLastRequestUnansweredEndsTheWait)
{
  PeerOptions o = Options();
  o.repeatLastRequest = true;
  ConsolePeer peer(o);
  const Bytes file = RandomBytes(10, 13);
  // The PC does not answer the second request for block 0 and restores
  // another file of the same type: that is a new file, not the repeat.
  const std::vector<Bytes> again = peer.Receive(BuildFileBlock(2, file.data(), 10, 0));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(Parse(again[0]).command, SYS_EX_BLOCK_REQUEST);
  EXPECT_EQ(peer.Receive(BuildSearch()).size(), 1u);
  const Bytes other = RandomBytes(20, 14);
  EXPECT_TRUE(peer.Receive(BuildFileBlock(2, other.data(), 20, 0)).empty());
  EXPECT_EQ(ReadFile(internal.path() / "internal.keq"), other);
}

TEST_F(SimPeerTest, SplitFrameCutsTheChosenMessage)
{
  WriteFile(card.path() / "SONG1.kpr", {1});
  const struct {
    std::optional<std::size_t> offset;
    std::size_t firstPiece;
  } cases[] = {{5, 5}, {std::nullopt, 9}, {1, 1}};
  for (const auto& c : cases) {
    PeerOptions o = Options();
    o.splitMessage = 2;
    o.splitOffset = c.offset;
    ConsolePeer peer(o);
    EXPECT_EQ(peer.Respond(BuildSearch().data(), 8).size(), 1u);
    const Bytes request = BuildDirectoryRequest(0);
    const std::vector<sim::LineOutput> line = peer.Respond(request.data(), request.size());
    ASSERT_EQ(line.size(), 2u);
    const Bytes reply = BuildDirectoryReply(0, {"SONG1"}); // 18 bytes
    EXPECT_EQ(line[0].bytes, Bytes(reply.begin(), reply.begin() + c.firstPiece));
    EXPECT_EQ(line[1].bytes, Bytes(reply.begin() + c.firstPiece, reply.end()));
    EXPECT_EQ(line[0].pauseBefore.count(), 0);
    EXPECT_EQ(line[1].pauseBefore, sim::SPLIT_PAUSE);
    EXPECT_FALSE(line[1].startsMessage);
    EXPECT_EQ(peer.Respond(request.data(), request.size()).size(), 1u);
  }
  // On the serial line the fill bytes go before the message, not into it.
  PeerOptions o = Options();
  o.splitMessage = 1;
  o.splitOffset = 3;
  ConsolePeer peer(o);
  sim::SerialConsole console(peer, 1);
  const Bytes search = BuildSearch();
  const std::vector<sim::LineOutput> writes = console.FeedLine(search.data(), search.size());
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].bytes, (Bytes{0xFF, 0xF0, 0x00, 0x7F}));
  EXPECT_EQ(writes[1].bytes, (Bytes{0x33, 0x20, 0x0B, 0x00, 0x00, 0xF7}));
}

TEST_F(SimPeerTest, BackToBackGluesASearchToTheFirstIdentifyReply)
{
  PeerOptions o = Options();
  o.backToBack = true;
  ConsolePeer peer(o);
  sim::SerialConsole console(peer);
  const Bytes search = BuildSearch();
  const Bytes identify = BuildIdentify(MODEL_BYTE, 0x00);
  const std::vector<sim::LineOutput> first = console.FeedLine(search.data(), search.size());
  ASSERT_EQ(first.size(), 1u);
  Bytes both = identify;
  both.insert(both.end(), search.begin(), search.end());
  EXPECT_EQ(first[0].bytes, both);
  EXPECT_TRUE(first[0].sameWrite);
  // The PC's identify answer needs nothing; the next search gets the reply alone.
  EXPECT_TRUE(peer.Receive(BuildIdentify()).empty());
  EXPECT_EQ(peer.Receive(search), std::vector<Bytes>{identify});
}

TEST_F(SimPeerTest, DirectoryListsEveryFile)
{
  for (int i = 0; i < 300; ++i)
    WriteFile(card.path() / ("SONG" + std::to_string(1000 + i) + ".kpr"), {1});
  ConsolePeer peer(Options());
  const Bytes reply = peer.Receive(BuildDirectoryRequest(0)).at(0);
  EXPECT_EQ(reply.size(), 9 + 9 * 300u);
  EXPECT_EQ(ParseDirectoryEntries(reply.data(), reply.size()).size(), 300u);
}

TEST(SimFraming, BytesFromTheLineBecomeMessages)
{
  const Bytes a = BuildSearch();
  const Bytes b = BuildDirectoryRequest(2);
  Bytes line = {0x00, 0xFF};
  line.insert(line.end(), a.begin(), a.end());
  line.insert(line.end(), {0x41, 0x42}); // noise between messages
  line.insert(line.end(), b.begin(), b.end());
  line.insert(line.end(), {0xF0, 0x01}); // the start of a third

  for (std::size_t cut = 0; cut <= line.size(); ++cut) {
    sim::SysExFramer framer;
    std::vector<Bytes> got = framer.Feed(line.data(), cut);
    std::vector<Bytes> rest = framer.Feed(line.data() + cut, line.size() - cut);
    got.insert(got.end(), rest.begin(), rest.end());
    ASSERT_EQ(got.size(), 2u) << cut;
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], b);
  }
}

TEST(SimFraming, OverlongMessageIsDropped)
{
  sim::SysExFramer framer;
  Bytes flood(5000, 0x01);
  flood[0] = 0xF0;
  flood.push_back(0xF7);
  EXPECT_TRUE(framer.Feed(flood.data(), flood.size()).empty());
  const Bytes ok = BuildSearch();
  EXPECT_EQ(framer.Feed(ok.data(), ok.size()).size(), 1u);
}

TEST_F(SimPeerTest, SerialConsolePutsFillBytesBeforeEachAnswer)
{
  ConsolePeer peer(Options());
  sim::SerialConsole console(peer, 2);
  Bytes twoSearches = BuildSearch();
  const Bytes search = BuildSearch();
  twoSearches.insert(twoSearches.end(), search.begin(), search.end());
  const Bytes out = console.Feed(twoSearches.data(), twoSearches.size());
  Bytes expected;
  for (int i = 0; i < 2; ++i) {
    expected.insert(expected.end(), {0xFF, 0xFF});
    const Bytes id = BuildIdentify(MODEL_BYTE, 0x00);
    expected.insert(expected.end(), id.begin(), id.end());
  }
  EXPECT_EQ(out, expected);
}

TEST(SimChaos, OptionTakesSeedAndRate)
{
  struct Case {
    const char* text;
    bool valid;
    std::uint32_t seed;
    double rate;
  };
  const Case cases[] = {{"7", true, 7, 2},          {"7:10", true, 7, 10},  {"0x10:0.5", true, 16, 0.5},
                        {"7:101", false, 0, 0},     {"7:", false, 0, 0},    {"x", false, 0, 0},
                        {":5", false, 0, 0},        {"7:-1", false, 0, 0}};
  for (const Case& c : cases) {
    const auto o = sim::ParseChaos(c.text);
    ASSERT_EQ(o.has_value(), c.valid) << c.text;
    if (o) {
      EXPECT_EQ(o->seed, c.seed) << c.text;
      EXPECT_EQ(o->ratePercent, c.rate) << c.text;
    }
  }
}

TEST(SimChaos, SameSeedSameFaultsAndRateHolds)
{
  struct Case {
    double rate;
    int low, high; // faults in 10000 messages
  };
  for (const Case c : {Case{0, 0, 0}, Case{2, 140, 260}, Case{100, 10000, 10000}}) {
    sim::Chaos a({4812, c.rate}), b({4812, c.rate});
    int faults = 0;
    std::vector<int> kinds(sim::CHAOS_ACTIONS + 1);
    for (int i = 0; i < 10000; ++i) {
      const sim::ChaosAction x = a.Decide();
      ASSERT_EQ(x, b.Decide());
      faults += x != sim::ChaosAction::None;
      ++kinds[static_cast<int>(x)];
    }
    EXPECT_GE(faults, c.low) << c.rate;
    EXPECT_LE(faults, c.high) << c.rate;
    if (c.rate == 100)
      for (int k = 1; k <= sim::CHAOS_ACTIONS; ++k)
        EXPECT_GT(kinds[k], 1000) << "every fault comes up: " << k;
  }
}

// What each fault leaves on the line after the console sent a block
// request, then a data block.
TEST(SimChaos, EachFaultChangesTheLineAsNamed)
{
  const Bytes file = RandomBytes(2000, 3);
  const Bytes request = BuildBlockRequest(1, 2);
  const Bytes block = BuildFileBlock(1, file.data(), 2000, 1);
  const Bytes earlier = BuildFileBlock(1, file.data(), 2000, 0);
  using A = sim::ChaosAction;
  struct Case {
    A action;
    std::size_t pieces; // what follows the request on the line
    bool blockIntact;   // the first piece is the block as sent
  };
  const Case cases[] = {{A::None, 1, true},      {A::Drop, 0, false},       {A::Duplicate, 2, true},
                        {A::Corrupt, 1, false},  {A::CutShort, 1, false},   {A::Delay, 1, true},
                        {A::StrayBlock, 2, true}, {A::RepeatRequest, 2, true}};
  for (const Case& c : cases) {
    sim::Chaos chaos({1, 0});
    std::vector<sim::LineOutput> out;
    chaos.Act(A::None, sim::LineOutput{earlier}, out);
    chaos.Act(A::None, sim::LineOutput{request}, out);
    out.clear();
    chaos.Act(c.action, sim::LineOutput{block}, out);
    SCOPED_TRACE(sim::ChaosActionName(c.action));
    ASSERT_EQ(out.size(), c.pieces);
    if (c.pieces == 0)
      continue;
    EXPECT_EQ(out[0].bytes == block, c.blockIntact);
    EXPECT_EQ(out[0].bytes.back(), SYS_EX_END);
    for (std::uint8_t b : Bytes(out[0].bytes.begin() + 1, out[0].bytes.end() - 1))
      ASSERT_LT(b, 0x80) << "the frame stays one frame";
    EXPECT_EQ(out[0].pauseBefore.count() > 0, c.action == A::Delay);
    if (c.action == A::StrayBlock)
      EXPECT_EQ(out[1].bytes, earlier);
    if (c.action == A::RepeatRequest)
      EXPECT_EQ(out[1].bytes, request);
  }
}

} // namespace
} // namespace zr::test
