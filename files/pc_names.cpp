// Unique PC names for card files within a batch, and card names escaped for
// a terminal.
#include "files/pc_names.h"

#include <cstdio>

#include "files/datatypes.h"

namespace zr {

namespace {

std::string Folded(std::string_view name)
{
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

int HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

} // namespace

std::string PcFileNameOf(const std::string& stem, int type)
{
  return IsDataType(type) ? stem + "." + DataTypeTable[static_cast<std::size_t>(type)].extension : stem;
}

std::string PcNameSet::Assign(const CardFileRef& file)
{
  const std::string safe = SafePcFileName(file.name);
  std::string stem = safe;
  for (int n = 2; Taken(PcFileNameOf(stem, file.type)); ++n)
    stem = safe + "~" + std::to_string(n);
  Take(PcFileNameOf(stem, file.type));
  return stem;
}

void PcNameSet::Take(const std::string& pcFileName)
{
  taken_.insert(Folded(pcFileName));
}

bool PcNameSet::Taken(const std::string& pcFileName) const
{
  return taken_.count(Folded(pcFileName)) != 0;
}

std::vector<std::string> UniquePcStems(const std::vector<CardFileRef>& files)
{
  PcNameSet names;
  std::vector<std::string> stems;
  stems.reserve(files.size());
  for (const CardFileRef& file : files)
    stems.push_back(names.Assign(file));
  return stems;
}

std::string EscapedCardName(std::string_view name)
{
  std::string text;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"' || c == '\'') {
      text += '\\';
      text += c;
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '\n') {
      text += "\\n";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      text += hex;
    } else {
      text += c;
    }
  }
  return text;
}

std::string UnescapedCardName(std::string_view text)
{
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      name += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 't') {
      name += '\t';
    } else if (next == 'n') {
      name += '\n';
    } else if (next == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      name += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      name += next;
    }
  }
  return name;
}

} // namespace zr
