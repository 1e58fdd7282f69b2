// Card files to the PC and PC files to the card, end to end: the program
// against the virtual console over a pseudo-terminal.
#include "tests/widgets/transfers_fixture.h"

#include "dialogs/port_setup.h"
#include "tests/support/fake_serial.h"

namespace zr::test {
namespace {

TEST_F(TransfersTest, DownloadGoesInListOrderAndAsksBeforeReplacing)
{
  const QByteArray a = RandomData(2500, 1), b = RandomData(40, 2), c = RandomData(1800, 3);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("A.kpr")), a));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B.kch")), b));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("C.kpr")), c));
  const QByteArray old("old");
  // The disk decides, by the exact name (the unit suite covers "A.KPR").
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("A.kpr")), old));
  ASSERT_TRUE(StartProgram(3));
  ASSERT_TRUE(WaitUntil([&] { return Pc().IndexOfCaption(QStringLiteral("A.kpr")) >= 0; }));

  SelectCard({QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")});
  Form().PCViewDragDrop(ListId::Card); // answered No: A is skipped
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(PcPath(QStringLiteral("C.kpr"))); }));
  ASSERT_TRUE(WaitIdle());

  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_TRUE(prompter.boxes[0].text.startsWith(
      QStringLiteral("File already exists!\nReplace the file named A.kpr ?")))
      << prompter.boxes[0].text.toStdString();
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("A.kpr"))), old);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("B.kch"))), b);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("C.kpr"))), c);
  EXPECT_EQ(State().FileNr, 3);
  EXPECT_TRUE(titles.contains(QStringLiteral("Receiving file nr 2 of 3.")));
  EXPECT_TRUE(titles.contains(QStringLiteral("Receiving file nr 3 of 3.")));

  // The requests went in the list's order, not the order of selection.
  QStringList requested;
  for (const QString& line : sim.ReceivedLines())
    if (line.startsWith(QStringLiteral("file request")))
      requested << line.section(QLatin1Char('"'), 1, 1);
  EXPECT_EQ(requested, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}

// The files of a download are fixed when it starts: re-sorting the card
// list while it runs neither repeats nor skips one.
TEST_F(TransfersTest, DownloadWhileTheCardListIsResortedTakesEachFileOnce)
{
  const QByteArray a = RandomData(2500, 7), b = RandomData(1200, 8), c = RandomData(900, 9);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("A.kpr")), a));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B.kch")), b));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("C.kpr")), c));
  ASSERT_TRUE(StartProgram(3));
  // By type the rows read B, A, C; by name A, B, C: each file flips them.
  QObject::connect(&program->ProgressForm(), &QWidget::windowTitleChanged, [this](const QString& title) {
    if (title.startsWith(QStringLiteral("Receiving file nr 1")))
      Form().ViewColumnClick(1);
    else if (title.startsWith(QStringLiteral("Receiving file nr 2")))
      Form().ViewColumnClick(0);
  });
  SelectCard({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
  Form().PCViewDragDrop(ListId::Card);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(PcPath(QStringLiteral("C.kpr"))); }));
  ASSERT_TRUE(WaitIdle());

  QStringList requested;
  for (const QString& line : sim.ReceivedLines())
    if (line.startsWith(QStringLiteral("file request")))
      requested << line.section(QLatin1Char('"'), 1, 1);
  EXPECT_EQ(requested, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("A.kpr"))), a);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("B.kch"))), b);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("C.kpr"))), c);
}

