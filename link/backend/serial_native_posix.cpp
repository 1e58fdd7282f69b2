#include "link/backend/serial_native.h"

#include <cerrno>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace zr {

SerialOpenResult SerialOpenResultOf(const std::error_code& error, const std::string& path)
{
  switch (error.value()) {
  case ENOENT:
  case ENODEV:
  case ENXIO:
  case ENOTDIR:
    return SerialOpenResult::NotFound;
  case EACCES:
  case EPERM:
    // A port we could open by its rights is refused because someone has it.
    return ::access(path.c_str(), R_OK | W_OK) == 0 ? SerialOpenResult::InUse
                                                     : SerialOpenResult::PermissionDenied;
  case EBUSY:
    return SerialOpenResult::InUse;
  default:
    return SerialOpenResult::OtherError;
  }
}

bool TakeSerialPortExclusively(asio::serial_port& port)
{
  // TIOCEXCL: a later open by anyone but root fails with EBUSY, as the
  // window's ports (Qt sets the same flag) do for us.
  return ::ioctl(port.native_handle(), TIOCEXCL) == 0;
}

void SetSerialModemLines(asio::serial_port& port)
{
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  ::ioctl(port.native_handle(), TIOCMBIS, &dtr);
  ::ioctl(port.native_handle(), TIOCMBIC, &rts);
}

void DropWaitingInput(asio::serial_port& port)
{
  ::tcflush(port.native_handle(), TCIFLUSH);
}

} // namespace zr
