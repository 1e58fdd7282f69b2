#include "sim/pty_transport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "sim/peer/serial_console.h"

namespace zr::sim {

namespace {
constexpr int BITS_PER_BYTE = 10;      // start bit, 8 data bits, stop bit
constexpr std::size_t PACE_CHUNK = 16; // bytes handed to the line at a time when paced
constexpr int POLL_MS = 100;           // how often a quiet line looks at the stop flag

void MakeRaw(int fd)
{
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0)
    return;
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
}
} // namespace

#if defined(__linux__)
void DieWithParent()
{
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}
#else
void DieWithParent() {}
#endif

PtyTransport::PtyTransport(int baud, int leadingFill) : baud_(baud), leadingFill_(leadingFill) {}

PtyTransport::~PtyTransport()
{
  if (slave_ >= 0)
    ::close(slave_);
  if (master_ >= 0)
    ::close(master_);
}

bool PtyTransport::Open(std::string& error)
{
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  const char* name = ::ptsname(master_);
  if (!name) {
    error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    return false;
  }
  // Raw from the start: no echo, no line editing, no CR/LF translation, even
  // before the PC opens its side and sets the line up itself.
  MakeRaw(slave_);
  MakeRaw(master_);
  return true;
}

PtyTransport::Clock::duration PtyTransport::ByteTime() const
{
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(baud_ > 0 ? 1'000'000'000LL * BITS_PER_BYTE / baud_ : 0));
}

bool PtyTransport::WritePaced(const Bytes& bytes, bool oneWrite, const std::atomic<bool>& stop)
{
  // One schedule for the whole answer, so that a late wake-up is made up by
  // the next chunk instead of adding up over a block.
  outputFree_ = std::max(outputFree_, Clock::now());
  std::size_t done = 0;
  while (done < bytes.size() && !stop) {
    std::size_t chunk = bytes.size() - done;
    if (baud_ > 0) {
      // A byte reaches the PC once its last bit is on the line.
      if (!oneWrite)
        chunk = std::min(chunk, PACE_CHUNK);
      outputFree_ += ByteTime() * static_cast<int>(chunk);
      std::this_thread::sleep_until(outputFree_);
    }
    std::size_t written = 0;
    while (written < chunk && !stop) {
      const ssize_t n = ::write(master_, bytes.data() + done + written, chunk - written);
      if (n > 0)
        written += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EINTR && errno != EAGAIN)
        return false;
    }
    done += written;
  }
  return true;
}

int PtyTransport::Serve(ConsolePeer& peer, const std::atomic<bool>& stop)
{
  SerialConsole console(peer, leadingFill_);
  Clock::time_point inputFree{}; // when the PC's last byte has crossed the line
  std::uint8_t buffer[4096];
  while (!stop) {
    pollfd fd{master_, POLLIN, 0};
    const int ready = ::poll(&fd, 1, POLL_MS);
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      return 1;
    }
    if (ready == 0)
      continue;
    if (!(fd.revents & POLLIN)) {
      // A hang-up without input: don't spin on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
      continue;
    }
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EIO))
        continue; // EIO: nobody holds the PC side right now
      return 1;
    }
    if (baud_ > 0)
      inputFree = std::max(inputFree, Clock::now()) + ByteTime() * static_cast<int>(n);
    const std::vector<LineOutput> answer = console.FeedLine(buffer, static_cast<std::size_t>(n));
    if (answer.empty())
      continue;
    // Nothing is answered before the question has fully arrived.
    if (baud_ > 0)
      std::this_thread::sleep_until(inputFree);
    for (const LineOutput& write : answer) {
      if (write.pauseBefore.count() > 0 && !QuietLine(write.pauseBefore, stop))
        return 0;
      if (!WritePaced(write.bytes, write.sameWrite, stop))
        return 1;
    }
  }
  return 0;
}

} // namespace zr::sim
