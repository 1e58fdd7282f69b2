#include "link/backend/serial_qt.h"

#include <QFileInfo>
#include <QSerialPort>

namespace zr {

namespace {
// How long a write may take to reach the driver before we give up on it: a
// 1015-byte block needs 88 ms at 115200 baud, so this only ends a stuck port.
constexpr int WRITE_TIMEOUT_MS = 10000;

SerialOpenResult ResultOf(QSerialPort::SerialPortError error, const QString& path)
{
  switch (error) {
  case QSerialPort::NoError:
    return SerialOpenResult::Ok;
  case QSerialPort::DeviceNotFoundError:
    return SerialOpenResult::NotFound;
  case QSerialPort::PermissionError: {
    // Qt reports a port locked by another program as a permission error
    // too; the file's own access rights tell the two apart.
    const QFileInfo info(path);
    if (info.exists() && info.isReadable() && info.isWritable())
      return SerialOpenResult::InUse;
    return SerialOpenResult::PermissionDenied;
  }
  case QSerialPort::OpenError:
    return SerialOpenResult::InUse;
  case QSerialPort::UnsupportedOperationError:
    return SerialOpenResult::SetupFailed;
  default:
    return SerialOpenResult::OtherError;
  }
}
} // namespace

QtSerialDevice::QtSerialDevice() : port_(std::make_unique<QSerialPort>())
{
  // Queued: the handler may dispatch a frame that shows a box, and the port
  // may be closed and deleted in the box's event loop; it must not be
  // inside the port's own signal then. A queued call for a port that is
  // gone is dropped by Qt.
  QObject::connect(
      port_.get(), &QSerialPort::readyRead, port_.get(),
      [this] {
        if (readyRead_)
          readyRead_();
      },
      Qt::QueuedConnection);
}

QtSerialDevice::~QtSerialDevice()
{
  Close();
}

SerialOpenResult QtSerialDevice::Open(const std::string& path)
{
  Close();
  const QString name = QString::fromStdString(path);
  port_->setPortName(name);
  port_->setReadBufferSize(0);
  // QSerialPort opens exclusively (a lock file and TIOCEXCL on Unix, no
  // sharing on Windows) and switches the line to raw bytes.
  if (!port_->open(QIODevice::ReadWrite)) {
    const SerialOpenResult result = ResultOf(port_->error(), name);
    port_->clearError();
    return result == SerialOpenResult::Ok ? SerialOpenResult::OtherError : result;
  }
  const bool lineSet = port_->setBaudRate(QSerialPort::Baud115200) &&
                       port_->setDataBits(QSerialPort::Data8) && port_->setParity(QSerialPort::NoParity) &&
                       port_->setStopBits(QSerialPort::OneStop) &&
                       port_->setFlowControl(QSerialPort::NoFlowControl);
  if (!lineSet) {
    port_->close();
    port_->clearError();
    return SerialOpenResult::SetupFailed;
  }
  // The console's adapter wants DTR held on and RTS off. A pseudo-terminal or
  // an adapter without modem lines refuses both ("Inappropriate ioctl for
  // device"); the bytes still flow, so that alone must not fail the open.
  port_->setDataTerminalReady(true);
  port_->setRequestToSend(false);
  // What waited in the driver while the port was closed answers nothing
  // that is awaited now.
  port_->clear(QSerialPort::Input);
  port_->clearError();
  return SerialOpenResult::Ok;
}

bool QtSerialDevice::IsOpen() const
{
  return port_->isOpen();
}

void QtSerialDevice::Close()
{
  if (port_->isOpen())
    port_->close();
  port_->clearError();
}

std::size_t QtSerialDevice::BytesWaiting()
{
  if (!port_->isOpen())
    return 0;
  // Without an event loop turn in between, Qt has not looked at the port
  // yet: take in what the driver holds, without waiting.
  port_->waitForReadyRead(0);
  if (port_->error() == QSerialPort::ResourceError) {
    // The device is gone (unplugged): closed, it can be found again later.
    Close();
    return 0;
  }
  return static_cast<std::size_t>(port_->bytesAvailable());
}

std::size_t QtSerialDevice::Read(std::uint8_t* destination, std::size_t max)
{
  if (!port_->isOpen() || max == 0)
    return 0;
  const qint64 got = port_->read(reinterpret_cast<char*>(destination), static_cast<qint64>(max));
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void QtSerialDevice::Write(const std::uint8_t* data, std::size_t length)
{
  if (!port_->isOpen() || length == 0)
    return;
  port_->write(reinterpret_cast<const char*>(data), static_cast<qint64>(length));
  while (port_->bytesToWrite() > 0 && port_->waitForBytesWritten(WRITE_TIMEOUT_MS)) {
  }
}

void QtSerialDevice::SetReadyReadHandler(std::function<void()> handler)
{
  readyRead_ = std::move(handler);
}

SerialDeviceFactory QtSerialDeviceFactory()
{
  return [] { return std::unique_ptr<SerialDevice>(std::make_unique<QtSerialDevice>()); };
}

} // namespace zr
