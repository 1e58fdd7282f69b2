// Receiving card files and backups: blocks, checksums, re-requests, the
// replace question and saving without ever losing the user's file.
#include <gtest/gtest.h>

#include <csignal>
#if defined(__linux__)
#include <sys/resource.h>
#endif

#include "tests/support/engine_fixture.h"
#include "files/datatypes.h"

namespace zr::test {
namespace {

class ReceiveTest : public EngineTest {
protected:
  // A download of one card file as the main window starts it.
  void StartDownload(int type, const std::string& name, int selected = 1)
  {
    session.link.CommMedium = 1;
    session.link.ConnectedComPort = 3;
    host.cardSelected = selected;
    session.batch.FileNr = 1;
    session.batch.CardIndex = 0;
    session.RequestCardFile(1, type, name, host.pcFolder);
  }
};

TEST_F(ReceiveTest, OneBlockFileIsWrittenWithoutFurtherRequests)
{
  const Bytes file = RandomBytes(500, 1);
  StartDownload(0, "mix1");
  ASSERT_EQ(com.fileNames.size(), 1u);
  EXPECT_EQ(com.fileNames[0].name, "mix1");
  EXPECT_TRUE(com.fileNames[0].request);

  EXPECT_EQ(ServeFile(0, file), 1);
  EXPECT_TRUE(com.blockRequests.empty());
  EXPECT_EQ(ReadFile(folder.path() / "mix1.kpr"), file);
  EXPECT_EQ(host.progressLabels, std::vector<std::string>{"100%"});
  EXPECT_EQ(host.progressTitle, "Receiving file nr 1 of 1.");
  // Saving starts nothing: the batch hears that the file is done.
  EXPECT_EQ(host.receivedFilesDone, std::vector<bool>{true});
  EXPECT_TRUE(host.nextCardFileCalls.empty());
}

TEST_F(ReceiveTest, ChecksumErrorAsksForTheSameBlockAgain)
{
  const Bytes file = RandomBytes(4300, 2); // 5 blocks
  ASSERT_EQ(BlockCount(file.size()), 5u);
  StartDownload(1, "vocals");
  bool corrupted = false;
  ServeFile(1, file, [&](Bytes& b, unsigned k) {
    if (k == 3 && !corrupted) {
      b[b.size() - 2] ^= 0x01;
      corrupted = true;
    }
  });
  std::vector<unsigned> asked;
  for (auto& r : com.blockRequests)
    asked.push_back(r.block);
  EXPECT_EQ(asked, (std::vector<unsigned>{1, 2, 3, 3, 4}));
  EXPECT_TRUE(std::find_if(host.statuses.begin(), host.statuses.end(), [](const std::string& s) {
                return s.rfind("    1000 Checksum error ", 0) == 0;
              }) != host.statuses.end());
  EXPECT_EQ(ReadFile(folder.path() / "vocals.kch"), file);
}

TEST_F(ReceiveTest, OversizedPayloadStopsTheTransfer)
{
  StartDownload(0, "big");
  Bytes payload(1001, 0);
  payload.push_back(Checksum(payload.data(), 1001));
  session.ReceiveFileBlock(2, payload.data(), 1001);
  EXPECT_EQ(host.LastStatus(), "nrbytes > SYS_EX_BLOCKSIZE");
  EXPECT_TRUE(com.blockRequests.empty());
  EXPECT_FALSE(fs::exists(folder.path() / "big.kpr"));
}

TEST_F(ReceiveTest, StrayBlockAfterTheSavedFileTouchesNothing)
{
  const Bytes file = RandomBytes(3000, 13); // 4 blocks
  StartDownload(0, "once");
  ServeFile(0, file);
  ASSERT_EQ(ReadFile(folder.path() / "once.kpr"), file);
  const Bytes edited = {1, 2, 3};
  WriteFile(folder.path() / "once.kpr", edited); // the user works on it meanwhile
  const auto blocks = Blocks(0, file);
  for (const Bytes& b : {blocks[3], blocks[0]}) {
    auto m = ParseMessage(b.data(), b.size());
    ASSERT_TRUE(m.has_value());
    session.OnDataBlock({1, m->type, m->total, m->block, b.data() + 13, b.size() - DATA_BLOCK_OVERHEAD});
  }
  EXPECT_EQ(ReadFile(folder.path() / "once.kpr"), edited);
  EXPECT_EQ(host.receivedFilesDone, std::vector<bool>{true});
  EXPECT_EQ(com.blockRequests.size(), 3u);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ReceiveTest, CancelDropsTheNextBlockAndWritesNothing)
{
  const Bytes file = RandomBytes(3000, 3); // 4 blocks
  StartDownload(0, "song");
  const auto blocks = Blocks(0, file);
  Deliver(blocks[0]);
  Deliver(blocks[1]);
  session.batch.CancelRequested = true;
  session.RxTransfer.FreeBuffer();
  Deliver(blocks[2]);
  EXPECT_EQ(com.blockRequests.size(), 2u); // blocks 1 and 2, nothing after the cancel
  EXPECT_FALSE(fs::exists(folder.path() / "song.kpr"));
  EXPECT_EQ(host.LastStatus(), "  Receiving file");
}

TEST_F(ReceiveTest, ZeroSizeFieldWritesNothingAndTheBatchGoesOn)
{
  StartDownload(0, "empty");
  EXPECT_EQ(ServeFile(0, Bytes{}), 1);
  EXPECT_FALSE(fs::exists(folder.path() / "empty.kpr"));
  EXPECT_EQ(host.LastStatus(), "File error: File is empty");
  EXPECT_EQ(host.failedFiles, std::vector<std::string>{"empty.kpr: File is empty"});
  EXPECT_EQ(host.receivedFilesDone, std::vector<bool>{false});
}

struct ReplaceCase {
  std::size_t newSize;
  BoxAnswer answer;
  const char* expectedSizeText;
};

class ReplaceQuestion : public ReceiveTest, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceQuestion, AskedWhenTheListShowsTheNameInAnyCase)
{
  const ReplaceCase c = GetParam();
  const Bytes old = {1, 2, 3};
  WriteFile(folder.path() / "mix1.kpr", old);
  host.pcListSizes["MIX1.KPR"] = "1 KB";
  host.answers.push_back(c.answer);
  StartDownload(0, "mix1");
  const Bytes file = RandomBytes(c.newSize, 4);
  ServeFile(0, file);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, std::string("File already exists!\nReplace the file named mix1.kpr ?\n"
                                            "The existing file size is 1 KB, the new file size is ") +
                                    c.expectedSizeText + "KB.");
  EXPECT_EQ(host.boxes[0].icon, BoxIcon::Warning);
  EXPECT_EQ(host.boxes[0].buttons, BoxButtons::YesNo);
  // Either way the file is done and the batch goes on.
  EXPECT_EQ(host.receivedFilesDone, std::vector<bool>{c.answer == BoxAnswer::Yes});
  if (c.answer == BoxAnswer::Yes) {
    EXPECT_EQ(ReadFile(folder.path() / "mix1.kpr"), file);
  } else {
    EXPECT_EQ(ReadFile(folder.path() / "mix1.kpr"), old);
    EXPECT_EQ(session.RxTransfer.Buffer, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReplaceQuestion,
                         ::testing::Values(ReplaceCase{1500, BoxAnswer::No, "2"},
                                           ReplaceCase{1024, BoxAnswer::No, "1"},
                                           ReplaceCase{1025, BoxAnswer::Yes, "2"},
                                           ReplaceCase{1, BoxAnswer::Closed, "1"}));

TEST_F(ReceiveTest, ReplaceQuestionLooksAtTheDiskNotTheList)
{
  // Whether this file system tells "MIX1.KPR" from "mix1.kpr".
  WriteFile(folder.path() / "probe", {});
  const bool caseSensitive = !fs::exists(folder.path() / "PROBE");
  fs::remove(folder.path() / "probe");
  struct Case {
    const char* onDisk; // a file already in the folder, or nullptr
    const char* listed; // what the PC list shows, or nullptr
    bool asks;
  } cases[] = {
      {"mix1.kpr", nullptr, true},  // the list was not filled yet
      {nullptr, "mix1.kpr", false}, // a stale list: nothing to replace
      {"MIX1.KPR", "MIX1.KPR", !caseSensitive},
  };
  for (const Case& c : cases) {
    for (const auto& entry : fs::directory_iterator(folder.path()))
      fs::remove(entry.path());
    host.boxes.clear();
    host.pcListSizes.clear();
    if (c.onDisk)
      WriteFile(folder.path() / c.onDisk, Bytes(2000, 1));
    if (c.listed)
      host.pcListSizes[c.listed] = "9 KB";
    host.answers = {BoxAnswer::Yes};
    StartDownload(0, "mix1");
    ServeFile(0, RandomBytes(10, 5));
    ASSERT_EQ(host.boxes.size(), c.asks ? 1u : 0u) << (c.onDisk ? c.onDisk : "-");
    if (c.asks) {
      EXPECT_NE(host.boxes[0].text.find("The existing file size is 2 KB,"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(folder.path() / "mix1.kpr").size(), 10u);
  }
}

TEST_F(ReceiveTest, BackupNeverAsksAndNeverContinuesWithCardFiles)
{
  const Bytes file = RandomBytes(2500, 5);
  WriteFile(folder.path() / "setup.ksu", {9, 9});
  host.pcListSizes["setup.ksu"] = "1 KB";
  host.cardSelected = 3; // card files selected meanwhile
  host.saveAnswers.push_back((folder.path() / "setup.ksu").string());
  session.link.CommMedium = 1;
  session.batch.InternalMode = true;
  session.batch.FileNr = 1;
  session.BackupInternal(1, 7);
  EXPECT_EQ(host.LastStatus(), "Backing up..");
  ASSERT_EQ(com.blockRequests.size(), 1u);
  EXPECT_EQ(com.blockRequests[0].type, 7);
  EXPECT_EQ(com.blockRequests[0].block, 0u);
  ServeFile(7, file);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_TRUE(host.nextCardFileCalls.empty());
  EXPECT_EQ(host.progressTitle, "Backing up current settings.");
  EXPECT_EQ(host.receivedFilesDone, std::vector<bool>{true});
  EXPECT_EQ(ReadFile(folder.path() / "setup.ksu"), file);
}

// A file created under the backup's name while the backup runs was not
// there when the user chose the name: it is asked about, not replaced.
TEST_F(ReceiveTest, AFileThatAppearsDuringABackupIsAskedAbout)
{
  const Bytes file = RandomBytes(2500, 6);
  for (const BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
    fs::remove(folder.path() / "setup.ksu");
    host.boxes.clear();
    host.answers = {answer};
    host.saveAnswers.push_back((folder.path() / "setup.ksu").string());
    session.link.CommMedium = 1;
    session.batch.InternalMode = true;
    session.batch.FileNr = 1;
    session.BackupInternal(1, 7);
    WriteFile(folder.path() / "setup.ksu", {4, 8, 1, 2});
    ServeFile(7, file);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text.rfind("File already exists!\nReplace the file named setup.ksu ?", 0), 0u);
    EXPECT_EQ(ReadFile(folder.path() / "setup.ksu"), (answer == BoxAnswer::Yes ? file : Bytes{4, 8, 1, 2}));
    EXPECT_NE(host.LastStatus().rfind("File error", 0), 0u) << "a No is no failure";
  }
}

// A name near the file system's limit: the safe write's temporary file must
// not push past it.
TEST_F(ReceiveTest, BackupUnderANameOfMaximalLengthIsSaved)
{
  const std::string name = std::string(251, 's') + ".ksu"; // 255 characters
  const Bytes file = RandomBytes(1500, 11);
  host.saveAnswers.push_back((folder.path() / name).string());
  session.link.CommMedium = 1;
  session.batch.InternalMode = true;
  session.batch.FileNr = 1;
  session.BackupInternal(1, 7);
  ServeFile(7, file);
  EXPECT_EQ(ReadFile(folder.path() / name), file) << host.LastStatus();
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);

  // A folder that went away says so, not "Disk full".
  host.saveAnswers.push_back((folder.path() / "gone" / "setup.ksu").string());
  session.BackupInternal(1, 7);
  ServeFile(7, file);
  EXPECT_EQ(host.LastStatus(), "File error: Folder is not writable");
}

TEST_F(ReceiveTest, FailedWriteKeepsTheExistingFile)
{
  // The target is a folder of the same name: the final rename cannot succeed.
  fs::create_directory(folder.path() / "mix2.kpr");
  WriteFile(folder.path() / "mix2.kpr" / "inside", {7});
  StartDownload(0, "mix2");
  ServeFile(0, RandomBytes(100, 6));
  EXPECT_EQ(host.LastStatus(), "File error: Name is taken by a folder");
  EXPECT_EQ(ReadFile(folder.path() / "mix2.kpr" / "inside"), Bytes{7});
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
  // The failed file is counted and the batch goes on with its next file.
  EXPECT_EQ(host.failedFiles, std::vector<std::string>{"mix2.kpr: Name is taken by a folder"});
  EXPECT_EQ(host.receivedFilesDone, std::vector<bool>{false});
}

#if defined(__linux__)
TEST_F(ReceiveTest, ShortWriteKeepsTheExistingFileAndLeavesNoTemporary)
{
  const Bytes old = RandomBytes(100, 7);
  WriteFile(folder.path() / "big.kpr", old);
  // Root may write anywhere, but not beyond the file size limit.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  host.answers = {BoxAnswer::Yes}; // replace it
  StartDownload(0, "big");
  ServeFile(0, RandomBytes(20000, 8));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(host.LastStatus(), "File error: Disk full");
  EXPECT_EQ(ReadFile(folder.path() / "big.kpr"), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}
#endif

TEST_F(ReceiveTest, InconsistentBlocksAreRefused)
{
  const Bytes file = RandomBytes(3000, 9); // 4 blocks
  StartDownload(0, "odd");
  const auto blocks = Blocks(0, file);
  Deliver(blocks[0]);
  // Block 1 claims 9 blocks in all: it must not be stored past block 0's buffer.
  Bytes liar = blocks[1];
  liar[10] = 9;
  Deliver(liar);
  EXPECT_EQ(host.LastStatus(), "File error: File has illegal data");
  EXPECT_FALSE(fs::exists(folder.path() / "odd.kpr"));
}

// A size field that does not fit the blocks announced is damage the
// checksum missed: block 0 is asked for again, and the file fails only when
// it keeps coming so.
TEST_F(ReceiveTest, SizeFieldLargerThanTheDataIsAskedForAgain)
{
  StartDownload(0, "liar");
  Bytes stream(16, 0);
  stream[0] = 0x7F; // says 127 bytes, carries one group of 7
  stream[1] = 0x01;
  for (int i = 0; i < MAX_BLOCK_TRIES; ++i) {
    Deliver(BuildDataBlock(0, 1, 0, stream.data(), stream.size()));
    AnswerDirectoryRequests(session, com);
  }
  EXPECT_EQ(com.fileNames.size(), static_cast<std::size_t>(MAX_BLOCK_TRIES));
  EXPECT_EQ(host.LastStatus(), "File error: Block damaged again and again");
  EXPECT_FALSE(fs::exists(folder.path() / "liar.kpr"));
}

TEST_F(ReceiveTest, CardNamesNeverLeaveTheChosenFolder)
{
  for (const std::string name : {"../evil", "a/b", "..", "/etc/x"}) {
    StartDownload(0, name);
    EXPECT_EQ(com.fileNames.back().name, name); // the console still gets its own name
    const Bytes file = RandomBytes(10, 10);
    ServeFile(0, file);
    const fs::path written = session.RxTransfer.PcPath;
    EXPECT_EQ(written.parent_path(), folder.path()) << name;
    EXPECT_EQ(ReadFile(written), file) << name;
  }
  EXPECT_FALSE(fs::exists(folder.path().parent_path() / "evil.kpr"));
}

TEST_F(ReceiveTest, LinkTestPassesOrRetriesOrGivesUp)
{
  session.link.MidiTestRetries = 4;
  const Bytes test = {1, 2, 3, 4, 5, 6, 7, 8};
  auto block = [&](bool good) {
    Bytes b = BuildDataBlock(SYS_EX_TEST_TYPE, 1, 0, test.data(), test.size());
    if (!good)
      b[b.size() - 2] ^= 1;
    return b;
  };
  for (int i = 0; i < 5; ++i) {
    session.RxTransfer.BlockNr = 0;
    Deliver(block(false));
  }
  EXPECT_EQ(midi.blockRequests.size(), 4u);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Error: MIDI device to old");
  EXPECT_EQ(session.link.CommMedium, 0);

  session.RxTransfer.BlockNr = 0;
  Deliver(block(true));
  EXPECT_EQ(session.link.CommMedium, 3);
  EXPECT_EQ(host.LastStatus(), "Connected thru MIDI");
  EXPECT_EQ(host.cardDirectoryCalls, std::vector<int>{-1});
  EXPECT_EQ(host.progressShows, 0);
}

} // namespace
} // namespace zr::test
