// The core with the real Qt SerialPort back-end against zr4812-sim over a
// pseudo-terminal: search, card listing, downloads, uploads, backup and
// restore, an injected checksum error and a looped cable. Every test starts
// its own console. Time-outs are generous; nothing here measures speed.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/serial/serial_harness.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_lists.h"
#include "engine/batch.h"

namespace zr::test {
namespace {

class SerialLinkTest : public ::testing::Test {
protected:
  // Starts the console (unpaced unless told otherwise) and a session on its line.
  void StartConsole(QStringList extra = {})
  {
    if (!extra.contains("--baud"))
      extra << "--baud"
            << "0";
    std::string error;
    ASSERT_TRUE(sim.Start(card.path(), internal.path(), extra, error)) << error;
    link = std::make_unique<SerialSession>(sim.Path());
    link->host.pcFolder = pc.str();
  }
  Session& session() { return link->session; }
  ChainHost& host() { return link->host; }
  // The console's log, for a failure message.
  std::string SimLog() const
  {
    const Bytes log = ReadFile(sim.LogPath());
    return "console log:\n" + std::string(log.begin(), log.end());
  }

  // The engine's batch, asked by intent; the SendTimer is real.
  Batch& UseBatch()
  {
    batch = std::make_unique<Batch>(session());
    session().Steps = batch.get();
    link->timers.SendTimer.SetHandler([this] { batch->PauseOver(); });
    return *batch;
  }
  // Lines of the console's log that contain `text`.
  int SimLogCount(const std::string& text) const
  {
    const std::string log = SimLog();
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
      ++n;
    return n;
  }

