// Card files to the PC: order, numbering, the replace question, the end of a
// batch, backups, and Cancel.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/batch_fixture.h"

namespace zr::test {
namespace {

class DownloadTest : public BatchTest {
protected:
  DownloadTest()
  {
    // Sorted by name as the card list shows it.
    ListCardFiles({{"A", 0}, {"B", 1}, {"C", 0}, {"D", 2}});
  }
};

TEST_F(DownloadTest, ListResortedBetweenFilesNeitherRepeatsNorSkipsAFile)
{
  card.Select({0, 1, 2});
  gestures.PCViewDragDrop(ListId::Card);
  EXPECT_TRUE(host.transferRunning);
  // Directory replies re-sort the list: D, C, B, A, selection kept per item.
  std::reverse(card.items.begin(), card.items.end());
  ServeCardFile(0, RandomBytes(10, 1));
  std::rotate(card.items.begin(), card.items.begin() + 1, card.items.end());
  ServeCardFile(1, RandomBytes(10, 2));
  ServeCardFile(2, RandomBytes(10, 3));
  std::vector<std::string> asked;
  for (const auto& f : com.fileNames)
    asked.push_back(f.name);
  EXPECT_EQ(asked, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_FALSE(host.transferRunning);
  EXPECT_EQ(host.LastStatus(), "Connected thru COM port 3");
}

TEST_F(DownloadTest, SelectedFilesArriveInListOrderNumberedFromOne)
{
  card.Select({1, 0, 2}); // picked B, A, C
  const Bytes a = RandomBytes(2500, 1), b = RandomBytes(10, 2), c = RandomBytes(999, 3);

  gestures.PCViewDragDrop(ListId::Card);
  ASSERT_EQ(com.fileNames.size(), 1u);
  EXPECT_EQ(com.fileNames[0].name, "A");
  EXPECT_EQ(com.fileNames[0].type, 0);
  EXPECT_TRUE(com.fileNames[0].request);
  EXPECT_EQ(session.batch.FileNr, 1);

  ServeCardFile(0, a);
  ASSERT_EQ(com.fileNames.size(), 2u);
  EXPECT_EQ(com.fileNames[1].name, "B");
  EXPECT_EQ(com.fileNames[1].type, 1);
  EXPECT_EQ(session.batch.FileNr, 2);
  EXPECT_EQ(session.batch.CardIndex, 1);
  EXPECT_TRUE(host.progressVisible) << "the dialog stays up between files";

  ServeCardFile(1, b);
  EXPECT_EQ(host.progressTitle, "Receiving file nr 2 of 3.");
  ASSERT_EQ(com.fileNames.size(), 3u);
  EXPECT_EQ(com.fileNames[2].name, "C");
  EXPECT_EQ(session.batch.FileNr, 3);

  ServeCardFile(2, c);
  EXPECT_EQ(com.fileNames.size(), 3u) << "D was not selected";
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.progressCloses, 1) << "closed after the last file only";
  EXPECT_EQ(host.LastStatus(), "Connected thru COM port 3");
  EXPECT_EQ(ReadFile(folder.path() / "A.kpr"), a);
  EXPECT_EQ(ReadFile(folder.path() / "B.kch"), b);
  EXPECT_EQ(ReadFile(folder.path() / "C.kpr"), c);
}

TEST_F(DownloadTest, DeclinedReplaceSkipsTheFileButCountsIt)
{
  card.Select({0, 1, 2});
  WriteFile(folder.path() / "A.kpr", Bytes{1, 2, 3});
  host.pcListSizes["A.kpr"] = "1 KB";
  host.answers = {BoxAnswer::No};

  gestures.PCViewDragDrop(ListId::Card);
  ServeCardFile(0, RandomBytes(50, 4));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].icon, BoxIcon::Warning);
  // Three files: the question also offers Yes to All and No to All.
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::YesNoAll);
  EXPECT_EQ(ReadFile(folder.path() / "A.kpr"), (Bytes{1, 2, 3}));
  ASSERT_EQ(com.fileNames.size(), 2u);
  EXPECT_EQ(session.batch.FileNr, 2);

  ServeCardFile(1, RandomBytes(50, 5));
  EXPECT_EQ(host.progressTitle, "Receiving file nr 2 of 3.");
  ServeCardFile(2, RandomBytes(50, 6));
  EXPECT_EQ(session.batch.FileNr, 3);
  EXPECT_FALSE(host.progressVisible);
}

TEST_F(DownloadTest, BackupAsksForTheDraggedTypeOnlyEvenWithCardFilesSelected)
{
  card.SelectAll();
  internal.Select({7});
  const std::string target = (folder.path() / "mix.ksu").string();
  host.saveAnswers = {target};

  gestures.PCViewDragDrop(ListId::Internal);
  EXPECT_TRUE(session.batch.InternalMode);
  ASSERT_EQ(host.saveRequests.size(), 1u);
  EXPECT_EQ(host.saveRequests[0].extension, "ksu");
  ASSERT_EQ(com.blockRequests.size(), 1u);
  EXPECT_EQ(com.blockRequests[0].type, 7);
  EXPECT_EQ(com.blockRequests[0].block, 0u);
  EXPECT_TRUE(com.fileNames.empty());

  const Bytes setup = RandomBytes(3000, 7);
  const Bytes block0 = BuildFileBlock(7, setup.data(), static_cast<std::uint32_t>(setup.size()), 0);
  Deliver(block0);
  for (unsigned k = 1; k < BlockCount(setup.size()); ++k)
    Deliver(BuildFileBlock(7, setup.data(), static_cast<std::uint32_t>(setup.size()), k));
  EXPECT_EQ(ReadFile(target), setup);
  EXPECT_TRUE(host.nextCardFileCalls.empty());
  EXPECT_TRUE(com.fileNames.empty()) << "no card file follows a backup";
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.LastStatus(), "Connected thru COM port 3");
}

TEST_F(DownloadTest, CancelStopsTheBatchAndANewDownloadStartsNormally)
{
  card.Select({0, 1});
  const Bytes big = RandomBytes(5000, 8);
  gestures.PCViewDragDrop(ListId::Card);
  Deliver(BuildFileBlock(0, big.data(), static_cast<std::uint32_t>(big.size()), 0));
  ASSERT_TRUE(host.progressVisible);
  ASSERT_TRUE(session.RxTransfer.Buffer);

  batch.StopTransfer();
  EXPECT_TRUE(session.batch.CancelRequested);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.LastStatus(), "Connected thru COM port 3");
  EXPECT_FALSE(session.RxTransfer.Buffer);

  // The block in flight is dropped: nothing is written, nothing more asked.
  const std::size_t asked = com.blockRequests.size();
  Deliver(BuildFileBlock(0, big.data(), static_cast<std::uint32_t>(big.size()), 1));
  EXPECT_EQ(com.blockRequests.size(), asked);
  EXPECT_FALSE(fs::exists(folder.path() / "A.kpr"));

  // The next file is asked for behind a marker: the given-up file's
  // answer may still come.
  card.Select({1});
  gestures.PCViewDragDrop(ListId::Card);
  EXPECT_EQ(com.fileNames.size(), 1u);
  AnswerDirectoryRequests(session, com);
  ASSERT_EQ(com.fileNames.size(), 2u);
  EXPECT_EQ(com.fileNames[1].name, "B");
  const Bytes b = RandomBytes(1500, 9);
  ServeCardFile(1, b);
  EXPECT_EQ(ReadFile(folder.path() / "B.kch"), b);
  EXPECT_FALSE(host.progressVisible);
}

} // namespace
} // namespace zr::test