TEST_F(TransfersTest, UploadSkipsTheDeclinedClashAndRereadsTheCard)
{
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B2.kch")), QByteArray("card's own")));
  const QByteArray a1 = RandomData(3000, 4), b2 = RandomData(10, 5), c3 = RandomData(700, 6);
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("a1.kch")), a1));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("b2.kch")), b2));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("c3.keq")), c3));
  ASSERT_TRUE(StartProgram(1));
  ASSERT_TRUE(SelectPc({QStringLiteral("a1.kch"), QStringLiteral("b2.kch"), QStringLiteral("c3.keq")}));

  Form().SolanoViewDragDrop();
  // From the start of the batch, before the console has asked for anything.
  EXPECT_FALSE(Form().centralWidget()->isEnabled()) << "one batch at a time";
  ASSERT_TRUE(WaitUntil([&] { return CardRow(QStringLiteral("c3")) >= 0; }));
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(WaitCardList(3));

  ASSERT_EQ(prompter.Texts(),
            QStringList{QStringLiteral("File already exists!\nReplace the file named B2 ?")});
  EXPECT_EQ(sim.Received(QStringLiteral("file name")), 2);
  EXPECT_EQ(ReadFile(sim.CardPath(QStringLiteral("B2.kch"))), QByteArray("card's own"));
  EXPECT_TRUE(titles.contains(QStringLiteral("Sending file nr 1 of 3.")));
  EXPECT_EQ(titles.last(), QStringLiteral("Sending file nr 3 of 3."));
  EXPECT_FALSE(titles.contains(QStringLiteral("Sending file nr 2 of 3.")));
  EXPECT_TRUE(State().SendFinished);
  EXPECT_GE(CardRow(QStringLiteral("a1")), 0);
  for (const QFileInfo& f : QDir(sim.CardFolder()).entryInfoList(QDir::Files)) {
    if (f.fileName().compare(QStringLiteral("a1.kch"), Qt::CaseInsensitive) == 0) {
      EXPECT_EQ(ReadFile(f.filePath()), a1);
    }
    if (f.fileName().compare(QStringLiteral("c3.keq"), Qt::CaseInsensitive) == 0) {
      EXPECT_EQ(ReadFile(f.filePath()), c3);
    }
  }
}

TEST_F(TransfersTest, OneUploadDeclinedSendsNothing)
{
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B2.kch")), QByteArray("card's own")));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("b2.kch")), RandomData(100, 7)));
  ASSERT_TRUE(StartProgram(1));
  ASSERT_TRUE(SelectPc({QStringLiteral("b2.kch")}));
  bool progressSeen = false;
  QObject::connect(&program->ProgressForm(), &QWidget::windowTitleChanged, [&] { progressSeen = true; });

  Form().SolanoViewDragDrop();
  ASSERT_TRUE(WaitUntil([&] { return prompter.boxes.size() == 1; }));
  Settle();
  EXPECT_EQ(sim.Received(QStringLiteral("file name")), 0);
  EXPECT_FALSE(progressSeen);
  EXPECT_FALSE(program->ProgressForm().isVisible());
  EXPECT_TRUE(Form().isEnabled());
}