  TempFolder card, internal, pc;
  SimProcess sim;
  std::unique_ptr<SerialSession> link;
  std::vector<CardFileRef> cardFiles;
  std::vector<std::string> pcNames;
  std::unique_ptr<Batch> batch;
};

TEST_F(SerialLinkTest, SearchFindsTheConsole)
{
  StartConsole();
  link->com.SearchComPort();
  ASSERT_TRUE(RunUntil([&] { return session().link.CommMedium == 1; })) << SimLog();
  EXPECT_TRUE(link->StatusSeen("Searching ZR4812."));
  EXPECT_EQ(host().LastStatus().substr(0, 26), "Connected thru COM port 1");
  EXPECT_FALSE(link->com.ComSearching);
  EXPECT_FALSE(link->timers.TimeoutTimer.IsActive());
  EXPECT_EQ(host().cardDirectoryCalls.front(), -1); // a ZR4812 answered: the card list is read
}

TEST_F(SerialLinkTest, CardListingWalksTypes0To8)
{
  const char* files[] = {"SONG1.kpr", "song2.KPR", "VOCALS.kch", "EQ1.keq", "DYN.kcg",  "FX.kfx",
                         "AUTO.ka",   "SNAP.ksn",  "SETUP.ksu",  "OS.kex",  "notes.txt"};
  for (const char* f : files)
    WriteFile(card.path() / f, {1, 2, 3});
  StartConsole();
  link->com.SearchComPort();
  ASSERT_TRUE(RunUntil([&] { return host().directoryReplies.size() >= 9; })) << SimLog();
  const std::vector<std::vector<std::string>> expected = {
      {"SONG1", "song2"}, {"VOCALS"}, {"EQ1"}, {"DYN"}, {"FX"}, {"AUTO"}, {"SNAP"}, {"SETUP"}, {"OS"}};
  ASSERT_EQ(host().directoryReplies.size(), 9u);
  for (int type = 0; type < 9; ++type) {
    EXPECT_EQ(host().directoryReplies[type].type, type);
    EXPECT_EQ(host().directoryReplies[type].names, expected[type]) << type;
    EXPECT_FALSE(host().directoryReplies[type].sortEvery);
  }
  EXPECT_EQ(link->watchdogsFired, 0);
}

// How the console's messages reach the PC: cut and completed 2 s later, two
// in one write, longer than a data block. The listing must come through whole.
struct ListingCase {
  const char* name;
  QStringList options;
  int songs;              // card files of type 0
  const char* consoleLog; // a line the console's log must show, or empty
};

class SerialListing : public SerialLinkTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(SerialListing, EveryTypeAndEveryFileIsListed)
{
  const ListingCase& c = GetParam();
  std::vector<std::string> songs;
  for (int i = 0; i < c.songs; ++i) {
    songs.push_back("SONG" + std::to_string(1000 + i));
    WriteFile(card.path() / (songs.back() + ".kpr"), {1});
  }
  WriteFile(card.path() / "FX.kfx", {1});
  StartConsole(c.options);
  link->com.SearchComPort();
  ASSERT_TRUE(RunUntil([&] { return host().directoryReplies.size() >= 9; })) << SimLog();
  EXPECT_EQ(host().directoryReplies[0].names, songs);
  EXPECT_EQ(host().directoryReplies[4].names, std::vector<std::string>{"FX"});
  EXPECT_TRUE(host().boxes.empty());
  EXPECT_EQ(link->watchdogsFired, 0);
  if (*c.consoleLog) {
    EXPECT_NE(SimLog().find(c.consoleLog), std::string::npos) << SimLog();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialListing,
                         ::testing::Values(
                             // The first directory reply (the identify reply is message 1) cut after 5 bytes.
                             ListingCase{"MessageCutAndCompleted2sLater", {"--split-frame", "2:5"}, 3, ""},
                             // The identify reply and the console's own search in one write: both are
                             // taken, and the search is answered.
                             ListingCase{"TwoMessagesInOneWrite", {"--back-to-back"}, 3, "<- identify"},
                             // 2.7 kB, trickling in as a UART delivers it.
                             ListingCase{"ThreeHundredFilesOfOneType", {"--baud", "115200"}, 300, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkTest, MultiBlockCardFileArrivesByteForByte)
{
  const Bytes file = RandomBytes(7000, 11); // 9 blocks
  WriteFile(card.path() / "MIX1.kpr", file);
  StartConsole();
  ASSERT_TRUE(link->DownloadCardFile(0, "MIX1")) << SimLog();
  EXPECT_EQ(ReadFile(pc.path() / "MIX1.kpr"), file);
  EXPECT_EQ(host().progressMax, 9);
  EXPECT_EQ(link->watchdogsFired, 0);
}

TEST_F(SerialLinkTest, ChecksumErrorOnBlock2IsRecoveredByAskingAgain)
{
  const Bytes file = RandomBytes(5000, 12);
  WriteFile(card.path() / "MIX2.kpr", file);
  StartConsole({"--corrupt-block", "2"});
  ASSERT_TRUE(link->DownloadCardFile(0, "MIX2")) << SimLog();
  EXPECT_TRUE(link->StatusSeen("Checksum error"));
  EXPECT_EQ(ReadFile(pc.path() / "MIX2.kpr"), file);
}

// A console that damages or repeats blocks: what is saved is still the
// card's file, byte for byte, and saved once.
TEST_F(SerialLinkTest, DamagedOrStrayBlocksNeverReachTheSavedFile)
{
  struct Case {
    QStringList fault;
    const char* seen; // a status the fault leaves, if any
  } cases[] = {
      {{"--drop-7f", "1"}, "Block length error"}, // block 1 one byte short, checksum good
      {{"--stray-block"}, nullptr},               // the last block again, in the same write
  };
  for (const Case& c : cases) {
    link.reset();
    sim.Stop();
    const Bytes file = RandomBytes(5000, 21); // 6 blocks, 0x7F bytes in each
    WriteFile(card.path() / "MIX7.kpr", file);
    fs::remove(pc.path() / "MIX7.kpr");
    StartConsole(c.fault);
    ASSERT_TRUE(link->DownloadCardFile(0, "MIX7")) << host().LastStatus() << SimLog();
    // A directory reply comes after anything the console sent before it.
    host().directoryReplies.clear();
    session().RequestTypeDirectory(1, 0);
    ASSERT_TRUE(RunUntil([&] { return !host().directoryReplies.empty(); })) << SimLog();
    if (c.seen)
      EXPECT_TRUE(link->StatusSeen(c.seen)) << c.fault.join(" ").toStdString();
    EXPECT_EQ(ReadFile(pc.path() / "MIX7.kpr"), file) << c.fault.join(" ").toStdString();
    EXPECT_EQ(host().receivedFilesDone.size(), 1u) << "saved once";
    EXPECT_EQ(link->watchdogsFired, 0);
  }
}

TEST_F(SerialLinkTest, DownloadWhoseFirstFileCannotBeWrittenSavesTheOthers)
{
  for (const char* name : {"A", "B", "C"}) {
    WriteFile(card.path() / (std::string(name) + ".kpr"), RandomBytes(1500, name[0]));
    cardFiles.push_back({0, name});
  }
  fs::create_directory(pc.path() / "A.kpr"); // in the way of the first file
  StartConsole();
  session().link.CommMedium = 1;
  session().link.ConnectedComPort = 1;
  UseBatch().Download(cardFiles, pc.str());
  EXPECT_TRUE(host().transferRunning);
  ASSERT_TRUE(RunUntil([&] { return !batch->Running(); })) << SimLog();
  EXPECT_EQ(ReadFile(pc.path() / "B.kpr"), ReadFile(card.path() / "B.kpr"));
  EXPECT_EQ(ReadFile(pc.path() / "C.kpr"), ReadFile(card.path() / "C.kpr"));
  EXPECT_FALSE(host().transferRunning);
  EXPECT_FALSE(host().progressVisible);
  EXPECT_EQ(host().LastStatus(), "1 of 3 files failed (first: A.kpr: Name is taken by a folder)");
}

TEST_F(SerialLinkTest, UploadsGoOnPastAFailedFileAndAnswerRepeatedRequests)
{
  struct Case {
    QStringList fault;
    bool secondReadable;
    const char* status;
  } cases[] = {
      {{}, false, "1 of 3 files failed (first: b.kch: No file loaded)"},
      // The console asks for the last block of each file again, the very
      // last one after the batch has ended: each is answered, and each next
      // file starts once.
      {{"--repeat-last-request"}, true, "Connected thru COM port 1"},
      {{"--repeat-request", "0"}, true, "Connected thru COM port 1"},
  };
  for (const Case& c : cases) {
    link.reset();
    sim.Stop();
    for (const auto& entry : fs::directory_iterator(card.path()))
      fs::remove(entry.path());
    pcNames.clear();
    for (const char* name : {"a.kch", "b.kch", "c.kch"}) {
      fs::remove(pc.path() / name);
      if (c.secondReadable || name[0] != 'b')
        WriteFile(pc.path() / name, RandomBytes(2500, name[0]));
      pcNames.push_back(pc.str() + "/" + name);
    }
    StartConsole(c.fault);
    session().link.CommMedium = 1;
    session().link.ConnectedComPort = 1;
    UseBatch().Upload(PcFilesOf(pcNames));
    const std::string fault = c.fault.join(" ").toStdString();
    ASSERT_TRUE(RunUntil([&] { return !batch->Running(); })) << fault << SimLog();
    for (const char* name : {"a.kch", "b.kch", "c.kch"}) {
      if (c.secondReadable || name[0] != 'b') {
        ASSERT_TRUE(RunUntil([&] { return fs::exists(card.path() / name); })) << fault << name << SimLog();
        EXPECT_EQ(ReadFile(card.path() / name), ReadFile(pc.path() / name)) << fault << name;
      }
    }
    EXPECT_FALSE(fs::exists(card.path() / "b.kch") && !c.secondReadable);
    EXPECT_EQ(host().LastStatus(), c.status) << fault;
    EXPECT_FALSE(host().transferRunning);
    EXPECT_EQ(link->watchdogsFired, 0) << fault;
  }
}

TEST_F(SerialLinkTest, LeadingFillBytesAreSkipped)
{
  const Bytes file = RandomBytes(2500, 13);
  WriteFile(card.path() / "FILL.ksn", file);
  StartConsole({"--leading-ff", "3"});
  ASSERT_TRUE(link->DownloadCardFile(6, "FILL")) << SimLog();
  EXPECT_EQ(ReadFile(pc.path() / "FILL.ksn"), file);
  EXPECT_TRUE(host().boxes.empty());
}

TEST_F(SerialLinkTest, UploadIsStoredOnTheCardByteForByte)
{
  const Bytes file = RandomBytes(6000, 14);
  WriteFile(pc.path() / "song2.kch", file);
  StartConsole();
  link->StartUpload("song2.kch");
  ASSERT_TRUE(RunUntil([&] { return session().batch.SendFinished; })) << SimLog();
  // The console stores the last block once it has it; the PC is already done.
  ASSERT_TRUE(RunUntil([&] { return fs::exists(card.path() / "song2.kch"); })) << SimLog();
  EXPECT_EQ(ReadFile(card.path() / "song2.kch"), file);
  // The card list is read again, once, from the start; the replies now come
  // fast enough for the listing chain to have gone on through types 1 to 8.
  const std::vector<int>& calls = host().cardDirectoryCalls;
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), -1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), -1), 1);
  EXPECT_EQ(link->watchdogsFired, 0);
}

TEST_F(SerialLinkTest, BackupOfInternalDataByteForByte)
{
  const Bytes setup = RandomBytes(4500, 15);
  WriteFile(internal.path() / "internal.ksu", setup);
  StartConsole();
  session().batch.InternalMode = true;
  session().batch.FileNr = 1;
  const fs::path target = pc.path() / "mysetup.ksu";
  host().saveAnswers.push_back(target.string());
  session().BackupInternal(1, 7);
  ASSERT_TRUE(RunUntil([&] { return !host().receivedFilesDone.empty(); })) << SimLog();
  EXPECT_EQ(ReadFile(target), setup);
  EXPECT_TRUE(host().nextCardFileCalls.empty());
}

TEST_F(SerialLinkTest, RestoreOfInternalDataByteForByte)
{
  const Bytes setup = RandomBytes(3500, 16);
  WriteFile(internal.path() / "internal.ksu", {0});
  WriteFile(pc.path() / "setup.ksu", setup);
  StartConsole();
  session().batch.InternalMode = true;
  session().batch.FileNr = 1;
  host().pcSelected = 1;
  session().RestoreInternal(1, "setup.ksu", host().pcFolder);
  ASSERT_TRUE(RunUntil([&] { return session().batch.SendFinished; })) << SimLog();
  ASSERT_TRUE(RunUntil([&] { return ReadFile(internal.path() / "internal.ksu") == setup; })) << SimLog();
  EXPECT_TRUE(fs::is_empty(card.path()));
}

TEST_F(SerialLinkTest, LoopedCableIsReported)
{
  StartConsole({"--loop"});
  link->com.SearchComPort();
  ASSERT_TRUE(RunUntil([&] { return !host().boxes.empty(); })) << SimLog();
  EXPECT_EQ(host().boxes[0].text, "COM port in loop mode ?!?!");
  EXPECT_EQ(session().link.CommMedium, 0);
}

TEST_F(SerialLinkTest, SecondOpenOfTheSameLineIsRefused)
{
  StartConsole();
  ASSERT_TRUE(link->com.OpenComPort());
  SerialSession other(sim.Path());
  EXPECT_FALSE(other.com.OpenComPort());
  EXPECT_EQ(other.com.LastOpenResult(), SerialOpenResult::InUse);
  // Closed, it opens again (the probe of the port setup dialog relies on this).
  link->com.CloseComPort();
  EXPECT_TRUE(other.com.OpenComPort());
}

} // namespace
} // namespace zr::test
