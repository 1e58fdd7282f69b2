// Any bytes as a file name: the type lookup, the two card-name rules and the
// PC name of a card file keep their promises (length, alphabet, never a path
// outside the chosen folder) whatever the input; the input cut at its zero
// bytes as the card files of one batch get PC names that differ even where a
// disk ignores case, and escaped names come back whole.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tests/support/fuzz_check.h"
#include "files/datatypes.h"
#include "files/pc_names.h"

namespace {

bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string input(reinterpret_cast<const char*>(data), size);

  // Type lookup: lower-cases ASCII only, and a type means the name ends in
  // "." and that type's extension.
  std::string lowered = input;
  const int type = zr::TypeFromFileName(lowered);
  FUZZ_CHECK(type >= -1 && type < zr::DATA_TYPE_COUNT);
  FUZZ_CHECK(type == zr::TypeOfFileName(input));
  FUZZ_CHECK(lowered.size() == input.size());
  for (std::size_t i = 0; i < input.size(); ++i) {
    const char c = input[i];
    FUZZ_CHECK(lowered[i] == (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  }
  if (type >= 0) {
    const std::string ending = std::string(".") + zr::DataTypeTable[type].extension;
    FUZZ_CHECK(lowered.size() >= ending.size() && lowered.ends_with(ending));
  }

  // The name sent to the card.
  const std::string card = zr::CardFileName(zr::WithoutExtension(lowered));
  FUZZ_CHECK(card.size() <= 8);
  for (const char c : card)
    FUZZ_CHECK((IsAsciiAlnum(c) && !(c >= 'A' && c <= 'Z')) || c == '_');

  // The name of the replace check.
  const std::string checked = zr::CardNameOf(input);
  FUZZ_CHECK(checked.size() <= 8);
  if (input.find('.') == std::string::npos)
    FUZZ_CHECK(checked.empty());
  for (const char c : checked)
    FUZZ_CHECK(!(c >= 'a' && c <= 'z'));

  // A card name as a PC file name.
  const std::string safe = zr::SafePcFileName(input);
  FUZZ_CHECK(!safe.empty() && safe != "." && safe != ".." && safe.back() != ' ');
  FUZZ_CHECK(safe.size() >= input.size() && safe.size() <= input.size() + 2);
  for (const char c : safe)
    FUZZ_CHECK(IsAsciiAlnum(c) || c == '_' || c == '-' || c == ' ');
  FUZZ_CHECK(zr::SafePcFileName(safe) == safe);

  // One batch: every name unique, case ignored, and a plain name in the folder.
  std::vector<zr::CardFileRef> files;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= input.size(); ++i)
    if (i == input.size() || input[i] == '\0') {
      files.push_back({static_cast<int>(i % zr::DATA_TYPE_COUNT) / 4, input.substr(from, i - from)});
      from = i + 1;
    }
  const std::vector<std::string> stems = zr::UniquePcStems(files);
  FUZZ_CHECK(stems.size() == files.size());
  std::set<std::string> seen;
  for (std::size_t i = 0; i < stems.size(); ++i) {
    std::string name = zr::PcFileNameOf(stems[i], files[i].type);
    FUZZ_CHECK(name.find_first_of("/\\:") == std::string::npos && name.front() != '.');
    for (char& c : name)
      c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    FUZZ_CHECK(seen.insert(name).second);
    FUZZ_CHECK(zr::UnescapedCardName(zr::EscapedCardName(files[i].name)) == files[i].name);
  }
  return 0;
}
