// Reading an archive back: SHA256SUMS line by line, each file against its
// sum, the INCOMPLETE mark, and the order of its restores.
#include "files/archive_check.h"

#include <algorithm>
#include <sstream>

#include "link/wire.h"
#include "files/datatypes.h"
#include "files/disk.h"
#include "files/pc_names.h"
#include "files/sha256.h"

namespace zr {

namespace {

// A place in the archive as a path. Plain strings, not std::filesystem: on
// Windows a path made from a std::string takes the ANSI code page, and
// these names are UTF-8; the disk unit takes "/" on every system.
std::string At(const std::string& folder, const std::string& place)
{
  return folder + "/" + place;
}

// A place as a message may show it: nothing in it reaches the terminal raw.
std::string Shown(const std::string& place)
{
  return EscapedCardName(place);
}

bool IsHex(const std::string& text)
{
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "card/NAME" or "internal/NAME" with NAME a plain file name of a kind:
// nothing in the list may lead out of the folder. No ":" either: on Windows
// "C:x" would take the place of the whole path it is joined to, and "x:y"
// names a stream of another file.
bool SplitPlace(const std::string& place, std::string& half, std::string& name)
{
  const std::size_t slash = place.find('/');
  if (slash == std::string::npos)
    return false;
  half = place.substr(0, slash);
  name = place.substr(slash + 1);
  if (half != "card" && half != "internal")
    return false;
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos)
    return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return false;
  return IsDataType(TypeOfFileName(name));
}

// A list of ours read once: SHA256SUMS, INCOMPLETE or CARDNAMES.
FileBytes ReadList(const std::string& folder, const char* name)
{
  return ReadEntry(At(folder, name), ARCHIVE_LIST_LIMIT);
}

std::vector<std::string> Lines(const std::vector<std::uint8_t>& bytes)
{
  std::vector<std::string> lines;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line;
  while (std::getline(in, line)) {
    // A list saved by an editor on Windows ends its lines in CR LF.
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// CARDNAMES into `contents`, which must name its card places already.
std::optional<std::string> ReadCardNames(const std::vector<std::uint8_t>& bytes, ArchiveContents& contents)
{
  contents.namesRecorded = true;
  int number = 0;
  for (const std::string& line : Lines(bytes)) {
    ++number;
    const std::size_t tab = line.find('\t');
    const std::string place = line.substr(0, tab);
    const auto it =
        std::find(contents.card.begin(), contents.card.end(),
                  place.size() > 5 && place.starts_with("card/") ? place.substr(5) : std::string());
    if (tab == std::string::npos || it == contents.card.end())
      return std::string(CARD_NAMES_FILE) + " is damaged at line " + std::to_string(number);
    const std::string name = UnescapedCardName(line.substr(tab + 1));
    contents.cardNames[static_cast<std::size_t>(it - contents.card.begin())] =
        SendableCardName(name) ? name : std::string();
  }
  return std::nullopt;
}

} // namespace

bool SendableCardName(const std::string& name)
{
  return !name.empty() && name.size() <= static_cast<std::size_t>(CARD_NAME_LENGTH) &&
         name.find('\0') == std::string::npos;
}

ArchiveCheck CheckArchive(const std::string& folder, bool hashFiles)
{
  ArchiveCheck check;
  if (ReadIncompleteMark(folder)) {
    check.problem = std::string("the archive is incomplete (") + INCOMPLETE_FILE +
                    "; zr4812 archive --resume finishes it)";
    return check;
  }
  const FileBytes sums = ReadList(folder, CHECKSUM_FILE);
  if (sums.problem != ReadProblem::None) {
    check.problem = std::string(CHECKSUM_FILE) + " " + ReadProblemText(sums.problem);
    return check;
  }
  // A half may be missing (its files are then missing); one that is there
  // must be a folder of the archive's own, not a link to another.
  for (const char* half : {"card", "internal"})
    if (EntryExists(At(folder, half)) && !IsRealFolder(At(folder, half))) {
      check.problem = std::string(half) + "/ is not a folder of the archive (a link is not followed)";
      return check;
    }
  std::optional<std::string> namesSum;
  int number = 0;
  for (const std::string& line : Lines(sums.bytes)) {
    ++number;
    std::string half, name;
    const std::string sum = line.substr(0, 64);
    const std::string place = line.size() > 66 ? line.substr(66) : std::string();
    const bool names = place == CARD_NAMES_FILE;
    if (!IsHex(sum) || line.size() <= 66 ||
        (line.compare(64, 2, "  ") != 0 && line.compare(64, 2, " *") != 0) ||
        (!names && !SplitPlace(place, half, name)) || check.contents.sums.count(place) != 0) {
      check.problem = std::string(CHECKSUM_FILE) + " is damaged at line " + std::to_string(number);
      return check;
    }
    check.contents.sums[place] = sum;
    if (names) {
      namesSum = sum;
      continue;
    }
    if (hashFiles) {
      const ArchiveEntry entry = ReadArchiveEntry(folder, check.contents, place);
      if (entry.problem) {
        check.problem = Shown(place) + " " + *entry.problem;
        return check;
      }
    }
    if (half == "card") {
      check.contents.card.push_back(name);
      check.contents.cardNames.emplace_back(); // the recorded name, once CARDNAMES is read
    } else {
      check.contents.internal.push_back(name);
    }
  }
  if (check.contents.card.empty() && check.contents.internal.empty()) {
    check.problem = std::string(CHECKSUM_FILE) + " names no file";
    return check;
  }
  if (namesSum) {
    // Always read and checked, even without `hashFiles`: the names decide
    // what the console's files are called after a restore.
    const ArchiveEntry names = ReadArchiveEntry(folder, check.contents, CARD_NAMES_FILE);
    if (names.problem) {
      check.problem = std::string(CARD_NAMES_FILE) + " " + *names.problem;
      return check;
    }
    check.problem = ReadCardNames(names.bytes, check.contents);
  }
  return check;
}

ArchiveEntry ReadArchiveEntry(const std::string& folder, const ArchiveContents& contents,
                              const std::string& place)
{
  ArchiveEntry entry;
  const auto sum = contents.sums.find(place);
  if (sum == contents.sums.end()) {
    entry.problem = std::string("is not in ") + CHECKSUM_FILE;
    return entry;
  }
  FileBytes file =
      ReadEntry(At(folder, place), place == CARD_NAMES_FILE ? ARCHIVE_LIST_LIMIT : MAX_FILE_SIZE);
  if (file.problem != ReadProblem::None)
    entry.problem = ReadProblemText(file.problem);
  else if (Sha256Of(file.bytes) != sum->second)
    entry.problem = std::string("does not match its sum in ") + CHECKSUM_FILE;
  else
    entry.bytes = std::move(file.bytes);
  return entry;
}

std::optional<std::vector<std::string>> ReadIncompleteMark(const std::string& folder)
{
  if (!EntryExists(At(folder, INCOMPLETE_FILE)))
    return std::nullopt;
  std::vector<std::string> missing;
  const FileBytes mark = ReadList(folder, INCOMPLETE_FILE);
  if (mark.problem == ReadProblem::None) {
    const std::vector<std::string> lines = Lines(mark.bytes);
    // The first line says what the file is for.
    for (std::size_t i = 1; i < lines.size(); ++i)
      if (!lines[i].empty())
        missing.push_back(lines[i]);
  }
  return missing;
}

bool WriteIncompleteMark(const std::string& folder, const std::vector<std::string>& missing)
{
  std::string text = "This archive is not complete; zr4812 archive --resume fetches what is missing:\n";
  for (const std::string& place : missing)
    text += place + "\n";
  return WriteStringSafely(At(folder, INCOMPLETE_FILE), text, true) == 0;
}

bool WriteCardNames(const std::string& folder, const std::vector<std::string>& places,
                    const std::vector<std::string>& names)
{
  std::string text;
  for (std::size_t i = 0; i < places.size() && i < names.size(); ++i)
    text += places[i] + "\t" + EscapedCardName(names[i]) + "\n";
  return WriteStringSafely(At(folder, CARD_NAMES_FILE), text, true) == 0;
}

std::optional<std::string> WriteChecksumFile(const std::string& folder,
                                             const std::vector<std::string>& places)
{
  std::string text;
  for (const std::string& place : places) {
    const FileBytes file =
        ReadEntry(At(folder, place), place == CARD_NAMES_FILE ? ARCHIVE_LIST_LIMIT : MAX_FILE_SIZE);
    if (file.problem != ReadProblem::None)
      return Shown(place) + " " + ReadProblemText(file.problem);
    // Two blanks: binary and text mode read the same; sha256sum -c takes it.
    text += Sha256Of(file.bytes) + "  " + place + "\n";
  }
  if (WriteStringSafely(At(folder, CHECKSUM_FILE), text, true) != 0)
    return std::string(CHECKSUM_FILE) + " cannot be written";
  return std::nullopt;
}

std::vector<std::vector<std::string>> InternalRestoreBatches(const std::vector<std::string>& internalNames,
                                                             bool withOs)
{
  std::vector<std::string> byType(DATA_TYPE_COUNT);
  for (const std::string& name : internalNames) {
    const int type = TypeOfFileName(name);
    if (IsDataType(type) && byType[static_cast<std::size_t>(type)].empty())
      byType[static_cast<std::size_t>(type)] = name;
  }
  std::vector<std::string> libraries;
  for (int type = 1; type < OPERATING_SYSTEM_TYPE; ++type)
    if (!byType[static_cast<std::size_t>(type)].empty())
      libraries.push_back(byType[static_cast<std::size_t>(type)]);
  std::vector<std::vector<std::string>> batches;
  const bool allLibraries = libraries.size() == static_cast<std::size_t>(OPERATING_SYSTEM_TYPE - 1);
  if (!allLibraries && !byType[0].empty())
    batches.push_back({byType[0]});
  else if (!libraries.empty())
    batches.push_back(libraries);
  if (withOs && !byType[OPERATING_SYSTEM_TYPE].empty())
    batches.push_back({byType[OPERATING_SYSTEM_TYPE]});
  return batches;
}

} // namespace zr
