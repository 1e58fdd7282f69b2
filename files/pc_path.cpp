#include "files/pc_path.h"

#include "files/errors.h"

namespace zr {

std::string JoinPcPath(const std::string& folder, const std::string& name, int& error)
{
  error = ERR_NONE;
  if (folder.empty()) {
    // Without a chosen folder the file would land wherever the program
    // happens to run: refuse instead.
    error = ERR_NO_FOLDER;
    return {};
  }
  std::string path = folder;
  if (path.back() != PATH_SEPARATOR && path.back() != '/')
    path += PATH_SEPARATOR;
  path += name;
  if (path.size() >= PC_PATH_SIZE) {
    error = ERR_PATH_TOO_LONG;
    return {};
  }
  return path;
}

std::string FileNamePart(const std::string& path)
{
  const std::size_t cut = path.find_last_of(PATH_SEPARATOR == '/' ? "/" : "\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace zr
