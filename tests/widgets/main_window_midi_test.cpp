// The MIDI search as the window runs it, on real timers: the pairs in turn,
// the link test, and a console that answers late.
#include <QComboBox>
#include <QRadioButton>

#include "app/card_list.h"
#include "frontend/settings.h"

#include "dialogs/port_setup.h"
#include "link/midi.h"
#include "link/wire.h"
#include "tests/serial/serial_harness.h"
#include "tests/widgets/main_window_fixture.h"
#include "engine/session.h"

namespace zr::test {
namespace {

std::unique_ptr<ConsoleMidiSystem> Console(int inputs, int outputs, std::pair<int, int> pair,
                                           const ConsoleFolders& folders, sim::PeerOptions options = {})
{
  options.cardDir = folders.card;
  options.internalDir = folders.internal;
  return std::make_unique<ConsoleMidiSystem>(inputs, outputs, pair, std::move(options));
}

QStringList Searching(const QStringList& statuses)
{
  QStringList pairs;
  for (const QString& s : statuses)
    if (s.startsWith(QStringLiteral("Searching MIDI port ")))
      pairs.append(s.mid(20));
  return pairs;
}

bool DirectoryRequested(const FakeMidiSystem& midi, int type)
{
  for (const Bytes& m : midi.sent)
    if (m.size() > OFS_TYPE && m[OFS_COMMAND] == SYS_EX_DIRECTORY_REQUEST && m[OFS_TYPE] == type)
      return true;
  return false;
}

// First run: no settings file, the port setup dialog closed unchanged. The
// menu's mark is on "&Midi" and so is the dialog's port type, so Search tries
// every pair and finds the console on the second.
TEST(MidiSearch, FirstRunSearchReachesTheConsoleOnTheSecondPair)
{
  ConsoleFolders folders;
  folders.AddCardFile("LIVE.kpr");
  ProgramHarness h(std::nullopt, Console(2, 2, {1, 0}, folders));
  h.Show();
  ASSERT_EQ(h.prompter.dialogs, QStringList{"PortSetupFrm"});
  h.Form().SearchZR4812Click();
  ASSERT_TRUE(WaitUntil([&] { return h.Form().SolanoView()->Count() == 1; }))
      << h.statuses.join(QStringLiteral(" | ")).toStdString();
  EXPECT_EQ(Searching(h.statuses), (QStringList{"1->1", "2->1"}));
  EXPECT_TRUE(h.prompter.boxes.empty());
}

TEST(MidiSearch, StepsThroughThePairsUntilTheConsoleAnswers)
{
  ConsoleFolders folders;
  folders.AddCardFile("LIVE.kpr");
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=3\nMidiIn=0\nMidiOut=0\n"),
                   Console(2, 2, {1, 1}, folders));
  h.Show();
  EXPECT_TRUE(h.Form().MidiChecked());
  ASSERT_TRUE(WaitUntil([&] { return h.Form().SolanoView()->Count() == 1; }))
      << h.statuses.join(QStringLiteral(" | ")).toStdString();
  // The search of the settings cannot step on (nothing counted yet); its
  // second time-out runs the Search command, which scans from pair 1->1.
  EXPECT_EQ(Searching(h.statuses), (QStringList{"1->1", "1->1", "2->1", "1->2", "2->2"}));
  const QStringList after =
      h.statuses.mid(h.statuses.indexOf(QStringLiteral("Searching MIDI port 2->2")) + 1);
  ASSERT_GE(after.size(), 3);
  EXPECT_EQ(after.mid(0, 2), (QStringList{"Connected thru MIDI", "Testing MIDI connection..."}));
  EXPECT_TRUE(after.mid(2).contains(QStringLiteral("Connected thru MIDI"))) << "the link test passed";
  EXPECT_EQ(h.session().link.CommMedium, 3);
  EXPECT_EQ(h.session().link.MidiInDevice, 1);
  EXPECT_EQ(h.session().link.MidiOutDevice, 1);
  EXPECT_TRUE(h.prompter.boxes.empty());

