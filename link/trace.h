// The message trace (--trace FILE): every message in and out, one a line,
// with the seconds since the trace began, the direction and the bytes in hex.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zr {

// A trace holds every byte of every file that crossed the link: it is
// created for this user alone (0600), never over an existing file and never
// through a link, and it stops at a size limit instead of filling the disk.
constexpr std::uint64_t TRACE_MAX_BYTES = 256ull << 20; // 256 MiB

class TraceFile {
public:
  // Creates the file; an existing one is refused unless `append` is set
  // (the front ends' --trace-append), when the trace goes on at its end.
  // Ok() tells whether that worked; errno says why not.
  explicit TraceFile(const std::string& path, bool append = false, std::uint64_t maxBytes = TRACE_MAX_BYTES);
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  bool Ok() const { return file_ != nullptr; }
  // "     0.125 -> F0 00 7F 33 20 0B 40 F7": out is PC to console. Past the
  // size limit one last line says so and nothing more is written.
  void Write(bool out, const std::uint8_t* data, std::size_t length);

private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t maxBytes_;
  bool stopped_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace zr
