// An archive folder read back: its SHA256SUMS checked file by file, the mark
// of an archive that did not finish, and the order in which its internal
// kinds may go back into a console.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zr {

constexpr const char* CHECKSUM_FILE = "SHA256SUMS";
// Lies in an archive folder for as long as the archive is not whole; lists
// what is missing, one a line after its first.
constexpr const char* INCOMPLETE_FILE = "INCOMPLETE";

// What SHA256SUMS names: places relative to the archive ("card/SONG1.kpr",
// "internal/setup.ksu").
struct ArchiveContents {
  std::vector<std::string> card;     // PC names in card/
  std::vector<std::string> internal; // names in internal/, one a kind
};

struct ArchiveCheck {
  ArchiveContents contents;
  // Why the archive cannot be trusted, naming the file; nothing when every
  // file matches its sum.
  std::optional<std::string> problem;
};

// Reads SHA256SUMS; with `hashFiles` each file it names is read and checked.
ArchiveCheck CheckArchive(const std::string& folder, bool hashFiles = true);

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
