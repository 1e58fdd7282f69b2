#include "sim/peer/serial_console.h"

#include <algorithm>

namespace zr::sim {

std::vector<Bytes> SysExFramer::Feed(const std::uint8_t* bytes, std::size_t n)
{
  std::vector<Bytes> messages;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t b = bytes[i];
    if (b == SYS_EX_START) {
      if (inMessage_)
        dropped_ += current_.size();
      current_.assign(1, b);
      inMessage_ = true;
    } else if (!inMessage_) {
      ++dropped_;
    } else {
      current_.push_back(b);
      if (b == SYS_EX_END) {
        messages.push_back(std::move(current_));
        current_.clear();
        inMessage_ = false;
      } else if (current_.size() > MAX_INBOUND_MESSAGE) {
        dropped_ += current_.size();
        current_.clear();
        inMessage_ = false;
      }
    }
  }
  return messages;
}

std::vector<LineOutput> SerialConsole::FeedLine(const std::uint8_t* bytes, std::size_t n)
{
  std::vector<LineOutput> line;
  for (const Bytes& message : framer_.Feed(bytes, n))
    for (LineOutput& piece : peer_.Respond(message.data(), message.size())) {
      if (line.empty() || piece.pauseBefore.count() > 0)
        line.push_back(LineOutput{{}, piece.pauseBefore});
      LineOutput& write = line.back();
      if (piece.startsMessage)
        write.bytes.insert(write.bytes.end(), static_cast<std::size_t>(std::max(0, leadingFill_)), 0xFF);
      write.bytes.insert(write.bytes.end(), piece.bytes.begin(), piece.bytes.end());
      write.sameWrite = write.sameWrite || piece.sameWrite;
    }
  return line;
}

Bytes SerialConsole::Feed(const std::uint8_t* bytes, std::size_t n)
{
  Bytes all;
  for (const LineOutput& write : FeedLine(bytes, n))
    all.insert(all.end(), write.bytes.begin(), write.bytes.end());
  return all;
}

} // namespace zr::sim
