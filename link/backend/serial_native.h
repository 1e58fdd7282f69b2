// What Asio's serial_port leaves to the system: exclusive use, the modem
// lines, and why an open failed. One file per system (serial_native_*.cpp).
#pragma once

#include <string>
#include <system_error>

#include <asio/serial_port.hpp>

#include "link/serial_device.h"

namespace zr {

// Why `path` would not open, in the link's terms.
SerialOpenResult SerialOpenResultOf(const std::error_code& error, const std::string& path);

// Takes the port for this process alone; false when another has it. Windows
// opens a COM port exclusively anyway.
bool TakeSerialPortExclusively(asio::serial_port& port);

// DTR on and RTS off, as the console's adapter wants them. A device without
// modem lines (a pseudo-terminal) refuses; the bytes flow all the same, so
// that is no failure.
void SetSerialModemLines(asio::serial_port& port);

// Drops what waited in the driver while the port was closed: it answers
// nothing that is awaited now.
void DropWaitingInput(asio::serial_port& port);
} // namespace zr
