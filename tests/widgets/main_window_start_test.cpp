// The main window from start to close: the settings file, the link it
// opens, the search and its time-outs, against the virtual console.
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include "app/card_list.h"
#include "dialogs/port_setup.h"
#include "link/backend/device_access.h"
#include "link/comm.h"
#include "shell/shell_tree.h"
#include "tests/serial/serial_harness.h"
#include "tests/support/fake_serial.h"
#include "tests/widgets/main_window_fixture.h"
#include "engine/session.h"

namespace zr::test {
namespace {

const QString kNoCom = QStringLiteral("Search not supported for Com ports\nPlease select..");
const QString kNoConnect = QStringLiteral("Could not connect to ZR4812.\nCheck connection.");

struct StartCase {
  const char* name;
  std::optional<const char*> settings;
  bool dialogShown;
  bool midiChecked;
};

class StartWithoutLink : public ::testing::TestWithParam<StartCase> {};

// Without a usable link the port setup dialog opens with the port type that
// the menu's mark names (the window's); a serial port that cannot open opens
// nothing.
TEST_P(StartWithoutLink, ShowsThePortSetupOrNothing)
{
  const StartCase& c = GetParam();
  ProgramHarness h(c.settings ? std::optional<QString>(QString::fromUtf8(*c.settings)) : std::nullopt);
  int portTypeInDialog = -1;
  h.prompter.dialogScripts.push_back([&](QDialog& d) {
    portTypeInDialog = static_cast<TPortSetupFrm&>(d).PortType();
    return int(QDialog::Rejected);
  });
  h.Show();
  EXPECT_EQ(h.prompter.dialogs, c.dialogShown ? QStringList{"PortSetupFrm"} : QStringList{});
  if (c.dialogShown) {
    EXPECT_EQ(portTypeInDialog, c.midiChecked ? TPortSetupFrm::PortTypeMidi : TPortSetupFrm::PortTypeCom);
  }
  EXPECT_EQ(h.Form().MidiChecked(), c.midiChecked);
  EXPECT_EQ(h.Form().ComportChecked(), !c.midiChecked);
  // The dialog looks for COM ports, which it says; otherwise nothing was said.
  EXPECT_EQ(h.Form().StatusText(0),
            c.dialogShown ? QStringLiteral("Looking for COM ports ..") : QStringLiteral("No port selected"));
  EXPECT_TRUE(h.prompter.boxes.empty());
  EXPECT_FALSE(h.program->engine().Parts().com.ComPortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StartWithoutLink,
    ::testing::Values(StartCase{"NoFile", std::nullopt, true, true},
                      StartCase{"MediumTwo", "[Communication]\nMedium=2\nComPort=1\n", true, true},
                      StartCase{"MediumNotANumber", "[Communication]\nMedium=serial\n", true, true},
                      StartCase{"ComPortZero", "[Communication]\nMedium=1\nComPort=0\n", false, false},
                      // COM16 has no device in the default table.
                      StartCase{"ComPortWithoutDevice", "[Communication]\nMedium=1\nComPort=16\n", false,
                                false}),
    [](const auto& info) { return std::string(info.param.name); });

// A settings file beside the program that cannot be written (left by a run
// under sudo): it is left as it is, the settings go to the configuration
// folder, starting from its content, and the status line says so once.
TEST(StartWithoutLink, AnUnwritableSettingsFileIsLeftAloneAndTheConfigFolderUsed)
{
  QTemporaryDir config;
  const QString fallback = config.filePath(QStringLiteral("zr/zr4812-exchange.ini"));
  const QString text = QStringLiteral("[Communication]\nMedium=1\nComPort=0\n[Ports]\nCOM3=/dev/pts/99\n");
  ProgramHarness h(text, nullptr, {}, [&](ProgramOptions& o) {
    o.settingsFallbackPath = fallback;
    o.settingsFileUsable = [&](const QString& file) { return file != h.settingsPath; };
  });
  QFile::setPermissions(h.settingsPath, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
  EXPECT_EQ(h.program->SettingsPath(), fallback);
  h.Show();
  const QString note = QStringLiteral("Cannot write %1; settings kept in %2").arg(h.settingsPath, fallback);
  EXPECT_EQ(h.statuses.count(note), 1);
  h.Close();
  EXPECT_EQ(h.SettingsText(), text);
  const QString saved = QString::fromUtf8(ReadFile(fallback));
  EXPECT_TRUE(saved.contains(QStringLiteral("COM3=/dev/pts/99"))) << saved.toStdString();
  EXPECT_TRUE(saved.contains(QStringLiteral("Directory="))) << saved.toStdString();
}

// Panel 0 cuts a text longer than it is wide and shows it whole as its tip.
TEST(StartWithoutLink, ALongStatusIsElidedWithTheWholeTextAsToolTip)
{
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"));
  h.Show();
  const QString text =
      QStringLiteral("No permission to open /dev/ttyUSB0: add your user to the group dialout");
  h.Form().ShowStatusText(text);
  QLabel* panel = h.Form().StatusPanel(0);
  EXPECT_EQ(h.Form().StatusText(0), text);
  EXPECT_TRUE(panel->text().endsWith(QChar(0x2026))) << panel->text().toStdString();
  EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width());
  EXPECT_EQ(panel->toolTip(), text);
  h.Form().ShowStatusText(QStringLiteral("Searching ZR4812."));
  EXPECT_EQ(panel->text(), QStringLiteral("Searching ZR4812."));
  EXPECT_TRUE(panel->toolTip().isEmpty());
}

TEST(StartWithoutLink, TheFolderOfLastTimeIsShownWhenItStillExists)
{
  QTemporaryDir folder;
  ProgramHarness h(QStringLiteral("[Prefs]\nDirectory=%1\n").arg(folder.path()));
  h.Show();
  EXPECT_EQ(QFileInfo(h.Form().PTShellTree1()->GetSelectedPathName()), QFileInfo(folder.path()));
}

TEST(StartWithoutLink, AMissingFolderLeavesTheDocumentsFolder)
{
  ProgramHarness h(QStringLiteral("[Prefs]\nDirectory=/no/such/folder/anywhere\n"));
  h.Show();
  EXPECT_EQ(QFileInfo(h.Form().PTShellTree1()->GetSelectedPathName()), QFileInfo(h.documents));
}

TEST(StartWithoutLink, ClosingWritesTheSettingsInOrderAndEndsWithZero)
{
  ProgramHarness h(QStringLiteral("[Prefs]\nDirectory=/no/such/folder\n"));
  h.Show();
  h.Close();
  EXPECT_EQ(h.endCodes, std::vector<int>{0});
  const QString expected =
      QStringLiteral("[Prefs]\nDirectory=%1\n[Communication]\nMedium=0\nComPort=0\nMidiIn=0\nMidiOut=0\n")
          .arg(h.Form().PTShellTree1()->GetSelectedPathName());
  EXPECT_EQ(h.SettingsText(), expected);
}

class SerialStart : public ::testing::Test {
protected:
  void StartSim(const QStringList& extra = {"--baud", "0"})
  {
    std::string error;
    ASSERT_TRUE(sim.Start(folders.card, folders.internal, extra, error)) << error;
  }
  ConsoleFolders folders;
  SimProcess sim;
};

TEST_F(SerialStart, ConnectsListsTheCardAndWritesTheSettingsAtClose)
{
  folders.AddCardFile("MIX.kch");
  folders.AddCardFile("MIX.kpr");
  folders.AddCardFile("SONG1.ka");
  folders.AddCardFile("HALL.kfx");
  folders.AddCardFile("BRIGHT.keq");
  StartSim();
  ProgramHarness h(SerialSettings(sim.Path()));
  h.Show();
  ASSERT_TRUE(WaitUntil([&] {
    return h.Form().SolanoView()->Count() == 5 && h.session().timers.UploadTimer.IsActive() == false;
  })) << h.statuses.join(QStringLiteral(" | ")).toStdString();
  ASSERT_GE(h.statuses.size(), 2);
  EXPECT_EQ(h.statuses[0], QStringLiteral("Searching ZR4812."));
  EXPECT_EQ(h.statuses[1], QStringLiteral("Connected thru COM port 3"));
  EXPECT_EQ(h.session().link.CommMedium, 1);

  // Sorted by name after type 8 came in; then by type on a click.
  CardListView& list = *h.Form().SolanoView();
  QStringList names;
  for (int i = 0; i < list.Count(); ++i)
    names.append(list.RowName(i));
  EXPECT_EQ(names, (QStringList{"BRIGHT", "HALL", "MIX", "MIX", "SONG1"}));
  list.ViewColumnClick(1);
  QStringList types;
  for (int i = 0; i < list.Count(); ++i)
    types.append(list.RowType(i));
  EXPECT_EQ(types, (QStringList{"Automation Data", "Channel Library", "Effects Library", "EQ Library",
                                "Project (all)"}));

  // The menu's link items only move the check mark while connected.
  const QString connected = h.Form().StatusText(0);
  h.Form().Action("Midi")->trigger();
  EXPECT_TRUE(h.Form().MidiChecked());
  h.Form().Action("Comport")->trigger();
  EXPECT_TRUE(h.Form().ComportChecked());
  EXPECT_EQ(h.Form().StatusText(0), connected);
  EXPECT_EQ(h.session().link.CommMedium, 1);
  EXPECT_TRUE(h.program->engine().Parts().com.ComPortOpen());

  h.Close();
  EXPECT_EQ(h.endCodes, std::vector<int>{0});
  EXPECT_FALSE(h.program->engine().Parts().com.ComPortOpen());
  const QString expected =
      QStringLiteral("; written by hand\n"
                     "[Communication]\n"
                     "Medium=1\n"
                     "ComPort=3\n"
                     "MidiIn=0\n"
                     "MidiOut=0\n"
                     "[Other]\n"
                     "Keep=yes\n"
                     "[Ports]\n"
                     "COM3=%1\n"
                     "[Prefs]\n"
                     "Directory=%2\n")
          .arg(QString::fromStdString(sim.Path()), h.Form().PTShellTree1()->GetSelectedPathName());
  EXPECT_EQ(h.SettingsText(), expected);
}

// Ok in the port setup dialog with "COM Port 3" chosen.
int ChooseCom3(QDialog& dialog)
{
  auto& setup = static_cast<TPortSetupFrm&>(dialog);
  const int item = setup.ComboBox3()->findText(QStringLiteral("COM Port 3"));
  if (item < 0)
    return QDialog::Rejected;
  setup.ComboBox3()->setCurrentIndex(item);
  setup.BitBtn1Click();
  return QDialog::Accepted;
}

TEST_F(SerialStart, FirstTimeOutSearchesAgainSecondAsksRetrySearchesAbortGivesUp)
{
  StartSim({"--baud", "0", "--silent-after", "search"});
  ProgramHarness h(SerialSettings(sim.Path()));
  ScriptedPrompter& p = h.prompter;
  // Over the serial port the Search command asks for the port every time.
  for (int i = 0; i < 2; ++i)
    p.dialogScripts.push_back(ChooseCom3);
  p.boxScripts = {ScriptedPrompter::Answer(BoxAnswer::Ok), ScriptedPrompter::Answer(BoxAnswer::Retry),
                  ScriptedPrompter::Answer(BoxAnswer::Ok), ScriptedPrompter::Answer(BoxAnswer::Abort)};
  h.Show();
  ASSERT_TRUE(h.WaitForStatus(QStringLiteral("Check connection."))) << p.BoxTexts().join(" | ").toStdString();
  EXPECT_EQ(p.BoxTexts(), (QStringList{kNoCom, kNoConnect, kNoCom, kNoConnect}));
  EXPECT_EQ(p.boxes[0].icon, BoxIcon::None);
  EXPECT_EQ(p.boxes[1].icon, BoxIcon::Error);
  EXPECT_EQ(p.boxes[1].buttons, BoxButtons::AbortRetry);
  EXPECT_EQ(p.dialogs, (QStringList{"PortSetupFrm", "PortSetupFrm"}));
  EXPECT_EQ(h.statuses.count(QStringLiteral("Searching ZR4812.")), 3);
  EXPECT_FALSE(h.session().timers.TimeoutTimer.IsActive());
  EXPECT_FALSE(h.StatusSeen(QStringLiteral("Connected thru COM port 3")));
}

TEST(PermissionText, ARefusedPortIsToldOnTheStatusLine)
{
  QTemporaryDir dir;
  const QString device = dir.filePath(QStringLiteral("ttyUSB9"));
  ASSERT_TRUE(WriteFile(device, "x"));
  FakeSerialLine line;
  line.devices[device.toStdString()] = SerialOpenResult::PermissionDenied;
  ProgramHarness h(SerialSettings(device.toStdString()), nullptr, line.Factory());
  h.Show();
  EXPECT_EQ(h.Form().StatusText(0), Program::NoPermissionText(device, QFileInfo(device).group()));
  EXPECT_FALSE(h.session().timers.TimeoutTimer.IsActive());
  EXPECT_TRUE(h.prompter.boxes.empty());
}

TEST(PermissionText, TheGroupIsTheDeviceFilesOwner)
{
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("ttyFake"));
  ASSERT_TRUE(WriteFile(path, "x"));
  EXPECT_EQ(QString::fromStdString(DeviceGroupName(path.toStdString())), QFileInfo(path).group());
  EXPECT_EQ(DeviceGroupName(dir.filePath(QStringLiteral("missing")).toStdString()), "");
}

} // namespace
} // namespace zr::test
