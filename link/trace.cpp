#include "link/trace.h"

namespace zr {

TraceFile::TraceFile(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {}

TraceFile::~TraceFile()
{
  if (file_)
    std::fclose(file_);
}

void TraceFile::Write(bool out, const std::uint8_t* data, std::size_t length)
{
  if (!file_)
    return;
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::fprintf(file_, "%10.3f %s", t, out ? "->" : "<-");
  for (std::size_t i = 0; i < length; ++i)
    std::fprintf(file_, " %02X", data[i]);
  std::fputc('\n', file_);
  // A trace is read after something went wrong: every line on disk at once.
  std::fflush(file_);
}

} // namespace zr
