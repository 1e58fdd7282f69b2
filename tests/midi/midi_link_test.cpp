// The core with the RtMidi back-end against zr4812-sim's MIDI ports on a
// private JACK server (dummy driver): the search over device pairs, the link
// test, the card listing, downloads and uploads, an injected checksum error,
// and rubbish from another port. Every test starts its own console; the
// server is shared by the suite. Time-outs are generous; nothing here
// measures speed.
#include <gtest/gtest.h>

#include <random>

#include <RtMidi.h>

#include "tests/midi/midi_harness.h"
#include "tests/support/engine_fixture.h"

namespace zr::test {
namespace {

class MidiLinkTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { SuiteJackServer::Start(); }
  static void TearDownTestSuite() { SuiteJackServer::Stop(); }

  void SetUp() override
  {
    if (!JackServer::Installed())
      GTEST_SKIP() << "jackd is not installed";
    ASSERT_TRUE(SuiteJackServer::Running()) << SuiteJackServer::Error();
    link = std::make_unique<MidiSession>();
    link->host.pcFolder = pc.str();
  }
  void TearDown() override
  {
    link.reset();
    sim.Stop();
    decoy.Stop();
  }

  // Starts the console's MIDI ports (unpaced unless told otherwise) and
  // waits until they are listed.
  void StartConsole(QStringList extra = {})
  {
    if (!extra.contains("--baud"))
      extra << "--baud"
            << "0";
    extra << "--midi"
          << "--name" << QString::fromStdString(kName);
    std::string error;
    ASSERT_TRUE(sim.Start(card.path(), internal.path(), extra, error)) << error;
    ASSERT_EQ(sim.Path(), kName);
    ASSERT_TRUE(WaitForPorts(*link, kName)) << "ports of " << kName << " never listed";
  }

  void Connect() { ASSERT_TRUE(link->ConnectTo(kName)) << Log(); }

  std::string Log() const
  {
    std::string text = "statuses:";
    for (const std::string &s : link->host.statuses)
      text += "\n  " + s;
    const Bytes log = ReadFile(sim.LogPath());
    return text + "\nconsole log:\n" + std::string(log.begin(), log.end());
  }

  Session &session() { return link->session; }
  ChainHost &host() { return link->host; }

  const std::string kName = "ZR4812 Sim";

