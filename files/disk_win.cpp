// The disk unit on Windows: UTF-16 paths in the long "\\?\" form,
// CREATE_NEW, FlushFileBuffers and MoveFileExW with write-through.
#include "files/disk.h"

#include <windows.h>

#include "link/utf16_win.h"

#include "files/errors.h"

namespace zr {

namespace {

// The absolute "\\?\" form of a path, which is not cut at 260 characters.
// The system no longer tidies such a path, so that is done here first.
std::wstring LongPath(const std::string& path)
{
  std::wstring wide = Wide(path);
  for (wchar_t& c : wide)
    if (c == L'/')
      c = L'\\';
  if (wide.empty() || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\"))
    return wide;
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0)
    return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed)
    return wide; // the system gave up on it: let the call that follows say why
  full.resize(length);
  if (full.starts_with(L"\\\\"))
    return L"\\\\?\\UNC\\" + full.substr(2); // \\server\share\...
  return L"\\\\?\\" + full;
}

std::wstring FolderOfLong(const std::wstring& path)
{
  const std::size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut);
}

// What GetLastError's code from writing a file means for the user.
int ErrorFor(DWORD error)
{
  switch (error) {
  case ERROR_SUCCESS:
    return ERR_NONE;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return ERR_DISK_FULL;
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
  case ERROR_USER_MAPPED_FILE:
    return ERR_FILE_IN_USE;
  case ERROR_ACCESS_DENIED:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_FILE_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_DIRECTORY:
    return ERR_NOT_WRITABLE;
  case ERROR_WRITE_PROTECT:
    return ERR_WRITE_PROTECTED;
  case ERROR_FILENAME_EXCED_RANGE:
    return ERR_PATH_TOO_LONG;
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS:
    return ERR_FILE_EXISTS;
  default:
    return ERR_WRITE_FAILED;
  }
}

// The move over an existing file was refused: because another program
// holds it open, or because the file itself may not be replaced.
int WhyNotReplaced(const std::wstring& target, DWORD error)
{
  if (error != ERROR_ACCESS_DENIED)
    return ErrorFor(error);
  HANDLE probe = CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (probe == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_SHARING_VIOLATION ? ERR_FILE_IN_USE : ERR_ACCESS_DENIED;
  CloseHandle(probe);
  return ERR_ACCESS_DENIED;
}

// Creates a new temporary file in `folder` (a system error code, 0 when done).
DWORD CreateTemporary(const std::wstring& folder, std::wstring& path, HANDLE& file)
{
  // Names cannot run out: another try gets another counter and random part.
  for (int attempt = 0; attempt < 10000; ++attempt) {
    path = folder + L"\\" + Wide(TemporaryFileName(GetCurrentProcessId()));
    file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return error;
  }
  return ERROR_FILE_EXISTS;
}

// The temporary file's bytes, on disk, and the handle closed.
DWORD FillTemporary(HANDLE file, const std::uint8_t* bytes, std::size_t size)
{
  DWORD error = ERROR_SUCCESS;
  while (size > 0 && error == ERROR_SUCCESS) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, bytes, chunk, &written, nullptr))
      error = GetLastError();
    else if (written == 0)
      error = ERROR_DISK_FULL;
    bytes += written;
    size -= written;
  }
  if (error == ERROR_SUCCESS && !FlushFileBuffers(file))
    error = GetLastError();
  CloseHandle(file);
  return error;
}

} // namespace

int WriteFileSafely(const std::string& target, const std::uint8_t* bytes, std::size_t size, bool replace)
{
  const std::wstring path = LongPath(target);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return ERR_NAME_IS_FOLDER;
  const std::wstring folder = FolderOfLong(path);
  RemoveStaleTemporaryFiles(Utf8(folder));

  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = CreateTemporary(folder, temporary, file);
  if (error != ERROR_SUCCESS)
    return ErrorFor(error);
  error = FillTemporary(file, bytes, size);
  if (error != ERROR_SUCCESS) {
    DeleteFileW(temporary.c_str());
    return ErrorFor(error);
  }
  // Write-through: the move is on disk when the call returns.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(temporary.c_str(), path.c_str(), flags)) {
    error = GetLastError();
    DeleteFileW(temporary.c_str());
    return WhyNotReplaced(path, error);
  }
  return ERR_NONE;
}

namespace {

// Reads the open file whole, up to `limit` bytes; only a file on disk.
ReadProblem ReadOpenFile(HANDLE file, std::uint64_t limit, std::vector<std::uint8_t>& bytes)
{
  BY_HANDLE_FILE_INFORMATION info{};
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return ReadProblem::NotRegular;
  if (!GetFileSizeEx(file, &size))
    return ReadProblem::Unreadable;
  // A sparse file of 100 GB is refused before any memory is taken for it.
  if (size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > limit)
    return ReadProblem::TooLarge;
  bytes.assign(static_cast<std::size_t>(size.QuadPart), 0);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t left = bytes.size() - at;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD read = 0;
    if (!ReadFile(file, bytes.data() + at, chunk, &read, nullptr) || read == 0)
      return ReadProblem::Unreadable; // shorter than it said, or unreadable
    at += read;
  }
  return ReadProblem::None;
}

} // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::uint64_t limit)
{
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::vector<std::uint8_t> bytes;
  const ReadProblem problem = ReadOpenFile(file, limit, bytes);
  CloseHandle(file);
  if (problem != ReadProblem::None)
    return std::nullopt;
  return bytes;
}

FileBytes ReadEntry(const std::string& path, std::uint64_t limit)
{
  FileBytes result;
  // The name itself, not what a link or junction leads to.
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    result.problem = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadProblem::Missing
                                                                                    : ReadProblem::Unreadable;
    return result;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    result.problem = ReadProblem::Link;
  else
    result.problem = ReadOpenFile(file, limit, result.bytes);
  CloseHandle(file);
  if (result.problem != ReadProblem::None)
    result.bytes.clear();
  return result;
}

bool IsRealFolder(const std::string& path)
{
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsRegularEntry(const std::string& path)
{
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

bool EntryExists(const std::string& path)
{
  return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::uint64_t> ExistingFileSize(const std::string& path)
{
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds age)
{
  const std::wstring wideFolder = LongPath(folder);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((wideFolder + L"\\.zr4812-*.part").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return 0;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) { return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  const std::uint64_t before = ticks(now) - std::uint64_t(age.count()) * 10'000'000u; // 100 ns steps
  int removed = 0;
  do {
    // Only plain files of our own pattern: never a folder or a link.
    const DWORD skip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (!(found.dwFileAttributes & skip) && IsTemporaryFileName(Utf8(found.cFileName)) &&
        ticks(found.ftLastWriteTime) < before &&
        DeleteFileW((wideFolder + L"\\" + found.cFileName).c_str()))
      ++removed;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return removed;
}

} // namespace zr
