#include "link/trace.h"

#include "link/private_file.h"

namespace zr {

TraceFile::TraceFile(const std::string& path, bool append, std::uint64_t maxBytes)
    : file_(OpenPrivateFile(path, append)), maxBytes_(maxBytes)
{
  if (file_ && append && std::fseek(file_, 0, SEEK_END) == 0) {
    const long size = std::ftell(file_);
    size_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  }
}

TraceFile::~TraceFile()
{
  if (file_)
    std::fclose(file_);
}

void TraceFile::Write(bool out, const std::uint8_t* data, std::size_t length)
{
  if (!file_ || stopped_)
    return;
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char head[32];
  std::snprintf(head, sizeof head, "%10.3f %s", t, out ? "->" : "<-");
  std::string line = head;
  line.reserve(line.size() + 3 * length + 1);
  for (std::size_t i = 0; i < length; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", data[i]);
    line += hex;
  }
  line += '\n';
  const std::string last = "trace stopped: it reached its limit of " + std::to_string(maxBytes_) + " bytes\n";
  if (size_ + line.size() + last.size() > maxBytes_) {
    // The last line always fits: the limit counts it in.
    line = last;
    stopped_ = true;
  }
  std::fwrite(line.data(), 1, line.size(), file_);
  size_ += line.size();
  // A trace is read after something went wrong: every line on disk at once.
  std::fflush(file_);
}

} // namespace zr
