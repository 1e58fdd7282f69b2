// The serial port over Asio's serial_port: one implementation of
// SerialDevice for Linux and Windows, on the command line's event loop.
#pragma once

#include <functional>
#include <memory>

#include "link/serial_device.h"

namespace asio {
class io_context;
}

namespace zr {

class AsioSerialDevice : public SerialDevice {
public:
  explicit AsioSerialDevice(asio::io_context& io);
  ~AsioSerialDevice() override;
  AsioSerialDevice(const AsioSerialDevice&) = delete;
  AsioSerialDevice& operator=(const AsioSerialDevice&) = delete;

  SerialOpenResult Open(const std::string& path) override;
  bool IsOpen() const override;
  void Close() override;
  std::size_t BytesWaiting() override;
  std::size_t Read(std::uint8_t* destination, std::size_t max) override;
  void Write(const std::uint8_t* data, std::size_t length) override;
  void SetReadyReadHandler(std::function<void()> handler) override;

  struct State;

private:
  // Shared with the read under way, which may complete after the device is
  // gone (a close only cancels it).
  std::shared_ptr<State> state_;
};

// The factory the serial link is built with; `io` outlives every device.
SerialDeviceFactory AsioSerialDeviceFactory(asio::io_context& io);

} // namespace zr
