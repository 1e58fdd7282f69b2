// The message trace (--trace FILE): every message in and out, one a line,
// with the seconds since the trace began, the direction and the bytes in hex.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zr {

class TraceFile {
public:
  // Opens (truncates) the file; Ok() tells whether that worked.
  explicit TraceFile(const std::string& path);
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  bool Ok() const { return file_ != nullptr; }
  // "     0.125 -> F0 00 7F 33 20 0B 40 F7": out is PC to console.
  void Write(bool out, const std::uint8_t* data, std::size_t length);

private:
  std::FILE* file_ = nullptr;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace zr
