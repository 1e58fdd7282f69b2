// Files on the PC's disk, whole or not at all: the system calls behind one
// small interface, one implementation per system (disk_posix.cpp, disk_win.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr {

// Paths are UTF-8 everywhere in the program; the Windows implementation
// hands them to the system as UTF-16 in the long "\\?\" form.

// Writes `size` bytes as the file `target`: into a new temporary file beside
// it, flushed to disk, then renamed into place, and the folder flushed. An
// existing target is replaced only when `replace` says the user agreed, and
// then keeps its permissions; otherwise it stays as it is and the result is
// ERR_FILE_EXISTS, so that the caller can ask. On any failure the old file is
// untouched and no temporary is left. Returns ERR_NONE or a FilerError.
[[nodiscard]] int WriteFileSafely(const std::string& target, const std::uint8_t* bytes, std::size_t size,
                                  bool replace);
[[nodiscard]] int WriteStringSafely(const std::string& target, std::string_view text, bool replace);

// More than any file this program reads whole: a console file is far
// smaller. A huge or sparse file named where a small one belongs is refused
// instead of taking all memory.
constexpr std::uint64_t READ_LIMIT = 256ull << 20;

// The whole file at `path` (a link is followed), or nothing when it cannot
// be read whole, is no regular file, or holds more than `limit` bytes. A
// FIFO or a device under the name is never waited on.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::uint64_t limit = READ_LIMIT);

// Why a file that came from the user (an archive's entry) was not read.
enum class ReadProblem { None, Missing, Link, NotRegular, TooLarge, Unreadable };
// "is missing", "is a link", "is not a regular file", ...: follows the file's name.
const char* ReadProblemText(ReadProblem problem);
struct FileBytes {
  std::vector<std::uint8_t> bytes;
  ReadProblem problem = ReadProblem::None;
};
// The file at `path` read once, as an entry of a folder the user handed
// over must be: a link is not followed, only a regular file is read (a FIFO
// or a device is refused without waiting on it), and not more than `limit`
// bytes. The caller checks and uses these same bytes, so that what was
// checked is what goes on.
FileBytes ReadEntry(const std::string& path, std::uint64_t limit);
// Whether `path` is a folder itself, not a link to one.
bool IsRealFolder(const std::string& path);
// Whether `path` is a regular file itself, not a link to one.
bool IsRegularEntry(const std::string& path);
// Whether anything is at `path`, a link included (the link is not followed).
bool EntryExists(const std::string& path);

// The size of the file at `path` when a file is there (a link is followed;
// a folder is no file).
std::optional<std::uint64_t> ExistingFileSize(const std::string& path);

// Removes this program's own temporary files older than `age` from `folder`,
// left behind by a run that was killed while writing. Returns how many went.
int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds age = std::chrono::hours(24));

// The temporary names: ".zr4812-<process>-<counter>-<random>.part", so that
// two processes or two runs never reach for the same name.
std::string TemporaryFileName(unsigned long process);
bool IsTemporaryFileName(std::string_view name);

// The folder part of a path (up to and without its last separator), "." when
// there is none.
std::string FolderOf(const std::string& path);

} // namespace zr