TEST_F(TransfersTest, CopyAndPaste)
{
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B2.kch")), QByteArray("card's own")));
  const QByteArray a1 = RandomData(1500, 8), b2 = RandomData(20, 9);
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("a1.kch")), a1));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("b2.kch")), b2));
  ASSERT_TRUE(StartProgram(1));
  ASSERT_TRUE(SelectPc({QStringLiteral("a1.kch"), QStringLiteral("b2.kch")}));

  // Copy in the PC list, Paste on the card list: both go, and the clash
  // with the card's B2 is asked about as a drop asks.
  Form().Copy4Click();
  EXPECT_TRUE(Form().Action("Paste1")->isEnabled());
  prompter.answers = {BoxAnswer::Yes};
  Form().Paste1Click();
  ASSERT_TRUE(WaitUntil([&] { return CardRow(QStringLiteral("a1")) >= 0; }));
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].text, QStringLiteral("File already exists!\nReplace the file named B2 ?"));
  prompter.boxes.clear();
  EXPECT_EQ(sim.Received(QStringLiteral("file name")), 2);
  EXPECT_EQ(ReadFile(sim.CardPath(QStringLiteral("B2.kch"))), b2);
  EXPECT_EQ(titles.last(), QStringLiteral("Sending file nr 2 of 2."));

  // Paste4 with nothing selected on the card list pastes the clipboard's
  // files into the folder shown, and fetches nothing from the card.
  QTemporaryDir other;
  ASSERT_TRUE(Form().PTShellTree1()->SetSelectedPathName(other.path()));
  ASSERT_TRUE(WaitUntil([&] { return QDir(Pc().Folder()) == QDir(other.path()); }));
  Card().clearSelection();
  const int requests = sim.Received(QStringLiteral("file request"));
  Form().Paste4Click();
  ASSERT_TRUE(WaitUntil([&] { return QDir(other.path()).entryList(QDir::Files).size() == 2; }));
  EXPECT_EQ(ReadFile(other.path() + QStringLiteral("/a1.kch")), a1);
  Settle();
  EXPECT_EQ(sim.Received(QStringLiteral("file request")), requests);

  // Copy on Internal Files, then Paste on the card list: nothing happens.
  SelectInternal(7);
  Form().Copy2Click();
  const int lines = sim.Log().size();
  Form().Paste1Click();
  Settle();
  EXPECT_EQ(sim.Log().size(), lines);
  EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(TransfersTest, FilesFromAFileManagerGoToTheCardAndYesToAllAnswersTheRest)
{
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B2.kch")), QByteArray("card's own")));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("C3.keq")), QByteArray("card's own")));
  QTemporaryDir elsewhere; // not the folder the PC pane shows
  const auto at = [&](const char* name) { return elsewhere.path() + QLatin1Char('/') + QLatin1String(name); };
  const QByteArray a1 = RandomData(1200, 30), b2 = RandomData(30, 31), c3 = RandomData(900, 32);
  ASSERT_TRUE(WriteFile(at("a1.kch"), a1) && WriteFile(at("b2.kch"), b2) && WriteFile(at("c3.keq"), c3));
  ASSERT_TRUE(WriteFile(at("notes.txt"), "text") && QDir(elsewhere.path()).mkdir(QStringLiteral("sub.kpr")));
  ASSERT_TRUE(StartProgram(2));

  struct Refusal {
    QList<QUrl> urls;
    QString status;
  } refusals[] = {
      {{QUrl::fromLocalFile(at("a1.kch")), QUrl::fromLocalFile(at("sub.kpr"))},
       QStringLiteral("Folders cannot be transferred: sub.kpr")},
      {{QUrl::fromLocalFile(at("notes.txt"))}, QStringLiteral("Not a ZR4812 file: notes.txt")},
      {{QUrl(QStringLiteral("https://example.org/x.kpr"))},
       QStringLiteral("Only files on this computer can be transferred: https://example.org/x.kpr")},
  };
  for (const Refusal& r : refusals) {
    DropUrls(Card(), r.urls);
    ASSERT_TRUE(WaitUntil([&] { return Form().StatusText(0) == r.status; }))
        << Form().StatusText(0).toStdString();
  }
  Settle();
  EXPECT_EQ(sim.Received(QStringLiteral("file name")), 0);

  // The first clash is asked about with "to All" offered; Yes to All answers the second.
  prompter.answers = {BoxAnswer::YesToAll};
  DropUrls(Card(), {QUrl::fromLocalFile(at("a1.kch")), QUrl::fromLocalFile(at("b2.kch")),
                    QUrl::fromLocalFile(at("c3.keq"))});
  ASSERT_TRUE(WaitUntil([&] { return CardRow(QStringLiteral("a1")) >= 0; }));
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(prompter.Texts(),
            QStringList{QStringLiteral("File already exists!\nReplace the file named B2 ?")});
  EXPECT_EQ(prompter.boxes[0].buttons, BoxButtons::YesNoAll);
  EXPECT_EQ(sim.Received(QStringLiteral("file name")), 3);
  EXPECT_EQ(ReadFile(sim.CardPath(QStringLiteral("B2.kch"))), b2);
  EXPECT_EQ(ReadFile(sim.CardPath(QStringLiteral("C3.keq"))), c3);
  EXPECT_EQ(titles.last(), QStringLiteral("Sending file nr 3 of 3."));
}

