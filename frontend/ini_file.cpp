#include "frontend/ini_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

#include "files/disk.h"
#include "files/errors.h"

namespace zr {

namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 in the program; std::filesystem would read a narrow
// string in the Windows code page.
fs::path PathOf(const std::string& utf8)
{
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trimmed(const std::string& s)
{
  std::size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin]))
    ++begin;
  while (end > begin && IsBlank(s[end - 1]))
    --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b)
{
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// "[Name]" (blanks allowed around it): the name, or nothing when the line
// is no section header.
std::optional<std::string> SectionNameOf(const std::string& line)
{
  const std::string t = Trimmed(line);
  if (t.empty() || t[0] != '[')
    return std::nullopt;
  const std::size_t close = t.find(']');
  if (close == std::string::npos)
    return std::nullopt;
  return Trimmed(t.substr(1, close - 1));
}

bool IsComment(const std::string& line)
{
  const std::string t = Trimmed(line);
  return !t.empty() && (t[0] == ';' || t[0] == '#');
}

// "Key=Value": the key, or nothing for any other line.
std::optional<std::string> KeyOf(const std::string& line)
{
  if (IsComment(line) || SectionNameOf(line))
    return std::nullopt;
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos || eq == 0)
    return std::nullopt;
  std::string key = Trimmed(line.substr(0, eq));
  if (key.empty())
    return std::nullopt;
  return key;
}

std::string ValueOf(const std::string& line)
{
  return Trimmed(line.substr(line.find('=') + 1));
}

// A value is one line of the file: a line break inside it would split the
// line and turn the rest into junk, so line breaks are dropped.
std::string OneLine(std::string value)
{
  std::erase(value, '\r');
  std::erase(value, '\n');
  return value;
}

bool ValidUtf8(const std::string& bytes)
{
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t more = 0;
    char32_t point = 0, least = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, point = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, point = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, point = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= more; ++k) {
      if (i + k >= bytes.size())
        return false;
      const auto d = static_cast<unsigned char>(bytes[i + k]);
      if ((d & 0xC0) != 0x80)
        return false;
      point = (point << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode are no UTF-8.
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
      return false;
    i += more + 1;
  }
  return true;
}

std::string Latin1ToUtf8(const std::string& bytes)
{
  std::string text;
  text.reserve(bytes.size());
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    if (c < 0x80) {
      text += b;
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// The UTF-8 text in Latin-1, or nothing when a character does not fit.
std::optional<std::string> Utf8ToLatin1(const std::string& text)
{
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      bytes += text[i];
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F));
    } else {
      return std::nullopt;
    }
  }
  return bytes;
}

const std::string COMMUNICATION = "Communication";
const std::string PREFS = "Prefs";

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
  std::error_code ec;
  const fs::path file = PathOf(path_);
  if (!fs::exists(fs::status(file, ec)))
    return;
  std::ifstream in(file, std::ios::binary);
  if (!in || fs::is_directory(file, ec)) {
    loadedOk_ = false;
    return;
  }
  std::string text{std::istreambuf_iterator<char>(in), {}};
  if (in.bad()) {
    loadedOk_ = false;
    return;
  }
  // A byte order mark is no part of the first line.
  if (text.starts_with("\xEF\xBB\xBF"))
    text.erase(0, 3);
  // A file written by an older Windows program is in its code page: read
  // it byte for byte, so that writing it back changes no other line.
  if (!ValidUtf8(text)) {
    latin1_ = true;
    text = Latin1ToUtf8(text);
  }
  crlf_ = text.find("\r\n") != std::string::npos;
  std::erase(text, '\r');
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      // A final line break leaves one empty piece that is not a line.
      if (start < text.size())
        lines_.push_back(text.substr(start));
      break;
    }
    lines_.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

int IniFile::FindSection(const std::string& section) const
{
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const std::optional<std::string> name = SectionNameOf(lines_[i]);
    if (name && SameName(*name, section))
      return static_cast<int>(i);
  }
  return -1;
}

int IniFile::SectionEnd(int sectionLine) const
{
  std::size_t i = static_cast<std::size_t>(sectionLine) + 1;
  while (i < lines_.size() && !SectionNameOf(lines_[i]))
    ++i;
  return static_cast<int>(i);
}

