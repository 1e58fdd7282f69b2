// A serial port as the serial link needs it. The Qt SerialPort back-end
// implements it; tests use a scripted fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zr {

enum class SerialOpenResult { Ok, NotFound, PermissionDenied, InUse, SetupFailed, OtherError };
// A short text for an open failure, for status lines and logs
// ("permission denied", "in use by another program" ...).
const char* SerialOpenResultText(SerialOpenResult result);

class SerialDevice {
public:
  virtual ~SerialDevice() = default;
  // Opens the device for exclusive use at 115200-8-N-1, no flow control,
  // DTR on and RTS off. A device without modem lines (a pseudo-terminal)
  // still opens.
  virtual SerialOpenResult Open(const std::string& path) = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  // Bytes that wait to be read; never blocks.
  virtual std::size_t BytesWaiting() = 0;
  // Reads at most max waiting bytes; never blocks. Returns the count read.
  virtual std::size_t Read(std::uint8_t* destination, std::size_t max) = 0;
  // Writes the whole message and waits until the driver has taken it.
  virtual void Write(const std::uint8_t* data, std::size_t length) = 0;
  // `handler` is called on the GUI thread, from the event loop, whenever
  // new bytes have arrived; null stops the calls. It is never called from
  // inside one of the calls above.
  virtual void SetReadyReadHandler(std::function<void()> handler) = 0;
};

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

// The device path of COM port n (1 to 16), or empty when the port has none.
using ComPortPaths = std::function<std::string(int port)>;

} // namespace zr