TEST_F(TransfersTest, CardFilesDroppedOnATreeFolderAndAFileGivenAtStart)
{
  const QByteArray a = RandomData(700, 33);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("A.kpr")), a));
  ASSERT_TRUE(QDir(pcDir.path()).mkdir(QStringLiteral("sub")));
  const QString sub = pcDir.path() + QStringLiteral("/sub");
  ASSERT_TRUE(WriteFile(sub + QStringLiteral("/given.kch"), "x"));
  ASSERT_TRUE(StartProgram(1));

  // What "Open with" passes: the file's folder in the tree, the file in the list.
  Form().ShowPcPath(sub + QStringLiteral("/given.kch"));
  EXPECT_EQ(QDir(Form().PTShellTree1()->GetSelectedPathName()), QDir(sub));
  ASSERT_TRUE(WaitUntil([&] { return Pc().SelCount() == 1; }));
  EXPECT_EQ(Pc().Caption(Pc().FirstSelected()), QStringLiteral("given.kch"));

  // Card files dropped on a folder of the tree go into that folder.
  ASSERT_TRUE(Form().PTShellTree1()->SetSelectedPathName(pcDir.path()));
  SelectCard({QStringLiteral("A")});
  emit Form().PTShellTree1()->DropOnFolder(nullptr, QDir::toNativeSeparators(sub));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(sub + QStringLiteral("/A.kpr")).size() == a.size(); }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ReadFile(sub + QStringLiteral("/A.kpr")), a);
  EXPECT_FALSE(QFileInfo::exists(PcPath(QStringLiteral("A.kpr"))));
}

TEST_F(TransfersTest, CancelDuringADownloadWritesNothingAndTheNextOneRuns)
{
  // Long enough that the console, paced at 115200 baud, is still sending
  // when the test presses Cancel.
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("BIG.kpr")), RandomData(200000, 10)));
  const QByteArray small = RandomData(3000, 11);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("SMALL.kch")), small));
  ASSERT_TRUE(StartProgram(2));

  SelectCard({QStringLiteral("BIG")});
  Form().PCViewDragDrop(ListId::Card);
  ASSERT_TRUE(WaitUntil([&] { return program->ProgressForm().isVisible(); }));
  program->ProgressForm().CancelBtn()->click();
  EXPECT_FALSE(program->ProgressForm().isVisible());
  EXPECT_TRUE(Form().isEnabled());
  EXPECT_EQ(Form().StatusText(0), QStringLiteral("Connected thru COM port 3"));
  EXPECT_TRUE(State().CancelRequested);
  EXPECT_FALSE(program->engine().Parts().session.RxTransfer.Buffer);
  Settle(1500);
  EXPECT_FALSE(QFileInfo::exists(PcPath(QStringLiteral("BIG.kpr"))));
  EXPECT_FALSE(program->ProgressForm().isVisible());

  SelectCard({QStringLiteral("SMALL")});
  Form().PCViewDragDrop(ListId::Card);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(PcPath(QStringLiteral("SMALL.kch"))); }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("SMALL.kch"))), small);
  EXPECT_FALSE(QFileInfo::exists(PcPath(QStringLiteral("BIG.kpr"))));
}

