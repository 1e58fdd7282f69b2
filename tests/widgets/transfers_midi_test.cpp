// A download and a restore over MIDI: the program with the RtMidi back-end
// against the virtual console's MIDI ports on a private JACK server.
#include "tests/widgets/transfers_fixture.h"

#include <QCoreApplication>

#include "link/backend/midi_rtmidi.h"
#include "tests/support/jack_server.h"

namespace zr::test {
namespace {

class MidiTransfersTest : public TransfersTest {
protected:
  static void SetUpTestSuite() { SuiteJackServer::Start(); }
  static void TearDownTestSuite() { SuiteJackServer::Stop(); }

  void SetUp() override
  {
    TransfersTest::SetUp();
    if (!JackServer::Installed())
      GTEST_SKIP() << "jackd is not installed";
    ASSERT_TRUE(SuiteJackServer::Running()) << SuiteJackServer::Error();
    connectedText = QStringLiteral("Connected thru MIDI");
  }

  // Starts the console's MIDI ports, finds them among the devices, and
  // starts the program with that pair in its settings.
  bool StartOverMidi(int cardRows)
  {
    const QString name = QStringLiteral("ZR4812 Sim %1").arg(QCoreApplication::applicationPid());
    if (sim.Start({QStringLiteral("--midi"), QStringLiteral("--name"), name, QStringLiteral("--baud"),
                   QStringLiteral("0")})
            .isEmpty())
      return false;
    int in = -1, out = -1;
    {
      RtMidiSystem probe("ZR4812 transfer test");
      const auto find = [&](int count, auto nameOf) {
        for (int i = 0; i < count; ++i)
          if (QString::fromStdString(nameOf(i).value_or(std::string())).contains(name))
            return i;
        return -1;
      };
      WaitUntil([&] {
        in = find(probe.InputCount(), [&](int i) { return probe.InputName(i); });
        out = find(probe.OutputCount(), [&](int i) { return probe.OutputName(i); });
        return in >= 0 && out >= 0;
      });
    }
    if (in < 0 || out < 0)
      return false;
    const QString settings =
        QStringLiteral("[Communication]\nMedium=3\nMidiIn=%1\nMidiOut=%2\n[Prefs]\nDirectory=%3\n")
            .arg(in)
            .arg(out)
            .arg(pcDir.path());
    return LaunchProgram(settings, cardRows, {}, nullptr);
  }
};

TEST_F(MidiTransfersTest, DownloadInListOrder)
{
  const QByteArray a = RandomData(2600, 30), b = RandomData(1200, 31);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("A.kpr")), a));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B.kch")), b));
  ASSERT_TRUE(StartOverMidi(2));

  SelectCard({QStringLiteral("B"), QStringLiteral("A")});
  Form().PCViewDragDrop(ListId::Card);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(PcPath(QStringLiteral("B.kch"))); }, 60000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("A.kpr"))), a);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("B.kch"))), b);
  QStringList requested;
  for (const QString& line : sim.ReceivedLines())
    if (line.startsWith(QStringLiteral("file request")))
      requested << line.section(QLatin1Char('"'), 1, 1);
  EXPECT_EQ(requested, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
  EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(MidiTransfersTest, RestoreReplacesTheInternalSetup)
{
  const QByteArray setup = RandomData(3100, 32);
  ASSERT_TRUE(WriteFile(sim.InternalPath(7), QByteArray("old setup")));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("mix.ksu")), setup));
  ASSERT_TRUE(StartOverMidi(0));
  ASSERT_TRUE(SelectPc({QStringLiteral("mix.ksu")}));
  const int listings = sim.Received(QStringLiteral("directory request"));

  prompter.answers = {BoxAnswer::Yes};
  Form().InternalViewDragDrop();
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(sim.InternalPath(7)) == setup; }, 60000));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(prompter.Texts(),
            QStringList{QStringLiteral("Are you sure you want to replace the current settings in the ZR4812!")});
  EXPECT_EQ(titles.last(), QStringLiteral("Restoring file nr 1 of 1."));
  // After a restore that is not an operating system the card is read again.
  EXPECT_TRUE(WaitUntil([&] { return sim.Received(QStringLiteral("directory request")) == 2 * listings; }));
}

} // namespace
} // namespace zr::test
