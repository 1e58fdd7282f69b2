// PC file names to data types and card names, and card names to PC file
// names that stay inside the folder the user chose; the screen's lines from
// their codes.
#include <gtest/gtest.h>

#include "files/datatypes.h"
#include "link/screen_text.h"

using namespace zr;

TEST(DataTypes, TableRowsAgree)
{
  for (int type = 0; type < DATA_TYPE_COUNT; ++type) {
    const DataTypeRow& row = DataTypeTable[type];
    SCOPED_TRACE(row.name);
    EXPECT_LE(std::string_view(row.name).size(), 16u);
    std::string label;
    for (const char c : std::string_view(row.extension))
      label += static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(label + ":", row.label);
    EXPECT_EQ(TypeOfFileName(std::string("x.") + row.extension), type);
  }
  EXPECT_EQ(std::string(DataTypeTable[OPERATING_SYSTEM_TYPE].extension), "kex");
  EXPECT_FALSE(IsDataType(-1));
  EXPECT_FALSE(IsDataType(9));
  EXPECT_FALSE(IsDataType(127));
}

TEST(DataTypes, TypeFromFileName)
{
  struct Case {
    std::string name;
    int type;
    std::string lowered;
  };
  const Case cases[] = {
      {"SONG.KPR", 0, "song.kpr"},
      {"a.kpr.kch", 1, "a.kpr.kch"},
      {"a.kch.kpr", 0, "a.kch.kpr"},
      {"a.kpr.bak", -1, "a.kpr.bak"},
      {"a.kp", -1, "a.kp"},
      {"akpr", -1, "akpr"},
      {"", -1, ""},
      {".kpr", 0, ".kpr"},
      {"a.", -1, "a."},
      {"x.ka", 5, "x.ka"},
      {"x.kex", 8, "x.kex"},
      {"x.kaa", -1, "x.kaa"},
      {"x.Ksn", 6, "x.ksn"},
      {"x.kpr ", -1, "x.kpr "},
      {"My Song.old.KPR", 0, "my song.old.kpr"},
      // Bytes of UTF-8 letters are left alone: the lower-cased text must
      // still name the same file.
      {"\xC3\x84RGER.KCH", 1, "\xC3\x84rger.kch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.name;
    EXPECT_EQ(TypeFromFileName(text), c.type);
    EXPECT_EQ(text, c.lowered);
    EXPECT_EQ(TypeOfFileName(c.name), c.type);
  }
}

// The name a PC file gets on the card: extension cut, 8 characters, and
// every character but ASCII letters and digits as "_", one per byte.
TEST(DataTypes, CardFileName)
{
  struct Case {
    std::string pcName;
    int type;
    std::string card;
  };
  const Case cases[] = {
      {"abcdefghij.kch", 1, "abcdefgh"},
      {"abcdefgh.kch", 1, "abcdefgh"},
      {"a-b c.kfx", 4, "a_b_c"},
      {"My Song.old.KPR", 0, "my_song_"},
      {"mix.b.kch", 1, "mix_b"},
      {"caf\xC3\xA9.keq", 2, "caf__"},
      {"\xC3\xA9t\xC3\xA9.ksu", 7, "__t__"},
      {"x.ka", 5, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pcName);
    std::string name = c.pcName;
    EXPECT_EQ(TypeFromFileName(name), c.type);
    EXPECT_EQ(CardFileName(WithoutExtension(name)), c.card);
  }
  EXPECT_EQ(WithoutExtension("my song.old.kpr"), "my song.old");
  EXPECT_EQ(WithoutExtension("noext"), "noext");
  EXPECT_EQ(WithoutExtension(".kpr"), "");
}

// The card name of the replace check: upper case, no character replaced
// but inner dots.
TEST(DataTypes, CardNameOf)
{
  struct Case {
    std::string pcName;
    std::string card;
  };
  const Case cases[] = {
      {"mix.b.kch", "MIX_B"},        {"a.kch", "A"},          {"longfilename.kch", "LONGFILE"},
      {"nodot", ""},                 {"", ""},                {"a..kch", "A."},
      {"a.b.c.kch", "A_B_C"},        {"my song.kpr", "MY SONG"}, {"a-b.kfx", "A-B"},
      {"abcdefg.h.kch", "ABCDEFG_"}, {".kpr", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pcName);
    EXPECT_EQ(CardNameOf(c.pcName), c.card);
  }
}

namespace {

void ExpectSafe(const std::string& name)
{
  ASSERT_FALSE(name.empty());
  EXPECT_NE(name, ".");
  EXPECT_NE(name, "..");
  EXPECT_NE(name.back(), ' ') << "Windows would drop it";
  for (const char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                         c == '-' || c == ' ';
    EXPECT_TRUE(allowed) << "byte " << int(static_cast<unsigned char>(c)) << " in \"" << name << "\"";
  }
}

} // namespace

TEST(DataTypes, SafePcFileName)
{
  struct Case {
    std::string card;
    std::string safe;
  };
  const Case cases[] = {
      {"VOCALS", "VOCALS"},
      {"my_song-", "my_song-"},
      {"A B", "A B"},
      {"../evil", "___evil"},
      {"..", "__"},
      {".", "_"},
      {"", "_"},
      {"   ", "___"},
      {"aux ", "aux_"},
      {"A B  ", "A B__"},
      {" x", " x"},
      {"a/b", "a_b"},
      {"a\\b", "a_b"},
      {"con:", "con_"},
      {"C:x", "C_x"},
      {"a*b?c\"<>|", "a_b_c____"},
      {std::string("a\0b", 3), "a_b"},
      {"\t\n\x1b\x7f", "____"},
      {"caf\xC3\xA9", "caf__"},
      {"CON", "CON_"},
      {"aux", "aux_"},
      {"Nul", "Nul_"},
      {"PRN", "PRN_"},
      {"COM1", "COM1_"},
      {"lpt9", "lpt9_"},
      {"COM", "COM"},
      {"COM10", "COM10"},
      {"CONSOLE", "CONSOLE"},
      {"AUX.", "AUX_"},
      {"nul..", "nul__"},
      {"CON.txt", "CON_txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card);
    const std::string safe = SafePcFileName(c.card);
    EXPECT_EQ(safe, c.safe);
    ExpectSafe(safe);
  }
}

TEST(DataTypes, SafePcFileNameOfEveryByte)
{
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const char c = static_cast<char>(b);
    ExpectSafe(SafePcFileName(std::string(1, c)));
    ExpectSafe(SafePcFileName(std::string(2, c)));
    ExpectSafe(SafePcFileName(std::string("ab") + c + "cd"));
  }
}

// The screen's lines from their values: numbers and words in their places,
// a long word cut where the status line ends, the batch's failure line whole.
TEST(ScreenTexts, RenderedAsTheWindowShowsThem)
{
  const std::string longWord(300, 'x');
  const struct {
    ScreenText text;
    std::string shown;
  } rows[] = {
      {{TextId::ConnectedCom, 3}, "Connected thru COM port 3"},
      {{TextId::NoMidiOut, -2}, " ! No MIDI out device code = -2"},
      {{TextId::ChecksumError, 7, 200, 13}, "    7 Checksum error 200 : 13"},
      {{TextId::SendingFileNr, 2, 5}, "Sending file nr 2 of 5."},
      {{.id = TextId::FileError, .word = "disk full"}, "File error: disk full"},
      {{.id = TextId::FileError, .word = longWord}, ("File error: " + longWord).substr(0, 255)},
      {{TextId::BatchFailures, 1, 4, 0, longWord}, "1 of 4 files failed (first: " + longWord + ")"},
      {{.id = TextId::DeviceRefused, .word = "100% %s %n"}, "100% %s %n"},
      {{static_cast<TextId>(999)}, ""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(Render(row.text), row.shown) << static_cast<int>(row.text.id);
}
