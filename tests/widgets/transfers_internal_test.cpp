// Backup and restore of the console's internal data, end to end: the
// program against the virtual console over a pseudo-terminal.
#include <QMenu>
#include <QPainter>
#include <QSplitter>

#include "app/window_archive.h"
#include "tests/widgets/transfers_fixture.h"

namespace zr::test {
namespace {

constexpr int SETUP = 7;
constexpr int PROJECT = 0;
constexpr int OPERATING_SYSTEM = 8;

TEST_F(TransfersTest, BackupOfSetupAsksAgainForAWrongExtensionAndFetchesNothingElse)
{
  const QByteArray setup = RandomData(4200, 20);
  ASSERT_TRUE(WriteFile(sim.InternalPath(SETUP), setup));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("SONG.kpr")), RandomData(100, 21)));
  ASSERT_TRUE(StartProgram(1));
  SelectCard({QStringLiteral("SONG")}); // selected card files play no part in a backup
  SelectInternal(SETUP);
  prompter.saveAnswers = {PcPath(QStringLiteral("mix.txt")), PcPath(QStringLiteral("mix"))};

  Form().PCViewDragDrop(ListId::Internal);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(PcPath(QStringLiteral("mix.ksu"))).size() > 0; }));
  ASSERT_TRUE(WaitIdle());

  ASSERT_EQ(prompter.saveRequests.size(), 2u) << "the dialog comes back after mix.txt";
  EXPECT_EQ(prompter.saveRequests[0].title, "Save current settings as...");
  EXPECT_EQ(prompter.saveRequests[0].extension, "ksu");
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("mix.ksu"))), setup);
  EXPECT_TRUE(titles.contains(QStringLiteral("Backing up current settings.")));
  Settle();
  EXPECT_EQ(QDir(pcDir.path()).entryList(QDir::Files), QStringList{QStringLiteral("mix.ksu")});
  EXPECT_EQ(sim.Received(QStringLiteral("file request")), 0);
  EXPECT_TRUE(prompter.boxes.empty());
}

// File menu "Back up everything...": the archive of zr4812, in the window.
TEST_F(TransfersTest, BackUpEverythingArchivesTheCardAndEveryKind)
{
  const QByteArray song = RandomData(3000, 22);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("SONG.kpr")), song));
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    ASSERT_TRUE(WriteFile(sim.InternalPath(type), RandomData(200 + type, 30 + type)));
  ASSERT_TRUE(StartProgram(1));
  prompter.folderAnswers = {pcDir.path()};

  Form().Action("BackUpEverything")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !program->Archive().Running(); }, 60000));
  const QStringList made = QDir(pcDir.path()).entryList({QStringLiteral("zr4812-*")}, QDir::Dirs);
  ASSERT_EQ(made.size(), 1);
  const QString archive = pcDir.path() + QLatin1Char('/') + made[0];
  EXPECT_EQ(ReadFile(archive + QStringLiteral("/card/SONG.kpr")), song);
  EXPECT_EQ(ReadFile(archive + QStringLiteral("/internal/setup.ksu")), ReadFile(sim.InternalPath(SETUP)));
  EXPECT_TRUE(QFileInfo::exists(archive + QStringLiteral("/SHA256SUMS")));
  EXPECT_TRUE(Form().StatusText(0).startsWith(archive + QStringLiteral(": 10 files")))
      << Form().StatusText(0).toStdString();
  // The window has its batch back.
  EXPECT_TRUE(Form().centralWidget()->isEnabled());
  EXPECT_EQ(program->engine().Parts().session.Steps, &program->engine().Parts().batch);
}

