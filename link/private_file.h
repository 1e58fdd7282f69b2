// A new file that only this user may read, opened never through a link and
// never over an existing file unless appending: one implementation per system.
#pragma once

#include <cstdio>
#include <string>

namespace zr {

// Creates `path` (UTF-8) for writing, or with `append` opens it at its end
// (creating it when missing). Returns nullptr on failure, with errno set.
std::FILE* OpenPrivateFile(const std::string& path, bool append);

} // namespace zr
