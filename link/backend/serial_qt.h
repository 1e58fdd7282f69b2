// The serial port over Qt SerialPort: one implementation of SerialDevice
// for every platform Qt runs on.
#pragma once

#include <functional>
#include <memory>

#include "link/serial_device.h"

class QSerialPort;

namespace zr {

class QtSerialDevice : public SerialDevice {
public:
  QtSerialDevice();
  ~QtSerialDevice() override;

  SerialOpenResult Open(const std::string& path) override;
  bool IsOpen() const override;
  void Close() override;
  std::size_t BytesWaiting() override;
  std::size_t Read(std::uint8_t* destination, std::size_t max) override;
  void Write(const std::uint8_t* data, std::size_t length) override;
  void SetReadyReadHandler(std::function<void()> handler) override;

private:
  std::unique_ptr<QSerialPort> port_;
  std::function<void()> readyRead_;
};

// The factory the serial link is built with.
SerialDeviceFactory QtSerialDeviceFactory();

} // namespace zr
