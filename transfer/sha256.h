// SHA-256 of a file, as `sha256sum` prints it, for the archive's checksum list.
#pragma once

#include <optional>
#include <string>

namespace zr {

// The lower-case hex digest of the file's bytes, or nothing when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

} // namespace zr