  h.Close();
  const SettingsFile written(h.settingsPath);
  const QString c = QStringLiteral("Communication");
  EXPECT_EQ(written.ReadInteger(c, QStringLiteral("Medium"), -9), 3);
  EXPECT_EQ(written.ReadInteger(c, QStringLiteral("ComPort"), -9), 0) << "no COM port was opened in this run";
  EXPECT_EQ(written.ReadInteger(c, QStringLiteral("MidiIn"), -9), 1);
  EXPECT_EQ(written.ReadInteger(c, QStringLiteral("MidiOut"), -9), 1);
}

TEST(MidiSearch, ALinkTestWithoutAnswerClosesTheMidiPorts)
{
  ConsoleFolders folders;
  sim::PeerOptions silentOnBlocks;
  silentOnBlocks.silentAfterCommand = SYS_EX_BLOCK_REQUEST;
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=3\n"),
                   Console(1, 1, {0, 0}, folders, silentOnBlocks));
  QString statusDuringBox;
  bool openDuringBox = false;
  h.prompter.boxScripts.push_back([&](const BoxRecord&) {
    statusDuringBox = h.Form().StatusText(0);
    openDuringBox = h.program->engine().Parts().midi.MidiPortOpen();
    return BoxAnswer::Ok;
  });
  h.Show();
  ASSERT_TRUE(WaitUntil([&] { return !h.prompter.boxes.empty(); }));
  EXPECT_EQ(h.prompter.BoxTexts(), QStringList{"MIDI device to old."});
  EXPECT_EQ(h.prompter.boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(h.prompter.boxes[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(statusDuringBox, QStringLiteral("Testing MIDI connection..."));
  EXPECT_TRUE(openDuringBox);
  EXPECT_FALSE(h.program->engine().Parts().midi.MidiPortOpen());
  EXPECT_FALSE(h.midiSystem->inputOpen);
  EXPECT_FALSE(h.midiSystem->outputOpen);
}

// The port setup dialog's Ok with "Midi" and the first devices.
int ChooseMidi(QDialog& dialog)
{
  auto& setup = static_cast<TPortSetupFrm&>(dialog);
  setup.PortTypeButton(TPortSetupFrm::PortTypeMidi)->click();
  setup.ComboBox1()->setCurrentIndex(0);
  setup.ComboBox2()->setCurrentIndex(0);
  setup.BitBtn1Click();
  return QDialog::Accepted;
}

TEST(MidiSearch, AnAnswerWhileTheFailureBoxIsOpenStillConnects)
{
  ConsoleFolders folders;
  auto console = Console(1, 1, {0, 0}, folders);
  ConsoleMidiSystem& midi = *console;
  midi.deaf = true;
  ProgramHarness h(std::nullopt, std::move(console));
  h.prompter.dialogScripts.push_back(ChooseMidi);
  h.prompter.boxScripts.push_back([&](const BoxRecord&) {
    // The console wakes up and answers the search while the box is open.
    midi.deaf = false;
    midi.Answer(BuildSearch());
    WaitUntil([&] { return h.session().link.CommMedium == 3 && DirectoryRequested(midi, 8); });
    return BoxAnswer::Abort;
  });
  h.Show();
  EXPECT_TRUE(h.Form().MidiChecked()) << "the dialog's port type moves the check mark";
  // Abort leaves the connection's status: the console is there.
  ASSERT_TRUE(WaitUntil([&] { return h.prompter.boxes.size() == 1 && h.session().link.CommMedium == 3; }));
  EXPECT_EQ(h.prompter.BoxTexts(), QStringList{"Could not connect to ZR4812.\nCheck connection."});
  EXPECT_TRUE(DirectoryRequested(midi, 8));
  EXPECT_FALSE(h.StatusSeen(QStringLiteral("Check connection.")));
  EXPECT_EQ(h.Form().StatusText(0), QStringLiteral("Connected thru MIDI"));
}

} // namespace
} // namespace zr::test
