// The copy list and Paste on the card list.
#include <gtest/gtest.h>

#include "tests/support/batch_fixture.h"

namespace zr::test {
namespace {

class CopyTest : public BatchTest {
protected:
  CopyTest()
  {
    ListCardFiles({{"ONE", 1}, {"TWO", 2}});
  }
};

TEST_F(CopyTest, PasteAsksLikeADropAndPausesBeforeEachFurtherFile)
{
  AddPcFile("one.kch"); // clashes with the card's ONE
  AddPcFile("skip.kch");
  AddPcFile("two.keq"); // clashes with TWO
  pc.Select({0, 2});
  gestures.Copy4Click();
  EXPECT_EQ(gestures.board.CopyCount, 2);
  EXPECT_EQ(gestures.board.CopySource, CopySourceKind::Pc);

  pc.SelectAll(); // a selection changed after Copy does not change what goes
  host.answers = {BoxAnswer::Yes, BoxAnswer::Yes};
  gestures.Paste1Click();
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "File already exists!\nReplace the file named ONE ?");
  EXPECT_EQ(Offered(), std::vector<std::string>{"one"});
  AcceptUpload(0);
  EXPECT_EQ(host.progressTitle, "Sending file nr 1 of 2.");
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].text, "File already exists!\nReplace the file named TWO ?");
  EXPECT_EQ(Offered(), std::vector<std::string>{"one"}) << "the next file waits for the pause";
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(Offered(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(session.batch.FileNr, 2);
  EXPECT_EQ(session.batch.PcIndex, 1);
  AcceptUpload(1);
  EXPECT_EQ(host.progressTitle, "Sending file nr 2 of 2.");

  EXPECT_EQ(fakeTimers.send.starts, 1);
  EXPECT_EQ(Offered().size(), 2u);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_FALSE(host.transferRunning);
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
}

TEST_F(CopyTest, PastedNameWithoutAKnownTypeIsRefusedAndTheRestGoes)
{
  AddPcFile("readme.txt");
  AddPcFile("a.kch");
  AddPcFile("notes");
  pc.SelectAll();
  gestures.Copy4Click();
  EXPECT_EQ(gestures.board.CopyList[0].type, -1);
  EXPECT_EQ(gestures.board.CopyList[1].type, 1);
  gestures.Paste1Click();
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), "File error: Unknown file type"), 1);
  EXPECT_EQ(Offered(), std::vector<std::string>{"a"});
  EXPECT_EQ(session.batch.FileNr, 2);
  AcceptUpload(0); // the last entry is refused too, which ends the batch
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), "File error: Unknown file type"), 2);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.LastStatus(), "2 of 3 files failed (first: readme.txt: Unknown file type)");
}

TEST_F(CopyTest, OnlyRefusedNamesLeaveTheRefusalOnTheStatusLine)
{
  AddPcFile("readme.txt");
  pc.Select({0});
  gestures.Copy4Click();
  gestures.Paste1Click();
  EXPECT_TRUE(com.fileNames.empty());
  EXPECT_EQ(host.LastStatus(), "1 of 1 files failed (first: readme.txt: Unknown file type)");
  EXPECT_EQ(host.progressShows, 0);
  EXPECT_FALSE(host.transferRunning);
}

TEST_F(CopyTest, PasteLooksInTheFolderSelectedNow)
{
  AddPcFile("a.kch");
  AddPcFile("b.kch");
  pc.SelectAll();
  gestures.Copy4Click();
  TempFolder other;
  WriteFile(other.path() / "b.kch", Bytes{9, 9});
  host.pcFolder = other.str();
  gestures.Paste1Click();
  EXPECT_EQ(Offered(), std::vector<std::string>{"b"});
  EXPECT_EQ(host.statuses.front(), "File error: No file loaded");
  EXPECT_EQ(session.TxTransfer.Size, 2u);
}

TEST_F(CopyTest, PasteEnabledStatesAndSources)
{
  struct Case {
    void (ListGestures::*copy)();
    CopySourceKind source;
    bool paste1;
    bool paste2;
  } cases[] = {
      {&ListGestures::Copy1Click, CopySourceKind::Card, false, true},
      {&ListGestures::Copy2Click, CopySourceKind::Internal, true, false},
      {&ListGestures::Copy4Click, CopySourceKind::Pc, true, true},
  };
  AddPcFile("a.kch");
  card.Select({1});
  internal.Select({4});
  pc.Select({0});
  for (const Case& c : cases) {
    (gestures.*c.copy)();
    EXPECT_EQ(gestures.board.CopySource, c.source);
    EXPECT_EQ(gestures.Paste1Enabled(), c.paste1);
    EXPECT_EQ(gestures.Paste2Enabled(), c.paste2);
    EXPECT_EQ(gestures.board.CopyCount, 1);
  }
}

TEST_F(CopyTest, CopiedCardOrInternalItemsArePastedNowhere)
{
  internal.Select({7});
  gestures.Copy2Click();
  EXPECT_EQ(gestures.board.CopyList[0].name, "Setup");
  EXPECT_EQ(gestures.board.CopyList[0].type, 7);
  gestures.Paste1Click();
  EXPECT_FALSE(batch.Running());
  EXPECT_TRUE(com.fileNames.empty());
  EXPECT_TRUE(com.sentBlocks.empty());

  card.Select({0, 1});
  gestures.Copy1Click();
  EXPECT_EQ(gestures.board.CopyList[1].name, "TWO");
  EXPECT_EQ(gestures.board.CopyList[1].type, 2);
  gestures.Paste1Click();
  EXPECT_TRUE(com.fileNames.empty());
}

TEST_F(CopyTest, CopyListKeepsTheFirst256Items)
{
  for (int i = 0; i < 300; ++i)
    pc.Add("f" + std::to_string(i) + ".kch");
  pc.SelectAll();
  gestures.Copy4Click();
  EXPECT_EQ(gestures.board.CopyCount, COPY_LIST_SIZE);
  EXPECT_EQ(gestures.board.CopyList[COPY_LIST_SIZE - 1].name, "f255.kch");

  pc.Select({5, 9});
  gestures.Copy4Click();
  EXPECT_EQ(gestures.board.CopyCount, 2);
  EXPECT_EQ(gestures.board.CopyList[1].name, "f9.kch");
  EXPECT_EQ(gestures.board.CopyList[2].name, "");
  EXPECT_EQ(gestures.board.CopyList[2].type, -1);
}

TEST_F(CopyTest, ADropAfterCopyUsesTheSelectionAgain)
{
  AddPcFile("a.kch");
  AddPcFile("b.kch");
  pc.Select({0});
  gestures.Copy4Click();
  pc.Select({1});
  gestures.SolanoViewDragDrop();
  EXPECT_EQ(gestures.board.CopySource, CopySourceKind::None);
  EXPECT_EQ(Offered(), std::vector<std::string>{"b"});
  EXPECT_EQ(batch.SendBatchCount(), 1);
}

} // namespace
} // namespace zr::test
