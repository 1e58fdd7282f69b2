// Restoring PC files into the console's internal memory: the rules on the
// selection, the confirmation, and the run of several files.
#include <gtest/gtest.h>

#include "tests/support/batch_fixture.h"

namespace zr::test {
namespace {

constexpr const char* CONFIRM = "Are you sure you want to replace the current settings in the ZR4812!";
constexpr const char* ONE_EACH = "You can only restore ONE file of each type.";
constexpr const char* PROJECT_ALONE =
    "If you restore a 'Project (all)' file, all files of types other than 'Operating System' are "
    "replaced.\n\nSelect either a 'Project (all)' file or a combination of other files.";
constexpr const char* PRESS_ENTER = "Please press enter on your mixer to save the update.";

class RestoreTest : public BatchTest {
protected:
  RestoreTest()
  {
    // Sorted by name as the PC list shows them.
    for (const char* name : {"a.kpr", "b.ksu", "c.kch", "d.kch", "e.kex", "f.kex", "g.keq", "h.txt"})
      AddPcFile(name, 1200);
    ListCardFiles({{"A", 0}}); // a card name equal to a PC name asks nothing during a restore
  }

  // Data blocks sent so far, by data type.
  std::vector<int> SentTypes() const
  {
    std::vector<int> types;
    for (const Bytes& b : com.sentBlocks)
      types.push_back(ParseMessage(b.data(), b.size())->type);
    return types;
  }

  // The console asks for the rest of the file being restored.
  void ServeRestore()
  {
    const int type = session.TxTransfer.DataType;
    const auto total = BlockCount(session.TxTransfer.Size);
    for (unsigned k = 1; k < total && !session.batch.SendFinished; ++k)
      session.SendRequestedBlock(com, type, k);
  }
};

TEST_F(RestoreTest, SelectionRules)
{
  struct Case {
    std::initializer_list<int> selection;
    const char* message; // nullptr: the confirmation comes
  } cases[] = {
      {{}, "Select one or more files to restore."},
      {{0, 1}, PROJECT_ALONE},
      {{2, 3}, ONE_EACH},
      {{0, 2, 3}, ONE_EACH}, // the count rule comes first
      {{0, 4}, nullptr},     // Project with an operating system is fine
      {{4, 5}, nullptr},     // several operating systems too
      {{1, 2, 6}, nullptr},
      {{2}, nullptr},
      {{0, 7}, nullptr}, // a name of no type counts nowhere
  };
  for (const Case& c : cases) {
    host.boxes.clear();
    pc.Select(c.selection);
    gestures.InternalViewDragDrop(); // the fake answers No to the confirmation
    ASSERT_EQ(host.boxes.size(), 1u);
    if (c.message) {
      EXPECT_EQ(host.boxes[0].text, c.message);
      EXPECT_EQ(host.boxes[0].icon, BoxIcon::Information);
      EXPECT_EQ(host.boxes[0].buttons, BoxButtons::Ok);
    } else {
      EXPECT_EQ(host.boxes[0].text, CONFIRM);
      EXPECT_EQ(host.boxes[0].icon, BoxIcon::Warning);
      EXPECT_EQ(host.boxes[0].buttons, BoxButtons::YesNo);
    }
    EXPECT_TRUE(session.batch.InternalMode);
    EXPECT_TRUE(com.sentBlocks.empty());
    EXPECT_EQ(host.progressShows, 0);
  }
}

TEST_F(RestoreTest, ProjectAndOperatingSystemGoInListOrder)
{
  pc.Select({4, 0});
  host.answers = {BoxAnswer::Yes};
  gestures.InternalViewDragDrop();
  // Block 0 goes at once, without a name message or a card name check.
  EXPECT_TRUE(com.fileNames.empty());
  ASSERT_EQ(SentTypes(), std::vector<int>{0});
  EXPECT_EQ(host.progressTitle, "Restoring file nr 1 of 2.");
  ServeRestore();
  EXPECT_EQ(host.boxes.size(), 1u) << "no replace question for a restore";
  ASSERT_TRUE(fakeTimers.send.IsActive());
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(SentTypes().back(), 8);
  EXPECT_EQ(host.progressTitle, "Restoring file nr 2 of 2.");
  ServeRestore();
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].text, PRESS_ENTER);
  EXPECT_TRUE(session.batch.SendFinished);
  EXPECT_FALSE(host.progressVisible);
  EXPECT_TRUE(host.cardDirectoryCalls.empty()) << "no card refresh after an operating system";
}

TEST_F(RestoreTest, OperatingSystemBeforeAnotherFileAsksBeforeTheNext)
{
  pc.Select({4, 6});
  host.answers = {BoxAnswer::Yes};
  gestures.InternalViewDragDrop();
  ServeRestore();
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].text, PRESS_ENTER);
  fakeTimers.clock.Advance(500);
  ServeRestore();
  EXPECT_EQ(SentTypes().front(), 8);
  EXPECT_EQ(SentTypes().back(), 2);
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
  EXPECT_EQ(host.LastStatus(), "Connected thru COM port 3");
}

// The last file sent decides how a restore ends, not the last selected:
// an operating system followed only by a file that failed leaves the card
// list alone, as an operating system at the end does.
TEST_F(RestoreTest, OperatingSystemSentLastEndsAsOneEvenWhenALaterFileFailed)
{
  pc.Select({4, 6});
  host.answers = {BoxAnswer::Yes};
  gestures.InternalViewDragDrop();
  ServeRestore();
  std::filesystem::remove(folder.path() / "g.keq"); // gone before its turn
  fakeTimers.clock.Advance(500);
  EXPECT_EQ(SentTypes().back(), 8);
  EXPECT_TRUE(host.cardDirectoryCalls.empty()) << "no card refresh after an operating system";
  EXPECT_FALSE(host.progressVisible);
  EXPECT_FALSE(host.transferRunning);
  EXPECT_NE(host.LastStatus().find("g.keq"), std::string::npos) << host.LastStatus();
}

TEST_F(RestoreTest, NoAtTheConfirmationSendsNothing)
{
  pc.Select({1});
  host.answers = {BoxAnswer::No};
  gestures.InternalViewDragDrop();
  fakeTimers.clock.Advance(2000);
  EXPECT_TRUE(com.sentBlocks.empty());
  EXPECT_EQ(host.progressShows, 0);
}

} // namespace
} // namespace zr::test
