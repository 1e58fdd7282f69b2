// Sending PC files block by block as the console asks, and the end of a
// series of files.
#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"
#include "files/datatypes.h"

namespace zr::test {
namespace {

class SendTest : public EngineTest {
protected:
  SendTest()
  {
    session.link.CommMedium = 1;
    session.link.ConnectedComPort = 2;
    host.pcSelected = 1;
    session.batch.FileNr = 1;
  }

  // Uploads a file to the card up to the console's acknowledgement.
  void Offer(const std::string& name, const Bytes& content)
  {
    WriteFile(folder.path() / name, content);
    session.SendFileToCard(1, name, host.pcFolder);
  }

  // The console acknowledges the name (0x52), which asks for block 0.
  void Acknowledge(int type)
  {
    session.TxTransfer.Medium = 1;
    session.SendRequestedBlock(com, type, 0);
  }

  Bytes PayloadOf(const Bytes& message) const
  {
    return Bytes(message.begin() + 13, message.end() - 2);
  }
};

TEST_F(SendTest, OfferSendsTheCardNameAndLoadsTheFile)
{
  Offer("My Song.old.KPR", RandomBytes(10, 1));
  ASSERT_EQ(com.fileNames.size(), 1u);
  EXPECT_EQ(com.fileNames[0].type, 0);
  EXPECT_EQ(com.fileNames[0].name, "my_song_");
  EXPECT_FALSE(com.fileNames[0].request);
  EXPECT_EQ(session.TxTransfer.Size, 10u);
  EXPECT_EQ(session.TxTransfer.Medium, 0);
  EXPECT_TRUE(com.sentBlocks.empty());
}

TEST_F(SendTest, BlocksAreBuiltFromTheFileOnEveryRequest)
{
  const Bytes file = RandomBytes(5000, 2);
  Offer("long.kch", file);
  Acknowledge(1);
  for (unsigned k : {1u, 2u, 3u, 4u, 2u})
    session.SendRequestedBlock(com, 1, k);
  ASSERT_EQ(com.sentBlocks.size(), 6u);
  // Block 1 starts with file byte 868.
  const Bytes block1 = PayloadOf(com.sentBlocks[1]);
  EXPECT_EQ(block1[0], file[868] & 0x7F);
  EXPECT_EQ((block1[7] & 1) != 0, (file[868] & 0x80) != 0);
  // A repeated request sends the same bytes again.
  EXPECT_EQ(com.sentBlocks[2], com.sentBlocks[5]);
  for (std::size_t i = 0; i < com.sentBlocks.size(); ++i)
    EXPECT_EQ(com.sentBlocks[i], BuildFileBlock(1, file.data(), 5000, i == 5 ? 2 : static_cast<unsigned>(i)));
}

TEST_F(SendTest, RequestOfAnotherTypeIsIllegal)
{
  Offer("a.kch", RandomBytes(10, 3));
  Acknowledge(2);
  EXPECT_EQ(host.LastStatus(), "File error: File has illegal data");
  EXPECT_TRUE(com.sentBlocks.empty());
  Acknowledge(1); // the file stays loaded; the console may ask again
  EXPECT_EQ(com.sentBlocks.size(), 1u);
}

TEST_F(SendTest, EmptyFileFailsAfterTheAcknowledgement)
{
  Offer("empty.kfx", {});
  ASSERT_EQ(com.fileNames.size(), 1u);
  Acknowledge(4);
  EXPECT_EQ(host.LastStatus(), "File error: No file to send");
  EXPECT_TRUE(com.sentBlocks.empty());
}

TEST_F(SendTest, ProgressRoundsUpAndTheSeriesEnds)
{
  const Bytes file = RandomBytes(2500, 4); // 3 blocks
  Offer("three.keq", file);
  Acknowledge(2);
  EXPECT_TRUE(fakeTimers.download.IsActive());
  session.SendRequestedBlock(com, 2, 1);
  session.SendRequestedBlock(com, 2, 2);
  EXPECT_EQ(host.progressLabels, (std::vector<std::string>{"34%", "67%", "100%"}));
  EXPECT_EQ(host.progressTitle, "Sending file nr 1 of 1.");
  EXPECT_EQ(host.progressMax, 3);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
  EXPECT_EQ(host.LastStatus(), "Connected thru COM port 2");
}

TEST_F(SendTest, MoreFilesContinueWithTheNextOne)
{
  host.pcSelected = 2;
  session.batch.PcIndex = 4;
  Offer("one.ksn", RandomBytes(10, 5));
  Acknowledge(6);
  EXPECT_EQ(host.nextPcFileCalls, std::vector<int>{4});
  EXPECT_FALSE(session.batch.SendFinished);
  EXPECT_TRUE(host.cardDirectoryCalls.empty());
}

struct OsCase {
  int selected;
  bool expectNext;
};

class OperatingSystemRestore : public SendTest, public ::testing::WithParamInterface<OsCase> {};

TEST_P(OperatingSystemRestore, ConfirmsTheUpdateAndLeavesTheCardAlone)
{
  host.pcSelected = GetParam().selected;
  session.batch.InternalMode = true;
  WriteFile(folder.path() / "os.kex", RandomBytes(10, 6));
  session.RestoreInternal(1, "os.kex", host.pcFolder);
  EXPECT_EQ(host.progressTitle, std::string("Restoring file nr 1 of ") + std::to_string(GetParam().selected) + ".");
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Please press enter on your mixer to save the update.");
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
  EXPECT_TRUE(host.cardDirectoryCalls.empty());
  if (GetParam().expectNext) {
    EXPECT_EQ(host.nextPcFileCalls.size(), 1u);
  } else {
    EXPECT_TRUE(session.batch.SendFinished);
    EXPECT_EQ(host.LastStatus(), "  Sending file");
  }
}

INSTANTIATE_TEST_SUITE_P(LastOrNot, OperatingSystemRestore, ::testing::Values(OsCase{1, false}, OsCase{2, true}));

TEST_F(SendTest, RestoreSendsBlockZeroAtOnce)
{
  session.batch.InternalMode = true;
  const Bytes file = RandomBytes(1500, 7);
  WriteFile(folder.path() / "Setup.KSU", file);
  session.RestoreInternal(1, "Setup.KSU", host.pcFolder);
  EXPECT_TRUE(com.fileNames.empty());
  ASSERT_EQ(com.sentBlocks.size(), 1u);
  EXPECT_EQ(com.sentBlocks[0], BuildFileBlock(7, file.data(), 1500, 0));
  EXPECT_EQ((std::vector<std::string>{host.statuses.begin(), host.statuses.end()}),
            (std::vector<std::string>{"Restoring..", "  Sending file"}));
}

TEST_F(SendTest, TooLargeFileIsRefusedBeforeAnyByteIsSent)
{
  {
    std::ofstream(folder.path() / "huge.kex");
  }
  fs::resize_file(folder.path() / "huge.kex", MAX_FILE_SIZE + 1);
  session.SendFileToCard(1, "huge.kex", host.pcFolder);
  EXPECT_EQ(host.LastStatus(), "File error: File too large to send");
  EXPECT_TRUE(com.fileNames.empty());
  EXPECT_EQ(session.TxTransfer.Buffer, nullptr);
}

TEST_F(SendTest, StrayRequestNeverWritesTheRecordsFile)
{
  const Bytes file = RandomBytes(10, 8);
  Offer("keep.kpr", file);
  // The console asks for a block before acknowledging the name.
  session.SendRequestedBlock(com, 0, 0);
  EXPECT_EQ(host.LastStatus(), "File error: No file loaded");
  EXPECT_EQ(ReadFile(folder.path() / "keep.kpr"), file);
  EXPECT_TRUE(host.saveRequests.empty());
}

TEST_F(SendTest, LinkThatCannotAnswerSaysSo)
{
  Offer("x.kpr", RandomBytes(10, 9));
  com.ready = false;
  Acknowledge(0);
  EXPECT_EQ(host.LastStatus(), "  No COM port");
  EXPECT_TRUE(com.sentBlocks.empty());
}

} // namespace
} // namespace zr::test
