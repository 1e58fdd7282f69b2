#include "link/backend/serial_native.h"

#include <windows.h>

namespace zr {

SerialOpenResult SerialOpenResultOf(const std::error_code& error, const std::string&)
{
  switch (error.value()) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
    return SerialOpenResult::NotFound;
  // Windows says "access denied" for a port that another program holds:
  // a COM port has no rights of its own to lack.
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
    return SerialOpenResult::InUse;
  default:
    return SerialOpenResult::OtherError;
  }
}

bool TakeSerialPortExclusively(asio::serial_port&)
{
  return true;
}

void SetSerialModemLines(asio::serial_port& port)
{
  ::EscapeCommFunction(port.native_handle(), SETDTR);
  ::EscapeCommFunction(port.native_handle(), CLRRTS);
}

void DropWaitingInput(asio::serial_port& port)
{
  ::PurgeComm(port.native_handle(), PURGE_RXCLEAR);
}

} // namespace zr
