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

// The whole file at `path`, or nothing when it cannot be read whole.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

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
