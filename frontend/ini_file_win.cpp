// Where the settings file lives and who may use it, on Windows.
#include "frontend/ini_file.h"

#include <windows.h>

namespace zr {

namespace {
std::wstring Wide(const std::string& utf8)
{
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const std::wstring& wide)
{
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}
} // namespace

bool IniFile::FileUsable(const std::string& file)
{
  const DWORD attributes = ::GetFileAttributesW(Wide(file).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Files have no owners to compare here.
bool IniFile::FolderOwnedByUser(const std::string& folder)
{
  const DWORD attributes = ::GetFileAttributesW(Wide(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string IniFile::ProgramFilePath()
{
  std::wstring path(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return Utf8(path);
}

std::string IniFile::ConfigFolderPath()
{
  const wchar_t* appData = ::_wgetenv(L"APPDATA");
  return appData && *appData ? Utf8(appData) : std::string();
}

} // namespace zr
