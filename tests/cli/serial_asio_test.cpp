// The Asio serial port against a pseudo-terminal, as the serial link uses
// it: bytes that arrive in pieces are all read in order and announced by
// the handler from the loop, a far end that goes away closes the port so it
// can be found again, and a device destroyed with a read under way is
// never called.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <asio/io_context.hpp>

#include "link/backend/serial_asio.h"

namespace zr {
namespace {

using namespace std::chrono_literals;

// The other end of a pseudo-terminal: the console's side of the cable.
struct FarEnd {
  FarEnd()
  {
    fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0)
      path = ::ptsname(fd);
  }
  ~FarEnd() { Close(); }
  void Close()
  {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
  int fd = -1;
  std::string path;
};

TEST(AsioSerialDevice, ReadsWhatArrivesInPiecesAndWritesWhole)
{
  asio::io_context io;
  FarEnd far;
  ASSERT_FALSE(far.path.empty());
  AsioSerialDevice device(io);
  ASSERT_EQ(device.Open(far.path), SerialOpenResult::Ok);
  int announced = 0;
  device.SetReadyReadHandler([&] { ++announced; });

  const std::string pieces[] = {"\xF0", "\x01\x02", std::string(5000, '\x7F'), "\xF7"};
  std::string expected;
  for (const std::string& piece : pieces) {
    ASSERT_EQ(::write(far.fd, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
    expected += piece;
    io.run_for(20ms);
  }
  EXPECT_GT(announced, 0);
  EXPECT_EQ(device.BytesWaiting(), expected.size());
  std::string got(expected.size() + 10, '\0');
  std::size_t n = device.Read(reinterpret_cast<std::uint8_t*>(got.data()), 3);
  n += device.Read(reinterpret_cast<std::uint8_t*>(got.data()) + n, got.size() - n);
  got.resize(n);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(device.BytesWaiting(), 0u);

  const std::uint8_t message[] = {0xF0, 0x43, 0x10, 0xF7};
  device.Write(message, sizeof message);
  std::uint8_t back[8] = {};
  EXPECT_EQ(::read(far.fd, back, sizeof back), static_cast<ssize_t>(sizeof message));
  EXPECT_EQ(std::memcmp(back, message, sizeof message), 0);
}

TEST(AsioSerialDevice, AFarEndThatGoesAwayClosesThePort)
{
  asio::io_context io;
  FarEnd far;
  AsioSerialDevice device(io);
  ASSERT_EQ(device.Open(far.path), SerialOpenResult::Ok);
  far.Close();
  io.run_for(50ms);
  EXPECT_EQ(device.BytesWaiting(), 0u);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.Open("/nonexistent/ttyZR"), SerialOpenResult::NotFound);
}

TEST(AsioSerialDevice, ADeviceGoneWithAReadUnderWayIsNeverCalled)
{
  asio::io_context io;
  FarEnd far;
  bool called = false;
  {
    AsioSerialDevice device(io);
    ASSERT_EQ(device.Open(far.path), SerialOpenResult::Ok);
    device.SetReadyReadHandler([&] { called = true; });
    ASSERT_EQ(::write(far.fd, "x", 1), 1);
  }
  io.run_for(50ms);
  EXPECT_FALSE(called);
}

} // namespace
} // namespace zr
