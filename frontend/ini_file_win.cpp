// Where the settings file lives and who may use it, on Windows.
#include "frontend/ini_file.h"

#include <windows.h>

#include "link/utf16_win.h"

namespace zr {

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
