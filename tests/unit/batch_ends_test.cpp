// Every batch ends: the paths on which a batch used to wait for ever, crash
// or take one file's bytes for another's, each in a few lines.
#include <gtest/gtest.h>

#include "tests/support/batch_fixture.h"

namespace zr::test {
namespace {

class BatchEndsTest : public BatchTest {
protected:
  BatchEndsTest() { ListCardFiles({{"A", 0}, {"B", 0}}); }

  void ExpectEnded()
  {
    EXPECT_FALSE(batch.Running());
    EXPECT_FALSE(host.transferRunning) << "the window is free again";
  }
};

// A line that is gone when the first request goes out: nothing will ever
// answer, so each kind of batch ends at once with its file failed.
TEST_F(BatchEndsTest, ALinkThatCannotSendEndsTheBatch)
{
  AddPcFile("up.kch");
  const std::function<void()> starts[] = {
      [&] { batch.Download({{0, "A"}, {0, "B"}}, folder.str()); },
      [&] { batch.Upload({{folder.str(), "up.kch"}}); },
      [&] { batch.Backup(7, (folder.path() / "setup.ksu").string()); },
  };
  com.sends = false;
  for (const auto& start : starts) {
    host.boxes.clear();
    start();
    ExpectEnded();
    ASSERT_EQ(host.boxes.size(), 1u) << "the batch's summary";
    EXPECT_NE(host.boxes[0].text.find("No serial device"), std::string::npos) << host.boxes[0].text;
  }
}

TEST_F(BatchEndsTest, ABlockDamagedAgainAndAgainFailsItsFileAndTheBatchGoesOn)
{
  batch.Download({{0, "A"}, {0, "B"}}, folder.str());
  Bytes block = BuildFileBlock(0, RandomBytes(10, 1).data(), 10, 0);
  block[block.size() - 2] ^= 0x01; // the checksum never fits
  for (int i = 0; i < MAX_BLOCK_TRIES; ++i) {
    Deliver(block);
    AnswerDirectoryRequests(session, com); // a damaged block 0 is asked for behind a marker
  }
  Settle();
  AnswerDirectoryRequests(session, com);
  // Block 0 of a card file is asked for again by its name (a request for
  // block 0 alone would start a backup on the console).
  EXPECT_TRUE(com.blockRequests.empty());
  ASSERT_EQ(com.fileNames.size(), static_cast<std::size_t>(MAX_BLOCK_TRIES + 1));
  EXPECT_EQ(com.fileNames.back().name, "B");
  EXPECT_EQ(host.failedFiles, std::vector<std::string>{"A.kpr: Block damaged again and again"});
}

// A block of no payload for a one-block file is damaged, not read past.
TEST_F(BatchEndsTest, ABlockWithoutPayloadIsAskedForAgain)
{
  batch.Download({{0, "A"}}, folder.str());
  const std::uint8_t checksumOnly[] = {0};
  session.RxTransfer.Medium = 1;
  session.ReceiveFileBlock(1, checksumOnly, 0);
  AnswerDirectoryRequests(session, com);
  EXPECT_EQ(com.fileNames.size(), 2u);
  EXPECT_TRUE(batch.Running());
}

// Cancel while the replace question is open: Yes then writes nothing, and
// nothing new starts before the question is answered.
TEST_F(BatchEndsTest, CancelUnderTheReplaceQuestionWritesNothing)
{
  WriteFile(folder.path() / "A.kpr", {1, 2, 3});
  host.onBox = [&](const BoxShown&) {
    batch.StopTransfer();
    // The question is still open: no new batch may take the engine under it.
    EXPECT_FALSE(batch.Download({{0, "B"}}, folder.str()));
  };
  host.answers = {BoxAnswer::Yes};
  batch.Download({{0, "A"}}, folder.str());
  ServeCardFile(0, RandomBytes(50, 2));
  EXPECT_EQ(ReadFile(folder.path() / "A.kpr"), (Bytes{1, 2, 3}));
  ExpectEnded();
}

// The same question answered later, as a front end with its own dialog
// does: Cancel meanwhile ends the batch, the late Yes writes nothing, and
// the answer frees the engine.
TEST_F(BatchEndsTest, ALateAnswerAfterCancelWritesNothing)
{
  WriteFile(folder.path() / "A.kpr", {1, 2, 3});
  struct Later : BatchListener {
    bool AskReplace(const ReplaceQuestion&, const Reply<ReplaceAnswer>& r) override { return reply = r, true; }
    Reply<ReplaceAnswer> reply;
  } later;
  batch.Download({{0, "A"}}, folder.str(), &later);
  ServeCardFile(0, RandomBytes(50, 2));
  ASSERT_TRUE(later.reply.Open());
  batch.StopTransfer();
  EXPECT_FALSE(batch.Download({{0, "B"}}, folder.str()));
  later.reply(ReplaceAnswer::Yes);
  EXPECT_EQ(ReadFile(folder.path() / "A.kpr"), (Bytes{1, 2, 3}));
  ExpectEnded();
  EXPECT_TRUE(batch.Idle());
}

// Each question of a batch answered later: until the answer nothing moves
// (nothing written, offered, sent or asked for, and the engine is not
// idle); the answer then carries the batch on from where it asked.
TEST_F(BatchEndsTest, EveryQuestionAnsweredLaterCarriesTheBatchOn)
{
  struct Later : BatchListener {
    bool AskReplace(const ReplaceQuestion&, const Reply<ReplaceAnswer>& r) override { return replace = r, true; }
    bool AskRestore(const std::vector<int>&, const Reply<bool>& r) override { return restore = r, true; }
    Reply<ReplaceAnswer> replace;
    Reply<bool> restore;
  };
  const Bytes song = RandomBytes(50, 3);
  struct Row {
    const char* name;
    std::function<void(Later&)> start;
    std::function<void(Later&)> answer;
    std::function<bool()> done; // what the answer brought about
  };
  const Row rows[] = {
      {"download over a PC file",
       [&](Later& l) {
         WriteFile(folder.path() / "A.kpr", {1, 2, 3});
         batch.Download({{0, "A"}}, folder.str(), &l);
         ServeCardFile(0, song);
       },
       [](Later& l) { l.replace(ReplaceAnswer::Yes); },
       [&] { return ReadFile(folder.path() / "A.kpr") == song; }},
      {"upload over a card file",
       [&](Later& l) {
         AddPcFile("a.kpr");
         batch.Upload({{folder.str(), "a.kpr"}}, &l);
       },
       [](Later& l) { l.replace(ReplaceAnswer::Yes); }, [&] { return Offered().size() == 1; }},
      {"restore",
       [&](Later& l) {
         AddPcFile("b.ksu");
         EXPECT_TRUE(batch.Restore({{folder.str(), "b.ksu"}}, &l)) << "asking is under way";
       },
       [](Later& l) { l.restore(true); }, [&] { return com.sentBlocks.size() == 1; }},
      {"backup's save dialog",
       [&](Later& l) {
         host.saveLater = true;
         EXPECT_TRUE(batch.Backup(7, std::nullopt, &l)) << "asking is under way";
       },
       [&](Later&) { host.saveReply((folder.path() / "setup").string()); },
       [&] { return com.blockRequests.size() == 1 && session.RxTransfer.PcPath.ends_with("setup.ksu"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Later later;
    const std::size_t sent = com.sentBlocks.size();
    row.start(later);
    EXPECT_FALSE(row.done());
    EXPECT_EQ(com.sentBlocks.size(), sent);
    EXPECT_TRUE(later.replace.Open() || later.restore.Open() || host.saveReply.Open());
    EXPECT_FALSE(batch.Idle());
    row.answer(later);
    EXPECT_TRUE(row.done());
    batch.StopTransfer();
    com.fileNames.clear();
    com.sentBlocks.clear();
    com.blockRequests.clear();
  }
}

// A request for a block the file does not have leaves nothing to wait for:
// the file fails and the batch ends.
TEST_F(BatchEndsTest, ARequestPastTheEndFailsTheFile)
{
  AddPcFile("up.kch", 2500);
  batch.Upload({{folder.str(), "up.kch"}});
  session.TxTransfer.Medium = 1;
  session.SendRequestedBlock(com, 1, 0);
  session.SendRequestedBlock(com, 1, 9);
  EXPECT_EQ(host.failedFiles, std::vector<std::string>{"up.kch: File has illegal data"});
  ExpectEnded();
}

// After a file that could not be sent, the previous one still answers the
// console's repeated request for its last block.
TEST_F(BatchEndsTest, AnUnsendableFileLeavesThePreviousOneAnswering)
{
  AddPcFile("x.kch", 100);
  batch.Upload({{folder.str(), "x.kch"}, {folder.str(), "gone.kch"}});
  AcceptUpload(0);
  fakeTimers.clock.Advance(500); // gone.kch is refused after the pause
  const std::size_t sent = com.sentBlocks.size();
  session.SendRequestedBlock(com, 1, 0);
  EXPECT_EQ(com.sentBlocks.size(), sent + 1);
  EXPECT_NE(host.LastStatus(), "File error: No file loaded");
  ExpectEnded();
}

// A console that sends a one-block file's block again, unasked, after the
// next file was asked for: the next file keeps its own bytes, and two files
// that are the same still both arrive. What comes while the line settles
// between the two files is dropped.
class RepeatedOneBlockFile : public BatchEndsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RepeatedOneBlockFile, IsNotTakenForTheNext)
{
  const bool same = GetParam();
  const auto offer = [&](const Bytes& m) {
    session.OnDataBlock({1, m[7], 1, 0, m.data() + 13, m.size() - DATA_BLOCK_OVERHEAD});
  };
  const Bytes a = RandomBytes(10, 1), b = same ? a : RandomBytes(12, 2);
  const Bytes blockA = BuildFileBlock(0, a.data(), static_cast<std::uint32_t>(a.size()), 0);
  batch.Download({{0, "A"}, {0, "B"}}, folder.str());
  offer(blockA);
  offer(blockA); // again at once: the line is settling, nothing is awaited
  Settle();
  AnswerDirectoryRequests(session, com); // after a stray, B is asked for behind a marker
  ASSERT_EQ(com.fileNames.back().name, "B");
  const std::size_t asked = com.fileNames.size();
  offer(blockA); // again, after B was asked for: in doubt, B is asked for once more
  EXPECT_EQ(com.fileNames.size(), asked) << "behind a marker";
  AnswerDirectoryRequests(session, com);
  EXPECT_EQ(com.fileNames.size(), asked + 1);
  // B's answer, also when it is the same bytes: after a fresh marker they are B's.
  offer(BuildFileBlock(0, b.data(), static_cast<std::uint32_t>(b.size()), 0));
  Settle();
  EXPECT_EQ(ReadFile(folder.path() / "B.kpr"), b);
  EXPECT_EQ(ReadFile(folder.path() / "A.kpr"), a);
  ExpectEnded();
}

INSTANTIATE_TEST_SUITE_P(Files, RepeatedOneBlockFile, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TheSame" : "Different"; });

// A card listing under way when a batch starts gives way (its replies would
// stop the batch's watchdog) and runs again when the batch is over.
TEST_F(BatchEndsTest, AListingGivesWayToABatchAndRunsAgainAfterIt)
{
  batch.ListCard();
  const std::size_t listed = com.directoryRequests.size();
  batch.Download({{0, "A"}}, folder.str());
  session.OnDirectoryReply(1, 0, {"A"});
  EXPECT_TRUE(fakeTimers.upload.IsActive()) << "the download's watchdog";
  EXPECT_EQ(com.directoryRequests.size(), listed) << "the listing waits";
  ServeCardFile(0, RandomBytes(10, 1));
  ExpectEnded();
  ASSERT_EQ(com.directoryRequests.size(), listed + 1);
  EXPECT_EQ(com.directoryRequests.back(), 0);
}

// While "Back up everything..." holds the engine, the window's own
// commands start nothing.
TEST_F(BatchEndsTest, NoSecondBatchWhileAJobHoldsTheEngine)
{
  BatchListener job;
  ASSERT_TRUE(batch.Claim(&job));
  AddPcFile("x.ksu");
  EXPECT_FALSE(batch.Backup(7));
  EXPECT_FALSE(batch.Restore({{folder.str(), "x.ksu"}}));
  EXPECT_FALSE(batch.Download({{0, "A"}}, folder.str()));
  EXPECT_TRUE(host.boxes.empty()) << "not even the restore question";
  EXPECT_TRUE(host.transferRunning);
  batch.Release(&job);
  EXPECT_FALSE(host.transferRunning);
}

} // namespace
} // namespace zr::test
