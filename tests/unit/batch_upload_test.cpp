// PC files to the card: the replace question, the pause between files, the
// numbering and the end of a batch; drag-over acceptance.
#include <gtest/gtest.h>

#include "tests/support/batch_fixture.h"

namespace zr::test {
namespace {

class UploadTest : public BatchTest {
protected:
  UploadTest()
  {
    ListCardFiles({{"ONE", 1}, {"TWO", 1}});
  }

  void ExpectEndedNormally()
  {
    EXPECT_TRUE(session.batch.SendFinished);
    EXPECT_FALSE(host.progressVisible);
    EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
    EXPECT_EQ(host.LastStatus(), "Connected thru COM port 3");
    EXPECT_FALSE(host.transferRunning);
  }
};

TEST_F(UploadTest, DeclinedMiddleFileIsSkippedAndTheThirdIsNumberThree)
{
  AddPcFile("new.kch");
  AddPcFile("two.kch");
  AddPcFile("zed.keq");
  pc.SelectAll();
  host.answers = {BoxAnswer::No};

  gestures.SolanoViewDragDrop();
  EXPECT_EQ(Offered(), std::vector<std::string>{"new"}) << "the first file starts at once";
  AcceptUpload(0);
  EXPECT_EQ(host.progressTitle, "Sending file nr 1 of 3.");
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "File already exists!\nReplace the file named TWO ?");
  EXPECT_EQ(host.boxes[0].icon, BoxIcon::Warning);
  // Three files: the question also offers Yes to All and No to All.
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::YesNoAll);

  // The next file waits for SendTimer.
  EXPECT_TRUE(fakeTimers.send.IsActive());
  fakeTimers.clock.Advance(499);
  EXPECT_EQ(Offered().size(), 1u);
  fakeTimers.clock.Advance(1);
  EXPECT_FALSE(fakeTimers.send.IsActive());
  EXPECT_EQ(Offered(), (std::vector<std::string>{"new", "zed"}));
  EXPECT_EQ(session.batch.FileNr, 3);
  EXPECT_EQ(session.batch.PcIndex, 2);

  AcceptUpload(1);
  EXPECT_EQ(host.progressTitle, "Sending file nr 3 of 3.");
  ExpectEndedNormally();
}

TEST_F(UploadTest, OneFileDeclinedSendsNothingAndShowsNoProgress)
{
  AddPcFile("one.kch");
  pc.Select({0});
  gestures.SolanoViewDragDrop(); // the fake answers No
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::YesNo) << "a single file keeps Yes and No";
  EXPECT_TRUE(com.fileNames.empty());
  EXPECT_EQ(host.progressShows, 0);
  EXPECT_EQ(host.progressCloses, 0);
  EXPECT_FALSE(fakeTimers.send.IsActive());
  EXPECT_TRUE(host.cardDirectoryCalls.empty());
  EXPECT_TRUE(session.batch.SendFinished);
}

TEST_F(UploadTest, DecliningEveryRemainingFileEndsTheBatchAfterTheLastSent)
{
  AddPcFile("a.kch");
  AddPcFile("one.kch");
  AddPcFile("two.kch");
  pc.SelectAll();
  gestures.SolanoViewDragDrop();
  AcceptUpload(0); // both questions answered No
  EXPECT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(session.batch.FileNr, 3);
  // The pause stands after the last file sent too; nothing goes in it.
  EXPECT_TRUE(fakeTimers.send.IsActive());
  EXPECT_FALSE(batch.Idle());
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(Offered().size(), 1u);
  ExpectEndedNormally();
}

TEST_F(UploadTest, ReplaceCheckComparesNamesOnly)
{
  struct Case {
    const char* pcName;
    bool asks;
  } cases[] = {
      {"one.kfx", true},      // card ONE is a Channel Library: another type still asks
      {"One.KCH", true},      // case ignored
      {"one.x.kch", false},   // ONE_X
      {"twofold.kch", false}, // TWOFOLD
      {"two.ka", true},
  };
  for (const Case& c : cases) {
    pc.items.clear();
    host.boxes.clear();
    AddPcFile(c.pcName);
    pc.Select({0});
    gestures.SolanoViewDragDrop();
    EXPECT_EQ(host.boxes.size(), c.asks ? 1u : 0u) << c.pcName;
    batch.StopTransfer(); // the next drop is a batch of its own
    fs::remove(folder.path() / c.pcName);
  }
}

TEST_F(UploadTest, AFileGoneInThePauseFailsAndTheBatchStillEnds)
{
  AddPcFile("a.kch");
  AddPcFile("b.kch");
  pc.SelectAll();
  gestures.SolanoViewDragDrop();
  AcceptUpload(0);
  ASSERT_TRUE(fakeTimers.send.IsActive());
  fs::remove(folder.path() / "b.kch"); // the files were fixed at the drop: this one is gone now
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(Offered().size(), 1u);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
  EXPECT_EQ(host.LastStatus(), "1 of 2 files failed (first: b.kch: No file loaded)");
  EXPECT_FALSE(host.transferRunning);
}

TEST_F(UploadTest, CancelDuringThePauseKeepsTheNextFileBack)
{
  AddPcFile("a.kch");
  AddPcFile("b.kch");
  pc.SelectAll();
  gestures.SolanoViewDragDrop();
  AcceptUpload(0);
  batch.StopTransfer();
  fakeTimers.clock.Advance(1000);
  EXPECT_EQ(Offered().size(), 1u);
  EXPECT_FALSE(fakeTimers.send.IsActive());
  EXPECT_FALSE(host.progressVisible);
}

