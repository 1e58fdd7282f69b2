#include "files/datatypes.h"

#include <algorithm>

namespace zr {

static_assert(DataTypeTable.size() == DATA_TYPE_COUNT, "one row per console data type");

namespace {

// A name on the card has at most 8 characters.
constexpr std::size_t CARD_NAME_CHARS = 8;

// ASCII only, on purpose: the C library's tolower/isalnum follow the process
// locale (Qt sets it from the environment), and in a single-byte locale they
// would change or keep the bytes of UTF-8 names, so that a path no longer
// names the file it came from.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool IsAsciiAlnum(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Windows opens a device instead of a file for these names, whatever the
// extension; a card file called AUX must not end up on the printer port.
bool IsWindowsDeviceName(std::string_view name)
{
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL")
    return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
         upper[3] <= '9';
}

} // namespace

int CompareIgnoringCase(std::string_view a, std::string_view b)
{
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiUpper(a[i]));
    const auto y = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
  return a.size() == b.size() && CompareIgnoringCase(a, b) == 0;
}

int TypeFromFileName(std::string& name)
{
  std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
  for (std::size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1)) {
    const std::string_view rest = std::string_view(name).substr(dot + 1);
    for (int type = 0; type < DATA_TYPE_COUNT; ++type)
      if (rest == DataTypeTable[type].extension)
        return type;
  }
  return -1;
}

int TypeOfFileName(std::string_view name)
{
  std::string copy(name);
  return TypeFromFileName(copy);
}

std::string WithoutExtension(std::string_view name)
{
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string CardFileName(std::string_view nameWithoutExtension)
{
  std::string card(nameWithoutExtension.substr(0, CARD_NAME_CHARS));
  for (char& c : card)
    if (!IsAsciiAlnum(c))
      c = '_';
  return card;
}

std::string CardNameOf(std::string_view pcFileName)
{
  std::string upper(pcFileName);
  std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
  const std::size_t dot = upper.rfind('.');
  if (dot == std::string::npos)
    return {};
  upper.resize(dot);
  for (std::size_t i = 0; i + 1 < upper.size(); ++i)
    if (upper[i] == '.')
      upper[i] = '_';
  if (upper.size() > CARD_NAME_CHARS)
    upper.resize(CARD_NAME_CHARS);
  return upper;
}

std::string SafePcFileName(std::string_view cardName)
{
  std::string safe(cardName);
  for (char& c : safe)
    if (!IsAsciiAlnum(c) && c != '_' && c != '-' && c != ' ')
      c = '_';
  // Windows drops blanks at the end of a name (and would then see "AUX "
  // as the device AUX); a name made only of blanks would vanish altogether.
  for (auto c = safe.rbegin(); c != safe.rend() && *c == ' '; ++c)
    *c = '_';
  if (safe.empty())
    safe = "_";
  if (IsWindowsDeviceName(safe))
    safe += '_';
  return safe;
}

} // namespace zr
