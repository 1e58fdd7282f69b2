// Who may open a device: the platform's answer to "why can't I open this
// port?", so that a refused open can tell the user what to change.
#pragma once

#include <string>

namespace zr {

// The name of the group that owns the device file, or "" where the platform
// has no such notion or the device cannot be examined.
std::string DeviceGroupName(const std::string& devicePath);

// Whether a device is there to open: a device file, or on Windows a COM
// port the system knows ("COM3", "\\.\COM12").
bool DeviceExists(const std::string& devicePath);

// What to tell a user whom the device refused: "No permission to open
// /dev/ttyUSB0: add your user to the group dialout" (without the group part
// where the device has no group).
std::string NoPermissionText(const std::string& devicePath);
// The same for a device of the group given.
std::string NoPermissionText(const std::string& devicePath, const std::string& group);

} // namespace zr