TEST_F(TransfersTest, RestoreRulesConfirmationAndOperatingSystemUpdate)
{
  const QByteArray project = RandomData(2500, 22), os = RandomData(1300, 23), setup = RandomData(50, 24);
  const QByteArray oldSetup("internal setup");
  ASSERT_TRUE(WriteFile(sim.InternalPath(SETUP), oldSetup));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("a.kpr")), project));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("b.ksu")), setup));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("c1.kch")), RandomData(10, 25)));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("c2.kch")), RandomData(10, 26)));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("z.kex")), os));
  ASSERT_TRUE(StartProgram(0));
  const int linesAtStart = sim.Log().size();

  struct Refusal {
    QStringList files;
    QString text;
  } refusals[] = {
      {{QStringLiteral("a.kpr"), QStringLiteral("b.ksu")},
       QStringLiteral(
           "If you restore a 'Project (all)' file, all files of types other than 'Operating System' "
           "are replaced.\n\nSelect either a 'Project (all)' file or a combination of other files.")},
      {{QStringLiteral("c1.kch"), QStringLiteral("c2.kch")},
       QStringLiteral("You can only restore ONE file of each type.")},
      {{}, QStringLiteral("Select one or more files to restore.")},
  };
  for (const Refusal& r : refusals) {
    prompter.boxes.clear();
    ASSERT_TRUE(SelectPc(r.files));
    Form().InternalViewDragDrop();
    ASSERT_TRUE(WaitUntil([&] { return !prompter.boxes.empty(); }));
    EXPECT_EQ(prompter.Texts(), QStringList{r.text});
    EXPECT_EQ(prompter.boxes[0].buttons, BoxButtons::Ok);
  }

  // No at the confirmation sends nothing.
  prompter.boxes.clear();
  ASSERT_TRUE(SelectPc({QStringLiteral("b.ksu")}));
  Form().InternalViewDragDrop();
  ASSERT_TRUE(WaitUntil([&] { return !prompter.boxes.empty(); }));
  EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral(
                                  "Are you sure you want to replace the current settings in the ZR4812!")});
  EXPECT_EQ(prompter.boxes[0].buttons, BoxButtons::YesNo);
  Settle();
  EXPECT_EQ(sim.Log().size(), linesAtStart);
  EXPECT_EQ(ReadFile(sim.InternalPath(SETUP)), oldSetup);
  EXPECT_TRUE(titles.isEmpty());

  // Project and operating system: both go, in list order, the update
  // message after the operating system, and no card refresh after it.
  prompter.boxes.clear();
  prompter.answers = {BoxAnswer::Yes};
  bool progressUpAtUpdateMessage = true;
  prompter.onBox = [&](const TransferPrompter::Box& box) {
    if (box.text.startsWith(QStringLiteral("Please press")))
      progressUpAtUpdateMessage = program->ProgressForm().isVisible();
  };
  ASSERT_TRUE(SelectPc({QStringLiteral("z.kex"), QStringLiteral("a.kpr")}));
  Form().InternalViewDragDrop();
  ASSERT_TRUE(WaitUntil([&] { return prompter.boxes.size() == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return !program->ProgressForm().isVisible() && Form().isEnabled(); }));
  EXPECT_EQ(prompter.Texts().last(), QStringLiteral("Please press enter on your mixer to save the update."));
  EXPECT_FALSE(progressUpAtUpdateMessage);
  EXPECT_EQ(ReadFile(sim.InternalPath(PROJECT)), project);
  EXPECT_EQ(ReadFile(sim.InternalPath(OPERATING_SYSTEM)), os);
  EXPECT_EQ(ReadFile(sim.InternalPath(SETUP)), oldSetup);
  EXPECT_TRUE(titles.contains(QStringLiteral("Restoring file nr 1 of 2.")));
  EXPECT_EQ(titles.last(), QStringLiteral("Restoring file nr 2 of 2."));

  QStringList restored;
  for (const QString& line : sim.ReceivedLines())
    if (line.contains(QStringLiteral(" block 0 of ")))
      restored << line.section(QLatin1Char(' '), 3, 3);
  EXPECT_EQ(restored, (QStringList{QStringLiteral("0"), QStringLiteral("8")}));
  Settle();
  EXPECT_EQ(sim.Received(QStringLiteral("directory request")), 9) << "only the listing at the start";
}

