// "Restore everything..." and "Compare with archive...": an archive made by
// "Back up everything..." from the virtual console, the console changed
// behind it, then put back or compared from the File menu.
#include <map>

#include <QCheckBox>
#include <QHeaderView>
#include <QTreeWidget>

#include "app/window_archive.h"
#include "dialogs/archive_dialogs.h"
#include "tests/widgets/transfers_fixture.h"

namespace zr::test {
namespace {

constexpr int SETUP = 7;
constexpr int OPERATING_SYSTEM = 8;

class ArchiveTest : public TransfersTest {
protected:
  // Card files of these names and every internal kind on the console, the
  // program connected, and "Back up everything..." into the PC folder: the
  // archive's folder, or "" when it failed.
  QString ConsoleAndArchive(const QStringList& cardFiles, const QStringList& simOptions = {})
  {
    for (int i = 0; i < cardFiles.size(); ++i)
      WriteFile(sim.CardPath(cardFiles[i]), RandomData(500 + 100 * i, 70 + i));
    for (int type = 0; type < DATA_TYPE_COUNT; ++type)
      WriteFile(sim.InternalPath(type), RandomData(200 + type, 80 + type));
    if (!StartProgram(static_cast<int>(cardFiles.size()), simOptions))
      return {};
    prompter.folderAnswers = {pcDir.path()};
    Form().Action("BackUpEverything")->trigger();
    if (!WaitUntil([&] { return !program->Archive().Running(); }, 60000))
      return {};
    const QStringList made = QDir(pcDir.path()).entryList({QStringLiteral("zr4812-*")}, QDir::Dirs);
    return made.size() == 1 ? PcPath(made[0]) : QString();
  }
  // The card file of this name, whatever case the console gave it.
  QByteArray CardBytes(const QString& name) const
  {
    for (const QFileInfo& f : QDir(sim.CardFolder()).entryInfoList(QDir::Files))
      if (f.fileName().compare(name, Qt::CaseInsensitive) == 0)
        return ReadFile(f.filePath());
    return {};
  }
  static QString Internal(const QString& archive, int type)
  {
    return archive + QStringLiteral("/internal/") + QString::fromStdString(DefaultBackupName(type));
  }
};

TEST_F(ArchiveTest, RestoreEverythingPutsBackWhatIsTickedButNotTheOperatingSystem)
{
  const QString archive = ConsoleAndArchive({"SONG.kpr", "MIX.kch", "KEEP.ksu"});
  ASSERT_FALSE(archive.isEmpty());
  const QByteArray newOs = RandomData(300, 90), keptOnCard = RandomData(20, 91);
  WriteFile(sim.CardPath(QStringLiteral("SONG.kpr")), RandomData(10, 92));
  QFile::remove(sim.CardPath(QStringLiteral("MIX.kch")));
  WriteFile(sim.CardPath(QStringLiteral("KEEP.ksu")), keptOnCard);
  WriteFile(sim.InternalPath(SETUP), RandomData(60, 93));
  WriteFile(sim.InternalPath(OPERATING_SYSTEM), newOs);
  prompter.folderAnswers = {archive};
  prompter.onDialog = [](QDialog& dialog) {
    auto& choice = dynamic_cast<ArchiveRestoreDialog&>(dialog);
    choice.Items()->findItems(QStringLiteral("KEEP.ksu"), Qt::MatchRecursive)[0]->setCheckState(
        0, Qt::Unchecked);
    choice.Replace()->setChecked(true);
    return int(QDialog::Accepted);
  };

  Form().Action("RestoreEverything")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !program->Archive().Running(); }, 60000));
  EXPECT_EQ(prompter.dialogs, QStringList{QStringLiteral("ArchiveRestoreDialog")});
  EXPECT_EQ(prompter.Texts(), QStringList()) << "nothing failed, nothing to confirm";
  for (const char* name : {"SONG.kpr", "MIX.kch"})
    EXPECT_EQ(CardBytes(QLatin1String(name)), ReadFile(archive + "/card/" + name)) << name;
  EXPECT_EQ(ReadFile(sim.CardPath(QStringLiteral("KEEP.ksu"))), keptOnCard) << "not ticked";
  for (int type = 1; type < OPERATING_SYSTEM; ++type)
    EXPECT_EQ(ReadFile(sim.InternalPath(type)), ReadFile(Internal(archive, type))) << type;
  EXPECT_EQ(ReadFile(sim.InternalPath(OPERATING_SYSTEM)), newOs) << "unticked at first";
  EXPECT_TRUE(titles.contains(QStringLiteral("Restoring file nr 7 of 7.")));
  EXPECT_TRUE(Form().StatusText(0).startsWith(archive + QStringLiteral(": restored 9 files")))
      << Form().StatusText(0).toStdString();

  // The operating system alone, ticked: no group's tick reaches it, ticking
  // it asks first, naming the file, and the mixer's word after it comes in
  // a box once the progress dialog is gone, as after any restore of it.
  prompter.folderAnswers = {archive};
  bool groupTickedOs = true;
  prompter.onDialog = [&](QDialog& dialog) {
    QTreeWidget& items = *dynamic_cast<ArchiveRestoreDialog&>(dialog).Items();
    QTreeWidgetItem* os = items.findItems(QStringLiteral("KEX: Operating System"), Qt::MatchRecursive)[0];
    for (int group = 0; group < items.topLevelItemCount(); ++group)
      if (items.topLevelItem(group) != os) {
        items.topLevelItem(group)->setCheckState(0, Qt::Unchecked);
        items.topLevelItem(group)->setCheckState(0, Qt::Checked);
      }
    groupTickedOs = os->checkState(0) != Qt::Unchecked || !prompter.boxes.empty();
    for (int group = 0; group < items.topLevelItemCount(); ++group)
      items.topLevelItem(group)->setCheckState(0, Qt::Unchecked);
    prompter.answers = {BoxAnswer::Yes};
    os->setCheckState(0, Qt::Checked);
    return int(QDialog::Accepted);
  };
  bool progressUp = true;
  prompter.onBox = [&](const TransferPrompter::Box&) { progressUp = program->ProgressForm().isVisible(); };
  Form().Action("RestoreEverything")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !program->Archive().Running(); }, 60000));
  EXPECT_FALSE(groupTickedOs);
  EXPECT_EQ(ReadFile(sim.InternalPath(OPERATING_SYSTEM)), ReadFile(Internal(archive, OPERATING_SYSTEM)));
  ASSERT_EQ(prompter.Texts().size(), 2);
  EXPECT_TRUE(prompter.Texts()[0].startsWith(QStringLiteral("Restore the operating system from ") +
                                             QDir::toNativeSeparators(Internal(archive, OPERATING_SYSTEM))))
      << prompter.Texts()[0].toStdString();
  EXPECT_EQ(prompter.Texts()[1], QStringLiteral("Please press enter on your mixer to save the update."));
  EXPECT_FALSE(progressUp);
}

