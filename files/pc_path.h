// PC paths as the engine forms them: folder, separator, file name.
#pragma once

#include <string>
#include <string_view>

namespace zr {

#if defined(_WIN32)
constexpr char PATH_SEPARATOR = '\\';
#else
constexpr char PATH_SEPARATOR = '/';
#endif

// folder + separator + name, or "" with `error` set when the folder is
// empty or the path would not fit in PC_PATH_SIZE.
std::string JoinPcPath(const std::string& folder, const std::string& name, int& error);
// The part after the last separator.
std::string FileNamePart(const std::string& path);

} // namespace zr
