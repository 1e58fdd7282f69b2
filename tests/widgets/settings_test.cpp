// The settings file: reading with defaults, writing that keeps the rest of
// the file, atomic saving, and where the file lives.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "frontend/settings.h"
#include "tests/widgets/widget_test_util.h"

using zr::SettingsFile;
using zr::test::ReadFile;
using zr::test::WriteFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
  QString Ini(const QByteArray &text)
  {
    const QString path = dir.filePath(QStringLiteral("zr4812-exchange.ini"));
    EXPECT_TRUE(WriteFile(path, text));
    return path;
  }
  QTemporaryDir dir;
};

TEST_F(SettingsTest, MissingFileGivesEveryDefault)
{
  SettingsFile settings(dir.filePath(QStringLiteral("none.ini")));
  EXPECT_TRUE(settings.LoadedOk());
  EXPECT_EQ(settings.ReadInteger("Communication", "Medium", 0), 0);
  EXPECT_EQ(settings.ReadInteger("Communication", "ComPort", 1), 1);
  EXPECT_EQ(settings.ReadString("Prefs", "Directory", "/home/x/Documents"), "/home/x/Documents");
}

TEST_F(SettingsTest, IntegersAreReadLikeTheProfileFunctionsOrDefault)
{
  const QString path = Ini("[Communication]\n"
                           "plain=5\n"
                           "blanks =  7  \n"
                           "plus=+3\n"
                           "minus=-2\n"
                           "word=abc\n"
                           "trailing=12abc\n"
                           "empty=\n"
                           "inner=1 2\n"
                           "huge=99999999999\n"
                           "twosigns=+-1\n"
                           "hex=0x10\n"
                           "first=1\n"
                           "FIRST=2\n"
                           "[other]\n"
                           "plain=9\n");
  SettingsFile settings(path);
  struct Case {
    const char *key;
    int expected;
  } cases[] = {{"plain", 5},      {"blanks", 7},  {"plus", 3},      {"minus", -2}, {"word", -99},
               {"trailing", -99}, {"empty", -99}, {"inner", -99},   {"huge", -99}, {"twosigns", -99},
               {"hex", -99},      {"first", 1},   {"missing", -99}, {"PLAIN", 5}};
  for (const Case &c : cases)
    EXPECT_EQ(settings.ReadInteger("communication", c.key, -99), c.expected) << c.key;
  EXPECT_EQ(settings.ReadInteger("Nowhere", "plain", -99), -99);
  EXPECT_EQ(settings.ReadInteger("OTHER", "plain", -99), 9);
}

TEST_F(SettingsTest, WritingKeepsCommentsUnknownLinesAndOrder)
{
  const QString path = Ini("; written by hand\n"
                           "stray line before any section\n"
                           "[Ports]\n"
                           "COM3=/dev/pts/7\n"
                           "\n"
                           "[Communication]\n"
                           "; the link\n"
                           "medium=3\n"
                           "MidiIn=1\n"
                           "\n"
                           "[Extra]\n"
                           "keep=me\n");
  SettingsFile settings(path);
  settings.WriteInteger("Communication", "Medium", 1);
  settings.WriteInteger("Communication", "ComPort", 3);
  settings.WriteString("Prefs", "Directory", "/tmp/songs");
  ASSERT_TRUE(settings.Flush());
  EXPECT_EQ(ReadFile(path), QByteArray("; written by hand\n"
                                       "stray line before any section\n"
                                       "[Ports]\n"
                                       "COM3=/dev/pts/7\n"
                                       "\n"
                                       "[Communication]\n"
                                       "; the link\n"
                                       "Medium=1\n"
                                       "MidiIn=1\n"
                                       "ComPort=3\n"
                                       "\n"
                                       "[Extra]\n"
                                       "keep=me\n"
                                       "[Prefs]\n"
                                       "Directory=/tmp/songs\n"));
  // And what was written reads back.
  SettingsFile again(path);
  EXPECT_EQ(again.ReadInteger("Communication", "Medium", 0), 1);
  EXPECT_EQ(again.ReadString("Prefs", "Directory", ""), "/tmp/songs");
}

TEST_F(SettingsTest, WindowsLineEndsStayWindowsLineEnds)
{
  const QString path = Ini("[Communication]\r\nMedium=3\r\n");
  SettingsFile settings(path);
  EXPECT_EQ(settings.ReadInteger("Communication", "Medium", 0), 3);
  settings.WriteInteger("Communication", "Medium", 1);
  ASSERT_TRUE(settings.Flush());
  EXPECT_EQ(ReadFile(path), QByteArray("[Communication]\r\nMedium=1\r\n"));
}

TEST_F(SettingsTest, AFileInAWindowsCodePageKeepsItsBytes)
{
  const QString path = Ini("; Mischpult B\xfchne\n[Prefs]\nDirectory=C:\\Eigene Dateien\\K\xf6ln\n");
  SettingsFile settings(path);
  EXPECT_EQ(settings.ReadString("Prefs", "Directory", ""),
            QString::fromUtf8("C:\\Eigene Dateien\\K\u00f6ln"));
  settings.WriteInteger("Communication", "Medium", 3);
  ASSERT_TRUE(settings.Flush());
  EXPECT_EQ(ReadFile(path),
            QByteArray("; Mischpult B\xfchne\n[Prefs]\nDirectory=C:\\Eigene Dateien\\K\xf6ln\n"
                       "[Communication]\nMedium=3\n"));
}