// Against a console that keeps card names as they are (SONG1 and song1 are
// two files there, "A.B" a name of its own): an edit, a deletion and a
// changed kind are what the comparison finds, and "Restore everything..."
// gives the console back under its own names.
TEST_F(ArchiveTest, RestoreEverythingGivesTheConsoleBackUnderItsOwnNames)
{
  const QStringList names = {"SONG1.kpr", "A.B.kch", "MIX.ksu", "mix.ksu"};
  const QString archive = ConsoleAndArchive(names, {QStringLiteral("--keep-case")});
  ASSERT_FALSE(archive.isEmpty());
  std::map<QString, QByteArray> card;
  for (const QString& name : names)
    card[name] = ReadFile(sim.CardPath(name));
  WriteFile(sim.CardPath(QStringLiteral("SONG1.kpr")), RandomData(10, 92));
  QFile::remove(sim.CardPath(QStringLiteral("A.B.kch")));
  WriteFile(sim.InternalPath(SETUP), RandomData(60, 93));
  const auto compare = [&] {
    QStringList changed;
    prompter.dialogs.clear();
    prompter.folderAnswers = {archive};
    prompter.onDialog = [&](QDialog& dialog) {
      QTreeWidget& list = *dynamic_cast<ArchiveCompareDialog&>(dialog).List();
      for (int row = 0; row < list.topLevelItemCount(); ++row)
        if (list.topLevelItem(row)->text(2) != QStringLiteral("same"))
          changed << list.topLevelItem(row)->text(0) + " " + list.topLevelItem(row)->text(2);
      return 0;
    };
    Form().Action("CompareWithArchive")->trigger();
    EXPECT_TRUE(WaitUntil([&] { return !prompter.dialogs.isEmpty(); }, 60000));
    changed.sort();
    return changed;
  };
  EXPECT_EQ(compare(), (QStringList{"card/A_B.kch missing on the console", "card/SONG1.kpr differs",
                                    "internal/setup.ksu differs"}));

  prompter.folderAnswers = {archive};
  prompter.onDialog = [](QDialog& dialog) {
    dynamic_cast<ArchiveRestoreDialog&>(dialog).Replace()->setChecked(true);
    return int(QDialog::Accepted);
  };
  Form().Action("RestoreEverything")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !program->Archive().Running(); }, 60000));
  EXPECT_EQ(prompter.Texts(), QStringList()) << "nothing failed";
  EXPECT_EQ(compare(), QStringList());
  std::map<QString, QByteArray> now;
  for (const QFileInfo& f : QDir(sim.CardFolder()).entryInfoList(QDir::Files))
    now[f.fileName()] = ReadFile(f.filePath());
  EXPECT_TRUE(now == card) << "the card holds " << now.size() << " files";
}

