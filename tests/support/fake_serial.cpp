#include "tests/support/fake_serial.h"

#include <algorithm>

namespace zr::test {

namespace {

class FakeSerialDevice : public SerialDevice {
public:
  explicit FakeSerialDevice(FakeSerialLine& line) : line_(line) {}
  SerialOpenResult Open(const std::string& path) override
  {
    line_.openAttempts.push_back(path);
    const auto it = line_.devices.find(path);
    const SerialOpenResult result =
        it == line_.devices.end() || line_.unplugged ? SerialOpenResult::NotFound : it->second;
    open_ = result == SerialOpenResult::Ok;
    if (open_)
      ++line_.opens;
    return result;
  }
  bool IsOpen() const override { return open_ && !line_.unplugged; }
  ~FakeSerialDevice() override
  {
    if (open_)
      line_.readyRead = nullptr;
  }
  void Close() override
  {
    if (open_) {
      ++line_.closes;
      line_.readyRead = nullptr;
    }
    open_ = false;
  }
  std::size_t BytesWaiting() override { return open_ ? line_.Due() : 0; }
  std::size_t Read(std::uint8_t* destination, std::size_t max) override
  {
    line_.largestRead = std::max(line_.largestRead, max);
    return open_ ? line_.Take(destination, max) : 0;
  }
  void Write(const std::uint8_t* data, std::size_t length) override
  {
    if (!open_)
      return;
    line_.writes.emplace_back(data, data + length);
    if (line_.onWrite)
      line_.onWrite(line_.writes.back());
  }
  void SetReadyReadHandler(std::function<void()> handler) override
  {
    if (open_)
      line_.readyRead = std::move(handler);
  }

private:
  FakeSerialLine& line_;
  bool open_ = false;
};

} // namespace

void FakeSerialLine::Arrive(const Bytes& bytes, long long afterMs)
{
  if (!bytes.empty())
    pending_.push_back({Now() + afterMs, ++arrivals_, bytes});
}

std::size_t FakeSerialLine::Unread() const
{
  std::size_t n = 0;
  for (const Chunk& c : pending_)
    n += c.bytes.size();
  return n;
}

std::size_t FakeSerialLine::Due() const
{
  std::size_t n = 0;
  for (const Chunk& c : pending_) {
    if (c.at > Now())
      break;
    n += c.bytes.size();
  }
  return n;
}

std::size_t FakeSerialLine::Take(std::uint8_t* destination, std::size_t max)
{
  std::size_t taken = 0;
  while (taken < max && !pending_.empty() && pending_.front().at <= Now()) {
    Bytes& bytes = pending_.front().bytes;
    const std::size_t n = std::min(max - taken, bytes.size());
    std::copy_n(bytes.begin(), n, destination + taken);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    taken += n;
    if (bytes.empty())
      pending_.pop_front();
  }
  return taken;
}

void FakeSerialLine::Run(long long ms)
{
  const long long end = clock->now + ms;
  for (;;) {
    // Tell of what has come since the last notice, as a queued readyRead does.
    unsigned long long newest = 0;
    for (const Chunk& c : pending_) {
      if (c.at > clock->now)
        break;
      newest = c.number;
    }
    if (newest > told_ && readyRead) {
      told_ = newest;
      ++notices;
      std::function<void()> handler = readyRead;
      handler();
      continue;
    }
    if (clock->now >= end)
      break;
    long long next = end;
    for (const Chunk& c : pending_) {
      if (c.at > clock->now) {
        next = std::min(next, c.at);
        break;
      }
    }
    clock->Advance(next - clock->now);
  }
}

SerialDeviceFactory FakeSerialLine::Factory()
{
  return [this] { return std::unique_ptr<SerialDevice>(std::make_unique<FakeSerialDevice>(*this)); };
}

long long NextDue(const FakeTimers& timers)
{
  long long due = -1;
  for (const FakeTimer* t : timers.clock.timers)
    if (t != &timers.comm && t->IsActive() && (due < 0 || t->DueAt() < due))
      due = t->DueAt();
  return due;
}

void RunOutTimers(FakeTimers& timers, FakeSerialLine& line)
{
  for (int round = 0; round < 64; ++round) {
    const long long due = NextDue(timers);
    if (due < 0)
      return;
    line.Run(due - timers.clock.now + 1);
  }
}

} // namespace zr::test