TEST_F(SettingsTest, AValueCannotBreakTheFileIntoTwoLines)
{
  SettingsFile settings(dir.filePath(QStringLiteral("new.ini")));
  settings.WriteString("Prefs", "Directory", "/tmp/a\n[Communication]\nMedium=1");
  ASSERT_TRUE(settings.Flush());
  SettingsFile again(settings.Path());
  EXPECT_EQ(again.ReadInteger("Communication", "Medium", 0), 0);
  EXPECT_EQ(again.ReadString("Prefs", "Directory", ""), "/tmp/a[Communication]Medium=1");
}

TEST_F(SettingsTest, FlushCreatesTheFolderAndReportsAFailureWithoutHarm)
{
  SettingsFile nested(dir.filePath(QStringLiteral("config/zr/zr4812-exchange.ini")));
  nested.WriteInteger("Communication", "Medium", 3);
  EXPECT_TRUE(nested.Flush());
  EXPECT_TRUE(QFileInfo::exists(nested.Path()));

  // A folder that cannot exist: its parent is a file.
  ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("plainfile")), "x"));
  SettingsFile impossible(dir.filePath(QStringLiteral("plainfile/zr4812-exchange.ini")));
  impossible.WriteInteger("Communication", "Medium", 1);
  QString error;
  EXPECT_FALSE(impossible.Flush(&error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("plainfile"))), QByteArray("x"));
}

TEST_F(SettingsTest, FileBesideTheProgramWinsThenAnEarlierFallbackThenAWritableFolder)
{
  const QString beside = dir.filePath(QStringLiteral("bin/zr4812-exchange.ini"));
  const QString config = dir.filePath(QStringLiteral("config/zr4812-exchange.ini"));
  QDir().mkpath(dir.filePath(QStringLiteral("bin")));
  struct Case {
    bool besideExists;
    bool configExists;
    bool folderWritable;
    QString expected;
    bool folderOwned = true;
  } cases[] = {
      {true, true, true, beside},
      {true, false, false, beside}, // an existing file beside the program always wins
      {false, false, true, beside},
      {false, true, true, config},         // where an earlier run had to save it
      {false, false, false, config},       // never lose the settings silently
      {false, false, true, config, false}, // /usr/bin under sudo: writable, but not the user's
      {true, false, true, beside, false},  // one that is there and can be written is used
  };
  QDir().mkpath(QFileInfo(config).absolutePath());
  for (const Case &c : cases) {
    QFile::remove(beside);
    QFile::remove(config);
    if (c.besideExists) {
      ASSERT_TRUE(WriteFile(beside, "[Communication]\n"));
    }
    if (c.configExists) {
      ASSERT_TRUE(WriteFile(config, "[Communication]\n"));
    }
    const auto inBin = [&](bool answer) {
      return [&, answer](const QString &folder) {
        EXPECT_EQ(folder, QFileInfo(beside).absolutePath());
        return answer;
      };
    };
    const QString chosen =
        SettingsFile::ChooseLocation(beside, config, inBin(c.folderWritable), inBin(c.folderOwned));
    EXPECT_EQ(chosen, c.expected) << c.besideExists << c.configExists << c.folderWritable << c.folderOwned;
  }
  EXPECT_TRUE(SettingsFile::FolderWritable(dir.path()));
  // Under sudo the folder must be the calling user's, not the administrator's.
  const uint mine = QFileInfo(dir.path()).ownerId();
  for (const auto &[sudoUid, owned] :
       {std::pair{QByteArray(), true}, std::pair{QByteArray::number(mine), true},
        std::pair{QByteArray::number(mine + 1), false}}) {
    if (sudoUid.isNull())
      qunsetenv("SUDO_UID");
    else
      qputenv("SUDO_UID", sudoUid);
    EXPECT_EQ(SettingsFile::FolderOwnedByUser(dir.path()), owned) << sudoUid.toStdString();
  }
  qunsetenv("SUDO_UID");
  EXPECT_FALSE(SettingsFile::FolderWritable(dir.filePath(QStringLiteral("no/such/folder"))));
  EXPECT_TRUE(QDir(dir.path())
                  .entryList(QStringList{QStringLiteral(".zr-write-probe*")}, QDir::Hidden | QDir::Files)
                  .isEmpty());
}

TEST(SettingsName, IsTheProgramNameWithIni)
{
  EXPECT_EQ(SettingsFile::IniFileNameFor("/usr/bin/zr4812-exchange"), "zr4812-exchange.ini");
  EXPECT_EQ(SettingsFile::IniFileNameFor("C:/Tools/ZR4812.EXE"), "ZR4812.ini");
  EXPECT_EQ(SettingsFile::IniFileNameFor("/opt/zr.4812/zr.v2"), "zr.v2.ini");
}

TEST_F(SettingsTest, PortsSectionMapsComPortsOverTheDefaultTable)
{
  const QString path = Ini("[ports]\n"
                           "COM3=/dev/pts/5\n"
                           "com2=\n"
                           "COM17=/dev/ttyX\n"
                           "Other=/dev/null\n");
  SettingsFile settings(path);
  EXPECT_EQ(settings.ComPortDevice(3), "/dev/pts/5");
  EXPECT_EQ(settings.ComPortDevice(2), ""); // an empty value hides the port
  EXPECT_EQ(settings.ComPortDevice(1), "/dev/ttyS0");
  EXPECT_EQ(settings.ComPortDevice(5), "/dev/ttyUSB0");
  EXPECT_EQ(settings.ComPortDevice(13), "");
  const zr::ComPortTable table = settings.ComPortTableFromPorts();
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table.at(3), "/dev/pts/5");
}

} // namespace