// Fault 7 of "Both directions fuzzed": a message lost on the line fired a
// watchdog, which cancelled the whole archive (11 of 12 files missing); the
// status said "cancelled" and the closing box listed no failed file.
TEST_F(ArchiveTest, AWatchdogCostsTheArchiveOnlyTheFileUnderWayAndTheBoxNamesIt)
{
  // Silent for a whole watchdog from the second file on (a lost message no
  // longer costs one: it is asked for again).
  const QString archive = ConsoleAndArchive(
      {"SONG.kpr", "MIX.kch", "LIVE.ksn"},
      {QStringLiteral("--silent-after"), QStringLiteral("file-request:1"), QStringLiteral("--wake-after"),
       QStringLiteral("10500")});
  ASSERT_FALSE(archive.isEmpty());
  QStringList missing;
  for (const QString& place : {"card/SONG.kpr", "card/MIX.kch", "card/LIVE.ksn"})
    if (!QFileInfo::exists(archive + u'/' + place))
      missing << QString(place).mid(5);
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    if (!QFileInfo::exists(Internal(archive, type)))
      missing << QString::fromStdString(DefaultBackupName(type));
  EXPECT_GE(missing.size(), 1);
  EXPECT_LE(missing.size(), 2) << missing.join(' ').toStdString();
  EXPECT_FALSE(Form().StatusText(0).contains(QStringLiteral("cancelled")))
      << Form().StatusText(0).toStdString();
  ASSERT_EQ(prompter.boxes.size(), 1u) << prompter.Texts().join('|').toStdString();
  for (const QString& name : missing)
    EXPECT_TRUE(prompter.boxes[0].text.contains(name + QStringLiteral(": no answer from the console")))
        << prompter.boxes[0].text.toStdString();
  EXPECT_TRUE(QFileInfo::exists(archive + QStringLiteral("/INCOMPLETE")));
}

TEST_F(ArchiveTest, CompareWithArchiveListsWhatChangedSortedByAnyColumn)
{
  const QString archive = ConsoleAndArchive({"SONG.kpr", "MIX.kch", "LIVE.ksn"});
  ASSERT_FALSE(archive.isEmpty());
  WriteFile(sim.CardPath(QStringLiteral("SONG.kpr")), RandomData(10, 92));
  QFile::remove(sim.CardPath(QStringLiteral("MIX.kch")));
  WriteFile(sim.InternalPath(SETUP), RandomData(60, 93));
  Form().Update1Click();
  ASSERT_TRUE(WaitCardList(2));
  prompter.folderAnswers = {archive};
  QStringList changed, files;
  prompter.onDialog = [&](QDialog& dialog) {
    QTreeWidget& list = *dynamic_cast<ArchiveCompareDialog&>(dialog).List();
    for (int row = 0; row < list.topLevelItemCount(); ++row)
      if (list.topLevelItem(row)->text(2) != QStringLiteral("same"))
        changed << list.topLevelItem(row)->text(0) + " " + list.topLevelItem(row)->text(2);
    dialog.show();
    QHeaderView& header = *list.header();
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, {header.sectionViewportPosition(0) + 5, 5});
    for (int row = 0; row < list.topLevelItemCount(); ++row)
      files << list.topLevelItem(row)->text(0);
    return 0;
  };

  Form().Action("CompareWithArchive")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !prompter.dialogs.isEmpty(); }, 60000));
  changed.sort();
  EXPECT_EQ(changed, (QStringList{"card/MIX.kch missing on the console", "card/SONG.kpr differs",
                                  "internal/setup.ksu differs"}));
  QStringList byName = files;
  byName.sort();
  EXPECT_EQ(files, byName);
  EXPECT_EQ(Form().StatusText(0), QStringLiteral("3 of 12 files differ from the archive"));
}

TEST_F(TransfersTest, AnArchiveThatCannotBeTrustedIsRefusedNamingTheFile)
{
  ASSERT_TRUE(StartProgram(0));
  for (const char* folder : {"damaged/card", "unfinished", "photos"})
    QDir(pcDir.path()).mkpath(QLatin1String(folder));
  WriteFile(PcPath(QStringLiteral("damaged/card/SONG.kpr")), "changed since");
  WriteFile(PcPath(QStringLiteral("damaged/SHA256SUMS")), QByteArray(64, 'a') + "  card/SONG.kpr\n");
  WriteFile(PcPath(QStringLiteral("unfinished/INCOMPLETE")), "missing:\ncard/A.kpr\n");
  const int linesAtStart = sim.Log().size();
  const struct {
    const char* action;
    const char* folder;
    const char* named;
  } cases[] = {
      {"RestoreEverything", "damaged", "card/SONG.kpr does not match its sum in SHA256SUMS"},
      {"CompareWithArchive", "unfinished", "the archive is incomplete (INCOMPLETE"},
      {"RestoreEverything", "photos", "SHA256SUMS is missing"},
  };
  for (const auto& c : cases) {
    prompter.boxes.clear();
    prompter.folderAnswers = {PcPath(QLatin1String(c.folder))};
    Form().Action(c.action)->trigger();
    ASSERT_EQ(prompter.boxes.size(), 1u) << c.folder;
    EXPECT_TRUE(prompter.boxes[0].text.contains(QLatin1String(c.named)))
        << prompter.boxes[0].text.toStdString();
  }
  EXPECT_TRUE(prompter.dialogs.isEmpty());
  Settle();
  EXPECT_EQ(sim.Log().size(), linesAtStart);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("damaged/card/SONG.kpr"))), QByteArray("changed since"));
}

} // namespace
} // namespace zr::test
