// Reading an archive back: SHA256SUMS line by line, each file against its
// sum, the INCOMPLETE mark, and the order of its restores.
#include "transfer/archive_check.h"

#include <filesystem>
#include <sstream>

#include "transfer/datatypes.h"
#include "transfer/disk.h"
#include "transfer/sha256.h"

namespace zr {

namespace fs = std::filesystem;

namespace {

bool IsHex(const std::string& text)
{
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "card/NAME" or "internal/NAME" with NAME a plain file name of a kind:
// nothing in the list may lead out of the folder.
bool SplitPlace(const std::string& place, std::string& half, std::string& name)
{
  const std::size_t slash = place.find('/');
  if (slash == std::string::npos)
    return false;
  half = place.substr(0, slash);
  name = place.substr(slash + 1);
  if (half != "card" && half != "internal")
    return false;
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos ||
      name.find('\0') != std::string::npos)
    return false;
  return IsDataType(TypeOfFileName(name));
}

} // namespace

ArchiveCheck CheckArchive(const std::string& folder, bool hashFiles)
{
  ArchiveCheck check;
  if (ReadIncompleteMark(folder)) {
    check.problem = std::string("the archive is incomplete (") + INCOMPLETE_FILE +
                    "; zr4812 archive --resume finishes it)";
    return check;
  }
  const std::optional<std::vector<std::uint8_t>> bytes =
      ReadWholeFile((fs::path(folder) / CHECKSUM_FILE).string());
  if (!bytes) {
    check.problem = std::string(CHECKSUM_FILE) + " is missing or cannot be read";
    return check;
  }
  std::istringstream lines(std::string(bytes->begin(), bytes->end()));
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    // A list saved by an editor on Windows ends its lines in CR LF.
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    std::string half, name;
    const std::string sum = line.substr(0, 64);
    const std::string place = line.size() > 66 ? line.substr(66) : std::string();
    if (!IsHex(sum) || line.size() <= 66 ||
        (line.compare(64, 2, "  ") != 0 && line.compare(64, 2, " *") != 0) ||
        !SplitPlace(place, half, name)) {
      check.problem = std::string(CHECKSUM_FILE) + " is damaged at line " + std::to_string(number);
      return check;
    }
    if (hashFiles) {
      const std::optional<std::string> actual = Sha256OfFile((fs::path(folder) / half / name).string());
      if (!actual) {
        check.problem = place + " is missing";
        return check;
      }
      if (*actual != sum) {
        check.problem = place + " does not match its sum in " + CHECKSUM_FILE;
        return check;
      }
    }
    (half == "card" ? check.contents.card : check.contents.internal).push_back(name);
  }
  if (check.contents.card.empty() && check.contents.internal.empty())
    check.problem = std::string(CHECKSUM_FILE) + " names no file";
  return check;
}

std::optional<std::vector<std::string>> ReadIncompleteMark(const std::string& folder)
{
  const std::string path = (fs::path(folder) / INCOMPLETE_FILE).string();
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec)))
    return std::nullopt;
  std::vector<std::string> missing;
  if (const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path)) {
    std::istringstream lines(std::string(bytes->begin(), bytes->end()));
    std::string line;
    std::getline(lines, line); // what the file is for
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      if (!line.empty())
        missing.push_back(line);
    }
  }
  return missing;
}

bool WriteIncompleteMark(const std::string& folder, const std::vector<std::string>& missing)
{
  std::string text = "This archive is not complete; zr4812 archive --resume fetches what is missing:\n";
  for (const std::string& place : missing)
    text += place + "\n";
  return WriteStringSafely((fs::path(folder) / INCOMPLETE_FILE).string(), text, true) == 0;
}

std::optional<std::string> WriteChecksumFile(const std::string& folder,
                                             const std::vector<std::string>& places)
{
  std::string text;
  for (const std::string& place : places) {
    const std::optional<std::string> sum = Sha256OfFile((fs::path(folder) / place).string());
    if (!sum)
      return place + " cannot be read back";
    // Two blanks: binary and text mode read the same; sha256sum -c takes it.
    text += *sum + "  " + place + "\n";
  }
  if (WriteStringSafely((fs::path(folder) / CHECKSUM_FILE).string(), text, true) != 0)
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
