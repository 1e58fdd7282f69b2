#include "link/backend/serial_asio.h"

#include <algorithm>
#include <array>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/serial_port.hpp>
#include <asio/write.hpp>

#include "link/backend/serial_native.h"

namespace zr {

struct AsioSerialDevice::State : std::enable_shared_from_this<State> {
  explicit State(asio::io_context& io) : io(io), port(io) {}

  // Reads whatever arrives into `received`, one read under way at a time.
  void ReadMore()
  {
    port.async_read_some(asio::buffer(chunk), [self = shared_from_this(), open = opens](
                                                  const std::error_code& error, std::size_t n) {
      // A read of a port closed (or opened anew) since is no news.
      if (self->opens != open || !self->port.is_open())
        return;
      if (error) {
        // The device is gone (unplugged, or the other end of a
        // pseudo-terminal closed): closed at the next look, it can be
        // found again later.
        self->failed = true;
      } else {
        self->received.insert(self->received.end(), self->chunk.begin(),
                              self->chunk.begin() + static_cast<std::ptrdiff_t>(n));
        self->ReadMore();
      }
      if (self->readyRead)
        self->readyRead();
    });
  }

  asio::io_context& io;
  asio::serial_port port;
  std::array<std::uint8_t, 4096> chunk{};
  std::vector<std::uint8_t> received;
  std::function<void()> readyRead;
  unsigned opens = 0; // counts opens and closes, so a late read knows it is late
  bool failed = false;
};

namespace {
// How the line is set: 115200-8-N-1, no flow control.
bool SetLine(asio::serial_port& port)
{
  std::error_code error;
  port.set_option(asio::serial_port::baud_rate(115200), error);
  if (!error)
    port.set_option(asio::serial_port::character_size(8), error);
  if (!error)
    port.set_option(asio::serial_port::parity(asio::serial_port::parity::none), error);
  if (!error)
    port.set_option(asio::serial_port::stop_bits(asio::serial_port::stop_bits::one), error);
  if (!error)
    port.set_option(asio::serial_port::flow_control(asio::serial_port::flow_control::none), error);
  return !error;
}
} // namespace

AsioSerialDevice::AsioSerialDevice(asio::io_context& io) : state_(std::make_shared<State>(io)) {}

AsioSerialDevice::~AsioSerialDevice()
{
  Close();
  state_->readyRead = nullptr;
}

SerialOpenResult AsioSerialDevice::Open(const std::string& path)
{
  Close();
  std::error_code error;
  state_->port.open(path, error);
  if (error)
    return SerialOpenResultOf(error, path);
  if (!TakeSerialPortExclusively(state_->port)) {
    Close();
    return SerialOpenResult::InUse;
  }
  if (!SetLine(state_->port)) {
    Close();
    return SerialOpenResult::SetupFailed;
  }
  SetSerialModemLines(state_->port);
  DropWaitingInput(state_->port);
  ++state_->opens;
  state_->ReadMore();
  return SerialOpenResult::Ok;
}

bool AsioSerialDevice::IsOpen() const
{
  return state_->port.is_open();
}

void AsioSerialDevice::Close()
{
  ++state_->opens;
  std::error_code ignored;
  if (state_->port.is_open())
    state_->port.close(ignored);
  state_->received.clear();
  state_->failed = false;
}

std::size_t AsioSerialDevice::BytesWaiting()
{
  if (!IsOpen())
    return 0;
  if (state_->failed) {
    Close();
    return 0;
  }
  return state_->received.size();
}

std::size_t AsioSerialDevice::Read(std::uint8_t* destination, std::size_t max)
{
  if (!IsOpen() || max == 0)
    return 0;
  std::vector<std::uint8_t>& received = state_->received;
  const std::size_t n = std::min(max, received.size());
  std::copy_n(received.begin(), n, destination);
  received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

void AsioSerialDevice::Write(const std::uint8_t* data, std::size_t length)
{
  if (!IsOpen() || length == 0)
    return;
  // Synchronous: the link sends one message and then waits for the answer,
  // and a 1015-byte block takes 88 ms at 115200 baud. A write that fails
  // leaves the link's time-outs to notice.
  std::error_code error;
  asio::write(state_->port, asio::buffer(data, length), error);
  if (error)
    state_->failed = true;
}

void AsioSerialDevice::SetReadyReadHandler(std::function<void()> handler)
{
  state_->readyRead = std::move(handler);
}

SerialDeviceFactory AsioSerialDeviceFactory(asio::io_context& io)
{
  return [&io] { return std::unique_ptr<SerialDevice>(std::make_unique<AsioSerialDevice>(io)); };
}

} // namespace zr
