// The progress dialog's texts, shared by receiving and sending.
#pragma once

#include <cstdio>
#include <string>

namespace zr {

// Rounded-up percentage of blocks done, as the progress label shows it.
inline int PercentDone(unsigned blockNr, unsigned total)
{
  return total == 0 ? 100
                    : static_cast<int>((std::uint64_t(blockNr) + 1) * 100 / total +
                                       ((std::uint64_t(blockNr) + 1) * 100 % total ? 1 : 0));
}

inline std::string Format(const char* format, int a, int b)
{
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

} // namespace zr