TEST_F(TransfersTest, SilentConsoleDuringAnUploadIsReportedAndAbortCancels)
{
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("long.kch")), RandomData(6000, 12)));
  // The console takes block 0 and then answers nothing more.
  ASSERT_TRUE(StartProgram(0, {QStringLiteral("--silent-after"), QStringLiteral("data-block:1")}));
  ASSERT_TRUE(SelectPc({QStringLiteral("long.kch")}));
  bool progressUpWhenAsked = false;
  prompter.onBox = [&](const TransferPrompter::Box&) {
    progressUpWhenAsked = program->ProgressForm().isVisible();
  };

  Form().SolanoViewDragDrop();
  ASSERT_TRUE(WaitUntil([&] { return !prompter.boxes.empty(); }));
  EXPECT_EQ(prompter.boxes[0].text, QStringLiteral("!! File sending not completed !!\nCheck connection."));
  EXPECT_EQ(prompter.boxes[0].buttons, BoxButtons::AbortRetry);
  EXPECT_TRUE(progressUpWhenAsked);
  ASSERT_TRUE(WaitUntil([&] { return !program->ProgressForm().isVisible(); }));
  EXPECT_TRUE(State().SendFinished);
  EXPECT_TRUE(State().CancelRequested);
  EXPECT_TRUE(Form().isEnabled());
}

// The console falls silent during a download; Retry in "No response" leads
// through "Search not supported" to the port setup dialog, which takes the
// keyboard (Escape closes it) although the progress dialog is up, and which
// stops what would time out behind it.
TEST_F(TransfersTest, PortSetupFromAWatchdogDuringADownloadIsUsable)
{
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("LONG.kpr")), RandomData(6000, 15)));
  ASSERT_TRUE(StartProgram(1, {QStringLiteral("--silent-after"), QStringLiteral("block-request:0")}));
  prompter.answers = {BoxAnswer::Retry, BoxAnswer::Ok};
  bool enabled = false, closedByEscape = false, timersQuiet = false;
  prompter.onDialog = [&](QDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&] {
      enabled = dialog.isEnabled() && static_cast<TPortSetupFrm&>(dialog).BitBtn1()->isEnabled();
      const QtTimerSet& t = program->Timers();
      timersQuiet = !t.TimeoutTimer.IsActive() && !t.UploadTimer.IsActive() && !t.DownloadTimer.IsActive();
      QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    const int result = dialog.exec();
    closedByEscape = result == QDialog::Rejected && !dialog.isVisible();
    return result;
  };

  SelectCard({QStringLiteral("LONG")});
  Form().PCViewDragDrop(ListId::Card);
  ASSERT_TRUE(WaitUntil([&] { return prompter.dialogs.size() == 1; }));
  EXPECT_EQ(prompter.Texts(),
            (QStringList{QStringLiteral("No response from ZR4812 !!\nCheck connection."),
                         QStringLiteral("Search not supported for Com ports\nPlease select..")}));
  // The interrupted transfer is never resumed: Retry ended the batch first.
  EXPECT_FALSE(program->ProgressForm().isVisible());
  EXPECT_TRUE(enabled);
  EXPECT_TRUE(closedByEscape);
  EXPECT_TRUE(timersQuiet);
  EXPECT_TRUE(Form().centralWidget()->isEnabled());
}

// A MIDI search that could not open its pair leaves TimeoutTimer at 10 ms;
// the serial search chosen next waits its own time and connects.
TEST_F(TransfersTest, SerialSearchAfterAFailedMidiStepConnectsWithoutAFailureBox)
{
  const QString device = sim.Start();
  ASSERT_FALSE(device.isEmpty());
  settingsPath = settingsDir.path() + QStringLiteral("/zr4812-exchange.ini");
  ASSERT_TRUE(WriteFile(settingsPath, QStringLiteral("[Communication]\nMedium=3\n[Prefs]\nDirectory=%1\n"
                                                     "[Ports]\nCOM3=%2\n")
                                          .arg(pcDir.path(), device)
                                          .toUtf8()));
  ProgramOptions options;
  options.settingsPath = settingsPath;
  options.prompter = &prompter;
  options.midiSystem = std::make_unique<FakeMidiSystem>(); // no devices: no pair opens
  options.endProcess = [](int) {};
  program = std::make_unique<Program>(std::move(options));
  Form().show();
  // The MIDI link says why no pair opens; the search ends in failure.
  const QString failed = QStringLiteral("Could not connect to ZR4812.\nCheck connection.");
  ASSERT_TRUE(WaitUntil([&] { return prompter.Texts().contains(failed); }));
  ASSERT_EQ(program->Timers().TimeoutTimer.Interval(), 10);

  // What Ok in the port setup dialog does with "COM Port 3".
  Form().ComportClick();
  program->SetComPortNumber(3);
  program->SearchComPort();
  const std::size_t boxes = prompter.boxes.size();
  ASSERT_TRUE(WaitUntil([&] { return Form().StatusText(0) == connectedText; }));
  EXPECT_EQ(prompter.boxes.size(), boxes) << prompter.Texts().join(QStringLiteral(" | ")).toStdString();
}

