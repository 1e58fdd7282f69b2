// OpenPrivateFile on POSIX systems: O_EXCL or O_APPEND, O_NOFOLLOW, mode 0600.
#include "link/private_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace zr {

std::FILE* OpenPrivateFile(const std::string& path, bool append)
{
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (append ? O_APPEND : O_EXCL);
  const int fd = open(path.c_str(), flags, 0600);
  if (fd < 0)
    return nullptr;
  std::FILE* file = fdopen(fd, append ? "a" : "w");
  if (!file)
    close(fd);
  return file;
}

} // namespace zr