TEST_F(TransfersTest, FilesFromAFileManagerRestoreAfterTheConfirmation)
{
  ASSERT_TRUE(WriteFile(sim.InternalPath(SETUP), QByteArray("internal setup")));
  QTemporaryDir elsewhere;
  const QByteArray setup = RandomData(1500, 40);
  ASSERT_TRUE(WriteFile(elsewhere.path() + QStringLiteral("/b.ksu"), setup));
  ASSERT_TRUE(WriteFile(elsewhere.path() + QStringLiteral("/c1.kch"), "1"));
  ASSERT_TRUE(WriteFile(elsewhere.path() + QStringLiteral("/c2.kch"), "2"));
  ASSERT_TRUE(StartProgram(0));
  const auto url = [&](const char* name) {
    return QUrl::fromLocalFile(elsewhere.path() + QLatin1Char('/') + QLatin1String(name));
  };

  // The restore rules hold for files from elsewhere too.
  DropUrls(Internal(), {url("c1.kch"), url("c2.kch")});
  ASSERT_TRUE(WaitUntil([&] { return !prompter.boxes.empty(); }));
  EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral("You can only restore ONE file of each type.")});

  prompter.boxes.clear();
  prompter.answers = {BoxAnswer::Yes};
  DropUrls(Internal(), {url("b.ksu")});
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(sim.InternalPath(SETUP)) == setup; }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral(
                                  "Are you sure you want to replace the current settings in the ZR4812!")});
  EXPECT_TRUE(titles.contains(QStringLiteral("Restoring file nr 1 of 1.")));
}

// The pictures in docs/: run with --gtest_also_run_disabled_tests and
// ZR_SHOT_DIR set to the folder that takes them.
TEST_F(TransfersTest, DISABLED_Screenshots)
{
  const QString out = qEnvironmentVariable("ZR_SHOT_DIR");
  ASSERT_FALSE(out.isEmpty());
  for (const char* name : {"SONG.kpr", "VOCALS.kch", "MASTER.keq"})
    ASSERT_TRUE(WriteFile(sim.CardPath(QLatin1String(name)), RandomData(300, 60)));
  // A user's home of a few folders, and the tree showing nothing above it.
  const QString shows = PcPath(QStringLiteral("Alex/Shows"));
  for (const char* folder : {"Alex/Documents", "Alex/Music", "Alex/Shows"})
    ASSERT_TRUE(QDir(pcDir.path()).mkpath(QLatin1String(folder)));
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    ASSERT_TRUE(
        WriteFile(shows + QStringLiteral("/show.%1").arg(QLatin1String(DataTypeTable[type].extension)),
                  RandomData(2000 * (type + 1), 61)));
  ASSERT_TRUE(StartProgram(3));
  TPTShellTree& tree = *Form().PTShellTree1();
  tree.setRootIndex(tree.Model()->index(pcDir.path()));
  ASSERT_TRUE(tree.SetSelectedPathName(shows));
  ASSERT_TRUE(WaitUntil([&] { return Pc().ItemCount() == DATA_TYPE_COUNT; }));
  Form().PTSplitter1()->setSizes({60, 400});
  Form().resize(900, 420);
  Pc().SetColumnWidth(0, 110);
  Pc().SetColumnWidth(2, 150);
  SelectInternal(7);
  Settle(300);
  QPixmap list = Form().grab();
  ASSERT_TRUE(list.save(out + QStringLiteral("/pc-list-kinds.png")));

  QMenu& menu = *Form().PopupMenu2();
  const QRect row = Internal().visualItemRect(Internal().topLevelItem(7));
  const QPoint at = Internal().viewport()->mapTo(&Form(), row.center());
  menu.popup(Form().mapToGlobal(at));
  Settle(300);
  QPixmap shot = Form().grab();
  QPainter painter(&shot);
  painter.drawPixmap(at, menu.grab());
  painter.end();
  menu.hide();
  ASSERT_TRUE(shot.save(out + QStringLiteral("/internal-files-menu.png")));
}

} // namespace
} // namespace zr::test