int IniFile::FindKey(int sectionLine, const std::string& key) const
{
  const int end = SectionEnd(sectionLine);
  for (int i = sectionLine + 1; i < end; ++i) {
    const std::optional<std::string> k = KeyOf(lines_[static_cast<std::size_t>(i)]);
    if (k && SameName(*k, key))
      return i;
  }
  return -1;
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const
{
  const int s = FindSection(section);
  return s >= 0 && FindKey(s, key) >= 0;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const
{
  const int s = FindSection(section);
  if (s < 0)
    return defaultValue;
  const int k = FindKey(s, key);
  return k < 0 ? defaultValue : ValueOf(lines_[static_cast<std::size_t>(k)]);
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const
{
  if (!HasKey(section, key))
    return defaultValue;
  std::string value = ReadString(section, key, {});
  // One sign, '+' or '-', then decimal digits and nothing else.
  if (value.starts_with('+')) {
    value.erase(0, 1);
    if (value.starts_with('-') || value.starts_with('+'))
      return defaultValue;
  }
  if (value.empty() || value == "-")
    return defaultValue;
  int result = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, result, 10);
  return error == std::errc{} && stop == end ? result : defaultValue;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
  const std::string line = key + '=' + OneLine(value);
  const int s = FindSection(section);
  if (s < 0) {
    lines_.push_back('[' + section + ']');
    lines_.push_back(line);
    return;
  }
  const int k = FindKey(s, key);
  if (k >= 0) {
    lines_[static_cast<std::size_t>(k)] = line;
    return;
  }
  // After the section's last non-blank line, so blank lines that separate
  // it from the next section stay where they are.
  int at = SectionEnd(s);
  while (at > s + 1 && Trimmed(lines_[static_cast<std::size_t>(at - 1)]).empty())
    --at;
  lines_.insert(lines_.begin() + at, line);
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value)
{
  WriteString(section, key, std::to_string(value));
}

bool IniFile::Flush(std::string* error)
{
  const auto fail = [error](std::string why) {
    if (error)
      *error = std::move(why);
    return false;
  };
  // What could not be read would be lost by writing the rest over it.
  if (!loadedOk_)
    return fail(path_ + " could not be read");
  const fs::path folder = PathOf(path_).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec) && !fs::create_directories(folder, ec))
    return fail("cannot create folder " + std::string(reinterpret_cast<const char*>(folder.u8string().c_str())));
  const char* eol = crlf_ ? "\r\n" : "\n";
  std::string text;
  for (const std::string& line : lines_)
    text += line + eol;
  if (latin1_)
    if (const std::optional<std::string> bytes = Utf8ToLatin1(text))
      text = *bytes;
  switch (WriteStringSafely(path_, text, true)) {
  case ERR_NONE:
    return true;
  case ERR_DISK_FULL:
    return fail("cannot write " + path_ + ": the disk is full");
  case ERR_NOT_WRITABLE:
  case ERR_ACCESS_DENIED:
  case ERR_FILE_IN_USE:
    return fail("cannot write " + path_ + ": permission denied");
  default:
    return fail("cannot write " + path_);
  }
}

std::vector<std::string> IniFile::Keys(const std::string& section) const
{
  std::vector<std::string> keys;
  const int s = FindSection(section);
  if (s < 0)
    return keys;
  const int end = SectionEnd(s);
  for (int i = s + 1; i < end; ++i)
    if (std::optional<std::string> key = KeyOf(lines_[static_cast<std::size_t>(i)]))
      keys.push_back(std::move(*key));
  return keys;
}

ComPortTable IniFile::ComPortTableFromPorts() const
{
  ComPortTable table;
  const std::string ports = "Ports";
  for (const std::string& key : Keys(ports)) {
    const int n = ComPortKeyNumber(key);
    // The first of two equal keys counts, as everywhere else in the file.
    if (n > 0 && table.find(n) == table.end())
      table[n] = ReadString(ports, key, {});
  }
  return table;
}

std::string IniFile::ComPortDevice(int n) const
{
  const ComPortTable table = ComPortTableFromPorts();
  const auto it = table.find(n);
  return it != table.end() ? it->second : DefaultComPortPath(n);
}

int IniFile::Medium() const
{
  return ReadInteger(COMMUNICATION, "Medium", 0);
}
int IniFile::ComPort() const
{
  return ReadInteger(COMMUNICATION, "ComPort", 1);
}
int IniFile::MidiIn() const
{
  return ReadInteger(COMMUNICATION, "MidiIn", 0);
}
int IniFile::MidiOut() const
{
  return ReadInteger(COMMUNICATION, "MidiOut", 0);
}
std::string IniFile::Directory(const std::string& fallback) const
{
  return ReadString(PREFS, "Directory", fallback);
}

void IniFile::WriteLink(int medium, int comPort, int midiIn, int midiOut)
{
  WriteInteger(COMMUNICATION, "Medium", medium);
  WriteInteger(COMMUNICATION, "ComPort", comPort);
  WriteInteger(COMMUNICATION, "MidiIn", midiIn);
  WriteInteger(COMMUNICATION, "MidiOut", midiOut);
}

void IniFile::WriteDirectory(const std::string& directory)
{
  WriteString(PREFS, "Directory", directory);
}

std::string IniFile::IniFileNameFor(const std::string& programFileName)
{
  const fs::path path = PathOf(programFileName);
  const auto utf8 = [](const std::u8string& s) { return std::string(s.begin(), s.end()); };
  std::string name = utf8(path.filename().u8string());
  const std::string extension = utf8(path.extension().u8string());
  if (SameName(extension, ".exe"))
    return name.substr(0, name.size() - extension.size()) + ".ini";
  return name + ".ini";
}

IniFile::Location IniFile::Locate(const std::string& besideProgram, const std::string& inConfigFolder,
                                  const FolderTest& folderWritable, const FolderTest& fileUsable,
                                  const FolderTest& folderOwned)
{
  std::error_code ec;
  const bool besideExists = fs::exists(PathOf(besideProgram), ec);
  if (besideExists && fileUsable(besideProgram))
    return {besideProgram, {}};
  const std::string passedOver = besideExists ? besideProgram : std::string();
  // Saved there by an earlier run whose program folder was read-only.
  if (fs::exists(PathOf(inConfigFolder), ec))
    return {inConfigFolder, passedOver};
  const std::u8string folder = fs::absolute(PathOf(besideProgram), ec).parent_path().u8string();
  const std::string programFolder(folder.begin(), folder.end());
  if (!besideExists && folderOwned(programFolder) && folderWritable(programFolder))
    return {besideProgram, {}};
  return {inConfigFolder, passedOver};
}

bool IniFile::FolderWritable(const std::string& folder)
{
  std::error_code ec;
  const fs::path dir = PathOf(folder);
  if (!fs::is_directory(dir, ec))
    return false;
  std::random_device random;
  const fs::path probe = dir / (".zr-write-probe-" + std::to_string(random()));
  {
    std::ofstream out(probe, std::ios::binary | std::ios::app);
    if (!out)
      return false;
  }
  fs::remove(probe, ec);
  return true;
}

} // namespace zr
