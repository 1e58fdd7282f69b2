// Finding the line in step again after something unclean, and asking again
// in time: the round-trip estimate behind the retry timer, the directory
// requests used as markers, and the blocks seen lately.
//
// The console answers every exchange, and one serial line or MIDI cable
// delivers in order. So a directory request sent after every other request
// is a barrier: by the time its reply comes, every answer to an earlier
// request has come or is lost. No data block is taken while a barrier
// stands, and no answer needs counting or waiting out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <unordered_set>

#include "link/wire.h"

namespace zr {

// The smoothed round trip and its variation, as TCP keeps them: the time
// from a request to the start of its answer (the answer's own time on the
// wire taken off). A request asked again gives no sample: its answer may
// be the first one's.
class RoundTrip {
public:
  void Sample(double ms);
  // smoothed + 4 x variation (1 s before the first sample), plus `wireMs`,
  // doubled for each time it ran out, at least `floorMs`, at most `capMs`.
  int RetryMs(int wireMs, int floorMs, int capMs) const;
  void Backoff()
  {
    if (backoffs_ < 16)
      ++backoffs_;
  }
  void Answered() { backoffs_ = 0; }

private:
  std::optional<double> srtt_;
  double rttvar_ = 0;
  int backoffs_ = 0;
};

// The directory requests that are on their way, per data type, and the
// barrier they make. A reply is taken to answer the oldest request of its
// type still counted: when one was lost that is an older one than the
// truth, which claims less than is known (the safe side). A type with no
// request counted is clean: the reply to a marker of that type answers that
// marker and nothing else, and a copy of the reply finds nothing to answer.
class Resync {
public:
  // A message went out (any request): its number.
  long Sent() { return ++seq_; }
  // A directory request went out; `marker`: as the barrier's marker.
  void DirectorySent(int type, bool marker = false);
  // A directory reply of `type`: the number of the request it answers, if
  // one was counted. Every request before it is answered or lost.
  std::optional<long> DirectoryReplied(int type);
  // How many names the last listing of `type` brought: markers go for
  // the type whose reply is shortest.
  void Listed(int type, std::size_t names);

  // The barrier: up from now, no data block is taken until the reply of a
  // marker sent after every other request.
  void Raise() { barrier_ = seq_ + 1; }
  bool Standing() const { return barrier_.has_value(); }
  // The type of the next marker: a clean one with the shortest listing;
  // with none clean, the one whose requests are fewest.
  int MarkerType() const;
  // Whether a directory reply that answers request `answered` brings the
  // barrier down: a marker sent while its type was clean. (A reply of a
  // type with requests on their way may be a copy of an earlier reply, and
  // then answers a newer request than it seems.)
  bool Lowers(std::optional<long> answered) const
  {
    return barrier_ && answered && *answered >= *barrier_ && cleanMarkers_.count(*answered) != 0;
  }
  void Lower()
  {
    barrier_.reset();
    cleanMarkers_.clear();
  }

private:
  bool Clean(int type) const { return pending_[static_cast<std::size_t>(type)].empty(); }
  long seq_ = 0;
  std::optional<long> barrier_;
  std::array<std::deque<long>, DATA_TYPE_COUNT> pending_{};
  std::array<std::size_t, DATA_TYPE_COUNT> listed_{};
  std::set<long> cleanMarkers_; // markers of the barrier sent while their type was clean
};

// Digests of the blocks taken or dropped lately: a block like one of them,
// where a new one is awaited, is a copy (a stray the console sent again,
// or an older answer) until a marker shows otherwise.
class BlockMemory {
public:
  static std::uint64_t Digest(int type, unsigned total, unsigned block, const std::uint8_t* bytes,
                              std::size_t count);
  bool Holds(std::uint64_t digest) const { return set_.count(digest) != 0; }
  void Keep(std::uint64_t digest);

private:
  // A few files' worth: a stray is a copy of something recent.
  static constexpr std::size_t KEPT = 4096;
  std::deque<std::uint64_t> order_;
  std::unordered_multiset<std::uint64_t> set_;
};

// Milliseconds that `bytes` take on the line of `medium` (115200 baud
// serial, 31250 baud MIDI; ten bits a byte).
int WireMs(int medium, std::size_t bytes);

} // namespace zr