TEST_F(UploadTest, FileThatCannotBeReadIsReportedAndTheBatchMovesOn)
{
  AddPcFile("a.kch");
  pc.Add("gone.kch"); // listed, but no longer in the folder
  AddPcFile("empty.kch", 0);
  AddPcFile("c.kch");
  pc.SelectAll();
  gestures.SolanoViewDragDrop();
  AcceptUpload(0);
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(Offered(), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), "File error: No file loaded"), 1);
  EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), "File error: No file to send"), 1);
  EXPECT_EQ(session.batch.FileNr, 4);
  EXPECT_TRUE(host.transferRunning);
  AcceptUpload(1);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
  // The end says what failed instead of the connection.
  EXPECT_EQ(host.LastStatus(), "2 of 4 files failed (first: gone.kch: No file loaded)");
  EXPECT_FALSE(host.transferRunning);
  // And one box names every one of them, which the next status cannot overwrite.
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text,
            "2 of 4 files failed:\n\ngone.kch: No file loaded\nempty.kch: No file to send");
}

TEST_F(UploadTest, ToAllAnswersTheRestOfTheBatch)
{
  ListCardFiles({{"ONE", 1}, {"TWO", 1}, {"THREE", 2}});
  struct Case {
    BoxAnswer answer;
    std::vector<std::string> offered;
  } cases[] = {{BoxAnswer::YesToAll, {"one", "two", "three"}}, {BoxAnswer::NoToAll, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    com.fileNames.clear();
    host.boxes.clear();
    pc.items.clear();
    for (const char* name : {"one.kch", "two.kch", "three.keq"})
      AddPcFile(name);
    pc.SelectAll();
    host.answers = {c.answer};
    gestures.SolanoViewDragDrop();
    for (std::size_t i = 0; i < c.offered.size(); ++i) {
      AcceptUpload(i);
      fakeTimers.clock.Advance(500);
    }
    EXPECT_EQ(Offered(), c.offered);
    EXPECT_EQ(host.boxes.size(), 1u) << "one question for the whole batch";
    EXPECT_FALSE(batch.Running());
  }
}

TEST_F(UploadTest, FilesDroppedFromElsewhereGoFromTheirOwnFolder)
{
  TempFolder elsewhere;
  WriteFile(elsewhere.path() / "far.kch", RandomBytes(100, 7));
  WriteFile(elsewhere.path() / "One.kch", RandomBytes(100, 8));
  std::filesystem::create_directory(elsewhere.path() / "sub.kch");
  WriteFile(elsewhere.path() / "notes.txt", RandomBytes(10, 9));
  const auto at = [&](const char* name) { return (elsewhere.path() / name).string(); };
  struct Refusal {
    std::vector<std::string> paths;
    std::string status;
  } refusals[] = {
      {{at("far.kch"), at("sub.kch")}, "Folders cannot be transferred: sub.kch"},
      {{at("notes.txt")}, "Not a ZR4812 file: notes.txt"},
      {{at("gone.kch")}, "No such file: gone.kch"},
  };
  for (const Refusal& r : refusals) {
    gestures.DropPaths(ListId::Card, r.paths);
    EXPECT_EQ(host.LastStatus(), r.status);
    EXPECT_TRUE(com.fileNames.empty());
    EXPECT_FALSE(batch.Running());
  }
  // Nothing of it is in the PC list or the selected folder; the replace
  // question is the usual one.
  host.answers = {BoxAnswer::Yes};
  gestures.DropPaths(ListId::Card, {at("far.kch"), at("One.kch")});
  AcceptUpload(0);
  EXPECT_EQ(host.progressTitle, "Sending file nr 1 of 2.");
  fakeTimers.clock.Advance(500);
  AcceptUpload(1);
  EXPECT_EQ(Offered(), (std::vector<std::string>{"far", "one"}));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "File already exists!\nReplace the file named ONE ?");
  ExpectEndedNormally();
}

TEST_F(UploadTest, DragOverAcceptance)
{
  pc.Add("a.kch");
  pc.Add("b.txt");
  pc.Add("C.KEX");
  pc.Add("noext");
  struct Case {
    std::initializer_list<int> selection;
    bool known;
  } selections[] = {
      {{}, true},                   // nothing selected: accepted, and the drop starts nothing
      {{0}, true},  {{0, 2}, true}, // case ignored
      {{1}, false}, {{0, 1}, false}, {{3}, false},
  };
  for (const Case& s : selections) {
    pc.Select(s.selection);
    EXPECT_EQ(gestures.SelectionHasKnownTypes(), s.known);
    EXPECT_EQ(gestures.AcceptsDrop(ListId::Card, ListId::Pc), s.known);
    EXPECT_EQ(gestures.AcceptsDrop(ListId::Internal, ListId::Pc), s.known);
    EXPECT_TRUE(gestures.AcceptsDrop(ListId::Pc, ListId::Card));
    EXPECT_TRUE(gestures.AcceptsDrop(ListId::Pc, ListId::Internal));
  }
  pc.Select({0});
  const ListId lists[] = {ListId::Card, ListId::Internal, ListId::Pc};
  for (ListId target : lists)
    EXPECT_FALSE(gestures.AcceptsDrop(target, target));
  EXPECT_FALSE(gestures.AcceptsDrop(ListId::Card, ListId::Internal));
  EXPECT_FALSE(gestures.AcceptsDrop(ListId::Internal, ListId::Card));
}

} // namespace
} // namespace zr::test
