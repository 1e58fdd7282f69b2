// The file commands on their own: the Size column's text, the clipboard forms
// that file managers read, pasting without overwriting, and the trash.
#include <QDir>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include "shell/file_commands.h"
#include "tests/widgets/widget_test_util.h"

using namespace zr::shell;
using zr::test::ReadFile;
using zr::test::WriteFile;

namespace {

TEST(SizeColumn, WholeKilobytesRoundedUpWithTheLocalesSeparator)
{
  // The test main pins the C locale; its separator is a comma.
  EXPECT_EQ(QLocale().groupSeparator(), ",");
  struct Case {
    qint64 bytes;
    const char *text;
  } cases[] = {
      {0, "0 KB"},
      {1, "1 KB"},
      {1024, "1 KB"},
      {1025, "2 KB"},
      {999 * 1024, "999 KB"},
      {1234 * 1024 - 1, "1,234 KB"},
      {1234 * 1024, "1,234 KB"},
      {5LL * 1024 * 1024 * 1024, "5,242,880 KB"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(SizeKbText(c.bytes), c.text) << c.bytes;
  EXPECT_EQ(SizeKbText(1234 * 1024, QLocale(QLocale::German, QLocale::Germany)), "1.234 KB");
}

TEST(Clipboard, CarriesTheFormsOfGnomeAndKde)
{
  const QStringList paths{"/tmp/a b.kch", "/tmp/c.kpr"};
  struct Case {
    bool cut;
    QByteArray gnome;
  } cases[] = {
      {false, "copy\nfile:///tmp/a%20b.kch\nfile:///tmp/c.kpr"},
      {true, "cut\nfile:///tmp/a%20b.kch\nfile:///tmp/c.kpr"},
  };
  for (const Case &c : cases) {
    std::unique_ptr<QMimeData> data(MakeFileClipboardData(paths, c.cut));
    EXPECT_EQ(data->data("x-special/gnome-copied-files"), c.gnome); // no line break at the end
    EXPECT_EQ(data->urls(), QList<QUrl>({QUrl::fromLocalFile(paths[0]), QUrl::fromLocalFile(paths[1])}));
    EXPECT_EQ(data->hasFormat("application/x-kde-cutselection"), c.cut);
    if (c.cut) {
      EXPECT_EQ(data->data("application/x-kde-cutselection"), "1");
    }
    const ClipboardFiles back = ReadFileClipboard(data.get());
    EXPECT_EQ(back.paths, paths);
    EXPECT_EQ(back.cut, c.cut);
  }
}

TEST(Clipboard, ReadsWhatOtherProgramsPutThere)
{
  QMimeData gnomeOnly;
  gnomeOnly.setData("x-special/gnome-copied-files", "cut\nfile:///tmp/x.kex\n");
  const ClipboardFiles a = ReadFileClipboard(&gnomeOnly);
  EXPECT_TRUE(a.cut);
  EXPECT_EQ(a.paths, QStringList{"/tmp/x.kex"});

  QMimeData kdeCut;
  kdeCut.setUrls({QUrl::fromLocalFile("/tmp/y.kfx"), QUrl("https://example.org/z.kfx")});
  kdeCut.setData("application/x-kde-cutselection", "1");
  const ClipboardFiles b = ReadFileClipboard(&kdeCut);
  EXPECT_TRUE(b.cut);
  EXPECT_EQ(b.paths, QStringList{"/tmp/y.kfx"});
  EXPECT_EQ(b.nonLocal, 1);

  QMimeData text;
  text.setText("just words");
  EXPECT_TRUE(ReadFileClipboard(&text).paths.isEmpty());
  EXPECT_TRUE(ReadFileClipboard(nullptr).paths.isEmpty());
}

TEST(Paste, FreeNamesKeepTheExtensionLast)
{
  QTemporaryDir dir;
  for (const char *name : {"mix.kch", "mix (copy).kch", "README", ".hidden"})
    ASSERT_TRUE(WriteFile(dir.filePath(name), "x"));
  struct Case {
    const char *name;
    const char *free;
  } cases[] = {
      {"new.kch", "new.kch"},
      {"mix.kch", "mix (copy 2).kch"},
      {"README", "README (copy)"},
      {".hidden", ".hidden (copy)"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(FreeNameFor(dir.path(), c.name), c.free) << c.name;
}

class PasteTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    from = QDir(root.filePath("from"));
    to = QDir(root.filePath("to"));
    QDir().mkpath(from.path());
    QDir().mkpath(to.path());
    ASSERT_TRUE(WriteFile(from.filePath("a.kch"), "alpha"));
    ASSERT_TRUE(WriteFile(from.filePath("b.kpr"), QByteArray(3000, '\x7f')));
  }
  QTemporaryDir root;
  QDir from, to;
};

TEST_F(PasteTest, CopyNeverOverwrites)
{
  ASSERT_TRUE(WriteFile(to.filePath("a.kch"), "already here"));
  const CommandResult r = PasteFiles({from.filePath("a.kch"), from.filePath("b.kpr")}, false, to.path());
  EXPECT_TRUE(r.ok()) << r.failures.join('\n').toStdString();
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(ReadFile(to.filePath("a.kch")), "already here");
  EXPECT_EQ(ReadFile(to.filePath("a (copy).kch")), "alpha");
  EXPECT_EQ(ReadFile(to.filePath("b.kpr")), QByteArray(3000, '\x7f'));
  EXPECT_TRUE(QFileInfo::exists(from.filePath("a.kch"))); // a copy leaves the original
  // Copying into the file's own folder makes a copy beside it.
  EXPECT_TRUE(PasteFiles({from.filePath("a.kch")}, false, from.path()).ok());
  EXPECT_EQ(ReadFile(from.filePath("a (copy).kch")), "alpha");
}

TEST_F(PasteTest, CutMovesAndACutIntoTheSameFolderDoesNothing)
{
  CommandResult r = PasteFiles({from.filePath("a.kch")}, true, to.path());
  EXPECT_TRUE(r.ok());
  EXPECT_FALSE(QFileInfo::exists(from.filePath("a.kch")));
  EXPECT_EQ(ReadFile(to.filePath("a.kch")), "alpha");
  r = PasteFiles({to.filePath("a.kch")}, true, to.path());
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(to.entryList(QDir::Files), QStringList{"a.kch"});
}

TEST_F(PasteTest, FoldersAreCopiedWholeButNeverIntoThemselves)
{
  QDir().mkpath(from.filePath("sub/deeper"));
  ASSERT_TRUE(WriteFile(from.filePath("sub/deeper/c.kfx"), "gamma"));
  EXPECT_TRUE(PasteFiles({from.filePath("sub")}, false, to.path()).ok());
  EXPECT_EQ(ReadFile(to.filePath("sub/deeper/c.kfx")), "gamma");

  const CommandResult intoItself = PasteFiles({from.filePath("sub")}, false, from.filePath("sub/deeper"));
  EXPECT_FALSE(intoItself.ok());
  EXPECT_EQ(intoItself.done, 0);
  EXPECT_FALSE(QFileInfo::exists(from.filePath("sub/deeper/sub")));

  const CommandResult gone = PasteFiles({from.filePath("nothing.kch")}, false, to.path());
  EXPECT_FALSE(gone.ok());
}

TEST(Trash, MovesFilesIntoTheUsersTrashEvenWithoutADataFolder)
{
  // The test main points XDG_DATA_HOME into a temporary home.
  const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  ASSERT_TRUE(dataHome.startsWith(QDir::tempPath())) << dataHome.toStdString();
  QDir(dataHome).removeRecursively();

  QTemporaryDir dir(QDir::homePath() + "/work-XXXXXX"); // same file system as the trash
  ASSERT_TRUE(WriteFile(dir.filePath("old.kch"), "bye"));
  const CommandResult r = MoveToTrash({dir.filePath("old.kch")});
  EXPECT_TRUE(r.ok()) << r.failures.join('\n').toStdString();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("old.kch")));
  EXPECT_EQ(ReadFile(dataHome + "/Trash/files/old.kch"), "bye");
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());

  const CommandResult missing = MoveToTrash({dir.filePath("never.kch")});
  EXPECT_FALSE(missing.ok());
}

} // namespace
