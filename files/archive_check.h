// An archive folder read back: its SHA256SUMS checked file by file, the mark
// of an archive that did not finish, and the order in which its internal
// kinds may go back into a console.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zr {

constexpr const char* CHECKSUM_FILE = "SHA256SUMS";
// Lies in an archive folder for as long as the archive is not whole; lists
// what is missing, one a line after its first.
constexpr const char* INCOMPLETE_FILE = "INCOMPLETE";
// The console's own name of each card file, exactly as the card listed it
// (a PC name may have lost its case or its dots): "card/NAME.ext", a tab,
// the name escaped as `list` shows it; one a line. SHA256SUMS covers it.
constexpr const char* CARD_NAMES_FILE = "CARDNAMES";
// The most a SHA256SUMS, INCOMPLETE or CARDNAMES of a real archive could
// hold, with room to spare: a bigger one is no list of ours.
constexpr std::uint64_t ARCHIVE_LIST_LIMIT = 4u << 20;

// What SHA256SUMS names: places relative to the archive ("card/SONG1.kpr",
// "internal/setup.ksu").
struct ArchiveContents {
  std::vector<std::string> card;     // PC names in card/
  std::vector<std::string> internal; // names in internal/, one a kind
  // The console's name of each file of `card`, in its order: "" where none
  // was recorded, or the recorded one cannot be a card name. All "" in an
  // archive made before the names were recorded (`namesRecorded` false).
  std::vector<std::string> cardNames;
  bool namesRecorded = false;
  // Each place's sum as SHA256SUMS gives it.
  std::map<std::string, std::string> sums;
};

struct ArchiveCheck {
  ArchiveContents contents;
  // Why the archive cannot be trusted, naming the file; nothing when every
  // file matches its sum.
  std::optional<std::string> problem;
};

// Reads SHA256SUMS; with `hashFiles` each file it names is read and checked.
// Every entry must be a regular file in the folder itself: a link, a FIFO or
// a device is refused by name without being waited on.
ArchiveCheck CheckArchive(const std::string& folder, bool hashFiles = true);

// One entry of a checked archive read once: the bytes that match its sum,
// to be sent as they are, or why it cannot be used ("is a link").
struct ArchiveEntry {
  std::vector<std::uint8_t> bytes;
  std::optional<std::string> problem;
};
ArchiveEntry ReadArchiveEntry(const std::string& folder, const ArchiveContents& contents,
                              const std::string& place);

// Whether `name` can go to the console as a card file's name as it is:
// 1 to 8 bytes, none of them NUL.
bool SendableCardName(const std::string& name);
// CARDNAMES for these card places and their console names, written whole.
bool WriteCardNames(const std::string& folder, const std::vector<std::string>& places,
                    const std::vector<std::string>& names);

// The missing places the mark lists, or nothing when the folder has no mark.
std::optional<std::vector<std::string>> ReadIncompleteMark(const std::string& folder);
// Writes the mark listing `missing`; false when it cannot be written.
bool WriteIncompleteMark(const std::string& folder, const std::vector<std::string>& missing);
// SHA256SUMS for `places` (all present), written whole; an error text or nothing.
std::optional<std::string> WriteChecksumFile(const std::string& folder,
                                             const std::vector<std::string>& places);

// The restores that put an archive's internal kinds back, one batch each, in
// order: the seven library kinds together when the archive holds them all
// (together they are what "Project (all)" holds), else "Project (all)" alone,
// else whatever library kinds there are; the operating system last and alone,
// and only when `withOs`.
std::vector<std::vector<std::string>> InternalRestoreBatches(const std::vector<std::string>& internalNames,
                                                             bool withOs);

} // namespace zr
