#include "cli/stand_ins.h"

#include <cstdio>

namespace zr::cli {

void TerminalView::FileBegins(int number, int count, const std::string& name)
{
  number_ = number;
  count_ = count;
  name_ = name;
  began_ = std::chrono::steady_clock::now();
  Draw(0, 0);
}

void TerminalView::FileNotDone(const std::string& name, const std::string& why, bool skipped)
{
  ClearLine();
  std::fprintf(stderr, "zr4812: %s: %s%s\n", name.c_str(), skipped ? "skipped, " : "", why.c_str());
}

void TerminalView::Notice(const std::string& text)
{
  ClearLine();
  std::fprintf(stderr, "%s\n", text.c_str());
}

void TerminalView::ClearLine()
{
  if (drawn_)
    std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

void TerminalView::Draw(int done, int total)
{
  if (!showProgress_)
    return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
  // A block carries 1000 bytes of the packed stream on the wire.
  const double bytes = done * 1000.0;
  const double rate = seconds > 0.05 ? bytes / seconds : 0;
  const int percent = total > 0 ? done * 100 / total : 0;
  char line[256];
  if (rate > 0 && total > done)
    std::snprintf(line, sizeof line, "file %d of %d, %s, %d%%, %.0f bytes/s, %.0f s left", number_, count_,
                  name_.c_str(), percent, rate, (total - done) * 1000.0 / rate);
  else
    std::snprintf(line, sizeof line, "file %d of %d, %s, %d%%", number_, count_, name_.c_str(), percent);
  std::fprintf(stderr, "\r\033[K%s", line);
  std::fflush(stderr);
  drawn_ = true;
}

} // namespace zr::cli
