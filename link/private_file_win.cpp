// OpenPrivateFile on Windows: CREATE_NEW or OPEN_ALWAYS at the end, no link
// followed; the folder's access list (the user's own profile) keeps it private.
#include "link/private_file.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>

#include "link/utf16_win.h"

namespace zr {

std::FILE* OpenPrivateFile(const std::string& path, bool append)
{
  const std::wstring wide = Wide(path);
  HANDLE handle = CreateFileW(wide.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              append ? OPEN_ALWAYS : CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
            : error == ERROR_ACCESS_DENIED                               ? EACCES
                                                                         : ENOENT;
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), append ? _O_APPEND | _O_WRONLY : _O_WRONLY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, append ? "a" : "w");
  if (!file)
    _close(fd);
  return file;
}

} // namespace zr
