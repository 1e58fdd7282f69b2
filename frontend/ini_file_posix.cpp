// Where the settings file lives and who may use it, on Linux.
#include "frontend/ini_file.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace zr {

bool IniFile::FileUsable(const std::string& file)
{
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(file.c_str(), R_OK | W_OK) == 0;
}

bool IniFile::FolderOwnedByUser(const std::string& folder)
{
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return false;
  // The administrator's tools say whom they run for; otherwise the user is
  // whoever owns the files this program creates.
  for (const char* variable : {"SUDO_UID", "PKEXEC_UID"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value)
      continue;
    char* end = nullptr;
    errno = 0;
    const long caller = std::strtol(value, &end, 0);
    if (errno == 0 && *end == '\0')
      return info.st_uid == static_cast<uid_t>(caller);
  }
  return info.st_uid == ::geteuid();
}

std::string IniFile::ProgramFilePath()
{
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

std::string IniFile::ConfigFolderPath()
{
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/')
    return config;
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.config" : std::string();
}

} // namespace zr
