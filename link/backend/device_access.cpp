#include "link/backend/device_access.h"

namespace zr {

std::string NoPermissionText(const std::string& devicePath, const std::string& group)
{
  if (group.empty())
    return "No permission to open " + devicePath;
  return "No permission to open " + devicePath + ": add your user to the group " + group;
}

std::string NoPermissionText(const std::string& devicePath)
{
  return NoPermissionText(devicePath, DeviceGroupName(devicePath));
}

} // namespace zr

#if defined(_WIN32)

#include <windows.h>

namespace zr {

bool DeviceExists(const std::string& devicePath)
{
  // The system's name for the port, without the device namespace's prefix.
  const std::string prefix = "\\\\.\\";
  const std::string name = devicePath.starts_with(prefix) ? devicePath.substr(prefix.size()) : devicePath;
  char target[1024];
  return !name.empty() && ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}

// Windows grants COM ports per session, not per group.
std::string DeviceGroupName(const std::string&)
{
  return {};
}

} // namespace zr

#else

#include <grp.h>
#include <sys/stat.h>

#include <vector>

namespace zr {

bool DeviceExists(const std::string& devicePath)
{
  struct stat info {};
  return !devicePath.empty() && ::stat(devicePath.c_str(), &info) == 0;
}

std::string DeviceGroupName(const std::string& devicePath)
{
  struct stat info {};
  if (devicePath.empty() || ::stat(devicePath.c_str(), &info) != 0)
    return {};
  // getgrgid_r: the plain call's static buffer would be shared with anyone
  // else asking at the same time.
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !found->gr_name)
    return {};
  return found->gr_name;
}

} // namespace zr

#endif
