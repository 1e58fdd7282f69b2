// Which device stands behind "COM port n": the user's own table from the
// settings (section Ports, keys COM1 ... COM16) over a default table.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "link/serial_device.h"

namespace zr {

constexpr int COM_PORT_FIRST = 1;
constexpr int COM_PORT_LAST = 16;

// The platform's own device for COM port n, or "" when it has none:
// on Windows the system's COMn (\\.\COMn from 10 on); elsewhere COM1-COM4 = /dev/ttyS0-3,
// COM5-COM8 = /dev/ttyUSB0-3, COM9-COM12 = /dev/ttyACM0-3, COM13-COM16 none.
std::string DefaultComPortPath(int port);

// The port setup dialog's item for port n: "COM Port " + n.
std::string ComPortItemText(int port);

// The port number of a settings key "COMn" (any letter case, n from 1 to 16),
// or 0 for any other key.
int ComPortKeyNumber(std::string_view key);

// Port number -> device path as the settings give them. Entries for ports
// outside 1 to 16 are ignored; an empty path hides the port.
using ComPortTable = std::map<int, std::string>;

// The mapping the serial link uses: the table first, then the default.
ComPortPaths MakeComPortPaths(ComPortTable table = {});

} // namespace zr