  TempFolder card, internal, pc, decoyCard, decoyInternal;
  SimProcess sim, decoy;
  std::unique_ptr<MidiSession> link;
};

TEST_F(MidiLinkTest, SearchStepsThroughThePairsToTheConsole)
{
  // A console that answers nothing comes first in the lists, so the search
  // has to step on from pair 1->1.
  std::string error;
  ASSERT_TRUE(decoy.Start(decoyCard.path(), decoyInternal.path(),
                          {"--midi", "--name", "Mute Box", "--silent-after", "search:0"}, error))
      << error;
  ASSERT_TRUE(WaitForPorts(*link, "Mute Box"));
  StartConsole();

  link->control.Search();
  ASSERT_TRUE(RunUntil([&] { return session().link.CommMedium == 3; })) << Log();
  EXPECT_NE(link->midi.MidiInCount(), 0);
  EXPECT_EQ(link->midi.MidiInCount(), link->midi.MidiOutCount());
  const MidiDeviceLists lists = link->midi.ListMidiDevices();
  EXPECT_NE(lists.inputs.at(static_cast<std::size_t>(session().link.MidiInDevice)).find(kName),
            std::string::npos);
  EXPECT_NE(lists.outputs.at(static_cast<std::size_t>(session().link.MidiOutDevice)).find(kName),
            std::string::npos);
  EXPECT_TRUE(link->StatusSeen("Searching MIDI port 1->1"));
  EXPECT_TRUE(link->StatusSeen("Testing MIDI connection..."));
  EXPECT_FALSE(link->timers.TimeoutTimer.IsActive());
  // Our own ports are not offered as devices.
  for (const auto &name : lists.inputs)
    EXPECT_EQ(name.find("ZR4812 Exchange"), std::string::npos) << name;
  EXPECT_TRUE(host().boxes.empty());
}

TEST_F(MidiLinkTest, LinkTestThenCardListingOfAllTypes)
{
  const char *files[] = {"SONG1.kpr", "VOCALS.kch", "EQ1.keq",   "DYN.kcg", "FX.kfx",
                         "AUTO.ka",   "SNAP.ksn",   "SETUP.ksu", "OS.kex"};
  for (const char *f : files)
    WriteFile(card.path() / f, {1, 2, 3});
  std::vector<std::vector<std::string>> expected = {{"SONG1"}, {"VOCALS"}, {"EQ1"},   {"DYN"}, {"FX"},
                                                    {"AUTO"},  {"SNAP"},   {"SETUP"}, {"OS"}};
  // 300 channel files: a 2.7 kB directory reply, more than two input buffers hold.
  for (int i = 1000; i < 1300; ++i) {
    expected[1].push_back("VOX" + std::to_string(i));
    WriteFile(card.path() / (expected[1].back() + ".kch"), {1});
  }
  StartConsole();
  Connect();
  EXPECT_EQ(host().LastStatus().empty(), false);
  ASSERT_TRUE(RunUntil([&] { return host().directoryReplies.size() >= 9; })) << Log();
  for (int type = 0; type < 9; ++type) {
    EXPECT_EQ(host().directoryReplies[type].type, type);
    EXPECT_EQ(host().directoryReplies[type].names, expected[type]);
    EXPECT_TRUE(host().directoryReplies[type].sortEvery);
  }
  EXPECT_EQ(link->watchdogsFired, 0);
}

TEST_F(MidiLinkTest, MultiBlockDownloadAndUploadAreByteIdentical)
{
  const Bytes down = RandomBytes(7000, 21); // 9 blocks
  const Bytes up = RandomBytes(6123, 22);   // 8 blocks
  WriteFile(card.path() / "MIX1.kpr", down);
  WriteFile(pc.path() / "UP1.ksn", up);
  StartConsole({"--baud", "115200"});
  Connect();
  ASSERT_TRUE(RunUntil([&] { return host().directoryReplies.size() >= 9; })) << Log();

  ASSERT_TRUE(link->DownloadCardFile(0, "MIX1")) << Log();
  EXPECT_EQ(ReadFile(pc.path() / "MIX1.kpr"), down);
  EXPECT_EQ(host().progressMax, 9);

  link->StartUpload("UP1.ksn");
  ASSERT_TRUE(RunUntil([&] { return ReadFile(card.path() / "up1.ksn") == up; })) << Log();
  EXPECT_EQ(link->watchdogsFired, 0);
}

TEST_F(MidiLinkTest, RecoversFromAnInjectedChecksumError)
{
  const Bytes file = RandomBytes(7000, 23);
  WriteFile(card.path() / "CSUM.kch", file);
  StartConsole({"--corrupt-block", "3"});
  Connect();
  ASSERT_TRUE(link->DownloadCardFile(1, "CSUM")) << Log();
  EXPECT_EQ(ReadFile(pc.path() / "CSUM.kch"), file);
  EXPECT_TRUE(link->StatusSeen("Checksum error"));
  EXPECT_EQ(link->watchdogsFired, 0);
}

TEST_F(MidiLinkTest, RubbishFromAnotherPortChangesNothing)
{
  WriteFile(card.path() / "KEEP.kpr", {9, 9});
  StartConsole();
  Connect();
  ASSERT_TRUE(RunUntil([&] { return host().directoryReplies.size() >= 9; })) << Log();

  // Another program connects to our input and sends whatever it likes.
  RtMidiOut other(RtMidi::getCompiledApiByName(link->system.ApiName()), "Rubbish");
  int ourInput = -1;
  for (unsigned i = 0; i < other.getPortCount(); ++i)
    if (other.getPortName(i).find("ZR4812 Exchange") != std::string::npos &&
        other.getPortName(i).find("MIDI In") != std::string::npos)
      ourInput = static_cast<int>(i);
  ASSERT_GE(ourInput, 0);
  other.openPort(static_cast<unsigned>(ourInput), "out");
  std::mt19937 rng(4812);
  Bytes big(15000);
  for (auto &b : big)
    b = static_cast<std::uint8_t>(rng() & 0x7F);
  big.front() = 0xF0;
  big.back() = 0xF7;
  other.sendMessage(big.data(), big.size());
  const Bytes note = {0x90, 60, 100};
  other.sendMessage(note.data(), note.size());
  for (int i = 0; i < 300; ++i) {
    Bytes m(9 + rng() % 40);
    for (auto &b : m)
      b = static_cast<std::uint8_t>(rng() & 0x7F);
    m.front() = 0xF0;
    m.back() = 0xF7;
    // Now and then a message that looks like ours: a directory reply of a
    // type nobody asked for, a data block out of the blue.
    if (i % 50 == 0)
      m = BuildDirectoryReply(i % 9, {"GHOST"});
    if (i % 70 == 0)
      m = BuildDataBlock(0, 3, 1, big.data() + 1, 100);
    other.sendMessage(m.data(), m.size());
  }
  RunUntil([] { return false; }, 1000); // let it all arrive
  other.closePort();

  // The link still works: a fresh listing of type 0 comes back.
  host().directoryReplies.clear();
  session().RequestTypeDirectory(3, 0);
  ASSERT_TRUE(RunUntil([&] {
    for (const auto &r : host().directoryReplies)
      if (r.names == std::vector<std::string>{"KEEP"})
        return true;
    return false;
  })) << Log();
  EXPECT_TRUE(link->midi.MidiPortOpen());
}

} // namespace
} // namespace zr::test
