#include "engine/resync.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "link/link_context.h"

namespace zr {

void RoundTrip::Sample(double ms)
{
  ms = std::max(0.0, ms);
  if (!srtt_) {
    srtt_ = ms;
    rttvar_ = ms / 2;
  } else {
    rttvar_ = 0.75 * rttvar_ + 0.25 * std::fabs(*srtt_ - ms);
    srtt_ = 0.875 * *srtt_ + 0.125 * ms;
  }
  backoffs_ = 0;
}

int RoundTrip::RetryMs(int wireMs, int floorMs, int capMs) const
{
  // Before anything was measured: a second, as TCP starts.
  constexpr double UNMEASURED_MS = 1000;
  double ms = srtt_ ? *srtt_ + 4 * rttvar_ + wireMs : UNMEASURED_MS + wireMs;
  ms = std::max<double>(ms, floorMs);
  for (int i = 0; i < backoffs_ && ms < capMs; ++i)
    ms *= 2;
  return static_cast<int>(std::min<double>(ms, capMs));
}

void Resync::DirectorySent(int type, bool marker)
{
  const long n = Sent();
  if (!IsDataType(type))
    return;
  if (marker && barrier_ && Clean(type))
    cleanMarkers_.insert(n);
  pending_[static_cast<std::size_t>(type)].push_back(n);
}

std::optional<long> Resync::DirectoryReplied(int type)
{
  if (!IsDataType(type))
    return std::nullopt;
  std::deque<long>& mine = pending_[static_cast<std::size_t>(type)];
  if (mine.empty())
    return std::nullopt; // a copy, or a reply nobody asked for
  const long answered = mine.front();
  // In order: whatever was sent before it has come or is lost.
  for (std::deque<long>& other : pending_)
    while (!other.empty() && other.front() <= answered)
      other.pop_front();
  return answered;
}

void Resync::Listed(int type, std::size_t names)
{
  if (IsDataType(type))
    listed_[static_cast<std::size_t>(type)] = names;
}

int Resync::MarkerType() const
{
  int best = 0;
  const auto key = [this](int t) {
    const std::size_t i = static_cast<std::size_t>(t);
    // Clean first, then the fewest counted, then the shortest reply.
    return std::tuple(!Clean(t), pending_[i].size(), listed_[i], pending_[i].empty() ? 0L : pending_[i].back());
  };
  for (int t = 1; t < DATA_TYPE_COUNT; ++t)
    if (key(t) < key(best))
      best = t;
  return best;
}

std::uint64_t BlockMemory::Digest(int type, unsigned total, unsigned block, const std::uint8_t* bytes,
                                  std::size_t count)
{
  // FNV-1a over the block's identity and its bytes.
  std::uint64_t h = 1469598103934665603ull;
  const auto mix = [&h](std::uint8_t b) {
    h ^= b;
    h *= 1099511628211ull;
  };
  for (unsigned v : {static_cast<unsigned>(type), total, block})
    for (int i = 0; i < 4; ++i)
      mix(static_cast<std::uint8_t>(v >> (8 * i)));
  for (std::size_t i = 0; i < count; ++i)
    mix(bytes[i]);
  return h;
}

void BlockMemory::Keep(std::uint64_t digest)
{
  if (order_.size() == KEPT) {
    set_.erase(set_.find(order_.front()));
    order_.pop_front();
  }
  order_.push_back(digest);
  set_.insert(digest);
}

int WireMs(int medium, std::size_t bytes)
{
  const long bitsPerSecond = medium == MEDIUM_MIDI ? 31250 : 115200;
  return static_cast<int>((static_cast<long long>(bytes) * 10 * 1000 + bitsPerSecond - 1) / bitsPerSecond);
}

} // namespace zr
