// The settings file without Qt, as the command line reads and writes it on
// Linux and on Windows. Its rules are tested in full through the window's
// SettingsFile (tests/widgets/settings_test.cpp), which wraps it; here what
// differs between the systems: folders named outside ASCII, and telling a
// UTF-8 file from one in a Windows code page byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "frontend/ini_file.h"

namespace zr {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    root_ = fs::temp_directory_path() / ("zr-ini-" + std::to_string(std::random_device{}()));
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // A path below the test's folder, in UTF-8 as the program holds paths.
  std::string Path(const std::u8string& relative) const
  {
    const std::u8string full = (root_ / relative).u8string();
    return {full.begin(), full.end()};
  }
  void Write(const std::string& path, const std::string& bytes) const
  {
    std::ofstream(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& path) const
  {
    std::ifstream in(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path root_;
};

TEST_F(IniFileTest, AFolderNamedOutsideAsciiIsCreatedReadAndWritten)
{
  const std::string path = Path(u8"Grüße Ärger/zr4812-exchange.ini");
  IniFile fresh(path);
  fresh.WriteLink(1, 3, 0, 0);
  fresh.WriteString("Prefs", "Directory", "C:\\Users\\Jörg\\Mixes");
  ASSERT_TRUE(fresh.Flush());
  EXPECT_EQ(Read(path), "[Communication]\nMedium=1\nComPort=3\nMidiIn=0\nMidiOut=0\n"
                        "[Prefs]\nDirectory=C:\\Users\\Jörg\\Mixes\n");
  const IniFile again(path);
  EXPECT_EQ(again.ComPort(), 3);
  EXPECT_EQ(again.Directory(""), "C:\\Users\\Jörg\\Mixes");
}

// Bytes that are no UTF-8 make the whole file Latin-1, and it is written
// back in the same bytes; UTF-8 stays UTF-8.
TEST_F(IniFileTest, TheFilesEncodingIsTakenFromItsBytes)
{
  struct Case {
    const char* what;
    std::string value;   // the bytes of the value in the file
    std::string read;    // as the program reads it (UTF-8)
  } cases[] = {
      {"UTF-8", "J\xC3\xB6rg", "J\xC3\xB6rg"},
      {"UTF-8, four bytes", "\xF0\x9F\x8E\xB9", "\xF0\x9F\x8E\xB9"},
      {"Latin-1", "J\xF6rg", "J\xC3\xB6rg"},
      {"an overlong form", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
      {"a surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
      {"cut short at the end", "ab\xC3", "ab\xC3\x83"},
  };
  for (const Case& c : cases) {
    const std::string path = Path(u8"encoding.ini");
    Write(path, "[Prefs]\r\nDirectory=" + c.value + "\r\n; kept\r\n");
    IniFile file(path);
    EXPECT_EQ(file.Directory(""), c.read) << c.what;
    file.WriteInteger("Communication", "Medium", 3);
    ASSERT_TRUE(file.Flush()) << c.what;
    EXPECT_EQ(Read(path), "[Prefs]\r\nDirectory=" + c.value + "\r\n; kept\r\n[Communication]\r\nMedium=3\r\n")
        << c.what;
  }
}

TEST_F(IniFileTest, AByteOrderMarkIsNoPartOfTheFirstSection)
{
  const std::string path = Path(u8"bom.ini");
  Write(path, "\xEF\xBB\xBF[Communication]\nMedium=3\n");
  EXPECT_EQ(IniFile(path).Medium(), 3);
}

// Where a new file goes: beside the program only in a folder of the user's
// own that takes files, so that a run under sudo leaves none in /usr/bin.
TEST_F(IniFileTest, ANewFileGoesBesideTheProgramOnlyInAFolderOfTheUsersOwn)
{
  const std::string beside = Path(u8"bin/zr4812-exchange.ini"), config = Path(u8"config/zr4812-exchange.ini");
  fs::create_directories(root_ / "bin");
  struct Case {
    bool besideExists, besideUsable, configExists, owned, writable;
    const std::string& chosen;
    std::string passedOver;
  } cases[] = {
      {true, true, true, true, true, beside, ""},
      {true, false, true, true, true, config, beside},
      {true, false, false, true, true, config, beside},
      {false, false, true, true, true, config, ""},
      {false, false, false, true, true, beside, ""},
      {false, false, false, false, true, config, ""},
      {false, false, false, true, false, config, ""},
  };
  for (const Case& c : cases) {
    fs::remove_all(root_ / "config");
    fs::remove(root_ / "bin" / "zr4812-exchange.ini");
    if (c.besideExists)
      Write(beside, "");
    if (c.configExists) {
      fs::create_directories(root_ / "config");
      Write(config, "");
    }
    const IniFile::Location place = IniFile::Locate(
        beside, config, [&](const std::string&) { return c.writable; },
        [&](const std::string&) { return c.besideUsable; }, [&](const std::string&) { return c.owned; });
    EXPECT_EQ(place.path, c.chosen) << c.besideExists << c.besideUsable << c.configExists << c.owned << c.writable;
    EXPECT_EQ(place.passedOver, c.passedOver);
  }
}

TEST(IniFileName, IsTheProgramsNameWithIni)
{
  EXPECT_EQ(IniFile::IniFileNameFor("/usr/bin/zr4812-exchange"), "zr4812-exchange.ini");
  EXPECT_EQ(IniFile::IniFileNameFor("C:/Programs/ZR4812.EXE"), "ZR4812.ini");
}

} // namespace
} // namespace zr