// A console whose card holds names that are not file names on a PC. The
// virtual console keeps its card in a folder and cannot hold such names, so
// a small scripted console on a fake line plays this one.
class HostileConsole {
public:
  explicit HostileConsole(FakeSerialLine& line) : line_(line)
  {
    line_.devices["hostile-com3"] = SerialOpenResult::Ok;
    line_.onWrite = [this](const Bytes& m) { Answer(m); };
  }
  QByteArray content[2] = {RandomData(1200, 13), RandomData(30, 14)};

private:
  void Answer(const Bytes& bytes)
  {
    const std::optional<Message> m = ParseMessage(bytes.data(), bytes.size());
    if (!m)
      return;
    switch (m->command) {
    case SYS_EX_SEARCH:
      line_.Arrive(BuildIdentify());
      break;
    case SYS_EX_DIRECTORY_REQUEST:
      line_.Arrive(BuildDirectoryReply(m->type, m->type == 0   ? std::vector<std::string>{"../evil"}
                                                : m->type == 1 ? std::vector<std::string>{"a/b"}
                                                               : std::vector<std::string>{}));
      break;
    case SYS_EX_FILE_REQUEST:
    case SYS_EX_BLOCK_REQUEST: {
      if (m->type < 0 || m->type > 1)
        return;
      const QByteArray& file = content[m->type];
      line_.Arrive(BuildFileBlock(m->type, reinterpret_cast<const std::uint8_t*>(file.constData()),
                                  static_cast<std::uint32_t>(file.size()),
                                  m->command == SYS_EX_FILE_REQUEST ? 0 : m->block));
      break;
    }
    default:
      break;
    }
  }
  FakeSerialLine& line_;
};

// The line outlives the program: TearDown ends the program first.
class HostileNamesTest : public TransfersTest {
protected:
  FakeSerialLine line;
  HostileConsole console{line};
};

TEST_F(HostileNamesTest, CardNamesFromTheConsoleStayInsideTheChosenFolder)
{
  ASSERT_TRUE(StartProgram(2, {}, line.Factory(), QStringLiteral("hostile-com3")));
  EXPECT_GE(CardRow(QStringLiteral("../evil")), 0);

  SelectCard({QStringLiteral("../evil"), QStringLiteral("a/b")});
  Form().PCViewDragDrop(ListId::Card);
  ASSERT_TRUE(WaitUntil([&] { return QDir(pcDir.path()).entryList(QDir::Files).size() == 2; }));
  ASSERT_TRUE(WaitIdle());
  const QFileInfoList files = QDir(pcDir.path()).entryInfoList(QDir::Files, QDir::Name);
  ASSERT_EQ(files.size(), 2);
  EXPECT_EQ(ReadFile(files[0].filePath()), console.content[0]) << files[0].fileName().toStdString();
  EXPECT_EQ(ReadFile(files[1].filePath()), console.content[1]) << files[1].fileName().toStdString();
  EXPECT_FALSE(QFileInfo::exists(pcDir.path() + QStringLiteral("/../evil.kpr")));
  EXPECT_TRUE(QDir(pcDir.path() + QStringLiteral("/a")).entryList(QDir::Files).isEmpty());
}

} // namespace
} // namespace zr::test
