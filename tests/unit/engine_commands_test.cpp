// The five commands, the backup's save dialog, error texts, and a loop-back
// of the sending side into the receiving side.
#include <gtest/gtest.h>

#include <functional>

#include <deque>

#include "tests/support/engine_fixture.h"
#include "files/datatypes.h"

namespace zr::test {
namespace {

using CommandsTest = EngineTest;

TEST_F(CommandsTest, WithoutALinkNothingIsSent)
{
  WriteFile(folder.path() / "a.kpr", {1, 2, 3});
  host.saveAnswers.push_back((folder.path() / "b.kpr").string());
  const std::vector<std::function<void()>> commands = {
      [&] { session.RequestCardFile(0, 0, "a", host.pcFolder); },
      [&] { session.SendFileToCard(0, "a.kpr", host.pcFolder); },
      [&] { session.BackupInternal(0, 0); },
      [&] { session.RestoreInternal(0, "a.kpr", host.pcFolder); },
  };
  for (const auto& command : commands) {
    host.statuses.clear();
    command();
    EXPECT_EQ(host.LastStatus(), "No communication port selected");
  }
  host.statuses.clear();
  session.RequestTypeDirectory(0, 0);
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_TRUE(com.fileNames.empty() && com.blockRequests.empty() && com.directoryRequests.empty() &&
              com.sentBlocks.empty() && midi.sentBlocks.empty());
}

// Each request that went out arms the watchdog for its answer: longer for
// the operating system, DummyTimer for the link test, and a directory
// request keeps the interval the last request set.
TEST_F(CommandsTest, RequestsThatWentOutArmTheirWatchdog)
{
  WriteFile(folder.path() / "os.kex", RandomBytes(100, 1));
  struct Case {
    const char* what;
    std::function<void()> call;
    FakeTimer* timer;
    int interval;
  };
  FakeTimers& t = fakeTimers;
  const Case cases[] = {
      {"card file", [&] { session.RequestCardFile(1, 0, "A", folder.str()); }, &t.upload, 10000},
      {"backup of the OS", [&] { session.BackupInternal(1, 8, (folder.path() / "b.kex").string()); }, &t.upload,
       25000},
      {"file name of the OS", [&] { session.SendFileToCard(1, "os.kex", folder.str()); }, &t.upload, 25000},
      {"directory", [&] { session.RequestTypeDirectory(1, 3); }, &t.upload, 1234},
      {"link test", [&] { session.OnIdentify(&com, 3, true); }, &t.dummy, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.upload.Stop();
    t.dummy.Stop();
    t.upload.SetInterval(1234);
    c.call();
    EXPECT_TRUE(c.timer->IsActive());
    EXPECT_EQ(c.timer->Interval(), c.interval);
    EXPECT_EQ(t.upload.IsActive() + t.dummy.IsActive(), 1);
    t.upload.Stop();
    t.dummy.Stop();
    com.sends = false; // nothing armed when the request could not go out
    c.call();
    com.sends = true;
    EXPECT_FALSE(t.upload.IsActive() || t.dummy.IsActive());
  }
}

TEST_F(CommandsTest, MediumTwoIsTheSerialLink)
{
  session.RequestTypeDirectory(2, 5);
  session.RequestCardFile(2, 1, "x", host.pcFolder);
  EXPECT_EQ(com.directoryRequests, std::vector<int>{5});
  EXPECT_EQ(com.fileNames.size(), 1u);
  session.RequestTypeDirectory(3, 6);
  EXPECT_EQ(midi.directoryRequests, std::vector<int>{6});
}

TEST_F(CommandsTest, CancelledBackupSaysNothingAndSendsNothing)
{
  host.saveAnswers.push_back(std::nullopt);
  session.BackupInternal(1, 3);
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_TRUE(com.blockRequests.empty());
  EXPECT_EQ(session.RxTransfer.Error, 0);
}

TEST_F(CommandsTest, BackupDialogInsistsOnTheTypesExtension)
{
  host.saveAnswers.push_back((folder.path() / "mix.txt").string());
  host.saveAnswers.push_back((folder.path() / "mix").string());
  session.BackupInternal(1, 7);
  ASSERT_EQ(host.saveRequests.size(), 2u);
  EXPECT_EQ(host.saveRequests[0].title, "Save current settings as...");
  EXPECT_EQ(host.saveRequests[0].extension, "ksu");
  EXPECT_EQ(host.saveRequests[0].folder, folder.str());
  EXPECT_EQ(session.RxTransfer.PcPath, (folder.path() / "mix.ksu").string());
  // The next backup proposes the last name without its extension.
  host.saveAnswers.push_back(std::nullopt);
  session.BackupInternal(1, 0);
  EXPECT_EQ(host.saveRequests.back().fileName, "mix");
  EXPECT_EQ(host.saveRequests.back().extension, "kpr");
}

TEST_F(CommandsTest, RestoreOfAMissingFileSaysNoFileLoaded)
{
  session.RestoreInternal(1, "gone.kch", host.pcFolder);
  EXPECT_EQ(host.LastStatus(), "File error: No file loaded");
  EXPECT_TRUE(com.sentBlocks.empty());
}

TEST_F(CommandsTest, NamesWithoutAKnownExtensionAreRefused)
{
  WriteFile(folder.path() / "notes.txt", {1});
  session.SendFileToCard(1, "notes.txt", host.pcFolder);
  EXPECT_EQ(host.LastStatus(), "File error: Unknown file type");
  WriteFile(folder.path() / ".kpr", {1});
  session.SendFileToCard(1, ".kpr", host.pcFolder);
  EXPECT_EQ(host.LastStatus(), "File error: File has no name");
  session.RestoreInternal(1, "notes.txt", host.pcFolder);
  EXPECT_EQ(host.LastStatus(), "File error: Unknown file type");
  EXPECT_TRUE(com.fileNames.empty() && com.sentBlocks.empty());
}

TEST_F(CommandsTest, UpperCaseNamesAreReadFromTheFileAsItIsCalled)
{
  const Bytes file = RandomBytes(30, 1);
  WriteFile(folder.path() / "SONG.KPR", file);
  session.SendFileToCard(1, "SONG.KPR", host.pcFolder);
  ASSERT_EQ(com.fileNames.size(), 1u);
  EXPECT_EQ(com.fileNames[0].name, "song");
  EXPECT_EQ(session.TxTransfer.Size, 30u);
}

TEST_F(CommandsTest, PathsLongerThanARecordHoldsAreRefused)
{
  host.pcFolder = std::string(PC_PATH_SIZE, 'x');
  session.RequestCardFile(1, 0, "a", host.pcFolder);
  EXPECT_EQ(host.LastStatus(), "File error: Path too long");
  EXPECT_TRUE(com.fileNames.empty());
}

struct ErrorTextCase {
  int outgoing;
  int medium;
  int error;
  const char* text;
};

class ErrorTexts : public EngineTest, public ::testing::WithParamInterface<ErrorTextCase> {};

TEST_P(ErrorTexts, ReportErrorShowsTheTextAndClears)
{
  const auto c = GetParam();
  Filer& f = c.outgoing ? session.TxTransfer : session.RxTransfer;
  f.Medium = c.medium;
  f.Error = c.error;
  f.ReportError(c.outgoing);
  EXPECT_EQ(host.LastStatus(), std::string("File error: ") + c.text);
  EXPECT_EQ(f.Error, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorTexts,
    ::testing::Values(ErrorTextCase{1, 0, 1, "No file loaded"}, ErrorTextCase{0, 0, 1, "No file to save backup"},
                      ErrorTextCase{1, 1, 1, "No file to send"}, ErrorTextCase{0, 3, 1, "File not send"},
                      ErrorTextCase{0, 2, 2, "Memory full"}, ErrorTextCase{1, 0, 3, "Not 1 On 0 For 3"},
                      ErrorTextCase{0, 0, 4, "Disk full"}, ErrorTextCase{0, 1, 4, "Not 0 On 1 For 4"},
                      ErrorTextCase{0, 0, 5, "Disk write protected"}, ErrorTextCase{1, 3, 5, "Not 1 On 3 For 5"},
                      ErrorTextCase{1, 1, 6, "File has illegal data"}, ErrorTextCase{0, 7, 3, "Not 0 On 7 For 3"},
                      ErrorTextCase{0, 7, 6, "Not 0 On 7 For 6"}));

TEST_F(CommandsTest, LoadAndStoreRefuseAnUnknownMedium)
{
  session.TxTransfer.Medium = 5;
  session.TxTransfer.LoadData();
  EXPECT_EQ(session.TxTransfer.Error, 3);
  session.TxTransfer.StoreData();
  EXPECT_EQ(session.TxTransfer.Error, 3);
}

TEST_F(CommandsTest, AllocBufferOwnsExactlySizeBytes)
{
  Filer& f = session.RxTransfer;
  f.Size = 10;
  f.AllocBuffer();
  ASSERT_NE(f.Buffer, nullptr);
  f.FreeBuffer();
  EXPECT_EQ(f.Buffer, nullptr);
  f.Size = std::numeric_limits<std::uint32_t>::max();
  f.AllocBuffer(); // may or may not fit in memory; must never crash
  EXPECT_TRUE(f.Buffer != nullptr || f.Error == 2);
}

// The PC's sending side feeds a second PC's receiving side: requests and
// blocks go through queues, in lock step, as over a real cable.
class LoopLink : public Link {
public:
  explicit LoopLink(std::deque<std::function<void()>>& wire) : wire_(wire) {}
  Session* self = nullptr;
  Session* peer = nullptr;
  LoopLink* peerLink = nullptr;

  bool RequestBlock(int type, unsigned block) override
  {
    wire_.push_back([this, type, block] { peer->SendRequestedBlock(*peerLink, type, block); });
    return true;
  }
  bool RequestDirectory(int) override { return true; }
  bool SendFileName(int, const std::string&, bool) override { return true; }
  TextId CannotSend() const override { return TextId::NoSerialDevice; }
  void AnswerBlockRequest(int type, unsigned block) override { self->SendRequestedBlock(*this, type, block); }
  bool ReadyToAnswer() override { return true; }
  TextId NotReady() const override { return TextId::NoComPort; }
  bool SendDataBlock(const std::uint8_t* message, std::size_t length) override
  {
    Bytes m(message, message + length);
    wire_.push_back([this, m] {
      auto parsed = ParseMessage(m.data(), m.size());
      Filer& rx = peer->RxTransfer;
      rx.Medium = 1;
      rx.DataType = parsed->type;
      if (parsed->block == rx.BlockNr)
        peer->ReceiveFileBlock(parsed->total, m.data() + 13, m.size() - DATA_BLOCK_OVERHEAD);
    });
    return true;
  }

private:
  std::deque<std::function<void()>>& wire_;
};

TEST(LoopBack, FilesOfManySizesArriveByteIdentical)
{
  TempFolder from, to;
  FakeHost senderHost, receiverHost;
  FakeTimers senderTimers, receiverTimers;
  TestSession sender(senderHost, senderTimers.timers), receiver(receiverHost, receiverTimers.timers);
  std::deque<std::function<void()>> wire;
  LoopLink senderLink(wire), receiverLink(wire);
  senderLink.self = &sender;
  senderLink.peer = &receiver;
  senderLink.peerLink = &receiverLink;
  receiverLink.self = &receiver;
  receiverLink.peer = &sender;
  receiverLink.peerLink = &senderLink;
  sender.Com = &senderLink;
  receiver.Com = &receiverLink;
  senderHost.pcFolder = from.str();
  receiverHost.pcFolder = to.str();
  sender.batch.InternalMode = receiver.batch.InternalMode = true;
  sender.batch.FileNr = receiver.batch.FileNr = 1;
  senderHost.pcSelected = 1;

  for (std::size_t size : {1u, 6u, 7u, 8u, 867u, 868u, 869u, 1000u, 4321u, 99999u, 300000u}) {
    const Bytes file = RandomBytes(size, static_cast<unsigned>(size));
    WriteFile(from.path() / "data.kch", file);
    receiverHost.saveAnswers.push_back((to.path() / "data.kch").string());
    receiver.BackupInternal(1, 1); // the receiver asks for block 0...
    wire.clear();                  // ...which the sender answers by restoring
    sender.RestoreInternal(1, "data.kch", senderHost.pcFolder);
    while (!wire.empty()) {
      auto step = std::move(wire.front());
      wire.pop_front();
      step();
    }
    EXPECT_EQ(ReadFile(to.path() / "data.kch"), file) << size;
    EXPECT_TRUE(sender.batch.SendFinished) << size;
    sender.batch.SendFinished = false;
  }
}

} // namespace
} // namespace zr::test
