#include "transfer/datatypes.h"

#include <cctype>

namespace zr {

static_assert(DataTypeTable.size() == DATA_TYPE_COUNT, "one row per console data type");

int TypeFromFileName(std::string& name)
{
  for (char& c : name)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
  std::string card(nameWithoutExtension.substr(0, 8));
  for (char& c : card) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool keep = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
    if (!keep)
      c = '_';
  }
  return card;
}

std::string CardNameOf(std::string_view pcFileName)
{
  std::string upper(pcFileName);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::size_t dot = upper.rfind('.');
  if (dot == std::string::npos)
    return {};
  upper.resize(dot);
  for (std::size_t i = 0; i + 1 < upper.size(); ++i)
    if (upper[i] == '.')
      upper[i] = '_';
  if (upper.size() > 8)
    upper.resize(8);
  return upper;
}

std::string SafePcFileName(std::string_view cardName)
{
  std::string safe(cardName);
  for (char& c : safe) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool keep = std::isalnum(u) || c == '_' || c == '-' || c == ' ';
    if (!keep)
      c = '_';
  }
  // A name made only of blanks would vanish on some file systems.
  if (safe.find_first_not_of(' ') == std::string::npos)
    safe = "_" + safe;
  return safe;
}

} // namespace zr
