// OpenPrivateFile on Windows: CREATE_NEW or OPEN_ALWAYS at the end, no link
// followed; the folder's access list (the user's own profile) keeps it private.
#include "link/private_file.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace zr {

std::FILE* OpenPrivateFile(const std::string& path, bool append)
{
  const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
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
